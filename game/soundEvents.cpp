// Game sound events (see soundEvents.h). The game never names a sound file: the sound script's
// `events` table decides what each event sounds like, and is bound again after each reload.
#include "game/soundEvents.h"
#include <stdio.h>
#include <string.h>
#include "engine/log.h"
#include "engine/sqbind.h"

const char* const sound_event_name[NUM_SOUND_EVENTS] = {"hero_shoot",
                                                        "hero_jump",
                                                        "hero_hurt",
                                                        "hero_dead",
                                                        "game_over",
                                                        "enemy_spots_hero",
                                                        "enemy_hurt",
                                                        "enemy_dead",
                                                        "enemy_magnet_jump",
                                                        "enemy_jump",
                                                        "enemy_shoot",
                                                        "enemy_shoot_burst",
                                                        "enemy_charge_gun",
                                                        "enemy_flyer_change_dir",
                                                        "bullet_destroys_wall",
                                                        "bullet_hits_indestructible",
                                                        "ascenda_elevator",
                                                        "upgrade_screen",
                                                        "upgrade_plus",
                                                        "upgrade_minus",
                                                        "upgrade_accept",
                                                        "start_level",
                                                        "title_screen",
                                                        nullptr,  // 23: no event
                                                        "new_game",
                                                        "barrel_explode",
                                                        "bonus_heart",
                                                        "bonus_up",
                                                        "boss_part_damaged",
                                                        "boss_part_explode",
                                                        "boss_dead",
                                                        "boss1_activated",
                                                        "boss1_shoot",
                                                        "boss1_drop_bomb",
                                                        "boss1_dying"};

bool log_sound_events = false;
void (*sound_event_observer)(int id) = nullptr;

static sqbind::SqFunc handlers[NUM_SOUND_EVENTS];

void release_sound_event_handlers() {
  for (sqbind::SqFunc& h : handlers) h.release();
}

void bind_sound_events(HSQUIRRELVM vm) {
  release_sound_event_handlers();
  SQInteger top = sq_gettop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, "events", -1);
  bool have_events = SQ_SUCCEEDED(sq_get(vm, -2));
  sqbind::SqObject events = have_events ? sqbind::SqObject::fromStack(vm, -1) : sqbind::SqObject();
  sq_settop(vm, top);
  for (int id = 0; id < NUM_SOUND_EVENTS; id++) {
    const char* name = sound_event_name[id];
    if (!name) continue;
    if (have_events) {
      sqbind::push_object(vm, events);
      sq_pushstring(vm, name, -1);
      if (SQ_SUCCEEDED(sq_get(vm, -2))) handlers[id].bind(vm, events, sqbind::SqObject::fromStack(vm, -1));
      sq_settop(vm, top);
    }
    if (handlers[id].empty()) debug("warning: no sound for event '%s'", name);
  }
}

void log_sound_event(int id) {
  if (!log_sound_events) return;
  const char* name = unsigned(id) < NUM_SOUND_EVENTS && sound_event_name[id] ? sound_event_name[id] : "?";
  debug("sound event '%s'", name);
  visual_log("sound event '%s'", name);
}

uint32_t get_sound_event_channel(int id) {
  if (unsigned(id) >= NUM_SOUND_EVENTS) return 0;
  if (sound_event_observer) sound_event_observer(id);
  log_sound_event(id);
  sqbind::SqFunc& h = handlers[id];
  if (h.empty()) return 0;
  try {
    return uint32_t(h.call());
  } catch (const sqbind::SquirrelError& e) {
    char text[1024];
    snprintf(text, sizeof(text), "Error in sound script:\n%s", e.message);
    set_error_message(text);
    return 0;
  }
}

uint32_t get_sound_event_channel(const char* name) {
  if (!name) return 0;
  for (int id = 0; id < NUM_SOUND_EVENTS; id++)
    if (sound_event_name[id] && strcmp(sound_event_name[id], name) == 0) return get_sound_event_channel(id);
  return 0;
}
