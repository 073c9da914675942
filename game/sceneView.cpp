// The view matrices and the visible rectangle (see sceneView.h).
#include "game/sceneView.h"
#include <math.h>

vec4float camera_ofs(0.5f, 0.5f, -120.0f, 0.0f);
Matrix44 cur_view_tm = Matrix44::identity();
Matrix44 cur_view_itm = Matrix44::identity();
Matrix44 cur_proj_tm = Matrix44::identity();
vec4float light_dir(0.0f, 0.894427f, -0.447214f, 0.0f);
int cur_view_x0 = 0, cur_view_y0 = 0, cur_view_x1 = 0, cur_view_y1 = 0;

void compute_view_projection(int width, int height, int scale) {
  float s = float(scale);
  camera_ofs = vec4float(0.5f / s, 0.5f / s, -120.0f, 0.0f);
  // The first element as the aspect times the view height in cells, so it matches the height's
  // rounding on every size.
  float aspect = float(width) / float(height);
  float view_ht = float(height) / s;
  cur_proj_tm = Matrix44(vec4float(2.0f / (aspect * view_ht), 0, 0, 0), vec4float(0, 2.0f * s / float(height), 0, 0),
                         vec4float(0, 0, 1.0f / 1999.0f, 0), vec4float(0, 0, -1.0f / 1999.0f, 1));
}

void compute_view_matrices(vec4float cam, int scale) {
  float s = float(scale);
  // nearbyintf rounds ties to even under the default rounding mode.
  vec4float p(nearbyintf(cam.x() * s) / s, nearbyintf(cam.y() * s) / s, nearbyintf(cam.z()), nearbyintf(cam.w()));
  p += camera_ofs;
  cur_view_itm = Matrix44::identity();
  cur_view_itm.r[3] = vec4float(p.x(), p.y(), p.z(), 1);
  cur_view_tm = Matrix44::identity();
  cur_view_tm.r[3] = vec4float(-p.x(), -p.y(), -p.z(), 1);
}

void compute_visible_rect(vec4float cam, int width, int height, int scale) {
  int cx = int(nearbyintf(cam.x() - 0.4999999f));
  int cy = int(nearbyintf(cam.y() - 0.4999999f));
  int w = width / scale + 32, h = height / scale + 32;
  cur_view_x0 = cx - w / 2;
  cur_view_y0 = cy - h / 2;
  cur_view_x1 = cur_view_x0 + w;
  cur_view_y1 = cur_view_y0 + h;
}
