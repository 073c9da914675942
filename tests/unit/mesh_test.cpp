// Mesh files and the mesh list; shader records, cache names and cache files without the compiler
// library, on the recording back end.
#include <sys/stat.h>
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/mesh.h"
#include "engine/streams.h"
#include "render_test_util.h"

namespace {
using RenderMesh = RecorderDevice;
using RenderShader = RecorderDevice;

std::vector<uint8_t> mesh_bytes(uint32_t a, uint32_t b, uint32_t tris, int strings = 2) {
  std::vector<uint8_t> f;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; i++) f.push_back(uint8_t(v >> (8 * i)));
  };
  auto str = [&](const char* s) {
    f.push_back(uint8_t(strlen(s)));
    f.insert(f.end(), s, s + strlen(s) + 1);
  };
  u32(MESH_FILE_MAGIC);
  str("first");
  str("second");
  f.push_back(uint8_t(strings));
  for (int i = 0; i < strings; i++) str(i ? "bone" : "root");
  f.push_back(1);
  f.insert(f.end(), 16, 0xAB);
  f.push_back(2);
  f.insert(f.end(), 12, 0xCD);
  u32(a);
  u32(b);
  u32(tris);
  for (uint32_t i = 0; i < a * b; i++) f.push_back(uint8_t(i));
  for (uint32_t i = 0; i < tris * 3; i++) {
    f.push_back(uint8_t(i));
    f.push_back(0);
  }
  return f;
}

TEST_F(RenderMesh, FileLoadsIntoStaticBuffersAndIsSharedByPath) {
  render_write_file(folder + "m.mesh", mesh_bytes(4, 24, 2));
  Mesh* m = get_mesh("m.mesh", true);
  ASSERT_TRUE(m);
  EXPECT_EQ(get_mesh((folder + "m.mesh").c_str(), true), m);
  EXPECT_EQ(m->refcount, 2);
  EXPECT_EQ(m->count_a * m->count_b, 96u);
  EXPECT_EQ(m->tri_count, 2u);
  EXPECT_STREQ(m->first_string.data, "first");
  EXPECT_STREQ(m->second_string.data, "second");
  ASSERT_EQ(m->strings.size(), 2);
  EXPECT_STREQ(m->strings[1].text(), "bone");
  EXPECT_EQ(m->items16.size(), 1);
  EXPECT_EQ(m->items6.size(), 2);
  EXPECT_EQ(m->vb->flags, VB_STATIC);
  EXPECT_EQ(m->ib->size, 12);
  uint8_t* v = (uint8_t*)lock_vb(m->vb, 0, 0);
  EXPECT_EQ(v[95], 95);
  unlock_vb(m->vb);
  release_mesh(m);
  EXPECT_EQ(mesh_list.size(), 1);
  release_mesh(m);
  EXPECT_EQ(mesh_list.size(), 0);
  EXPECT_EQ(count_buffers_in_use(), 0);
}

TEST_F(RenderMesh, EmptyMeshLoads) {
  render_write_file(folder + "e.mesh", mesh_bytes(0, 0, 0, 0));
  Mesh* m = get_mesh("e.mesh", false);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->strings.size(), 0);
  EXPECT_EQ(m->tri_count, 0u);
  free_all_meshes();
  EXPECT_EQ(mesh_list.size(), 0);
}

TEST_F(RenderMesh, BadFilesAreRefusedWithTheirMessage) {
  std::vector<uint8_t> good = mesh_bytes(4, 8, 1);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
  } cases[] = {
      {"magic",
       [&] {
         auto b = good;
         b[0] ^= 1;
         return b;
       }(),
       "Invalid mesh file version"},
      {"short magic", std::vector<uint8_t>(good.begin(), good.begin() + 2), "Error reading mesh file"},
      {"truncated vertex data", std::vector<uint8_t>(good.begin(), good.end() - 7), "Mesh data exceeds the file"},
      {"truncated strings", std::vector<uint8_t>(good.begin(), good.begin() + 9), "Unexpected end of mesh file"},
      {"huge counts",
       [&] {
         auto b = mesh_bytes(0xFFFFFFFF, 0xFFFFFFFF, 1);
         return b;
       }(),
       "Mesh data exceeds the file"},
  };
  for (const Case& c : cases) {
    render_write_file(folder + "bad.mesh", c.bytes);
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_mesh_file((folder + "bad.mesh").c_str(), false), nullptr) << c.what;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
    EXPECT_NE(out.find("Error reading mesh file '"), std::string::npos);
  }
  EXPECT_EQ(count_buffers_in_use(), 0);
  ASSERT_EQ(mkdir((folder + "folder.mesh").c_str(), 0755), 0);
  EXPECT_EXIT(load_mesh_file((folder + "folder.mesh").c_str(), true), testing::ExitedWithCode(100),
              "Error reading mesh file '.*folder.mesh':\nCan't open file: not a regular file");
  EXPECT_EXIT(load_mesh_file((folder + "none.mesh").c_str(), true), testing::ExitedWithCode(100),
              "Error reading mesh file '.*none.mesh':\nCan't open file: No such file or directory \\(offset 0\\)");
  d3d9_recorder_fail("CreateIndexBuffer", D3DERR_OUTOFVIDEOMEMORY, 1);
  render_write_file(folder + "ok.mesh", good);
  testing::internal::CaptureStdout();
  EXPECT_EQ(load_mesh_file((folder + "ok.mesh").c_str(), false), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Can't create index buffer"), std::string::npos);
  EXPECT_EQ(count_buffers_in_use(), 0);  // the vertex buffer made before the failure was released
}

TEST(RenderShaderNames, CacheSuffixTurnsEveryStringIntoAnAtPart) {
  render_test_folder();
  std::string base = std::string(app_path) + "cache/";
  EXPECT_EQ(std::string(make_shader_cache_name("level.sh", nullptr)), base + "level.sh.cache");
  EXPECT_EQ(std::string(make_shader_cache_name("level.sh", "")), base + "level.sh.cache");
  EXPECT_EQ(std::string(make_shader_cache_name("level.sh",
                                               "FOO\0"
                                               "1\0")),
            base + "level.sh@FOO@1.cache");
  EXPECT_EQ(std::string(make_shader_cache_name("a.sh",
                                               "A\0"
                                               "x y\0")),
            base + "a.sh@A@x_y.cache");
  EXPECT_EQ(std::string(make_shader_cache_name("a.sh", "A\0\0B\0-2.5\0")), base + "a.sh@A@@B@_2_5.cache");
}

TEST(RenderShaderNames, CacheFilesAreCheckedBeforeUse) {
  ShaderCacheView v;
  std::vector<uint8_t> good = cache_bytes({"a.sh", "inc.h"});
  ASSERT_TRUE(parse_shader_cache(good.data(), good.size(), v));
  ASSERT_EQ(v.deps.size(), 2);
  EXPECT_STREQ(v.deps[1], "inc.h");
  std::vector<uint8_t> bad_magic = cache_bytes({"a.sh"}, 0x20100716);
  EXPECT_FALSE(parse_shader_cache(bad_magic.data(), bad_magic.size(), v));
  EXPECT_FALSE(parse_shader_cache(good.data(), good.size() - 1, v));
  EXPECT_FALSE(parse_shader_cache(good.data(), 10, v));
  std::vector<uint8_t> unterminated = good;
  unterminated[16 + 4] = 'x';  // "a.sh" runs into "inc.h" and on past the block
  uint32_t d = 5;              // a block that ends inside the first path
  memcpy(&unterminated[4], &d, 4);
  EXPECT_FALSE(parse_shader_cache(unterminated.data(), unterminated.size(), v));
}

TEST_F(RenderShader, WithoutTheCompilerShadersComeFromTheCacheOnly) {
  EXPECT_FALSE(shader_compiler_available());
  plat_make_folder((folder + "cache").c_str());
  render_write_file(folder + "cache/a.sh.cache", cache_bytes({"a.sh", "inc.h", "a.sh", "inc.h"}));
  render_write_file(folder + "cache/a.sh@FOO@1.cache", cache_bytes({"a.sh"}));
  testing::internal::CaptureStdout();
  Shader* s = create_shader("a.sh", nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("loaded shader 'a.sh' from cache"), std::string::npos);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->deps.size(), 4);
  EXPECT_EQ(s->deps[0].file_time, 0u);  // no compiler: no times
  EXPECT_FALSE(shader_is_stale(s));
  EXPECT_EQ(create_shader("a.sh", ""), s);
  EXPECT_EQ(s->refcount, 2);
  Shader* f = create_shader("a.sh",
                            "FOO\0"
                            "1\0");
  EXPECT_NE(f, s);
  log().clear();
  set_shader(s);
  set_shader(nullptr);
  float regs[4] = {1, 2, 3, 4};
  set_vs_consts(4, regs, 0);
  EXPECT_EQ(log(), (std::vector<std::string>{"SetVertexShader vs", "SetPixelShader ps", "SetVertexShader null",
                                             "SetPixelShader null", "SetVertexShaderConstantF 4 0"}));
  reload_shaders(true);  // nothing without a compiler
  destroy_shader(s);
  EXPECT_TRUE(s->vs);
  destroy_shader(s);
  EXPECT_FALSE(s->vs);
  EXPECT_EQ(s->deps.size(), 0);
  EXPECT_EXIT(destroy_shader(s), testing::ExitedWithCode(100), "failed ASSERT\\(s->refcount>0\\)");
  destroy_shader(f);
  EXPECT_EQ(count_shaders_in_use(), 0);
}

TEST_F(RenderShader, EmptyCodeBlocksAreRefusedBeforeTheDevice) {
  plat_make_folder((folder + "cache").c_str());
  // Magic, no dependencies, and code blocks of 0 bytes: nothing for the device to read.
  uint32_t h[4] = {SHADER_CACHE_MAGIC, 1, 0, 0};
  std::vector<uint8_t> bytes((uint8_t*)h, (uint8_t*)h + 16);
  bytes.push_back(0);
  render_write_file(folder + "cache/empty.sh.cache", bytes);
  static Shader s;
  s.name = "empty.sh";
  log().clear();
  EXPECT_FALSE(load_shader_cache(&s));
  EXPECT_EQ(find("CreateVertexShader"), -1);
  EXPECT_EQ(find("CreatePixelShader"), -1);
  s.deps.free();
}

TEST_F(RenderShader, LongDependencyPathsNeverEndTheGame) {
  plat_make_folder((folder + "cache").c_str());
  // 259 characters: the longest a cache records, far longer once joined to the program folder.
  std::string dep = "include/" + std::string(251, 'i');
  render_write_file(folder + "cache/long.sh.cache", cache_bytes({"long.sh", dep}));
  Shader* s = create_shader("long.sh", nullptr);
  ASSERT_TRUE(s);
  ASSERT_EQ(s->deps.size(), 2);
  EXPECT_EQ(std::string(s->deps[1].path), dep);
  destroy_shader(s);
  // One more character is more than a cache may list: the file is refused (here, without a
  // compiler to rebuild it, that is the usual missing-cache error).
  render_write_file(folder + "cache/longer.sh.cache", cache_bytes({"longer.sh", dep + "i"}));
  ShaderCacheView v;
  std::vector<uint8_t> bytes = cache_bytes({"longer.sh", dep + "i"});
  EXPECT_FALSE(parse_shader_cache(bytes.data(), bytes.size(), v));
  EXPECT_EXIT(create_shader("longer.sh", nullptr), testing::ExitedWithCode(100),
              "can't create shader from cache for 'longer.sh'");
}

TEST_F(RenderShader, MissingOrBrokenCacheIsFatalWithoutTheCompiler) {
  EXPECT_EXIT(create_shader("none.sh", nullptr), testing::ExitedWithCode(100),
              "can't create shader from cache for 'none.sh'");
  plat_make_folder((folder + "cache").c_str());
  std::vector<uint8_t> c = cache_bytes({"b.sh"});
  c[c.size() - 1] = 'x';  // the pixel blob lost its terminator
  render_write_file(folder + "cache/b.sh.cache", c);
  EXPECT_EXIT(create_shader("b.sh", nullptr), testing::ExitedWithCode(100),
              "can't create shader from cache for 'b.sh'");
  render_write_file(folder + "cache/c.sh.cache", cache_bytes({"c.sh"}));
  d3d9_recorder_fail("CreatePixelShader", D3DERR_INVALIDCALL, 1);
  EXPECT_EXIT(create_shader("c.sh", nullptr), testing::ExitedWithCode(100),
              "can't create shader from cache for 'c.sh'");
}

TEST_F(RenderShader, TableOf256IsFatalWhenFull) {
  plat_make_folder((folder + "cache").c_str());
  for (int i = 0; i <= MAX_SHADERS; i++) {
    char name[32];
    snprintf(name, sizeof(name), "cache/s%d.sh.cache", i);
    render_write_file(folder + name, cache_bytes({"x"}));
  }
  auto fill = [] {
    for (int i = 0; i <= MAX_SHADERS; i++) {
      char name[32];
      snprintf(name, sizeof(name), "s%d.sh", i);
      create_shader(name, nullptr);
    }
  };
  EXPECT_EXIT(fill(), testing::ExitedWithCode(100), "reached maximum shader count!");
}
}  // namespace
