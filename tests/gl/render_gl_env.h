// The GL tests' shared device: SDL's offscreen window with the renderer opened on it once.
#pragma once
#include <vector>
#include "engine/misc/vecMath.h"

bool render_gl_open(int width, int height);
// The back buffer as D3dColor values, top row first (width x height defaults to the window's).
std::vector<D3dColor> read_back_buffer(int width = 64, int height = 48);
