// The rendering device. For now a minimal device over the window's OpenGL 3.3 core context that
// opens, clears and presents; the Direct3D-shaped renderer replaces its insides.
#pragma once
#include "engine/misc/vecMath.h"
#include "platform/platform.h"

extern int d3d_wd, d3d_ht;

bool init_d3d(WindowHandle window, int width, int height);
void close_d3d();
bool reset_d3d(int width, int height, bool fullscreen, bool force);
bool check_d3d_device();
bool render_d3d_frame(float t);
void present_d3d();
bool begin_scene();
void end_scene();
void redraw_splash();
void clear_view(D3dColor colour);
void clear_view_color(D3dColor colour);
unsigned get_free_texmem();
bool d3d_is_open();
// A copy of the displayed image (A8R8G8B8 rows, top row first) for screenshots.
void* lock_front_buffer_copy(int* width, int* height, int* pitch);
void release_front_buffer_copy();
