// The engine's thin layer over the system: program and data folders and absolute names, file times,
// libraries by name, pipes, the high-resolution timer and the change watch on the program folder.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"

extern char app_path[MAX_PATH_BYTES];

bool get_exe_filename(char* buf, int size);
bool get_exe_path(char* buf, int size);
// Cuts a file name after its last separator ("/", "\\" or ":"), keeping the separator.
void cut_after_last_separator(char* name);

// Every path is a PathString. A path that would not fit even there is fatal with a message that
// names it; try_make_full_path is for callers that can do without the file.
PathString get_appdata_path();
PathString get_appdata_path(const char* name);
PathString get_appdata_folder_path(const char* name);
PathString make_full_path(const char* name);
bool try_make_full_path(const char* name, PathString& out);
// printf into a path, fatal (naming the path) when it does not fit.
PathString make_path(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Guards a recursive folder walk: it ends at a depth limit and where a folder leads back into one
// being walked (a symlink loop), each logged once with the folder's name.
struct FolderWalk {
  enum { MAX_DEPTH = 16 };
  struct Id {
    uint64_t device, inode;
  };
  DynArray<Id> open;  // the folders from the top of the walk down to the current one
  // True when the folder (its full path) may be walked; then leave() must follow.
  bool enter(const char* path);
  void leave() { open.pop_back(); }
  ~FolderWalk() { open.free(); }
};

// The file's modification time in nanoseconds (0: none); watchers compare it for difference.
uint64_t get_file_time(const char* name);
uint64_t get_file_size(const char* name);  // 0 when the file cannot be read
// Opens an existing regular file for reading ("rb"); a FIFO, a device or a folder is refused at
// once instead of blocking the game. On failure *error holds the reason for file_error_text.
FILE* open_regular_file(const char* name, int* error);
const char* file_error_text(int error);
bool file_error_is_missing(int error);  // the file (or a folder on its way) does not exist
// Reads a whole data file into memory of the shared heap, a zero byte after its last (so that text
// readers may take it as a string); *size is its length. Every reader of the program folder's data
// goes through here or through open_regular_file: a folder, a FIFO or a device in a file's place is
// refused before anything is read or allocated (a folder's size is the file system's largest
// offset). Null on failure, with the reason in *why; a file of more than max_size bytes is refused
// as "too large".
uint8_t* read_data_file(const char* path, size_t* size, const char** why, int64_t max_size);
void shell_execute(const char* operation, const char* file, const char* parameters, const char* folder);

// Refuses a file that is not a complete shared object (logged with the reason), logs the loader's
// text when the load fails; get_library_error then holds the reason.
void* load_library(const char* file_name);
const char* get_library_error();
// True while a module loaded from this exact name is still mapped.
bool library_still_loaded(const char* file_name);
void* get_library_proc(void* module, const char* name);
bool free_library(void* module);

int get_pipe_bytes_available(FILE* stream);

// Timer: 64-bit ticks, multiplications before divisions, truncating toward zero.
void init_timer();
int64_t get_ref_time();
int64_t time_ticks_per_sec();
int64_t msec_to_ticks(int64_t ms);
int get_time_msec(int64_t ticks);
int get_time_usec(int64_t ticks);
float get_time_sec(int64_t ticks);

void open_dir_watch();
void poll_dir_watch();
void close_dir_watch();
// Change records drained since the watch opened (-1 while it is not open): the watch covers the
// program folder's whole tree.
int dir_watch_record_count();

// GPU activity for the statistics overlay, in percent. The driver of the cards that report it
// (amdgpu) writes it to "/sys/class/drm/card<N>/device/gpu_busy_percent": the first card with that
// file is read; elsewhere, or when the read fails or gives a value outside 0..100, there is none.
bool init_gpu_activity();
// The same with another folder in the place of "/sys/class/drm" (tests use a fake one).
bool init_gpu_activity_in(const char* drm_folder);
bool get_gpu_activity(int* percent);
void close_gpu_activity();

// Changes whenever the file is written or replaced, even within one step of the file clock; 0
// when the file cannot be read.
uint64_t get_file_stamp(const char* name);
