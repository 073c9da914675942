// TGA (uncompressed 32-bit only), PNG over libpng and stb_image_write, and screenshots.
#include "engine/imageFiles.h"
#include <errno.h>
#include <png.h>
#include <setjmp.h>
#include <stb_image_write.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include "engine/d3d_render.h"
#include "engine/log.h"
#include "engine/sharedHeap.h"
#include "engine/sysUtils.h"
#include "platform/platform.h"

// ---- TGA

void write_tga(OutputStream& s, const void* pixels, int width, int height, int pitch) {
  unsigned char h[18] = {};
  h[2] = 2;
  h[12] = (unsigned char)(width & 255);
  h[13] = (unsigned char)(width >> 8);
  h[14] = (unsigned char)(height & 255);
  h[15] = (unsigned char)(height >> 8);
  h[16] = 32;
  h[17] = 8;
  s.write(h, 18);
  for (int y = height - 1; y >= 0; y--) s.write((const char*)pixels + size_t(y) * size_t(pitch), width * 4);
}

bool save_tga(const char* name, const void* pixels, int width, int height, int pitch) {
  FileOutputStream s(make_full_path(name), "wb");
  if (!s.isOpen()) return false;
  try {
    write_tga(s, pixels, width, height, pitch);
  } catch (OutputStream::Exception&) {
    return false;
  }
  return s.close();
}

void read_tga(InputStream& s, DynArray<uint32_t>& pixels, int& width, int& height) {
  unsigned char h[18];
  s.read(h, 18);
  if (h[2] != 2 || h[16] != 32) throw InputStream::Exception("unsupported TGA format", s.tell());
  width = h[12] | (h[13] << 8);
  height = h[14] | (h[15] << 8);
  if (width == 0 || height == 0) throw InputStream::Exception("zero-sized TGA image", s.tell());
  // A truncated file fails here, before the (possibly huge) pixel array is made.
  int start = s.tell();
  s.seekFromEnd(0);
  int end = s.tell();
  s.seekFromStart(start);
  int64_t bytes = int64_t(width) * height * 4;
  if (end - start < bytes) throw InputStream::Exception("error reading file", start);
  pixels.resize(width * height);
  s.read(pixels.data, int(bytes));
}

bool load_tga(const char* name, DynArray<uint32_t>& pixels, int& width, int& height) {
  TempString<256> why;
  return load_tga(name, pixels, width, height, why);
}

bool load_tga(const char* name, DynArray<uint32_t>& pixels, int& width, int& height, TempString<256>& why) {
  FileInputStream s(name, "rb");
  if (!s.isOpen()) {
    snprintf(why.str, sizeof(why.str), "%s", s.openError());
    return false;
  }
  try {
    read_tga(s, pixels, width, height);
  } catch (InputStream::Exception& e) {
    snprintf(why.str, sizeof(why.str), "%.255s", e.message);
    return false;
  }
  return true;
}

// ---- PNG

namespace {
struct PngMemory {
  const unsigned char* data;
  size_t size;
  size_t pos;
};
struct PngErrorJump {
  jmp_buf jump;
  char message[200];  // libpng's words for what is wrong
};

void png_read_memory(png_structp png, png_bytep out, png_size_t count) {
  PngMemory* m = (PngMemory*)png_get_io_ptr(png);
  if (m->size - m->pos < count) png_error(png, "unexpected end of PNG data");
  memcpy(out, m->data + m->pos, count);
  m->pos += count;
}

void png_report_error(png_structp png, png_const_charp msg) {
  debug("PNG error: %s", msg);
  PngErrorJump* j = (PngErrorJump*)png_get_error_ptr(png);
  snprintf(j->message, sizeof(j->message), "%s", msg);
  longjmp(j->jump, 1);
}
void png_report_warning(png_structp, png_const_charp) {}
}  // namespace

// Every chunk's stated length must fit in the bytes that follow it: libpng allocates what a chunk
// claims before it reads it, so a corrupt length would otherwise ask for gigabytes.
static bool png_chunks_fit(const unsigned char* p, size_t size) {
  size_t at = 8;
  while (at + 12 <= size) {
    size_t length = (size_t(p[at]) << 24) | (size_t(p[at + 1]) << 16) | (size_t(p[at + 2]) << 8) | p[at + 3];
    if (length > size - at - 12) return false;
    if (memcmp(p + at + 4, "IEND", 4) == 0) return true;
    at += 12 + length;
  }
  return true;
}

// Decoding keeps no C++ object alive across libpng's longjmp: the pixel array is filled only after
// png_read_png has returned.
static bool decode_png(const void* data, int size, int& width, int& height, DynArray<uint32_t>& pixels,
                       TempString<256>& why) {
  if (!data || size < 8) {
    why = "not a PNG image (too short)";
    return false;
  }
  if (!png_chunks_fit((const unsigned char*)data, size_t(size))) {
    why = "a chunk claims more bytes than the file holds";
    return false;
  }
  PngErrorJump err;
  snprintf(err.message, sizeof(err.message), "libpng failed");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &err, png_report_error, png_report_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  PngMemory mem{(const unsigned char*)data, size_t(size), 0};
  if (setjmp(err.jump)) {
    png_destroy_read_struct(&png, &info, nullptr);
    why.format("not a PNG image it can read (%s)", err.message);
    return false;
  }
  png_set_read_fn(png, &mem, png_read_memory);
  // Images larger than the biggest texture the game can use are bad input, not a reason to exhaust memory.
  png_set_user_limits(png, 16384, 16384);
  png_set_chunk_malloc_max(png, 256u << 20);
  png_read_png(png, info, PNG_TRANSFORM_PACKING | PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_BGR | PNG_TRANSFORM_GRAY_TO_RGB,
               nullptr);
  int w = (int)png_get_image_width(png, info);
  int h = (int)png_get_image_height(png, info);
  int bits = png_get_bit_depth(png, info);
  int channels = png_get_channels(png, info);
  int type = png_get_color_type(png, info);
  bool rgba = type == PNG_COLOR_TYPE_RGB_ALPHA && bits == 8 && channels == 4;
  bool rgb = type == PNG_COLOR_TYPE_RGB && bits == 8 && channels == 3;
  if (!rgba && !rgb) {
    debug("PNG bits: %d  channels: %d  color type: %d", bits, channels, type);
    png_error(png, "unsupported PNG image type");
  }
  png_bytepp rows = png_get_rows(png, info);
  width = w;
  height = h;
  pixels.resize(w * h);
  for (int y = 0; y < h; y++) {
    const unsigned char* src = rows[h - 1 - y];
    uint32_t* dst = pixels.data + size_t(y) * size_t(w);
    if (rgba) {
      memcpy(dst, src, size_t(w) * 4);
    } else {
      for (int x = 0; x < w; x++, src += 3)
        dst[x] = 0xFF000000u | (uint32_t(src[2]) << 16) | (uint32_t(src[1]) << 8) | src[0];
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool load_png_from_memory(const void* data, int size, int& width, int& height, DynArray<uint32_t>& pixels) {
  TempString<256> why;
  return decode_png(data, size, width, height, pixels, why);
}

bool load_png(const char* name, int& width, int& height, DynArray<uint32_t>& pixels) {
  TempString<256> why;
  return load_png(name, width, height, pixels, why);
}

bool load_png(const char* name, int& width, int& height, DynArray<uint32_t>& pixels, TempString<256>& why) {
  size_t size = 0;
  const char* read_error = "";
  // An image larger than the biggest texture the game can use is refused while it is decoded; a
  // file of a gigabyte is not read at all.
  uint8_t* bytes = read_data_file(name, &size, &read_error, (1 << 30) - 1);
  if (!bytes) {
    why = read_error;
    return false;
  }
  bool ok = decode_png(bytes, int(size), width, height, pixels, why);
  dlfree(bytes);
  return ok;
}

static void append_png_bytes(void* ctx, void* data, int size) {
  ((DynArray<unsigned char>*)ctx)->append(size, (const unsigned char*)data);
}

bool save_png(const char* name, int width, int height, int components, const void* pixels, int pitch) {
  DynArray<unsigned char> bytes;
  if (!stbi_write_png_to_func(append_png_bytes, &bytes, width, height, components, pixels, pitch)) return false;
  FILE* f = fopen(make_full_path(name), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data, 1, size_t(bytes.size()), f) == size_t(bytes.size());
  ok = (fclose(f) == 0) && ok;
  return ok;
}

void take_screenshot() {
  int64_t start = get_ref_time();
  debug("screenshot...");
  int w, h, pitch;
  unsigned char* bits = (unsigned char*)lock_front_buffer_copy(&w, &h, &pitch);
  if (!bits) return;
  TempString<64> name;
  time_t now = time(nullptr);
  struct tm lt;
  if (localtime_r(&now, &lt))
    name.format("shots/shot%4u_%02u_%02u_%02u_%02u_%02u.png", unsigned(lt.tm_year + 1900), unsigned(lt.tm_mon + 1),
                unsigned(lt.tm_mday), unsigned(lt.tm_hour), unsigned(lt.tm_min), unsigned(lt.tm_sec));
  else name.assign("shots/shot.png");
  plat_make_folder(get_appdata_folder_path(""));
  plat_make_folder(get_appdata_folder_path("shots"));
  PathString full = get_appdata_folder_path(name);
  // The copy is A8R8G8B8 (bytes B, G, R, A); the PNG wants R, G, B, A with full alpha.
  for (int y = 0; y < h; y++) {
    unsigned char* p = bits + size_t(y) * size_t(pitch);
    for (int x = 0; x < w; x++, p += 4) {
      unsigned char b = p[0];
      p[0] = p[2];
      p[2] = b;
      p[3] = 255;
    }
  }
  bool ok = save_png(full, w, h, 4, bits, pitch);
  release_front_buffer_copy();
  if (!ok) debug("failed to save screenshot to '%s'", full.c_str());
  else debug("screenshot captured to '%s' in %d ms", full.c_str(), get_time_msec(get_ref_time() - start));
}
