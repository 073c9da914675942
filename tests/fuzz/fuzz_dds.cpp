// The DDS parser on arbitrary bytes: an accepted file's levels all lie inside the bytes, and every
// level reads and decodes without leaving them.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <vector>
#include "engine/mojodds/mojodds.h"
#include "platform/d3d9/d3d9_mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DdsInfo info;
  if (dds_parse(data, size, &info)) return 0;
  if (info.levels < 1 || info.levels > DDS_MAX_LEVELS) __builtin_trap();
  uint64_t checksum = 0;
  for (int i = 0; i < info.levels; i++) {
    const DdsLevel& l = info.level[i];
    if (uint64_t(l.offset) + l.size > size || l.size != l.pitch * l.rows) __builtin_trap();
    for (uint32_t k = 0; k < l.size; k += 61) checksum += data[l.offset + k];
    // Decoding touches every byte of small block levels.
    if (d3d9_is_dxt(info.format) && uint64_t(l.width) * l.height <= 4096) {
      std::vector<uint8_t> out(size_t(l.width) * l.height * 4);
      d3d9_decode_dxt(info.format, data + l.offset, int(l.pitch), l.width, l.height, out.data(), int(l.width) * 4);
      checksum += out[0];
    }
  }
  volatile uint64_t sink = checksum;
  (void)sink;
  return 0;
}
