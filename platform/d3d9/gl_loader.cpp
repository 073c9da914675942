// Fetches the OpenGL entry points the layer uses through the platform's lookup by name.
#include "platform/d3d9/gl_loader.h"
#include "platform/platform.h"

D3d9Gl d3d9_gl;

bool d3d9_gl_load(const char** missing) {
#define D3D9_GL_FETCH(name, upper)                                         \
  d3d9_gl.name = (PFNGL##upper##PROC)plat_gl_get_proc_address("gl" #name); \
  if (!d3d9_gl.name) {                                                     \
    if (missing) *missing = "gl" #name;                                    \
    return false;                                                          \
  }
  D3D9_GL_FUNCTIONS(D3D9_GL_FETCH)
#undef D3D9_GL_FETCH
  return true;
}
