// Loading, completing, looking up and freeing the level tiles (see loadTiles.h).
#include "game/gen/loadTiles.h"
#include <ctype.h>
#include <errno.h>
#include <string.h>
#include <new>
#include "engine/config.h"
#include "engine/imageFiles.h"
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "engine/sysUtils.h"
#include "game/gen/bossTiles.h"
#include "platform/platform.h"

DynArray<LevelGenTile*> level_tiles;

uint16_t tile_pixel_color(uint32_t argb) {
  uint32_t a = argb >> 24, r = (argb >> 16) & 255, g = (argb >> 8) & 255, b = argb & 255;
  return uint16_t((a >= 128 ? 0x8000 : 0) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

uint8_t tile_pixel_collision(uint32_t argb) {
  if ((argb >> 24) < 128) return 0;
  bool r = ((argb >> 16) & 255) >= 128, g = ((argb >> 8) & 255) >= 128, b = (argb & 255) >= 128;
  int on = int(r) + int(g) + int(b);
  if (on == 0) return 0;
  if (on == 3) return 2;
  if (on == 2) return 3;  // any two-channel colour marks an exit cell
  return b ? 3 : g ? 6 : 7;
}

LevelGenTile* find_level_tile(const char* name) {
  for (LevelGenTile* t : level_tiles)
    if (strcmp(t->name, name) == 0) return t;
  return nullptr;
}

LevelGenTile* load_level_tile(const char* name) {
  LevelGenTile* t = find_level_tile(name);
  if (!t) fatal("can't find level tile '%s'", name);
  return t;
}

static LevelGenTile* add_tile(const char* name, int name_len, int width, int height) {
  LevelGenTile* t = (LevelGenTile*)dlmalloc(sizeof(LevelGenTile));
  memset((void*)t, 0, sizeof(*t));
  t->width = width;
  t->height = height;
  t->name = (char*)dlmalloc(size_t(name_len) + 1);
  memcpy(t->name, name, size_t(name_len));
  t->name[name_len] = 0;
  level_tiles.push_back(t);
  return t;
}

static bool ends_with_nocase(const char* s, int len, const char* suffix) {
  int n = (int)strlen(suffix);
  if (len < n) return false;
  for (int i = 0; i < n; i++)
    if (tolower((unsigned char)s[len - n + i]) != suffix[i]) return false;
  return true;
}

// The layer letter of a tile image ('b', 'f', 'c', or another letter), or 0 when the name is not an
// image name at all.
static char image_layer_letter(const char* file, int len) {
  if (len < 7 || !ends_with_nocase(file, len, ".png") || file[len - 6] != '_') return 0;
  return (char)tolower((unsigned char)file[len - 5]);
}

// What a scan of the tile folders carries along: the folders it is inside, and for each tile of
// level_tiles (by index) the image that gave it its size, named when another image of the tile
// has another size (the odd one may be either).
struct TileScan {
  FolderWalk walk;
  DynArray<String> size_from;
  ~TileScan() {
    for (String& s : size_from) s.clear();
    size_from.free();
  }
  String& sizeFrom(const LevelGenTile* t) {
    int i = 0;
    while (level_tiles[i] != t) i++;
    while (size_from.size() <= i) size_from.push_back();  // zero-filled: an empty String
    return size_from[i];
  }
};

static void load_tile_image(TileScan& scan, const char* prefix, const char* file, int len, char layer) {
  PathString path = make_path("tiles/%s%s", prefix, file);
  int w = 0, h = 0;
  DynArray<uint32_t> pixels;
  TempString<256> why;
  if (!load_png(make_full_path(path), w, h, pixels, why)) fatal("Error loading tile image %s: %s", file, why.c_str());

  PathString name = make_path("%s%.*s", prefix, len - 6, file);
  LevelGenTile* t = find_level_tile(name);
  if (!t || (t->width == 0 && t->height == 0)) {
    if (!t) t = add_tile(name, name.length(), w, h);
    t->width = w;
    t->height = h;
    scan.sizeFrom(t) = file;
  }
  if (t->width != w || t->height != h)
    fatal("Expected %dx%d tile image %s (the size of %s), got %dx%d", t->width, t->height, file,
          scan.sizeFrom(t).text(), w, h);

  int n = w * h;
  if (layer == 'c') {
    if (t->collision) fatal("Duplicate tile collision map %s", file);
    t->collision = (uint8_t*)dlmalloc(size_t(n));
    for (int i = 0; i < n; i++) t->collision[i] = tile_pixel_collision(pixels[i]);
  } else {
    uint16_t*& target = layer == 'b' ? t->background : t->foreground;
    if (target) fatal(layer == 'b' ? "Duplicate background tile image %s" : "Duplicate foreground tile image %s", file);
    target = (uint16_t*)dlmalloc(size_t(n) * 2);
    for (int i = 0; i < n; i++) target[i] = tile_pixel_color(pixels[i]);
  }
}

static void load_tile_config(const char* prefix, const char* file, int len) {
  PathString name = make_path("%s%.*s", prefix, len - 4, file);
  LevelGenTile* t = find_level_tile(name);
  if (!t) t = add_tile(name, name.length(), 0, 0);
  if (t->config) fatal("Duplicate tile config %s", file);
  PathString path = make_path("tiles/%s%s", prefix, file);
  t->config = ConfigNode::fromFile(make_full_path(path));
  if (!t->config) fatal("Error loading tile config %s", file);
}

struct FolderEntry {
  String name;
  bool folder;
};

static void collect_entry(void* ctx, const char* name, bool folder) {
  DynArray<FolderEntry>* list = (DynArray<FolderEntry>*)ctx;
  FolderEntry& e = list->push_back();  // zero-filled: an empty String
  e.name = name;
  e.folder = folder;
}

// Folder links may lead back up the tree: the walk stops at a folder it is already inside and at a
// depth no tile set needs.
static void scan_tile_folder(const char* prefix, TileScan& scan) {
  PathString folder = make_full_path(make_path("tiles/%s", prefix));
  if (!scan.walk.enter(folder)) return;
  // The listing is taken whole first, so the recursion below never holds the folder open.
  DynArray<FolderEntry> entries;
  // The folder is there (the walk entered it): a listing that fails would lose its tiles without a
  // word, and the game would stop later blaming a tile it cannot find.
  if (!plat_list_folder(folder, collect_entry, &entries)) {
    int error = errno;
    fatal("can't read tile folder %s: %s", make_path("tiles/%s", prefix).c_str(), strerror(error));
  }
  for (FolderEntry& e : entries) {
    const char* file = e.name.text();
    int len = (int)strlen(file);
    if (e.folder) {
      if (file[0] != '.') {
        scan_tile_folder(make_path("%s%s/", prefix, file), scan);
      }
    } else if (char layer = image_layer_letter(file, len)) {
      if (layer == 'b' || layer == 'f' || layer == 'c') load_tile_image(scan, prefix, file, len, layer);
    } else if (len >= 5 && ends_with_nocase(file, len, ".cfg")) {
      load_tile_config(prefix, file, len);
    }
  }
  for (FolderEntry& e : entries) e.name.clear();
  scan.walk.leave();
}

void load_level_tiles() {
  {
    TileScan scan;
    scan_tile_folder("", scan);
  }
  debug("loaded %d tiles", level_tiles.size());
  for (LevelGenTile* t : level_tiles) {
    if (!t->config) t->config = new (dlmalloc(sizeof(ConfigNode))) ConfigNode();
    t->dx = t->config->getInt("dx", t->dx);
    t->dy = t->config->getInt("dy", t->dy);
    int n = t->width * t->height;
    if (!t->collision && t->foreground) {
      uint8_t type = (uint8_t)t->config->getInt("collType", 1);
      t->collision = (uint8_t*)dlmalloc(size_t(n > 0 ? n : 1));
      for (int i = 0; i < n; i++) t->collision[i] = t->foreground[i] < 0x8000 ? 0 : type;
    }
    if (!t->background && t->foreground) {
      t->background = (uint16_t*)dlmalloc(size_t(n > 0 ? n : 1) * 2);
      for (int i = 0; i < n; i++) {
        uint16_t f = t->foreground[i];
        t->background[i] = uint16_t(((f >> 1) & 0x3def) | (f & 0x8000));
      }
    }
  }
  check_boss_tiles();
}

void close_level_tiles() {
  for (LevelGenTile* t : level_tiles) {
    if (t->config) {
      t->config->~ConfigNode();
      dlfree(t->config);
    }
    dlfree(t->background);
    dlfree(t->foreground);
    dlfree(t->collision);
    dlfree(t->name);
    dlfree(t);
  }
  level_tiles.free();
}
