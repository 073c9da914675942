// The DDS file parser: reads and checks the 128-byte header, decides the pixel format (DXT1, DXT3,
// DXT5, A8R8G8B8, X8R8G8B8, L8) and locates every mip level's bytes inside the file. It never reads
// past the buffer it is given: a file whose levels do not fit is refused.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "platform/d3d9/d3d9.h"

const int DDS_MAX_LEVELS = 16;
const uint32_t DDS_MAX_DIMENSION = 16384;

struct DdsLevel {
  uint32_t width, height;
  uint32_t pitch;   // bytes per row (of 4x4 blocks for DXT)
  uint32_t rows;    // rows (of blocks for DXT)
  uint32_t offset;  // from the start of the file
  uint32_t size;    // pitch * rows
};

struct DdsInfo {
  D3DFORMAT format;
  uint32_t width, height;
  int levels;
  DdsLevel level[DDS_MAX_LEVELS];
};

// Returns null on success, else the reason the bytes are not an acceptable DDS file.
const char* dds_parse(const uint8_t* data, size_t size, DdsInfo* out);
