// TGA and PNG image files and screenshots. Pixels are 32-bit 0xAARRGGBB; the readers return the
// bottom row of the picture first.
#pragma once
#include <stdint.h>
#include "engine/cont/dynArray.h"
#include "engine/misc/utils.h"
#include "engine/streams.h"

void write_tga(OutputStream& s, const void* pixels, int width, int height, int pitch);
bool save_tga(const char* name, const void* pixels, int width, int height, int pitch);
void read_tga(InputStream& s, DynArray<uint32_t>& pixels, int& width, int& height);
bool load_tga(const char* name, DynArray<uint32_t>& pixels, int& width, int& height);
// The same, with the reason of a failure (the system's for an open, the reader's for the content).
bool load_tga(const char* name, DynArray<uint32_t>& pixels, int& width, int& height, TempString<256>& why);
bool load_png(const char* name, int& width, int& height, DynArray<uint32_t>& pixels);
// The same, with the reason of a failure (the system's for the read, the decoder's for the content).
bool load_png(const char* name, int& width, int& height, DynArray<uint32_t>& pixels, TempString<256>& why);
bool load_png_from_memory(const void* data, int size, int& width, int& height, DynArray<uint32_t>& pixels);
bool save_png(const char* name, int width, int height, int components, const void* pixels, int pitch);
void take_screenshot();
