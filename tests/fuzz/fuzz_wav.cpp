// Sound files on arbitrary bytes, through our memory I/O into libsndfile exactly as samples are
// loaded: either a sound of at least one frame in one or two channels comes out, or a failure.
#include <stddef.h>
#include <stdint.h>
#include "engine/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int64_t frames = 0;
  int channels = 0;
  if (decode_sound_file_image(data, int64_t(size), &frames, &channels) &&
      (frames <= 0 || (channels != 1 && channels != 2)))
    __builtin_trap();
  return 0;
}
