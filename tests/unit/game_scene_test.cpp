// The scene's developer keys: toggles only while the window is active and the keys are allowed,
// and none of them while Ctrl is held.
#include "engine/app.h"
#include "engine/input.h"
#include "engine/log.h"
#include "game/gameScene.h"
#include "game/soundEvents.h"
#include "platform/platform.h"
#include "platform/vkeys.h"
#include "testSupport.h"

namespace {
void press(int vk) {
  plat_null_post_message(WM_KEYDOWN, uintptr_t(vk), intptr_t(1));
  pump_messages();
}
}  // namespace

TEST(SceneKeys, DeveloperTogglesNeedActiveWindowAndDevkeys) {
  plat_init();
  register_window_class();
  plat_create_window("t", PLAT_STYLE_OVERLAPPED, false, 0, 0, 64, 64, PLAT_SHOW_NORMAL);
  clear_visual_log();
  bool fps = show_fps, paused = game_paused, vis = use_vis_debug, post = use_postfx;
  log_sound_events = false;

  isAppActive = true;
  use_dev_keys = false;
  press(VK_F1);
  update_step(0.05f);
  clear_input();
  EXPECT_EQ(show_fps, fps);

  // The view toggles act in any mode (here none is current); F2 pauses only a level in play, which
  // the game modes' tests check.
  use_dev_keys = true;
  for (int vk : {VK_F1, VK_F2, VK_F4, VK_F6, VK_F3}) press(vk);
  update_step(0.05f);
  clear_input();
  EXPECT_NE(show_fps, fps);
  EXPECT_EQ(game_paused, paused);
  EXPECT_NE(use_vis_debug, vis);
  EXPECT_NE(use_postfx, post);
  EXPECT_TRUE(log_sound_events);
  ASSERT_EQ(visual_log_count(), 1);
  EXPECT_STREQ(visual_log_line(0), "logging sound events");

  press(VK_F3);
  update_step(0.05f);
  clear_input();
  EXPECT_FALSE(log_sound_events);
  EXPECT_EQ(visual_log_count(), 0);

  plat_null_set_key(VK_CONTROL, true);
  bool before = show_fps;
  press(VK_F1);
  update_step(0.05f);
  clear_input();
  plat_null_set_key(VK_CONTROL, false);
  EXPECT_EQ(show_fps, before);

  isAppActive = false;
  press(VK_F1);
  update_step(0.05f);
  clear_input();
  EXPECT_EQ(show_fps, before);
  use_dev_keys = false;
}
