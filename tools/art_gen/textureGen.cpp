// The tile and background textures, all tileable:
// - "voxel-tile.dds": the look of one solid voxel (level cells, sprite and GUI texels): a raised
//   block, light on its top and left, dark on its bottom and right, 128 (neutral) in the middle;
// - "back-tile.dds": a background cell, darker and recessed (shadow top-left, light bottom-right);
// - "background.dds": the hall behind the level, 64 x 64: red is brightness (wall panels, girders,
//   pipes), green mixes the two tint colours the background pass gives.
#include <stdint.h>
#include "artCanvas.h"
#include "artGen.h"
#include "ddsWrite.h"

namespace {
// Small deterministic noise in -1..1 from integer coordinates.
float hash_noise(int x, int y, int seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return float(h & 0xFFFF) / 32767.5f - 1.0f;
}

Rgba grey(int v) { return rgb(v, v, v); }

Canvas voxel_tile() {
  Canvas c(16, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      float v = 132.0f - (x + y - 15) * 0.6f + hash_noise(x, y, 1) * 3.0f;
      if (y <= 1) v = 186.0f - y * 12.0f;
      if (x <= 1 && y >= x) v = 168.0f - x * 10.0f;
      if (y >= 14) v = 78.0f + (15 - y) * 14.0f;
      if (x >= 14 && 15 - x <= 15 - y) v = 88.0f + (15 - x) * 12.0f;
      c.set(x, y, grey(int(lroundf(v))));
    }
  return c;
}

Canvas back_tile() {
  Canvas c(16, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      float v = 104.0f + hash_noise(x, y, 2) * 4.0f;
      if (y <= 1 || x <= 1) v = 64.0f;
      if (y >= 15 || x >= 15) v = 124.0f;
      if ((x == 1 && y >= 14) || (y == 1 && x >= 14)) v = 96.0f;
      c.set(x, y, grey(int(lroundf(v))));
    }
  return c;
}

Canvas background() {
  Canvas c(64, 64);
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) {
      // Wall panels 32 x 16 with dark seams and a light top rim, rivets near the corners.
      int px = x % 32, py = y % 16;
      float b = 150.0f + hash_noise(x / 2, y / 2, 3) * 10.0f;
      if (py == 0 || px == 0) b = 60.0f;
      else if (py == 1) b = 190.0f;
      else if (py == 15 || px == 31) b = 105.0f;
      if ((px == 3 || px == 28) && (py == 3 || py == 12)) b = 215.0f;
      // A girder across the middle with a diagonal truss.
      if (y >= 28 && y <= 35) {
        b = (y == 28 || y == 35) ? 70.0f : 120.0f;
        int d = (x + y) % 8;
        if (y > 29 && y < 34 && (d == 0 || d == 1)) b = 175.0f;
      }
      // A vertical pipe.
      if (x >= 44 && x <= 49) {
        float t = (x - 46.5f) / 3.0f;
        b = 200.0f - t * t * 120.0f - (x == 49 ? 40.0f : 0.0f);
        if (y % 32 == 20 || y % 32 == 21) b = 90.0f;  // pipe joint
      }
      // Mix factor: a slow diagonal wave for variety between the two tints.
      float m = 0.5f + 0.35f * hash_noise(x / 8, y / 8, 4) + ((x + y) % 64 < 32 ? 0.1f : -0.1f);
      int mi = int(lroundf(m * 255.0f));
      c.set(x, y, rgb(int(lroundf(b)), mi, 0));
    }
  return c;
}
}  // namespace

bool generate_textures(const std::string& dir) {
  return write_dds_argb(dir + "/voxel-tile.dds", voxel_tile(), true) &&
         write_dds_argb(dir + "/back-tile.dds", back_tile(), true) &&
         write_dds_argb(dir + "/background.dds", background(), true);
}
