// Textures: the fixed table of 1000 slots (a Texture* is the address of its slot and survives a
// reset or a hot reload), creation of the common kinds, locks, sampler binding, the reset hooks of
// the default pool, the texture manager that shares ".dds" files by name, and the DDS loader.
#pragma once
#include <stdint.h>
#include "engine/misc/utils.h"
#include "platform/d3d9/d3d9.h"

const int MAX_TEXTURES = 1000;

struct Texture {
  IDirect3DTexture9* tex;
  int width, height;  // 0 x 0: the back-buffer size, re-read at every (re)creation
  int levels;
  DWORD usage;
  D3DFORMAT format;
  D3DPOOL pool;
  uint8_t in_use;
};

extern Texture texture_table[MAX_TEXTURES];

Texture* create_texture(int width, int height, int levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
Texture* create_dynamic_texture(int width, int height);
Texture* create_managed_texture(int width, int height);
Texture* adopt_texture(IDirect3DTexture9* tex);
void destroy_texture(Texture* t);
void* lock_texture(Texture* t, int* pitch, bool discard);
void unlock_texture(Texture* t);
void set_texture(int stage, Texture* t);
void set_texture_filter(int stage, bool linear);
void set_texture_address(int stage, int u, int v, int w);
int get_texture_width(Texture* t);
int get_texture_height(Texture* t);
IDirect3DTexture9* get_texture_object(Texture* t);
int count_textures_in_use();

// Reset and shutdown hooks of the device.
void release_default_textures();
void recreate_default_textures();
void release_all_textures();

// The texture manager.
Texture* get_texture(const char* name, bool required);
void free_texture(Texture* t);
void free_all_textures();
void reload_textures(bool flag);
int get_texture_ref_count(Texture* t);  // 0 for textures the manager does not hold
Texture* load_dds_texture(const char* name);
