// The DDS header rules and the level layout (see mojodds.h).
#include "engine/mojodds/mojodds.h"
#include <string.h>

namespace {
uint32_t rd(const uint8_t* p, int off) {
  return uint32_t(p[off]) | (uint32_t(p[off + 1]) << 8) | (uint32_t(p[off + 2]) << 16) | (uint32_t(p[off + 3]) << 24);
}
const uint32_t DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PITCH = 0x8, DDSD_PIXELFORMAT = 0x1000,
               DDSD_LINEARSIZE = 0x80000;
const uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_FOURCC = 0x4, DDPF_RGB = 0x40, DDPF_LUMINANCE = 0x20000;
const uint32_t DDSCAPS_MIPMAP = 0x400000, DDSCAPS_TEXTURE = 0x1000;
}  // namespace

const char* dds_parse(const uint8_t* d, size_t size, DdsInfo* out) {
  memset(out, 0, sizeof(*out));
  if (size < 128 || memcmp(d, "DDS ", 4) != 0) return "no DDS magic or short header";
  if (rd(d, 4) != 124) return "header size is not 124";
  uint32_t flags = rd(d, 8);
  const uint32_t need = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  if ((flags & need) != need) return "required header flags missing";
  if ((flags & DDSD_PITCH) && (flags & DDSD_LINEARSIZE)) return "both pitch and linear size";
  uint32_t height = rd(d, 12), width = rd(d, 16), pitch_or_size = rd(d, 20), mips = rd(d, 28);
  if (rd(d, 76) != 32) return "pixel format size is not 32";
  uint32_t pf = rd(d, 80), fourcc = rd(d, 84), bits = rd(d, 88);
  uint32_t rmask = rd(d, 92), gmask = rd(d, 96), bmask = rd(d, 100), amask = rd(d, 104);
  uint32_t caps = rd(d, 108), caps2 = rd(d, 112);
  if (!(caps & DDSCAPS_TEXTURE)) return "caps lack TEXTURE";
  if (caps2 != 0) return "cube maps and volumes are not supported";
  if (width < 1 || height < 1 || width > DDS_MAX_DIMENSION || height > DDS_MAX_DIMENSION) return "bad dimensions";

  D3DFORMAT fmt;
  if (pf & DDPF_FOURCC) {
    if (fourcc == D3DFMT_DXT1 || fourcc == D3DFMT_DXT3 || fourcc == D3DFMT_DXT5) fmt = D3DFORMAT(fourcc);
    else return "unsupported four-character code";
  } else if (pf & DDPF_RGB) {
    if (rmask != 0x00FF0000 || gmask != 0x0000FF00 || bmask != 0x000000FF) return "unsupported RGB masks";
    if (bits != 32) return "RGB bit count is not 32";
    if (pf & DDPF_ALPHAPIXELS) {
      if (amask != 0xFF000000) return "unsupported alpha mask";
      fmt = D3DFMT_A8R8G8B8;
    } else {
      fmt = D3DFMT_X8R8G8B8;
    }
  } else if ((pf & DDPF_LUMINANCE) && bits == 8) {
    fmt = D3DFMT_L8;
  } else {
    return "unsupported pixel format";
  }

  int levels = (caps & DDSCAPS_MIPMAP) ? int(mips) : 1;
  if (levels < 1) levels = 1;
  int full = 1;
  for (uint32_t w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) full++;
  if (levels > full) return "more mip levels than the size allows";

  bool dxt = d3d9_is_dxt_format(fmt);
  uint32_t block = fmt == D3DFMT_DXT1 ? 8 : 16;
  uint64_t offset = 128;
  for (int i = 0; i < levels; i++) {
    DdsLevel& l = out->level[i];
    l.width = width >> i ? width >> i : 1;
    l.height = height >> i ? height >> i : 1;
    if (dxt) {
      l.pitch = ((l.width + 3) / 4) * block;
      l.rows = (l.height + 3) / 4;
    } else {
      l.pitch = l.width * (fmt == D3DFMT_L8 ? 1 : 4);
      l.rows = l.height;
    }
    uint64_t sz = uint64_t(l.pitch) * l.rows;
    // A header that states the top level's size must agree with the format.
    if (i == 0 && (flags & DDSD_LINEARSIZE) && dxt && pitch_or_size && pitch_or_size != sz)
      return "linear size does not match";
    if (i == 0 && (flags & DDSD_PITCH) && !dxt && pitch_or_size && pitch_or_size != l.pitch)
      return "pitch does not match";
    if (offset + sz > size) return "file too short for its levels";
    l.offset = uint32_t(offset);
    l.size = uint32_t(sz);
    offset += sz;
  }
  out->format = fmt;
  out->width = width;
  out->height = height;
  out->levels = levels;
  return nullptr;
}
