// Debug-font state and the splash. The glyph drawing arrives with the renderer; until then the text
// calls keep their state, measure nothing and draw nothing, and the splash is a cleared screen.
#include "engine/font.h"
#include "engine/d3d_render.h"
#include "engine/misc/utils.h"

namespace {
int text_scale = 1;
int font_scale = 1;
const int CELL_HEIGHT = 8;
TempString<256> splash_text;
float splash_progress = -1;
}  // namespace

void init_debug_font() { update_font_scale(); }
void close_debug_font() {}
void update_font_scale() {
  font_scale = d3d_ht / (CELL_HEIGHT * 30);
  if (font_scale < 1) font_scale = 1;
  text_scale = font_scale;
}
TextState save_text_state() { return TextState{text_scale}; }
void restore_text_state(const TextState& s) { text_scale = s.scale; }
void set_text_scale(int scale) { text_scale = scale; }
int get_text_scale() { return text_scale; }
int get_font_cell_height() { return CELL_HEIGHT; }
void calc_text_size(const char*, int, int& width, int& height) { width = height = 0; }
void start_draw_text() {}
void end_draw_text() {}
void draw_text(const char*, int, int, int, int, int, D3dColor) {}
void draw_rect(int, int, int, int, D3dColor) {}
void draw_box(int, int, int, int, D3dColor) {}

void show_splash(const char* text, float progress) {
  splash_text.assign(text);
  splash_progress = progress;
  redraw_splash();
}

void draw_splash() { clear_view(0xFF000A28); }
const char* get_splash_text() { return splash_text; }
