// The recording back end's controls for tests: the log of device calls, failure injection by
// operation name, and the answers of the device queries (cooperative level, event queries, display
// modes, multisample levels).
#pragma once
#include <string>
#include <vector>
#include "platform/d3d9/d3d9.h"

struct D3d9RecorderConfig {
  D3DDISPLAYMODE display = {1920, 1080, 60, D3DFMT_X8R8G8B8};
  std::vector<D3DDISPLAYMODE> modes;  // empty: the display mode only
  DWORD quality_levels = 4;
  HRESULT cooperative_level = D3D_OK;  // a failed Reset sets DEVICENOTRESET, a good one D3D_OK
  bool queries_pending = false;        // event queries answer S_FALSE
  UINT texture_memory = 512u << 20;
  std::string link_log = "error: varying type mismatch";  // the text of an injected LinkShaders failure
};

D3d9RecorderConfig& d3d9_recorder_config();
// Every call made on the recording device (and its Direct3D object), one line each, e.g.
// "SetRenderState 27 1", "Clear 7 ff000000 1 0", "CreateTexture 0x0 1 512 21 0".
std::vector<std::string>& d3d9_recorder_log();
// The next `times` calls of the operation fail with the code (names as in the log).
void d3d9_recorder_fail(const char* operation, HRESULT code, int times = 1);
// Restores the default configuration, empties the log and drops pending failures.
void d3d9_recorder_reset();
// Lines of the log that start with the prefix.
std::vector<std::string> d3d9_recorder_find(const char* prefix);
