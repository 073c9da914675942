// DDS writer: the 128-byte header and the pixel levels, little-endian.
#include "ddsWrite.h"
#include <stdio.h>
#include <string.h>

namespace {
void put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back((unsigned char)(v >> (8 * i)));
}

Canvas half_size(const Canvas& c) {
  int w = c.w > 1 ? c.w / 2 : 1, h = c.h > 1 ? c.h / 2 : 1;
  Canvas r(w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int sum[4] = {0, 0, 0, 0};
      for (int k = 0; k < 4; k++) {
        int sx = x * 2 + (k & 1), sy = y * 2 + (k >> 1);
        if (sx >= c.w) sx = c.w - 1;
        if (sy >= c.h) sy = c.h - 1;
        Rgba p = c.get(sx, sy);
        sum[0] += red_of(p);
        sum[1] += green_of(p);
        sum[2] += blue_of(p);
        sum[3] += alpha_of(p);
      }
      r.set(x, y, rgb((sum[0] + 2) / 4, (sum[1] + 2) / 4, (sum[2] + 2) / 4, (sum[3] + 2) / 4));
    }
  return r;
}
}  // namespace

bool write_dds_argb(const std::string& path, const Canvas& c, bool mips) {
  int levels = 1;
  if (mips) {
    int s = c.w > c.h ? c.w : c.h;
    while (s > 1) {
      s /= 2;
      levels++;
    }
  }
  std::vector<unsigned char> out;
  out.insert(out.end(), {'D', 'D', 'S', ' '});
  put32(out, 124);
  uint32_t flags = 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | (mips ? 0x20000u : 0u);  // caps, height, width, pitch, format
  put32(out, flags);
  put32(out, uint32_t(c.h));
  put32(out, uint32_t(c.w));
  put32(out, uint32_t(c.w * 4));
  put32(out, 0);  // depth
  put32(out, uint32_t(levels));
  for (int i = 0; i < 11; i++) put32(out, 0);
  put32(out, 32);          // pixel format size
  put32(out, 0x40 | 0x1);  // RGB with alpha
  put32(out, 0);           // four-character code
  put32(out, 32);
  put32(out, 0x00FF0000);
  put32(out, 0x0000FF00);
  put32(out, 0x000000FF);
  put32(out, 0xFF000000);
  put32(out, 0x1000 | (mips ? 0x400008u : 0u));  // texture (+ mipmap, complex)
  for (int i = 0; i < 4; i++) put32(out, 0);     // caps2, caps3, caps4, reserved
  Canvas level = c;
  for (int l = 0; l < levels; l++) {
    for (Rgba p : level.px) put32(out, p);
    if (l + 1 < levels) level = half_size(level);
  }
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(out.data(), 1, out.size(), f) == out.size();
  return (fclose(f) == 0) && ok;
}
