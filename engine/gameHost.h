// What the engine calls of the game host, in one place: the engine is built without any of the
// game's headers and sees none of its flags. Everything here is provided by the game host
// (game/gameScene.cpp, game/soundEvents.cpp) under exactly these names.
#pragma once
#include <squirrel.h>
#include <xmmintrin.h>

// ---- provided by the game host: the scene, driven by the application shell and the renderer
void init_scene();           // start-up, after the engine's services
void close_scene();          // the first step of the shutdown
void update_step(float dt);  // one fixed update
void update_step_hook();     // before every update (empty unless the game needs it)
void render_frame(float t);  // one frame at interpolation time t, inside the device's scene
void check_hot_reload();     // the once-a-second reload check of the game's own data
void on_device_reset();      // after the renderer re-created its resources

// ---- provided by the game host: sound events, bound to the sound script's `events` table
void bind_sound_events(HSQUIRRELVM vm);
void release_sound_event_handlers();

// ---- provided by the game host: the actor library's tooltip, asked by the GUI runtime's tooltip
// query (nothing happens while no library is bound)
void gui_show_tooltip(const char* text, __m128 anchor);
void gui_hide_tooltip();
