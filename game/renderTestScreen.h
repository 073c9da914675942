// A check screen the game draws through the renderer until its scene's passes exist: a checker texture and
// moving blended squares, batched through common_vb_writer.
#pragma once

void draw_render_test_screen(float t);
void close_render_test_screen();
