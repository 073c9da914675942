// The statistics overlay and the tracker registry. Screen pixels with y up, like the debug font.
#include "engine/statsOverlay.h"
#include <math.h>
#include "engine/app.h"
#include "engine/cont/dynArray.h"
#include "engine/d3d_render.h"
#include "engine/font.h"
#include "engine/sysUtils.h"

namespace {
DynArray<UpdateStatsTracker*> trackers;
UpdateStatsTracker* other_tracker = nullptr;

D3dColor to_colour(vec4float rgb) {
  auto c = [](float v) { return uint32_t(lroundf((v < 0 ? 0 : v > 1 ? 1 : v) * 255.0f)); };
  return 0xFF000000u | (c(rgb[0]) << 16) | (c(rgb[1]) << 8) | c(rgb[2]);
}

D3dColor scale_colour(D3dColor c, float f) {
  auto ch = [&](int shift) { return uint32_t(lroundf(float((c >> shift) & 255) * f)) << shift; };
  return (c & 0xFF000000u) | ch(16) | ch(8) | ch(0);
}

void text(const char* t, int x, int y, int ax, int ay, D3dColor c) { draw_text(t, -1, x, y, ax, ay, c); }

void draw_tracker_stats(int u) {
  if (!other_tracker) {
    static UpdateStatsTracker other("other");
    other_tracker = &other;
  }
  int n = trackers.size();
  float hue = 0.3f;
  for (int i = 0; i <= n; i++) {
    UpdateStatsTracker* t = i < n ? trackers[i] : other_tracker;
    t->colour = to_colour(hsv_to_rgb(hue, 1, 1));
    hue = hue + 0.6180340f;
    hue -= floorf(hue);
  }
  // Figures over the ring; "other" is what the trackers did not account for.
  long long total_sum = 0, other_sum = 0;
  int total_max = 0, other_max = 0;
  for (UpdateStatsTracker* t : trackers) t->legendMax = 0;
  DynArray<long long> sums;
  sums.resize(n);
  for (int e = 0; e < 100; e++) {
    int update = app_update_usec_ring[e], tracked = 0;
    for (int i = 0; i < n; i++) {
      int v = trackers[i]->history[e];
      sums[i] += v;
      if (v > trackers[i]->legendMax) trackers[i]->legendMax = v;
      tracked += v;
    }
    int other = update - tracked;
    other_tracker->history[e] = other;
    other_sum += other;
    if (other > other_max) other_max = other;
    total_sum += update;
    if (update > total_max) total_max = update;
  }
  for (int i = 0; i < n; i++) trackers[i]->legendAverage = int((sums[i] + 50) / 100);
  other_tracker->legendMax = other_max;
  other_tracker->legendAverage = int((other_sum + 50) / 100);
  sums.free();

  // Legend rows from y = H + (n + 3) u, one line unit further up per row.
  int H = d3d_ht / 4;
  int y = H + (n + 3) * u;
  for (int i = 0; i <= n + 1; i++, y += u) {
    TempString<32> mx, av;
    if (i <= n) {
      UpdateStatsTracker* t = i < n ? trackers[i] : other_tracker;
      mx.format("%d", t->legendMax);
      av.format("%d", t->legendAverage);
      text(mx, 7 * u, y, 1, -1, t->colour);
      text(av, 14 * u, y, 1, -1, t->colour);
      text(t->name, 15 * u, y, -1, -1, t->colour);
    } else {
      mx.format("%d", total_max);
      av.format("%d", int((total_sum + 50) / 100));
      text(mx, 7 * u, y, 1, -1, 0xFFFFFFFF);
      text(av, 14 * u, y, 1, -1, 0xFFFFFFFF);
      text("total", 15 * u, y, -1, -1, 0xFFFFFFFF);
    }
  }

  // The stacked graph at the left edge: each part drawn on top of the one below it.
  int w = d3d_wd / 200;
  if (w < 1) w = 1;
  draw_rect(0, 0, 100 * w, H, 0x40000000);
  int largest = total_max > 0 ? total_max : 1;
  for (int e = 0; e < 100; e++) {
    float age = float(((e - app_update_ring_index) % 100 + 100) % 100) / 100.0f;
    int x = e * w;
    long long running = 0;
    auto part = [&](int value, D3dColor colour) {
      if (value <= 0) return;
      int y0 = int(H * running / largest);
      running += value;
      int y1 = int(H * running / largest);
      if (y1 > y0) draw_rect(x, y0, x + w, y1, scale_colour(colour, age));
    };
    part(other_tracker->history[e], other_tracker->colour);
    for (int i = n - 1; i >= 0; i--) part(trackers[i]->history[e], trackers[i]->colour);
  }
}

struct RingFigures {
  int max, min, avg;
};
RingFigures figures(const int* ring) {
  RingFigures f = {ring[0], ring[0], 0};
  long long sum = 0;
  for (int i = 0; i < 100; i++) {
    if (ring[i] > f.max) f.max = ring[i];
    if (ring[i] < f.min) f.min = ring[i];
    sum += ring[i];
  }
  f.avg = int((sum + 50) / 100);
  return f;
}
}  // namespace

vec4float hsv_to_rgb(float h, float s, float v) {
  float hh = (h - floorf(h)) * 6.0f;
  int sector = int(floorf(hh)) % 6;
  float f = hh - floorf(hh);
  float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (sector) {
    case 0:
      return vec4float(v, t, p, 0);
    case 1:
      return vec4float(q, v, p, 0);
    case 2:
      return vec4float(p, v, t, 0);
    case 3:
      return vec4float(p, q, v, 0);
    case 4:
      return vec4float(t, p, v, 0);
    default:
      return vec4float(v, p, q, 0);
  }
}

void register_update_stats_tracker(UpdateStatsTracker* t) {
  if (!t || trackers.find(t) >= 0) return;
  t->index = trackers.size();
  trackers.push_back(t);
}
int update_stats_tracker_count() { return trackers.size(); }
UpdateStatsTracker* get_update_stats_tracker(int i) { return trackers[i]; }

void begin_update_stats() {
  for (UpdateStatsTracker* t : trackers) t->accumulated = 0;
}

void record_update_stats() {
  for (UpdateStatsTracker* t : trackers) t->history[app_update_ring_index] = get_time_usec(t->accumulated);
}

void draw_stats_graph(const int* history, int current, int scale, int target, bool right) {
  int w = d3d_wd / 200;
  if (w < 1) w = 1;
  int H = d3d_ht / 4;
  int x0 = right ? d3d_wd - 100 * w : 0;
  if (scale < 1) scale = 1;
  draw_rect(x0, 0, x0 + 100 * w, H, 0x40000000);
  long long full = 2LL * scale;  // the graph's height stands for two scales
  if (target <= full) draw_rect(x0, 0, x0 + 100 * w, int((long long)H * target / full), 0x20008000);
  int mx = history[0];
  for (int i = 1; i < 100; i++)
    if (history[i] > mx) mx = history[i];
  bool labelled = false;
  for (int i = 0; i < 100; i++) {
    int x = x0 + w / 2 + 1 + i * w;
    long long hgt = (long long)H * history[i] / full;
    if (hgt > H) hgt = H;
    if (hgt < 0) hgt = 0;
    float age = float(((i - current) % 100 + 100) % 100) / 100.0f;
    uint32_t level = uint32_t(lroundf(0.5f * age * 255.0f));
    D3dColor c = 0xFF000000u | (history[i] >= target ? level << 16 : level << 8);
    draw_rect(x, 0, x + w, int(hgt), c);
    if (!labelled && history[i] == mx) {
      labelled = true;
      TempString<32> t;
      t.format("%d", history[i]);
      int ty = int(hgt) > H / 2 ? int(hgt) : H / 2;
      text(t, x + (w - 2) / 2, ty, right ? 1 : -1, -1, 0xFFFFFFFF);
    }
  }
}

void draw_update_stats() {
  push_text_style();
  set_text_spacing(0, 0);
  int ch = get_font_cell_height();
  int s = d3d_ht / (ch * 40);
  if (s < 1) s = 1;
  set_text_scale(s);
  int u = ch * s;
  RingFigures frame = figures(app_frame_usec_ring), update = figures(app_update_usec_ring), gpu = figures(app_gpu_ring);
  int step = get_update_step_usec();
  draw_stats_graph(app_frame_usec_ring, app_frame_ring_index, step, step, true);
  draw_tracker_stats(u);
  // The block of figures: the rectangle and the lines at the coordinates they are given.
  draw_rect(d3d_wd - 12 * u, d3d_ht - 14 * u, d3d_wd, d3d_ht, 0x40000000);
  int lx = d3d_wd - 11 * u, rx = d3d_wd;
  TempString<32> t;
  auto value = [&](const char* fmt, int v, int y2) {  // y2: baseline in half line units
    t.format(fmt, v);
    text(t, rx, y2 * u / 2, 1, -1, 0xFFFFFFFF);
  };
  auto label = [&](const char* l, int y2, int ay) { text(l, lx, y2 * u / 2, -1, ay, 0xFFFFFFFF); };
  value("%d", app_frames_last_second, 0);
  label("FPS", 0, -1);
  // Frame and update times in milliseconds (the rings hold microseconds).
  value("%02d", frame.max / 1000, 3);
  value("%02d", frame.avg / 1000, 5);
  label("frame\ntime", 6, 0);
  value("%02d", frame.min / 1000, 7);
  value("%02d", update.max / 1000, 10);
  value("%02d", update.avg / 1000, 12);
  label("update\ntime", 13, 0);
  value("%02d", update.min / 1000, 14);
  value("%3d MB", d3d_is_open() ? int(get_free_texmem() >> 20) : 0, 17);
  label("tex\nmem", 18, 0);
  if (gpu.max >= 0) {
    value("%3d%%", gpu.max, 20);
    value("%3d%%", gpu.avg, 22);
    label("GPU\nload", 23, 0);
    value("%3d%%", gpu.min, 24);
  }
  pop_text_style();
}
