// The fixed-step loop's cadence against a scripted clock: early updates, interpolation times,
// catch-up limits, the 500 ms jump and the half-step cap of the mean frame time.
#include <vector>
#include "engine/app.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"
#include "testSupport.h"

namespace {
const int64_t MS = 10000;  // null back end: 10 MHz
struct Event {
  char kind;  // 'U' update, 'F' frame
  int64_t time;
  int64_t nominal;  // updates: the clock's nominal time; frames: interpolation time in ticks
};
std::vector<Event> events;
std::vector<int64_t> frame_costs;  // cost of each rendered frame in turn; the last repeats
size_t frame_index = 0;
int updates_left = 0;
int once_a_second_calls = 0;

int64_t now() { return plat_counter(); }
void pump() {}
void update(float) {
  events.push_back({'U', now(), get_update_clock()});
  if (--updates_left <= 0) app_request_quit();
}
bool render(float t) {
  events.push_back({'F', now(), int64_t(double(t) * 10000000.0 + 0.5)});
  int64_t cost = frame_costs[frame_index < frame_costs.size() ? frame_index : frame_costs.size() - 1];
  frame_index++;
  plat_null_advance_counter(cost);
  return true;
}
void present() {}
bool device_ok() { return true; }
void sleep_ms(int ms) { plat_null_advance_counter(ms * MS); }
void once() { once_a_second_calls++; }
void frame_pass() {}

void run(std::vector<int64_t> costs, int updates) {
  events.clear();
  frame_costs = costs;
  frame_index = 0;
  updates_left = updates;
  once_a_second_calls = 0;
  plat_null_set_counter(1000 * MS);
  init_timer();
  set_update_rate(20, 5);
  app_clear_quit();
  MainLoopHooks h{now, pump, update, render, present, device_ok, sleep_ms, once, frame_pass};
  set_main_loop_hooks(h);
  run_main_loop();
}

// Forty 10 ms frames, then one that takes `cost`; returns the index of the long frame's event.
size_t run_with_one_long_frame(int64_t cost, int updates) {
  std::vector<int64_t> costs(40, 10 * MS);
  costs.push_back(cost);
  costs.push_back(10 * MS);
  run(costs, updates);
  int frames = 0;
  for (size_t i = 0; i < events.size(); i++)
    if (events[i].kind == 'F' && ++frames == 41) return i;
  return 0;
}

std::string pattern(size_t from, size_t count) {
  std::string s;
  for (size_t i = from; i < events.size() && s.size() < count; i++) s += events[i].kind;
  return s;
}
}  // namespace

TEST(MainLoop, TenMillisecondFramesStartEachUpdateTenMillisecondsEarly) {
  run({10 * MS}, 60);
  std::vector<int64_t> interp;
  for (size_t i = 0; i < events.size(); i++) {
    if (i < 30) continue;  // let the five-frame mean settle
    const Event& e = events[i];
    if (e.kind == 'U') {
      EXPECT_EQ(e.nominal - e.time, 10 * MS) << i;
    } else {
      interp.push_back(e.nominal);
    }
  }
  for (int64_t t : interp) {
    EXPECT_GE(t, 0);
    EXPECT_LE(t, 45 * MS);
  }
  // Between two updates the frames step through the step at 5, 15, 25 and 35 ms.
  int64_t mx = 0;
  for (int64_t t : interp) mx = std::max(mx, t);
  EXPECT_EQ(mx, 35 * MS);
  EXPECT_GE(once_a_second_calls, 2);
}

TEST(MainLoop, ATwoSecondFrameRunsExactlyOneUpdate) {
  size_t long_frame = run_with_one_long_frame(2000 * MS, 40);
  ASSERT_GT(long_frame, 0u);
  EXPECT_EQ(pattern(long_frame, 4), "FUFF");
  // The backlog is dropped: the clock is set so that exactly this update is due now.
  EXPECT_EQ(events[long_frame + 1].time - events[long_frame + 1].nominal, 0);
}

TEST(MainLoop, ABacklogRunsSixUpdatesThenAFrameThenOneAtOnce) {
  size_t long_frame = run_with_one_long_frame(400 * MS, 60);
  ASSERT_GT(long_frame, 0u);
  EXPECT_EQ(pattern(long_frame, 10), "FUUUUUUFUF");
  // After the dropped backlog the clock restarts at now.
  const Event& restart = events[long_frame + 8];
  EXPECT_EQ(restart.kind, 'U');
  EXPECT_EQ(restart.nominal, restart.time);
}

TEST(MainLoop, TheMeanFrameTimeCountsForAtMostHalfAStep) {
  run({40 * MS}, 40);
  for (size_t i = 20; i < events.size(); i++)
    if (events[i].kind == 'U') {
      EXPECT_LE(events[i].nominal - events[i].time, 25 * MS) << i;
    }
}

TEST(MainLoop, UpdateRateLimits) {
  plat_null_set_counter(0);
  init_timer();
  set_update_rate(0, -3);
  EXPECT_EQ(get_update_step_ticks(), 10000000);
  EXPECT_EQ(get_catch_up_limit(), 0);
  EXPECT_EQ(get_update_step_usec(), 1000000);
  set_update_rate(20, 5);
  EXPECT_EQ(get_update_step_ticks(), 500000);
  EXPECT_EQ(get_catch_up_limit(), 5);
}

TEST(Timer, ConversionsUseTheCounterFrequency) {
  init_timer();
  EXPECT_EQ(time_ticks_per_sec(), 10000000);
  EXPECT_EQ(get_time_usec(10000000), 1000000);
  EXPECT_EQ(get_time_msec(10000000), 1000);
  EXPECT_EQ(msec_to_ticks(500), 5000000);
  EXPECT_FLOAT_EQ(get_time_sec(5000000), 0.5f);
  EXPECT_EQ(get_time_usec(-15), -1);  // truncates toward zero
  // An hour of ticks in microseconds needs more than 32 bits in the middle of the conversion.
  EXPECT_EQ(int64_t(get_time_msec(36000000000LL)), 3600000);
}
