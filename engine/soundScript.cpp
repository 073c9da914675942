// The sound script (see soundScript.h): its VM, its natives, the lists of what it loaded, and the
// report of sound files that could not be loaded.
#include "engine/soundScript.h"
#include <stdio.h>
#include <string.h>
#include "engine/app.h"
#include "engine/cont/dynArray.h"
#include "engine/gameHost.h"
#include "engine/log.h"
#include "engine/sound.h"
#include "engine/sqVMReload.h"
#include "engine/sqbind.h"
#include "engine/sysUtils.h"

SqReloadableVM sound_script_vm;
uint64_t sound_script_rnd_state = 0;

static DynArray<SoundSample> script_samples;
static DynArray<SoundStream> script_streams;
static DynArray<char> missing_report;  // terminated text, or empty
static bool warned_sound_off = false;

static const char* const MISSING_HEADER = "Can't load sound files:\n";

void add_missing_sound_file(const char* name) {
  if (missing_report.empty()) {
    missing_report.append(int(strlen(MISSING_HEADER)), MISSING_HEADER);
  } else {
    missing_report.pop_back();  // the terminator
  }
  missing_report.append(int(strlen(name)), name);
  missing_report.push_back('\n');
  missing_report.push_back(0);
}

const char* get_missing_sound_files() { return missing_report.empty() ? "" : missing_report.data; }
int num_sound_script_samples() { return script_samples.size(); }
int num_sound_script_streams() { return script_streams.size(); }

void free_sound_resources() {
  for (SoundSample s : script_samples) free_sound_sample(s);
  for (SoundStream s : script_streams) free_sound_stream(s);
  script_samples.free();
  script_streams.free();
}

int sound_script_rnd() {
  sound_script_rnd_state = sound_script_rnd_state * 6364136223846793005ull + 1442695040888963407ull;
  return int(uint32_t(sound_script_rnd_state >> 32) & 0x7FFFFFFFu);
}

// A machine without sound loads nothing, and that is no fault of the files: they are not reported.
static bool sound_is_off() {
  if (is_sound_open()) return false;
  if (!warned_sound_off) debug("sound is off: the sound script loads no sound files");
  warned_sound_off = true;
  return true;
}

// ---- natives

static int native_load_sample(const char* name, int max_playbacks, int flags) {
  if (sound_is_off()) return 0;
  SoundSample s = load_sound_sample(make_full_path(name), max_playbacks, flags, 1, 0, 0);
  if (s) script_samples.push_back(s);
  else add_missing_sound_file(name);
  return int(s);
}

static int native_get_channel(int sample) { return int(get_sound_sample_channel(SoundSample(sample), false)); }
static bool native_set_channel_volume(int ch, float v) { return set_sound_volume(SoundChannel(ch), v); }
static bool native_set_channel_3d_params(int ch, float mn, float mx) {
  return set_sound_3d_params(SoundChannel(ch), mn, mx);
}
static bool native_play_channel(int ch, bool restart) { return play_sound(SoundChannel(ch), restart); }
static bool native_stop_channel(int ch) { return stop_sound(SoundChannel(ch)); }
static bool native_fade_out_and_stop(int ch, int ms) { return fade_out_and_stop_sound(SoundChannel(ch), ms); }
static bool native_set_sample_volume(int s, float v) { return set_sound_sample_volume(SoundSample(s), v); }
static bool native_set_sample_dist(int s, float mn, float mx) { return set_sound_sample_dist(SoundSample(s), mn, mx); }
static int native_game_rnd() { return sound_script_rnd(); }

static int load_music_common(const char* name, double loop_point, int flags) {
  if (sound_is_off()) return 0;
  SoundStream s = load_sound_stream(make_full_path(name), loop_point, flags, 0, 0);
  if (s) script_streams.push_back(s);
  else add_missing_sound_file(name);
  return int(s);
}
static int native_load_music(const char* name, float loop_point) { return load_music_common(name, loop_point, 0); }
static int native_load_chained_music(const char* name) { return load_music_common(name, -1.0, SNDF_CHAINED); }

static void register_sound_natives(HSQUIRRELVM vm) {
  using namespace sqbind;
  register_global_function(vm, "load_sample", &native_load_sample);
  register_global_function(vm, "get_channel", &native_get_channel);
  register_global_function(vm, "set_channel_volume", &native_set_channel_volume);
  register_global_function(vm, "set_channel_3d_params", &native_set_channel_3d_params);
  register_global_function(vm, "play_channel", &native_play_channel);
  register_global_function(vm, "stop_channel", &native_stop_channel);
  register_global_function(vm, "fade_out_and_stop", &native_fade_out_and_stop);
  register_global_function(vm, "set_sample_volume", &native_set_sample_volume);
  register_global_function(vm, "set_sample_dist", &native_set_sample_dist);
  register_global_function(vm, "game_rnd", &native_game_rnd);
  register_global_function(vm, "load_music", &native_load_music);
  register_global_function(vm, "load_chained_music", &native_load_chained_music);
  register_constant(vm, "SNDF_3D", SNDF_3D);
  register_constant(vm, "SNDF_LOOP", SNDF_LOOP);
}

static void show_script_error(const sqbind::SquirrelError& e) {
  char text[1024];
  snprintf(text, sizeof(text), "Error in sound script:\n%s", e.message);  // a longer text is cut
  set_error_message(text);
}

static void throw_missing_files() {
  if (!missing_report.empty()) throw sqbind::SquirrelError(missing_report.data);
}

void init_sound_script(const char* name) {
  sound_script_rnd_state = game_rnd_seed;
  // A start over a running script: the handlers and sounds of the old VM go before the VM does.
  release_sound_event_handlers();
  free_sound_resources();
  if (!sound_script_vm.init(1024)) fatal("error creating sound script VM");
  register_sound_natives(sound_script_vm.vm);
  missing_report.free();
  // A new VM has run nothing yet: records of an earlier start would make include skip the files.
  sound_script_vm.files.clear();
  try {
    if (!sound_script_vm.include(name)) throw sqbind::SquirrelError(sound_script_vm.vm);
    bind_sound_events(sound_script_vm.vm);
    throw_missing_files();
  } catch (const sqbind::SquirrelError& e) {
    show_script_error(e);
  }
}

void reload_sound_script() {
  if (!sound_script_vm.vm || !sound_script_vm.filesChanged()) return;
  set_error_message(nullptr);
  free_sound_resources();
  missing_report.free();
  try {
    if (!sound_script_vm.reload(true)) throw sqbind::SquirrelError(sound_script_vm.vm);
    bind_sound_events(sound_script_vm.vm);
    throw_missing_files();
  } catch (const sqbind::SquirrelError& e) {
    show_script_error(e);
  }
}

void close_sound_script() {
  release_sound_event_handlers();
  free_sound_resources();
  sound_script_vm.close();
  missing_report.free();
}
