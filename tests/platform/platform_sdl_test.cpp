// The SDL back end of the platform layer on its own: a machine without a display is refused with
// what to set while the offscreen driver chosen by name starts; the display modes; and the audio
// device through the sound layer on SDL's drivers: none (dummy), a file (disk), and ALSA on a
// machine without a sound card, whose own error lines must stay off the terminal.
#include <gtest/gtest.h>
#include <math.h>
#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>
#include <vector>
#include "engine/sound.h"
#include "platform/platform.h"

namespace {

// Sets or unsets an environment variable for the life of the object.
struct ScopedEnv {
  std::string name, old;
  bool had;
  ScopedEnv(const char* n, const char* value) : name(n) {
    const char* o = getenv(n);
    had = o != nullptr;
    if (o) old = o;
    if (value) setenv(n, value, 1);
    else unsetenv(n);
  }
  ~ScopedEnv() {
    if (had) setenv(name.c_str(), old.c_str(), 1);
    else unsetenv(name.c_str());
  }
};

std::string temp_dir() {
  char tmpl[] = "/tmp/ascenda_sdl_XXXXXX";
  return std::string(mkdtemp(tmpl)) + "/";
}

std::string write_tone(const std::string& dir, float level) {
  std::string path = dir + "tone.wav";
  SF_INFO info = {};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_TRUE(f);
  std::vector<float> s(44100, level);
  sf_writef_float(f, s.data(), sf_count_t(s.size()));
  sf_close(f);
  return path;
}

}  // namespace

// ---- the display

TEST(PlatformSdl, NoDisplayIsRefusedNamingWhatToSetAndOffscreenByNameStarts) {
  ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr), driver("SDL_VIDEODRIVER", nullptr);
  EXPECT_FALSE(plat_init());
  std::string why = plat_init_error();
  EXPECT_NE(why.find("no display"), std::string::npos) << why;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER=offscreen"})
    EXPECT_NE(why.find(name), std::string::npos) << name << " in: " << why;

  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  ASSERT_TRUE(plat_init()) << plat_init_error();
  EXPECT_STREQ(plat_init_error(), "");
  EXPECT_STREQ(plat_backend_name(), "offscreen");
  PlatDisplayMode modes[64];
  int n = plat_get_display_modes(modes, 64);
  EXPECT_GE(n, 1);  // the offscreen driver's one mode (it reports it as 0 x 0)
  EXPECT_EQ(plat_get_display_modes(modes, 0), 0);
  plat_shutdown();
}

// ---- the audio device

TEST(SoundDeviceSdl, DummyDriverMeansNoSound) {
  ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(init_sound(false));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("no audio device (audio driver 'dummy'), sound is off"), std::string::npos) << out;
  EXPECT_FALSE(is_sound_open());
}

TEST(SoundDeviceSdl, DiskDriverOpensADeviceThatPlaysWhatIsStarted) {
  std::string dir = temp_dir();
  std::string raw = dir + "out.raw";
  ScopedEnv driver("SDL_AUDIODRIVER", "disk"), file("SDL_DISKAUDIOFILE", raw.c_str());
  testing::internal::CaptureStdout();
  bool ok = init_sound(false);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ok) << out;
  EXPECT_NE(out.find("BASS init OK, 2d mode"), std::string::npos) << out;
  SoundSample s = load_sound_sample(write_tone(dir, 0.25f).c_str(), 1, 0, 0, 0, 0);
  SoundChannel ch = get_sound_sample_channel(s, false);
  ASSERT_TRUE(play_sound(ch, true));
  // The disk driver writes in real time: wait (bounded) until the sound shows up in the file.
  bool heard = false;
  for (int i = 0; i < 500 && !heard; i++) {
    usleep(20000);
    FILE* f = fopen(raw.c_str(), "rb");
    if (!f) continue;
    float buf[1024];
    size_t n;
    while (!heard && (n = fread(buf, sizeof(float), 1024, f)) > 0)
      for (size_t k = 0; k < n; k++) heard |= fabsf(buf[k] - 0.25f) < 1e-4f;
    fclose(f);
  }
  testing::internal::CaptureStdout();
  close_sound();
  EXPECT_NE(testing::internal::GetCapturedStdout().find("closing BASS"), std::string::npos);
  EXPECT_TRUE(heard);
  std::string cmd = "rm -rf '" + dir + "'";
  if (system(cmd.c_str()) != 0) {}
}

// Where ALSA finds no sound card it prints a dozen lines of its own; only the layer's one line may
// reach the terminal. (With a card the device opens and nothing is printed either.)
TEST(SoundDeviceSdl, AlsaWithoutASoundCardPrintsOnlyOurLine) {
  ScopedEnv driver("SDL_AUDIODRIVER", "alsa");
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  bool ok = init_sound(false);
  std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
  close_sound();
  EXPECT_EQ(err.find("ALSA lib"), std::string::npos) << err;
  if (!ok) {
    EXPECT_NE(out.find("sound is off"), std::string::npos) << out;
  }
}
