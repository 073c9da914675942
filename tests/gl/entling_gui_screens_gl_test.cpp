// The actor library's screens drawn on the GL back end: the main menu, the pause menu over a
// coloured scene, the options, controls, credits, the HUD's game-over banner and the upgrade
// screen, each written as a PNG into the build tree (build/gui_shots/) for review, with loose pixel
// checks: the tinted nine-patch background, the grey menu buttons and the title's gold text.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "engine/app.h"
#include "engine/config.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/distFont.h"
#include "engine/dynVBWriter.h"
#include "engine/imageFiles.h"
#include "engine/input.h"
#include "engine/loadSprite.h"
#include "engine/sysUtils.h"
#include "engine/uiDraw.h"
#include "game/controls.h"
#include "game/entlingApi.h"
#include "game/entlingBind.h"
#include "game/guiScreens.h"
#include "game/progression.h"
#include "render_gl_env.h"
#include "tests/support/guiFind.h"

namespace {

const int W = 640, H = 360;

void save_shot(const char* name, const std::vector<D3dColor>& px, int W = ::W, int H = ::H) {
  // Always the build tree's gui_shots/, wherever the tests are started from.
  std::string dir = GUI_GL_SHOTS_DIR "/";
  mkdir(dir.c_str(), 0755);
  std::vector<uint8_t> rgba(px.size() * 4);
  for (size_t i = 0; i < px.size(); i++) {
    rgba[i * 4 + 0] = uint8_t(px[i] >> 16), rgba[i * 4 + 1] = uint8_t(px[i] >> 8);
    rgba[i * 4 + 2] = uint8_t(px[i]), rgba[i * 4 + 3] = 255;
  }
  std::string path = dir + name + ".png";
  EXPECT_TRUE(save_png(path.c_str(), W, H, 4, rgba.data(), W * 4));
}

// A loose comparison with a reviewed golden image (tests/data/golden/gui_<name>.png): a pixel
// differs when a channel is off by more than 12, and up to 0.5 % of the pixels may differ. It
// catches a font drawn upside down, a lost nine-patch or a wrong tint, not a glyph's shading.
// ASCENDA_MAKE_GOLDEN=1 writes the image instead (review it before committing).
void expect_like_golden(const char* name, const std::vector<D3dColor>& px, int W = ::W, int H = ::H) {
  std::string golden = std::string(GOLDEN_DIR) + "/gui_" + name + ".png";
  const char* make = getenv("ASCENDA_MAKE_GOLDEN");
  if (make && !strcmp(make, "1")) {
    std::vector<uint8_t> rgba(px.size() * 4);
    for (size_t i = 0; i < px.size(); i++) {
      rgba[i * 4 + 0] = uint8_t(px[i] >> 16), rgba[i * 4 + 1] = uint8_t(px[i] >> 8);
      rgba[i * 4 + 2] = uint8_t(px[i]), rgba[i * 4 + 3] = 255;
    }
    ASSERT_TRUE(save_png(golden.c_str(), W, H, 4, rgba.data(), W * 4));
    printf("wrote golden image %s: review it before committing\n", golden.c_str());
    return;
  }
  int w = 0, h = 0;
  DynArray<uint32_t> ref;
  ASSERT_TRUE(load_png(golden.c_str(), w, h, ref)) << "no golden image " << golden;
  ASSERT_EQ(w, W);
  ASSERT_EQ(h, H);
  int bad = 0;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      uint32_t a = ref[size_t(H - 1 - y) * W + x], b = px[size_t(y) * W + x];  // the reader's rows run up
      for (int sh = 0; sh < 24; sh += 8) {
        int d = int((a >> sh) & 255) - int((b >> sh) & 255);
        if (d > 12 || d < -12) {
          bad++;
          break;
        }
      }
    }
  EXPECT_LE(bad, W * H / 200) << name << ": " << bad << " pixels differ from " << golden
                              << " (the actual image is in " GUI_GL_SHOTS_DIR "/)";
}

D3dColor pixel_at(const std::vector<D3dColor>& px, float x, float y) { return px[size_t(int(y)) * W + size_t(int(x))]; }

int channel(D3dColor c, int shift) { return int((c >> shift) & 255); }

class GuiScreensGl : public ::testing::Test {
 protected:
  static void* library;
  static void SetUpTestSuite() {
    ASSERT_TRUE(render_gl_open(64, 48));
    ASSERT_TRUE(reset_d3d(W, H, false, true));
    // A settings folder of our own: the options show the defaults, whatever this machine stored.
    char folder[] = "/tmp/ascenda_gui_gl_XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    setenv("APPDATA", folder, 1);
    reset_app_config();
    snprintf(app_path, sizeof(app_path), "%s/", RENDER_BIN_DIR);
    close_shaders();
    load_shader_compiler();
    if (!common_vb_writer.vb) common_vb_writer.create(65536);
    init_sprites();
    init_ui_image_render();
    library = load_library(GUI_GL_TEST_LIBRARY);
    ASSERT_TRUE(library);
    bind_entling_library(library);
    init_controls();
    init_new_gui();
  }
  static void TearDownTestSuite() {
    close_game_menu();
    close_hud();
    unbind_entling_library();
    for (int i = 0; i < NUM_GUI_SCREENS; i++) {
      delete gui_screen_singleton(i).screen;
      gui_screen_singleton(i).screen = nullptr;
    }
    cur_game_screen = nullptr;
    destroy_queued_gui_elements();
    crosshair_spr = nullptr;
    // Everything that holds a shader lets it go before the table is emptied: the next suite's
    // modules must not find records of ours under their own shaders.
    close_dist_fonts();
    close_ui_render();
    close_sprites();
    close_shaders();
    reset_app_config();
    ASSERT_TRUE(reset_d3d(64, 48, false, true));
  }
  void SetUp() override {
    isAppActive = true;
    clear_input();
  }
  std::vector<D3dColor> draw(void (*scene)() = nullptr, int w = W, int h = H) {
    update_game_menu(0.05f);
    destroy_queued_gui_elements();
    EXPECT_TRUE(d3d->BeginScene() == D3D_OK);
    clear_view(0xFF204060);
    if (scene) scene();
    draw_game_menu(0);
    d3d->EndScene();
    return read_back_buffer(w, h);
  }
  void click(const char* text) {
    GuiElement* e = find_by_text(cur_game_screen->root, text);
    ASSERT_NE(e, nullptr) << text;
    vec4float b(e->marginBox);
    int x = int((b[0] + b[2]) / 2), y = int((b[1] + b[3]) / 2);
    push_input_event(IE_MOUSE_MOVE, 0, 0, 0, x, y);
    push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, x, y);
    push_input_event(IE_MOUSE_UP, 1, 0, 0, x, y);
    update_game_menu(0.05f);
    destroy_queued_gui_elements();
    clear_input();
  }
};
void* GuiScreensGl::library = nullptr;

TEST_F(GuiScreensGl, MenusDrawTheirNinePatchesTextsAndTints) {
  open_main_menu();
  std::vector<D3dColor> px = draw();
  save_shot("main_menu", px);
  expect_like_golden("main_menu", px);
  // The background: the back sprite tinted by 0xFF553311 (a colour 0x7F leaves the art as drawn),
  // so red dominates blue everywhere inside the frame.
  D3dColor back = pixel_at(px, W / 2, 20);
  EXPECT_GT(channel(back, 16), channel(back, 0)) << std::hex << back;
  GuiElement* play = find_by_text(cur_game_screen->root, "Play");
  ASSERT_NE(play, nullptr);
  vec4float f(play->frameBox);
  D3dColor button = pixel_at(px, f[0] + 2, (f[1] + f[3]) / 2);
  EXPECT_NEAR(channel(button, 16), channel(button, 0), 24) << std::hex << button;  // grey
  // The title is gold text: some pixel in its box is clearly yellow.
  GuiElement* title = find_by_text(cur_game_screen->root, "ASCENDA!");
  vec4float t(title->contentBox);
  int gold = 0;
  for (int y = int(t[1]); y < int(t[3]); y++)
    for (int x = int(t[0]); x < int(t[2]); x++) {
      D3dColor c = pixel_at(px, float(x), float(y));
      gold += channel(c, 16) > 100 && channel(c, 8) > 90 && channel(c, 0) < 60;
    }
  EXPECT_GT(gold, 20);

  click("Options");
  px = draw();
  save_shot("options", px);
  expect_like_golden("options", px);
  click("Controls");
  save_shot("controls", draw());
  click("Back");
  click("Cancel");
  click("Credits");
  px = draw();
  save_shot("credits", px);
  expect_like_golden("credits", px);
  click("Back");
  close_game_menu();

  open_game_menu();
  px = draw([] {});
  save_shot("pause_menu", px);
  expect_like_golden("pause_menu", px);
  EXPECT_EQ(pixel_at(px, 2, 2), 0xFF204060u);  // the scene stays visible around the panel
  close_game_menu();

  up_points = 9;
  cur_level = 5;
  open_upgrade_screen();
  save_shot("upgrade", draw());
  close_game_menu();
  destroy_queued_gui_elements();
}

// At 1280 x 720 the UI scale is 3: the title's and the credits' bottom line still sits inside the
// frame, and the options opened in a window follow a switch to full screen made behind their back
// (what Alt+Enter does: the device reset to the display's size, the full-screen flag set).
TEST_F(GuiScreensGl, TheMenusAt1280x720AndTheOptionsAfterASwitchToFullScreen) {
  const int w = 1280, h = 720;
  ASSERT_TRUE(reset_d3d(w, h, false, true));
  open_main_menu();
  std::vector<D3dColor> px = draw(nullptr, w, h);
  save_shot("title_1280", px, w, h);
  expect_like_golden("title_1280", px, w, h);
  click("Credits");
  px = draw(nullptr, w, h);
  save_shot("credits_1280", px, w, h);
  expect_like_golden("credits_1280", px, w, h);
  click("Back");
  close_game_menu();
  ASSERT_TRUE(reset_d3d(W, H, false, true));
  isFullscreen = false;
  open_main_menu();
  click("Options");
  GuiElement* box = cur_game_screen->root->findById("fullscr");
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(box->get<GP_checked>());
  ASSERT_TRUE(reset_d3d(w, h, false, true));
  isFullscreen = true;
  px = draw(nullptr, w, h);
  save_shot("options_fullscreen", px, w, h);
  expect_like_golden("options_fullscreen", px, w, h);
  EXPECT_TRUE(box->get<GP_checked>());
  EXPECT_STREQ(cur_game_screen->root->findById("resolution")->text(), "1280x720");
  click("Cancel");
  close_game_menu();
  destroy_queued_gui_elements();
  isFullscreen = false;
  ASSERT_TRUE(reset_d3d(W, H, false, true));
}

TEST_F(GuiScreensGl, ResolutionButtonStepsThroughTheDisplayModes) {
  DynArray<D3dMode> modes;
  get_d3d_modes(modes);
  ASSERT_GT(modes.size(), 0);
  open_main_menu();
  click("Options");
  app_screen_wd = 123;  // not a mode: stepping starts from the last one
  app_screen_ht = 45;
  GuiElement* button = cur_game_screen->root->findById("resolution");
  ASSERT_NE(button, nullptr);
  auto press = [&](int which) {
    vec4float b(button->marginBox);
    int x = int((b[0] + b[2]) / 2), y = int((b[1] + b[3]) / 2);
    push_input_event(IE_MOUSE_MOVE, 0, 0, 0, x, y);
    push_input_event(IE_MOUSE_DOWN, which, 0, which == 1 ? IF_LBUTTON : IF_RBUTTON, x, y);
    push_input_event(IE_MOUSE_UP, which, 0, 0, x, y);
    update_game_menu(0.05f);
    clear_input();
  };
  press(1);  // forward from the last mode wraps to the first
  EXPECT_EQ(app_screen_wd, modes[0].width);
  EXPECT_EQ(app_screen_ht, modes[0].height);
  char text[32];
  // A size of 0 (the offscreen driver reports a 0 x 0 mode) reads as the current one.
  snprintf(text, sizeof(text), "%dx%d", modes[0].width ? modes[0].width : d3d_wd,
           modes[0].height ? modes[0].height : d3d_ht);
  EXPECT_STREQ(button->text(), text);
  press(2);  // the right button steps back, from the first to the last
  EXPECT_EQ(app_screen_wd, modes[modes.size() - 1].width);
  modes.free();
  click("Cancel");
  close_game_menu();
  destroy_queued_gui_elements();
}

TEST_F(GuiScreensGl, HudShowsTheGameOverBanner) {
  show_game_over(true);
  update_hud();
  ASSERT_TRUE(d3d->BeginScene() == D3D_OK);
  clear_view(0xFF204060);
  draw_hud();
  draw_crosshair(100, 100);
  d3d->EndScene();
  std::vector<D3dColor> px = read_back_buffer(W, H);
  save_shot("hud_game_over", px);
  int gold = 0;
  for (D3dColor c : px) gold += channel(c, 16) > 100 && channel(c, 0) < 60;
  EXPECT_GT(gold, 500);
  show_game_over(false);
}

}  // namespace
