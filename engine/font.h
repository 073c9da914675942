// The debug font (a 16 x 16 glyph grid in "font.tga") with its text state, and the splash screen.
// Drawing fills in once the renderer exists; until then the calls keep their state and draw nothing.
#pragma once
#include "engine/misc/vecMath.h"

struct TextState {
  int scale;
};

void init_debug_font();
void close_debug_font();
void update_font_scale();
TextState save_text_state();
void restore_text_state(const TextState& s);
void set_text_scale(int scale);
int get_text_scale();
int get_font_cell_height();
void calc_text_size(const char* text, int len, int& width, int& height);
void start_draw_text();
void end_draw_text();
void draw_text(const char* text, int len, int x, int y, int alignX, int alignY, D3dColor colour);
void draw_rect(int x0, int y0, int x1, int y1, D3dColor colour);
void draw_box(int x0, int y0, int x1, int y1, D3dColor colour);
void show_splash(const char* text, float progress);
void draw_splash();
const char* get_splash_text();
