// The application shell: start-up order, window procedure, display-mode switches, process priority,
// the fixed-step main loop and the shutdown order.
// Sections: loop hooks, update rate and messages; priority; window; main loop; start-up and shutdown.
#include "engine/app.h"
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include "engine/config.h"
#include "engine/crashReport.h"
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/dynVBWriter.h"
#include "engine/font.h"
#include "engine/gameHost.h"
#include "engine/input.h"
#include "engine/log.h"
#include "engine/mesh.h"
#include "engine/statsOverlay.h"
#include "engine/sysUtils.h"
#include "platform/vkeys.h"

bool isAppActive = false;
bool shouldHideMouse = false;
bool isFullscreen = false;
bool app_want_fullscreen = true;
int app_screen_wd = 0, app_screen_ht = 0;
bool app_use_vsync = true;
bool use_dev_keys = false;
bool app_use_aa = false;
float time_dt = 0;
float time_ik = 0;
uint64_t game_rnd_seed = 0;

int app_update_usec_ring[100];
int app_frame_usec_ring[100];
int app_gpu_ring[100];
int app_update_ring_index = 0, app_frame_ring_index = 0;
int app_frames_last_second = 0;

namespace {
WindowHandle main_window = nullptr;
int process_priority_level = 0;
bool quit_flag = false;

int saved_client_wd = 0, saved_client_ht = 0;
PlatRect saved_window_rect = {0, 0, 0, 0};
uint32_t saved_window_style = 0;

int64_t update_step_ticks = 500000;
int catch_up_limit = 5;
int64_t update_clock = 0;
int64_t update_start_time = 0;
int64_t measured_update_ticks = 0;
int64_t second_mark = 0;
int64_t last_frame_stamp = 0;
int frames_this_second = 0;
int64_t frame_history[5] = {0, 0, 0, 0, 0};
int64_t frame_history_sum = 0;

// What has been started, so that a fatal error at any point shuts down only those systems.
bool window_class_registered = false;
bool platform_started = false;
bool input_started = false;
bool d3d_started = false;
bool font_started = false;
bool scene_started = false;
bool dir_watch_started = false;
bool shutdown_running = false;

void app_once_a_second() {
  reload_shaders(false);
  reload_textures(false);
  check_hot_reload();
  flush_app_config();
}

MainLoopHooks loop_hooks;
bool loop_hooks_set = false;

// Registered as the program is loaded, so that a fatal error at any moment (before app_main too,
// or in a test that never runs it) shuts down whatever had been started.
[[maybe_unused]] const bool fatal_shutdown_registered = (set_fatal_shutdown(shutdown_app), true);

float step_seconds() { return get_time_sec(update_step_ticks); }
}  // namespace

// ---- loop hooks, update rate and messages

MainLoopHooks default_main_loop_hooks() {
  MainLoopHooks h;
  h.now = get_ref_time;
  h.pump = pump_messages;
  h.update = update_step;
  h.render = render_d3d_frame;
  h.present = present_d3d;
  h.device_ok = check_d3d_device;
  h.sleep_ms = plat_sleep_ms;
  h.once_a_second = app_once_a_second;
  h.frame_pass = poll_dir_watch;
  return h;
}

void set_main_loop_hooks(const MainLoopHooks& hooks) {
  loop_hooks = hooks;
  loop_hooks_set = true;
}

bool app_quit_requested() { return quit_flag; }
void app_clear_quit() { quit_flag = false; }
void app_request_quit() { quit_flag = true; }
WindowHandle get_main_window() { return main_window; }

void set_update_rate(int rate, int max_catch_up) {
  if (rate < 1) rate = 1;
  update_step_ticks = time_ticks_per_sec() / rate;
  if (update_step_ticks < 1) update_step_ticks = 1;
  catch_up_limit = max_catch_up < 0 ? 0 : max_catch_up;
}
int64_t get_update_step_ticks() { return update_step_ticks; }
int get_catch_up_limit() { return catch_up_limit; }
int64_t get_update_clock() { return update_clock; }
int get_update_step_usec() { return get_time_usec(update_step_ticks); }
void reset_update_time() { update_start_time = get_ref_time(); }
void measure_update_time() { measured_update_ticks = get_ref_time() - update_start_time; }

void pump_messages() {
  PlatMsg m;
  while (plat_peek_message(&m)) {
    if (m.message == WM_QUIT) {
      quit_flag = true;
      continue;
    }
    plat_dispatch_message(m);
  }
  update_mouse_over();
}

// ---- priority

static void apply_priority_level(int level) {
  if (level == 1) plat_set_process_nice(-5);
  else if (level >= 2) plat_set_process_nice(-10);
  else plat_set_process_nice(0);
}

void set_process_priority(int level) {
  process_priority_level = level;
  apply_process_priority();
}
int get_process_priority() { return process_priority_level; }
void apply_process_priority() { apply_priority_level(process_priority_level); }

// ---- window

void clip_cursor_to_window(WindowHandle window) {
  PlatRect r;
  if (plat_get_window_rect(window, &r)) plat_clip_cursor(&r);
}

bool register_window_class() { return plat_register_window_class(APP_WINDOW_CLASS, app_window_proc); }

// Each dimension clamped to the display; 0 or less counts as automatic (0). A change is logged.
static void clamp_to_display(int& app_wd, int& app_ht) {
  int screen_wd = 0, screen_ht = 0;
  plat_get_screen_size(&screen_wd, &screen_ht);
  // 0 or less means "chosen automatically"; keeping such values at 0 also keeps the window
  // arithmetic below from overflowing on a value like INT_MIN.
  int wd = app_wd < 0 ? 0 : app_wd, ht = app_ht < 0 ? 0 : app_ht;
  if (screen_wd > 0 && wd > screen_wd) wd = screen_wd;
  if (screen_ht > 0 && ht > screen_ht) ht = screen_ht;
  if (wd == app_wd && ht == app_ht) return;
  debug("screen size %dx%d clamped to %dx%d (the display is %dx%d)", app_wd, app_ht, wd, ht, screen_wd, screen_ht);
  app_wd = wd;
  app_ht = ht;
}

void clamp_screen_size_to_display() { clamp_to_display(app_screen_wd, app_screen_ht); }

void read_app_settings(int argc, char** argv) {
  AppStartSettings s = read_start_settings();
  // A size from the file may come from another machine or a typo; the switches' sizes are our own
  // and stay as given.
  clamp_to_display(s.screen_wd, s.screen_ht);
  apply_app_switches(s, argc, argv);
  app_want_fullscreen = s.fullscreen;
  app_screen_wd = s.screen_wd;
  app_screen_ht = s.screen_ht;
  app_use_vsync = s.vsync;
  app_use_aa = s.multisampling;
  use_dev_keys = s.dev_keys;
}

static void reset_display(int width, int height, bool fullscreen, bool force);

static void centred_window_rect(PlatRect* out, int width, int height) {
  PlatRect work;
  if (!plat_get_work_area(&work)) {
    work.left = work.top = 0;
    plat_get_screen_size(&work.right, &work.bottom);
  }
  out->left = work.left + (work.right - width - work.left) / 2;
  out->top = work.top + (work.bottom - height - work.top) / 2;
  out->right = out->left + width;
  out->bottom = out->top + height;
  plat_adjust_window_rect(out, PLAT_STYLE_OVERLAPPED);
}

intptr_t app_window_proc(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_CREATE:
      return 0;
    case WM_DESTROY:
      isAppActive = false;
      plat_post_quit_message(0);
      return 0;
    case WM_SIZE: {
      if (wParam == SIZE_MINIMIZED || isFullscreen) return 0;
      PlatRect r;
      if (plat_get_client_rect(window, &r)) reset_display(r.right - r.left, r.bottom - r.top, false, false);
      return 0;
    }
    case WM_ACTIVATE: {
      bool active = plat_lo_word(wParam) != 0 && plat_hi_word(wParam) == 0;
      if (active == isAppActive) return 0;
      isAppActive = active;
      if (!active) plat_set_process_nice(19);
      else apply_process_priority();
      if (isFullscreen) {
        if (active) clip_cursor_to_window(window);
        else plat_clip_cursor(nullptr);
      }
      return 0;
    }
    case WM_PAINT:
      plat_validate_window(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR: {
      bool hit = plat_lo_word(uintptr_t(lParam)) == HTCLIENT;
      if (isAppActive && (shouldHideMouse || isFullscreen)) clip_cursor_to_window(window);
      else plat_clip_cursor(nullptr);
      plat_show_cursor(!(isAppActive && (hit || isFullscreen) && shouldHideMouse));
      return 0;
    }
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4) return plat_def_window_proc(window, message, wParam, lParam);
      if (wParam == VK_RETURN) {
        set_fullscreen(!isFullscreen);
        return 0;
      }
      [[fallthrough]];
    case WM_KEYDOWN:
      push_input_event(IE_KEY_DOWN, int(wParam), int((uintptr_t(lParam) >> 16) & 0xFF),
                       (uintptr_t(lParam) & (1u << 30)) ? IF_REPEAT : 0, -1, -1);
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      push_input_event(IE_KEY_UP, int(wParam), int((uintptr_t(lParam) >> 16) & 0xFF), 0, -1, -1);
      return 0;
    case WM_MOUSEMOVE:
      push_input_event(IE_MOUSE_MOVE, 0, 0, 0, plat_signed_lo(uintptr_t(lParam)), plat_signed_hi(uintptr_t(lParam)));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      plat_set_focus(window);
      int code = message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : 4;
      push_input_event(IE_MOUSE_DOWN, code, 0, 0, plat_signed_lo(uintptr_t(lParam)), plat_signed_hi(uintptr_t(lParam)));
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      int code = message == WM_LBUTTONUP ? 1 : message == WM_RBUTTONUP ? 2 : 4;
      push_input_event(IE_MOUSE_UP, code, 0, 0, plat_signed_lo(uintptr_t(lParam)), plat_signed_hi(uintptr_t(lParam)));
      return 0;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      int code = message == WM_LBUTTONDBLCLK ? 1 : message == WM_RBUTTONDBLCLK ? 2 : 4;
      push_input_event(IE_MOUSE_DOWN, code, 0, IF_REPEAT, plat_signed_lo(uintptr_t(lParam)),
                       plat_signed_hi(uintptr_t(lParam)));
      return 0;
    }
    case WM_MOUSEWHEEL:
      push_input_event(IE_WHEEL, plat_signed_hi(wParam) / 120, 0, 0, plat_signed_lo(uintptr_t(lParam)),
                       plat_signed_hi(uintptr_t(lParam)));
      return 0;
    default:
      return plat_def_window_proc(window, message, wParam, lParam);
  }
}

D3dDisplaySettings app_display_settings() {
  D3dDisplaySettings d;
  d.fullscreen = isFullscreen;
  d.vsync = app_use_vsync;
  d.multisampling = app_use_aa;
  return d;
}

// Resets the device with the current settings (vertical sync may have changed since the last
// reset); the mode it switched to becomes the shell's.
static void reset_display(int width, int height, bool fullscreen, bool force) {
  set_d3d_display_settings(app_display_settings());
  reset_d3d(width, height, fullscreen, force);
  isFullscreen = get_d3d_display_settings().fullscreen;
}

void set_window_pos(int x, int y, int width, int height) {
  plat_set_window_pos(main_window, false, x, y, width, height);
}

void set_fullscreen(bool fullscreen) {
  int wd, ht;
  if (isFullscreen) {
    wd = saved_client_wd;
    ht = saved_client_ht;
    if (!wd || !ht) {
      wd = app_screen_wd;
      ht = app_screen_ht;
    }
    if (!wd || !ht) {
      wd = d3d_wd / 2;
      ht = d3d_ht / 2;
    }
  } else {
    PlatRect c;
    if (plat_get_client_rect(main_window, &c)) {
      saved_client_wd = c.right - c.left;
      saved_client_ht = c.bottom - c.top;
    }
    plat_get_window_rect(main_window, &saved_window_rect);
    saved_window_style = plat_get_window_style(main_window);
    wd = ht = 0;
  }
  if (fullscreen) {
    wd = app_screen_wd;
    ht = app_screen_ht;
  }
  plat_set_fullscreen_display(main_window, fullscreen, wd, ht);
  reset_display(wd, ht, fullscreen, true);
  PlatRect target = saved_window_rect;
  if (fullscreen || target.right - target.left == 0) target = PlatRect{0, 0, d3d_wd, d3d_ht};
  if (fullscreen) {
    plat_set_window_style(main_window, PLAT_STYLE_POPUP | PLAT_STYLE_VISIBLE, true);
    plat_set_window_pos(main_window, true, target.left, target.top, target.right - target.left,
                        target.bottom - target.top);
    clip_cursor_to_window(main_window);
  } else {
    uint32_t style = saved_window_style ? saved_window_style : (PLAT_STYLE_OVERLAPPED | PLAT_STYLE_VISIBLE);
    if (app_screen_wd > 0) centred_window_rect(&target, app_screen_wd, app_screen_ht);
    plat_set_window_style(main_window, style, false);
    plat_set_window_pos(main_window, false, target.left, target.top, target.right - target.left,
                        target.bottom - target.top);
    plat_clip_cursor(nullptr);
  }
}

// ---- main loop

void run_main_loop() {
  if (!loop_hooks_set) set_main_loop_hooks(default_main_loop_hooks());
  const MainLoopHooks& h = loop_hooks;
  int c = 0;
  bool r = false;
  update_clock = second_mark = h.now();
  frames_this_second = 0;
  measured_update_ticks = 0;
  app_update_ring_index = app_frame_ring_index = 0;
  memset(app_update_usec_ring, 0, sizeof(app_update_usec_ring));
  memset(app_frame_usec_ring, 0, sizeof(app_frame_usec_ring));
  memset(app_gpu_ring, 0, sizeof(app_gpu_ring));
  if (quit_flag) {
    clear_input();
    return;
  }
  for (;;) {
    // One update.
    update_step_hook();
    app_update_usec_ring[app_update_ring_index] = get_time_usec(measured_update_ticks);
    record_update_stats();
    app_update_ring_index = (app_update_ring_index + 1) % 100;
    h.pump();
    update_start_time = h.now();
    time_dt = step_seconds();
    time_ik = 1.0f;
    begin_update_stats();
    h.update(time_dt);
    clear_input();
    if (quit_flag) break;

    // Frame passes until the next update is due.
    bool run_update = false;
    while (!run_update) {
      h.frame_pass();
      if (r) {
        h.present();
        r = false;
        int64_t p = h.now();
        int64_t d = p - last_frame_stamp;
        app_frame_usec_ring[app_frame_ring_index] = get_time_usec(d);
        frame_history_sum += d - frame_history[0];
        memmove(frame_history, frame_history + 1, sizeof(frame_history[0]) * 4);
        frame_history[4] = d;
        int gpu;
        app_gpu_ring[app_frame_ring_index] = get_gpu_activity(&gpu) ? gpu : -1;
        app_frame_ring_index = (app_frame_ring_index + 1) % 100;
        frames_this_second++;
        if (p - second_mark >= time_ticks_per_sec()) {
          app_frames_last_second = frames_this_second;
          second_mark = p;
          frames_this_second = 0;
          h.once_a_second();
        }
      } else if (!h.device_ok()) {
        int64_t e = h.now() - update_clock;
        if (e > 0) h.sleep_ms(get_time_msec(e) / 2);
      }
      h.pump();
      int64_t t = h.now();
      int64_t e = t - update_clock;
      if (e <= -update_step_ticks) {
        e = 0;
        update_clock = t;
      }
      if (e > msec_to_ticks(500)) {
        e = update_step_ticks;
        update_clock = t - update_step_ticks;
      }
      int64_t f = frame_history_sum / 5;
      if (f > update_step_ticks / 2) f = update_step_ticks / 2;
      if (e + f >= update_step_ticks) {
        c++;
        if (c <= catch_up_limit) {
          update_clock += update_step_ticks;
          if (quit_flag) goto exit_loop;
          run_update = true;
          continue;
        }
      }
      int64_t i = e + f / 2;
      if (i < 0) i = 0;
      if (i > update_step_ticks) i = update_step_ticks;
      time_dt = get_time_sec(i);
      time_ik = time_dt / step_seconds();
      r = h.render(time_dt);
      if (r) last_frame_stamp = t;
      if (c > catch_up_limit) {
        c = 0;
        update_clock = h.now();
        if (quit_flag) goto exit_loop;
        run_update = true;
      } else {
        c = -1;
        if (quit_flag) goto exit_loop;
      }
    }
  }
exit_loop:
  if (r) h.present();
  clear_input();
}

// ---- start-up and shutdown

int app_main(int argc, char** argv) {
  // "--help" and a switch written wrongly are answered before anything starts: no log, no window.
  int code = check_app_command_line(argc, argv);
  if (code >= 0) return code;
  setlocale(LC_ALL, "C");
  install_crash_report();
  char banner[200];
  time_t now = time(nullptr);
  struct tm lt;
  localtime_r(&now, &lt);
  strftime(banner, sizeof(banner), "Log started %x %X in v" APP_VERSION, &lt);
  debug("%s", banner);

  if (!get_exe_path(app_path, sizeof(app_path))) app_path[0] = 0;
  debug("app path: '%s'", app_path);

  if (!plat_init()) fatal("can't start the window system: %s", plat_init_error());
  platform_started = true;
  // After the window system, whose own handlers turn the first one into a quit request.
  install_second_quit_signal();
  init_timer();
  game_rnd_seed = uint64_t(get_ref_time());
  catch_up_limit = 5;
  update_step_ticks = time_ticks_per_sec() / 20;
  if (update_step_ticks < 1) update_step_ticks = 1;
  int64_t start_time = get_ref_time();

  if (!register_window_class()) exit(0);
  window_class_registered = true;
  read_app_settings(argc, argv);
  isFullscreen = app_want_fullscreen;
  apply_process_priority();

  PlatRect rect;
  centred_window_rect(&rect, app_screen_wd, app_screen_ht);
  if (isFullscreen) {
    main_window =
        plat_create_window(APP_WINDOW_TITLE, PLAT_STYLE_POPUP | PLAT_STYLE_VISIBLE, true, 0, 0, 0, 0, PLAT_SHOW_NORMAL);
  } else {
    // Each dimension on its own: one that is not configured is left to the system.
    int w = app_screen_wd >= 1 ? rect.right - rect.left : 0;
    int h = app_screen_ht >= 1 ? rect.bottom - rect.top : 0;
    main_window = plat_create_window(APP_WINDOW_TITLE, PLAT_STYLE_OVERLAPPED | PLAT_STYLE_VISIBLE, false, rect.left,
                                     rect.top, w, h, app_screen_wd < 1 ? PLAT_SHOW_MAXIMIZED : PLAT_SHOW_NORMAL);
  }
  if (!main_window) fatal("can't create the main window");

  int bb_wd = app_screen_wd, bb_ht = app_screen_ht;
  if (!isFullscreen && (bb_wd < 1 || bb_ht < 1)) {
    PlatRect c;
    plat_get_client_rect(main_window, &c);
    if (bb_wd < 1) bb_wd = c.right - c.left;
    if (bb_ht < 1) bb_ht = c.bottom - c.top;
  }

  open_dir_watch();
  dir_watch_started = true;
  init_input(main_window);
  input_started = true;
  set_d3d_display_settings(app_display_settings());
  if (!init_d3d(main_window, bb_wd, bb_ht)) fatal("can't initialize Direct3D");
  d3d_started = true;
  if (isFullscreen) clip_cursor_to_window(main_window);
  common_vb_writer.create(65536);

  init_gpu_activity();
  init_debug_font();
  font_started = true;
  show_splash("Loading...", -1);

  scene_started = true;
  init_scene();

  debug("total start-up time: %d ms", get_time_msec(get_ref_time() - start_time));
  debug("free video memory: %u MB", get_free_texmem() >> 20);

  run_main_loop();
  shutdown_app();
  return 0;
}

void shutdown_app() {
  if (shutdown_running) return;
  shutdown_running = true;
  // A setting changed in the last second before the end is not lost.
  flush_app_config();
  debug("closing...");
  if (scene_started) close_scene();
  scene_started = false;
  debug("closed scene");
  if (font_started) close_debug_font();
  font_started = false;
  // A fatal error inside a drawing run leaves the writer locked: it is then left to the exit.
  if (common_vb_writer.vb && !common_vb_writer.started()) common_vb_writer.destroy();
  close_gpu_activity();
  debug("closed misc stuff");
  free_all_meshes();
  debug("freed all meshes");
  free_all_textures();
  debug("freed all textures");
  if (d3d_started) close_d3d();
  d3d_started = false;
  debug("closed d3d");
  if (dir_watch_started) close_dir_watch();
  dir_watch_started = false;
  clear_input();
  debug("closed all systems");
  if (platform_started) plat_shutdown();
  platform_started = false;
  fflush(stdout);
}

void quit_game(int code) {
  shutdown_app();
  exit(code);
}
