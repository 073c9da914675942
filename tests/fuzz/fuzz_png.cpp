// The PNG reader on arbitrary bytes: it either returns an image of the size it claims or fails.
#include <stddef.h>
#include <stdint.h>
#include "engine/imageFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DynArray<uint32_t> pixels;
  int w = 0, h = 0;
  if (load_png_from_memory(data, int(size), w, h, pixels) && pixels.size() != w * h) __builtin_trap();
  return 0;
}
