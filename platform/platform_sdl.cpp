// The SDL2 back end: a real window with an OpenGL 3.3 core context. SDL events become the window
// messages the shell's window procedure handles, with virtual-key codes, PC scan codes and the
// wParam/lParam packing it reads. Typed characters come from SDL's text input, so the keyboard layout
// the player uses decides them.
//
// The audio device is SDL's too, and ALSA's own error lines are kept off the terminal.
//
// Sections: window and input state; key codes; event translation; start-up and shutdown; windows;
// display modes; messages; keyboard; cursor and mouse; message boxes and timing; audio; the OpenGL
// context.
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <deque>
#include <string>
#include "platform/platform.h"
#include "platform/vkeys.h"

// ---- window and input state

struct PlatWindow {
  SDL_Window* sdl;
  uint32_t style;
  bool topmost;
  bool destroyed;
  // Minimised as the window's events said: some drivers (and every headless one) never set SDL's
  // own flag, and the drawing device pauses on this.
  bool minimized;
};

namespace {
PlatWindowProc window_proc = nullptr;
PlatWindow main_window = {};
// A queued message and, for key messages, the character the layout gave for it (0 for none).
struct Pending {
  PlatMsg msg;
  int character;
};
std::deque<Pending> pending;
// The character of the message plat_peek_message handed out last: the window procedure asks for it
// while that message is dispatched.
int current_vk = -1, current_character = 0;
// What each key's last press typed, for its release.
int typed_by_vk[256];
uint8_t key_state[256];
Uint64 counter_start = 0, counter_freq = 1;
SDL_GLContext gl_context = nullptr;
bool sdl_video_up = false;
bool quit_posted = false;

// ---- key codes

struct KeyInfo {
  int vk;
  int scan;  // PC set-1 scan code; 0x100 marks the extended prefix
};

KeyInfo key_info(SDL_Scancode sc) {
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) {
    static const int scans[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                  0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    return {VK_A + (sc - SDL_SCANCODE_A), scans[sc - SDL_SCANCODE_A]};
  }
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return {'1' + (sc - SDL_SCANCODE_1), 0x02 + (sc - SDL_SCANCODE_1)};
  if (sc == SDL_SCANCODE_0) return {'0', 0x0B};
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10)
    return {VK_F1 + (sc - SDL_SCANCODE_F1), 0x3B + (sc - SDL_SCANCODE_F1)};
  switch (sc) {
    case SDL_SCANCODE_F11:
      return {VK_F11, 0x57};
    case SDL_SCANCODE_F12:
      return {VK_F12, 0x58};
    case SDL_SCANCODE_RETURN:
      return {VK_RETURN, 0x1C};
    case SDL_SCANCODE_ESCAPE:
      return {VK_ESCAPE, 0x01};
    case SDL_SCANCODE_BACKSPACE:
      return {VK_BACK, 0x0E};
    case SDL_SCANCODE_TAB:
      return {VK_TAB, 0x0F};
    case SDL_SCANCODE_SPACE:
      return {VK_SPACE, 0x39};
    case SDL_SCANCODE_MINUS:
      return {VK_OEM_MINUS, 0x0C};
    case SDL_SCANCODE_EQUALS:
      return {VK_OEM_PLUS, 0x0D};
    case SDL_SCANCODE_LEFTBRACKET:
      return {VK_OEM_4, 0x1A};
    case SDL_SCANCODE_RIGHTBRACKET:
      return {VK_OEM_6, 0x1B};
    case SDL_SCANCODE_BACKSLASH:
      return {VK_OEM_5, 0x2B};
    case SDL_SCANCODE_NONUSBACKSLASH:
      return {VK_OEM_102, 0x56};
    case SDL_SCANCODE_SEMICOLON:
      return {VK_OEM_1, 0x27};
    case SDL_SCANCODE_APOSTROPHE:
      return {VK_OEM_7, 0x28};
    case SDL_SCANCODE_GRAVE:
      return {VK_OEM_3, 0x29};
    case SDL_SCANCODE_COMMA:
      return {VK_OEM_COMMA, 0x33};
    case SDL_SCANCODE_PERIOD:
      return {VK_OEM_PERIOD, 0x34};
    case SDL_SCANCODE_SLASH:
      return {VK_OEM_2, 0x35};
    case SDL_SCANCODE_CAPSLOCK:
      return {VK_CAPITAL, 0x3A};
    case SDL_SCANCODE_PRINTSCREEN:
      return {VK_SNAPSHOT, 0x137};
    case SDL_SCANCODE_SCROLLLOCK:
      return {VK_SCROLL, 0x46};
    case SDL_SCANCODE_PAUSE:
      return {VK_PAUSE, 0x45};
    case SDL_SCANCODE_INSERT:
      return {VK_INSERT, 0x152};
    case SDL_SCANCODE_HOME:
      return {VK_HOME, 0x147};
    case SDL_SCANCODE_PAGEUP:
      return {VK_PRIOR, 0x149};
    case SDL_SCANCODE_DELETE:
      return {VK_DELETE, 0x153};
    case SDL_SCANCODE_END:
      return {VK_END, 0x14F};
    case SDL_SCANCODE_PAGEDOWN:
      return {VK_NEXT, 0x151};
    case SDL_SCANCODE_RIGHT:
      return {VK_RIGHT, 0x14D};
    case SDL_SCANCODE_LEFT:
      return {VK_LEFT, 0x14B};
    case SDL_SCANCODE_DOWN:
      return {VK_DOWN, 0x150};
    case SDL_SCANCODE_UP:
      return {VK_UP, 0x148};
    case SDL_SCANCODE_NUMLOCKCLEAR:
      return {VK_NUMLOCK, 0x145};
    case SDL_SCANCODE_KP_DIVIDE:
      return {VK_DIVIDE, 0x135};
    case SDL_SCANCODE_KP_MULTIPLY:
      return {VK_MULTIPLY, 0x37};
    case SDL_SCANCODE_KP_MINUS:
      return {VK_SUBTRACT, 0x4A};
    case SDL_SCANCODE_KP_PLUS:
      return {VK_ADD, 0x4E};
    case SDL_SCANCODE_KP_ENTER:
      return {VK_RETURN, 0x11C};
    case SDL_SCANCODE_KP_1:
      return {VK_NUMPAD0 + 1, 0x4F};
    case SDL_SCANCODE_KP_2:
      return {VK_NUMPAD0 + 2, 0x50};
    case SDL_SCANCODE_KP_3:
      return {VK_NUMPAD0 + 3, 0x51};
    case SDL_SCANCODE_KP_4:
      return {VK_NUMPAD0 + 4, 0x4B};
    case SDL_SCANCODE_KP_5:
      return {VK_NUMPAD0 + 5, 0x4C};
    case SDL_SCANCODE_KP_6:
      return {VK_NUMPAD0 + 6, 0x4D};
    case SDL_SCANCODE_KP_7:
      return {VK_NUMPAD0 + 7, 0x47};
    case SDL_SCANCODE_KP_8:
      return {VK_NUMPAD0 + 8, 0x48};
    case SDL_SCANCODE_KP_9:
      return {VK_NUMPAD0 + 9, 0x49};
    case SDL_SCANCODE_KP_0:
      return {VK_NUMPAD0, 0x52};
    case SDL_SCANCODE_KP_PERIOD:
      return {VK_DECIMAL, 0x53};
    case SDL_SCANCODE_APPLICATION:
      return {VK_APPS, 0x15D};
    case SDL_SCANCODE_LCTRL:
      return {VK_LCONTROL, 0x1D};
    case SDL_SCANCODE_LSHIFT:
      return {VK_LSHIFT, 0x2A};
    case SDL_SCANCODE_LALT:
      return {VK_LMENU, 0x38};
    case SDL_SCANCODE_LGUI:
      return {VK_LWIN, 0x15B};
    case SDL_SCANCODE_RCTRL:
      return {VK_RCONTROL, 0x11D};
    case SDL_SCANCODE_RSHIFT:
      return {VK_RSHIFT, 0x36};
    case SDL_SCANCODE_RALT:
      return {VK_RMENU, 0x138};
    case SDL_SCANCODE_RGUI:
      return {VK_RWIN, 0x15C};
    default:
      return {0, 0};
  }
}

// The window procedure sees the generic modifier codes, as it would from the system; the keyboard
// state keeps both sides and the generic code.
int generic_vk(int vk) {
  switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
      return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
      return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
      return VK_MENU;
    default:
      return vk;
  }
}

// ---- event translation

void post(unsigned message, uintptr_t wParam, intptr_t lParam, int character = 0) {
  if (main_window.destroyed || !main_window.sdl) return;
  pending.push_back(Pending{PlatMsg{&main_window, message, wParam, lParam}, character});
}

// The first character of a UTF-8 text as a code point; characters beyond Latin-1 have no 8-bit
// value and count as none.
int first_character(const char* t) {
  const unsigned char* u = (const unsigned char*)t;
  int c;
  if (u[0] < 0x80) c = u[0];
  else if ((u[0] & 0xE0) == 0xC0 && (u[1] & 0xC0) == 0x80) c = ((u[0] & 0x1F) << 6) | (u[1] & 0x3F);
  else return 0;
  return c < 256 ? c : 0;
}

// SDL queues the text a key press typed right after the press itself; take it with the press.
int text_typed_by_press() {
  SDL_Event next;
  if (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) != 1 || next.type != SDL_TEXTINPUT)
    return 0;
  SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
  return first_character(next.text.text);
}

void update_key_state(const PlatMsg& m) {
  auto set = [](int vk, bool down) {
    if (down) key_state[vk] |= 0x80;
    else key_state[vk] &= 0x7F;
  };
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
      int vk = int(m.wParam & 255);
      int side = int((m.lParam >> 16) & 0x1FF);
      if (vk == VK_SHIFT) set(side == 0x36 ? VK_RSHIFT : VK_LSHIFT, down);
      if (vk == VK_CONTROL) set(side & 0x100 ? VK_RCONTROL : VK_LCONTROL, down);
      if (vk == VK_MENU) set(side & 0x100 ? VK_RMENU : VK_LMENU, down);
      if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
        int l = vk == VK_SHIFT ? VK_LSHIFT : vk == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
        bool any = (key_state[l] | key_state[l + 1]) & 0x80;
        key_state[vk] = uint8_t((key_state[vk] & 1) | (any ? 0x80 : 0));
      } else if ((vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL)) {
        if (down && !(key_state[vk] & 0x80)) key_state[vk] ^= 1;
        key_state[vk] = uint8_t((key_state[vk] & 1) | (down ? 0x80 : 0));
      } else {
        key_state[vk] = uint8_t((key_state[vk] & 1) | (down ? 0x80 : 0));
      }
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      key_state[VK_LBUTTON] |= 0x80;
      break;
    case WM_LBUTTONUP:
      key_state[VK_LBUTTON] &= 0x7F;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      key_state[VK_RBUTTON] |= 0x80;
      break;
    case WM_RBUTTONUP:
      key_state[VK_RBUTTON] &= 0x7F;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      key_state[VK_MBUTTON] |= 0x80;
      break;
    case WM_MBUTTONUP:
      key_state[VK_MBUTTON] &= 0x7F;
      break;
    default:
      break;
  }
}

uintptr_t mouse_key_flags() {
  uintptr_t f = 0;
  if (key_state[VK_LBUTTON] & 0x80) f |= MK_LBUTTON;
  if (key_state[VK_RBUTTON] & 0x80) f |= MK_RBUTTON;
  if (key_state[VK_MBUTTON] & 0x80) f |= MK_MBUTTON;
  if (key_state[VK_SHIFT] & 0x80) f |= MK_SHIFT;
  if (key_state[VK_CONTROL] & 0x80) f |= MK_CONTROL;
  return f;
}

// Holds what the translation has already queued, so Alt and repeats are judged in message order.
uint8_t translate_held[256];

void translate_key(const SDL_KeyboardEvent& k) {
  KeyInfo info = key_info(k.keysym.scancode);
  if (!info.vk) return;
  bool down = k.type == SDL_KEYDOWN;
  int vk = generic_vk(info.vk);
  bool was_down = translate_held[info.vk] != 0;
  translate_held[info.vk] = down ? 1 : 0;
  bool alt = translate_held[VK_LMENU] || translate_held[VK_RMENU];
  bool sys = alt || vk == VK_F10 || (vk == VK_MENU && !down);
  intptr_t lp = 1 | ((info.scan & 0xFF) << 16) | ((info.scan & 0x100) ? (1 << 24) : 0);
  if (alt) lp |= 1 << 29;
  if (down && (k.repeat || was_down)) lp |= 1 << 30;
  if (!down) lp |= (intptr_t(1) << 30) | (intptr_t(1) << 31);
  unsigned msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  int typed = 0;
  if (down) typed = typed_by_vk[vk] = text_typed_by_press();
  else typed = typed_by_vk[vk];
  post(msg, uintptr_t(vk), intptr_t(uint32_t(lp)), typed);
}

void translate_event(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      post(WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          post(WM_CLOSE, 0, 0);
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          post(WM_SIZE, SIZE_RESTORED, intptr_t(plat_make_lparam(e.window.data1, e.window.data2)));
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          main_window.minimized = true;
          post(WM_SIZE, SIZE_MINIMIZED, 0);
          break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
          main_window.minimized = false;
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          post(WM_ACTIVATE, WA_ACTIVE, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          post(WM_ACTIVATE, WA_INACTIVE, 0);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          post(WM_PAINT, 0, 0);
          break;
        case SDL_WINDOWEVENT_ENTER:
          post(WM_SETCURSOR, 0, intptr_t(plat_make_lparam(HTCLIENT, WM_MOUSEMOVE)));
          break;
        default:
          break;
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      translate_key(e.key);
      break;
    case SDL_MOUSEMOTION:
      post(WM_SETCURSOR, 0, intptr_t(plat_make_lparam(HTCLIENT, WM_MOUSEMOVE)));
      post(WM_MOUSEMOVE, mouse_key_flags(), intptr_t(plat_make_lparam(e.motion.x, e.motion.y)));
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      bool dbl = down && e.button.clicks >= 2 && e.button.clicks % 2 == 0;
      unsigned base;
      if (e.button.button == SDL_BUTTON_LEFT) base = WM_LBUTTONDOWN;
      else if (e.button.button == SDL_BUTTON_RIGHT) base = WM_RBUTTONDOWN;
      else if (e.button.button == SDL_BUTTON_MIDDLE) base = WM_MBUTTONDOWN;
      else break;
      unsigned msg = down ? (dbl ? base + 2 : base) : base + 1;
      post(msg, mouse_key_flags(), intptr_t(plat_make_lparam(e.button.x, e.button.y)));
      break;
    }
    case SDL_MOUSEWHEEL: {
      int y = e.wheel.y;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
      int sx, sy;
      SDL_GetGlobalMouseState(&sx, &sy);
      post(WM_MOUSEWHEEL, uintptr_t(uint32_t(mouse_key_flags() | (uint32_t(uint16_t(int16_t(y * 120))) << 16))),
           intptr_t(plat_make_lparam(sx, sy)));
      break;
    }
    default:
      break;
  }
}

bool no_message_boxes() {
  const char* v = getenv("ASCENDA_NO_MESSAGE_BOX");
  return v && v[0] && strcmp(v, "0") != 0;
}
}  // namespace

// ---- start-up and shutdown

namespace {
char init_error[1024] = "";

bool env_set(const char* name) {
  const char* v = getenv(name);
  return v && v[0];
}
}  // namespace

const char* plat_init_error() { return init_error; }

bool plat_init() {
  init_error[0] = 0;
  // Without a display SDL falls back to its offscreen driver by itself: the game would then run
  // with no window anyone can see, until killed. A driver chosen by name (the tests choose
  // "offscreen") is taken as asked.
  // The same happens when the display that is set cannot be opened (no server there, or one that
  // refuses us): each is tried first, so the reason can be given.
  bool by_name = env_set("SDL_VIDEODRIVER");
  if (!by_name && !env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) {
    snprintf(init_error, sizeof(init_error),
             "there is no display: neither DISPLAY nor WAYLAND_DISPLAY is set. Run the game inside a desktop "
             "session, set DISPLAY (for example DISPLAY=:0) or WAYLAND_DISPLAY, or set SDL_VIDEODRIVER=offscreen "
             "to run without a window");
    return false;
  }
  const char* display_advice =
      ". Run the game inside a desktop session, set DISPLAY or WAYLAND_DISPLAY to a display that is running, "
      "or set SDL_VIDEODRIVER=offscreen to run without a window";
  char unreachable[600] = "";
  if (!by_name &&
      !plat_probe_displays(getenv("DISPLAY"), getenv("WAYLAND_DISPLAY"), unreachable, sizeof(unreachable))) {
    snprintf(init_error, sizeof(init_error), "the display cannot be opened: %s%s", unreachable, display_advice);
    return false;
  }
  counter_freq = SDL_GetPerformanceFrequency();
  counter_start = SDL_GetPerformanceCounter();
  memset(key_state, 0, sizeof(key_state));
  memset(translate_held, 0, sizeof(translate_held));
  memset(typed_by_vk, 0, sizeof(typed_by_vk));
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  bool started = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) == 0;
  if (!started && by_name) {
    snprintf(init_error, sizeof(init_error), "SDL could not start (video driver '%s'): %s", getenv("SDL_VIDEODRIVER"),
             SDL_GetError());
    return false;
  }
  // A display answered, yet SDL may still fail on it (its client library missing, credentials read
  // otherwise than ours, a server that stops answering) or go on to a driver without a window.
  const char* driver = started ? SDL_GetCurrentVideoDriver() : nullptr;
  if (!by_name && (!driver || (strcmp(driver, "x11") != 0 && strcmp(driver, "wayland") != 0))) {
    std::string tried, how;
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY"})
      if (env_set(v)) tried += std::string(tried.empty() ? "" : " or ") + v + "=" + getenv(v);
    if (started)
      how = std::string("it went on to its '") + (driver ? driver : "") + "' video driver, which shows nothing";
    else how = SDL_GetError();
    snprintf(init_error, sizeof(init_error), "the display cannot be opened: SDL could not open %s (%s)%s%s%s",
             tried.c_str(), how.c_str(), unreachable[0] ? "; " : "", unreachable, display_advice);
    if (started) SDL_Quit();
    return false;
  }
  sdl_video_up = true;
  SDL_Keymod mods = SDL_GetModState();
  if (mods & KMOD_CAPS) key_state[VK_CAPITAL] |= 1;
  if (mods & KMOD_NUM) key_state[VK_NUMLOCK] |= 1;
  if (mods & KMOD_SCROLL) key_state[VK_SCROLL] |= 1;
  return true;
}

void plat_shutdown() {
  plat_gl_destroy_context();
  if (main_window.sdl) SDL_DestroyWindow(main_window.sdl);
  main_window = PlatWindow{};
  pending.clear();
  if (sdl_video_up) SDL_Quit();
  sdl_video_up = false;
}

const char* plat_backend_name() {
  const char* d = sdl_video_up ? SDL_GetCurrentVideoDriver() : nullptr;
  return d ? d : "sdl";
}

// ---- windows

bool plat_register_window_class(const char*, PlatWindowProc proc) {
  window_proc = proc;
  return proc != nullptr;
}

WindowHandle plat_create_window(const char* title, uint32_t style, bool topmost, int x, int y, int width, int height,
                                int show) {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  // The graphics layer draws the back buffer straight into the window: it keeps alpha, as the
  // layer's A8R8G8B8 back buffer does, and has no depth or stencil (the layer's depth surfaces are
  // its own; a window buffer would only test draws against stale values).
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
  bool popup = (style & PLAT_STYLE_POPUP) != 0;
  if (popup) flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP;
  else flags |= SDL_WINDOW_RESIZABLE;
  if (show == PLAT_SHOW_MAXIMIZED && !popup) flags |= SDL_WINDOW_MAXIMIZED;
  if (topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  int dm_w = 1280, dm_h = 720;
  SDL_DisplayMode dm;
  if (SDL_GetDesktopDisplayMode(0, &dm) == 0) {
    dm_w = dm.w;
    dm_h = dm.h;
  }
  // A dimension below 1 is left to the system, each on its own, and so is the position along it.
  int px = width < 1 ? int(SDL_WINDOWPOS_UNDEFINED) : x, py = height < 1 ? int(SDL_WINDOWPOS_UNDEFINED) : y;
  if (width < 1) width = popup ? dm_w : dm_w * 3 / 4;
  if (height < 1) height = popup ? dm_h : dm_h * 3 / 4;
  SDL_Window* w = SDL_CreateWindow(title, px, py, width, height, flags);
  if (!w) {
    fprintf(stderr, "SDL_CreateWindow failed: %s\n", SDL_GetError());
    return nullptr;
  }
  main_window.sdl = w;
  main_window.style = style | PLAT_STYLE_VISIBLE;
  main_window.topmost = topmost;
  main_window.destroyed = false;
  main_window.minimized = false;
  quit_posted = false;
  if (window_proc) window_proc(&main_window, WM_CREATE, 0, 0);
  // A window nothing else competes with (no window manager, or the offscreen driver) never hears
  // that it got the focus; it is the active window all the same.
  const char* drv = SDL_GetCurrentVideoDriver();
  if ((SDL_GetWindowFlags(w) & SDL_WINDOW_INPUT_FOCUS) || (drv && strcmp(drv, "offscreen") == 0))
    post(WM_ACTIVATE, WA_ACTIVE, 0);
  return &main_window;
}

void plat_destroy_window(WindowHandle w) {
  if (!w || w->destroyed) return;
  // The SDL window outlives the message: the GL context is still released through it at shutdown.
  w->destroyed = true;
  SDL_HideWindow(w->sdl);
  if (window_proc) window_proc(w, WM_DESTROY, 0, 0);
}

bool plat_get_client_rect(WindowHandle w, PlatRect* r) {
  if (!w || !w->sdl) return false;
  int cw, ch;
  SDL_GetWindowSize(w->sdl, &cw, &ch);
  *r = {0, 0, cw, ch};
  return true;
}

bool plat_get_window_rect(WindowHandle w, PlatRect* r) {
  if (!w || !w->sdl) return false;
  int x, y, cw, ch;
  SDL_GetWindowPosition(w->sdl, &x, &y);
  SDL_GetWindowSize(w->sdl, &cw, &ch);
  *r = {x, y, x + cw, y + ch};
  return true;
}

uint32_t plat_get_window_style(WindowHandle w) { return w ? w->style : 0; }

void plat_set_window_style(WindowHandle w, uint32_t style, bool topmost) {
  if (!w || !w->sdl) return;
  w->style = style;
  w->topmost = topmost;
  bool popup = (style & PLAT_STYLE_POPUP) != 0;
  SDL_SetWindowBordered(w->sdl, popup ? SDL_FALSE : SDL_TRUE);
  SDL_SetWindowResizable(w->sdl, popup ? SDL_FALSE : SDL_TRUE);
  SDL_SetWindowAlwaysOnTop(w->sdl, topmost ? SDL_TRUE : SDL_FALSE);
}

void plat_set_window_pos(WindowHandle w, bool topmost, int x, int y, int width, int height) {
  if (!w || !w->sdl) return;
  w->topmost = topmost;
  SDL_SetWindowAlwaysOnTop(w->sdl, topmost ? SDL_TRUE : SDL_FALSE);
  if (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN) return;
  SDL_SetWindowPosition(w->sdl, x, y);
  if (width > 0 && height > 0) SDL_SetWindowSize(w->sdl, width, height);
}

bool plat_is_window_minimized(WindowHandle w) {
  return w && w->sdl && (w->minimized || (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MINIMIZED));
}

bool plat_get_work_area(PlatRect* r) {
  SDL_Rect u;
  if (SDL_GetDisplayUsableBounds(0, &u) != 0) return false;
  *r = {u.x, u.y, u.x + u.w, u.y + u.h};
  return true;
}

void plat_get_screen_size(int* width, int* height) {
  SDL_DisplayMode dm;
  if (SDL_GetDesktopDisplayMode(0, &dm) == 0) {
    *width = dm.w;
    *height = dm.h;
  } else {
    *width = 1280;
    *height = 720;
  }
}

// SDL places and sizes windows by their client area, so the outer rectangle is the client one.
void plat_adjust_window_rect(PlatRect*, uint32_t) {}

void plat_client_to_screen(WindowHandle w, int* x, int* y) {
  if (!w || !w->sdl) return;
  int wx, wy;
  SDL_GetWindowPosition(w->sdl, &wx, &wy);
  *x += wx;
  *y += wy;
}

void plat_screen_to_client(WindowHandle w, int* x, int* y) {
  if (!w || !w->sdl) return;
  int wx, wy;
  SDL_GetWindowPosition(w->sdl, &wx, &wy);
  *x -= wx;
  *y -= wy;
}

void plat_set_focus(WindowHandle w) {
  if (w && w->sdl) SDL_SetWindowInputFocus(w->sdl);
}

void plat_validate_window(WindowHandle) {}

void plat_set_fullscreen_display(WindowHandle w, bool fullscreen, int, int) {
  if (!w || !w->sdl) return;
  SDL_SetWindowFullscreen(w->sdl, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

// ---- display modes

int plat_get_display_modes(PlatDisplayMode* modes, int max_modes) {
  int count = 0;
  if (sdl_video_up) {
    int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n && count < max_modes; i++) {
      SDL_DisplayMode m;
      if (SDL_GetDisplayMode(0, i, &m) == 0) modes[count++] = PlatDisplayMode{m.w, m.h, m.refresh_rate};
    }
  }
  if (count == 0 && max_modes > 0) {
    int w = 0, h = 0;
    plat_get_screen_size(&w, &h);
    if (w > 0 && h > 0) modes[count++] = PlatDisplayMode{w, h, 60};
  }
  return count;
}

// ---- messages

bool plat_peek_message(PlatMsg* msg) {
  SDL_Event e;
  while (pending.empty() && SDL_PollEvent(&e)) translate_event(e);
  if (pending.empty()) return false;
  *msg = pending.front().msg;
  current_vk = int(msg->wParam & 255);
  current_character = pending.front().character;
  pending.pop_front();
  update_key_state(*msg);
  return true;
}

intptr_t plat_dispatch_message(const PlatMsg& m) {
  if (m.message == WM_QUIT || !window_proc || !m.window || m.window->destroyed) return 0;
  return window_proc(m.window, m.message, m.wParam, m.lParam);
}

void plat_post_quit_message(int code) {
  if (quit_posted) return;
  quit_posted = true;
  pending.push_back(Pending{PlatMsg{nullptr, WM_QUIT, uintptr_t(code), 0}, 0});
}

intptr_t plat_def_window_proc(WindowHandle w, unsigned message, uintptr_t wParam, intptr_t) {
  if (message == WM_SYSKEYDOWN && wParam == VK_F4) {
    if (window_proc) window_proc(w, WM_CLOSE, 0, 0);
  } else if (message == WM_CLOSE) {
    plat_destroy_window(w);
  }
  return 0;
}

// ---- keyboard

void plat_get_keyboard_state(uint8_t state[256]) { memcpy(state, key_state, 256); }

bool plat_key_held(int vk) {
  if (vk < 0 || vk > 255) return false;
  return (key_state[vk] & 0x80) != 0;
}

// The character of the key message being dispatched: the text the layout typed with it. Keys that
// type no text give their control character (Enter, Backspace, Tab, Escape, Ctrl with a letter), or
// none: a dead key, for instance, types nothing until the next key.
int plat_to_ascii(int vk, int, const uint8_t state[256]) {
  if (vk == current_vk && current_character) return current_character;
  bool ctrl = state[VK_CONTROL] & 0x80;
  bool alt = state[VK_MENU] & 0x80;
  if (vk >= 'A' && vk <= 'Z') return (ctrl && !alt) ? vk - 'A' + 1 : 0;
  switch (vk) {
    case VK_RETURN:
      return ctrl ? 10 : '\r';
    case VK_BACK:
      return ctrl ? 127 : 8;
    case VK_TAB:
      return ctrl ? 0 : 9;
    case VK_ESCAPE:
      return ctrl ? 0 : 27;
    default:
      return 0;
  }
}

// ---- cursor and mouse

void plat_clip_cursor(const PlatRect* screen_rect) {
  if (!main_window.sdl) return;
  if (!screen_rect) {
    SDL_SetWindowMouseRect(main_window.sdl, nullptr);
    return;
  }
  int wx, wy, cw, ch;
  SDL_GetWindowPosition(main_window.sdl, &wx, &wy);
  SDL_GetWindowSize(main_window.sdl, &cw, &ch);
  SDL_Rect r{screen_rect->left - wx, screen_rect->top - wy, screen_rect->right - screen_rect->left,
             screen_rect->bottom - screen_rect->top};
  SDL_Rect client{0, 0, cw, ch}, clipped;
  if (SDL_IntersectRect(&r, &client, &clipped)) SDL_SetWindowMouseRect(main_window.sdl, &clipped);
}

void plat_show_cursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

void plat_set_cursor_pos(int x, int y) { SDL_WarpMouseGlobal(x, y); }

void plat_get_cursor_pos(int* x, int* y) { SDL_GetGlobalMouseState(x, y); }

WindowHandle plat_window_under_cursor() {
  SDL_Window* f = SDL_GetMouseFocus();
  return (f && f == main_window.sdl && !main_window.destroyed) ? &main_window : nullptr;
}

void plat_capture_mouse(WindowHandle) { SDL_CaptureMouse(SDL_TRUE); }
void plat_release_mouse() { SDL_CaptureMouse(SDL_FALSE); }

// ---- message boxes and timing

void plat_message_box(const char* text, const char* caption) {
  if (no_message_boxes()) return;
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, main_window.destroyed ? nullptr : main_window.sdl);
}

int64_t plat_counter() {
  Uint64 d = SDL_GetPerformanceCounter() - counter_start;
  return int64_t((unsigned __int128)d * 10000000u / counter_freq);
}
int64_t plat_counter_frequency() { return 10000000; }
void plat_sleep_ms(int ms) { SDL_Delay(Uint32(ms < 0 ? 0 : ms)); }

// ---- audio

namespace {
SDL_AudioDeviceID audio_device = 0;
bool audio_up = false;
PlatAudioFill audio_fill = nullptr;

void sdl_audio_callback(void*, Uint8* stream, int len) { audio_fill((float*)stream, len / int(2 * sizeof(float))); }

// SDL tries its audio drivers in turn, and ALSA prints a dozen lines of its own on a machine without a
// sound card before the game can say in one line that sound is off. ALSA's error handler is set to
// one that says nothing, on the copy of the library that SDL loads too (same name, so the same one;
// it stays loaded). A machine without ALSA has nothing to silence.
void say_nothing(const char*, int, const char*, int, const char*, ...) {}

void silence_alsa_errors() {
  static bool done = false;
  if (done) return;
  done = true;
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!alsa) return;
  typedef void (*ErrorHandler)(const char* file, int line, const char* function, int err, const char* fmt, ...);
  typedef int (*SetErrorHandler)(ErrorHandler handler);
  auto set_handler = (SetErrorHandler)dlsym(alsa, "snd_lib_error_set_handler");
  if (set_handler) set_handler(say_nothing);
}
}  // namespace

PlatAudioResult plat_audio_open(int rate, int frames, PlatAudioFill fill, char* why, int why_size) {
  plat_audio_close();
  why[0] = 0;
  SDL_version v;
  SDL_GetVersion(&v);
  if (v.major != 2) {
    snprintf(why, size_t(why_size), "SDL %d.%d.%d", v.major, v.minor, v.patch);
    return PLAT_AUDIO_WRONG_LIBRARY;
  }
  silence_alsa_errors();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    snprintf(why, size_t(why_size), "%s", SDL_GetError());
    return PLAT_AUDIO_NOT_STARTED;
  }
  audio_up = true;
  const char* driver = SDL_GetCurrentAudioDriver();
  if (!driver || strcmp(driver, "dummy") == 0) {
    // The dummy driver plays nowhere: that is a machine without sound.
    snprintf(why, size_t(why_size), "audio driver '%s'", driver ? driver : "none");
    plat_audio_close();
    return PLAT_AUDIO_NO_DEVICE;
  }
  SDL_AudioSpec want, have;
  SDL_zero(want);
  want.freq = rate;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = Uint16(frames);
  want.callback = sdl_audio_callback;
  audio_fill = fill;
  audio_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!audio_device) {
    snprintf(why, size_t(why_size), "driver '%s': %s", driver, SDL_GetError());
    plat_audio_close();
    return PLAT_AUDIO_OPEN_FAILED;
  }
  snprintf(why, size_t(why_size), "audio driver '%s'", driver);
  SDL_PauseAudioDevice(audio_device, 0);
  return PLAT_AUDIO_OPEN;
}

void plat_audio_close() {
  if (audio_device) SDL_CloseAudioDevice(audio_device);
  audio_device = 0;
  if (audio_up) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  audio_up = false;
}

void plat_audio_lock() {
  if (audio_device) SDL_LockAudioDevice(audio_device);
}
void plat_audio_unlock() {
  if (audio_device) SDL_UnlockAudioDevice(audio_device);
}

// ---- the OpenGL context

bool plat_gl_create_context(WindowHandle w) {
  if (!w || !w->sdl) return false;
  if (!gl_context) gl_context = SDL_GL_CreateContext(w->sdl);
  if (!gl_context) {
    fprintf(stderr, "SDL_GL_CreateContext failed: %s\n", SDL_GetError());
    return false;
  }
  return SDL_GL_MakeCurrent(w->sdl, gl_context) == 0;
}

void plat_gl_destroy_context() {
  if (gl_context) SDL_GL_DeleteContext(gl_context);
  gl_context = nullptr;
}

void* plat_gl_get_proc_address(const char* name) { return SDL_GL_GetProcAddress(name); }
void plat_gl_swap(WindowHandle w) {
  if (w && w->sdl) SDL_GL_SwapWindow(w->sdl);
}
void plat_gl_set_swap_interval(int interval) { SDL_GL_SetSwapInterval(interval); }
void plat_gl_get_drawable_size(WindowHandle w, int* width, int* height) {
  if (!w || !w->sdl) {
    *width = *height = 0;
    return;
  }
  SDL_GL_GetDrawableSize(w->sdl, width, height);
}
