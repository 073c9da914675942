// The sound script "sound/sound.nut": a reloadable script VM that loads the game's samples and
// music through natives of the sound layer and defines the table `events` that the game's sound
// events are bound to. Samples and streams it loaded live until its next reload or its close.
#pragma once
#include <stdint.h>

struct SqReloadableVM;

extern SqReloadableVM sound_script_vm;

void init_sound_script(const char* name);
// Runs the script's files again when one of them changed (checked once a second).
void reload_sound_script();
void close_sound_script();
void free_sound_resources();
void add_missing_sound_file(const char* name);
// The missing-files report: empty, or "Can't load sound files:\n" and one "name\n" per file.
const char* get_missing_sound_files();
int num_sound_script_samples();
int num_sound_script_streams();

// The script's own random generator ("game_rnd"): the game's generator with a state of its own.
extern uint64_t sound_script_rnd_state;
int sound_script_rnd();
