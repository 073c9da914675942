/* Asks an X window to close the way a window manager's close button does: WM_DELETE_WINDOW. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char usage[] =
    "usage: x11_close WINDOW_ID\n"
    "Sends the X window WM_DELETE_WINDOW, as a window manager's close button does.\n";

int main(int argc, char** argv) {
  if (argc == 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
    fputs(usage, stdout);
    return 0;
  }
  /* A window id is a number; anything else (an option) is a mistake. */
  char* end = NULL;
  if (argc == 2) strtoul(argv[1], &end, 0);
  if (argc != 2 || !argv[1][0] || *end) {
    fputs(usage, stderr);
    return 2;
  }
  Display* d = XOpenDisplay(NULL);
  if (!d) return 2;
  Window w = (Window)strtoul(argv[1], NULL, 0);
  XEvent ev = {0};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &ev);
  XFlush(d);
  XCloseDisplay(d);
  return 0;
}
