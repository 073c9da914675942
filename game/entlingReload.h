// Loading the actor library, watching its sources, rebuilding it through a pipe while the game runs
// and swapping the fresh build in between two frames, with every live object kept.
#pragma once
#include <stdint.h>

// Start-up: loads and binds "entling.dll" of the program folder and records the sources, starting
// from folder + main file and following every "import " line.
void load_entling_library(const char* folder, const char* main_file);
// Before start-up's load: makes "entling.dll" the library of the present sources. A waiting
// "entling_new.dll" newer than every source takes its place; sources newer than the library are
// built at once (output echoed, errors on screen). True when "entling.dll" was replaced.
bool bring_entling_library_up_to_date(const char* folder, const char* main_file);
// Shutdown: stops a running build, unbinds and frees the library, forgets the sources.
void unload_entling_library();
// The once-a-second step: polls a running build or starts one when a source changed; swaps in
// "entling_new.dll" once it is there. True when the library was reloaded and the new file replaced
// the old one (forced: reloaded from the present "entling.dll").
bool reload_entling(bool force);
// One poll of the build; true while a build is (or was just) started or running.
bool rebuild_entling_library();
// Forgets the watched sources and records them again from folder + main file (folder ends with a
// slash; relative names are taken from the program folder).
void watch_entling_sources(const char* folder, const char* main_file);
// Records a source file and, once each, every file that it imports.
void scan_entling_sources(const char* path);

// The word test of the build's output: "error" or "errors" as a word of its own, in any case.
bool line_reports_error(const char* line);

// ---- for tests and tools
bool entling_library_loaded();
void* entling_library_module();
int entling_watch_count();
const char* entling_watch_path(int i);
// A build running longer than this is stopped and counts as failed.
extern int entling_rebuild_time_limit_ms;
// A build running longer than this (a few normal builds, at least the floor) is ended by a new edit,
// which then builds again.
extern int entling_rebuild_stale_floor_ms;
int entling_rebuild_stale_ms();
