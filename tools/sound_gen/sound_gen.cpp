// Writes the game's sounds into a folder as 16-bit WAV files: short synthesised effects and the music
// (an intro of 10.5 s, then a part that the sound script loops from 10.5 s). Everything is made from
// code with fixed noise seeds, so every build writes the same bytes (WAV rather than Ogg Vorbis,
// whose stream serial number libsndfile draws at random).
//   sound_gen <folder>
#include <math.h>
#include <sndfile.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "tools/toolUsage.h"

static const int RATE = 44100;
static const double PI = 3.14159265358979323846;

struct Noise {
  uint64_t state;
  explicit Noise(uint64_t seed) : state(seed) {}
  double next() {  // -1 .. 1
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return double(uint32_t(state >> 32)) / 2147483648.0 - 1.0;
  }
};

enum Wave { SINE, SQUARE, SAW, TRIANGLE };

static double wave_at(Wave w, double phase) {
  double p = phase - floor(phase);
  switch (w) {
    case SINE:
      return sin(2 * PI * p);
    case SQUARE:
      return p < 0.5 ? 0.8 : -0.8;
    case SAW:
      return 2.0 * p - 1.0;
    case TRIANGLE:
      return p < 0.5 ? 4.0 * p - 1.0 : 3.0 - 4.0 * p;
  }
  return 0;
}

// A mono buffer that effects add into.
struct Buffer {
  std::vector<float> s;
  explicit Buffer(double seconds) : s(size_t(seconds * RATE), 0.0f) {}

  // A tone from f0 to f1 (exponential sweep), attack and an exponential decay to the end.
  void tone(double start, double dur, double f0, double f1, Wave w, double vol, double attack = 0.005,
            double vibrato = 0.0) {
    size_t a = size_t(start * RATE), n = size_t(dur * RATE);
    double phase = 0;
    for (size_t i = 0; i < n && a + i < s.size(); i++) {
      double t = double(i) / RATE, x = t / dur;
      double f = f0 * pow(f1 / f0, x) * (1.0 + vibrato * sin(2 * PI * 7.0 * t));
      phase += f / RATE;
      double env = (t < attack ? t / attack : 1.0) * pow(1.0 - x, 1.5);
      s[a + i] += float(vol * env * wave_at(w, phase));
    }
  }
  // Noise through a one-pole low-pass (cutoff 0..1, lower is darker), decaying to the end.
  void noise(double start, double dur, double vol, double cutoff0, double cutoff1, uint64_t seed,
             double decay_power = 2.0) {
    Noise r(seed);
    size_t a = size_t(start * RATE), n = size_t(dur * RATE);
    double y = 0;
    for (size_t i = 0; i < n && a + i < s.size(); i++) {
      double x = double(i) / double(n);
      double c = cutoff0 + (cutoff1 - cutoff0) * x;
      y += c * (r.next() - y);
      double env = (i < 40 ? double(i) / 40.0 : 1.0) * pow(1.0 - x, decay_power);
      s[a + i] += float(vol * env * y);
    }
  }
  void normalise(double peak) {
    float m = 0;
    for (float v : s) m = fabsf(v) > m ? fabsf(v) : m;
    if (m > 0)
      for (float& v : s) v = float(v * peak / m);
  }
};

static bool write_file(const std::string& path, const std::vector<float>& interleaved, int channels, int format) {
  SF_INFO info;
  memset(&info, 0, sizeof(info));
  info.samplerate = RATE;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) {
    fprintf(stderr, "sound_gen: can't write '%s': %s\n", path.c_str(), sf_strerror(nullptr));
    return false;
  }
  sf_count_t frames = sf_count_t(interleaved.size() / size_t(channels));
  bool ok = sf_writef_float(f, interleaved.data(), frames) == frames;
  sf_close(f);
  if (!ok) fprintf(stderr, "sound_gen: short write to '%s'\n", path.c_str());
  return ok;
}

static bool write_effect(const std::string& dir, const char* name, Buffer& b, double peak = 0.8) {
  b.normalise(peak);
  return write_file(dir + "/" + name, b.s, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

static double note(int semitones_from_a4) { return 440.0 * pow(2.0, semitones_from_a4 / 12.0); }

static bool make_effects(const std::string& d) {
  bool ok = true;
  {  // the hero's gun: a bright, fast falling zap
    Buffer b(0.16);
    b.tone(0, 0.16, 1400, 260, SQUARE, 0.6);
    b.noise(0, 0.04, 0.3, 0.6, 0.3, 11);
    ok &= write_effect(d, "shoot.wav", b, 0.6);
  }
  {  // jump: a soft rising sweep
    Buffer b(0.22);
    b.tone(0, 0.22, 260, 760, TRIANGLE, 0.8, 0.01);
    ok &= write_effect(d, "jump.wav", b, 0.6);
  }
  {  // hero hurt: a buzzing low grunt with vibrato
    Buffer b(0.3);
    b.tone(0, 0.3, 200, 140, SAW, 0.7, 0.005, 0.08);
    b.noise(0, 0.1, 0.3, 0.2, 0.05, 12);
    ok &= write_effect(d, "hurt.wav", b, 0.7);
  }
  {  // hero dead: a long fall with a crackle
    Buffer b(0.9);
    b.tone(0, 0.9, 520, 50, SAW, 0.7, 0.005, 0.05);
    b.noise(0, 0.5, 0.4, 0.3, 0.05, 13);
    ok &= write_effect(d, "dead.wav", b);
  }
  {  // game over: three falling tones
    Buffer b(1.3);
    b.tone(0.0, 0.4, note(-2), note(-2), TRIANGLE, 0.7, 0.01);
    b.tone(0.4, 0.4, note(-5), note(-5), TRIANGLE, 0.7, 0.01);
    b.tone(0.8, 0.5, note(-9), note(-10), TRIANGLE, 0.7, 0.01, 0.02);
    ok &= write_effect(d, "game_over.wav", b);
  }
  {  // an enemy spots the hero: two quick high beeps
    Buffer b(0.22);
    b.tone(0.0, 0.08, 1760, 1760, SQUARE, 0.5);
    b.tone(0.11, 0.08, 2093, 2093, SQUARE, 0.5);
    ok &= write_effect(d, "spot.wav", b, 0.5);
  }
  {  // enemy hurt: a short thump
    Buffer b(0.15);
    b.tone(0, 0.15, 240, 90, SINE, 0.8);
    b.noise(0, 0.06, 0.5, 0.5, 0.1, 14);
    ok &= write_effect(d, "enemy_hurt.wav", b);
  }
  {  // enemy dead: a noisy pop with a falling tone
    Buffer b(0.45);
    b.noise(0, 0.45, 0.8, 0.5, 0.05, 15);
    b.tone(0, 0.35, 700, 120, SQUARE, 0.3);
    ok &= write_effect(d, "enemy_dead.wav", b);
  }
  {  // magnet jump: a warbling rise
    Buffer b(0.35);
    b.tone(0, 0.35, 300, 1100, SINE, 0.8, 0.01, 0.15);
    ok &= write_effect(d, "magnet_jump.wav", b, 0.6);
  }
  {  // enemy jump: a short blip up
    Buffer b(0.12);
    b.tone(0, 0.12, 400, 650, SQUARE, 0.5);
    ok &= write_effect(d, "enemy_jump.wav", b, 0.5);
  }
  {  // enemy gun: lower and duller than the hero's
    Buffer b(0.2);
    b.tone(0, 0.2, 700, 160, SAW, 0.6);
    ok &= write_effect(d, "enemy_shoot.wav", b, 0.6);
  }
  {  // burst: three quick shots
    Buffer b(0.36);
    for (int i = 0; i < 3; i++) b.tone(0.11 * i, 0.1, 900, 220, SQUARE, 0.5);
    ok &= write_effect(d, "burst.wav", b, 0.6);
  }
  {  // charging gun: a rising whine with tremolo
    Buffer b(0.7);
    b.tone(0, 0.7, 180, 1700, SAW, 0.5, 0.2, 0.06);
    ok &= write_effect(d, "charge.wav", b, 0.5);
  }
  {  // flyer turns: a tiny chirp
    Buffer b(0.08);
    b.tone(0, 0.08, 1200, 1800, SINE, 0.6);
    ok &= write_effect(d, "flyer_turn.wav", b, 0.4);
  }
  {  // a bullet breaks a wall: a crunch of dark noise
    Buffer b(0.28);
    b.noise(0, 0.28, 1.0, 0.35, 0.08, 16, 1.5);
    b.tone(0, 0.1, 160, 70, SINE, 0.4);
    ok &= write_effect(d, "wall_break.wav", b, 0.7);
  }
  {  // a bullet hits rock: a metallic ping
    Buffer b(0.3);
    b.tone(0, 0.3, 2600, 2300, SINE, 0.7, 0.001);
    b.tone(0, 0.2, 3900, 3500, SINE, 0.3, 0.001);
    b.noise(0, 0.02, 0.4, 0.9, 0.9, 17);
    ok &= write_effect(d, "ricochet.wav", b, 0.5);
  }
  {  // the elevator: a motor hum rising
    Buffer b(2.0);
    b.tone(0, 2.0, 70, 110, SAW, 0.5, 0.2, 0.01);
    b.tone(0, 2.0, 140, 220, SINE, 0.3, 0.2);
    ok &= write_effect(d, "elevator.wav", b, 0.5);
  }
  {  // the upgrade screen opens: a soft chord
    Buffer b(0.6);
    b.tone(0, 0.6, note(3), note(3), SINE, 0.4, 0.02);
    b.tone(0, 0.6, note(7), note(7), SINE, 0.4, 0.02);
    b.tone(0, 0.6, note(10), note(10), SINE, 0.4, 0.02);
    ok &= write_effect(d, "screen.wav", b, 0.5);
  }
  {  // upgrade plus and minus: a blip up, a blip down
    Buffer p(0.12), m(0.12);
    p.tone(0, 0.12, 660, 990, TRIANGLE, 0.7);
    m.tone(0, 0.12, 660, 440, TRIANGLE, 0.7);
    ok &= write_effect(d, "plus.wav", p, 0.5);
    ok &= write_effect(d, "minus.wav", m, 0.5);
  }
  {  // upgrade accepted: a rising arpeggio
    Buffer b(0.5);
    int steps[4] = {3, 7, 10, 15};
    for (int i = 0; i < 4; i++) b.tone(0.1 * i, 0.2, note(steps[i]), note(steps[i]), SQUARE, 0.4);
    ok &= write_effect(d, "accept.wav", b, 0.5);
  }
  {  // a level starts: a short fanfare
    Buffer b(0.9);
    int steps[4] = {-9, -5, -2, 3};
    for (int i = 0; i < 4; i++) b.tone(0.15 * i, i == 3 ? 0.45 : 0.18, note(steps[i]), note(steps[i]), SQUARE, 0.45);
    ok &= write_effect(d, "start_level.wav", b, 0.6);
  }
  {  // the title screen: a slow swelling chord
    Buffer b(1.6);
    b.tone(0, 1.6, note(-12), note(-12), SAW, 0.3, 0.6);
    b.tone(0, 1.6, note(-5), note(-5), TRIANGLE, 0.3, 0.6);
    b.tone(0, 1.6, note(0), note(0), SINE, 0.3, 0.6);
    ok &= write_effect(d, "title.wav", b, 0.6);
  }
  {  // a new game: a quick run up
    Buffer b(0.5);
    for (int i = 0; i < 5; i++) b.tone(0.07 * i, 0.15, note(2 * i), note(2 * i), SQUARE, 0.4);
    ok &= write_effect(d, "new_game.wav", b, 0.6);
  }
  {  // a barrel explodes: a deep boom with a long noisy tail
    Buffer b(1.1);
    b.noise(0, 1.1, 1.0, 0.25, 0.02, 18, 2.5);
    b.tone(0, 0.5, 90, 35, SINE, 0.9, 0.002);
    ok &= write_effect(d, "explosion.wav", b, 0.9);
  }
  {  // a heart: two bell notes up
    Buffer b(0.35);
    b.tone(0, 0.2, note(7), note(7), SINE, 0.6, 0.002);
    b.tone(0.1, 0.25, note(14), note(14), SINE, 0.6, 0.002);
    ok &= write_effect(d, "heart.wav", b, 0.5);
  }
  {  // an upgrade point: a sparkle
    Buffer b(0.3);
    for (int i = 0; i < 4; i++) b.tone(0.05 * i, 0.12, note(19 + 3 * i), note(19 + 3 * i), SINE, 0.5, 0.002);
    ok &= write_effect(d, "up_point.wav", b, 0.5);
  }
  {  // a boss part is hit: a heavy clank
    Buffer b(0.22);
    b.tone(0, 0.22, 420, 380, SQUARE, 0.5, 0.001);
    b.tone(0, 0.22, 1130, 1090, SINE, 0.3, 0.001);
    b.noise(0, 0.05, 0.5, 0.7, 0.3, 19);
    ok &= write_effect(d, "boss_hit.wav", b, 0.6);
  }
  {  // a boss part explodes
    Buffer b(0.8);
    b.noise(0, 0.8, 1.0, 0.35, 0.03, 20, 2.0);
    b.tone(0, 0.4, 120, 45, SINE, 0.7);
    ok &= write_effect(d, "boss_part_explode.wav", b, 0.85);
  }
  {  // the boss is dead: a long chain of explosions
    Buffer b(2.2);
    for (int i = 0; i < 5; i++) b.noise(0.35 * i, 0.8, 1.0 - 0.12 * i, 0.3, 0.02, 21 + uint64_t(i), 2.0);
    b.tone(0, 2.2, 80, 30, SINE, 0.6, 0.01);
    ok &= write_effect(d, "boss_dead.wav", b, 0.9);
  }
  {  // the boss wakes: a two-tone siren
    Buffer b(1.0);
    for (int i = 0; i < 4; i++) b.tone(0.25 * i, 0.25, i % 2 ? 520 : 780, i % 2 ? 520 : 780, SAW, 0.4, 0.01);
    ok &= write_effect(d, "boss_alarm.wav", b, 0.6);
  }
  {  // the boss's gun: a heavy laser
    Buffer b(0.32);
    b.tone(0, 0.32, 500, 90, SAW, 0.6);
    b.tone(0, 0.32, 250, 45, SQUARE, 0.4);
    ok &= write_effect(d, "boss_shoot.wav", b, 0.7);
  }
  {  // the boss drops a bomb: a falling whistle
    Buffer b(0.55);
    b.tone(0, 0.55, 1800, 500, SINE, 0.6, 0.02);
    ok &= write_effect(d, "bomb_drop.wav", b, 0.5);
  }
  {  // the boss is dying: a shaking rumble
    Buffer b(1.6);
    b.noise(0, 1.6, 1.0, 0.08, 0.02, 30, 1.0);
    b.tone(0, 1.6, 60, 40, SAW, 0.4, 0.1, 0.2);
    ok &= write_effect(d, "boss_dying.wav", b, 0.8);
  }
  return ok;
}

// The music: 6 bars of intro (exactly 10.5 s), then 8 bars that the game loops from 10.5 s.
static bool make_music(const std::string& d) {
  const double beat = 10.5 / 24.0;  // 6 bars of 4 beats
  const int intro_bars = 6, loop_bars = 8;
  const double total = beat * 4 * (intro_bars + loop_bars);
  Buffer left(total), right(total);
  const int roots[8] = {-24, -24, -19, -21, -24, -26, -19, -17};  // the bass note of each bar
  const int arp[4] = {0, 3, 7, 12};
  for (int bar = 0; bar < intro_bars + loop_bars; bar++) {
    bool intro = bar < intro_bars;
    int root = roots[bar % 8];
    double t0 = bar * 4 * beat;
    for (int b = 0; b < 4; b++) {
      double t = t0 + b * beat;
      // Bass on every beat; in the intro only from the third bar on.
      if (!intro || bar >= 2) {
        left.tone(t, beat * 0.9, note(root), note(root), SAW, 0.28, 0.01);
        right.tone(t, beat * 0.9, note(root), note(root), SAW, 0.28, 0.01);
      }
      // Kick on every beat, hats off the beat, after the first two bars.
      if (bar >= 2 || !intro) {
        left.tone(t, 0.18, 120, 40, SINE, 0.5, 0.001);
        right.tone(t, 0.18, 120, 40, SINE, 0.5, 0.001);
        left.noise(t + beat / 2, 0.05, 0.12, 0.9, 0.9, uint64_t(bar * 4 + b + 100));
        right.noise(t + beat / 2, 0.05, 0.12, 0.9, 0.9, uint64_t(bar * 4 + b + 200));
      }
      // Arpeggio in eighths, panned from side to side; the loop adds a lead an octave up.
      for (int e = 0; e < 2; e++) {
        int k = (b * 2 + e) % 4;
        double f = note(root + 24 + arp[k]);
        double te = t + e * beat / 2;
        double pan = (k % 2) ? 0.3 : 0.7;
        left.tone(te, beat * 0.45, f, f, SQUARE, 0.12 * (1 - pan), 0.003);
        right.tone(te, beat * 0.45, f, f, SQUARE, 0.12 * pan, 0.003);
      }
      if (!intro && b % 2 == 0) {
        double f = note(root + 36 + arp[(bar + b / 2) % 4]);
        left.tone(t, beat * 1.8, f, f, TRIANGLE, 0.1, 0.02, 0.01);
        right.tone(t, beat * 1.8, f, f, TRIANGLE, 0.1, 0.02, 0.01);
      }
    }
  }
  // Shared normalisation keeps the stereo image.
  float m = 0;
  for (size_t i = 0; i < left.s.size(); i++) {
    m = fabsf(left.s[i]) > m ? fabsf(left.s[i]) : m;
    m = fabsf(right.s[i]) > m ? fabsf(right.s[i]) : m;
  }
  std::vector<float> inter(left.s.size() * 2);
  for (size_t i = 0; i < left.s.size(); i++) {
    inter[i * 2] = m > 0 ? left.s[i] * 0.7f / m : 0;
    inter[i * 2 + 1] = m > 0 ? right.s[i] * 0.7f / m : 0;
  }
  return write_file(d + "/music.wav", inter, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

int main(int argc, char** argv) {
  tool_check_positional(argc, argv, "sound_gen",
                        "usage: sound_gen <output folder>\n"
                        "Writes the game's sound effects and music into the folder as 16-bit WAV files.\n",
                        1, 1);
  std::string dir = argv[1];
  bool ok = make_effects(dir);
  ok &= make_music(dir);
  return ok ? 0 : 1;
}
