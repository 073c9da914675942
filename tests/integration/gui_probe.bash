# Shared by the scripts that drive the game's menus with real X input: they read the file that
# the game writes when ASCENDA_GUI_PROBE names it (game/guiProbe.h), and find elements there by
# their text or id, never by a fixed pixel position.

# Prints the centre "x y" of the first visible element whose field (id or text) is the value;
# nothing when there is none.
probe_centre() {  # probe file, id|text, value
  python3 - "$@" <<'PY'
import sys
path, field, value = sys.argv[1:4]
col = {"id": 8, "text": 9}[field]
try:
    lines = open(path, encoding="utf-8", errors="replace").read().split("\n")
except OSError:
    sys.exit(0)
for line in lines:
    f = line.split("\t")
    if f[0] == "el" and len(f) > col and f[col] == value:
        x0, y0, x1, y1 = map(int, f[2:6])
        print((x0 + x1) // 2, (y0 + y1) // 2)
        break
PY
}

# Prints the whole line of the first element whose field is the value.
probe_line() {  # probe file, id|text, value
  local col
  case $2 in id) col=9 ;; text) col=10 ;; esac
  awk -F'\t' -v c="$col" -v v="$3" '$1 == "el" && $c == v { print; exit }' "$1" 2>/dev/null
}

# True once the probe holds a line equal to the text, within the seconds.
probe_wait() {  # probe file, line, seconds
  local i=0
  while [ $i -lt $(($3 * 10)) ]; do
    grep -qxF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1; i=$((i + 1))
  done
  return 1
}

# The hero's height in cells, or nothing outside a level.
probe_hero_y() { awk -F'\t' '$1 == "hero" { print $3; exit }' "$1" 2>/dev/null; }

# Moves the pointer onto the element and waits until the game has seen it there (the element shows
# hover, for the elements that do), then clicks. False when the element is not on screen.
probe_click() {  # probe file, window, id|text, value
  local at
  at=$(probe_centre "$1" "$3" "$4")
  [ -n "$at" ] || { echo "probe_click: no element with $3 '$4'" >&2; return 1; }
  # shellcheck disable=SC2086
  xdotool mousemove --window "$2" $at
  local i=0
  while [ $i -lt 30 ]; do
    probe_line "$1" "$3" "$4" | awk -F'\t' '$8 ~ /h/ { found = 1 } END { exit !found }' && break
    sleep 0.1; i=$((i + 1))
  done
  xdotool click 1
}

# Prints "x0 y0 x1 y1", the bounds of every element that shows a text, an id or a check: the part of
# the screen the menus draw, without the empty margins that would water a comparison down.
probe_drawn_bounds() {  # probe file
  awk -F'\t' '$1 == "el" && ($9 != "" || $10 != "") {
      if (!n || $3 < x0) x0 = $3; if (!n || $4 < y0) y0 = $4
      if (!n || $5 > x1) x1 = $5; if (!n || $6 > y1) y1 = $6; n++ }
    END { if (n) print x0, y0, x1, y1 }' "$1" 2>/dev/null
}

# True once the hero and the camera have stood still for a second (the probe's hero and camera lines
# unchanged over five looks 0.2 s apart), within the seconds; false outside a level. A frame of the
# level is the same from run to run only then: the camera follows the hero with a lag, and a jump
# or a landing still under way moves the whole view.
probe_wait_still() {  # probe file, seconds
  local last="" now still=0 i=0
  while [ $i -lt $(($2 * 5)) ]; do
    now=$(awk -F'\t' '$1 == "hero" || $1 == "camera"' "$1" 2>/dev/null)
    if [ -n "$now" ] && [ "$now" = "$last" ]; then
      still=$((still + 1))
      [ $still -ge 5 ] && return 0
    else
      still=0
    fi
    last=$now
    sleep 0.2; i=$((i + 1))
  done
  return 1
}
