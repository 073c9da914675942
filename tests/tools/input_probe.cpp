// Opens the game's window through the shell's own window procedure and prints every input event it
// queues, one line each, so that scripts can drive the window with real X input and check the result.
#include <stdio.h>
#include <stdlib.h>
#include "engine/app.h"
#include "engine/d3d_render.h"
#include "engine/input.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"
#include "tools/toolUsage.h"

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "input_probe",
                        "usage: input_probe (no arguments)\n"
                        "Opens the game's window for 30 s and prints every input event the shell queues.\n",
                        0, 0);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!plat_init()) return 2;
  init_timer();
  if (!register_window_class()) return 2;
  isFullscreen = false;
  WindowHandle w = plat_create_window(APP_WINDOW_TITLE, PLAT_STYLE_OVERLAPPED | PLAT_STYLE_VISIBLE, false, 0, 0, 640,
                                      360, PLAT_SHOW_NORMAL);
  if (!w) return 2;
  PlatRect r;
  plat_get_client_rect(w, &r);
  d3d_wd = r.right;
  d3d_ht = r.bottom;
  init_input(w);
  printf("ready %dx%d\n", d3d_wd, d3d_ht);
  int64_t end = get_ref_time() + 30 * time_ticks_per_sec();
  while (get_ref_time() < end) {
    pump_messages();
    InputEvent ev;
    while (getEvent(ev)) {
      printf("event kind=%d code=%d flags=0x%x char=%d wheel=%d x=%d y=%d\n", ev.kind, ev.code, ev.flags, ev.character,
             ev.wheel, int(ev.x), int(ev.y));
      if (ev.kind == IE_KEY_DOWN || ev.kind == IE_KEY_UP)
        printf("state code=%d down=%d up=%d\n", ev.code, keyDown(ev.code) ? 1 : 0, keyUp(ev.code) ? 1 : 0);
    }
    clear_input();
    if (app_quit_requested()) {
      printf("quit\n");
      plat_shutdown();
      return 0;
    }
    plat_sleep_ms(5);
  }
  printf("timeout\n");
  return 1;
}
