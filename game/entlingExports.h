// What the program exports to the actor library: the one header of the program that the library
// includes (besides the list of its own by-name functions, entlingApiList.h). The game is linked
// with its symbols exported and the library resolves against it when loaded, so every name below is
// a function or global of the program that the library's code calls or reads, and nothing else is.
// It comes in two halves:
// - the shared object model, included whole: the types that both files build objects from (heap,
//   containers, maths, streams, sprites, fonts, the GUI runtime, BaseObject, the object lists, the
//   level grid, the screens, the upgrades, the game's buttons, the collision flags and the game's
//   settings);
// - the program's services, declared here one by one, because their headers bring much more than
//   the library may use. game/entlingExports.cpp compiles this header together with those headers,
//   so a declaration that drifts from the program's own does not compile (or, for a changed
//   argument list, leaves a symbol the library cannot resolve, which the symbol check reports).
// The program never calls into the library through these: its way in is entlingApi.h.
#pragma once
#include <stdint.h>

// Log, fatal errors and assertions: every module of the library reports here.
#include "engine/log.h"
// The shared heap and the containers, strings and maths built on it: objects and lists live there.
#include "engine/cont/dynArray.h"
#include "engine/cont/weakRef.h"
#include "engine/misc/utils.h"
#include "engine/misc/vecMath.h"
#include "engine/sharedHeap.h"
// Streams: the object-world save stream reads and writes them.
#include "engine/streams.h"
// Sprites (looked up by name and drawn by the objects and screens), the fonts the screens measure
// and draw text with, and the batch the GUI draws into.
#include "engine/distFont.h"
#include "engine/loadSprite.h"
#include "engine/renderBatch.h"
// The GUI runtime: elements, events, behaviours, styles, and its queue of elements to destroy.
#include "engine/guiRuntime.h"
// BaseObject, the deletion queue, the world script VM and its stream hooks.
#include "game/baseObject.h"
// The object lists, the hero, the level's enemy types and the objects' sprites.
#include "game/objectLists.h"
// The level grid and the cell grids of the boss parts.
#include "game/levelGrid.h"
// The screen singletons, the style sheets and the menu state.
#include "game/guiScreens.h"
// Run data and upgrades (the hero's fire rate, the bullets' wall destruction, the upgrade screen).
#include "game/progression.h"
// The game's buttons, their names and bindings (the hero's controls and the controls screen).
#include "game/controls.h"
// Collision and ray tracing against the level, with the flags a moving box reports.
#include "game/levelCollision.h"
// The display modes of the options screen.
#include "engine/d3dMode.h"
// The game's settings, their keys, types, defaults and ranges: the options screen reads and writes
// them by id, through the program's table.
#include "engine/appSettings.h"

struct LevelRenderer;

// Application shell: the window and its input, the frame step, the game's random state, and the
// options screen's display, vertical sync and priority settings.
extern bool isAppActive;
extern bool isFullscreen;
extern int app_screen_wd, app_screen_ht;
extern bool app_use_vsync;
extern bool use_dev_keys;
extern float time_dt;
extern float time_ik;
extern uint64_t game_rnd_seed;
void set_fullscreen(bool fullscreen);
void set_process_priority(int level);
int get_process_priority();
void app_request_quit();
// The mouse, which the hero aims with and the screens follow.
void getMousePos(float& x, float& y);
// Settings that the options screen reads and writes (by their ids in engine/appSettings.h), and
// the write of the file on Accept.
bool flush_app_config();

// The screen: its size in pixels (sound panning, GUI placement) and the display's modes.
extern int d3d_wd, d3d_ht;
void get_d3d_modes(DynArray<D3dMode>& modes);
// UI drawing: the frame of the GUI batch.
extern RenderBatch gui_batch;
void start_gui_render();
void end_gui_render();
// Debug drawing of the objects' shapes (render_entling_debug).
void start_draw_debug_vis();
void end_draw_debug_vis();
void draw_debug_vis_flat_line(vec4float a, vec4float b, D3dColor colour);
void draw_debug_vis_wire_box(vec4float corner1, vec4float corner2, D3dColor colour);
void draw_debug_vis_cross_point(vec4float point, float size, D3dColor colour);

// Sound: game sound events played on their channels (play_sound_event), and the volume options.
typedef uint32_t SoundChannel;
uint32_t get_sound_event_channel(int id);
bool play_sound(SoundChannel channel, bool restart);
bool set_sound_pan(SoundChannel channel, float pan);
float get_master_volume();
void set_master_volume(float volume);
void set_global_stream_volume(int volume);

// The scene: pixels per world unit, the exit flag, and the cells a hit changed.
extern int voxel_scale;
extern bool reached_exit;
void invalidate_level(int x0, int y0, int x1, int y1);
// The camera, which the hero moves, and the view: matrices and the visible rectangle.
extern vec4float free_cam_pos;
void reset_camera();
void update_camera(float dt);
extern Matrix44 cur_view_tm;
extern Matrix44 cur_proj_tm;
extern int cur_view_x0, cur_view_y0, cur_view_x1, cur_view_y1;
// Particles: debris, explosions, exhausts.
void add_junk(vec4float pos, vec4float vel, uint32_t colour, float life, float gravity);
// Level services: the generator's random source and the exit a dead boss leaves.
uint32_t level_rnd();
vec4float put_exit_tile();
// One draw as a float r in [0, 1): the draw over 2^32. The float conversion rounds the top 128
// draws up to 2^32; they take the largest float below 1, so "2r - 1" never reaches the far edge and
// every other draw keeps its value. Inline, with no symbol of its own: the library's particles and
// the tests use it alike.
inline float rnd_unit() {
  uint32_t draw = level_rnd();
  float r = float(draw) * (1.0f / 4294967296.0f);
  return r < 1.0f ? r : 0x1.fffffep-1f;
}
// Level renderers of the library's own grids (boss parts): created, drawn and destroyed by it.
LevelRenderer* create_level_renderer(LevelCell* cells, int cellStride, int rowStride, int width, int height,
                                     int viewWidth, int viewHeight);
void destroy_renderer(LevelRenderer*& renderer);
void render_all(LevelRenderer* renderer, float z);
void set_level_tm(const Matrix44& tm);
