// What the program exports to the actor library, by family. The library includes this one header;
// every name here is a function or global of the program that the library's code calls or reads
// (the game is linked with its symbols exported, and the library resolves against it when loaded).
// The program never calls into the library through these: its way in is entlingApi.h.
#pragma once

// Log, fatal errors and the on-screen error strip: every module of the library reports here.
#include "engine/log.h"
// The shared heap and the containers and strings built on it: objects and lists live there.
#include "engine/cont/dynArray.h"
#include "engine/cont/weakRef.h"
#include "engine/misc/utils.h"
#include "engine/misc/vecMath.h"
#include "engine/sharedHeap.h"
// Streams: the object-world save stream reads and writes them.
#include "engine/streams.h"
// Sound: panned playback of game sound events (play_sound_event).
#include "engine/sound.h"
#include "game/soundEvents.h"
// Sprites, looked up by name by the objects' loaders.
#include "engine/loadSprite.h"
// Debug drawing of the objects' shapes (render_entling_debug).
#include "engine/debugVis.h"
// The hero's controls: the game buttons, the mouse it aims with, and whether the window has the input.
#include "engine/app.h"
#include "engine/input.h"
#include "game/controls.h"
// Screen size and pixels per world unit (sound panning).
#include "engine/d3d_render.h"
#include "game/gameScene.h"
// BaseObject, the deletion queue, the world script VM and its stream hooks.
#include "game/baseObject.h"
// The object lists, the hero, the level's enemy types and the objects' sprites.
#include "game/objectLists.h"
// Run data and upgrades (the hero's fire rate, the bullets' wall destruction).
#include "game/progression.h"
// The camera, which the hero moves, and the view: matrices and the visible rectangle.
#include "game/camera.h"
#include "game/sceneView.h"
// Particles (add_junk): debris, explosions, exhausts.
#include "game/particles.h"
// Level services: the game's random source, the level grid, collision and ray tracing.
#include "game/gen/levelGenRuntime.h"
#include "game/levelCollision.h"
#include "game/levelGrid.h"
// Level renderers of the library's own grids (boss parts): created, drawn and destroyed by it.
#include "game/levelRenderer.h"
// The game modes: the pause menu's way back to the title, and the flag a finished menu sets.
#include "game/gameModes.h"
// The GUI's element and screen classes, which the library's GUI functions take.
struct BaseGuiScreen;
struct GuiElement;
// The GUI: the runtime's elements, events, behaviours and styles, the screen singletons and the menu
// state; the controls (key names and bindings for the controls screen); the UI drawing and fonts.
#include "game/guiScreens.h"
#include "game/controls.h"
#include "engine/uiDraw.h"
#include "engine/distFont.h"
#include "engine/app.h"
#include "engine/config.h"
