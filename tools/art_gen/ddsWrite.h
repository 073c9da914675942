// Writes uncompressed DDS textures (A8R8G8B8, optionally with a mip chain), the format the game's
// texture loader reads.
#pragma once
#include <string>
#include "artCanvas.h"

// Level 0 is the canvas (top row first, as DDS stores it); with mips, each further level is the
// 2x2 box average of the one before, down to 1 x 1. Sides must be powers of two for mips.
bool write_dds_argb(const std::string& path, const Canvas& c, bool mips);
