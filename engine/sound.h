// The sound layer: the audio device (the platform's, stereo float at 44100 Hz), master and global volumes,
// samples with a maximum of simultaneous playbacks and an override rule, streams decoded from
// memory with loop points and end notices, and channels (play, pause, stop, volume, pan, slides,
// position, fade-out-and-stop, 3D positions). Files are decoded with libsndfile; the mixing is ours
// (soundMixer.h). Handles are 32-bit, 0 meaning failure. Without a device every call fails
// harmlessly with a null handle and the game is silent.
#pragma once
#include <stdint.h>
#include "engine/misc/vecMath.h"

typedef uint32_t SoundSample;
typedef uint32_t SoundStream;
typedef uint32_t SoundChannel;

enum {
  SNDF_3D = 1,
  SNDF_LOOP = 2,
  SNDF_CHAINED = 4,  // streams: note the stream in sound_stream_to_chain when it reaches its end
};

// The last chained stream that reached its end (written by the mixing thread).
extern volatile uint32_t sound_stream_to_chain;

// Opens the layer on the platform's audio device; false (sound off, one line in the log) without
// one. On the null platform's device nothing plays to a speaker: mix_sound_output renders what would.
bool init_sound(bool use_3d);
bool close_sound();
bool is_sound_open();
// Renders `frames` stereo frames of what the device plays next (the device's callback does this).
void mix_sound_output(float* out, int frames);
int get_sound_output_rate();
// The output limiter: its gain now (1 when nothing is loud) and the samples since the layer opened
// whose sum passed full scale (each of them turned down instead of cut).
float get_sound_output_gain();
uint64_t get_sound_output_samples_over_full_scale();

// The master volume, 0 .. 1: the layer keeps it with or without a device, so what the options show
// is the volume in effect.
float get_master_volume();
void set_master_volume(float volume);
void set_global_sample_volume(int volume);  // 0 .. 10000
int get_global_sample_volume();
void set_global_stream_volume(int volume);  // 0 .. 10000
int get_global_stream_volume();

// override_mode: 1 = by distance for 3D samples, else by position; 2 = by volume; 3 = by position
// (the one playing longest); 4 = by distance; others = none (a busy sample gives no channel).
SoundSample load_sound_sample(const char* name, int max_playbacks, int flags, int override_mode, int offset,
                              int length);
bool free_sound_sample(SoundSample sample);
bool set_sound_sample_volume(SoundSample sample, float volume);
bool set_sound_sample_dist(SoundSample sample, float min_dist, float max_dist);
SoundChannel get_sound_sample_channel(SoundSample sample, bool only_new);

// Sounds are decoded whole into memory when they load. A file above this size, or one that would
// decode to more than SOUND_MAX_DECODED_BYTES, is refused with a log line naming it and its size
// rather than taking the machine's memory (the game's music is a few megabytes).
constexpr int64_t SOUND_MAX_FILE_BYTES = int64_t(256) << 20;
constexpr int64_t SOUND_MAX_DECODED_BYTES = int64_t(1) << 30;

// loop_point in seconds: at each end the stream goes on from there; below 0 it plays once.
SoundStream load_sound_stream(const char* name, double loop_point, int flags, int offset, int size);
bool free_sound_stream(SoundStream stream);

bool play_sound(SoundChannel channel, bool restart);
bool pause_sound(SoundChannel channel);
bool stop_sound(SoundChannel channel);
bool is_sound_playing(SoundChannel channel);
bool set_sound_volume(SoundChannel channel, float volume);
bool set_sound_pan(SoundChannel channel, float pan);
bool slide_sound_volume(SoundChannel channel, float volume, int msec);
bool set_relative_sound_pos(SoundChannel channel, float fraction);
bool fade_out_and_stop_sound(SoundChannel channel, int msec);
// For tests and tools: the channel's position in seconds and its current volume (-1 when invalid).
double get_sound_position(SoundChannel channel);
float get_sound_volume(SoundChannel channel);

bool set_listener_3d_factors(float distance, float rolloff, float doppler);
bool set_sound_3d_params(SoundChannel channel, float min_dist, float max_dist);
bool set_listener_pos(const vec4float& pos, const vec4float& vel, const vec4float& front, const vec4float& top);
bool set_sound_3d_pos(SoundChannel channel, const vec4float& pos);
bool set_sound_3d_pos(SoundChannel channel, const vec4float& pos, const vec4float& vel);
bool get_sound_3d_pos(SoundChannel channel, vec4float* pos);
bool apply_3d_sound();

// Decodes a sound file image (WAV or anything else libsndfile reads) from memory the way samples
// are loaded, then frees it; the frame count and channels kept (1 or 2). For the fuzzer.
bool decode_sound_file_image(const void* data, int64_t size, int64_t* frames, int* channels);
