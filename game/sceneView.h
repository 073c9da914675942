// The view of the world: the camera matrices the scene sets each update and frame, the projection
// of the pixel scale, and the cell rectangle the last world drawing treated as visible. The actor
// library reads them: the hero maps the mouse into the world through them, and enemies wake when
// they are inside the visible rectangle.
#pragma once
#include "engine/misc/vecMath.h"

extern vec4float camera_ofs;   // added to the snapped camera position
extern Matrix44 cur_view_tm;   // world to view
extern Matrix44 cur_view_itm;  // the camera's placement (inverse of cur_view_tm)
extern Matrix44 cur_proj_tm;   // orthographic, one cell = voxel_scale pixels
extern vec4float light_dir;
extern int cur_view_x0, cur_view_y0, cur_view_x1, cur_view_y1;

// camera_ofs and cur_proj_tm for a back buffer of width x height pixels at `scale` pixels per cell.
void compute_view_projection(int width, int height, int scale);
// cur_view_tm and cur_view_itm from a camera position: snapped to whole screen pixels, half a pixel
// off, 120 units in front of the level plane.
void compute_view_matrices(vec4float cam, int scale);
// cur_view_x0 ... cur_view_y1 around the camera position for a back buffer of width x height.
void compute_visible_rect(vec4float cam, int width, int height, int scale);
