// Font descriptions and icon lists on arbitrary bytes: the readers never crash, and whatever they
// accept can be measured and laid out.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include "engine/distFont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = (const char*)data;
  char page[256];
  DistFont font;
  if (font.parse(text, int(size), page, sizeof(page))) {
    // Measure and place the first bytes as text, and a fixed sample.
    int n = size < 64 ? int(size) : 64;
    font.calcTextBox(text, n, nullptr);
    DynArray<DistFontVertex> out;
    float box[4];
    font.layoutText(out, _mm_setr_ps(0, 0, 100, 50), 0, 0xFFFFFFFF, 17, "Play\nAV Wa", -1, 0.5f, 2, 2, 1, 0, box);
    font.layoutText(out, _mm_setr_ps(0, 0, 100, 50), 1 | 8, 0xFFFFFFFF, 0, text, n, 0, 0, 0, 0, 0, box);
    out.free();
    BitmapFont* bitmap = static_cast<BitmapFont*>(&font);
    DynArray<GuiImageVertex> quads;
    bitmap->layoutText(quads, _mm_setr_ps(0, 0, 10, 10), 2 | 4, 0xFF000000, 3, "Options", -1, box);
    quads.free();
  }
  DistIcons icons;
  if (icons.parse(text, int(size), page, sizeof(page))) {
    DistIconVertex v[6];
    D3dColor c[5] = {0, 0, 0, 0, 0};
    float box[4];
    for (int i = -1; i <= icons.icons.size(); i++) {
      icons.getOrgW(i);
      icons.layoutIcon(v, _mm_setr_ps(10, 10, 0.6f, 0.8f), 2, i, 0, 1, 1, 0, c, box);
    }
    if (icons.icons.size()) icons.getIconId(icons.icons[0].name);
  }
  return 0;
}
