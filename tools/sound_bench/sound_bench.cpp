// Prints what mixing costs and how long a sound event takes to reach the mixed output.
//   sound_bench [program folder]   (the folder holding sound/sound.nut; default: ./bin/)
// Mixing: seconds of CPU per second of audio with 8 and 32 voices playing. Latency: the cost of one
// sound event through the script, plus the device's buffer (the event's voice is mixed in the next
// buffer the device asks for: up to one buffer later, and it is heard one buffer after that).
// Every figure is taken on a real device, SDL's disk driver playing into /dev/null in real time;
// where the bench mixes by hand it holds the device's lock, so the device's own thread waits.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <chrono>
#include <vector>
#include "engine/log.h"
#include "engine/sound.h"
#include "engine/soundMixer.h"
#include "engine/soundScript.h"
#include "engine/sysUtils.h"
#include "game/soundEvents.h"
#include "platform/platform.h"
#include "tools/toolUsage.h"

static double now_sec() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static void bench_mix(int voices_playing) {
  const int rate = 44100, frames = 1024;
  std::vector<float> source(size_t(rate) * 2);
  for (size_t i = 0; i < source.size(); i++) source[i] = float((i * 7919) % 2000) / 1000.0f - 1.0f;
  std::vector<MixVoice> v(static_cast<size_t>(voices_playing));
  for (int i = 0; i < voices_playing; i++) {
    v[i].data = source.data();
    v[i].channels = 2;
    v[i].frames = rate;
    v[i].step = i % 2 ? 1.0 : 22050.0 / 44100.0;  // half the voices resampled
    v[i].loop = true;
    v[i].state = MIX_PLAYING;
    v[i].pan = float(i % 5) / 2.5f - 1.0f;
    v[i].volume = 0.5f;
  }
  std::vector<float> out(size_t(frames) * 2);
  const int seconds = 20;
  int buffers = seconds * rate / frames;
  double t0 = now_sec();
  for (int b = 0; b < buffers; b++) mix_voices(v.data(), voices_playing, out.data(), frames, 1.0f);
  double dt = now_sec() - t0;
  double audio = double(buffers) * frames / rate;
  printf("mix %2d voices: %.3f ms of CPU per second of audio (%.3f%% of one core)\n", voices_playing,
         dt / audio * 1000.0, dt / audio * 100.0);
}

// Loud moments through the output limiter: explosions started together (over the music or not).
// Prints the samples a hard clip at full scale would have cut (their sum passed full scale), the samples the limiter held at its
// threshold, the samples that still reached full scale (none), and the lowest gain it used.
// The layer on the disk driver's device, its own mixing held off while the bench mixes by hand.
static bool open_device_held() {
  if (!init_sound(false)) return false;
  plat_audio_lock();
  return true;
}

static void close_device_held() {
  plat_audio_unlock();
  close_sound();
}

static void bench_loud(const char* what, int explosions, bool music) {
  if (!open_device_held()) {
    printf("%s: no device to mix on\n", what);
    return;
  }
  SoundSample boom = load_sound_sample(make_full_path("sound/explosion.wav"), 16, 0, 0, 0, 0);
  SoundStream song = music ? load_sound_stream(make_full_path("sound/music.wav"), 0.0, 0, 0, 0) : 0;
  if (!boom || (music && !song)) {
    printf("%s: the game's sounds are missing\n", what);
    close_device_held();
    return;
  }
  if (song) play_sound(song, true);
  for (int i = 0; i < explosions; i++) play_sound(get_sound_sample_channel(boom, true), true);
  std::vector<float> out(2048);
  long long would_clip = 0, held = 0, full_scale = 0;
  float quietest = 1.0f;
  for (int b = 0; b < get_sound_output_rate() / 1024; b++) {  // one second
    mix_sound_output(out.data(), 1024);
    for (float x : out) {
      held += fabsf(x) >= MIX_LIMIT_THRESHOLD * 0.9999f;
      full_scale += fabsf(x) >= 1.0f;
    }
    quietest = fminf(quietest, get_sound_output_gain());
  }
  would_clip = (long long)get_sound_output_samples_over_full_scale();
  close_device_held();
  printf(
      "%s: %lld samples a hard clip would cut; limited: %lld held at the threshold, %lld at full scale, "
      "lowest gain %.2f\n",
      what, would_clip, held, full_scale, quietest);
}

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "sound_bench",
                        "usage: sound_bench [program folder]\n"
                        "Prints what mixing 8 and 32 voices costs and how long a sound event takes to reach the\n"
                        "mixed output, on SDL's disk driver playing into /dev/null. The folder (holding\n"
                        "sound/sound.nut) defaults to bin/.\n",
                        0, 1);
  bench_mix(8);
  bench_mix(32);

  const char* folder = argc > 1 ? argv[1] : "bin/";
  snprintf(app_path, sizeof(app_path), "%s%s", folder, folder[strlen(folder) - 1] == '/' ? "" : "/");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  bench_loud("2 explosions at once", 2, false);
  bench_loud("8 explosions over the music", 8, true);
  if (!open_device_held()) {
    printf("no device to measure the latency on\n");
    return 0;
  }
  init_sound_script("sound/sound.nut");
  int id = 0;  // hero_shoot
  std::vector<float> out(2048);
  const int rounds = 2000;
  double t0 = now_sec();
  for (int i = 0; i < rounds; i++) {
    uint32_t ch = get_sound_event_channel(id);
    if (!ch) {
      printf("no channel for the event: is %ssound/sound.nut there?\n", app_path);
      close_device_held();
      return 1;
    }
    if (i % 6 == 5) mix_sound_output(out.data(), 1024);  // lets the playbacks finish and recycle
  }
  double per_event = (now_sec() - t0) / rounds;
  double buffer_ms = 1024.0 * 1000.0 / get_sound_output_rate();
  printf("sound event through the script: %.1f us\n", per_event * 1e6);
  printf("event to first mixed sample at 1024 frames: %.1f ms on average, %.1f ms at most (+%.1f ms until heard)\n",
         per_event * 1000.0 + buffer_ms / 2, per_event * 1000.0 + buffer_ms, buffer_ms);
  close_sound_script();
  close_device_held();

  // The same with the device mixing by itself, in real time. The time is taken from the event until
  // the mixer has advanced its channel (the first buffer holding it).
  if (!init_sound(false)) {
    printf("no device to measure the latency on\n");
    return 0;
  }
  init_sound_script("sound/sound.nut");
  double sum = 0, worst = 0;
  const int events = 40;
  for (int i = 0; i < events; i++) {
    usleep(7000 + (i * 3331) % 17000);  // land anywhere within a buffer
    double t0 = now_sec();
    uint32_t ch = get_sound_event_channel(id);
    while (get_sound_position(ch) <= 0.0 && now_sec() - t0 < 1.0) usleep(100);
    double dt = now_sec() - t0;
    sum += dt;
    worst = dt > worst ? dt : worst;
  }
  printf("measured on the disk driver: %.1f ms on average, %.1f ms at most\n", sum / events * 1000, worst * 1000);
  close_sound_script();
  close_sound();
  return 0;
}
