// A sprite's ".cfg" on arbitrary bytes: reading the origin and nine-patch margins never fails, the
// margins stay inside the sprite, and the quads built from them are sound (the GUI's nine-patch
// cuts pieces by those margins).
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <new>
#include "engine/loadSprite.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Sprite s;
  s.width = data[0] % 64;
  s.height = data[1] % 64;
  void* mem = dlmalloc(sizeof(ConfigNode));
  s.config = new (mem) ConfigNode();
  s.config->parse((const char*)data + 2, int(size - 2));
  apply_sprite_config(s);
  if (s.npl < 0 || s.npr < 0 || s.npt < 0 || s.npb < 0 || s.npl > s.width || s.npr > s.width || s.npt > s.height ||
      s.npb > s.height)
    __builtin_trap();
  spriteTexSize = 64;
  s.rect[2] = s.width * 256;
  s.rect[3] = s.height * 256;
  SpriteVertex v[6];
  float box[4];
  s.makeQuad(vec4float(1, 2, 3, 1), vec4float(-1, 0, 0, 1), v, box);
  GuiImageVertex g[6];
  for (int scale = 1; scale <= 3; scale++) {
    // The pieces of a nine-patch: corners and edges cut by the margins.
    int l = s.npl * scale, t = s.npt * scale, r = s.npr * scale, b = s.npb * scale;
    int w = s.width * scale, h = s.height * scale;
    int cuts[][4] = {{0, 0, w - l, h - t}, {w - r, 0, 0, h - t}, {l, t, r, b}, {0, h - b, w - l, 0}, {l, 0, r, h - t}};
    for (auto& c : cuts)
      if (s.makeCroppedUIQuad(0, 0, c[0], c[1], c[2], c[3], 0xFFFFFFFF, scale, g, box) &&
          (box[2] <= box[0] || box[3] <= box[1]))
        __builtin_trap();  // a drawn piece always has an area
  }
  spriteTexSize = 0;
  return 0;
}
