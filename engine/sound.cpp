// The sound layer (see sound.h): the platform's audio device and what it asks for, the tables of
// samples, streams and voices behind the handles, decoding with libsndfile, 3D attenuation, panning
// and the Doppler shift.
// The device mixes on its own thread: everything the mixing reads is changed only under the device
// lock.
// Sections: tables and handles; decoding from memory; 3D; device; volumes; samples; streams;
// channels; 3D.
#include "engine/sound.h"
#include <math.h>
#include <sndfile.h>
#include <stdio.h>
#include <string.h>
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "engine/soundMixer.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"

volatile uint32_t sound_stream_to_chain = 0;

// ---- tables and handles

namespace {

const int OUTPUT_RATE = 44100;
const int OUTPUT_FRAMES = 1024;  // the device's buffer
const int MAX_SAMPLES = 1024;
const int MAX_VOICES = 256;
const int MAX_STREAMS = 64;

// Handles: kind in the top 4 bits, a serial in the next 16, the table index in the low 12.
enum HandleKind : uint32_t { KIND_SAMPLE = 1, KIND_CHANNEL = 2, KIND_STREAM = 3 };

struct PcmData {
  float* frames = nullptr;  // interleaved, 1 or 2 channels
  int channels = 1;
  int64_t count = 0;
  int rate = OUTPUT_RATE;
};

struct SampleRec {
  bool used = false;
  uint32_t handle = 0;
  PcmData pcm;
  int max_playbacks = 1;
  int flags = 0;
  int override_mode = 0;
  float volume = 1.0f;
  float min_dist = 1.0f, max_dist = 10000.0f;
};

struct StreamRec {
  bool used = false;
  void* memory = nullptr;  // the file image the stream was created from; freed with the stream
  PcmData pcm;
  int voice = -1;
};

struct VoiceRec {
  bool used = false;
  uint32_t handle = 0;
  int sample = -1;  // owning sample, or -1 for a stream's voice
  int stream = -1;
  bool is_3d = false;
  bool chained = false;
  double base_step = 1.0;  // source frames per output frame before the Doppler shift
  uint32_t seen_ends = 0;
  float base_pan = 0.0f;
  vec4float pos, vel;
  float min_dist = 1.0f, max_dist = 10000.0f;
};

struct Listener {
  vec4float pos, vel;
  vec4float front = vec4float(0, 0, 1, 0), top = vec4float(0, 1, 0, 0);
  float distance = 1.0f, rolloff = 1.0f, doppler = 1.0f;
};

bool sound_open = false;
bool sound_3d = false;
bool device_open = false;
uint16_t next_serial = 1;
float master_volume = 1.0f;
MixLimiter output_limiter;  // its gain carries over from one device buffer to the next
int global_sample_volume = 10000;
int global_stream_volume = 10000;
Listener listener;

SampleRec samples[MAX_SAMPLES];
StreamRec streams[MAX_STREAMS];
VoiceRec voice_recs[MAX_VOICES];
MixVoice voices[MAX_VOICES];

struct DeviceLock {
  DeviceLock() {
    if (device_open) plat_audio_lock();
  }
  ~DeviceLock() {
    if (device_open) plat_audio_unlock();
  }
};

uint32_t make_handle(HandleKind kind, int index) {
  uint32_t serial = next_serial++;
  if (next_serial == 0) next_serial = 1;
  return (uint32_t(kind) << 28) | (serial << 12) | uint32_t(index);
}
HandleKind handle_kind(uint32_t h) { return HandleKind(h >> 28); }
int handle_index(uint32_t h) { return int(h & 0xFFF); }

SampleRec* find_sample(SoundSample h) {
  if (!sound_open || handle_kind(h) != KIND_SAMPLE) return nullptr;
  int i = handle_index(h);
  if (i >= MAX_SAMPLES || !samples[i].used || samples[i].handle != h) return nullptr;
  return &samples[i];
}

// Sample channels and streams are both channels.
int find_voice(SoundChannel h) {
  if (!sound_open) return -1;
  if (handle_kind(h) == KIND_STREAM) {
    int s = handle_index(h);
    if (s >= MAX_STREAMS || !streams[s].used || streams[s].voice < 0) return -1;
    int v = streams[s].voice;
    return voice_recs[v].handle == h ? v : -1;
  }
  if (handle_kind(h) != KIND_CHANNEL) return -1;
  int v = handle_index(h);
  if (v >= MAX_VOICES || !voice_recs[v].used || voice_recs[v].handle != h) return -1;
  return v;
}

int free_voice_slot() {
  for (int i = 0; i < MAX_VOICES; i++)
    if (!voice_recs[i].used) return i;
  return -1;
}

void release_voice(int v) {
  voice_recs[v] = VoiceRec();
  voices[v] = MixVoice();
}

float group_gain(const VoiceRec& r) {
  return float(r.sample >= 0 ? global_sample_volume : global_stream_volume) / 10000.0f;
}

void refresh_group_gains() {
  for (int i = 0; i < MAX_VOICES; i++)
    if (voice_recs[i].used) voices[i].group_gain = group_gain(voice_recs[i]);
}

// ---- decoding from memory

struct MemoryFile {
  const unsigned char* data;
  sf_count_t size;
  sf_count_t pos;
};

sf_count_t mem_length(void* u) { return ((MemoryFile*)u)->size; }
sf_count_t mem_seek(sf_count_t offset, int whence, void* u) {
  MemoryFile* m = (MemoryFile*)u;
  sf_count_t p = whence == SEEK_SET ? offset : whence == SEEK_CUR ? m->pos + offset : m->size + offset;
  if (p < 0) p = 0;
  if (p > m->size) p = m->size;
  m->pos = p;
  return p;
}
sf_count_t mem_read(void* ptr, sf_count_t count, void* u) {
  MemoryFile* m = (MemoryFile*)u;
  sf_count_t n = m->size - m->pos;
  if (count < n) n = count;
  if (n > 0) memcpy(ptr, m->data + m->pos, size_t(n));
  if (n > 0) m->pos += n;
  return n > 0 ? n : 0;
}
sf_count_t mem_write(const void*, sf_count_t, void*) { return 0; }
sf_count_t mem_tell(void* u) { return ((MemoryFile*)u)->pos; }

// Decodes a file image into float frames (first two channels kept). False for anything libsndfile
// cannot read.
bool decode_memory(const char* name, const void* data, int64_t size, PcmData* out) {
  SF_VIRTUAL_IO io = {mem_length, mem_seek, mem_read, mem_write, mem_tell};
  MemoryFile m = {(const unsigned char*)data, sf_count_t(size), 0};
  SF_INFO info;
  memset(&info, 0, sizeof(info));
  SNDFILE* f = sf_open_virtual(&io, SFM_READ, &info, &m);
  if (!f) return false;
  bool ok = false;
  int64_t decoded = int64_t(info.frames) * (info.channels > 0 ? info.channels : 1) * int64_t(sizeof(float));
  if (info.frames > 0 && decoded > SOUND_MAX_DECODED_BYTES) {
    debug("'%s' decodes to %lld MB, more than the %lld MB a sound may take: not loaded", name,
          (long long)(decoded >> 20), (long long)(SOUND_MAX_DECODED_BYTES >> 20));
  } else if (info.channels >= 1 && info.samplerate > 0 && info.frames > 0 && info.frames < (int64_t(1) << 31)) {
    int keep = info.channels >= 2 ? 2 : 1;
    float* all = (float*)dlmalloc(size_t(info.frames) * size_t(info.channels) * sizeof(float));
    float* pcm = (float*)dlmalloc(size_t(info.frames) * size_t(keep) * sizeof(float));
    if (all && pcm) {
      sf_count_t got = sf_readf_float(f, all, info.frames);
      if (got > 0) {
        for (sf_count_t i = 0; i < got; i++)
          for (int c = 0; c < keep; c++) pcm[i * keep + c] = all[i * info.channels + c];
        out->frames = pcm;
        out->channels = keep;
        out->count = got;
        out->rate = info.samplerate;
        pcm = nullptr;
        ok = true;
      }
    }
    if (all) dlfree(all);
    if (pcm) dlfree(pcm);
  }
  sf_close(f);
  return ok;
}

// Reads `size` bytes from `offset` (size <= 0: to the end). Null on failure; *got is the size read.
void* read_file_part(const char* name, int offset, int size, int64_t* got) {
  int error = 0;
  FILE* f = open_regular_file(name, &error);
  if (!f) {
    debug("can't read sound file '%s': %s", name, file_error_text(error));
    return nullptr;
  }
  void* mem = nullptr;
  long end = -1;
  if (fseek(f, 0, SEEK_END) == 0) end = ftell(f);
  int64_t n = size > 0 ? size : int64_t(end) - offset;
  if (n > SOUND_MAX_FILE_BYTES) {
    debug("sound file '%s' is %lld MB, more than the %lld MB a sound may take: not loaded", name, (long long)(n >> 20),
          (long long)(SOUND_MAX_FILE_BYTES >> 20));
  } else if (end >= 0 && offset >= 0 && n > 0 && fseek(f, offset, SEEK_SET) == 0) {
    mem = dlmalloc(size_t(n));
    if (mem && fread(mem, 1, size_t(n), f) != size_t(n)) {
      dlfree(mem);
      mem = nullptr;
    }
  }
  fclose(f);
  *got = n;
  return mem;
}

void free_pcm(PcmData* p) {
  if (p->frames) dlfree(p->frames);
  *p = PcmData();
}

// ---- 3D

float length3(const vec4float& v) { return sqrtf(v.x() * v.x() + v.y() * v.y() + v.z() * v.z()); }

// Positions, distances and velocities are in the game's units; the distance factor says how many
// metres a unit is, which matters only against the speed of sound (the Doppler shift): the
// attenuation works in units, so changing the factor leaves every gain as it was.
const float SPEED_OF_SOUND = 343.3f;  // metres per second

float dot3(const vec4float& a, const vec4float& b) { return a.x() * b.x() + a.y() * b.y() + a.z() * b.z(); }

// The pitch factor of a moving source heard by a moving listener: the speeds along the line between
// them, in metres per second, scaled by the Doppler factor (0 turns the shift off).
double doppler_ratio(const vec4float& source_to_listener, const vec4float& source_vel) {
  float dist = length3(source_to_listener);
  if (dist <= 0.0f || listener.doppler <= 0.0f) return 1.0;
  float scale = listener.distance * listener.doppler / dist;
  float toward_listener = dot3(source_to_listener, source_vel) * scale;  // the source approaching
  float listener_away = dot3(source_to_listener, listener.vel) * scale;  // the listener receding
  // Near the speed of sound the shift has no sensible value; keep both speeds below it.
  const float limit = SPEED_OF_SOUND * 0.9f;
  if (toward_listener > limit) toward_listener = limit;
  if (listener_away > limit) listener_away = limit;
  if (toward_listener < -limit) toward_listener = -limit;
  if (listener_away < -limit) listener_away = -limit;
  return double(SPEED_OF_SOUND - listener_away) / double(SPEED_OF_SOUND - toward_listener);
}

void update_3d_voice(int v) {
  VoiceRec& r = voice_recs[v];
  MixVoice& m = voices[v];
  if (!sound_3d || !r.is_3d) {
    m.gain_3d = 1.0f;
    m.pan = r.base_pan;
    m.step = r.base_step;
    return;
  }
  vec4float rel = r.pos - listener.pos;
  float d = length3(rel);
  float mind = r.min_dist > 0.0f ? r.min_dist : 1.0f;
  float maxd = r.max_dist > mind ? r.max_dist : mind;
  float dd = d < maxd ? d : maxd;
  m.gain_3d = dd <= mind ? 1.0f : mind / (mind + listener.rolloff * (dd - mind));
  // Right of the listener: top x front.
  const vec4float& t = listener.top;
  const vec4float& f = listener.front;
  float rx = t.y() * f.z() - t.z() * f.y(), ry = t.z() * f.x() - t.x() * f.z(), rz = t.x() * f.y() - t.y() * f.x();
  float rl = sqrtf(rx * rx + ry * ry + rz * rz);
  float side = rl > 0.0f && d > 0.0f ? (rel.x() * rx + rel.y() * ry + rel.z() * rz) / (rl * length3(rel)) : 0.0f;
  m.pan = side;
  m.step = r.base_step * doppler_ratio(listener.pos - r.pos, r.vel);
}

bool open_layer(bool use_3d) {
  for (int i = 0; i < MAX_VOICES; i++) release_voice(i);
  sound_3d = use_3d;
  master_volume = 1.0f;
  output_limiter = MixLimiter();
  output_limiter.hold_frames = OUTPUT_RATE / 20;
  output_limiter.release = expf(logf(10.0f) / (0.25f * float(OUTPUT_RATE)));
  global_sample_volume = global_stream_volume = 10000;
  listener = Listener();
  sound_stream_to_chain = 0;
  sound_open = true;
  return true;
}

}  // namespace

// ---- device

bool init_sound(bool use_3d) {
  if (sound_open) close_sound();
  char why[300];
  switch (plat_audio_open(OUTPUT_RATE, OUTPUT_FRAMES, mix_sound_output, why, int(sizeof(why)))) {
    case PLAT_AUDIO_OPEN:
      break;
    case PLAT_AUDIO_WRONG_LIBRARY:
      debug("Incorrect BASS version");
      return false;
    case PLAT_AUDIO_NOT_STARTED:
      debug("can't start audio: %s", why);
      return false;
    case PLAT_AUDIO_NO_DEVICE:
      debug("no audio device (%s), sound is off", why);
      return false;
    case PLAT_AUDIO_OPEN_FAILED:
      debug("can't open audio device (%s), sound is off", why);
      return false;
  }
  // The device is already asking for sound: the layer opens under its lock.
  device_open = true;
  {
    DeviceLock lock;
    open_layer(use_3d);
  }
  debug("BASS init OK, %s mode", use_3d ? "3d" : "2d");
  return true;
}

bool is_sound_open() { return sound_open; }
int get_sound_output_rate() { return OUTPUT_RATE; }
float get_sound_output_gain() {
  DeviceLock lock;
  return output_limiter.gain;
}
uint64_t get_sound_output_samples_over_full_scale() {
  DeviceLock lock;
  return output_limiter.over_full_scale;
}

bool close_sound() {
  debug("closing BASS");
  if (device_open) plat_audio_close();
  device_open = false;
  bool was_open = sound_open;
  for (int i = 0; i < MAX_STREAMS; i++)
    if (streams[i].used) {
      free_pcm(&streams[i].pcm);
      if (streams[i].memory) dlfree(streams[i].memory);
      streams[i] = StreamRec();
    }
  for (int i = 0; i < MAX_SAMPLES; i++)
    if (samples[i].used) {
      free_pcm(&samples[i].pcm);
      samples[i] = SampleRec();
    }
  for (int i = 0; i < MAX_VOICES; i++) release_voice(i);
  sound_open = false;
  return was_open;
}

void mix_sound_output(float* out, int frames) {
  mix_voices(voices, MAX_VOICES, out, frames, master_volume, &output_limiter);
  // End notices of chained streams; a stopped sample voice keeps its slot for the next playback.
  for (int i = 0; i < MAX_VOICES; i++) {
    VoiceRec& r = voice_recs[i];
    if (!r.used || voices[i].ends == r.seen_ends) continue;
    r.seen_ends = voices[i].ends;
    if (r.chained) sound_stream_to_chain = r.handle;
  }
}

// ---- volumes

float get_master_volume() { return master_volume; }
void set_master_volume(float volume) {
  DeviceLock lock;
  master_volume = volume < 0.0f ? 0.0f : (volume > 1.0f ? 1.0f : volume);
}
void set_global_sample_volume(int volume) {
  DeviceLock lock;
  global_sample_volume = volume < 0 ? 0 : (volume > 10000 ? 10000 : volume);
  refresh_group_gains();
}
int get_global_sample_volume() { return global_sample_volume; }
void set_global_stream_volume(int volume) {
  DeviceLock lock;
  global_stream_volume = volume < 0 ? 0 : (volume > 10000 ? 10000 : volume);
  refresh_group_gains();
}
int get_global_stream_volume() { return global_stream_volume; }

// ---- samples

SoundSample load_sound_sample(const char* name, int max_playbacks, int flags, int override_mode, int offset,
                              int length) {
  if (!sound_open) return 0;
  int slot = -1;
  for (int i = 0; i < MAX_SAMPLES && slot < 0; i++)
    if (!samples[i].used) slot = i;
  int64_t size = 0;
  void* mem = slot >= 0 && name ? read_file_part(name, offset, length, &size) : nullptr;
  PcmData pcm;
  bool ok = mem && decode_memory(name, mem, size, &pcm);
  if (mem) dlfree(mem);
  if (!ok) {
    debug("error loading sample from '%s'", name ? name : "");
    return 0;
  }
  SampleRec& s = samples[slot];
  s = SampleRec();
  s.used = true;
  s.handle = make_handle(KIND_SAMPLE, slot);
  s.pcm = pcm;
  s.max_playbacks = max_playbacks < 1 ? 1 : max_playbacks;
  s.flags = flags;
  s.override_mode = override_mode;
  return s.handle;
}

bool free_sound_sample(SoundSample sample) {
  SampleRec* s = find_sample(sample);
  if (!s) return false;
  int index = int(s - samples);
  {
    DeviceLock lock;
    for (int i = 0; i < MAX_VOICES; i++)
      if (voice_recs[i].used && voice_recs[i].sample == index) release_voice(i);
  }
  free_pcm(&s->pcm);
  *s = SampleRec();
  return true;
}

bool set_sound_sample_volume(SoundSample sample, float volume) {
  SampleRec* s = find_sample(sample);
  if (!s) return false;
  s->volume = volume < 0.0f ? 0.0f : (volume > 1.0f ? 1.0f : volume);
  return true;
}

bool set_sound_sample_dist(SoundSample sample, float min_dist, float max_dist) {
  SampleRec* s = find_sample(sample);
  if (!s) return false;
  s->min_dist = min_dist;
  s->max_dist = max_dist;
  return true;
}

static void start_sample_voice(int v, const SampleRec& s, int sample_index, uint32_t handle) {
  VoiceRec& r = voice_recs[v];
  r = VoiceRec();
  r.used = true;
  r.handle = handle;
  r.sample = sample_index;
  r.is_3d = (s.flags & SNDF_3D) != 0;
  r.min_dist = s.min_dist;
  r.max_dist = s.max_dist;
  MixVoice& m = voices[v];
  m = MixVoice();
  m.data = s.pcm.frames;
  m.channels = s.pcm.channels;
  m.frames = s.pcm.count;
  m.step = r.base_step = double(s.pcm.rate) / OUTPUT_RATE;
  m.loop = (s.flags & SNDF_LOOP) != 0;
  m.volume = s.volume;
  m.group_gain = group_gain(r);
  update_3d_voice(v);
}

SoundChannel get_sound_sample_channel(SoundSample sample, bool only_new) {
  SampleRec* s = find_sample(sample);
  if (!s) return 0;
  int index = int(s - samples);
  DeviceLock lock;
  int count = 0, idle = -1;
  for (int i = 0; i < MAX_VOICES; i++) {
    if (!voice_recs[i].used || voice_recs[i].sample != index) continue;
    count++;
    if (idle < 0 && voices[i].state == MIX_STOPPED) idle = i;
  }
  if (idle >= 0 && !only_new) {
    // A channel that is not playing is handed out again, from the start.
    start_sample_voice(idle, *s, index, voice_recs[idle].handle);
    return voice_recs[idle].handle;
  }
  if (count < s->max_playbacks || idle >= 0) {
    // A new channel: a free slot while the sample has room, else the place of one not playing.
    int v = count < s->max_playbacks ? free_voice_slot() : idle;
    if (v < 0) return 0;
    uint32_t h = make_handle(KIND_CHANNEL, v);
    start_sample_voice(v, *s, index, h);
    return h;
  }
  if (only_new) return 0;
  // Every playback is busy: replace one by the sample's override rule.
  int mode = s->override_mode;
  if (mode == 1) mode = (s->flags & SNDF_3D) ? 4 : 3;
  if (mode < 2 || mode > 4) return 0;
  int victim = -1;
  float best = 0.0f;
  for (int i = 0; i < MAX_VOICES; i++) {
    if (!voice_recs[i].used || voice_recs[i].sample != index) continue;
    float key = 0.0f;
    if (mode == 2) key = -voices[i].volume;                // quietest
    else if (mode == 3) key = float(voices[i].pos);        // playing longest
    else key = length3(voice_recs[i].pos - listener.pos);  // farthest
    if (victim < 0 || key > best) {
      victim = i;
      best = key;
    }
  }
  if (victim < 0) return 0;
  uint32_t h = make_handle(KIND_CHANNEL, victim);
  start_sample_voice(victim, *s, index, h);
  return h;
}

// ---- streams

SoundStream load_sound_stream(const char* name, double loop_point, int flags, int offset, int size) {
  if (!sound_open) return 0;
  int error = 0;
  FILE* f = open_regular_file(name, &error);
  if (!f) {
    debug("failed to open stream file '%s': %s", name, file_error_text(error));
    return 0;
  }
  long end = -1;
  if (fseek(f, 0, SEEK_END) == 0) end = ftell(f);
  int64_t n = size > 0 ? int64_t(size) : int64_t(end) - offset;
  if (n <= 0 || offset < 0) {
    debug("invalid offset %d for '%s'", offset, name);
    fclose(f);
    return 0;
  }
  if (n > SOUND_MAX_FILE_BYTES) {
    debug("stream file '%s' is %lld MB, more than the %lld MB a stream may take: not loaded", name,
          (long long)(n >> 20), (long long)(SOUND_MAX_FILE_BYTES >> 20));
    fclose(f);
    return 0;
  }
  void* mem = dlmalloc(size_t(n));
  if (!mem) {
    debug("not enough memory for '%s'", name);
    fclose(f);
    return 0;
  }
  if (fseek(f, offset, SEEK_SET) != 0 || fread(mem, 1, size_t(n), f) != size_t(n)) {
    debug("error reading stream file '%s'", name);
    dlfree(mem);
    fclose(f);
    return 0;
  }
  fclose(f);
  int slot = -1;
  for (int i = 0; i < MAX_STREAMS && slot < 0; i++)
    if (!streams[i].used) slot = i;
  int v = free_voice_slot();
  PcmData pcm;
  if (slot < 0 || v < 0 || !decode_memory(name, mem, n, &pcm)) {
    debug("error creating stream from '%s'", name);
    dlfree(mem);
    return 0;
  }
  StreamRec& s = streams[slot];
  s.used = true;
  s.memory = mem;
  s.pcm = pcm;
  s.voice = v;
  uint32_t h = make_handle(KIND_STREAM, slot);
  DeviceLock lock;
  VoiceRec& r = voice_recs[v];
  r = VoiceRec();
  r.used = true;
  r.handle = h;
  r.stream = slot;
  r.is_3d = (flags & SNDF_3D) != 0;
  r.chained = (flags & SNDF_CHAINED) != 0;
  MixVoice& m = voices[v];
  m = MixVoice();
  m.data = pcm.frames;
  m.channels = pcm.channels;
  m.frames = pcm.count;
  m.step = r.base_step = double(pcm.rate) / OUTPUT_RATE;
  m.loop = (flags & SNDF_LOOP) != 0;
  m.group_gain = group_gain(r);
  if (loop_point >= 0.0) {
    double frame = loop_point * pcm.rate;
    m.loop_start = frame < double(pcm.count) ? frame : 0.0;  // a point past the end starts over
  }
  update_3d_voice(v);
  return h;
}

bool free_sound_stream(SoundStream stream) {
  int v = find_voice(stream);
  if (v < 0 || handle_kind(stream) != KIND_STREAM) return false;
  int slot = handle_index(stream);
  {
    DeviceLock lock;
    release_voice(v);
  }
  free_pcm(&streams[slot].pcm);
  if (streams[slot].memory) dlfree(streams[slot].memory);
  streams[slot] = StreamRec();
  return true;
}

// ---- channels

bool play_sound(SoundChannel channel, bool restart) {
  int v = find_voice(channel);
  if (v < 0) return false;
  DeviceLock lock;
  if (restart) voices[v].pos = 0.0;
  voices[v].state = MIX_PLAYING;
  return true;
}

bool pause_sound(SoundChannel channel) {
  int v = find_voice(channel);
  if (v < 0 || voices[v].state != MIX_PLAYING) return false;
  DeviceLock lock;
  voices[v].state = MIX_PAUSED;
  return true;
}

bool stop_sound(SoundChannel channel) {
  int v = find_voice(channel);
  if (v < 0) return false;
  DeviceLock lock;
  voices[v].state = MIX_STOPPED;
  voices[v].slide_frames = 0;
  return true;
}

bool is_sound_playing(SoundChannel channel) {
  int v = find_voice(channel);
  return v >= 0 && voices[v].state == MIX_PLAYING;
}

bool set_sound_volume(SoundChannel channel, float volume) {
  int v = find_voice(channel);
  if (v < 0) return false;
  DeviceLock lock;
  voices[v].volume = volume < 0.0f ? 0.0f : (volume > 1.0f ? 1.0f : volume);
  voices[v].slide_frames = 0;
  return true;
}

bool set_sound_pan(SoundChannel channel, float pan) {
  int v = find_voice(channel);
  if (v < 0) return false;
  DeviceLock lock;
  voice_recs[v].base_pan = pan < -1.0f ? -1.0f : (pan > 1.0f ? 1.0f : pan);
  if (!(sound_3d && voice_recs[v].is_3d)) voices[v].pan = voice_recs[v].base_pan;
  return true;
}

bool slide_sound_volume(SoundChannel channel, float volume, int msec) {
  int v = find_voice(channel);
  if (v < 0) return false;
  if (msec <= 0) {
    if (volume < 0.0f) return fade_out_and_stop_sound(channel, 0);
    return set_sound_volume(channel, volume);
  }
  DeviceLock lock;
  MixVoice& m = voices[v];
  int64_t frames = int64_t(msec) * OUTPUT_RATE / 1000;
  if (frames < 1) frames = 1;
  float target = volume > 1.0f ? 1.0f : volume;
  float end_volume = target < 0.0f ? 0.0f : target;
  m.slide_target = target < 0.0f ? -1.0f : target;
  m.slide_step = (end_volume - m.volume) / float(frames);
  m.slide_frames = frames;
  return true;
}

bool set_relative_sound_pos(SoundChannel channel, float fraction) {
  int v = find_voice(channel);
  if (v < 0) return false;
  DeviceLock lock;
  MixVoice& m = voices[v];
  double p = double(fraction) * double(m.frames);
  if (p < 0.0) p = 0.0;
  if (p >= double(m.frames)) return false;
  m.pos = p;
  return true;
}

bool fade_out_and_stop_sound(SoundChannel channel, int msec) {
  if (msec > 0) return slide_sound_volume(channel, -1.0f, msec);
  int v = find_voice(channel);
  if (v < 0) return false;
  DeviceLock lock;
  voices[v].volume = 0.0f;
  voices[v].slide_frames = 0;
  voices[v].state = MIX_STOPPED;
  return true;
}

double get_sound_position(SoundChannel channel) {
  int v = find_voice(channel);
  if (v < 0) return -1.0;
  DeviceLock lock;
  return voices[v].pos / (voice_recs[v].base_step * OUTPUT_RATE);
}

float get_sound_volume(SoundChannel channel) {
  int v = find_voice(channel);
  if (v < 0) return -1.0f;
  DeviceLock lock;
  return voices[v].volume;
}

// ---- 3D

bool set_listener_3d_factors(float distance, float rolloff, float doppler) {
  if (!sound_open || !sound_3d) return false;
  if (distance > 0.0f) listener.distance = distance;
  if (rolloff >= 0.0f) listener.rolloff = rolloff;
  if (doppler >= 0.0f) listener.doppler = doppler;
  return true;
}

bool set_sound_3d_params(SoundChannel channel, float min_dist, float max_dist) {
  int v = find_voice(channel);
  if (v < 0 || !voice_recs[v].is_3d) return false;
  voice_recs[v].min_dist = min_dist;
  voice_recs[v].max_dist = max_dist;
  return true;
}

bool set_listener_pos(const vec4float& pos, const vec4float& vel, const vec4float& front, const vec4float& top) {
  if (!sound_open || !sound_3d) return false;
  listener.pos = pos;
  listener.vel = vel;
  listener.front = front;
  listener.top = top;
  return true;
}

bool set_sound_3d_pos(SoundChannel channel, const vec4float& pos) {
  int v = find_voice(channel);
  if (v < 0 || !voice_recs[v].is_3d) return false;
  voice_recs[v].pos = pos;
  return true;
}

bool set_sound_3d_pos(SoundChannel channel, const vec4float& pos, const vec4float& vel) {
  int v = find_voice(channel);
  if (v < 0 || !voice_recs[v].is_3d) return false;
  voice_recs[v].pos = pos;
  voice_recs[v].vel = vel;
  return true;
}

bool get_sound_3d_pos(SoundChannel channel, vec4float* pos) {
  int v = find_voice(channel);
  if (v < 0 || !voice_recs[v].is_3d) return false;
  const vec4float& p = voice_recs[v].pos;
  *pos = vec4float(p.x(), p.y(), p.z(), 1.0f);
  return true;
}

bool apply_3d_sound() {
  if (!sound_open || !sound_3d) return false;
  DeviceLock lock;
  for (int i = 0; i < MAX_VOICES; i++)
    if (voice_recs[i].used && voice_recs[i].is_3d) update_3d_voice(i);
  return true;
}

// Decodes a file image exactly as loading a sample does and frees the result; for the fuzzer.
bool decode_sound_file_image(const void* data, int64_t size, int64_t* frames, int* channels) {
  PcmData pcm;
  if (!decode_memory("(file image)", data, size, &pcm)) return false;
  *frames = pcm.count;
  *channels = pcm.channels;
  free_pcm(&pcm);
  return true;
}
