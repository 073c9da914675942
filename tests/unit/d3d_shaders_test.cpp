// Shader builds through a stand-in compiler library on the recording back end: which compiler text
// reaches the on-screen error message during a reload, and a vertex and pixel pair that does not
// link counting as a failed build (the old shader kept, the linker's text shown).
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include "engine/d3d_shaders.h"
#include "engine/log.h"
#include "render_test_util.h"

namespace {
class RenderShaderBuild : public RecorderDevice {
 protected:
  time_t stamp = time(nullptr) - 1000;
  void SetUp() override {
    RecorderDevice::SetUp();
    ASSERT_EQ(symlink(FAKE_SHADER_COMPILER, (folder + "d3dcompiler_43.dll").c_str()), 0);
    close_shaders();
    load_shader_compiler();
    ASSERT_TRUE(shader_compiler_available());
    set_error_message(nullptr);
  }
  void TearDown() override {
    close_shaders();
    set_error_message(nullptr);
    RecorderDevice::TearDown();
  }
  // Writes the source with a new modification time, so the next reload pass rebuilds it.
  void edit(const char* name, const char* text) {
    std::string path = folder + name;
    render_write_file(path, std::vector<uint8_t>(text, text + strlen(text)));
    stamp += 10;
    struct utimbuf u = {stamp, stamp};
    utime(path.c_str(), &u);
  }
  std::string reload() {
    testing::internal::CaptureStdout();
    reload_shaders(false);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(RenderShaderBuild, OnlyAFailedRebuildPutsTheCompilerTextOnScreen) {
  edit("w.sh", "// good\n");
  Shader* s = create_shader("w.sh", nullptr);
  ASSERT_TRUE(s);
  edit("w.sh", "#warn\n");
  std::string out = reload();
  EXPECT_NE(out.find("reloaded shader 'w.sh'"), std::string::npos) << out;
  EXPECT_NE(out.find("warning X3206"), std::string::npos) << out;  // logged all the same
  EXPECT_FALSE(has_error_message()) << get_error_message();

  IDirect3DVertexShader9* old_vs = s->vs;
  edit("w.sh", "#fail\n");
  reload();
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("HLSL 'w.sh', func 'vsh':"), std::string::npos) << msg;
  EXPECT_NE(msg.find("error X3000"), std::string::npos) << msg;
  EXPECT_NE(msg.find("FAILED to reload shader 'w.sh'"), std::string::npos) << msg;
  EXPECT_EQ(s->vs, old_vs);
  destroy_shader(s);
}

// A folder in a shader source's place is no source: it is refused by name, with nothing read or
// allocated for it, at creation (fatal) and on a rebuild (the old shader kept, the reason on screen).
TEST_F(RenderShaderBuild, AFolderInPlaceOfASourceIsRefusedByName) {
  ASSERT_EQ(mkdir((folder + "font.sh").c_str(), 0755), 0);
  EXPECT_EXIT(
      {
        dup2(2, 1);  // the log's line too
        create_shader("font.sh", nullptr);
      },
      testing::ExitedWithCode(100), "can't read shader source '.*font.sh': not a regular file");

  edit("w.sh", "// good\n");
  Shader* s = create_shader("w.sh", nullptr);
  ASSERT_TRUE(s);
  IDirect3DVertexShader9* old_vs = s->vs;
  remove((folder + "w.sh").c_str());
  ASSERT_EQ(mkdir((folder + "w.sh").c_str(), 0755), 0);
  struct utimbuf u = {stamp + 10, stamp + 10};
  utime((folder + "w.sh").c_str(), &u);
  std::string out = reload();
  EXPECT_NE(out.find("can't read shader source '" + folder + "w.sh': not a regular file"), std::string::npos) << out;
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("can't read 'w.sh': not a regular file"), std::string::npos) << msg;
  EXPECT_NE(msg.find("FAILED to reload shader 'w.sh'"), std::string::npos) << msg;
  EXPECT_EQ(s->vs, old_vs);
  destroy_shader(s);
}

TEST_F(RenderShaderBuild, PairThatDoesNotLinkIsAFailedBuild) {
  edit("p.sh", "// good\n");
  Shader* s = create_shader("p.sh", nullptr);
  ASSERT_TRUE(s);
  EXPECT_EQ(count("LinkShaders"), 1);
  IDirect3DVertexShader9* old_vs = s->vs;
  IDirect3DPixelShader9* old_ps = s->ps;
  edit("p.sh", "// an edit the layer cannot link\n");
  d3d9_recorder_fail("LinkShaders", D3DERR_INVALIDCALL, 1);
  std::string out = reload();
  EXPECT_EQ(out.find("reloaded shader"), std::string::npos) << out;
  std::string msg = get_error_message();
  EXPECT_NE(msg.find("can't link the programs of shader 'p.sh':\nerror: varying type mismatch"), std::string::npos)
      << msg;
  EXPECT_NE(msg.find("FAILED to reload shader 'p.sh'"), std::string::npos) << msg;
  EXPECT_EQ(s->vs, old_vs);
  EXPECT_EQ(s->ps, old_ps);
  destroy_shader(s);

  // A cache whose pair does not link is rebuilt; with no good build at all the shader is fatal.
  d3d9_recorder_fail("LinkShaders", D3DERR_INVALIDCALL, 1);
  testing::internal::CaptureStdout();
  s = create_shader("p.sh", nullptr);
  out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(s);
  EXPECT_EQ(out.find("from cache"), std::string::npos) << out;
  destroy_shader(s);
  EXPECT_EXIT(
      {
        d3d9_recorder_fail("LinkShaders", D3DERR_INVALIDCALL, 2);
        create_shader("p.sh", nullptr);
      },
      testing::ExitedWithCode(100), "can't create shader from 'p.sh'");
}
}  // namespace
