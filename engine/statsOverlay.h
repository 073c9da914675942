// The statistics overlay (developer key F1): the frame-time graph, the stacked graphs of the named
// update-statistics trackers with their legend, and the block of figures (frames per second, frame,
// update and GPU times, free texture memory), drawn with the debug font and filled rectangles.
#pragma once
#include <stdint.h>
#include "engine/misc/utils.h"
#include "engine/misc/vecMath.h"

class UpdateStatsTracker {
 public:
  int index = -1;
  int64_t accumulated = 0;  // counter ticks measured during the current update step
  int history[100] = {};    // microseconds per update step, at the update-ring index
  TempString<256> name;
  int legendMax = 0, legendAverage = 0;
  D3dColor colour = 0;

  explicit UpdateStatsTracker(const char* trackerName) : name(trackerName) {}
};

void register_update_stats_tracker(UpdateStatsTracker* tracker);
int update_stats_tracker_count();
UpdateStatsTracker* get_update_stats_tracker(int i);
void begin_update_stats();
void record_update_stats();
void draw_update_stats();
void draw_stats_graph(const int* history, int current, int scale, int target, bool right);
// Hue in turns; returns (red, green, blue, 0) in 0..1.
vec4float hsv_to_rgb(float h, float s, float v);
