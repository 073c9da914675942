// The GL tests' shared device: SDL's offscreen window with the renderer opened on it once.
#pragma once
#include <vector>
#include "engine/misc/vecMath.h"

bool render_gl_open(int width, int height);
// The back buffer as D3dColor values, top row first (width x height defaults to the window's).
std::vector<D3dColor> read_back_buffer(int width = 64, int height = 48);
// Compares a w x h frame (top row first) with tests/data/golden/<name>.png, each channel within 1;
// a mismatch writes the frame to golden_actual/<name>.png. ASCENDA_MAKE_GOLDEN=1 writes the golden
// image instead, to be reviewed by eye before it is committed.
void expect_golden_image(const char* name, const std::vector<D3dColor>& px, int w, int h);
