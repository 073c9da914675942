// The camera following the hero: placed on the hero's focus without motion, limited to 300 cells a
// second toward the point between the hero and its aim, interpolated for frames, still while paused.
#include <gtest/gtest.h>
#include "game/camera.h"
#include "game/entlingApi.h"
#include "game/gameScene.h"

namespace {
vec4float fake_hero_pos, fake_hero_target;
vec4float read_pos() { return fake_hero_pos; }
vec4float read_target() { return fake_hero_target; }

struct Camera : testing::Test {
  void SetUp() override {
    get_hero_pos = read_pos;
    get_hero_target = read_target;
  }
  void TearDown() override {
    get_hero_pos = nullptr;
    get_hero_target = nullptr;
    game_paused = false;
    free_cam_pos = vec4float();
  }
};
}  // namespace

TEST_F(Camera, ResetPutsItOnTheFocusForEveryFrameTime) {
  fake_hero_pos = vec4float(100, 40, 8, 1);
  reset_camera();
  for (float t : {0.0f, 0.02f, 0.05f}) {
    interp_camera(t);
    EXPECT_EQ(free_cam_pos.x(), 100);
    EXPECT_EQ(free_cam_pos.y(), 49);
    EXPECT_EQ(free_cam_pos.z(), 0);
  }
}

TEST_F(Camera, FollowsAtMostFifteenCellsAStep) {
  fake_hero_pos = vec4float(0, -9, 0, 1);  // focus at the origin
  reset_camera();
  // The goal is 0.7 of the way from the aim to the focus: aim 100 cells right gives a goal at 30.
  fake_hero_target = vec4float(100, 0, 5, 1);
  update_camera(0.05f);
  EXPECT_FLOAT_EQ(get_camera_pos().x(), 15);
  EXPECT_EQ(get_camera_pos().z(), 0);  // the aim's depth does not count
  update_camera(0.05f);
  EXPECT_FLOAT_EQ(get_camera_pos().x(), 30);
  interp_camera(0.025f);
  EXPECT_FLOAT_EQ(free_cam_pos.x(), 22.5f);
  // A goal within one step is reached at once.
  fake_hero_target = vec4float(133.333333f, 0, 0, 1);
  update_camera(0.05f);
  EXPECT_NEAR(get_camera_pos().x(), 40, 1e-4);
  // Paused, frames show the latest position.
  game_paused = true;
  interp_camera(0.0f);
  EXPECT_NEAR(free_cam_pos.x(), 40, 1e-4);
}
