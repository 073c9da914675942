// Holds entlingExports.h to the program's own declarations: it is compiled here together with the
// program's headers that the library does without. A global whose type or a function whose result
// differs between the two stops this file from compiling, so the header cannot drift from what the
// program really exports.
#include "game/entlingExports.h"
#include "engine/app.h"
#include "engine/config.h"
#include "engine/d3d_render.h"
#include "engine/debugVis.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/uiDraw.h"
#include "game/camera.h"
#include "game/gameModes.h"
#include "game/gameScene.h"
#include "game/gen/levelGenRuntime.h"
#include "game/levelRenderer.h"
#include "game/particles.h"
#include "game/sceneView.h"
#include "game/soundEvents.h"
