// Game sound events played by the library's objects: panned by where they happen relative to the
// camera, heard through the offline mixer.
#include <math.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <string>
#include <vector>
#include "engine/d3d_render.h"
#include "engine/sound.h"
#include "engine/soundScript.h"
#include "engine/sysUtils.h"
#include "entlingSupport.h"
#include "game/camera.h"
#include "game/gameScene.h"
#include "testSupport.h"

namespace {

class EntlingSound : public EntlingWorld {
 protected:
  std::string dir;
  int savedWidth = 0, savedScale = 0;
  void SetUp() override {
    EntlingWorld::SetUp();
    ASSERT_TRUE(open_sound_without_speaker(false));
    char tmpl[] = "/tmp/ascenda_entling_snd_XXXXXX";
    dir = std::string(mkdtemp(tmpl)) + "/";
    mkdir((dir + "sound").c_str(), 0755);
    std::string cmd = "cp '" + std::string(ASCENDA_SOUND_DATA_DIR) + "/shoot.wav' '" + dir + "sound/a.wav'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    write_file_text(dir + "sound/test.nut",
                    "s <- load_sample(\"sound/a.wav\", 2, 0)\n"
                    "events <- { hero_shoot = function() { return get_channel(::s) } }\n");
    snprintf(app_path, sizeof(app_path), "%s", dir.c_str());
    init_sound_script("sound/test.nut");
    savedWidth = d3d_wd;
    savedScale = voxel_scale;
    d3d_wd = 800;
    voxel_scale = 4;
    free_cam_pos = vec4float(100, 50, 0, 1);
  }
  void TearDown() override {
    close_sound_script();
    close_sound();
    app_path[0] = 0;
    d3d_wd = savedWidth;
    voxel_scale = savedScale;
    free_cam_pos = vec4float();
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {}
    EntlingWorld::TearDown();
  }
  // Peak of the left and right output over a short while.
  void peaks(float* left, float* right) {
    std::vector<float> out(8192 * 2);
    mix_sound_output(out.data(), 8192);
    *left = *right = 0;
    for (size_t i = 0; i < out.size(); i += 2) {
      *left = fmaxf(*left, fabsf(out[i]));
      *right = fmaxf(*right, fabsf(out[i + 1]));
    }
  }
};

}  // namespace

TEST_F(EntlingSound, EventsArePannedByTheirPlaceOnScreen) {
  struct Case {
    float x;
    bool leftHeard, rightHeard;
  } cases[] = {{100, true, true}, {300, false, true}, {-100, true, false}};
  for (const Case& c : cases) {
    uint32_t ch = play_sound_event(0, vec4float(c.x, 0, 0, 1));
    ASSERT_NE(ch, 0u);
    float l, r;
    peaks(&l, &r);
    EXPECT_EQ(l > 0.01f, c.leftHeard) << c.x << ": " << l;
    EXPECT_EQ(r > 0.01f, c.rightHeard) << c.x << ": " << r;
    if (c.leftHeard && c.rightHeard) {
      EXPECT_NEAR(l, r, 1e-4f) << "centred at the camera";
    }
    stop_sound(ch);
  }
  // An event without a handler plays nothing and reports no channel.
  EXPECT_EQ(play_sound_event(1, vec4float()), 0u);
  EXPECT_EQ(play_sound_event_no_pos(1), 0u);
  EXPECT_NE(play_sound_event_no_pos(0), 0u);
}
