// The game's software mixer: sums playing voices into interleaved stereo float frames. It is a pure
// function of the voices and the output buffer (the sound layer calls it from the audio device's
// callback under the device lock; tests call it directly).
#pragma once
#include <stdint.h>

enum MixVoiceState : uint8_t { MIX_STOPPED = 0, MIX_PLAYING = 1, MIX_PAUSED = 2 };

struct MixVoice {
  // Source: interleaved float frames, 1 or 2 channels, at `step` source frames per output frame.
  const float* data = nullptr;
  int channels = 1;
  int64_t frames = 0;
  double step = 1.0;

  double pos = 0.0;  // in source frames
  uint8_t state = MIX_STOPPED;
  bool loop = false;         // at the end, go on from the start (or from loop_start when set)
  double loop_start = -1.0;  // in source frames; >= 0: at the end, go on from here (wins over loop)

  float volume = 1.0f;      // 0 .. 1
  float pan = 0.0f;         // -1 (left) .. 1 (right)
  float group_gain = 1.0f;  // the layer's global sample or stream volume
  float gain_3d = 1.0f;     // distance attenuation, 1 for 2D voices

  // Volume slide: `slide_frames` output frames left, `slide_step` added per frame; a target below 0
  // stops the voice when the slide ends.
  int64_t slide_frames = 0;
  float slide_step = 0.0f;
  float slide_target = 0.0f;

  uint32_t ends = 0;  // how many times the source reached its end (loops included)
};

// The output stage's state: the limiter's gain, carried from one buffer to the next.
constexpr float MIX_LIMIT_THRESHOLD = 0.9f;
struct MixLimiter {
  float gain = 1.0f;             // 1: samples pass bit-exact
  int hold = 0;                  // frames left before the gain may climb back
  int hold_frames = 2205;        // 50 ms at 44.1 kHz
  float release = 1.000209f;     // per frame: 20 dB back in a quarter of a second at 44.1 kHz
  uint64_t over_full_scale = 0;  // samples whose sum passed +-1: what a hard clip would have cut
};

// Mixes `count` voices into `out` (frames x 2 floats, overwritten), scaled by the master volume and
// limited to +-MIX_LIMIT_THRESHOLD: a sum below it passes bit-exact, a louder one is turned down.
// Advances the voices: positions, slides, loops, and stops at the end. Without a limiter of the
// caller's, each call starts at full gain.
void mix_voices(MixVoice* voices, int count, float* out, int frames, float master_volume,
                MixLimiter* limiter = nullptr);

// Left and right gains of a pan value: a balance, full on the near side.
void pan_gains(float pan, float* left, float* right);
