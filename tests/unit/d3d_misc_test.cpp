// The texture table, the DDS reader (formats, mip chains, refusals), the texture manager with its
// sharing and hot reload, and the DXT decoder the GL back end uses.
#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>
#include <functional>
#include "engine/d3d_misc.h"
#include "engine/mojodds/mojodds.h"
#include "platform/d3d9/d3d9_mem.h"
#include "render_test_util.h"

namespace {
using RenderTexture = RecorderDevice;

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = uint8_t(seed + i * 7);
  return v;
}

TEST_F(RenderTexture, TableRefusesTheThousandAndFirstTexture) {
  std::vector<Texture*> all;
  for (int i = 0; i < MAX_TEXTURES; i++) all.push_back(create_managed_texture(1, 1));
  EXPECT_EQ(all.back(), &texture_table[MAX_TEXTURES - 1]);
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_managed_texture(1, 1), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("reached MAX_TEXTURES"), std::string::npos);
  destroy_texture(all[5]);
  EXPECT_EQ(create_dynamic_texture(2, 2), all[5]);  // the first free slot
}

TEST_F(RenderTexture, CreationFailureLeavesTheSlotFree) {
  d3d9_recorder_fail("CreateTexture", D3DERR_OUTOFVIDEOMEMORY, 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_managed_texture(4, 4), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("error creating texture (code 0x8876017C)"), std::string::npos);
  EXPECT_EQ(count_textures_in_use(), 0);
  EXPECT_EQ(adopt_texture(nullptr), nullptr);
  EXPECT_EQ(get_texture_width(nullptr), 0);
  EXPECT_EQ(lock_texture(nullptr, nullptr, false), nullptr);
}

TEST_F(RenderTexture, ScreenSizedTextureFollowsTheBackBuffer) {
  Texture* t = create_screen_render_texture();
  EXPECT_EQ(count("CreateTexture 320x200 1 1 21 0"), 1);
  EXPECT_EQ(get_texture_width(t), 320);
  ASSERT_TRUE(reset_d3d(640, 400, false, false));
  EXPECT_EQ(get_texture_width(t), 640);
  EXPECT_EQ(get_texture_height(t), 400);
  EXPECT_EQ(count("CreateTexture 640x400 1 1 21 0"), 1);
}

TEST_F(RenderTexture, LockDiscardsOnlyDynamicTexturesAndAddressModesFollowTheRules) {
  Texture* d = create_dynamic_texture(4, 4);
  int pitch = 0;
  EXPECT_TRUE(lock_texture(d, &pitch, true));
  EXPECT_EQ(pitch, 16);
  unlock_texture(d);
  EXPECT_TRUE(lock_texture(d, &pitch, true));
  testing::internal::CaptureStdout();
  EXPECT_EQ(lock_texture(d, &pitch, true), nullptr);  // already locked
  EXPECT_NE(testing::internal::GetCapturedStdout().find("error locking texture (code 0x8876086C)"), std::string::npos);
  unlock_texture(d);
  struct Case {
    int u, v, w;
    DWORD eu, ev, ew;
  } cases[] = {{0, -1, -1, 1, 1, 1}, {2, 5, -1, 4, 3, 3}, {1, 0, 2, 3, 1, 4}, {7, -1, 0, 3, 3, 1}};
  for (const Case& c : cases) {
    set_texture_address(2, c.u, c.v, c.w);
    DWORD u, v, w;
    d3d->GetSamplerState(2, D3DSAMP_ADDRESSU, &u);
    d3d->GetSamplerState(2, D3DSAMP_ADDRESSV, &v);
    d3d->GetSamplerState(2, D3DSAMP_ADDRESSW, &w);
    EXPECT_EQ(u, c.eu);
    EXPECT_EQ(v, c.ev);
    EXPECT_EQ(w, c.ew);
  }
  set_texture_filter(1, false);
  DWORD f;
  d3d->GetSamplerState(1, D3DSAMP_MIPFILTER, &f);
  EXPECT_EQ(f, DWORD(D3DTEXF_POINT));
}

TEST(RenderDds, MipChainsHaveTheirSizesDownToOneTexel) {
  DdsInfo info;
  size_t total = 0;
  for (uint32_t s = 256;; s /= 2) {
    total += size_t((s + 3) / 4) * ((s + 3) / 4) * 8;
    if (s == 1) break;
  }
  std::vector<uint8_t> f = make_dds(0, "DXT1", 256, 256, 9, std::vector<uint8_t>(total));
  ASSERT_EQ(dds_parse(f.data(), f.size(), &info), nullptr);
  ASSERT_EQ(info.levels, 9);
  const uint32_t sizes[9] = {32768, 8192, 2048, 512, 128, 32, 8, 8, 8};
  for (int i = 0; i < 9; i++) EXPECT_EQ(info.level[i].size, sizes[i]) << i;
  EXPECT_EQ(info.level[8].width, 1u);
  // Uncompressed and not square: 8 x 2, 4 x 1, 2 x 1, 1 x 1.
  f = make_dds('A', nullptr, 8, 2, 4, std::vector<uint8_t>((16 + 4 + 2 + 1) * 4));
  ASSERT_EQ(dds_parse(f.data(), f.size(), &info), nullptr);
  EXPECT_EQ(info.level[1].height, 1u);
  EXPECT_EQ(info.level[3].size, 4u);
  EXPECT_EQ(info.level[3].offset, 128u + (16 + 4 + 2) * 4);
}

TEST(RenderDds, UnacceptableFilesAreRefused) {
  auto base = [] { return make_dds('A', nullptr, 4, 4, 1, std::vector<uint8_t>(64)); };
  auto set = [](std::vector<uint8_t>& f, int off, uint32_t v) { memcpy(&f[size_t(off)], &v, 4); };
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
  } cases[] = {
      {"magic", [&](std::vector<uint8_t>& f) { f[3] = 'X'; }},
      {"header size", [&](std::vector<uint8_t>& f) { set(f, 4, 123); }},
      {"pitch and linear size", [&](std::vector<uint8_t>& f) { set(f, 8, 0x1007 | 0x8 | 0x80000); }},
      {"no pixel format flag", [&](std::vector<uint8_t>& f) { set(f, 8, 0x7); }},
      {"cube map", [&](std::vector<uint8_t>& f) { set(f, 112, 0x200); }},
      {"no texture cap", [&](std::vector<uint8_t>& f) { set(f, 108, 0); }},
      {"pixel format size", [&](std::vector<uint8_t>& f) { set(f, 76, 24); }},
      {"masks", [&](std::vector<uint8_t>& f) { set(f, 92, 0xFF); }},
      {"alpha mask", [&](std::vector<uint8_t>& f) { set(f, 104, 0); }},
      {"bit count", [&](std::vector<uint8_t>& f) { set(f, 88, 24); }},
      {"fourcc",
       [&](std::vector<uint8_t>& f) {
         set(f, 80, 4);
         memcpy(&f[84], "DXT2", 4);
       }},
      {"truncated data", [&](std::vector<uint8_t>& f) { f.resize(f.size() - 1); }},
      {"truncated header", [&](std::vector<uint8_t>& f) { f.resize(100); }},
      {"zero width", [&](std::vector<uint8_t>& f) { set(f, 16, 0); }},
      {"huge size",
       [&](std::vector<uint8_t>& f) {
         set(f, 16, 0x7FFFFFFF);
         set(f, 12, 0x7FFFFFFF);
       }},
      {"too many mips",
       [&](std::vector<uint8_t>& f) {
         set(f, 108, 0x401008);
         set(f, 28, 4);
       }},
      {"wrong pitch",
       [&](std::vector<uint8_t>& f) {
         set(f, 8, 0x1007 | 0x8);
         set(f, 20, 12);
       }},
  };
  DdsInfo info;
  std::vector<uint8_t> ok = base();
  ASSERT_EQ(dds_parse(ok.data(), ok.size(), &info), nullptr);
  for (const Case& c : cases) {
    std::vector<uint8_t> f = base();
    c.spoil(f);
    EXPECT_NE(dds_parse(f.data(), f.size(), &info), nullptr) << c.what;
  }
}

TEST_F(RenderTexture, EveryDdsFormatLoadsWithItsLevels) {
  struct Case {
    char kind;
    const char* fourcc;
    D3DFORMAT format;
    uint32_t w, h, mips;
    std::vector<uint32_t> level_bytes;
  } cases[] = {
      {0, "DXT1", D3DFMT_DXT1, 8, 8, 4, {32, 8, 8, 8}},  {0, "DXT3", D3DFMT_DXT3, 8, 4, 4, {32, 16, 16, 16}},
      {0, "DXT5", D3DFMT_DXT5, 4, 4, 1, {16}},           {'A', nullptr, D3DFMT_A8R8G8B8, 4, 2, 3, {32, 8, 4}},
      {'X', nullptr, D3DFMT_X8R8G8B8, 2, 2, 2, {16, 4}}, {'L', nullptr, D3DFMT_L8, 4, 4, 3, {16, 4, 1}},
  };
  for (const Case& c : cases) {
    size_t total = 0;
    for (uint32_t b : c.level_bytes) total += b;
    std::vector<uint8_t> data = pattern(total, uint8_t(c.w + c.mips));
    render_write_file(folder + "t.dds", make_dds(c.kind, c.fourcc, c.w, c.h, c.mips, data));
    Texture* t = load_dds_texture("t.dds");
    ASSERT_TRUE(t) << int(c.format);
    EXPECT_EQ(t->format, c.format);
    EXPECT_EQ(t->tex->GetLevelCount(), c.mips);
    size_t off = 0;
    for (uint32_t i = 0; i < c.mips; i++) {
      D3DLOCKED_RECT lr;
      ASSERT_EQ(t->tex->LockRect(i, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
      D3DSURFACE_DESC desc;
      t->tex->GetLevelDesc(i, &desc);
      uint32_t rows = d3d9_row_count(c.format, desc.Height), row = d3d9_row_bytes(c.format, desc.Width);
      EXPECT_EQ(rows * row, c.level_bytes[i]);
      for (uint32_t r = 0; r < rows; r++)
        EXPECT_EQ(memcmp((uint8_t*)lr.pBits + r * lr.Pitch, &data[off + r * row], row), 0) << "level " << i;
      off += c.level_bytes[i];
      t->tex->UnlockRect(i);
    }
    destroy_texture(t);
  }
}

TEST_F(RenderTexture, ManagerSharesByFullPathAndCountsReferences) {
  render_write_file(folder + "a.dds", make_dds('A', nullptr, 2, 2, 1, pattern(16, 1)));
  Texture* a = get_texture("a.dds", true);
  ASSERT_TRUE(a);
  EXPECT_EQ(get_texture((folder + "a.dds").c_str(), false), a);  // absolute and relative: one path
  EXPECT_EQ(get_texture_ref_count(a), 2);
  free_texture(a);
  EXPECT_TRUE(a->in_use);
  free_texture(a);
  EXPECT_FALSE(a->in_use);
  EXPECT_EQ(get_texture_ref_count(a), 0);
  free_texture(nullptr);
  Texture* other = create_managed_texture(1, 1);
  free_texture(other);  // not the manager's: left alone
  EXPECT_TRUE(other->in_use);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_texture("missing.dds", false), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Error loading file"), std::string::npos);
  EXPECT_EXIT(get_texture("missing.dds", true), testing::ExitedWithCode(100),
              "Can't load texture from '.*missing.dds'");
  // A folder in a texture's place is refused by name before anything is read or allocated.
  ASSERT_EQ(mkdir((folder + "folder.dds").c_str(), 0755), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_texture("folder.dds", false), nullptr);
  EXPECT_NE(
      testing::internal::GetCapturedStdout().find("Error loading file '" + folder + "folder.dds': not a regular file"),
      std::string::npos);
  render_write_file(folder + "bad.dds", std::vector<uint8_t>(200, 7));
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_texture("bad.dds", false), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("is not a DDS"), std::string::npos);
  get_texture("a.dds", false);
  free_all_textures();
  EXPECT_EQ(count_textures_in_use(), 1);  // only the one the manager never held
}

TEST_F(RenderTexture, ChangedFileIsReloadedIntoTheSameHandle) {
  std::string path = folder + "r.dds";
  render_write_file(path, make_dds('A', nullptr, 2, 2, 1, pattern(16, 1)));
  struct utimbuf t0 = {1000000, 1000000};
  utime(path.c_str(), &t0);
  Texture* t = get_texture("r.dds", false);
  ASSERT_TRUE(t);
  IDirect3DTexture9* before = t->tex;
  reload_textures(false);
  EXPECT_EQ(t->tex, before);  // unchanged time: nothing
  render_write_file(path, make_dds('A', nullptr, 4, 4, 1, pattern(64, 9)));
  struct utimbuf t1 = {1000005, 1000005};
  utime(path.c_str(), &t1);
  int in_use = count_textures_in_use();
  testing::internal::CaptureStdout();
  reload_textures(false);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("reloading " + path), std::string::npos);
  EXPECT_NE(t->tex, before);
  EXPECT_EQ(t->width, 4);
  EXPECT_EQ(count_textures_in_use(), in_use);  // the loader's slot was moved into the old one
  D3DLOCKED_RECT lr;
  t->tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY);
  EXPECT_EQ(((uint8_t*)lr.pBits)[1], pattern(64, 9)[1]);
  t->tex->UnlockRect(0);
  // A broken save keeps the image shown.
  render_write_file(path, std::vector<uint8_t>(10, 0));
  struct utimbuf t2 = {1000010, 1000010};
  utime(path.c_str(), &t2);
  IDirect3DTexture9* shown = t->tex;
  reload_textures(false);
  EXPECT_EQ(t->tex, shown);
}

TEST_F(RenderTexture, HalfWrittenFileIsLoadedOnceTheFinishedFileLandsAndEditsWithinASecondAreSeen) {
  std::string path = folder + "h.dds";
  auto set_time = [&](long nsec) {
    struct timespec t[2] = {{1000000, nsec}, {1000000, nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
  };
  render_write_file(path, make_dds('A', nullptr, 2, 2, 1, pattern(16, 1)));
  set_time(0);
  Texture* t = get_texture("h.dds", false);
  ASSERT_TRUE(t);
  IDirect3DTexture9* shown = t->tex;

  // The check meets a save half-way: the image shown stays, and that state is tried only once.
  std::vector<uint8_t> full = make_dds('A', nullptr, 4, 4, 1, pattern(64, 9));
  render_write_file(path, std::vector<uint8_t>(full.begin(), full.begin() + full.size() / 2));
  set_time(500);
  testing::internal::CaptureStdout();
  reload_textures(false);
  reload_textures(false);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("reloading"), out.rfind("reloading")) << out;
  EXPECT_EQ(t->tex, shown);
  EXPECT_EQ(t->width, 2);

  // The rest of the save lands within the same clock tick: same time, new size.
  render_write_file(path, full);
  set_time(500);
  testing::internal::CaptureStdout();
  reload_textures(false);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(t->width, 4);

  // A further edit within the same second.
  render_write_file(path, make_dds('A', nullptr, 2, 2, 1, pattern(16, 3)));
  set_time(501);
  testing::internal::CaptureStdout();
  reload_textures(false);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(t->width, 2);
  free_texture(t);
}

TEST(RenderDxt, BlocksDecodeToArgbTexels) {
  // c0 = pure red (0xF800), c1 = pure blue (0x001F); texel i uses index i & 3.
  uint8_t dxt1[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
  uint8_t out[4 * 4 * 4];
  d3d9_decode_dxt(D3DFMT_DXT1, dxt1, 8, 4, 4, out, 16);
  D3dColor c[4];
  memcpy(c, out, 16);
  EXPECT_EQ(c[0], 0xFFFF0000u);
  EXPECT_EQ(c[1], 0xFF0000FFu);
  EXPECT_EQ(c[2], 0xFFAA0055u);
  EXPECT_EQ(c[3], 0xFF5500AAu);
  // c0 <= c1: three colours and transparent black.
  uint8_t dxt1b[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0};
  d3d9_decode_dxt(D3DFMT_DXT1, dxt1b, 8, 4, 4, out, 16);
  memcpy(c, out, 16);
  EXPECT_EQ(c[2], 0xFF7F007Fu);
  EXPECT_EQ(c[3], 0x00000000u);
  // DXT5 alpha: a0 = 255, a1 = 0, texel 0 index 0, texel 1 index 1, texel 2 index 2 (6/7 of 255).
  uint8_t dxt5[16] = {255, 0, 0x08 | (2 << 6), 0, 0, 0, 0, 0, 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
  d3d9_decode_dxt(D3DFMT_DXT5, dxt5, 16, 4, 4, out, 16);
  EXPECT_EQ(out[3], 255);
  EXPECT_EQ(out[7], 0);
  EXPECT_EQ(out[11], 218);
  // DXT3: explicit 4-bit alpha.
  uint8_t dxt3[16] = {0x0F, 0xF0, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
  d3d9_decode_dxt(D3DFMT_DXT3, dxt3, 16, 4, 4, out, 16);
  EXPECT_EQ(out[3], 255);
  EXPECT_EQ(out[7], 0);
  EXPECT_EQ(out[15], 255);
  // A 2 x 2 level decodes only its texels.
  uint8_t small[2 * 2 * 4];
  d3d9_decode_dxt(D3DFMT_DXT1, dxt1, 8, 2, 2, small, 8);
  memcpy(c, small, 8);
  EXPECT_EQ(c[1], 0xFF0000FFu);
}
}  // namespace
