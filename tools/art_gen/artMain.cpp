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
#include "tools/toolUsage.h"

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
  const char* usage =
      "usage: art_gen fonts|sprites|textures <program folder>\n"
      "Writes the game's fonts, sprites or textures into the program folder.\n";
  tool_check_positional(argc, argv, "art_gen", usage, 2, 2);
  std::string what = argv[1], dir = argv[2];
  if (what != "fonts" && what != "sprites" && what != "textures") {
    char why[300];
    snprintf(why, sizeof(why), "unknown set '%.200s'", what.c_str());
    tool_usage_error("art_gen", why, usage);
  }
  plat_make_folder(dir.c_str());
  bool ok = false;
  if (what == "fonts") ok = generate_fonts(dir);
  else if (what == "sprites") ok = generate_sprites(dir);
  else ok = generate_textures(dir);
  if (!ok) fprintf(stderr, "art_gen: generating %s failed\n", what.c_str());
  return ok ? 0 : 1;
}
