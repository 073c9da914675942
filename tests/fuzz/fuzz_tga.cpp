// The TGA reader on arbitrary bytes: it either reads an image of the size it claims or throws.
#include <stddef.h>
#include <stdint.h>
#include "engine/imageFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryInputStream s(data, int(size));
  DynArray<uint32_t> pixels;
  int w = 0, h = 0;
  try {
    read_tga(s, pixels, w, h);
    if (pixels.size() != w * h) __builtin_trap();
  } catch (InputStream::Exception&) {}
  return 0;
}
