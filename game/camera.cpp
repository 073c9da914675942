// The camera (see camera.h). The hero is read through the actor library's accessors; without a
// bound library the camera stays where it is.
#include "game/camera.h"
#include "game/entlingApi.h"
#include "game/gameScene.h"

vec4float free_cam_pos;
static vec4float cam_pos, cam_prev;

static const float CAMERA_HEIGHT = 9.0f;  // the camera looks at a point this far above the feet
static const float HERO_WEIGHT = 0.7f;    // of the hero against its aiming target
static const float CAMERA_SPEED = 300.0f;

static vec4float hero_focus(vec4float h) { return vec4float(h.x(), h.y() + CAMERA_HEIGHT, 0, 1); }

vec4float get_camera_pos() { return cam_pos; }

void reset_camera() {
  if (!get_hero_pos) return;
  cam_pos = cam_prev = free_cam_pos = hero_focus(get_hero_pos());
}

void update_camera(float dt) {
  if (!get_hero_pos || !get_hero_target) return;
  vec4float focus = hero_focus(get_hero_pos());
  vec4float a = get_hero_target();
  a = vec4float(a.x(), a.y(), 0, a.w());
  cam_prev = cam_pos;
  vec4float goal = a + (focus - a) * HERO_WEIGHT;
  vec4float d = goal - cam_pos;
  float len = v_length3(d).x();
  float step = CAMERA_SPEED * dt;
  if (len > step) cam_pos += d * (step / len);
  else cam_pos = goal;
}

void move_camera(vec4float pos, float) {
  cam_prev = cam_pos;
  cam_pos = pos;
}

void interp_camera(float t) {
  if (game_paused) t = 0.05f;
  free_cam_pos = cam_prev + (cam_pos - cam_prev) * (t * 20.0f);
}
