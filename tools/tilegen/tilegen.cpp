// Generates the level tile set into <folder>/tiles/: every tile the level generator and the boss
// look up, drawn from code so the set is ours and the same on every build. Each tile is up to
// three PNG layers (name_b.png background, name_f.png foreground, name_c.png collision map) and an
// optional name.cfg.
//
// Look: dark, textured cave and factory backgrounds; brown and grey rock for destructible walls;
// riveted steel with lights for indestructible machinery; bright edges on floors, platforms and
// steps so surfaces read at a glance; a glowing green exit pad.
//
// Collision maps use pure colours only: white for solid, blue for exit cells (in the boss's parts:
// destructible hull), red for the boss's destructible subparts. Tiles without a map collide wherever their foreground is present, with
// the type from "collType" (1, destructible, unless the .cfg says otherwise).
//
// Sections: backgrounds, solid tiles, the boss's parts.
#include <math.h>
#include <stb_image_write.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <initializer_list>
#include <string>
#include <vector>
#include "tools/toolUsage.h"

namespace {

std::string out_root;
int files_written = 0;

struct Color {
  float r, g, b, a;
};
Color rgb(int r, int g, int b) { return {r / 255.f, g / 255.f, b / 255.f, 1.f}; }
Color shade(Color c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }
Color mix(Color a, Color b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}
const Color NONE = {0, 0, 0, 0};
const Color WHITE = {1, 1, 1, 1};
const Color BLUE = {0, 0, 1, 1};
const Color RED = {1, 0, 0, 1};

// An image addressed like the level: (x, y) with y = 0 the bottom row.
struct Image {
  int w, h;
  std::vector<Color> px;
  Image(int w, int h) : w(w), h(h), px(size_t(w * h), NONE) {}
  Color& at(int x, int y) { return px[size_t(y * w + x)]; }
  const Color& at(int x, int y) const { return px[size_t(y * w + x)]; }
  void set(int x, int y, Color c) {
    if (x >= 0 && y >= 0 && x < w && y < h) at(x, y) = c;
  }
  void fill(int x0, int y0, int x1, int y1, Color c) {  // inclusive
    for (int y = y0; y <= y1; y++)
      for (int x = x0; x <= x1; x++) set(x, y, c);
  }
};

uint32_t hash3(int x, int y, int seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}
float rnd(int x, int y, int seed) { return (hash3(x, y, seed) & 0xFFFFFF) / float(0x1000000); }

// Value noise that repeats every `period` cells, so tiles of one kind join without seams.
float noise(float x, float y, int period, int seed) {
  int xi = int(floorf(x)), yi = int(floorf(y));
  float fx = x - xi, fy = y - yi;
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  auto v = [&](int a, int b) { return rnd(((a % period) + period) % period, ((b % period) + period) % period, seed); };
  float a = v(xi, yi), b = v(xi + 1, yi), c = v(xi, yi + 1), d = v(xi + 1, yi + 1);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}
float fbm(int x, int y, int seed) {
  return 0.5f * noise(x / 4.f, y / 4.f, 4, seed) + 0.3f * noise(x / 2.f, y / 2.f, 8, seed + 1) +
         0.2f * rnd(x & 15, y & 15, seed + 2);
}

void ensure_folder(const std::string& path) {
  for (size_t i = 1; i <= path.size(); i++)
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

void write_png(const std::string& name, const Image& img) {
  std::vector<unsigned char> rgba(size_t(img.w * img.h * 4));
  for (int y = 0; y < img.h; y++)
    for (int x = 0; x < img.w; x++) {
      const Color& c = img.px[size_t(y * img.w + x)];
      unsigned char* p = &rgba[size_t(((img.h - 1 - y) * img.w + x) * 4)];  // PNG rows run top down
      auto q = [](float v) { return (unsigned char)(v <= 0 ? 0 : v >= 1 ? 255 : int(v * 255.f + 0.5f)); };
      p[0] = q(c.r);
      p[1] = q(c.g);
      p[2] = q(c.b);
      p[3] = q(c.a);
    }
  std::string path = out_root + "/" + name;
  ensure_folder(path.substr(0, path.rfind('/')));
  if (!stbi_write_png(path.c_str(), img.w, img.h, 4, rgba.data(), img.w * 4)) {
    fprintf(stderr, "tilegen: cannot write %s\n", path.c_str());
    exit(1);
  }
  files_written++;
}

void write_text(const std::string& name, const char* text) {
  std::string path = out_root + "/" + name;
  ensure_folder(path.substr(0, path.rfind('/')));
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || fputs(text, f) < 0 || fclose(f) != 0) {
    fprintf(stderr, "tilegen: cannot write %s\n", path.c_str());
    exit(1);
  }
  files_written++;
}

// Collision map: white wherever the foreground is present.
Image solid_map(const Image& fg) {
  Image c(fg.w, fg.h);
  for (int i = 0; i < fg.w * fg.h; i++)
    if (fg.px[size_t(i)].a > 0.5f) c.px[size_t(i)] = WHITE;
  return c;
}

// ---- backgrounds (dark: they sit behind everything)

// Backgrounds are written dimmed and with softened contrast, so the solid tiles in front of them
// stand out and the repeated tiles do not read as a grid.
void write_background(const std::string& name, const Image& img) {
  Color mean = {0, 0, 0, 1};
  for (const Color& c : img.px) mean = {mean.r + c.r, mean.g + c.g, mean.b + c.b, 1};
  float n = float(img.px.size());
  mean = {mean.r / n, mean.g / n, mean.b / n, 1};
  Image out = img;
  for (Color& c : out.px) c = shade(mix(c, mean, 0.35f), 0.62f);
  write_png(name, out);
}

Image rock_texture(Color base, int seed, float depth) {
  Image img(16, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      float n = fbm(x, y, seed);
      Color c = shade(base, 0.7f + 0.6f * n);
      if (noise(x / 3.f, y / 3.f, 16, seed + 7) > 0.78f) c = shade(c, 0.6f);  // cracks and pits
      img.at(x, y) = shade(c, depth);
    }
  return img;
}

void make_backgrounds() {
  const Color rock = rgb(52, 46, 58);
  write_background("tiles/back0_b.png", rock_texture(rock, 11, 1.f));

  Image brick(16, 16);  // dark brick courses
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      int row = y / 4, bx = (x + (row & 1) * 4) % 8;
      bool mortar = (y % 4) == 0 || bx == 0;
      Color c = mortar ? rgb(26, 22, 24) : shade(rgb(70, 42, 36), 0.8f + 0.35f * rnd(x / 8 + row * 3, row, 21));
      brick.at(x, y) = shade(c, 0.85f + 0.15f * rnd(x, y, 22));
    }
  write_background("tiles/back1_b.png", brick);

  Image panel(16, 16);  // the start room's back wall: a steel panel with a faint light strip
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      Color c = shade(rgb(36, 46, 62), 0.9f + 0.15f * fbm(x, y, 31));
      if (x == 0 || y == 15) c = shade(c, 1.3f);
      if (x == 15 || y == 0) c = shade(c, 0.6f);
      if (x >= 7 && x <= 8 && y >= 3 && y <= 12) c = mix(c, rgb(90, 150, 170), 0.2f);
      panel.at(x, y) = c;
    }
  write_background("tiles/back2_b.png", panel);

  Image pipes = rock_texture(rock, 41, 0.9f);  // rock with two old pipes
  for (int y = 0; y < 16; y++)
    for (int x : {3, 4, 5, 11, 12}) {
      float k = (x == 3 || x == 11) ? 1.2f : (x == 5 || x == 12) ? 0.7f : 1.f;
      Color c = shade(rgb(64, 66, 72), k);
      if (y % 8 == 2) c = shade(c, 0.7f);
      pipes.at(x, y) = c;
    }
  write_background("tiles/back3_b.png", pipes);

  Image plates(16, 16);  // riveted plates
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      Color c = shade(rgb(42, 44, 52), 0.85f + 0.2f * fbm(x, y, 51));
      if (x % 8 == 0 || y % 8 == 0) c = shade(c, 0.6f);
      if ((x % 8 == 2 || x % 8 == 6) && (y % 8 == 2 || y % 8 == 6)) c = rgb(78, 80, 88);
      plates.at(x, y) = c;
    }
  write_background("tiles/back4_b.png", plates);

  Image moss = rock_texture(rgb(40, 48, 40), 61, 1.f);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++)
      if (rnd(x, y, 62) > 0.82f) moss.at(x, y) = shade(rgb(50, 80, 40), 0.8f + 0.3f * rnd(x, y, 63));
  write_background("tiles/back5_b.png", moss);

  Image grate(16, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      bool bar = ((x + y) % 6 == 0) || ((x - y + 16) % 6 == 0);
      grate.at(x, y) = bar ? rgb(58, 58, 64) : shade(rgb(20, 20, 26), 0.8f + 0.3f * rnd(x, y, 71));
    }
  write_background("tiles/back6_b.png", grate);

  Image window(16, 16);  // backS1: a grimy window onto a dim glow
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      bool frame = x < 2 || x > 13 || y < 2 || y > 13 || x == 7 || x == 8 || y == 8;
      Color glow = mix(rgb(40, 90, 100), rgb(20, 40, 60), y / 16.f);
      window.at(x, y) =
          frame ? shade(rgb(48, 48, 54), 0.9f + 0.2f * rnd(x, y, 81)) : shade(glow, 0.8f + 0.3f * rnd(x, y, 82));
    }
  write_background("tiles/backS1_b.png", window);

  Image fan(16, 16);  // backS2: a vent fan
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      float dx = x - 7.5f, dy = y - 7.5f, r = sqrtf(dx * dx + dy * dy), a = atan2f(dy, dx);
      Color c = rgb(34, 36, 42);
      if (r < 7.f) c = rgb(16, 16, 20);
      if (r < 6.5f && fmodf(a + 3.1416f + r * 0.25f, 1.5708f) < 0.6f) c = rgb(66, 68, 76);
      if (r < 1.8f) c = rgb(90, 90, 96);
      fan.at(x, y) = c;
    }
  write_background("tiles/backS2_b.png", fan);

  Image warn(16, 16);  // backS3: a faded warning sign
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      Color c = shade(rgb(40, 38, 40), 0.9f + 0.2f * rnd(x, y, 91));
      if (y >= 3 && y <= 12 && x >= 2 && x <= 13) c = ((x + y) / 3) % 2 ? rgb(92, 78, 24) : rgb(24, 22, 20);
      warn.at(x, y) = c;
    }
  write_background("tiles/backS3_b.png", warn);

  // Structure backgrounds of the large optional rooms: steel frames and braces.
  for (int k = 0; k < 7; k++) {
    Image s(16, 16);
    Color base = shade(rgb(40, 44, 56), 0.85f + 0.05f * k);
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        Color c = shade(base, 0.85f + 0.2f * fbm(x, y, 100 + k));
        bool beam = false;
        switch (k) {
          case 0:
            beam = x == y || x == 15 - y;
            break;  // cross brace
          case 1:
            beam = y % 4 == 0;
            break;  // ribbed panel
          case 2:
            beam = x % 8 == 0 || y % 8 == 0;
            break;  // frame grid
          case 3:
            beam = (x + y) % 8 == 0;
            break;  // diagonal braces
          case 4:
            beam = x == 0 || x == 15 || y == 7 || y == 8;
            break;  // H beam
          case 5:
            beam = (x % 4 == 1) && (y % 4 == 1);
            break;  // bolts
          default:
            beam = (x / 4 + y / 4) % 2 == 0 && (x % 4 == 0);
            break;  // staggered struts
        }
        if (beam) c = shade(rgb(70, 76, 92), 0.9f + 0.15f * rnd(x, y, 110 + k));
        s.at(x, y) = c;
      }
    write_background("tiles/sback" + std::to_string(k) + "_b.png", s);
  }
}

// ---- solid tiles

void make_walls() {
  const Color bases[4] = {rgb(128, 94, 62), rgb(112, 106, 100), rgb(134, 82, 60), rgb(118, 100, 58)};
  for (int k = 0; k < 4; k++) {
    Image fg(16, 16), bg(16, 16);
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        float n = fbm(x, y, 200 + k * 10);
        Color c = shade(bases[k], 0.65f + 0.6f * n);
        float cracks = noise(x / 2.5f, y / 2.5f, 16, 205 + k * 10);
        if (cracks > 0.8f) c = shade(c, 0.55f);
        if (rnd(x, y, 207 + k) > 0.93f) c = shade(c, 1.3f);  // glints of harder stone
        fg.at(x, y) = c;
        bg.at(x, y) = shade(c, 0.33f);  // what a hole shows: the rock further in
      }
    write_png("tiles/wall" + std::to_string(k) + "_f.png", fg);
    write_png("tiles/wall" + std::to_string(k) + "_b.png", bg);
  }
}

void make_floors() {
  // A surface strip on top of a wall block: moss, cobbles, grating, packed red earth.
  for (int k = 0; k < 4; k++) {
    Image fg(16, 16);
    for (int x = 0; x < 16; x++) {
      int depth = 3 + int(rnd(x, 0, 300 + k) * 2.5f);
      for (int d = 0; d < depth; d++) {
        int y = 15 - d;
        Color c;
        switch (k) {
          case 0:
            c = shade(rgb(84, 140, 58), 1.15f - 0.12f * d + 0.25f * (rnd(x, y, 301) - 0.5f));
            break;
          case 1:
            c = ((x / 4 + d / 2) % 2) ? rgb(150, 144, 132) : rgb(120, 114, 106);
            if (x % 4 == 0) c = rgb(70, 66, 62);
            break;
          case 2:
            c = d == 0 ? rgb(214, 170, 40) : ((x % 3) ? rgb(120, 124, 132) : rgb(60, 62, 70));
            break;
          default:
            c = shade(rgb(160, 86, 56), 1.1f - 0.1f * d + 0.2f * (rnd(x, y, 303) - 0.5f));
            break;
        }
        if (d == 0 && k != 2) c = shade(c, 1.25f);  // a bright lip marks where to stand
        fg.at(x, y) = c;
      }
    }
    write_png("tiles/floor" + std::to_string(k) + "_f.png", fg);
  }
  // Hard floors: steel plates that bullets cannot chip.
  for (int k = 0; k < 3; k++) {
    Image fg(16, 16);
    for (int y = 11; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        Color c = shade(k == 2 ? rgb(70, 96, 140) : rgb(130, 134, 142), 0.85f + 0.2f * rnd(x, y, 320 + k));
        if (y == 15) c = k == 0 ? (((x / 2) % 2) ? rgb(230, 190, 30) : rgb(30, 30, 30)) : shade(c, 1.3f);
        if (y == 11) c = shade(c, 0.55f);
        if (k == 1 && y == 13 && x % 4 == 2) c = rgb(190, 190, 196);
        fg.at(x, y) = c;
      }
    write_png("tiles/hfloor" + std::to_string(k) + "_f.png", fg);
    write_png("tiles/hfloor" + std::to_string(k) + "_c.png", solid_map(fg));
  }
}

void make_platforms() {
  // Thin ledges on top of the tile, four cells deep, with a bright top edge.
  const Color tops[5] = {rgb(150, 156, 168), rgb(150, 104, 60), rgb(226, 180, 40), rgb(110, 116, 126),
                         rgb(80, 170, 220)};
  for (int k = 0; k < 5; k++) {
    Image fg(16, 16);
    for (int y = 12; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        Color c = shade(tops[k], y == 15 ? 1.2f : y == 12 ? 0.55f : 0.85f);
        if (k == 0 && y == 13 && x % 4 == 1) c = rgb(30, 30, 36);       // girder holes
        if (k == 1 && x % 8 == 7) c = shade(c, 0.6f);                   // plank joints
        if (k == 3 && y < 15 && (x + y) % 3 == 0) c = rgb(40, 42, 48);  // grating
        if (k == 4 && y == 12) c = rgb(140, 230, 255);                  // lit underside
        fg.at(x, y) = c;
      }
    write_png("tiles/plat" + std::to_string(k) + "_f.png", fg);
    write_png("tiles/plat" + std::to_string(k) + "_c.png", solid_map(fg));
  }
}

void make_stairs() {
  // Four steel steps, each 4 cells wide and 4 high: the hero's step-up climbs them.
  for (int dir = 0; dir < 2; dir++) {
    Image fg(16, 16);
    for (int x = 0; x < 16; x++) {
      int step = dir == 0 ? x / 4 : (15 - x) / 4;
      int top = 4 * (step + 1) - 1;
      for (int y = 0; y <= top; y++) {
        Color c = shade(rgb(120, 124, 134), 0.8f + 0.2f * rnd(x, y, 400 + dir));
        if (y == top) c = rgb(220, 176, 40);  // nosing
        else if (y == top - 1) c = rgb(160, 164, 172);
        fg.at(x, y) = c;
      }
    }
    write_png(dir == 0 ? "tiles/stairR_f.png" : "tiles/stairL_f.png", fg);
    write_text(dir == 0 ? "tiles/stairR.cfg" : "tiles/stairL.cfg", "// steel steps: indestructible\ncollType = 2\n");
  }
}

void make_machinery() {
  for (int k = 1; k <= 7; k++) {
    Image fg(16, 16);
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        Color c = shade(rgb(92, 98, 110), 0.85f + 0.2f * fbm(x, y, 500 + k));
        bool edge_hi = x == 0 || y == 15, edge_lo = x == 15 || y == 0;
        switch (k) {
          case 1:  // riveted plate
            if ((x == 3 || x == 12) && (y == 3 || y == 12)) c = rgb(190, 192, 200);
            break;
          case 2:  // horizontal pipes
            if (y >= 3 && y <= 6) c = shade(rgb(150, 110, 60), 0.7f + 0.1f * (y - 3));
            if (y >= 9 && y <= 12) c = shade(rgb(90, 130, 150), 0.7f + 0.1f * (y - 9));
            break;
          case 3:  // control panel with lamps
            if (x >= 2 && x <= 13 && y >= 2 && y <= 13) c = rgb(30, 34, 40);
            if (y == 10 && (x == 4 || x == 8 || x == 12)) c = x == 8 ? rgb(255, 60, 40) : rgb(60, 255, 90);
            if (y == 5 && x >= 4 && x <= 11) c = rgb(60, 200, 255);
            break;
          case 4:  // vent grille
            if (x >= 2 && x <= 13 && y >= 2 && y <= 13 && y % 3 == 0) c = rgb(24, 24, 28);
            break;
          case 5:  // hazard block
            if (x >= 1 && x <= 14 && y >= 1 && y <= 14) c = ((x + y) / 3) % 2 ? rgb(230, 180, 30) : rgb(36, 34, 32);
            break;
          case 6:  // cable conduit
            if (x >= 5 && x <= 10) c = (x == 5 || x == 10) ? rgb(50, 52, 58) : rgb(160, 40, 40 + 20 * (y % 2));
            break;
          default: {  // gear housing
            float dx = x - 7.5f, dy = y - 7.5f, r = sqrtf(dx * dx + dy * dy), a = atan2f(dy, dx);
            if (r < 6.5f + (fmodf(a + 3.1416f, 0.785f) < 0.4f ? 1.f : 0.f)) c = rgb(150, 140, 110);
            if (r < 2.5f) c = rgb(50, 50, 56);
          }
        }
        if (edge_hi) c = shade(c, 1.35f);
        if (edge_lo) c = shade(c, 0.5f);
        fg.at(x, y) = c;
      }
    write_png("tiles/mach" + std::to_string(k) + "_f.png", fg);
    write_text("tiles/mach" + std::to_string(k) + ".cfg", "// machinery: indestructible\ncollType = 2\n");
  }
}

void make_exit() {
  // A raised pad whose glowing top is the exit: standing on it ends the level.
  Image fg(16, 16), coll(16, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      Color c = shade(rgb(70, 76, 86), 0.85f + 0.2f * rnd(x, y, 600));
      if (y >= 13) c = mix(rgb(60, 255, 120), rgb(200, 255, 210), rnd(x, y, 601) * 0.5f + (y == 15 ? 0.4f : 0.f));
      else if (y == 12) c = rgb(30, 120, 60);
      if ((x == 0 || x == 15) && y < 13) c = shade(c, 0.6f);
      fg.at(x, y) = c;
      coll.at(x, y) = y >= 13 ? BLUE : WHITE;
    }
  write_png("tiles/exit_f.png", fg);
  write_png("tiles/exit_c.png", coll);
}

// ---- the boss's parts
//
// Every part has a collision map: white is armour (it stops a shot's damage), blue is hull (shot
// away cell by cell; in a boss part's grid blue only means destructible, never an exit), red the
// body's locked subparts. The boss faces left, towards where the hero comes from: its front is
// armoured, and its subparts sit at the back and inside (only the bottom plate's keel shows along
// the belly), so the hero has to chew through hull to reach them.

Image steel_part(int w, int h, Color base, int seed) {
  Image img(w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      Color c = shade(base, 0.8f + 0.3f * fbm(x, y, seed));
      if (x == 0 || y == h - 1) c = shade(c, 1.3f);
      if (x == w - 1 || y == 0) c = shade(c, 0.55f);
      img.at(x, y) = c;
    }
  return img;
}

// A part's map: hull under every foreground pixel, armour in the given rectangles (inclusive).
struct ArmourRect {
  int x0, y0, x1, y1;
};
Image hull_map(const Image& fg, std::initializer_list<ArmourRect> armour) {
  Image c(fg.w, fg.h);
  for (int i = 0; i < fg.w * fg.h; i++)
    if (fg.px[size_t(i)].a >= 0.5f) c.px[size_t(i)] = BLUE;
  for (const ArmourRect& r : armour)
    for (int y = r.y0; y <= r.y1; y++)
      for (int x = r.x0; x <= r.x1; x++)
        if (x >= 0 && y >= 0 && x < fg.w && y < fg.h && fg.at(x, y).a >= 0.5f) c.at(x, y) = WHITE;
  return c;
}

// Armour plates look brighter and riveted, so the player sees where shots will not bite.
void paint_armour(Image& img, const Image& map, int seed) {
  for (int y = 0; y < img.h; y++)
    for (int x = 0; x < img.w; x++) {
      if (map.at(x, y).r < 0.5f || map.at(x, y).g < 0.5f) continue;  // white only
      Color c = shade(rgb(150, 156, 168), 0.85f + 0.25f * fbm(x, y, seed));
      if ((x + 2 * y) % 7 == 0) c = rgb(210, 214, 222);  // rivets
      img.at(x, y) = c;
    }
}

// glow: the muzzle's lamp, painted over the armour (x0, y0, x1, y1; x1 < 0 for none).
void write_part(const std::string& name, Image& fg, const Image& map, int seed, ArmourRect glow = {0, 0, -1, -1}) {
  paint_armour(fg, map, seed);
  fg.fill(glow.x0, glow.y0, glow.x1, glow.y1, rgb(255, 140, 40));
  write_png("tiles/boss1/" + name + "_f.png", fg);
  write_png("tiles/boss1/" + name + "_c.png", map);
}

void make_boss() {
  const Color hull = rgb(120, 60, 56), dark = rgb(70, 64, 70);

  Image foot = steel_part(24, 8, dark, 700);
  for (int x = 0; x < 24; x += 6) foot.fill(x, 0, x + 1, 1, rgb(200, 200, 60));  // claws
  write_part("foot", foot, hull_map(foot, {{0, 0, 23, 1}, {0, 6, 23, 7}}), 701);

  Image leg = steel_part(8, 40, dark, 710);
  leg.fill(3, 2, 4, 37, rgb(170, 174, 184));                                   // piston rod
  write_part("leg", leg, hull_map(leg, {{0, 0, 7, 3}, {0, 36, 7, 39}}), 711);  // armoured ankle and knee

  // The body, 46 x 48: hull that shots chew into from any side, and armour round the core (a shield
  // in front, bars over and under it) and over and under the middle plate. Four red subparts, each a
  // region of its own with a hull or armour gap between them: the bottom plate (1) at the back, with
  // a keel along the whole belly and a rib up beside the middle plate, so that its rectangle spans
  // the lower body up to the bar under the core; the top plate (2) at the back; the middle plate
  // (3), which blows off by itself once both plates are gone; and the core, facing left. The hero
  // comes from the left and shots only fly onwards, so the core cannot wait for the middle plate
  // behind it: the bottom plate opens it instead. Its keel shows at the front of the belly; when it
  // blows off, its whole rectangle goes with it, the bar and the shield's foot under the core too,
  // and the core lies open to shots from below.
  Image body = steel_part(46, 48, hull, 720);
  Image bmap = hull_map(body, {{0, 15, 3, 33},      // the core's front shield
                               {0, 15, 17, 17},     // under the core
                               {0, 31, 17, 33},     // over the core
                               {16, 16, 29, 17},    // under the middle plate
                               {16, 31, 29, 33}});  // over the middle plate
  paint_armour(body, bmap, 721);
  struct Region {
    int x0, y0, x1, y1;
    Color look;
  } regions[6] = {{31, 0, 45, 11, rgb(180, 120, 60)},   // subpart 1 at (32, 6)
                  {0, 0, 30, 1, rgb(180, 120, 60)},     // its keel
                  {30, 1, 30, 17, rgb(180, 120, 60)},   // its rib
                  {31, 36, 45, 47, rgb(180, 120, 60)},  // subpart 2 at (32, 42)
                  {18, 18, 28, 30, rgb(70, 160, 150)},  // subpart 3 at (20, 24)
                  {4, 18, 15, 30, rgb(255, 80, 60)}};   // the core at (12, 24)
  for (const Region& r : regions)
    for (int y = r.y0; y <= r.y1; y++)
      for (int x = r.x0; x <= r.x1; x++) {
        bmap.at(x, y) = RED;
        Color c = shade(r.look, 0.8f + 0.3f * rnd(x, y, 730));
        if (r.look.r > 0.9f) c = mix(c, rgb(255, 220, 120), ((x + y) % 5 == 0) ? 0.5f : 0.f);  // hot core
        body.at(x, y) = c;
      }
  write_png("tiles/boss1/body_f.png", body);
  write_png("tiles/boss1/body_c.png", bmap);

  // The front gun: a housing from x 14 and a barrel pointing left whose end is the muzzle the game
  // fires from, pivot (20, 5) + (-14, 1) = (6, 6): the barrel's rows 4 to 7 sit round y 6 and
  // nothing lies beyond x 6, so shots leave from the barrel's tip.
  Image fgun = steel_part(32, 10, dark, 740);
  for (int y = 0; y < fgun.h; y++)
    for (int x = 0; x < 14; x++)
      if (x < 6 || y < 4 || y > 7) fgun.at(x, y) = NONE;
  fgun.fill(6, 4, 13, 7, rgb(40, 40, 44));                                      // barrel
  fgun.fill(14, 0, 14, 9, shade(rgb(70, 64, 70), 1.2f));                        // the housing's front edge
  write_part("fgun", fgun, hull_map(fgun, {{6, 4, 9, 7}}), 741, {6, 5, 7, 6});  // armoured muzzle

  Image support = steel_part(12, 24, hull, 750);
  write_part("support1", support, hull_map(support, {{5, 0, 6, 23}}), 751);

  Image tgun = steel_part(36, 10, dark, 760);
  tgun.fill(0, 4, 25, 6, rgb(40, 40, 44));
  write_part("tgun", tgun, hull_map(tgun, {{0, 4, 3, 6}}), 761, {0, 5, 1, 5});

  Image launcher = steel_part(20, 16, hull, 770);
  launcher.fill(5, 0, 14, 5, rgb(30, 30, 34));  // the bomb hatch
  write_part("launcher", launcher, hull_map(launcher, {{0, 13, 19, 15}}), 771);
}

}  // namespace

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "tilegen",
                        "usage: tilegen <program folder>\n"
                        "Writes the level and boss tiles (images and .cfg files) into <program folder>/tiles.\n",
                        1, 1);
  out_root = argv[1];
  make_backgrounds();
  make_walls();
  make_floors();
  make_platforms();
  make_stairs();
  make_machinery();
  make_exit();
  make_boss();
  printf("tilegen: %d files in %s/tiles\n", files_written, out_root.c_str());
  return 0;
}
