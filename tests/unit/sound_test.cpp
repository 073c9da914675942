// The sound layer over the mixer, opened on the null platform's device that never mixes by itself
// (the tests render the output), and what every call does without a device.
// Sections: helpers, the device, playback, 3D sound, generated effects.
#include <gtest/gtest.h>
#include <math.h>
#include <sndfile.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "engine/sound.h"
#include "testSupport.h"

namespace {

// ---- helpers

std::string temp_dir() {
  char tmpl[] = "/tmp/ascenda_sound_XXXXXX";
  return std::string(mkdtemp(tmpl)) + "/";
}

// A mono WAV of `seconds` holding a constant `level`, or with frame i holding (i % 1000) / 2000
// when level < 0, so that positions can be read from the output.
std::string write_wav(const std::string& dir, const char* name, double seconds, float level, int rate = 44100) {
  std::string path = dir + name;
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_TRUE(f);
  std::vector<float> s(static_cast<size_t>(seconds * rate));
  for (size_t i = 0; i < s.size(); i++) s[i] = level >= 0 ? level : float(i % 1000) / 2000.0f;
  sf_writef_float(f, s.data(), sf_count_t(s.size()));
  sf_close(f);
  return path;
}

std::vector<float> render(double seconds) {
  std::vector<float> out(size_t(seconds * 44100) * 2);
  // In device-sized pieces, as the callback would.
  for (size_t at = 0; at < out.size(); at += 2048) {
    int frames = int(std::min<size_t>(2048, out.size() - at) / 2);
    mix_sound_output(out.data() + at, frames);
  }
  return out;
}

struct OfflineSound : testing::Test {
  std::string dir = temp_dir();
  void SetUp() override { ASSERT_TRUE(open_sound_without_speaker(false)); }
  void TearDown() override {
    close_sound();
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {}
  }
};

}  // namespace

// ---- the device

TEST(SoundDevice, WithoutADeviceEveryCallFailsHarmlessly) {
  close_sound();
  std::string dir = temp_dir();
  std::string wav = write_wav(dir, "a.wav", 0.1, 0.5f);
  EXPECT_EQ(load_sound_sample(wav.c_str(), 1, 0, 0, 0, 0), 0u);
  EXPECT_EQ(load_sound_stream(wav.c_str(), -1, 0, 0, 0), 0u);
  EXPECT_EQ(get_sound_sample_channel(0x10001000, false), 0u);
  EXPECT_FALSE(play_sound(0x20001000, true));
  EXPECT_FALSE(is_sound_playing(0x20001000));
  EXPECT_FALSE(apply_3d_sound());
}

// The device on SDL's own drivers (none, a file, and no sound card) is tested with the SDL back
// end, in tests/platform/.

// ---- playback

TEST_F(OfflineSound, MissingOrBrokenFilesGiveZeroAndALogLine) {
  write_wav(dir, "ok.wav", 0.1, 0.5f);
  FILE* f = fopen((dir + "junk.wav").c_str(), "wb");
  fputs("not a sound", f);
  fclose(f);
  testing::internal::CaptureStdout();
  EXPECT_EQ(load_sound_sample((dir + "none.wav").c_str(), 1, 0, 0, 0, 0), 0u);
  EXPECT_EQ(load_sound_sample((dir + "junk.wav").c_str(), 1, 0, 0, 0, 0), 0u);
  EXPECT_EQ(load_sound_stream((dir + "none.ogg").c_str(), 0, 0, 0, 0), 0u);
  EXPECT_EQ(load_sound_stream((dir + "junk.wav").c_str(), 0, 0, 0, 0), 0u);
  EXPECT_EQ(load_sound_stream((dir + "ok.wav").c_str(), 0, 0, 100000000, 0), 0u);
  // A folder in a sound's place is refused by name before anything is read or allocated.
  mkdir((dir + "folder.wav").c_str(), 0755);
  EXPECT_EQ(load_sound_sample((dir + "folder.wav").c_str(), 1, 0, 0, 0, 0), 0u);
  EXPECT_EQ(load_sound_stream((dir + "folder.wav").c_str(), 0, 0, 0, 0), 0u);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("can't read sound file '" + dir + "folder.wav': not a regular file"), std::string::npos) << out;
  EXPECT_NE(out.find("failed to open stream file '" + dir + "folder.wav': not a regular file"), std::string::npos)
      << out;
  EXPECT_NE(out.find("error loading sample from '" + dir + "none.wav'"), std::string::npos) << out;
  EXPECT_NE(out.find("error loading sample from '" + dir + "junk.wav'"), std::string::npos) << out;
  EXPECT_NE(out.find("failed to open stream file '" + dir + "none.ogg'"), std::string::npos) << out;
  EXPECT_NE(out.find("error creating stream from '" + dir + "junk.wav'"), std::string::npos) << out;
  EXPECT_NE(out.find("invalid offset 100000000 for '" + dir + "ok.wav'"), std::string::npos) << out;
}

TEST_F(OfflineSound, FilesTooBigToHoldAreRefusedWithTheirSize) {
  // Sparse files: the size is there without the bytes, so nothing is read before the refusal.
  struct Case {
    const char* name;
    int64_t bytes;
  };
  const Case cases[] = {{"music.wav", int64_t(3) << 30}, {"just_over.wav", SOUND_MAX_FILE_BYTES + 1}};
  testing::internal::CaptureStdout();
  for (const Case& c : cases) {
    std::string path = dir + c.name;
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fclose(f);
    ASSERT_EQ(truncate(path.c_str(), off_t(c.bytes)), 0);
    EXPECT_EQ(load_sound_stream(path.c_str(), 0, 0, 0, 0), 0u) << c.name;
    EXPECT_EQ(load_sound_sample(path.c_str(), 1, 0, 0, 0, 0), 0u) << c.name;
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("stream file '" + dir + "music.wav' is 3072 MB, more than the 256 MB a stream may take"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("sound file '" + dir + "music.wav' is 3072 MB, more than the 256 MB a sound may take"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("stream file '" + dir + "just_over.wav' is 256 MB, more than"), std::string::npos) << out;
}

TEST_F(OfflineSound, ChannelsPlayPauseStopAndMixAtTheirVolumeAndPan) {
  SoundSample s = load_sound_sample(write_wav(dir, "c.wav", 1.0, 0.5f).c_str(), 2, 0, 0, 0, 0);
  ASSERT_NE(s, 0u);
  SoundChannel ch = get_sound_sample_channel(s, false);
  ASSERT_NE(ch, 0u);
  EXPECT_FALSE(is_sound_playing(ch));  // a new channel waits for play
  ASSERT_TRUE(play_sound(ch, true));
  EXPECT_TRUE(is_sound_playing(ch));
  set_sound_volume(ch, 0.5f);
  set_sound_pan(ch, 1.0f);
  std::vector<float> out = render(0.01);
  EXPECT_FLOAT_EQ(out[0], 0.0f);
  EXPECT_FLOAT_EQ(out[1], 0.25f);

  EXPECT_TRUE(pause_sound(ch));
  EXPECT_FALSE(is_sound_playing(ch));  // paused is not playing
  double at = get_sound_position(ch);
  out = render(0.01);
  EXPECT_EQ(out[1], 0.0f);
  EXPECT_DOUBLE_EQ(get_sound_position(ch), at);
  EXPECT_TRUE(play_sound(ch, false));
  EXPECT_TRUE(is_sound_playing(ch));
  EXPECT_TRUE(stop_sound(ch));
  EXPECT_FALSE(is_sound_playing(ch));
  EXPECT_FALSE(pause_sound(ch));

  // Global volumes apply to every sample channel; the master volume to everything.
  play_sound(ch, true);
  set_global_sample_volume(5000);
  set_master_volume(0.5f);
  out = render(0.01);
  EXPECT_FLOAT_EQ(out[1], 0.0625f);
  EXPECT_EQ(get_global_sample_volume(), 5000);
  EXPECT_FLOAT_EQ(get_master_volume(), 0.5f);

  // A played-out channel stops by itself.
  set_relative_sound_pos(ch, 0.99f);
  render(0.05);
  EXPECT_FALSE(is_sound_playing(ch));
}

TEST_F(OfflineSound, FadeOutAndStopWithZeroStopsAtOnceAndWithTimeAtTheEndOfTheSlide) {
  SoundSample s = load_sound_sample(write_wav(dir, "f.wav", 2.0, 0.5f).c_str(), 2, 0, 0, 0, 0);
  SoundChannel a = get_sound_sample_channel(s, true), b = get_sound_sample_channel(s, true);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  ASSERT_NE(a, b);
  play_sound(a, true);
  play_sound(b, true);
  EXPECT_TRUE(fade_out_and_stop_sound(a, 0));
  EXPECT_FALSE(is_sound_playing(a));
  EXPECT_FLOAT_EQ(get_sound_volume(a), 0.0f);
  EXPECT_TRUE(fade_out_and_stop_sound(b, 100));
  std::vector<float> out = render(0.05);
  EXPECT_TRUE(is_sound_playing(b));
  EXPECT_NEAR(out[2 * 2205 - 2], 0.25f, 0.01f);  // half way down
  render(0.06);
  EXPECT_FALSE(is_sound_playing(b));
  // A slide to a volume keeps playing there.
  play_sound(b, true);
  set_sound_volume(b, 1.0f);
  EXPECT_TRUE(slide_sound_volume(b, 0.2f, 50));
  render(0.06);
  EXPECT_TRUE(is_sound_playing(b));
  EXPECT_FLOAT_EQ(get_sound_volume(b), 0.2f);
  EXPECT_TRUE(slide_sound_volume(b, 0.7f, 0));
  EXPECT_FLOAT_EQ(get_sound_volume(b), 0.7f);
}

TEST_F(OfflineSound, BusySamplesRecycleOverrideOrRefuseByTheirMode) {
  std::string wav = write_wav(dir, "o.wav", 1.0, 0.5f);
  struct Case {
    int mode;
    bool replaced;
    int victim;
  };  // victim: 0 = first channel, 1 = second
  const Case cases[] = {{0, false, -1}, {2, true, 1}, {3, true, 0}, {1, true, 0}};
  for (const Case& c : cases) {
    SoundSample s = load_sound_sample(wav.c_str(), 2, 0, c.mode, 0, 0);
    SoundChannel first = get_sound_sample_channel(s, false);
    play_sound(first, true);
    SoundChannel second = get_sound_sample_channel(s, false);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    ASSERT_NE(first, second);
    play_sound(second, true);
    set_relative_sound_pos(first, 0.5f);                         // playing longer
    set_sound_volume(second, 0.1f);                              // quieter
    EXPECT_EQ(get_sound_sample_channel(s, true), 0u) << c.mode;  // only new: none left
    SoundChannel third = get_sound_sample_channel(s, false);
    if (!c.replaced) {
      EXPECT_EQ(third, 0u) << c.mode;
    } else {
      ASSERT_NE(third, 0u) << c.mode;
      SoundChannel gone = c.victim == 0 ? first : second, kept = c.victim == 0 ? second : first;
      EXPECT_FALSE(play_sound(gone, false)) << c.mode;  // the replaced handle is dead
      EXPECT_TRUE(is_sound_playing(kept)) << c.mode;
      EXPECT_FALSE(is_sound_playing(third)) << c.mode;
    }
    // A channel that is not playing is handed out again: no new handle.
    stop_sound(second);
    SoundChannel again = get_sound_sample_channel(s, false);
    EXPECT_TRUE(again == second || (c.replaced && again == third)) << c.mode;
    EXPECT_TRUE(free_sound_sample(s));
    EXPECT_FALSE(play_sound(again, true));
    EXPECT_FALSE(free_sound_sample(s));
  }
}

TEST_F(OfflineSound, StreamLoopPointContinuesFromThereAndWithoutOneItPlaysOnce) {
  std::string wav = write_wav(dir, "m.wav", 2.0, -1.0f);
  SoundStream looped = load_sound_stream(wav.c_str(), 1.5, 0, 0, 0);
  SoundStream once = load_sound_stream(wav.c_str(), -1.0, 0, 0, 0);
  ASSERT_NE(looped, 0u);
  ASSERT_NE(once, 0u);
  play_sound(looped, true);
  play_sound(once, true);
  set_sound_pan(once, 1.0f);  // once on the right only, looped on both sides
  set_sound_pan(looped, -1.0f);
  render(2.2);
  EXPECT_TRUE(is_sound_playing(looped));
  EXPECT_NEAR(get_sound_position(looped), 1.7, 0.03);
  EXPECT_FALSE(is_sound_playing(once));
  // What plays right after the end is frame 1.5 s on (value (66150 % 1000) / 2000).
  SoundStream probe = load_sound_stream(wav.c_str(), 1.5, 0, 0, 0);
  play_sound(probe, true);
  stop_sound(looped);
  set_relative_sound_pos(probe, float(88199.0 / 88200.0));
  std::vector<float> out = render(0.001);
  EXPECT_NEAR(out[2], float(66150 % 1000) / 2000.0f, 1e-4f);
  EXPECT_TRUE(free_sound_stream(probe));
  EXPECT_FALSE(free_sound_stream(probe));
}

TEST_F(OfflineSound, ChainedStreamReportsItsEnd) {
  std::string wav = write_wav(dir, "ch.wav", 0.2, 0.1f);
  sound_stream_to_chain = 0;
  SoundStream s = load_sound_stream(wav.c_str(), -1.0, SNDF_CHAINED, 0, 0);
  ASSERT_NE(s, 0u);
  play_sound(s, true);
  render(0.1);
  EXPECT_EQ(sound_stream_to_chain, 0u);
  render(0.2);
  EXPECT_EQ(sound_stream_to_chain, s);
}

TEST_F(OfflineSound, GeneratedMusicLoopsFromTenAndAHalfSeconds) {
  std::string music = std::string(ASCENDA_SOUND_DATA_DIR) + "/music.wav";
  SoundStream m = load_sound_stream(music.c_str(), 10.5, 0, 0, 0);
  ASSERT_NE(m, 0u);
  play_sound(m, true);
  ASSERT_TRUE(set_relative_sound_pos(m, 0.999f));
  double before = get_sound_position(m);
  EXPECT_GT(before, 10.6);  // the track is longer than its intro
  render(0.1);
  EXPECT_TRUE(is_sound_playing(m));
  double after = get_sound_position(m);
  EXPECT_GE(after, 10.5);
  EXPECT_LT(after, 10.6);
}

// ---- 3D sound

TEST(SoundLayer3d, DistanceAttenuatesAndSidePans) {
  ASSERT_TRUE(open_sound_without_speaker(true));
  std::string dir = temp_dir();
  SoundSample s = load_sound_sample(write_wav(dir, "p.wav", 0.5, 0.5f).c_str(), 1, SNDF_3D, 1, 0, 0);
  ASSERT_TRUE(set_sound_sample_dist(s, 2.0f, 100.0f));
  SoundChannel ch = get_sound_sample_channel(s, false);
  ASSERT_TRUE(
      set_listener_pos(vec4float(0, 0, 0, 0), vec4float(0, 0, 0, 0), vec4float(0, 0, 1, 0), vec4float(0, 1, 0, 0)));
  ASSERT_TRUE(set_sound_3d_pos(ch, vec4float(4, 0, 0, 0)));
  vec4float p;
  ASSERT_TRUE(get_sound_3d_pos(ch, &p));
  EXPECT_FLOAT_EQ(p.x(), 4.0f);
  EXPECT_FLOAT_EQ(p.w(), 1.0f);
  ASSERT_TRUE(apply_3d_sound());
  play_sound(ch, true);
  std::vector<float> out = render(0.01);
  EXPECT_NEAR(out[1], 0.25f, 1e-5f);  // min / distance on the near side
  EXPECT_NEAR(out[0], 0.0f, 1e-5f);
  close_sound();
  std::string cmd = "rm -rf '" + dir + "'";
  if (system(cmd.c_str()) != 0) {}
}

TEST(SoundLayer3d, TheDistanceFactorSetsTheUnitAndLeavesTheGainAlone) {
  ASSERT_TRUE(open_sound_without_speaker(true));
  std::string dir = temp_dir();
  SoundSample s = load_sound_sample(write_wav(dir, "p.wav", 0.5, 0.5f).c_str(), 1, SNDF_3D, 1, 0, 0);
  ASSERT_TRUE(set_sound_sample_dist(s, 2.0f, 100.0f));
  for (float units_in_metres : {1.0f, 2.0f, 0.3048f}) {
    SoundChannel ch = get_sound_sample_channel(s, true);
    ASSERT_TRUE(set_listener_3d_factors(units_in_metres, 1.0f, 1.0f));
    ASSERT_TRUE(
        set_listener_pos(vec4float(0, 0, 0, 0), vec4float(0, 0, 0, 0), vec4float(0, 0, 1, 0), vec4float(0, 1, 0, 0)));
    ASSERT_TRUE(set_sound_3d_pos(ch, vec4float(4, 0, 0, 0)));
    ASSERT_TRUE(apply_3d_sound());
    play_sound(ch, true);
    std::vector<float> out = render(0.01);
    EXPECT_NEAR(out[1], 0.25f, 1e-5f) << units_in_metres;  // min / distance, in units
    stop_sound(ch);
  }
  close_sound();
  std::string cmd = "rm -rf '" + dir + "'";
  if (system(cmd.c_str()) != 0) {}
}

TEST(SoundLayer3d, MovingSourcesAndListenersShiftThePitch) {
  // The source sits 10 units right of the listener. How fast its position advances tells the pitch.
  struct Case {
    const char* what;
    float source_vx, listener_vx, doppler, units_in_metres;
    double ratio;
  };
  const double c = 343.3;
  const Case cases[] = {
      {"at rest", 0, 0, 1, 1, 1.0},
      {"source approaching", -34.33f, 0, 1, 1, c / (c - 34.33)},
      {"source receding", 34.33f, 0, 1, 1, c / (c + 34.33)},
      {"listener approaching", 0, 34.33f, 1, 1, (c + 34.33) / c},
      {"listener receding", 0, -34.33f, 1, 1, (c - 34.33) / c},
      {"both approaching", -34.33f, 34.33f, 1, 1, (c + 34.33) / (c - 34.33)},
      {"Doppler off", -34.33f, 34.33f, 0, 1, 1.0},
      {"Doppler doubled", -34.33f, 0, 2, 1, c / (c - 68.66)},
      {"two-metre units", -34.33f, 0, 1, 2, c / (c - 68.66)},
  };
  ASSERT_TRUE(open_sound_without_speaker(true));
  std::string dir = temp_dir();
  SoundSample s = load_sound_sample(write_wav(dir, "p.wav", 2.0, 0.5f).c_str(), 1, SNDF_3D, 1, 0, 0);
  for (const Case& k : cases) {
    SoundChannel ch = get_sound_sample_channel(s, true);
    ASSERT_TRUE(set_listener_3d_factors(k.units_in_metres, 1.0f, k.doppler));
    ASSERT_TRUE(set_listener_pos(vec4float(0, 0, 0, 0), vec4float(k.listener_vx, 0, 0, 0), vec4float(0, 0, 1, 0),
                                 vec4float(0, 1, 0, 0)));
    ASSERT_TRUE(set_sound_3d_pos(ch, vec4float(10, 0, 0, 0), vec4float(k.source_vx, 0, 0, 0)));
    ASSERT_TRUE(apply_3d_sound());
    play_sound(ch, true);
    render(0.5);
    EXPECT_NEAR(get_sound_position(ch), 0.5 * k.ratio, 0.002) << k.what;
    stop_sound(ch);
  }
  // Moving across the line to the listener changes nothing.
  SoundChannel ch = get_sound_sample_channel(s, true);
  ASSERT_TRUE(set_listener_3d_factors(1.0f, 1.0f, 1.0f));
  ASSERT_TRUE(
      set_listener_pos(vec4float(0, 0, 0, 0), vec4float(0, 0, 50, 0), vec4float(0, 0, 1, 0), vec4float(0, 1, 0, 0)));
  ASSERT_TRUE(set_sound_3d_pos(ch, vec4float(10, 0, 0, 0), vec4float(0, 60, 0, 0)));
  ASSERT_TRUE(apply_3d_sound());
  play_sound(ch, true);
  render(0.5);
  EXPECT_NEAR(get_sound_position(ch), 0.5, 0.002);
  close_sound();
  std::string cmd = "rm -rf '" + dir + "'";
  if (system(cmd.c_str()) != 0) {}
}

// ---- generated effects

// The generated effects must be told apart by ear: each pair differs clearly in length or in
// brightness (zero crossings per second).
TEST(GeneratedSounds, EffectsDifferInLengthOrBrightness) {
  struct Shape {
    const char* name;
    double seconds = 0, crossings = 0;
  };
  Shape shapes[] = {{"shoot.wav"},      {"jump.wav"},     {"explosion.wav"},   {"hurt.wav"},
                    {"wall_break.wav"}, {"ricochet.wav"}, {"enemy_shoot.wav"}, {"heart.wav"}};
  for (Shape& s : shapes) {
    SF_INFO info = {};
    SNDFILE* f = sf_open((std::string(ASCENDA_SOUND_DATA_DIR) + "/" + s.name).c_str(), SFM_READ, &info);
    ASSERT_TRUE(f) << s.name;
    std::vector<float> pcm(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(f, pcm.data(), info.frames);
    sf_close(f);
    int zc = 0;
    for (size_t i = 1; i < pcm.size(); i++) zc += (pcm[i - 1] < 0) != (pcm[i] < 0);
    s.seconds = double(info.frames) / info.samplerate;
    s.crossings = zc / s.seconds;
    EXPECT_GT(s.seconds, 0.05) << s.name;
  }
  for (const Shape& a : shapes)
    for (const Shape& b : shapes) {
      if (&a >= &b) continue;
      double dl = fabs(a.seconds - b.seconds) / std::max(a.seconds, b.seconds);
      double dz = fabs(a.crossings - b.crossings) / std::max(a.crossings, b.crossings);
      EXPECT_TRUE(dl > 0.2 || dz > 0.2) << a.name << " and " << b.name << " sound alike";
    }
  SF_INFO info = {};
  SNDFILE* m = sf_open((std::string(ASCENDA_SOUND_DATA_DIR) + "/music.wav").c_str(), SFM_READ, &info);
  ASSERT_TRUE(m);
  EXPECT_GT(double(info.frames) / info.samplerate, 10.5 + 5.0);  // an intro and a part to loop
  EXPECT_EQ(info.channels, 2);
  sf_close(m);
}
