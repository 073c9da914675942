// Sprites: every PNG under "sprites/" (with its optional ".cfg": origin and nine-patch margins),
// packed at scene start-up into one square atlas of 16 to 1024 texels a side, found by name, and
// turned into quads for the world (sprite batch) and for the GUI (screen pixels, y down).
//
// Row order: a sprite's pixels are kept as the image reader returns them, the picture's bottom row
// first, and "oy" counts up from that row. The atlas holds each sprite with that row at the top of
// its rectangle (the lower v), so world quads (y up) and GUI quads (y down) both show it upright.
#pragma once
#include <stdint.h>
#include "engine/config.h"
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"
#include "engine/misc/vecMath.h"

class BaseRenderBatchState;
struct Texture;

// A vertex of the sprite batch: position, and texture coordinates in 1/16384 of the atlas.
struct SpriteVertex {
  float x, y, z;
  int16_t u, v;
};
static_assert(sizeof(SpriteVertex) == 16, "sprite vertex is 16 bytes");

// A GUI image vertex: screen pixels (y down), colour, normalised texture coordinates.
struct GuiImageVertex {
  float x, y;
  D3dColor colour;
  float u, v;
};
static_assert(sizeof(GuiImageVertex) == 20, "GUI image vertex is 20 bytes");

struct Sprite {
  int width = 0;
  int height = 0;
  int ox = 0;  // origin, texels from the left edge
  int oy = 0;  // origin, texels up from the picture's bottom row
  BaseRenderBatchState* state = nullptr;
  // While packing: left, top hold the atlas position; afterwards all four are in 1/16384 of the
  // atlas side. "top" is the atlas row of the sprite's first pixel row (the picture's bottom).
  int rect[4] = {0, 0, 0, 0};
  String name;
  DynArray<uint32_t> pixels;  // width * height, the picture's bottom row first
  ConfigNode* config = nullptr;
  int npl = 0, npt = 0, npr = 0, npb = 0;  // nine-patch margins

  Sprite() = default;
  ~Sprite();
  Sprite(const Sprite&) = delete;
  Sprite& operator=(const Sprite&) = delete;

  // World drawing into the sprite batch. axes = (m0, m1, m2, m3): the sprite's x axis in the world
  // is (m0, m1) per texel, its y axis (towards higher rows, up the picture) (m2, m3).
  void render(vec4float position, vec4float axes);
  void draw(vec4float position, bool flip_x, bool flip_y);
  void draw(vec4float position, vec4float direction, bool flip);
  // The six vertices of render(); box receives the batch's sort box (min x, min y, max x, max y).
  void makeQuad(vec4float position, vec4float axes, SpriteVertex out[6], float box[4]) const;

  // GUI drawing into the GUI batch (screen pixels, y down, `scale` screen pixels per texel).
  void drawCroppedUI(float x, float y, int cropLeft, int cropTop, int cropRight, int cropBottom, D3dColor colour,
                     int scale);
  void drawUI(__m128 box, D3dColor colour, int scale);
  // The six vertices of drawCroppedUI; false (nothing to draw) when the crops leave no area.
  bool makeCroppedUIQuad(float x, float y, int cropLeft, int cropTop, int cropRight, int cropBottom, D3dColor colour,
                         int scale, GuiImageVertex out[6], float box[4]) const;
};

extern int spriteTexSize;

void init_sprites();
void close_sprites();
Sprite* get_sprite(const char* name, bool must_exist);
Texture* get_sprites_tex();
// The tile texture that shades every atlas texel as a voxel (also bound by the GUI mode).
Texture* get_sprite_tile_texture();
// Sets the sprite pass's transform (c0..c3) to screen pixels: world units of `scale` pixels, the
// origin at the screen's bottom-left, y up. The level's own view sets it in the game.
void set_sprite_pixel_transform(float scale);
void start_sprite_render();
void end_sprite_render();

// The sprite list in atlas order and the composed atlas image (spriteTexSize squared pixels, row 0
// at the top of the texture), kept for the texture upload.
const DynArray<Sprite*>& get_sprite_list();
const uint32_t* get_sprite_atlas_pixels();

// Steps of init_sprites, usable on their own: loading a folder tree below "sprites/" + prefix,
// reading one sprite's settings from its config, and packing the list (false when the side is too
// small; positions go to rect[0], rect[1]).
void load_sprites_dir(const char* prefix);
void apply_sprite_config(Sprite& s);
bool pack_sprites(DynArray<Sprite*>& sprites, int side);

// Until the renderer's batches exist, the quads of a frame collect here: world quads between
// start_sprite_render and end_sprite_render, GUI quads until the GUI batch is rendered.
DynArray<SpriteVertex>& sprite_batch_vertices();
DynArray<GuiImageVertex>& gui_image_vertices();
