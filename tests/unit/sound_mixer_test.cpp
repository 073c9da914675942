// The mixer as a pure function: gains and pan, summing and the output's limiter, loops and loop points, slides,
// paused voices, and sources at another rate.
#include <gtest/gtest.h>
#include <math.h>
#include <vector>
#include "engine/soundMixer.h"

namespace {

// A mono source whose frame i holds value(i), so positions can be read back from the output.
std::vector<float> ramp(int frames, float scale = 1.0f / 1024.0f) {
  std::vector<float> s(static_cast<size_t>(frames));
  for (int i = 0; i < frames; i++) s[size_t(i)] = float(i) * scale;
  return s;
}

MixVoice voice(const std::vector<float>& src, int channels = 1) {
  MixVoice v;
  v.data = src.data();
  v.channels = channels;
  v.frames = int64_t(src.size()) / channels;
  v.state = MIX_PLAYING;
  return v;
}

std::vector<float> mix(std::vector<MixVoice>& v, int frames, float master = 1.0f) {
  std::vector<float> out(size_t(frames) * 2, 123.0f);  // must be overwritten
  mix_voices(v.data(), int(v.size()), out.data(), frames, master);
  return out;
}

}  // namespace

TEST(SoundMixer, PanIsABalanceFullOnTheNearSide) {
  struct Case {
    float pan, left, right;
  };
  const Case cases[] = {{0.0f, 1.0f, 1.0f}, {-1.0f, 1.0f, 0.0f},   {1.0f, 0.0f, 1.0f},
                        {0.5f, 0.5f, 1.0f}, {-0.25f, 1.0f, 0.75f}, {3.0f, 0.0f, 1.0f}};
  for (const Case& c : cases) {
    float l, r;
    pan_gains(c.pan, &l, &r);
    EXPECT_FLOAT_EQ(l, c.left) << c.pan;
    EXPECT_FLOAT_EQ(r, c.right) << c.pan;
  }
  std::vector<float> one(64, 0.5f);
  std::vector<MixVoice> v = {voice(one)};
  v[0].pan = -0.5f;
  v[0].volume = 0.8f;
  std::vector<float> out = mix(v, 8);
  EXPECT_FLOAT_EQ(out[0], 0.4f);
  EXPECT_FLOAT_EQ(out[1], 0.2f);
}

TEST(SoundMixer, VoicesSumWithTheirGainsAndALoudSumIsTurnedDown) {
  std::vector<float> a(64, 0.5f), b(64, 0.25f), loud(64, 0.9f);
  std::vector<MixVoice> v = {voice(a), voice(b)};
  v[1].group_gain = 0.5f;
  std::vector<float> out = mix(v, 16, 0.5f);
  EXPECT_FLOAT_EQ(out[0], (0.5f + 0.125f) * 0.5f);
  EXPECT_FLOAT_EQ(out[31], (0.5f + 0.125f) * 0.5f);
  std::vector<MixVoice> w = {voice(loud), voice(loud)};
  out = mix(w, 4);
  EXPECT_FLOAT_EQ(out[0], MIX_LIMIT_THRESHOLD);  // 1.8 brought down to the threshold
  std::vector<float> neg(64, -0.9f);
  std::vector<MixVoice> n = {voice(neg), voice(neg)};
  out = mix(n, 4);
  EXPECT_FLOAT_EQ(out[0], -MIX_LIMIT_THRESHOLD);
}

TEST(SoundMixer, OneSoundBelowTheThresholdPassesBitExact) {
  // A single voice at the levels the game plays: exactly its samples times its gains, as if there
  // were no output stage at all.
  std::vector<float> src(4096);
  for (size_t i = 0; i < src.size(); i++) src[i] = 0.89f * sinf(float(i) * 0.0123f) * (i % 3 ? 1.0f : -0.999f);
  for (float volume : {1.0f, 0.7f, 0.3f}) {
    std::vector<MixVoice> v = {voice(src)};
    v[0].volume = volume;
    v[0].pan = 0.25f;
    std::vector<float> out = mix(v, 4096, 0.999f);
    float pl, pr;
    pan_gains(0.25f, &pl, &pr);
    for (size_t i = 0; i < src.size(); i++) {
      ASSERT_EQ(out[i * 2], src[i] * volume * pl * 0.999f) << i;
      ASSERT_EQ(out[i * 2 + 1], src[i] * volume * pr * 0.999f) << i;
    }
  }
}

TEST(SoundMixer, PiledUpExplosionsAreTurnedDownNotCutFlatAndTheGainComesBack) {
  // Eight explosions at full volume sum to 7.6. A hard clip flattens every peak to full scale (runs of
  // equal samples: a corner in the wave, heard as crackle); the limiter scales the wave instead.
  std::vector<float> boom(4096), quiet(44100, 0.5f);
  for (size_t i = 0; i < boom.size(); i++) boom[i] = 0.95f * sinf(float(i) * 0.05f);
  std::vector<MixVoice> v;
  for (int i = 0; i < 8; i++) v.push_back(voice(boom));
  MixLimiter lim;
  lim.hold_frames = 441;    // 10 ms
  lim.release = 1.000522f;  // 20 dB back in 0.1 s
  std::vector<float> out(4096 * 2);
  mix_voices(v.data(), int(v.size()), out.data(), 4096, 1.0f, &lim);
  int flat_at_onset = 0, flat_later = 0;
  float peak = 0;
  for (size_t i = 2; i < out.size(); i += 2) {
    peak = fmaxf(peak, fabsf(out[i]));
    if (out[i] != 0.0f && out[i] == out[i - 2]) (i < 64 ? flat_at_onset : flat_later)++;
  }
  EXPECT_LE(peak, MIX_LIMIT_THRESHOLD * 1.000001f);
  EXPECT_GT(peak, MIX_LIMIT_THRESHOLD * 0.99f);
  EXPECT_LE(flat_at_onset, 32);  // the rise to the first peak, a quarter of a period
  EXPECT_EQ(flat_later, 0);
  int over = 0;  // what a hard clip would have cut: every sample whose sum passed full scale
  for (size_t i = 0; i < 4096; i++) over += 2 * (8 * fabsf(boom[i]) > 1.0f);
  EXPECT_EQ(lim.over_full_scale, uint64_t(over));
  // After the first peak the output is the sum times one steady gain.
  float g = MIX_LIMIT_THRESHOLD / (8 * 0.95f);
  for (int i : {200, 1000, 2500, 4000}) EXPECT_NEAR(out[size_t(i) * 2], 8 * boom[size_t(i)] * g, 1e-3f) << i;
  EXPECT_LT(lim.gain, 1.0f);
  // The explosions end; after the hold and the release a quiet sound passes bit-exact again.
  std::vector<MixVoice> q = {voice(quiet)};
  std::vector<float> after(8820 * 2);
  mix_voices(q.data(), 1, after.data(), 8820, 1.0f, &lim);
  EXPECT_LT(after[0], 0.5f);
  EXPECT_EQ(lim.gain, 1.0f);
  EXPECT_EQ(after[8819 * 2], 0.5f);
}

TEST(SoundMixer, StereoSourcesKeepTheirSides) {
  std::vector<float> st = {0.1f, -0.3f, 0.2f, -0.4f};
  std::vector<MixVoice> v = {voice(st, 2)};
  std::vector<float> out = mix(v, 2);
  EXPECT_FLOAT_EQ(out[0], 0.1f);
  EXPECT_FLOAT_EQ(out[1], -0.3f);
  EXPECT_FLOAT_EQ(out[2], 0.2f);
  EXPECT_FLOAT_EQ(out[3], -0.4f);
  EXPECT_EQ(v[0].state, MIX_STOPPED);  // played to its end
}

TEST(SoundMixer, EndStopsLoopStartsOverAndALoopPointContinuesFromThere) {
  std::vector<float> src = ramp(100);
  struct Case {
    bool loop;
    double loop_start;
    float expect_at_frame_120;
    uint8_t state;
  };
  const Case cases[] = {
      {false, -1.0, 0.0f, MIX_STOPPED},          // plays once: silence after the end
      {true, -1.0, 20.0f / 1024, MIX_PLAYING},   // loops from the start
      {false, 60.0, 80.0f / 1024, MIX_PLAYING},  // at the end, on from frame 60
      {true, 60.0, 80.0f / 1024, MIX_PLAYING},   // the loop point wins over a plain loop
  };
  for (const Case& c : cases) {
    std::vector<MixVoice> v = {voice(src)};
    v[0].loop = c.loop;
    v[0].loop_start = c.loop_start;
    std::vector<float> out = mix(v, 130);
    EXPECT_FLOAT_EQ(out[99 * 2], 99.0f / 1024) << c.loop << " " << c.loop_start;
    EXPECT_FLOAT_EQ(out[120 * 2], c.expect_at_frame_120) << c.loop << " " << c.loop_start;
    EXPECT_EQ(v[0].state, c.state);
    EXPECT_EQ(v[0].ends, 1u);
  }
}

TEST(SoundMixer, PausedAndStoppedVoicesAreSilentAndKeepTheirPlace) {
  std::vector<float> src = ramp(100);
  std::vector<MixVoice> v = {voice(src), voice(src)};
  v[0].state = MIX_PAUSED;
  v[0].pos = 10;
  v[1].state = MIX_STOPPED;
  std::vector<float> out = mix(v, 20);
  for (float s : out) ASSERT_EQ(s, 0.0f);
  EXPECT_EQ(v[0].pos, 10.0);
  v[0].state = MIX_PLAYING;
  out = mix(v, 1);
  EXPECT_FLOAT_EQ(out[0], 10.0f / 1024);
}

TEST(SoundMixer, SlidesReachTheirTargetAndASlideBelowZeroStops) {
  std::vector<float> one(10000, 0.8f);  // below the limiter's threshold
  std::vector<MixVoice> v = {voice(one), voice(one)};
  v[0].volume = 1.0f;
  v[0].slide_frames = 100;
  v[0].slide_target = 0.5f;
  v[0].slide_step = -0.5f / 100;
  v[1].volume = 1.0f;
  v[1].slide_frames = 100;
  v[1].slide_target = -1.0f;
  v[1].slide_step = -1.0f / 100;
  std::vector<MixVoice> a = {v[0]}, b = {v[1]};
  std::vector<float> out = mix(a, 200);
  EXPECT_FLOAT_EQ(out[0], 0.8f);
  EXPECT_NEAR(out[50 * 2], 0.6f, 0.01f);
  EXPECT_FLOAT_EQ(out[150 * 2], 0.4f);
  EXPECT_EQ(a[0].state, MIX_PLAYING);
  EXPECT_FLOAT_EQ(a[0].volume, 0.5f);
  out = mix(b, 200);
  EXPECT_NEAR(out[50 * 2], 0.4f, 0.01f);
  EXPECT_EQ(out[150 * 2], 0.0f);
  EXPECT_EQ(b[0].state, MIX_STOPPED);
}

TEST(SoundMixer, SourceAtHalfTheRateIsReadAtHalfSpeedWithInterpolation) {
  std::vector<float> src = ramp(100);
  std::vector<MixVoice> v = {voice(src)};
  v[0].step = 0.5;
  std::vector<float> out = mix(v, 8);
  EXPECT_FLOAT_EQ(out[1 * 2], 0.5f / 1024);
  EXPECT_FLOAT_EQ(out[4 * 2], 2.0f / 1024);
  EXPECT_DOUBLE_EQ(v[0].pos, 4.0);
}
