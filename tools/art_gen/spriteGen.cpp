// The game's sprites: crisp pixel art drawn from shapes in code, lit from the upper left, outlined in
// near-black. The hero wears indigo with an orange visor; enemies are light-grey machines whose parts
// (body, locomotion, guns, spikes) share one body frame so any combination fits together; hazards are
// red and yellow, energy is cyan. Each sprite is a PNG under "sprites/", with a ".cfg" where its
// origin or nine-patch margins differ from the defaults (origin at the bottom centre, no margins).
// Sprite rows are drawn top first here; the origin's oy counts up from the picture's bottom row.
// Sections: hero, enemy parts, hazards, pickups, bullets, GUI.
#include <stdio.h>
#include <functional>
#include "artCanvas.h"
#include "artGen.h"
#include "platform/platform.h"

namespace {
const Rgba OUT = rgb(16, 14, 22);
const Rgba S0 = rgb(28, 30, 36), S1 = rgb(54, 59, 68), S2 = rgb(88, 95, 107), S3 = rgb(132, 140, 152),
           S4 = rgb(182, 189, 198), S5 = rgb(222, 226, 230);
const Rgba H1 = rgb(40, 26, 100), H2 = rgb(66, 43, 159), H3 = rgb(110, 86, 214);
const Rgba V1 = rgb(255, 138, 36), V2 = rgb(255, 214, 130);
const Rgba Y1 = rgb(242, 193, 46), Y2 = rgb(255, 236, 140), K = rgb(34, 30, 28);
const Rgba R1 = rgb(140, 24, 30), R2 = rgb(222, 50, 54), R3 = rgb(255, 130, 116);
const Rgba C1 = rgb(22, 96, 132), C2 = rgb(68, 224, 255), C3 = rgb(210, 252, 255);
const Rgba WHITE = rgb(255, 255, 255);

struct SpriteOut {
  std::string name;
  Canvas img;
  std::string cfg;  // empty: no ".cfg"
};

std::string origin(int ox, int oy) { return "ox=" + std::to_string(ox) + "\noy=" + std::to_string(oy) + "\n"; }
std::string margins(int l, int t, int r, int b) {
  return "npl=" + std::to_string(l) + "\nnpt=" + std::to_string(t) + "\nnpr=" + std::to_string(r) +
         "\nnpb=" + std::to_string(b) + "\n";
}

// ---- hero

Canvas hero_body() {
  Canvas c(10, 12);
  c.rect(1, 6, 2, 9, S2);  // backpack
  c.set(1, 6, S3);
  c.block(2, 6, 7, 10, H2, 1.35f, 0.6f);  // torso
  c.hline(3, 6, 8, H1);                   // chest seam
  c.set(6, 7, Y1);                        // shoulder lamp
  c.ball(3, 1, 7, 5, H2);                 // helmet
  c.rect(5, 3, 7, 4, V1);                 // visor, facing right
  c.set(6, 3, V2);
  c.hline(2, 7, 10, S1);  // belt
  c.set(5, 10, Y1);
  c.outline(OUT);
  return c;
}

// Legs: hip at the top, feet on the bottom row. Each leg goes from its hip to its foot, two pixels
// wide, with a steel boot pointing forward (right).
Canvas hero_legs(int back_foot, int front_foot, int back_lift, int front_lift) {
  Canvas c(10, 7);
  auto leg = [&](int hip, int foot, int lift, Rgba col) {
    int fy = 5 - lift;
    for (int y = 1; y <= fy; y++) {
      int x = hip + (foot - hip) * (y - 1) / (fy > 1 ? fy - 1 : 1);
      c.rect(x, y, x + 1, y, col);
    }
    c.rect(foot, fy, foot + 2, fy, S2);
    c.set(foot + 2, fy, S3);
  };
  leg(3, back_foot, back_lift, H1);
  leg(4, front_foot, front_lift, H2);
  c.rect(3, 1, 5, 1, H2);  // hips
  c.outline(OUT);
  return c;
}

Canvas hero_arm() {
  Canvas c(11, 5);
  c.rect(4, 1, 9, 2, S3);  // barrel
  c.hline(4, 9, 1, S4);
  c.set(9, 1, V1);  // muzzle
  c.set(9, 2, V1);
  c.rect(5, 3, 6, 3, S1);  // grip
  c.ball(1, 1, 3, 3, H2);  // shoulder and hand
  c.outline(OUT);
  return c;
}

Canvas heart_shape(int w, int h, Rgba face, Rgba glint, Rgba edge) {
  Canvas c(w, h);
  int half = (w - 2) / 2;
  c.ball(1, 1, half, half, face, 1.3f, 0.75f);
  c.ball(w - 1 - half, 1, w - 2, half, face, 1.3f, 0.75f);
  c.tri(1.0f, half * 0.55f + 1.0f, float(w - 1), half * 0.55f + 1.0f, w * 0.5f, float(h - 1), face);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      if (c.opaque(x, y) && y > half) c.set(x, y, shade(face, 0.8f));
  c.set(2, 2, glint);
  c.set(3, 2, glint);
  c.set(2, 3, glint);
  c.outline(edge);
  return c;
}

// ---- enemy parts: the body is 14 wide; locomotion sits at the foot point, the body two above.

Canvas part_body() {
  Canvas c(14, 10);
  c.block(1, 1, 12, 8, S4, 1.2f, 0.62f);
  c.hline(2, 11, 2, S5);    // top plate
  c.rect(2, 6, 11, 7, S3);  // lower skirt
  c.rect(8, 3, 11, 4, R1);  // visor slot, facing right
  c.rect(9, 3, 10, 3, R2);
  c.set(10, 3, R3);
  c.set(3, 4, S2);  // rivets
  c.set(6, 4, S2);
  c.outline(OUT);
  return c;
}

Canvas part_wheels() {
  Canvas c(14, 6);
  c.rect(3, 1, 10, 2, S1);
  c.ball(1, 1, 5, 5, S1, 1.6f, 0.6f);
  c.ball(8, 1, 12, 5, S1, 1.6f, 0.6f);
  c.set(3, 3, S3);
  c.set(10, 3, S3);
  c.outline(OUT);
  return c;
}

Canvas part_jet() {
  Canvas c(12, 8);
  c.block(3, 1, 8, 3, S3);
  c.hline(2, 9, 1, S4);
  c.outline(OUT);
  // The flame glows: no outline.
  c.tri(3.0f, 4.5f, 9.0f, 4.5f, 6.0f, 8.0f, C2);
  c.rect(5, 4, 6, 5, C3);
  return c;
}

Canvas part_jumper() {
  Canvas c(12, 6);
  for (int i = 0; i < 3; i++) {
    int y = 1 + i;
    c.hline(i % 2 ? 4 : 5, i % 2 ? 6 : 7, y, i % 2 ? Y1 : Y2);
  }
  c.block(1, 4, 10, 4, S2);
  c.outline(OUT);
  return c;
}

Canvas part_magnet() {
  Canvas c(10, 9);
  c.ball(1, 1, 8, 7, R2, 1.3f, 0.6f);
  c.rect(3, 0, 6, 4, 0);   // the gap between the poles
  c.rect(1, 1, 2, 2, S4);  // pole tips, towards what it holds
  c.rect(7, 1, 8, 2, S4);
  c.outline(OUT);
  return c;
}

// Guns turn about their mount and are drawn rotated toward what they aim at, so each is drawn with
// its barrel toward the image's -x, its origin at the mount, and the same from above as from
// below (a gun aiming the other way shows the image upside down). The shading therefore runs along
// the barrel's middle row instead of coming from the upper left.
Canvas mirrored_y(Canvas c) {
  for (int y = 0; y < c.h / 2; y++)
    for (int x = 0; x < c.w; x++) c.set(x, c.h - 1 - y, c.get(x, y));
  return c;
}

// A round hub about (cx, cy) with a flat face and a bright middle row.
void gun_hub(Canvas& c, int x0, int y0, int x1, int y1, Rgba face) {
  c.ball(x0, y0, x1, y1, face, 1.0f, 1.0f);
  c.hline(x0 + 1, x1 - 1, (y0 + y1) / 2, shade(face, 1.3f));
}

Canvas part_turret() {
  Canvas c(15, 7);
  c.rect(1, 2, 10, 4, S3);  // barrel
  c.hline(2, 10, 3, S4);
  c.vline(1, 2, 4, R2);  // muzzle
  c.set(1, 3, R3);
  gun_hub(c, 9, 1, 13, 5, S2);
  c.set(11, 3, R2);  // the eye at the mount
  c.outline(OUT);
  return mirrored_y(c);
}

Canvas part_charge_gun(bool lit) {
  Canvas c(15, 9);
  c.rect(1, 3, 9, 5, S2);  // barrel
  c.hline(2, 9, 4, S3);
  Rgba coil = lit ? C2 : C1, hot = lit ? C3 : C1;
  for (int x = 3; x <= 7; x += 2) c.rect(x, 2, x, 6, coil);  // coils around the barrel
  c.vline(1, 3, 5, hot);
  gun_hub(c, 8, 1, 13, 7, S3);
  c.set(11, 4, lit ? C2 : S1);
  c.outline(OUT);
  return mirrored_y(c);
}

// Two barrels on one hub: the same to the left and right, up and down.
Canvas part_double_gun() {
  Canvas c(19, 5);
  c.rect(1, 1, 17, 3, S2);
  c.hline(1, 17, 2, S3);
  c.rect(6, 0, 12, 4, S3);
  c.hline(7, 11, 2, S4);
  c.vline(1, 1, 3, R2);
  c.vline(17, 1, 3, R2);
  c.outline(OUT);
  return mirrored_y(c);
}

Canvas part_top_spikes() {
  Canvas c(14, 6);
  for (int i = 0; i < 4; i++) {
    float x0 = 1.5f + i * 3.0f;
    c.tri(x0 - 0.5f, 5.0f, x0 + 2.5f, 5.0f, x0 + 1.0f, 0.5f, Y1);
    c.set(int(x0 + 1.0f), 1, Y2);
  }
  c.hline(1, 12, 4, S1);
  c.outline(OUT);
  return c;
}

Canvas part_side_spikes() {
  Canvas c(5, 8);
  c.vline(0, 0, 7, S1);
  c.tri(0.5f, 0.5f, 0.5f, 4.0f, 4.5f, 2.2f, Y1);
  c.tri(0.5f, 4.0f, 0.5f, 7.5f, 4.5f, 5.8f, Y1);
  c.set(3, 2, Y2);
  c.set(3, 5, Y2);
  c.vline(0, 0, 7, S1);
  return c;
}

Canvas part_dasher() {
  Canvas c(14, 6);
  c.block(1, 1, 9, 4, S3);
  c.tri(9.0f, 1.0f, 9.0f, 5.0f, 13.0f, 3.0f, S4);
  c.rect(2, 2, 4, 3, C2);
  c.outline(OUT);
  return c;
}

Canvas part_drill() {
  Canvas c(11, 8);
  c.block(1, 1, 3, 6, S2);
  c.tri(3.5f, 1.0f, 3.5f, 7.0f, 10.5f, 4.0f, S4);
  for (int x = 5; x <= 8; x += 2) c.line(x, 2, x + 1, 5, S2);
  c.outline(OUT);
  return c;
}

// ---- hazards, pickups, bullets

Canvas barrel() {
  Canvas c(12, 12);
  for (int x = 1; x <= 10; x++) {
    // A cylinder: brightest a little left of the middle.
    float t = (x - 4.0f) / 6.0f;
    float f = 1.25f - t * t * 0.9f;
    c.rect(x, 1, x, 10, shade(R2, f));
  }
  c.hline(1, 10, 1, S4);
  c.hline(1, 10, 6, S3);
  c.hline(1, 10, 10, S2);
  for (int y = 3; y <= 4; y++)
    for (int x = 1; x <= 10; x++) c.set(x, y, ((x + y) / 2) % 2 ? Y1 : K);
  c.set(3, 8, R3);
  c.outline(OUT);
  return c;
}

Canvas bomb() {
  Canvas c(10, 10);
  c.ball(1, 2, 8, 9, S1, 1.7f, 0.55f);
  c.rect(4, 1, 5, 2, S3);
  c.set(3, 4, S4);
  c.outline(OUT);
  c.set(6, 0, V2);
  c.set(7, 0, V1);
  return c;
}

Canvas up_point() {
  Canvas c(11, 11);
  c.tri(5.5f, 0.5f, 10.5f, 5.5f, 5.5f, 10.5f, C2);
  c.tri(5.5f, 0.5f, 0.5f, 5.5f, 5.5f, 10.5f, shade(C2, 1.1f));
  for (int y = 0; y < 11; y++)
    for (int x = 0; x < 11; x++)
      if (c.opaque(x, y) && x + y > 11) c.set(x, y, C1);
  c.rect(5, 3, 5, 7, WHITE);
  c.rect(3, 5, 7, 5, WHITE);
  c.outline(OUT);
  return c;
}

Canvas bullet(Rgba core, Rgba body, Rgba edge) {
  Canvas c(5, 5);
  c.rect(1, 1, 3, 3, body);
  c.set(2, 2, core);
  c.set(1, 1, core);
  c.outline(edge);
  c.set(0, 0, 0);
  c.set(4, 0, 0);
  c.set(0, 4, 0);
  c.set(4, 4, 0);
  return c;
}

// ---- GUI

Canvas crosshair() {
  Canvas c(11, 11);
  c.rect(5, 1, 5, 3, Y2);
  c.rect(5, 7, 5, 9, Y2);
  c.rect(1, 5, 3, 5, Y2);
  c.rect(7, 5, 9, 5, Y2);
  c.set(5, 5, V1);
  c.outline(OUT);
  return c;
}

Rgba grey(int v) { return rgb(v, v, v); }

// Raised key: three rows of top rim, two of bottom, two columns on each side.
Canvas button(bool pressed) {
  int h = pressed ? 10 : 9;
  Canvas c(8, h);
  int top = pressed ? 4 : 3;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < 8; x++) {
      bool edge_x = x == 0 || x == 7, edge_y = y == 0 || y == h - 1;
      if (edge_x && edge_y) continue;  // rounded corners
      Rgba v;
      if (edge_x || edge_y) v = grey(40);
      else if (!pressed) {
        if (y == 1) v = grey(240);
        else if (y == h - 2) v = grey(118);
        else if (x == 1) v = grey(220);
        else if (x == 6) v = grey(150);
        else v = y == 2 ? grey(205) : grey(190);
      } else {
        if (y < top) v = grey(90 + 30 * (y - 1));
        else if (y == h - 2) v = grey(205);
        else if (x == 1) v = grey(140);
        else if (x == 6) v = grey(195);
        else v = grey(172);
      }
      c.set(x, y, v);
    }
  return c;
}

// Steel frame: rivets in the corners, a dark lip inside, a flat middle.
Canvas panel() {
  Canvas c(16, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      int d = std::min(std::min(x, y), std::min(15 - x, 15 - y));  // distance to the outside
      Rgba v;
      if (d == 0) v = grey(30);
      else if (d == 5) v = grey(70);
      else if (d > 5) v = grey(150);
      else {
        bool lit = (x < 8 && x == d) || (y < 8 && y == d);
        v = d == 1 ? (lit ? grey(235) : grey(120)) : grey(lit && d == 1 ? 235 : 185);
        if (d == 4) v = (x > 8 && x == 15 - d) || (y > 8 && y == 15 - d) ? grey(225) : grey(110);
      }
      c.set(x, y, v);
    }
  for (int cy : {3, 12})
    for (int cx : {3, 12}) {
      c.set(cx, cy, grey(240));
      c.set(cx + 1, cy, grey(90));
      c.set(cx, cy + 1, grey(90));
      c.set(cx + 1, cy + 1, grey(70));
    }
  c.set(0, 0, 0);
  c.set(15, 0, 0);
  c.set(0, 15, 0);
  c.set(15, 15, 0);
  return c;
}

// Screen backdrop: a hazard-striped frame (period four, so the edges tile) around a fine diagonal
// tread plate.
Canvas backdrop() {
  Canvas c(16, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      int d = std::min(std::min(x, y), std::min(15 - x, 15 - y));
      Rgba v;
      if (d == 0) v = grey(20);
      else if (d == 5) v = grey(40);
      else if (d > 5) v = (x + y) % 4 == 0 ? grey(120) : ((x + y) % 4 == 1 ? grey(150) : grey(135));
      else if (d == 1 || d == 4) v = grey(90);
      else v = ((x + y) / 2) % 2 ? rgb(250, 215, 70) : grey(35);
      c.set(x, y, v);
    }
  return c;
}

// Every sprite of the game, one a line: the name, its drawing, its settings ("" for none). The build
// reads these lines for its outputs (cmake/art.cmake), so keep each sprite on one line; the
// objects' sprites are named in game/objectSprites.h, and a unit test loads every one of those from
// what this writes.
std::vector<SpriteOut> all_sprites() {
  std::vector<SpriteOut> s;
  s.push_back({"hero_body", hero_body(), origin(5, -5)});
  s.push_back({"hero_legs0", hero_legs(2, 5, 0, 0), ""});
  s.push_back({"hero_legs2", hero_legs(1, 6, 0, 0), ""});
  s.push_back({"hero_legs4", hero_legs(3, 4, 0, 2), ""});
  s.push_back({"hero_legs6", hero_legs(6, 2, 1, 0), ""});
  s.push_back({"hero_arm", hero_arm(), origin(2, 2)});
  s.push_back({"heart", heart_shape(9, 8, R2, R3, OUT), origin(4, 10)});
  s.push_back({"heart_bonus", heart_shape(11, 10, R2, WHITE, Y1), origin(5, -1)});
  s.push_back({"up_point", up_point(), origin(5, -1)});
  s.push_back({"bullet_hero", bullet(WHITE, Y2, V1), origin(2, 2)});
  s.push_back({"bullet_enemy", bullet(R3, R2, R1), origin(2, 2)});
  s.push_back({"barrel", barrel(), origin(6, 0)});
  s.push_back({"bomb", bomb(), ""});
  s.push_back({"parts/body", part_body(), ""});
  s.push_back({"parts/wheels", part_wheels(), ""});
  s.push_back({"parts/jet", part_jet(), origin(6, 3)});
  s.push_back({"parts/jumper", part_jumper(), ""});
  s.push_back({"parts/magnet", part_magnet(), origin(5, 4)});
  s.push_back({"parts/gun", part_turret(), origin(11, 3)});
  s.push_back({"parts/c_gun0", part_charge_gun(false), origin(11, 4)});
  s.push_back({"parts/c_gun1", part_charge_gun(true), origin(11, 4)});
  s.push_back({"parts/h_gun", part_double_gun(), origin(9, 2)});
  s.push_back({"parts/top_spikes", part_top_spikes(), ""});
  s.push_back({"parts/side_spikes", part_side_spikes(), origin(1, 0)});
  s.push_back({"parts/dasher", part_dasher(), ""});
  s.push_back({"parts/drill", part_drill(), origin(1, 3)});
  s.push_back({"ui/crosshair1", crosshair(), origin(5, 5)});
  s.push_back({"ui/button", button(false), margins(2, 3, 2, 2)});
  s.push_back({"ui/button_pressed", button(true), margins(2, 4, 2, 2)});
  s.push_back({"ui/panel", panel(), margins(6, 6, 6, 6)});
  s.push_back({"ui/back", backdrop(), margins(6, 6, 6, 6)});
  return s;
}
}  // namespace

bool generate_sprites(const std::string& dir) {
  std::string root = dir + "/sprites";
  plat_make_folder(root.c_str());
  plat_make_folder((root + "/parts").c_str());
  plat_make_folder((root + "/ui").c_str());
  for (const SpriteOut& s : all_sprites()) {
    std::string base = root + "/" + s.name;
    if (!write_canvas_png(base + ".png", s.img)) {
      fprintf(stderr, "art_gen: can't write %s.png\n", base.c_str());
      return false;
    }
    if (!s.cfg.empty()) {
      FILE* f = fopen((base + ".cfg").c_str(), "wb");
      if (!f) return false;
      fputs(s.cfg.c_str(), f);
      if (fclose(f) != 0) return false;
    }
  }
  return true;
}
