// The actor library's screens, driven as a player drives them: real queued mouse and key input
// through update_game_menu, elements found by their text or id (never by pixel positions), with
// the real sheets of link_gui, the program folder's sprites and font, and a settings file of the
// test's own.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "engine/app.h"
#include "engine/config.h"
#include "engine/d3d_render.h"
#include "engine/distFont.h"
#include "engine/input.h"
#include "engine/loadSprite.h"
#include "engine/sound.h"
#include "engine/sysUtils.h"
#include "entlingSupport.h"
#include "game/controls.h"
#include "game/guiScreens.h"
#include "game/progression.h"
#include "platform/vkeys.h"
#include "tests/support/guiFind.h"

namespace {

// The program folder's sprites, loaded for one test (close_program_folder frees them).
void use_program_folder() {
  snprintf(app_path, sizeof(app_path), "%s", GUI_TEST_PROGRAM_DIR);
  init_sprites();
}
void close_program_folder() {
  crosshair_spr = nullptr;
  close_sprites();
}

class GuiScreens : public DataFolderTest {
 protected:
  void (*link)() = nullptr;
  void SetUp() override {
    DataFolderTest::SetUp();
    use_program_folder();
    d3d_wd = 1280;
    d3d_ht = 720;
    app_screen_wd = app_screen_ht = 0;
    isAppActive = true;
    app_clear_quit();
    clear_input();
    const EntlingLibrary& lib = entling_library();
    ASSERT_NE(lib.funcByName, nullptr);
    link = (void (*)())lib.funcByName("link_gui");
    for (int i = 0; i < NUM_GUI_SCREENS; i++) ASSERT_EQ(gui_screen_singleton(i).screen, nullptr);
    init_controls();
    link();
    init_new_gui();
  }
  void TearDown() override {
    close_game_menu();
    close_hud();
    // What the unbinder does before an unload.
    for (int i = 0; i < NUM_GUI_SCREENS; i++) {
      GuiScreenSingleton& s = gui_screen_singleton(i);
      if (s.screen) {
        s.screen->close();
        s.screen = nullptr;
      }
    }
    cur_game_screen = nullptr;
    destroy_queued_gui_elements();
    common_style.clearSheets();
    hud_style.clearSheets();
    tooltip_style.clearSheets();
    clear_input();
    need_game_restart = false;
    close_program_folder();
    DataFolderTest::TearDown();
  }
  // One update step of a menu mode: the menu, then the deferred deletions.
  void step() {
    update_game_menu(0.05f);
    destroy_queued_gui_elements();
    clear_input();
  }
  GuiElement* find(const char* text) {
    return cur_game_screen && cur_game_screen->root ? find_by_text(cur_game_screen->root, text) : nullptr;
  }
  GuiElement* findId(const char* id) {
    return cur_game_screen && cur_game_screen->root ? cur_game_screen->root->findById(id) : nullptr;
  }
  void moveTo(GuiElement* e) {
    ASSERT_NE(e, nullptr);
    vec4float b(e->marginBox);
    push_input_event(IE_MOUSE_MOVE, 0, 0, 0, int((b[0] + b[2]) / 2), int((b[1] + b[3]) / 2));
  }
  void click(GuiElement* e, int button = 1) {
    moveTo(e);
    vec4float b(e->marginBox);
    push_input_event(IE_MOUSE_DOWN, button, 0, button == 1 ? IF_LBUTTON : IF_RBUTTON, int((b[0] + b[2]) / 2),
                     int((b[1] + b[3]) / 2));
    push_input_event(IE_MOUSE_MOVE, 0, 0, button == 1 ? IF_LBUTTON : IF_RBUTTON, int((b[0] + b[2]) / 2),
                     int((b[1] + b[3]) / 2));
    push_input_event(IE_MOUSE_UP, button, 0, 0, 0, 0);
    step();
  }
  void clickText(const char* text) {
    GuiElement* e = find(text);
    ASSERT_NE(e, nullptr) << text;
    click(e);
  }
  void key(int code) {
    push_input_event(IE_KEY_DOWN, code, 0, 0, 0, 0);
    step();
  }
  // Drags a slider's knob to a fraction of its track.
  void drag(GuiElement* slider, float fraction) {
    ASSERT_NE(slider, nullptr);
    vec4float c(slider->contentBox);
    int y = int((c[1] + c[3]) / 2);
    int x = int(c[0] + (c[2] - c[0]) * fraction);
    push_input_event(IE_MOUSE_MOVE, 0, 0, 0, int(c[0]) + 2, y);
    push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, int(c[0]) + 2, y);
    push_input_event(IE_MOUSE_MOVE, 0, 0, IF_LBUTTON, x, y);
    push_input_event(IE_MOUSE_UP, 1, 0, 0, 0, 0);
    step();
  }
  std::string setting(const char* key) {
    char buf[64];
    return get_config_str(key, buf, sizeof(buf)) ? buf : "<none>";
  }
};

TEST_F(GuiScreens, LinkGuiFillsTheSheetsAndRebuildsOpenScreens) {
  EXPECT_EQ(tooltip_style.sheets.size(), 2);
  EXPECT_EQ(hud_style.sheets.size(), 2);
  EXPECT_EQ(common_style.sheets.size(), 38);
  open_main_menu();
  BaseGuiScreen* menu = cur_game_screen;
  ASSERT_NE(menu, nullptr);
  GuiElement* old_root = menu->root;
  ASSERT_NE(find("Play"), nullptr);
  // A button is styled by its sheets: the behaviours, the back sprite and its colour.
  GuiElement* play = find("Play");
  EXPECT_EQ(play->get<GP_back_color>(), 0xFF888888u);
  EXPECT_EQ(play->get<GP_back>(), get_sprite("ui/button", true));
  EXPECT_TRUE(play->hasBehavior(get_behavior("button")));
  // A marker in the open tree tells whether the old tree is really deleted (its elements point into
  // the sheets that link_gui replaces).
  static int markers_deleted;
  struct Marker : GuiElement {
    ~Marker() override { markers_deleted++; }
  };
  markers_deleted = 0;
  menu->root->addChild(new Marker());
  link();  // while the menu is open: the old tree goes, a new one comes, the screen stays
  EXPECT_EQ(markers_deleted, 1);
  EXPECT_EQ(common_style.sheets.size(), 38);
  EXPECT_EQ(cur_game_screen, menu);
  EXPECT_EQ(main_menu_screen.screen, menu);
  ASSERT_NE(menu->root, nullptr);
  EXPECT_NE(find("Play"), nullptr);
  EXPECT_EQ(find("Play")->get<GP_back_color>(), 0xFF888888u);
  (void)old_root;
  step();
}

// The menus' font that fails to load stops the game naming the file and why: here its page, copied
// at another size than the description's.
TEST_F(GuiScreens, AMenuFontThatDoesNotLoadIsFatalWithTheFileAndTheReason) {
  std::string folder = root + "/program/";
  ASSERT_EQ(system(("mkdir -p '" + folder + "' && cp '" GUI_TEST_PROGRAM_DIR "glintor.fnt' '" + folder + "'").c_str()),
            0);
  std::string dds = read_file_text(GUI_TEST_PROGRAM_DIR "glintor.dds").substr(0, 128);
  uint32_t width = 128;
  memcpy(&dds[16], &width, 4);
  write_file_text(folder + "glintor.dds", dds);
  snprintf(app_path, sizeof(app_path), "%s", folder.c_str());
  EXPECT_EXIT(init_new_gui(), testing::ExitedWithCode(100),
              "can't load font glintor.fnt: page glintor.dds is 128x64, the description says 256x64");
  remove((folder + "glintor.fnt").c_str());
  EXPECT_EXIT(init_new_gui(), testing::ExitedWithCode(100), "can't load font glintor.fnt: No such file or directory");
  snprintf(app_path, sizeof(app_path), "%s", GUI_TEST_PROGRAM_DIR);
}

TEST_F(GuiScreens, MainMenuPlayCreditsAndQuitThroughAFlag) {
  open_main_menu();
  EXPECT_FALSE(should_close_game_menu);
  clickText("Credits");
  EXPECT_EQ(cur_game_screen, credits_screen.screen);
  key(VK_ESCAPE);  // the menu key does nothing on the credits
  EXPECT_EQ(cur_game_screen, credits_screen.screen);
  clickText("Back");
  EXPECT_EQ(cur_game_screen, main_menu_screen.screen);
  clickText("Play");
  EXPECT_TRUE(should_close_game_menu);
  clickText("Quit");
  EXPECT_TRUE(app_quit_requested());  // the main loop stops; nothing was torn down under the click
  EXPECT_NE(main_menu_screen.screen, nullptr);
}

TEST_F(GuiScreens, OneEscapeOnOptionsFromThePauseMenuOnlyCancels) {
  open_game_menu();
  clickText("Options");
  EXPECT_EQ(cur_game_screen, game_options_screen.screen);
  key(VK_ESCAPE);
  EXPECT_EQ(cur_game_screen, game_menu_screen.screen);
  EXPECT_FALSE(should_close_game_menu);
  key(VK_ESCAPE);  // now on the pause menu: back to the game
  EXPECT_TRUE(should_close_game_menu);
}

TEST_F(GuiScreens, OptionsShowTheRealStateAndAcceptKeepsTheAutomaticSize) {
  isFullscreen = false;  // a "-win" start over a settings file that says full screen
  app_use_vsync = true;
  set_config_bool("fullscreen", true);
  set_config_int("music_volume", -5);
  open_main_menu();
  clickText("Options");
  EXPECT_FALSE(findId("fullscr")->get<GP_checked>());
  EXPECT_TRUE(findId("vsync")->get<GP_checked>());
  EXPECT_EQ(findId("musicVol")->get<GP_value>(), 0.0);   // clamped
  EXPECT_EQ(findId("masterVol")->get<GP_value>(), 1.0);  // no sound device here: the volume one would get
  EXPECT_TRUE(findId("restart")->isHidden());
  EXPECT_STREQ(findId("resolution")->text(), "1280x720");
  clickText("Accept");
  EXPECT_EQ(setting("screen_wd"), "<none>");
  EXPECT_EQ(setting("screen_ht"), "<none>");
  EXPECT_EQ(cur_game_screen, main_menu_screen.screen);
  close_debug_log();
  EXPECT_NE(read_file_text(dataPath("log.txt")).find("music_volume -5 out of range, using 0"), std::string::npos);
}

// Every change applies at once; Cancel puts back every value that was in effect when the screen
// opened, however many updates (each following the display) came in between.
TEST_F(GuiScreens, OptionsApplyAtOnceAndCancelPutsBackEveryValue) {
  use_dev_keys = false;
  app_use_vsync = true;
  isFullscreen = false;
  set_process_priority(0);
  set_config_int("music_volume", 2500);
  set_global_stream_volume(2500);
  open_main_menu();
  clickText("Options");
  click(findId("vsync"));
  EXPECT_FALSE(app_use_vsync);
  EXPECT_EQ(setting("vsync"), "0");
  click(findId("devkeys"));
  EXPECT_TRUE(use_dev_keys);
  EXPECT_EQ(setting("devkeys"), "1");
  click(findId("processPriority")->child(1));
  EXPECT_EQ(get_radio(findId("processPriority"), -1), 1);
  EXPECT_EQ(setting("process_priority"), "1");
  EXPECT_EQ(get_process_priority(), 1);
  drag(findId("musicVol"), 0.9f);
  EXPECT_GT(get_global_stream_volume(), 7000);
  drag(findId("masterVol"), 0.0f);
  EXPECT_LT(get_master_volume(), 0.1f);
  clickText("1280x720");
  EXPECT_EQ(app_screen_wd, 1280);
  step();
  step();
  clickText("Cancel");
  EXPECT_EQ(cur_game_screen, main_menu_screen.screen);
  EXPECT_TRUE(app_use_vsync);
  EXPECT_EQ(setting("vsync"), "1");
  EXPECT_FALSE(use_dev_keys);
  EXPECT_EQ(setting("devkeys"), "0");
  EXPECT_EQ(get_process_priority(), 0);
  EXPECT_EQ(setting("process_priority"), "0");
  EXPECT_EQ(get_global_stream_volume(), 2500);
  EXPECT_EQ(setting("music_volume"), "2500");
  EXPECT_FLOAT_EQ(get_master_volume(), 1.0f);
  EXPECT_EQ(app_screen_wd, 0);
  EXPECT_EQ(setting("fullscreen"), "0");
  EXPECT_FALSE(isFullscreen);
  // Opened again, the screen shows them.
  clickText("Options");
  EXPECT_TRUE(findId("vsync")->get<GP_checked>());
  EXPECT_FALSE(findId("devkeys")->get<GP_checked>());
  EXPECT_EQ(get_radio(findId("processPriority"), -1), 0);
  EXPECT_EQ(findId("musicVol")->get<GP_value>(), 2500.0);
  clickText("Cancel");
}

TEST_F(GuiScreens, ControlsRebindAKeyOverItsBox) {
  open_main_menu();
  clickText("Options");
  clickText("Controls");
  EXPECT_EQ(cur_game_screen, game_controls_screen.screen);
  GuiElement* jump = findId("2");
  ASSERT_NE(jump, nullptr);
  EXPECT_STREQ(jump->text(), get_button_key_name(B_jump).c_str());
  push_input_event(IE_KEY_DOWN, VK_SPACE, 0, 0, 0, 0);  // not over the box: nothing
  step();
  EXPECT_EQ(get_button_key(B_jump), 87);
  moveTo(jump);
  push_input_event(IE_KEY_DOWN, VK_SPACE, 0, 0, 0, 0);
  step();
  EXPECT_EQ(get_button_key(B_jump), VK_SPACE);
  EXPECT_EQ(setting("B_jump"), "#32");
  EXPECT_STREQ(findId("2")->text(), "Space");
  click(findId("1"), 2);  // a mouse button binds too
  EXPECT_EQ(get_button_key(B_right), 2);
  clickText("Back");
  EXPECT_EQ(cur_game_screen, game_options_screen.screen);
}

TEST_F(GuiScreens, SettingsChosenInTheMenusReachTheSettingsFile) {
  use_dev_keys = false;
  open_main_menu();
  clickText("Options");
  click(findId("devkeys"));
  click(findId("processPriority")->child(2));
  // Drag the music slider's knob to the middle of its track.
  GuiElement* music = findId("musicVol");
  vec4float c(music->contentBox);
  int y = int((c[1] + c[3]) / 2);
  push_input_event(IE_MOUSE_MOVE, 0, 0, 0, int(c[0]) + 2, y);
  push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, int(c[0]) + 2, y);
  push_input_event(IE_MOUSE_MOVE, 0, 0, IF_LBUTTON, int((c[0] + c[2]) / 2), y);
  push_input_event(IE_MOUSE_UP, 1, 0, 0, 0, 0);
  step();
  int volume = int(music->get<GP_value>());
  EXPECT_GT(volume, 3000);
  EXPECT_LT(volume, 7000);
  clickText("Controls");
  moveTo(findId("2"));
  key(VK_SPACE);
  clickText("Back");
  clickText("Accept");
  EXPECT_EQ(cur_game_screen, main_menu_screen.screen);
  std::string file = read_file_text(dataPath("settings.cfg"));
  for (std::string line : {std::string("devkeys=1"), std::string("process_priority=2"),
                           "music_volume=" + std::to_string(volume), std::string("B_jump=#32")})
    EXPECT_NE(file.find("\n" + line + "\n"), std::string::npos) << line << " in\n" << file;
  EXPECT_EQ(file.find("screen_wd"), std::string::npos);
}

// The mouse buttons click in the menus, so the Menu control takes none of them: a Menu on the left
// button would turn every click on Options, Controls and the pause menu into Cancel or Back, and
// the Controls screen that could undo it would be out of reach. Keys bind as before, and with one
// every menu is still reached by clicks.
TEST_F(GuiScreens, TheMenuTakesNoMouseButtonAndEveryMenuStaysReachable) {
  open_main_menu();
  clickText("Options");
  clickText("Controls");
  GuiElement* menu_box = findId("4");
  ASSERT_NE(menu_box, nullptr);
  const std::string escape = get_button_key_name(B_menu).c_str();
  for (int button : {1, 2, 4}) {
    click(menu_box, button);
    EXPECT_EQ(get_button_key(B_menu), VK_ESCAPE) << button;
    EXPECT_STREQ(findId("4")->text(), escape.c_str()) << button;
    EXPECT_EQ(cur_game_screen, game_controls_screen.screen) << button;
  }
  EXPECT_EQ(setting("B_menu"), "<none>");
  moveTo(findId("4"));
  key('P');
  EXPECT_EQ(get_button_key(B_menu), 'P');
  EXPECT_EQ(setting("B_menu"), "#80");
  click(findId("3"), 2);  // the other controls still take mouse buttons
  EXPECT_EQ(get_button_key(B_shoot), 2);
  // Every screen is reached by clicks, each click acting where it lands.
  clickText("Back");
  EXPECT_EQ(cur_game_screen, game_options_screen.screen);
  clickText("Controls");
  EXPECT_EQ(cur_game_screen, game_controls_screen.screen);
  clickText("Back");
  clickText("Cancel");
  EXPECT_EQ(cur_game_screen, main_menu_screen.screen);
  EXPECT_FALSE(app_quit_requested());
  close_game_menu();
  open_game_menu();
  clickText("Options");
  EXPECT_EQ(cur_game_screen, game_options_screen.screen);
  EXPECT_FALSE(should_close_game_menu);
  key('P');  // the new Menu key backs out
  EXPECT_EQ(cur_game_screen, game_menu_screen.screen);
  close_debug_log();
  EXPECT_NE(read_file_text(dataPath("log.txt")).find("B_menu: #1 is a mouse button"), std::string::npos);
}

// One click or key acts on one screen only: what arrives in the update in which a screen is left
// never reaches the screen shown next (here: a click where the main menu has its "Quit").
TEST_F(GuiScreens, InputThatLeavesAScreenActsOnThatScreenOnly) {
  struct Case {
    const char* name;
    const char* first_click;  // on the main menu, before the update
    bool escape;              // the Menu key in the same update
    BaseGuiScreen** shown;
  } cases[] = {
      {"Escape on Options", "Options", true, &main_menu_screen.screen},
      {"Options, then a second click", nullptr, false, &game_options_screen.screen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app_clear_quit();
    close_game_menu();
    destroy_queued_gui_elements();
    open_main_menu();
    vec4float q(find("Quit")->marginBox);
    int qx = int((q[0] + q[2]) / 2), qy = int((q[1] + q[3]) / 2);
    if (c.first_click) clickText(c.first_click);
    else moveTo(find("Options"));
    if (!c.first_click) {
      vec4float o(find("Options")->marginBox);
      int ox = int((o[0] + o[2]) / 2), oy = int((o[1] + o[3]) / 2);
      push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, ox, oy);
      push_input_event(IE_MOUSE_UP, 1, 0, 0, ox, oy);
    }
    if (c.escape) push_input_event(IE_KEY_DOWN, VK_ESCAPE, 0, 0, 0, 0);
    push_input_event(IE_MOUSE_MOVE, 0, 0, 0, qx, qy);
    push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, qx, qy);
    push_input_event(IE_MOUSE_UP, 1, 0, 0, qx, qy);
    step();
    EXPECT_EQ(cur_game_screen, *c.shown);
    EXPECT_FALSE(app_quit_requested());
    step();  // and nothing of it is left for the next update
    EXPECT_EQ(cur_game_screen, *c.shown);
    EXPECT_FALSE(app_quit_requested());
  }
}

// Alt+Enter while the options are open switches the display behind the screen's back: the boxes
// and the automatic size's text follow at the next update, so a click then does what the box shows.
// Cancel still puts back the display the screen opened with.
TEST_F(GuiScreens, OptionsFollowTheDisplayWhenItChangesWhileOpen) {
  isFullscreen = false;
  app_use_vsync = false;
  open_main_menu();
  clickText("Options");
  EXPECT_FALSE(findId("fullscr")->get<GP_checked>());
  EXPECT_STREQ(findId("resolution")->text(), "1280x720");
  // What the window's Alt+Enter leaves behind: full screen at the display's size.
  isFullscreen = true;
  d3d_wd = 1920;
  d3d_ht = 1080;
  step();
  EXPECT_TRUE(findId("fullscr")->get<GP_checked>());
  EXPECT_FALSE(findId("vsync")->get<GP_checked>());
  EXPECT_STREQ(findId("resolution")->text(), "1920x1080");
  app_use_vsync = true;
  step();
  EXPECT_TRUE(findId("vsync")->get<GP_checked>());
  clickText("Cancel");
  EXPECT_EQ(setting("fullscreen"), "0");
  EXPECT_EQ(setting("vsync"), "0");
  EXPECT_FALSE(app_use_vsync);
  d3d_wd = 1280;
  d3d_ht = 720;
}

// The line along the bottom of the title and the credits fits inside the frame at every size the
// options offer: 4:3, 5:4 (the narrowest for their UI scale), 16:10 and 16:9, up to 4K.
TEST_F(GuiScreens, TheBottomLineFitsAtEveryScreenSize) {
  const int sizes[][2] = {{640, 360},   {640, 480},   {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},
                          {1280, 800},  {1280, 960},  {1280, 1024}, {1366, 768},  {1440, 900},  {1600, 1200},
                          {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1440}, {2560, 1600}, {3840, 2160}};
  open_main_menu();
  for (BaseGuiScreen** screen : {&main_menu_screen.screen, &credits_screen.screen}) {
    if (screen == &credits_screen.screen) clickText("Credits");
    ASSERT_EQ(cur_game_screen, *screen);
    GuiElement* root = cur_game_screen->root;
    GuiElement* line = root->child(root->children.size() - 1);
    ASSERT_NE(line->text()[0], 0);
    for (const auto& size : sizes) {
      d3d_wd = size[0];
      d3d_ht = size[1];
      step();
      vec4float inside(root->contentBox), box(line->contentBox);
      float width = vec4float(line->measure(line->uiScale))[0];
      EXPECT_LE(width, inside[2] - inside[0]) << size[0] << "x" << size[1] << " at UI scale " << line->uiScale;
      EXPECT_GE(box[0], inside[0]) << size[0] << "x" << size[1];
      EXPECT_LE(box[2], inside[2]) << size[0] << "x" << size[1];
    }
  }
  d3d_wd = 1280;
  d3d_ht = 720;
}

TEST_F(GuiScreens, KeyBoxNamesEveryKeyAndMouseButton) {
  open_main_menu();
  clickText("Options");
  clickText("Controls");
  GuiElement* box = findId("0");
  ASSERT_NE(box, nullptr);
  moveTo(box);
  step();
  for (int code = 0; code < 256; code++) {
    if (code == get_button_key(B_menu)) continue;  // the menu key leaves the screen instead
    push_input_event(IE_KEY_DOWN, code, 0, 0, 0, 0);
    step();
    ASSERT_EQ(get_button_key(B_left), code);
    ASSERT_NE(findId("0")->text()[0], 0) << code;
  }
  vec4float b(findId("0")->marginBox);
  int x = int((b[0] + b[2]) / 2), y = int((b[1] + b[3]) / 2);
  push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, x, y);
  push_input_event(IE_MOUSE_UP, 1, 0, 0, 0, 0);
  step();
  EXPECT_EQ(get_button_key(B_left), 1);
  EXPECT_STREQ(findId("0")->text(), "Left Mouse Button");
  push_input_event(IE_MOUSE_DOWN, 2, 0, IF_RBUTTON, x, y);
  step();
  EXPECT_EQ(get_button_key(B_left), 2);
  EXPECT_NE(findId("0")->text()[0], 0);
}

TEST_F(GuiScreens, TooltipSitsAboveItsAnchorOrBelowNearTheTop) {
  BaseGuiScreen* tip = tooltip_screen.screen;
  ASSERT_NE(tip, nullptr);
  struct Case {
    float anchor[4];
    bool above;
    bool at_left_edge;
  } cases[] = {
      {{600, 400, 680, 420}, true, false},  // room above
      {{600, 5, 680, 25}, false, false},    // near the top: under the element
      {{0, 400, 10, 420}, true, true},      // near the left edge: starts at 0
  };
  for (const Case& c : cases) {
    show_tooltip("Normal", vec4float(c.anchor[0], c.anchor[1], c.anchor[2], c.anchor[3]));
    ASSERT_FALSE(tip->root->isHidden());
    EXPECT_STREQ(tip->root->text(), "Normal");
    vec4float b(tip->root->box);
    if (c.above) EXPECT_EQ(b[3], c.anchor[1]);
    else EXPECT_EQ(b[1], c.anchor[3]);
    if (c.at_left_edge) EXPECT_EQ(b[0], 0);
    else EXPECT_FLOAT_EQ((b[0] + b[2]) / 2, (c.anchor[0] + c.anchor[2]) / 2);
  }
  show_tooltip("", vec4float(600, 400, 680, 420));  // an empty text hides it
  EXPECT_TRUE(tip->root->isHidden());
}

TEST_F(GuiScreens, UpgradesAfterAWorldShowTheNotice) {
  cur_level = 5;
  up_points = 0;
  open_upgrade_screen();
  clickText("Go!");
  EXPECT_EQ(cur_game_screen, interworld_warning_screen.screen);
  EXPECT_FALSE(should_close_game_menu);
  clickText("Okay!");
  EXPECT_TRUE(should_close_game_menu);
}

TEST_F(GuiScreens, HudCallsAreSafeWithoutAHud) {
  close_hud();
  ASSERT_EQ(hud_screen.screen, nullptr);
  show_game_over(true);
  update_hud();
  draw_hud();
  draw_crosshair(10, 10);
  init_hud();
  show_game_over(true);
  EXPECT_FALSE(static_cast<GuiElement*>(hud_screen.screen->root->findById("gameover"))->isHidden());
  show_game_over(false);
  EXPECT_TRUE(hud_screen.screen->root->findById("gameover")->isHidden());
}

TEST_F(GuiScreens, UpgradeRowsTakeAndGiveBackPoints) {
  reset_game();
  cur_level = 2;
  up_points = 5;
  open_upgrade_screen();
  GuiElement* list = findId("list");
  ASSERT_NE(list, nullptr);
  ASSERT_GT(list->children.size(), 0);
  GuiElement* row = list->child(0);
  GuiElement* add = row->findById("add");
  GuiElement* remove = row->findById("remove");
  EXPECT_TRUE(remove->isHidden());
  int points_text_before = atoi(findId("points")->text() + strlen("Upgrade points: "));
  EXPECT_EQ(points_text_before, 5);
  if (!add->isHidden()) {
    click(add);
    EXPECT_TRUE(add->isHidden());
    EXPECT_FALSE(remove->isHidden());
    EXPECT_TRUE(row->get<GP_checked>());
    click(remove);
    EXPECT_FALSE(add->isHidden());
    EXPECT_EQ(atoi(findId("points")->text() + strlen("Upgrade points: ")), 5);
  }
  clickText("Go!");
  EXPECT_EQ(up_points, 5);
  EXPECT_TRUE(should_close_game_menu);
  // With no points every plus is hidden and the cells turn dark red.
  close_game_menu();
  destroy_queued_gui_elements();
  up_points = 0;
  open_upgrade_screen();
  step();
  list = findId("list");
  for (int i = 0; i < list->children.size(); i++) {
    EXPECT_TRUE(list->child(i)->findById("add")->isHidden());
    EXPECT_EQ(list->child(i)->child(0)->get<GP_text_color>(), 0xFF770000u);
  }
}

TEST_F(GuiScreens, RandomInputOverEveryScreenLeavesItWorking) {
  uint64_t state = 12345;
  auto next = [&state](int n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return int((state >> 33) % uint64_t(n));
  };
  open_main_menu();
  for (int i = 0; i < 5000; i++) {
    if (!cur_game_screen || should_close_game_menu) {
      if (next(2)) open_game_menu();
      else open_main_menu();
    }
    int kind = 1 + next(6);
    int flags = next(3) == 0 ? IF_LBUTTON : 0;
    push_input_event(kind, kind <= 2 ? next(256) : 1 + next(2), 0, flags, next(1280), next(720));
    if (next(4) == 0) step();
    if (app_quit_requested()) app_clear_quit();
  }
  step();
  // The settings written are loadable.
  flush_app_config();
  reset_app_config();
  int v = 0;
  get_config_int("music_volume", &v);
  SUCCEED();
}

}  // namespace

#include <dlfcn.h>
#include <fstream>
#include "game/entlingBind.h"

namespace {

bool mapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(path) != std::string::npos) return true;
  return false;
}

// A swap of the actor library while a menu is open: the screen stays, its tree is rebuilt by the
// new code with the new build's sheets, and the old build is gone from memory.
class GuiSwap : public DataFolderTest {};

TEST_F(GuiSwap, SwappingTheLibraryKeepsAnOpenMenuWorking) {
  use_program_folder();
  d3d_wd = 1280;
  d3d_ht = 720;
  isAppActive = true;
  clear_input();
  std::string plain_path = GUI_TEST_LIB_DIR "entling_gui_plain.dll";
  std::string tinted_path = GUI_TEST_LIB_DIR "entling_gui_tinted.dll";
  void* plain = load_library(plain_path.c_str());
  ASSERT_TRUE(plain);
  bind_entling_library(plain);
  init_controls();
  init_new_gui();
  open_main_menu();
  BaseGuiScreen* menu = cur_game_screen;
  ASSERT_NE(menu, nullptr);
  GuiElement* play = find_by_text(menu->root, "Play");
  ASSERT_NE(play, nullptr);
  EXPECT_EQ(play->get<GP_back_color>(), 0xFF888888u);

  void* tinted = load_library(tinted_path.c_str());
  ASSERT_TRUE(tinted);
  unbind_entling_library();
  bind_entling_library(tinted);
  ASSERT_TRUE(free_library(plain));
  EXPECT_FALSE(mapped(plain_path));

  EXPECT_EQ(cur_game_screen, menu);
  EXPECT_EQ(main_menu_screen.screen, menu);
  ASSERT_NE(menu->root, nullptr);
  play = find_by_text(menu->root, "Play");
  ASSERT_NE(play, nullptr);
  EXPECT_EQ(play->get<GP_back_color>(), 0xFF00AA00u);
  Dl_info info{};
  ASSERT_TRUE(dladdr(*reinterpret_cast<void**>(menu), &info));
  EXPECT_NE(std::string(info.dli_fname).find("entling_gui_tinted"), std::string::npos);
  // The handlers run the new code: Options opens.
  GuiElement* options = find_by_text(menu->root, "Options");
  vec4float b(options->marginBox);
  int x = int((b[0] + b[2]) / 2), y = int((b[1] + b[3]) / 2);
  push_input_event(IE_MOUSE_MOVE, 0, 0, 0, x, y);
  push_input_event(IE_MOUSE_DOWN, 1, 0, IF_LBUTTON, x, y);
  push_input_event(IE_MOUSE_UP, 1, 0, 0, x, y);
  update_game_menu(0.05f);
  EXPECT_EQ(cur_game_screen, game_options_screen.screen);

  close_game_menu();
  close_hud();
  unbind_entling_library();
  for (int i = 0; i < NUM_GUI_SCREENS; i++) {
    GuiScreenSingleton& s = gui_screen_singleton(i);
    delete s.screen;  // their trees are gone; the screens themselves hold nothing of the library
    s.screen = nullptr;
  }
  cur_game_screen = nullptr;
  destroy_queued_gui_elements();
  free_library(tinted);
  memset(entling_vtables, 0, sizeof(entling_vtables));
  clear_input();
  close_program_folder();
}

}  // namespace
