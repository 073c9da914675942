// A test aid, off unless the environment variable ASCENDA_GUI_PROBE names a file: after each update
// the game writes there, when it differs from the last write, the current mode, the menu screen
// shown and its visible elements with their rectangles in window pixels, so that a script sending
// real input can find a button by its text or id instead of by a pixel position that moves with
// every layout change. The file is replaced whole (a temporary file renamed over it), so a reader
// never sees half of it.
//
// Lines, fields separated by tabs:
//   mode <title|play|pause|game_over|elevator|upgrade|view_level|none>
//   screen <main_menu|game_menu|game_options|game_controls|credits|upgrade|interworld_warning|other|none>
//   hero <x> <y>        (in play and pause, in cells, y up)
//   camera <x> <y>      (in play and pause, the point the view follows, in cells)
//   el <depth> <x0> <y0> <x1> <y1> <class> <flags> <id> <text>
// where flags is a list of h (hover), c (checked), p (pressed) or "-", and the rectangle is the
// element's margin box, the one its hit test uses.
#pragma once

// Writes the probe file when the probe is on and what it would hold has changed; cheap when off.
void gui_probe_update();
