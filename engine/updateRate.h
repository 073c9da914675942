// The world's fixed update rate, written once: the main loop steps the game this many times a
// second, and whatever is drawn between two updates (objects, aim, the GUI's animations) is
// interpolated by the frame's time since the last update times this rate. The actor library
// reads it through game/entlingExports.h.
#pragma once

constexpr int UPDATES_PER_SECOND = 20;
