// The application shell: start-up, the window procedure, display-mode switches, process priority,
// the fixed-step main loop and the shutdown order. Also the timing globals every update reads.
#pragma once
#include <stdint.h>
#include "engine/appVersion.h"
#include "platform/platform.h"

#define APP_WINDOW_CLASS "AscendaWindow"

extern bool isAppActive;
extern bool shouldHideMouse;
extern bool isFullscreen;
extern bool app_want_fullscreen;
extern int app_screen_wd, app_screen_ht;
extern bool app_use_vsync;
extern bool use_dev_keys;
extern bool app_use_aa;
extern float time_dt;
extern float time_ik;
extern uint64_t game_rnd_seed;

// Statistics rings read by the statistics overlay.
extern int app_update_usec_ring[100];
extern int app_frame_usec_ring[100];
extern int app_gpu_ring[100];
extern int app_update_ring_index, app_frame_ring_index;
extern int app_frames_last_second;

int app_main(int argc, char** argv);
void run_main_loop();
void shutdown_app();
[[noreturn]] void quit_game(int code);
void set_fullscreen(bool fullscreen);
// The display as the globals above ask for it (mode, vertical sync, multisampling): the value the
// shell hands the renderer before it makes the device and before every reset of its own.
struct D3dDisplaySettings;
D3dDisplaySettings app_display_settings();
void set_window_pos(int x, int y, int width, int height);
// A window size from the settings that the display cannot show (or a negative one) would stop the
// window from being created: each dimension is clamped to the display, 0 or less counts as
// automatic (0), and a change is logged.
void clamp_screen_size_to_display();
// The start-up settings: the settings file's values, the file's size clamped to the display, the
// command-line switches over them; then into the globals above.
void read_app_settings(int argc, char** argv);
void set_process_priority(int level);
int get_process_priority();
void apply_process_priority();
void set_update_rate(int rate, int max_catch_up);
int64_t get_update_step_ticks();
int get_catch_up_limit();
int64_t get_update_clock();  // the nominal time of the last update
int get_update_step_usec();
void reset_update_time();
void measure_update_time();
void pump_messages();
bool register_window_class();
intptr_t app_window_proc(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam);
void clip_cursor_to_window(WindowHandle window);
WindowHandle get_main_window();
void app_request_quit();

// The services the main loop drives. The game wires them to the real systems; tests replace them to
// run the loop's cadence against a scripted clock.
struct MainLoopHooks {
  int64_t (*now)();
  void (*pump)();
  void (*update)(float dt);  // one fixed update step
  bool (*render)(float t);   // one frame; false when nothing was drawn
  void (*present)();
  bool (*device_ok)();
  void (*sleep_ms)(int ms);
  void (*once_a_second)();
  void (*frame_pass)();  // start of every frame pass (folder watch)
};
MainLoopHooks default_main_loop_hooks();
void set_main_loop_hooks(const MainLoopHooks& hooks);
bool app_quit_requested();
void app_clear_quit();
