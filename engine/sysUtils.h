// The engine's thin layer over the system: program and data folders and absolute names, file times,
// libraries by name, pipes, the high-resolution timer and the change watch on the program folder.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include "engine/misc/utils.h"

extern char app_path[260];

bool get_exe_filename(char* buf, int size);
bool get_exe_path(char* buf, int size);
// Cuts a file name after its last separator ("/", "\\" or ":"), keeping the separator.
void cut_after_last_separator(char* name);

TempString<260> get_appdata_path();
TempString<260> get_appdata_path(const char* name);
TempString<260> get_appdata_folder_path(const char* name);
TempString<260> make_full_path(const char* name);

uint64_t get_file_time(const char* name);
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

// GPU activity for the statistics overlay. No such probe exists here, so it reports none.
bool init_gpu_activity();
bool get_gpu_activity(int* percent);
void close_gpu_activity();

// Full modification time in nanoseconds (0 when the file cannot be read), for watches that must
// tell apart two saves within one second.
uint64_t get_file_time_ns(const char* name);
// Changes whenever the file is written or replaced, even within one step of the file clock; 0
// when the file cannot be read.
uint64_t get_file_stamp(const char* name);
