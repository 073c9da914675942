// art_gen: writes the game's fonts, sprites and textures into a program folder. Every run writes
// the same bytes.
//   art_gen fonts|sprites|textures <program folder>
#include <stdio.h>
#include <string.h>
#include <string>
#include "artCanvas.h"
#include "artGen.h"
#include "engine/imageFiles.h"
#include "platform/platform.h"

bool write_canvas_png(const std::string& path, const Canvas& c) {
  // The canvas is 0xAARRGGBB; the PNG writer wants bytes R, G, B, A.
  std::vector<unsigned char> bytes(c.px.size() * 4);
  for (size_t i = 0; i < c.px.size(); i++) {
    Rgba p = c.px[i];
    bytes[i * 4 + 0] = (unsigned char)red_of(p);
    bytes[i * 4 + 1] = (unsigned char)green_of(p);
    bytes[i * 4 + 2] = (unsigned char)blue_of(p);
    bytes[i * 4 + 3] = (unsigned char)alpha_of(p);
  }
  return save_png(path.c_str(), c.w, c.h, 4, bytes.data(), c.w * 4);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: art_gen fonts|sprites|textures <program folder>\n");
    return 2;
  }
  std::string what = argv[1], dir = argv[2];
  plat_make_folder(dir.c_str());
  bool ok = false;
  if (what == "fonts") ok = generate_fonts(dir);
  else if (what == "sprites") ok = generate_sprites(dir);
  else if (what == "textures") ok = generate_textures(dir);
  else fprintf(stderr, "art_gen: unknown set '%s'\n", what.c_str());
  if (!ok) fprintf(stderr, "art_gen: generating %s failed\n", what.c_str());
  return ok ? 0 : 1;
}
