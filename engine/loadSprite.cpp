// Sprite loading, the atlas packer, the atlas texture and the sprite quads: world quads go into the
// sprite batch, GUI quads into gui_batch. Without a device (headless tools and tests) the quads
// are kept in memory instead.
// Sections: state and loading; atlas; quads.
#include "engine/loadSprite.h"
#include <errno.h>
#include <math.h>
#include <string.h>
#include <new>
#include "engine/d3d_misc.h"
#include "engine/d3d_render.h"
#include "engine/d3d_shaders.h"
#include "engine/d3d_vbuf.h"
#include "engine/imageFiles.h"
#include "engine/log.h"
#include "engine/renderBatch.h"
#include "engine/sysUtils.h"
#include "engine/uiDraw.h"
#include "platform/platform.h"

int spriteTexSize = 0;

// ---- state and loading

namespace {
DynArray<Sprite*> sprites;
DynArray<uint32_t> atlas_pixels;
DynArray<SpriteVertex> world_vertices;
DynArray<GuiImageVertex> gui_vertices;
Texture* atlas_texture = nullptr;
Texture* tile_texture = nullptr;  // "voxel-tile.dds": each atlas texel is shaded as one voxel
bool own_tile_texture = false;    // the grey stand-in made when the file is missing
Shader* sprite_shader = nullptr;
StdRenderBatchState* sprite_state = nullptr;
RenderBatch* sprite_batch = nullptr;
const int MAX_ATLAS_SIDE = 1024;
const VertexElement SPRITE_VERTEX_ELEMENTS[] = {
    {0, 0, VE_FLOAT3, VU_POSITION, 0}, {12, 0, VE_SHORT2, VU_TEXCOORD, 0}, VE_END};

void create_atlas_texture(int side) {
  atlas_texture = create_managed_texture(side, side);
  if (!atlas_texture) fatal("Can't create sprites atlas texture");
  int pitch = 0;
  uint8_t* p = (uint8_t*)lock_texture(atlas_texture, &pitch, true);
  if (!p) fatal("Can't lock sprites atlas texture");
  for (int y = 0; y < side; y++) memcpy(p + size_t(y) * pitch, atlas_pixels.data + size_t(y) * side, size_t(side) * 4);
  unlock_texture(atlas_texture);
}

void open_tile_texture() {
  tile_texture = get_texture("voxel-tile.dds", false);
  own_tile_texture = false;
  if (tile_texture) return;
  // A texel of 0x80 shades by 1.0 (the shaders double it): sprites show their own colours.
  tile_texture = create_managed_texture(1, 1);
  if (!tile_texture) return;
  own_tile_texture = true;
  int pitch = 0;
  D3dColor* p = (D3dColor*)lock_texture(tile_texture, &pitch, false);
  if (p) *p = 0xFF808080;
  unlock_texture(tile_texture);
}

Sprite* find_sprite(const char* name) {
  for (Sprite* s : sprites)
    if (s->name == name) return s;
  return nullptr;
}

Sprite* append_sprite(const char* name) {
  void* mem = dlmalloc(sizeof(Sprite));
  ASSERT(mem);
  Sprite* s = new (mem) Sprite();
  s->name = name;
  sprites.push_back(s);
  return s;
}

void free_sprite(Sprite* s) {
  s->~Sprite();
  dlfree(s);
}

// Names on the shared heap (the array moves raw bytes and runs no destructors: free() clears them).
struct DirListing {
  DynArray<String> folders;
  DynArray<String> files;
  ~DirListing() {
    for (String& s : folders) s.clear();
    for (String& s : files) s.clear();
    folders.free();
    files.free();
  }
};

void collect_entry(void* ctx, const char* name, bool is_folder) {
  DirListing* l = (DirListing*)ctx;
  (is_folder ? l->folders : l->files).push_back() = name;  // zero-filled: a null String
}

bool ends_with(const char* s, const char* tail) {
  size_t ls = strlen(s), lt = strlen(tail);
  return ls >= lt && strcmp(s + ls - lt, tail) == 0;
}

void load_sprite_image(const char* prefix, const char* file) {
  PathString rel = make_path("sprites/%s%s", prefix, file);
  PathString name = make_path("%s%.*s", prefix, int(strlen(file)) - 4, file);
  int wd = 0, ht = 0;
  DynArray<uint32_t> pixels;
  TempString<256> why;
  if (!load_png(make_full_path(rel), wd, ht, pixels, why))
    fatal("Error loading sprite image %s: %s", rel.c_str(), why.c_str());
  ASSERT(pixels.size()==wd*ht);
  Sprite* s = find_sprite(name);
  if (!s) {
    s = append_sprite(name);
    s->width = wd;
    s->height = ht;
  } else if (s->width == 0 && s->height == 0) {
    s->width = wd;
    s->height = ht;
  }
  if (s->width != wd || s->height != ht)
    fatal("Expected %dx%d sprite image %s, got %dx%d", s->width, s->height, rel.c_str(), wd, ht);
  s->pixels = static_cast<DynArray<uint32_t>&&>(pixels);
}

void load_sprite_config(const char* prefix, const char* file) {
  PathString rel = make_path("sprites/%s%s", prefix, file);
  PathString name = make_path("%s%.*s", prefix, int(strlen(file)) - 4, file);
  Sprite* s = find_sprite(name);
  if (!s) s = append_sprite(name);
  if (s->config) fatal("Duplicate sprite config %s", rel.c_str());
  s->config = ConfigNode::fromFile(make_full_path(rel));
  if (!s->config) fatal("Error loading sprite config %s", rel.c_str());
}

int compare_area(void*, const void* a, const void* b) {
  const Sprite* sa = *(const Sprite* const*)a;
  const Sprite* sb = *(const Sprite* const*)b;
  long long aa = (long long)sa->width * sa->height, ab = (long long)sb->width * sb->height;
  if (aa != ab) return aa > ab ? -1 : 1;
  // Equal areas in name order, so every build packs the same atlas.
  return strcmp(sa->name.text(), sb->name.text());
}

int clamp_margin(int v, int limit) { return v < 0 ? 0 : v > limit ? limit : v; }
}  // namespace

Sprite::~Sprite() {
  if (config) {
    config->~ConfigNode();
    dlfree(config);
  }
  config = nullptr;
  pixels.free();
  name.clear();
}

namespace {
void load_sprites_folder(const char* prefix, FolderWalk& walk) {
  PathString folder = make_full_path(make_path("sprites/%s", prefix));
  if (!walk.enter(folder)) return;
  DirListing listing;
  // The folder is there (the walk entered it): a listing that fails would lose its sprites without
  // a word, and the game would stop later blaming a sprite it cannot find.
  if (!plat_list_folder(folder, collect_entry, &listing)) {
    int error = errno;
    fatal("can't read sprite folder %s: %s", make_path("sprites/%s", prefix).c_str(), strerror(error));
  }
  for (const String& f : listing.folders) {
    if (f.text()[0] == '.') continue;
    load_sprites_folder(make_path("%s%s/", prefix, f.text()), walk);
  }
  walk.leave();
  for (const String& f : listing.files) {
    const char* n = f.text();
    if (strlen(n) <= 4) continue;
    if (ends_with(n, ".png")) load_sprite_image(prefix, n);
    else if (ends_with(n, ".cfg")) load_sprite_config(prefix, n);
  }
}
}  // namespace

// Folder links may point anywhere, back up the tree too: the walk stops at a folder it is already
// inside and at a depth no sprite set needs.
void load_sprites_dir(const char* prefix) {
  FolderWalk walk;
  load_sprites_folder(prefix, walk);
}

void apply_sprite_config(Sprite& s) {
  if (!s.config) {
    void* mem = dlmalloc(sizeof(ConfigNode));
    ASSERT(mem);
    s.config = new (mem) ConfigNode();
  }
  s.ox = s.config->getInt("ox", s.width / 2);
  s.oy = s.config->getInt("oy", 0);
  // Margins outside the image would make the GUI's nine-patch cut beyond the sprite: keep them
  // inside it.
  s.npl = clamp_margin(s.config->getInt("npl", 0), s.width);
  s.npt = clamp_margin(s.config->getInt("npt", 0), s.height);
  s.npr = clamp_margin(s.config->getInt("npr", 0), s.width);
  s.npb = clamp_margin(s.config->getInt("npb", 0), s.height);
}

// ---- atlas

bool pack_sprites(DynArray<Sprite*>& list, int side) {
  for (int i = 0; i < list.size(); i++) {
    Sprite* s = list[i];
    int w = s->width + 1, h = s->height + 1;
    if (h > side || w > side) return false;
    bool placed = false;
    for (int y = 0; !placed; y++) {
      if (y + h > side) return false;
      int x = 0;
      while (x + w <= side) {
        bool overlap = false;
        for (int j = 0; j < i; j++) {
          const Sprite* p = list[j];
          int px = p->rect[0], py = p->rect[1];
          if (x < px + p->width + 1 && px < x + w && y < py + p->height + 1 && py < y + h) {
            x = px + p->width + 1;
            overlap = true;
            break;
          }
        }
        if (!overlap) {
          s->rect[0] = x;
          s->rect[1] = y;
          placed = true;
          break;
        }
      }
    }
  }
  return true;
}

namespace {
// The image a sprite made by its ".cfg" alone should have had, and why it has none.
PathString missing_image_path(const Sprite& s) { return make_path("sprites/%s.png", s.name.text()); }
bool image_is_folder(const Sprite& s) {
  uint64_t device = 0, inode = 0;
  return plat_folder_identity(make_full_path(missing_image_path(s)), &device, &inode);
}
const char* missing_image_reason(const Sprite& s) {
  return image_is_folder(s) ? "a folder, not an image" : "no such file";
}
bool has_no_image(const Sprite& s) { return s.width == 0 && s.height == 0 && s.pixels.empty(); }

// A ".cfg" whose image is missing leaves a sprite of no size: loading goes on (a sprite nobody asks
// for is harmless), but it is said here, and asking for it as a required sprite is fatal. An image
// whose name is taken by a folder can never be read: that stops loading at once.
void report_sprites_without_images() {
  for (const Sprite* s : sprites) {
    if (!has_no_image(*s)) continue;
    const char* why = missing_image_reason(*s);
    if (image_is_folder(*s)) fatal("Error loading sprite image %s: %s", missing_image_path(*s).c_str(), why);
    debug("sprite '%s' has a config but no image: %s (%s)", s->name.text(), missing_image_path(*s).c_str(), why);
  }
}
}  // namespace

void init_sprites() {
  load_sprites_dir("");
  report_sprites_without_images();
  for (Sprite* s : sprites) apply_sprite_config(*s);
  sprites.sort(compare_area, nullptr);
  // One sprite the atlas cannot hold at all is named, rather than blamed on the number of sprites.
  for (Sprite* s : sprites)
    if (s->width + 1 > MAX_ATLAS_SIDE || s->height + 1 > MAX_ATLAS_SIDE)
      fatal("Sprite %s is %dx%d, too large for the %dx%d sprite texture (one texel of spacing included)",
            s->name.text(), s->width, s->height, MAX_ATLAS_SIDE, MAX_ATLAS_SIDE);
  int side = 16;
  while (!pack_sprites(sprites, side)) {
    if (side >= MAX_ATLAS_SIDE)
      fatal("Too many sprites, can't fit them all in %dx%d texture", MAX_ATLAS_SIDE, MAX_ATLAS_SIDE);
    side *= 2;
  }
  debug("loaded %d sprites into %dx%d texture", sprites.size(), side, side);
  atlas_pixels.free();
  atlas_pixels.resize(side * side);
  int scale = 16384 / side;
  for (Sprite* s : sprites) {
    int x = s->rect[0], y = s->rect[1];
    for (int r = 0; r < s->height; r++)
      memcpy(atlas_pixels.data + size_t(y + r) * side + x, s->pixels.data + size_t(r) * s->width, size_t(s->width) * 4);
    s->rect[0] = x * scale;
    s->rect[1] = y * scale;
    s->rect[2] = (x + s->width) * scale;
    s->rect[3] = (y + s->height) * scale;
  }
  spriteTexSize = side;
  if (!d3d) return;
  create_atlas_texture(side);
  open_tile_texture();
  sprite_shader = create_shader("level.sh", "");
  sprite_state = new StdRenderBatchState(sprite_shader, get_vertex_decl(SPRITE_VERTEX_ELEMENTS),
                                         int(sizeof(SpriteVertex)), atlas_texture);
  sprite_batch = new RenderBatch(32768);
  for (Sprite* s : sprites) s->state = sprite_state;
  // The GUI bitmap state draws sprites of this atlas.
  init_gui_bitmap_state(atlas_texture);
}

void close_sprites() {
  for (Sprite* s : sprites) free_sprite(s);
  sprites.free();
  atlas_pixels.free();
  world_vertices.free();
  gui_vertices.free();
  delete sprite_batch;
  delete sprite_state;
  sprite_batch = nullptr;
  sprite_state = nullptr;
  if (sprite_shader) destroy_shader(sprite_shader);
  sprite_shader = nullptr;
  if (d3d) {
    if (atlas_texture) destroy_texture(atlas_texture);
    if (tile_texture) {
      if (own_tile_texture) destroy_texture(tile_texture);
      else free_texture(tile_texture);
    }
  }
  init_gui_bitmap_state(nullptr);
  atlas_texture = tile_texture = nullptr;
  spriteTexSize = 0;
}

Texture* get_sprite_tile_texture() { return tile_texture; }

Sprite* get_sprite(const char* name, bool must_exist) {
  Sprite* s = find_sprite(name ? name : "");
  if (!s && must_exist) fatal("Sprite '%s' not found", name ? name : "");
  if (s && must_exist && has_no_image(*s))
    fatal("Error loading sprite image %s: %s", missing_image_path(*s).c_str(), missing_image_reason(*s));
  return s;
}

Texture* get_sprites_tex() { return atlas_texture; }
const DynArray<Sprite*>& get_sprite_list() { return sprites; }
const uint32_t* get_sprite_atlas_pixels() { return atlas_pixels.data; }
DynArray<SpriteVertex>& sprite_batch_vertices() { return world_vertices; }
DynArray<GuiImageVertex>& gui_image_vertices() { return gui_vertices; }

// ---- quads

void set_sprite_pixel_transform(float scale) {
  float w = float(d3d_wd), h = float(d3d_ht);
  // Row vectors: world units of `scale` pixels, origin at the bottom-left, y up; pixel edges half a
  // pixel before the pixel centres.
  float tm[16] = {2.0f * scale / w, 0, 0, 0, 0, 2.0f * scale / h, 0, 0, 0, 0, 0, 0, -1.0f - 1.0f / w,
                  -1.0f + 1.0f / h, 0, 1};
  set_vs_consts(0, tm, 4);
}

void start_sprite_render() {
  world_vertices.clear();
  if (sprite_batch) sprite_batch->clear();
}

void end_sprite_render() {
  if (!sprite_batch || !d3d) return;
  set_cull_mode(0);
  set_atest(128);
  set_texture_filter(0, false);
  set_texture(1, tile_texture);
  set_texture_filter(1, true);
  set_texture_address(1, 0, -1, -1);
  float c16[4] = {float(spriteTexSize), -float(spriteTexSize), 0, 0};
  set_vs_consts(16, c16, 1);
  sprite_batch->render();
  set_cull_mode(1);
  set_atest(0);
}

void Sprite::makeQuad(vec4float position, vec4float axes, SpriteVertex out[6], float box[4]) const {
  float m0 = axes[0], m1 = axes[1], m2 = axes[2], m3 = axes[3];
  float px = position[0], py = position[1], pz = position[2];
  float kx = px - (ox * m0 + oy * m2), ky = py - (ox * m1 + oy * m3);
  float ax = width * m0, ay = width * m1, bx = height * m2, by = height * m3;
  float cx = kx + (ax + bx) * 0.5f, cy = ky + (ay + by) * 0.5f;
  float ex = (fabsf(ax) + fabsf(bx)) * 0.5f, ey = (fabsf(ay) + fabsf(by)) * 0.5f;
  box[0] = cx - ex;
  box[1] = cy - ey;
  box[2] = cx + ex;
  box[3] = cy + ey;
  int16_t l = int16_t(rect[0]), t = int16_t(rect[1]), r = int16_t(rect[2]), b = int16_t(rect[3]);
  out[0] = {kx, ky, pz, l, t};
  out[1] = {kx + ax, ky + ay, pz, r, t};
  out[2] = {kx + ax + bx, ky + ay + by, pz, r, b};
  out[3] = out[0];
  out[4] = out[2];
  out[5] = {kx + bx, ky + by, pz, l, b};
}

void Sprite::render(vec4float position, vec4float axes) {
  SpriteVertex v[6];
  float box[4];
  makeQuad(position, axes, v, box);
  if (sprite_batch && state) memcpy(sprite_batch->add(state, box, int(sizeof(v)), 2), v, sizeof(v));
  else world_vertices.append(6, v);
}

void Sprite::draw(vec4float position, bool flip_x, bool flip_y) {
  render(position, vec4float(flip_x ? -1.f : 1.f, 0.f, 0.f, flip_y ? -1.f : 1.f));
}

void Sprite::draw(vec4float position, vec4float d, bool flip) {
  float dx = d[0], dy = d[1];
  render(position, flip ? vec4float(dx, dy, dy, -dx) : vec4float(dx, dy, -dy, dx));
}

bool Sprite::makeCroppedUIQuad(float x, float y, int cropLeft, int cropTop, int cropRight, int cropBottom,
                               D3dColor colour, int scale, GuiImageVertex out[6], float box[4]) const {
  // Crops that leave nothing, or more than nothing, of the sprite draw nothing: a negative size
  // would turn the image inside out.
  long long w = (long long)width * scale - cropLeft - cropRight;
  long long h = (long long)height * scale - cropTop - cropBottom;
  if (w <= 0 || h <= 0 || scale <= 0 || spriteTexSize <= 0) return false;
  float k = 1.0f / 16384.0f, c = 1.0f / (float(spriteTexSize) * float(scale));
  float u0 = rect[0] * k + cropLeft * c, u1 = rect[2] * k - cropRight * c;
  float v_bottom = rect[1] * k + cropBottom * c, v_top = rect[3] * k - cropTop * c;
  float x1 = x + float(w), y1 = y + float(h);
  box[0] = x;
  box[1] = y;
  box[2] = x1;
  box[3] = y1;
  out[0] = {x, y1, colour, u0, v_bottom};
  out[1] = {x1, y1, colour, u1, v_bottom};
  out[2] = {x1, y, colour, u1, v_top};
  out[3] = out[0];
  out[4] = out[2];
  out[5] = {x, y, colour, u0, v_top};
  return true;
}

void Sprite::drawCroppedUI(float x, float y, int cropLeft, int cropTop, int cropRight, int cropBottom, D3dColor colour,
                           int scale) {
  GuiImageVertex v[6];
  float box[4];
  if (!makeCroppedUIQuad(x, y, cropLeft, cropTop, cropRight, cropBottom, colour, scale, v, box)) return;
  BaseRenderBatchState* gui_state = get_gui_bitmap_state();
  if (gui_state) memcpy(gui_batch.add(gui_state, box, int(sizeof(v)), 2), v, sizeof(v));
  else gui_vertices.append(6, v);
}

void Sprite::drawUI(__m128 box, D3dColor colour, int scale) {
  vec4float b(box);
  float x = (b[0] + b[2]) * 0.5f - width * scale * 0.5f;
  float y = (b[1] + b[3]) * 0.5f - height * scale * 0.5f;
  drawCroppedUI(x, y, 0, 0, 0, 0, colour, scale);
}
