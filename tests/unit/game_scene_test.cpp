// The scene's developer keys: toggles only while the window is active and the keys are allowed,
// and none of them while Ctrl is held; the sound's start with the stored music volume.
#include <string.h>
#include <sys/stat.h>
#include "engine/app.h"
#include "engine/config.h"
#include "engine/input.h"
#include "engine/log.h"
#include "engine/sound.h"
#include "engine/soundScript.h"
#include "engine/sysUtils.h"
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

// The music volume stored by the options applies from the scene's start, with a sound device or
// without one (then it is what the options show and what a device opened later would play at).
class SceneSound : public DataFolderTest {};

TEST_F(SceneSound, TheStoredMusicVolumeAppliesFromTheStart) {
  std::string program = root + "/program/";
  ASSERT_EQ(system(("mkdir -p '" + program + "sound'").c_str()), 0);
  write_file_text(program + "sound/sound.nut", "events <- {}\n");
  char saved_path[sizeof(app_path)];
  memcpy(saved_path, app_path, sizeof(app_path));
  snprintf(app_path, sizeof(app_path), "%s", program.c_str());
  mkdir((root + "/ASCENDA").c_str(), 0755);
  const struct {
    const char* stored;  // the settings file's line, or none
    int volume;
  } cases[] = {{"music_volume=0", 0},         {"music_volume=2500", 2500}, {"music_volume=-5", 0},
               {"music_volume=20000", 10000}, {"music_volume=abc", 10000}, {nullptr, 10000}};
  for (bool device : {true, false})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.stored ? c.stored : "no setting") + (device ? ", a device" : ", no device"));
      reset_app_config();
      write_file_text(dataPath("settings.cfg"), c.stored ? std::string(c.stored) + "\n" : "");
      set_global_stream_volume(1234);  // what an earlier run of the layer left
      plat_null_set_audio_device(device);
      init_scene_sound();
      plat_null_set_audio_device(false);
      EXPECT_EQ(is_sound_open(), device);
      EXPECT_EQ(get_global_stream_volume(), c.volume);
      EXPECT_FLOAT_EQ(get_master_volume(), 1.0f);
      EXPECT_FALSE(has_error_message()) << get_error_message();
      close_sound_script();
      close_sound();
    }
  memcpy(app_path, saved_path, sizeof(app_path));
  reset_app_config();
}
