// The platform layer: the window, its messages (numbered and packed as the shell's window procedure
// expects them), keyboard and mouse state, cursor, timers, folders and files, modules by name,
// process priority and the OpenGL context. One back end per file: platform_sdl.cpp for the game,
// platform_null.cpp for tests (a scripted window with an injectable message queue and clock).
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

struct PlatWindow;
typedef PlatWindow* WindowHandle;

// Window messages, with the numbers and wParam/lParam packing of the classic window procedure.
enum : unsigned {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_SETCURSOR = 0x0020,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A,
};
enum { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };
enum { WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2 };
enum { HTCLIENT = 1 };
enum { MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8, MK_MBUTTON = 0x10 };

inline uint32_t plat_make_lparam(int lo, int hi) { return (uint32_t(hi & 0xFFFF) << 16) | uint32_t(lo & 0xFFFF); }
inline int plat_lo_word(uintptr_t v) { return int(v & 0xFFFF); }
inline int plat_hi_word(uintptr_t v) { return int((v >> 16) & 0xFFFF); }
inline int plat_signed_lo(uintptr_t v) { return int(int16_t(v & 0xFFFF)); }
inline int plat_signed_hi(uintptr_t v) { return int(int16_t((v >> 16) & 0xFFFF)); }

struct PlatMsg {
  WindowHandle window;
  unsigned message;
  uintptr_t wParam;
  intptr_t lParam;
};

typedef intptr_t (*PlatWindowProc)(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam);

struct PlatRect {
  int left, top, right, bottom;
};

enum PlatWindowStyle : uint32_t {
  PLAT_STYLE_OVERLAPPED = 0x00CF0000u,  // caption, system menu, thick frame, minimise and maximise boxes
  PLAT_STYLE_POPUP = 0x80000000u,
  PLAT_STYLE_VISIBLE = 0x10000000u,
};
enum PlatShow { PLAT_SHOW_NORMAL = 1, PLAT_SHOW_MAXIMIZED = 3 };

// ---- start-up
bool plat_init();  // events, timer, video; false when no video back end can be had
// Why the last plat_init failed, as a sentence that says what to set; "" when it did not fail.
const char* plat_init_error();
// Whether a display that DISPLAY (x_display) or WAYLAND_DISPLAY (wayland_display) names (null or ""
// when unset) answers, found by connecting to each as its clients do: an X server is asked for a
// connection with the credentials of XAUTHORITY and may refuse it with a reason of its own. `why`
// gets one sentence, naming the display, for each that is set and does not answer ("" when none).
bool plat_probe_displays(const char* x_display, const char* wayland_display, char* why, size_t size);
void plat_shutdown();
const char* plat_backend_name();

// ---- window
bool plat_register_window_class(const char* class_name, PlatWindowProc proc);
WindowHandle plat_create_window(const char* title, uint32_t style, bool topmost, int x, int y, int width, int height,
                                int show);  // width/height below 1: the system's default
void plat_destroy_window(WindowHandle w);
bool plat_get_client_rect(WindowHandle w, PlatRect* r);  // origin 0,0
bool plat_get_window_rect(WindowHandle w, PlatRect* r);  // screen coordinates
uint32_t plat_get_window_style(WindowHandle w);
void plat_set_window_style(WindowHandle w, uint32_t style, bool topmost);
void plat_set_window_pos(WindowHandle w, bool topmost, int x, int y, int width, int height);
bool plat_is_window_minimized(WindowHandle w);
bool plat_get_work_area(PlatRect* r);
void plat_get_screen_size(int* width, int* height);
// The display modes of the first display, as many as fit (its current size alone when the modes
// cannot be asked); the count written.
struct PlatDisplayMode {
  int width, height, refresh_hz;
};
int plat_get_display_modes(PlatDisplayMode* modes, int max_modes);
// The machine's memory in megabytes, 0 when it cannot be asked.
int plat_system_ram_mb();
void plat_adjust_window_rect(PlatRect* r, uint32_t style);  // client rectangle to outer rectangle
void plat_client_to_screen(WindowHandle w, int* x, int* y);
void plat_screen_to_client(WindowHandle w, int* x, int* y);
void plat_set_focus(WindowHandle w);
void plat_validate_window(WindowHandle w);
void plat_set_fullscreen_display(WindowHandle w, bool fullscreen, int width, int height);

// ---- messages
bool plat_peek_message(PlatMsg* msg);  // removes the oldest pending message; never waits
intptr_t plat_dispatch_message(const PlatMsg& msg);
void plat_post_quit_message(int code);
// What the system does with a message the shell leaves alone (close on Alt+F4, destroy on close).
intptr_t plat_def_window_proc(WindowHandle w, unsigned message, uintptr_t wParam, intptr_t lParam);

// ---- keyboard and mouse
void plat_get_keyboard_state(uint8_t state[256]);  // bit 7 held, bit 0 toggled
bool plat_key_held(int vk);
int plat_to_ascii(int vk, int scan_code, const uint8_t state[256]);  // 0 when the key gives no character
void plat_clip_cursor(const PlatRect* screen_rect);                  // null releases the clip
void plat_show_cursor(bool show);
void plat_set_cursor_pos(int screen_x, int screen_y);
void plat_get_cursor_pos(int* screen_x, int* screen_y);
WindowHandle plat_window_under_cursor();
void plat_capture_mouse(WindowHandle w);
void plat_release_mouse();

// ---- dialogs. Headless runs and tests set ASCENDA_NO_MESSAGE_BOX so nothing ever blocks.
void plat_message_box(const char* text, const char* caption);

// ---- time: a monotonic counter at a fixed 10 MHz, counted from plat_init.
int64_t plat_counter();
int64_t plat_counter_frequency();
void plat_sleep_ms(int ms);

// ---- files, folders, modules, processes
bool plat_get_exe_filename(char* buf, int size);
bool plat_get_user_data_folder(char* buf, int size);  // XDG data home, no trailing separator
bool plat_make_folder(const char* path);              // an existing folder is no error
bool plat_full_path(const char* path, char* out, int size);
// Modification time in nanoseconds since the epoch, 0 when the file cannot be read. Whole seconds
// would miss a second save within the same second.
uint64_t plat_file_mtime(const char* path);
// Size in bytes, 0 when the file cannot be read.
uint64_t plat_file_size(const char* path);
// Opens an existing regular file for reading without waiting on a FIFO or a device: anything
// else is refused with *error = PLAT_NOT_REGULAR_FILE; other failures leave errno in *error.
enum { PLAT_NOT_REGULAR_FILE = -1 };
FILE* plat_open_regular_file(const char* path, int* error);
bool plat_sync_folder(const char* path);  // makes a rename inside it durable
// The file a path names once every symbolic link at its end is followed (the path itself when it is
// no link; a dangling link gives the missing file it points to). False with errno set on a loop.
bool plat_link_target(const char* path, char* out, int size);
// A folder's identity (device and inode, symlinks followed); false when it cannot be read.
bool plat_folder_identity(const char* path, uint64_t* device, uint64_t* inode);
// Lists the entries of a folder (no "." or ".."); false when it cannot be read.
bool plat_list_folder(const char* path, void (*visit)(void* ctx, const char* name, bool is_folder), void* ctx);
int plat_dir_watch_open(const char* path);  // >= 0 on success
int plat_dir_watch_poll(int watch);         // records taken without waiting
void plat_dir_watch_close(int watch);
// Modules are loaded with every reference resolved at once (a missing symbol fails the load, not a
// later call). plat_library_error gives the loader's text of the last failed load or lookup.
void* plat_load_library(const char* path);
void* plat_get_library_proc(void* module, const char* name);
bool plat_free_library(void* module);
const char* plat_library_error();
// True while a module loaded from this path is still mapped (asked without loading it).
bool plat_library_is_loaded(const char* path);
// Checks that a file is a complete ELF shared object of this machine: a regular file whose header,
// program headers and every loaded segment lie inside it. Mapping a truncated one would fault inside
// the loader. False with the reason in why.
bool plat_check_shared_object(const char* path, char* why, int size);
int plat_pipe_bytes_available(int fd);  // -1 when it cannot be asked
// Hands a document or web address to the desktop's opener (xdg-open on PATH), as one argument that
// no shell ever parses. False when the opener cannot be started.
bool plat_open_document(const char* target);
// A value that changes whenever the file is replaced or written (times, size, inode), 0 when it
// cannot be read. File times advance in steps of a few milliseconds, so two files written one
// after the other may share their time.
uint64_t plat_file_stamp(const char* path);
// A child process running "/bin/sh -c command" in the given folder (null: ours) and in its own
// process group, its standard output and error into one pipe whose read end never blocks. The pid
// is > 0 on success. The caller's own current folder does not change.
struct PlatChild {
  int pid;
  int fd;
};
PlatChild plat_spawn_reader(const char* command, const char* folder);
// Reads what the pipe holds now: > 0 bytes read, 0 at the end of the stream, -1 when nothing waits.
int plat_read_available(int fd, char* buf, int size);
// Without waiting: true once the child has ended, with its exit code; the pipe stays open for
// what is left in it.
bool plat_child_exited(PlatChild* child, int* code);
// Closes the pipe and waits for a child still running: its exit code (128 + signal when a signal
// ended it).
int plat_finish_child(PlatChild* child);
// Ends the child's whole process group (the compiler it started too), then waits for it.
int plat_kill_child(PlatChild* child);
// Process priority as a niceness. Only what an unprivileged process may do is applied: a level that
// could not be undone later is skipped.
void plat_set_process_nice(int nice);

// ---- audio output: one device playing stereo 32-bit float frames. Its fill callback runs on the
// device's own thread and never while the device is locked. The null back end has no device unless
// a test gives it one (plat_null_set_audio_device): then the device opens but never calls fill, and
// the test mixes by hand.
typedef void (*PlatAudioFill)(float* out, int frames);
enum PlatAudioResult {
  PLAT_AUDIO_OPEN,
  PLAT_AUDIO_WRONG_LIBRARY,  // the audio library is not the version we were built for
  PLAT_AUDIO_NOT_STARTED,    // the audio system would not start
  PLAT_AUDIO_NO_DEVICE,      // nothing to play on (a driver that plays nowhere counts as none)
  PLAT_AUDIO_OPEN_FAILED,
};
// Opens the default device at `rate` frames a second with buffers of `frames` and starts it; `why`
// names the driver and, on failure, the reason.
PlatAudioResult plat_audio_open(int rate, int frames, PlatAudioFill fill, char* why, int why_size);
void plat_audio_close();
void plat_audio_lock();  // nestable
void plat_audio_unlock();

// ---- OpenGL 3.3 core on the window
bool plat_gl_create_context(WindowHandle w);
void plat_gl_destroy_context();
void* plat_gl_get_proc_address(const char* name);
void plat_gl_swap(WindowHandle w);
void plat_gl_set_swap_interval(int interval);
void plat_gl_get_drawable_size(WindowHandle w, int* width, int* height);

// ---- for tests: the null back end's scripted world
void plat_null_post_message(unsigned message, uintptr_t wParam, intptr_t lParam);
void plat_null_set_counter(int64_t ticks);
void plat_null_advance_counter(int64_t ticks);
void plat_null_set_key(int vk, bool held);
void plat_null_set_cursor(int screen_x, int screen_y);
int plat_null_message_boxes_shown();
void plat_null_set_audio_device(bool present);  // none at start
