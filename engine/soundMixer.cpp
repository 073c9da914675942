// The software mixer (see soundMixer.h). Sources are read with linear interpolation so that files at
// another rate than the device's play at their own pitch; the sum goes through a peak limiter.
#include "engine/soundMixer.h"
#include <math.h>
#include <string.h>

void pan_gains(float pan, float* left, float* right) {
  if (pan < -1.0f) pan = -1.0f;
  if (pan > 1.0f) pan = 1.0f;
  *left = pan > 0.0f ? 1.0f - pan : 1.0f;
  *right = pan < 0.0f ? 1.0f + pan : 1.0f;
}

static inline void read_frame(const MixVoice& v, double pos, float* l, float* r) {
  int64_t i = (int64_t)pos;
  float f = float(pos - double(i));
  int64_t j = i + 1;
  if (j >= v.frames) j = v.loop_start >= 0.0 ? (int64_t)v.loop_start : (v.loop ? 0 : i);
  if (j < 0 || j >= v.frames) j = i;
  if (v.channels == 2) {
    const float* a = v.data + i * 2;
    const float* b = v.data + j * 2;
    *l = a[0] + (b[0] - a[0]) * f;
    *r = a[1] + (b[1] - a[1]) * f;
  } else {
    float a = v.data[i * v.channels], b = v.data[j * v.channels];
    *l = *r = a + (b - a) * f;
  }
}

// At the end of the source: on from the loop point, from the start, or stop. False when stopped.
static bool handle_end(MixVoice& v) {
  v.ends++;
  if (v.loop_start >= 0.0 && v.loop_start < double(v.frames)) v.pos = v.loop_start + (v.pos - double(v.frames));
  else if (v.loop) v.pos -= double(v.frames);
  else {
    v.state = MIX_STOPPED;
    v.pos = 0.0;
    return false;
  }
  if (v.pos >= double(v.frames) || v.pos < 0.0) v.pos = v.loop_start >= 0.0 ? v.loop_start : 0.0;
  return true;
}

static void mix_one(MixVoice& v, float* out, int frames) {
  if (!v.data || v.frames <= 0) {
    v.state = MIX_STOPPED;
    return;
  }
  if (v.pos >= double(v.frames) && !handle_end(v)) return;
  for (int n = 0; n < frames; n++) {
    float pl, pr;
    pan_gains(v.pan, &pl, &pr);
    float g = v.volume * v.group_gain * v.gain_3d;
    float l, r;
    read_frame(v, v.pos, &l, &r);
    out[n * 2] += l * g * pl;
    out[n * 2 + 1] += r * g * pr;
    v.pos += v.step;
    if (v.slide_frames > 0) {
      v.volume += v.slide_step;
      if (--v.slide_frames == 0) {
        if (v.slide_target < 0.0f) {
          v.volume = 0.0f;
          v.state = MIX_STOPPED;
          return;
        }
        v.volume = v.slide_target;
      }
      if (v.volume < 0.0f) v.volume = 0.0f;
    }
    // Checked right away, so a voice that has played its last frame is no longer playing.
    if (v.pos >= double(v.frames) && !handle_end(v)) return;
  }
}

void mix_voices(MixVoice* voices, int count, float* out, int frames, float master_volume, MixLimiter* limiter) {
  memset(out, 0, sizeof(float) * size_t(frames) * 2);
  for (int i = 0; i < count; i++)
    if (voices[i].state == MIX_PLAYING) mix_one(voices[i], out, frames);
  MixLimiter own;
  MixLimiter& lim = limiter ? *limiter : own;
  // A peak limiter: a frame whose peak would pass the threshold lowers the gain at once to just
  // reach it; the gain holds while peaks keep coming, then climbs back by a constant factor per
  // frame. The wave is scaled, not cut flat, so piled-up explosions get quieter instead of
  // crackling (only the rise to a new, higher peak is held at the threshold). At a gain of exactly 1
  // the samples pass bit-exact.
  for (int n = 0; n < frames; n++) {
    float l = out[n * 2] * master_volume, r = out[n * 2 + 1] * master_volume;
    float peak = fmaxf(fabsf(l), fabsf(r));
    lim.over_full_scale += uint64_t(fabsf(l) > 1.0f) + uint64_t(fabsf(r) > 1.0f);
    if (peak * lim.gain > MIX_LIMIT_THRESHOLD) {
      lim.gain = MIX_LIMIT_THRESHOLD / peak;
      lim.hold = lim.hold_frames;
    } else if (peak * lim.gain > MIX_LIMIT_THRESHOLD * 0.9f) {
      lim.hold = lim.hold_frames;  // still near the threshold: keep the gain
    }
    l *= lim.gain;
    r *= lim.gain;
    // Only a source holding infinities or NaN still gets here out of range.
    out[n * 2] = l > 1.0f ? 1.0f : (l < -1.0f ? -1.0f : l);
    out[n * 2 + 1] = r > 1.0f ? 1.0f : (r < -1.0f ? -1.0f : r);
    if (lim.hold > 0) lim.hold--;
    else if (lim.gain < 1.0f) {
      lim.gain *= lim.release;
      if (!(lim.gain < 1.0f)) lim.gain = 1.0f;
    }
  }
}
