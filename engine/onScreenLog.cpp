// The visual log and the error message drawn over the game with the debug font: the newest lines
// of the visual log first, the message in a red strip across the screen. Their texts are kept
// by the log (engine/log.cpp), which stands below the renderer; only the drawing needs the font
// and the back buffer's size.
#include "engine/onScreenLog.h"
#include <string.h>
#include <utility>
#include "engine/cont/dynArray.h"
#include "engine/d3d_render.h"
#include "engine/font.h"
#include "engine/log.h"

void draw_visual_log() {
  TextState saved = save_text_state();
  set_text_scale(2);
  int u = get_font_cell_height();
  int n = visual_log_count();
  for (int i = 0; i < n; i++) draw_text(visual_log_line(i), -1, 2 * u, 2 * u * (n - i), -1, -1, 0xFFFFFFFF);
  restore_text_state(saved);
}

namespace {
int text_width(const char* text, int len) {
  int w, h;
  calc_text_size(text, len, w, h);
  return w;
}

// The message broken into lines of at most `width` pixels in the current text style: at spaces
// where a line has them, inside a word only when the word alone is wider.
void wrap_error_text(const char* text, int width, DynArray<char>& out) {
  out.clear();
  const char* p = text;
  while (true) {
    const char* eol = strchr(p, '\n');
    int len = eol ? int(eol - p) : int(strlen(p));
    int start = 0;
    while (start < len || (start == 0 && len == 0)) {
      int end = len;
      if (text_width(p + start, len - start) > width) {
        // The longest run that fits (at least one character), ended at its last space when it
        // has one.
        int fit = start, run = 0;
        while (fit < len) {
          int c = text_width(p + fit, 1);
          if (fit > start && run + c > width) break;
          run += c;
          fit++;
        }
        end = fit;
        for (int k = fit; k > start; k--)
          if (p[k] == ' ') {
            end = k;
            break;
          }
      }
      out.append(end - start, p + start);
      start = end;
      while (start < len && p[start] == ' ') start++;
      if (start < len) out.push_back('\n');
      if (len == 0) break;
    }
    if (!eol) break;
    out.push_back('\n');
    p = eol + 1;
  }
  out.push_back(0);
}

int count_lines(const DynArray<char>& t) {
  int n = 1;
  for (int i = 0; i + 1 < t.size(); i++) n += t[i] == '\n';
  return n;
}

// Keeps the first lines and the last one (which names the failed shader) within `max_lines`.
void keep_lines(DynArray<char>& t, int max_lines) {
  int n = count_lines(t);
  if (n <= max_lines || max_lines < 3) return;
  int head_end = 0, seen = 0;
  for (int i = 0; i < t.size(); i++)
    if (t[i] == '\n' && ++seen == max_lines - 2) {
      head_end = i;
      break;
    }
  int tail = t.size() - 1;
  while (tail > 0 && t[tail - 1] != '\n') tail--;
  DynArray<char> kept;
  kept.append(head_end, t.data);
  kept.append(5, "\n...\n");
  kept.append(t.size() - tail, t.data + tail);
  t = std::move(kept);
}
}  // namespace

// The red strip at the top of the screen: the message wrapped to the window's width at text scale
// 2, or at scale 1 when that is too tall for the window, the strip growing to hold it.
void draw_error_message() {
  if (!has_error_message()) return;
  TextState saved = save_text_state();
  int u = get_font_cell_height();
  int width = d3d_wd - u;
  DynArray<char> text;
  int w = 0, h = 0;
  for (int scale = 2; scale >= 1; scale--) {
    set_text_scale(scale);
    wrap_error_text(get_error_message(), width, text);
    calc_text_size(text.data, -1, w, h);
    if (h + 2 * u <= d3d_ht) break;
  }
  int line = get_text_scale() * u;
  if (h + 2 * u > d3d_ht) {
    keep_lines(text, (d3d_ht - 2 * u) / line);
    calc_text_size(text.data, -1, w, h);
  }
  int strip = h + 2 * u > 12 * u ? h + 2 * u : 12 * u;
  if (strip > d3d_ht) strip = d3d_ht;
  draw_rect(0, d3d_ht - strip, d3d_wd, d3d_ht, 0xCC660000);
  draw_text(text.data, -1, d3d_wd / 2, d3d_ht - u, 0, 1, 0xFFFFEE00);
  restore_text_state(saved);
}
