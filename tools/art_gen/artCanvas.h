// A small RGBA canvas for the art generators: pixels 0xAARRGGBB, row 0 at the top of the picture,
// with the shape, shading and outline helpers the sprite and texture generators draw with.
#pragma once
#include <math.h>
#include <stdint.h>
#include <string>
#include <vector>

typedef uint32_t Rgba;  // 0xAARRGGBB

inline Rgba rgb(int r, int g, int b, int a = 255) {
  auto c = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
  return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}
inline int red_of(Rgba c) { return (c >> 16) & 255; }
inline int green_of(Rgba c) { return (c >> 8) & 255; }
inline int blue_of(Rgba c) { return c & 255; }
inline int alpha_of(Rgba c) { return c >> 24; }
// Scales the colour channels by f (alpha kept).
inline Rgba shade(Rgba c, float f) {
  return rgb(int(lroundf(red_of(c) * f)), int(lroundf(green_of(c) * f)), int(lroundf(blue_of(c) * f)), alpha_of(c));
}
inline Rgba mix(Rgba a, Rgba b, float t) {
  return rgb(int(lroundf(red_of(a) + (red_of(b) - red_of(a)) * t)),
             int(lroundf(green_of(a) + (green_of(b) - green_of(a)) * t)),
             int(lroundf(blue_of(a) + (blue_of(b) - blue_of(a)) * t)),
             int(lroundf(alpha_of(a) + (alpha_of(b) - alpha_of(a)) * t)));
}

struct Canvas {
  int w = 0, h = 0;
  std::vector<Rgba> px;

  Canvas() = default;
  Canvas(int width, int height, Rgba fill = 0) : w(width), h(height), px(size_t(width) * size_t(height), fill) {}
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
  Rgba get(int x, int y) const { return inside(x, y) ? px[size_t(y) * w + x] : 0; }
  bool opaque(int x, int y) const { return alpha_of(get(x, y)) != 0; }
  void set(int x, int y, Rgba c) {
    if (inside(x, y)) px[size_t(y) * w + x] = c;
  }
  // Inclusive rectangle.
  void rect(int x0, int y0, int x1, int y1, Rgba c) {
    for (int y = y0; y <= y1; y++)
      for (int x = x0; x <= x1; x++) set(x, y, c);
  }
  void hline(int x0, int x1, int y, Rgba c) { rect(x0, y, x1, y, c); }
  void vline(int x, int y0, int y1, Rgba c) { rect(x, y0, x, y1, c); }
  // A raised block: flat face with a light top-left rim and a dark bottom-right rim.
  void block(int x0, int y0, int x1, int y1, Rgba face, float light = 1.3f, float dark = 0.65f) {
    rect(x0, y0, x1, y1, face);
    hline(x0, x1, y0, shade(face, light));
    vline(x0, y0, y1, shade(face, light));
    hline(x0 + 1, x1, y1, shade(face, dark));
    vline(x1, y0 + 1, y1, shade(face, dark));
  }
  // Ellipse through the pixel centres of the inclusive box, lit from the top left.
  void ball(int x0, int y0, int x1, int y1, Rgba face, float light = 1.45f, float dark = 0.55f) {
    float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    float rx = (x1 - x0 + 1) * 0.5f, ry = (y1 - y0 + 1) * 0.5f;
    for (int y = y0; y <= y1; y++)
      for (int x = x0; x <= x1; x++) {
        float dx = (x - cx) / rx, dy = (y - cy) / ry;
        float d = dx * dx + dy * dy;
        if (d > 1.0f) continue;
        // Light comes from the upper left: brighter where the surface faces it.
        float l = -(dx * 0.6f + dy * 0.8f) * 0.5f + 0.5f;
        float f = dark + (light - dark) * l;
        set(x, y, shade(face, f));
      }
  }
  void line(int x0, int y0, int x1, int y1, Rgba c) {
    int dx = abs(x1 - x0), dy = -abs(y1 - y0), sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
    for (;;) {
      set(x0, y0, c);
      if (x0 == x1 && y0 == y1) break;
      int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x0 += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y0 += sy;
      }
    }
  }
  // Filled triangle (pixel centres inside the three edges).
  void tri(float ax, float ay, float bx, float by, float cx, float cy, Rgba c) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        float px_ = x + 0.5f, py = y + 0.5f;
        float e0 = (bx - ax) * (py - ay) - (by - ay) * (px_ - ax);
        float e1 = (cx - bx) * (py - by) - (cy - by) * (px_ - bx);
        float e2 = (ax - cx) * (py - cy) - (ay - cy) * (px_ - cx);
        if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0)) set(x, y, c);
      }
  }
  // A one-pixel outline around everything drawn: empty pixels next to a drawn one (4-neighbours)
  // take the outline colour. Pixel art reads at any scale with it.
  void outline(Rgba c) {
    std::vector<Rgba> out = px;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        if (!opaque(x, y) && (opaque(x - 1, y) || opaque(x + 1, y) || opaque(x, y - 1) || opaque(x, y + 1)))
          out[size_t(y) * w + x] = c;
    px = out;
  }
  // Mirrors the left half onto the right half.
  void mirror_x() {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w / 2; x++) set(w - 1 - x, y, get(x, y));
  }
};

// Writers of the generators (PNG through the engine's image files; DDS of our own).
bool write_canvas_png(const std::string& path, const Canvas& c);
