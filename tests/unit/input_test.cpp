// Window messages through the shell's window procedure into the input queue, on the null back end.
#include "engine/app.h"
#include "engine/config.h"
#include "engine/d3d_render.h"
#include "engine/input.h"
#include "game/controls.h"
#include "platform/platform.h"
#include "platform/vkeys.h"
#include "testSupport.h"

namespace {
intptr_t key_lparam(int scan, bool was_down) { return intptr_t(1 | (scan << 16) | (was_down ? (1 << 30) : 0)); }
intptr_t pos_lparam(int x, int y) { return intptr_t(plat_make_lparam(x, y)); }

class Input : public DataFolderTest {
 protected:
  WindowHandle window = nullptr;
  void SetUp() override {
    DataFolderTest::SetUp();
    plat_init();
    app_clear_quit();
    isFullscreen = false;
    ASSERT_TRUE(register_window_class());
    plat_null_set_cursor(150, 150);
    window = plat_create_window("test", PLAT_STYLE_OVERLAPPED, false, 100, 100, 640, 360, PLAT_SHOW_NORMAL);
    init_input(window);
    d3d_wd = 640;
    d3d_ht = 360;
    clear_input();
  }
  void TearDown() override {
    clear_input();
    for (int vk = 0; vk < 256; vk++) plat_null_set_key(vk, false);
    DataFolderTest::TearDown();
  }
  std::vector<InputEvent> drain() {
    pump_messages();
    std::vector<InputEvent> out;
    InputEvent ev;
    while (getEvent(ev)) out.push_back(ev);
    return out;
  }
};
}  // namespace

TEST_F(Input, KeysGiveEventsWithCodeCharacterAndRepeatFlag) {
  plat_null_post_message(WM_KEYDOWN, VK_A, key_lparam(0x1E, false));
  plat_null_post_message(WM_KEYDOWN, VK_A, key_lparam(0x1E, true));
  pump_messages();
  EXPECT_TRUE(keyDown(VK_A));
  EXPECT_EQ(getKey(), VK_A);
  EXPECT_EQ(getChar(), 'a');
  std::vector<InputEvent> ev = drain();
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].kind, IE_KEY_DOWN);
  EXPECT_EQ(ev[0].code, VK_A);
  EXPECT_EQ(ev[0].character, 'a');
  EXPECT_EQ(ev[0].flags & IF_REPEAT, 0);
  EXPECT_EQ(ev[1].flags & IF_REPEAT, IF_REPEAT);
  EXPECT_FLOAT_EQ(ev[0].x, 50);  // keys carry the stored mouse position
  EXPECT_FLOAT_EQ(ev[0].y, 50);

  // A repeat in a later update updates the last key but not the went-down bit.
  clear_input();
  plat_null_post_message(WM_KEYDOWN, VK_A, key_lparam(0x1E, true));
  pump_messages();
  EXPECT_FALSE(keyDown(VK_A));
  EXPECT_EQ(getKey(), VK_A);

  // Shift held: the flag and the upper-case character.
  clear_input();
  plat_null_set_key(VK_SHIFT, true);
  plat_null_post_message(WM_KEYDOWN, 'B', key_lparam(0x30, false));
  ev = drain();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0].character, 'B');
  EXPECT_EQ(ev[0].flags & IF_SHIFT, IF_SHIFT);
}

TEST_F(Input, PressAndReleaseInOneUpdateAreBothSeenThenLost) {
  plat_null_post_message(WM_KEYDOWN, VK_SPACE, key_lparam(0x39, false));
  plat_null_post_message(WM_KEYUP, VK_SPACE, key_lparam(0x39, true));
  pump_messages();
  EXPECT_TRUE(keyDown(VK_SPACE));
  EXPECT_TRUE(keyUp(VK_SPACE));
  EXPECT_EQ(input_queue_length(), 2);
  clear_input();
  EXPECT_FALSE(keyDown(VK_SPACE));
  EXPECT_FALSE(keyUp(VK_SPACE));
  EXPECT_EQ(input_queue_length(), 0);
  EXPECT_EQ(getKey(), 0);
}

TEST_F(Input, MouseMessagesAreClampedAndFlagged) {
  plat_null_post_message(WM_MOUSEMOVE, 0, pos_lparam(-20, 5000));
  plat_null_post_message(WM_MOUSEMOVE, 0, pos_lparam(12, 34));
  plat_null_post_message(WM_LBUTTONDOWN, MK_LBUTTON, pos_lparam(12, 34));
  plat_null_post_message(WM_LBUTTONUP, 0, pos_lparam(600, 300));
  plat_null_post_message(WM_RBUTTONDBLCLK, MK_RBUTTON, pos_lparam(7, 8));
  plat_null_post_message(WM_MOUSEWHEEL, uintptr_t(uint32_t(uint16_t(int16_t(-240))) << 16), pos_lparam(110, 120));
  std::vector<InputEvent> ev = drain();
  ASSERT_EQ(ev.size(), 6u);
  EXPECT_EQ(ev[0].kind, IE_MOUSE_MOVE);
  EXPECT_FLOAT_EQ(ev[0].x, 0);
  EXPECT_FLOAT_EQ(ev[0].y, 359);
  EXPECT_EQ(ev[2].kind, IE_MOUSE_DOWN);
  EXPECT_EQ(ev[2].code, 1);
  EXPECT_EQ(ev[2].flags & IF_REPEAT, 0);
  // A release reports, and puts the cursor back at, the last stored position.
  EXPECT_EQ(ev[3].kind, IE_MOUSE_UP);
  EXPECT_FLOAT_EQ(ev[3].x, 12);
  EXPECT_FLOAT_EQ(ev[3].y, 34);
  int cx, cy;
  plat_get_cursor_pos(&cx, &cy);
  EXPECT_EQ(cx, 112);
  EXPECT_EQ(cy, 134);
  EXPECT_EQ(ev[4].kind, IE_MOUSE_DOWN);
  EXPECT_EQ(ev[4].code, 2);
  EXPECT_EQ(ev[4].flags & IF_REPEAT, IF_REPEAT);
  EXPECT_EQ(ev[5].kind, IE_WHEEL);
  EXPECT_EQ(ev[5].code, 0);
  EXPECT_EQ(ev[5].wheel, -2);
  EXPECT_FLOAT_EQ(ev[5].x, 10);  // screen to client
  EXPECT_FLOAT_EQ(ev[5].y, 20);
  EXPECT_EQ(getMouseWheel(), -2);
  EXPECT_EQ(getKey(), 2);
  EXPECT_EQ(getChar(), 0);
  float mx, my;
  getMousePos(mx, my);
  EXPECT_FLOAT_EQ(mx, 12);
  clear_input();
  getMousePos(mx, my);
  EXPECT_FLOAT_EQ(mx, 12);  // the position survives the clear
}

TEST_F(Input, AltF4ClosesAndAltEnterQueuesNoKey) {
  plat_null_post_message(WM_SYSKEYDOWN, VK_RETURN, key_lparam(0x1C, false) | (1 << 29));
  pump_messages();
  EXPECT_EQ(input_queue_length(), 0);
  EXPECT_FALSE(app_quit_requested());
  plat_null_post_message(WM_SYSKEYDOWN, 'X', key_lparam(0x2D, false) | (1 << 29));
  pump_messages();
  EXPECT_EQ(input_queue_length(), 1);  // other Alt keys are ordinary key-downs
  plat_null_post_message(WM_SYSKEYDOWN, VK_F4, key_lparam(0x3E, false) | (1 << 29));
  pump_messages();
  pump_messages();
  EXPECT_TRUE(app_quit_requested());
  EXPECT_EQ(input_queue_length(), 1);
}

TEST_F(Input, ActivationFollowsTheWindow) {
  isAppActive = false;
  plat_null_post_message(WM_ACTIVATE, WA_ACTIVE, 0);
  pump_messages();
  EXPECT_TRUE(isAppActive);
  plat_null_post_message(WM_ACTIVATE, WA_ACTIVE | (1 << 16), 0);  // minimised
  pump_messages();
  EXPECT_FALSE(isAppActive);
  plat_null_post_message(WM_ACTIVATE, WA_CLICKACTIVE, 0);
  plat_null_post_message(WM_CLOSE, 0, 0);
  pump_messages();
  EXPECT_FALSE(isAppActive);  // the destroyed window is no longer active
  pump_messages();
  EXPECT_TRUE(app_quit_requested());
}

TEST_F(Input, MouseOverNeedsTheCursorOnTheWindow) {
  plat_null_set_cursor(150, 150);
  update_mouse_over();
  EXPECT_TRUE(isMouseOver());
  plat_null_set_cursor(10, 10);
  update_mouse_over();
  EXPECT_FALSE(isMouseOver());
  isFullscreen = true;
  update_mouse_over();
  EXPECT_TRUE(isMouseOver());
  isFullscreen = false;
}

TEST(KeyNames, TableAndFallbacks) {
  struct Case {
    int code;
    const char* name;
  } cases[] = {{0x41, "A"},
               {0xE0, "#E0"},
               {300, "?"},
               {-1, "?"},
               {0x03, "#03"},
               {0x01, "Left Mouse Button"},
               {0x20, "Space"},
               {0x30, "0"},
               {0x69, "NumPad 9"},
               {0x7B, "F12"},
               {0xDE, "Apostrophe"},
               {0xBB, "Equals"},
               {0x5D, "Application"},
               {0x6C, "#6C"}};
  for (const Case& c : cases) EXPECT_STREQ(getKeyName(c.code), c.name) << c.code;
  int named = 0;
  for (int i = 0; i < 256; i++) named += getKeyName(i)[0] != '#';
  EXPECT_EQ(named, 102);
}

class Controls : public Input {};

TEST_F(Controls, BindingsComeFromTheSettings) {
  set_config_str("B_jump", "#32");
  set_config_str("B_left", "#x");
  set_config_str("B_right", "70");  // a number unlike the default, but without its "#"
  set_config_str("B_menu", "#65");
  init_controls();
  EXPECT_EQ(get_button_key(B_jump), 32);
  EXPECT_EQ(get_button_key(B_left), 65);   // not a key: the default
  EXPECT_EQ(get_button_key(B_right), 68);  // no "#": the default
  EXPECT_EQ(get_button_key(B_shoot), 1);
  EXPECT_STREQ(get_button_key_name(B_jump), "Space");
  EXPECT_STREQ(get_button_key_name(B_shoot), "Left Mouse Button");
  EXPECT_STREQ(get_button_ui_name(B_shoot), "Shoot");
  EXPECT_EQ(get_button_ui_name(5), nullptr);
  EXPECT_STREQ(get_button_key_name(-1), "");

  set_button_key(B_left, 65);  // now A, like B_menu
  char buf[16];
  ASSERT_TRUE(get_config_str("B_left", buf, sizeof(buf)));
  EXPECT_STREQ(buf, "#65");
  plat_null_post_message(WM_KEYDOWN, VK_A, key_lparam(0x1E, false));
  pump_messages();
  EXPECT_TRUE(button_down(B_left));
  EXPECT_TRUE(button_down(B_menu));
  EXPECT_TRUE(button_state(B_left));
  EXPECT_FALSE(button_down(5));
  EXPECT_FALSE(button_down(-1));
  EXPECT_FALSE(button_up(B_left));
  set_button_key(7, 1);  // out of range: nothing
}

// A Menu on a mouse button, stored by an older game, would lock the player out of the menus (every
// click there is Back or Cancel): it gives way to Escape, and cannot be chosen again. Keys, and
// mouse buttons for the other controls, bind as stored.
TEST_F(Controls, TheMenuTakesKeysOnly) {
  struct {
    const char* stored;
    int key;
  } cases[] = {{"#1", VK_ESCAPE}, {"#2", VK_ESCAPE}, {"#4", VK_ESCAPE}, {"#3", 3}, {"#80", 80}, {"#65", 65}};
  for (auto& c : cases) {
    set_config_str("B_menu", c.stored);
    init_controls();
    EXPECT_EQ(get_button_key(B_menu), c.key) << c.stored;
  }
  set_config_str("B_menu", "#27");
  set_config_str("B_jump", "#4");
  init_controls();
  EXPECT_EQ(get_button_key(B_jump), 4);
  for (int button : {1, 2, 4}) {
    set_button_key(B_menu, button);
    EXPECT_EQ(get_button_key(B_menu), VK_ESCAPE) << button;
    set_button_key(B_shoot, button);
    EXPECT_EQ(get_button_key(B_shoot), button);
  }
  char buf[16];
  ASSERT_TRUE(get_config_str("B_menu", buf, sizeof(buf)));
  EXPECT_STREQ(buf, "#27");
  close_debug_log();
  std::string log = read_file_text(dataPath("log.txt"));
  EXPECT_NE(log.find("B_menu: \"#1\" is a mouse button, which clicks in the menus; using #27"), std::string::npos)
      << log;
}

TEST_F(Controls, BindingsThatAreNoKeysKeepTheDefaults) {
  struct {
    const char* stored;
    int key;
  } cases[] = {{"#999", 87}, {"", 87},      {"#-1", 87},  {"#", 87},
               {"#12a", 87}, {"#255", 255}, {"#256", 87}, {"#0", 0}};  // 255 is the last key code
  for (auto& c : cases) {
    set_config_str("B_jump", c.stored);
    init_controls();
    EXPECT_EQ(get_button_key(B_jump), c.key) << c.stored;
  }
}
