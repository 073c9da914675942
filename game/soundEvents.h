// Game sound events: the fixed table of event names (ids 0 to 34), their binding to the functions
// of the sound script's `events` table, and the lookup that turns an event into a channel to play.
#pragma once
#include <squirrel.h>
#include <stdint.h>
#include "engine/gameHost.h"

enum { NUM_SOUND_EVENTS = 35 };

extern const char* const sound_event_name[NUM_SOUND_EVENTS];
// Developer switch: log every event lookup (also those that find no handler).
extern bool log_sound_events;
// Told every valid event id that is asked for, handler or not (the test drive records what the
// objects played); null in the game.
extern void (*sound_event_observer)(int id);

// bind_sound_events and release_sound_event_handlers are the sound script's calls into the game
// (engine/gameHost.h).
// The channel of an event, 0 for none (unknown id, no handler, or a failing handler).
uint32_t get_sound_event_channel(int id);
uint32_t get_sound_event_channel(const char* name);
void log_sound_event(int id);
