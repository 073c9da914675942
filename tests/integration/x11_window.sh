# Real X input (xdotool under Xvfb) through the window procedure into input events; then the game's
# own window: its title, Alt+Enter to full screen and back, and the close button.
set -u
GAME=$1 PROBE=$2 CLOSE=$3
. "$(dirname "$0")/common.bash"
export ASCENDA_NO_MESSAGE_BOX=1
# -noreset: the server would drop a keyboard layout set between two programs once the last client
# leaves.
if [ -z "${ASCENDA_IN_XVFB:-}" ]; then
  ASCENDA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x720x24 -noreset" bash "$0" "$@"
fi
export SDL_VIDEODRIVER=x11
OUT=$APPDATA/probe.txt

"$PROBE" >"$OUT" 2>&1 &
pid=$!
w=$(timeout 20 xdotool search --sync --name "ASCENDA! 0.11" | head -n 1)
check "the window has the game's title" [ -n "$w" ]
xdotool windowfocus --sync "$w"
sleep 0.3
xdotool key a
xdotool key shift+a
xdotool mousemove --window "$w" 100 50
sleep 0.1
xdotool click 1
xdotool click --repeat 2 --delay 60 3
xdotool click 5
xdotool keydown d; sleep 0.8; xdotool keyup d
sleep 0.2
xdotool key alt+F4
wait $pid
check "Alt+F4 closes the window" [ $? -eq 0 ]
check "key down a" has_line "$OUT" "event kind=1 code=65 flags=0x0 char=97"
check "key up a" has_line "$OUT" "event kind=2 code=65 flags=0x0"
check "Shift+A gives A with the shift flag" has_line "$OUT" "event kind=1 code=65 flags=0x1 char=65"
check "mouse move in client pixels" has_line "$OUT" "event kind=5 code=0 flags=0x0 char=0 wheel=0 x=100 y=50"
check "left button down" has_line "$OUT" "event kind=3 code=1 flags=0x80 char=0 wheel=0 x=100 y=50"
check "left button up" has_line "$OUT" "event kind=4 code=1"
check "right double click flagged 0x40" grep -qE "event kind=3 code=2 flags=0x1?40 " "$OUT"
check "wheel down one notch" has_line "$OUT" "event kind=6 code=0 flags=0x0 char=0 wheel=-1"
check "held key repeats with 0x40" has_line "$OUT" "event kind=1 code=68 flags=0x40"
check "repeats do not set the went-down bit" [ "$(grep -c 'state code=68 down=1' "$OUT")" -eq 1 ]
check "Alt+F4 queues Alt but not F4" bash -c "! grep -q 'code=115' '$OUT'"

# Typed characters follow the keyboard layout: on a German one Shift+7 types a slash, not "&", and
# the key right of L types an o with umlaut.
if setxkbmap de 2>/dev/null; then
  OUT_DE=$APPDATA/probe_de.txt
  "$PROBE" >"$OUT_DE" 2>&1 &
  pid=$!
  w=$(timeout 20 xdotool search --sync --name "ASCENDA! 0.11" | head -n 1)
  xdotool windowfocus --sync "$w"
  sleep 0.3
  xdotool key shift+7
  xdotool key odiaeresis
  xdotool key Return
  xdotool key alt+F4
  wait $pid
  check "German layout: Shift+7 types a slash" has_line "$OUT_DE" "event kind=1 code=55 flags=0x1 char=47"
  check "German layout: the key right of L types o with umlaut" grep -qE "event kind=1 code=186 flags=0x0 char=246 " "$OUT_DE"
  check "Enter types a carriage return" grep -qE "event kind=1 code=13 flags=0x0 char=13 " "$OUT_DE"
  setxkbmap us
else
  check "setxkbmap can switch the layout" false
fi

LOG=$APPDATA/ASCENDA/log.txt
"$GAME" -win -360 >"$APPDATA/game.txt" 2>&1 &
pid=$!
wait_for_line "$LOG" "free video memory:" 20
w=$(timeout 20 xdotool search --sync --name "ASCENDA! 0.11" | head -n 1)
xdotool windowfocus --sync "$w"
sleep 0.3
xdotool key Print
wait_for_line "$LOG" "screenshot captured to" 10
shot=$(ls "$APPDATA"/ASCENDA/shots/shot*.png 2>/dev/null | head -n 1)
check "PrintScreen writes shots/shot<date>.png" [ -n "$shot" ]
# The title shows the background's brown tints; the PNG holds red, green, blue with full alpha.
brown() { local r g b a; read -r r g b a <<<"$(png_pixel "$shot" "$1" "$2")"; [ "$r" -gt "$b" ] && [ "$a" -eq 255 ]; }
[ -n "$shot" ] && check "the screenshot has the scene's colours" brown 10 10 && check "in its middle too" brown 320 180
xdotool key alt+Return
wait_for_line "$LOG" "resized d3d to 640x360 fullscreen" 10
check "Alt+Enter goes full screen" has_line "$LOG" "resized d3d to 640x360 fullscreen"
xdotool key alt+Return
wait_for_line "$LOG" "windowed" 10
check "Alt+Enter returns to the window" grep -qE "resized d3d to [0-9]+x[0-9]+ windowed" "$LOG"
"$CLOSE" "$w"
wait $pid
check "the close button ends the game with 0" [ $? -eq 0 ]
check "shut down in order" in_order "$LOG" "closing..." "closed scene" "closed d3d" "closed all systems"
finish
