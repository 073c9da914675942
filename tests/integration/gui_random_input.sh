# Random real X input over every screen: 5,000 clicks, drags, wheel turns and key presses sent
# fast (xdotool under Xvfb) while the game goes wherever they lead it (menus, options, controls,
# play, pause, game over). A Quit that they click ends the game with 0 and it is started again
# for the rest. No run may crash, end with another code or print a sanitizer report, and the
# settings file they leave must load cleanly. ASCENDA_RANDOM_SEED repeats a run (the seed is
# printed).
set -u
GAME=$1 CLOSE=$3
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/common.bash"
. "$HERE/gui_probe.bash"
export ASCENDA_NO_MESSAGE_BOX=1
if [ -z "${ASCENDA_IN_XVFB:-}" ]; then
  ASCENDA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x720x24 -noreset" bash "$0" "$@"
fi
export SDL_VIDEODRIVER=x11
export ASCENDA_GUI_PROBE=$APPDATA/probe.txt
P=$ASCENDA_GUI_PROBE
LOG=$APPDATA/ASCENDA/log.txt
CFG=$APPDATA/ASCENDA/settings.cfg
EVENTS=${ASCENDA_RANDOM_EVENTS:-5000}
SEED=${ASCENDA_RANDOM_SEED:-$(date +%s)}
echo "seed $SEED ($EVENTS events)"

# The events as xdotool commands, in batches of 50 to a line. Keys: the game's and the menus',
# the developer keys, and no Alt (Alt+F4 would only close the window) nor PrintScreen (a file
# each).
python3 - "$SEED" "$EVENTS" >"$APPDATA/events.txt" <<'PY'
import random, sys
rng = random.Random(int(sys.argv[1]))
keys = ["a", "d", "w", "s", "space", "Escape", "Return", "Tab", "BackSpace", "Left", "Right", "Up", "Down",
        "F1", "F2", "F4", "F5", "F6", "ctrl+F4", "1", "x", "shift+a", "Delete"]
def pos():  # over the 640 x 360 window, its edges included
    return "%d %d" % (rng.randrange(0, 640), rng.randrange(0, 360))
n, batch = int(sys.argv[2]), []
for i in range(n):
    r = rng.random()
    click = "click --delay 1 %d"  # xdotool's own pause after a click is 100 ms
    if r < 0.25:
        batch.append(("mousemove --window WIN %s " + click) % (pos(), rng.choice([1, 1, 1, 2, 3])))
    elif r < 0.35:
        b = rng.choice([1, 1, 3])
        batch.append("mousemove --window WIN %s mousedown %d mousemove --window WIN %s mouseup %d" % (pos(), b, pos(), b))
    elif r < 0.5:
        batch.append("mousemove --window WIN %s" % pos())
    elif r < 0.55:
        batch.append(click % rng.choice([4, 5]))
    elif r < 0.95:
        batch.append("key --delay 1 %s" % rng.choice(keys))
    else:
        k = rng.choice(["space", "a", "d", "w"])
        batch.append("keydown %s sleep 0.02 keyup %s" % (k, k))
    if len(batch) == 50 or i == n - 1:
        print(" ".join(batch))
        batch = []
PY

runs=0
start_game() {
  runs=$((runs + 1))
  "$GAME" -win -360 >"$APPDATA/game$runs.txt" 2>&1 &
  pid=$!
  w=$(timeout 30 xdotool search --sync --pid "$pid" --name "ASCENDA! 0.11" | head -n 1)
  [ -n "$w" ] && xdotool windowfocus "$w" 2>/dev/null
  probe_wait "$P" "screen	main_menu" 30
}
# The run's end: 0, and nothing of a sanitizer in its output.
ended_well() {  # code
  local out=$APPDATA/game$runs.txt
  check "run $runs ends with 0 (got $1)" [ "$1" -eq 0 ]
  check "run $runs prints no sanitizer report" bash -c "! grep -qE 'Sanitizer|runtime error:' '$out'"
  [ "$1" -eq 0 ] || tail -n 8 "$APPDATA/game$runs.txt"
}

rm -f "$P"
start_game
check "the game starts" [ -n "$w" ]
declare -A seen
while read -r line; do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"; ended_well $?
    rm -f "$P"
    start_game || { check "the game starts again" false; break; }
  fi
  # shellcheck disable=SC2086
  xdotool ${line//WIN/$w} 2>/dev/null
  seen["$(awk -F'\t' '$1 == "mode" { m = $2 } $1 == "screen" { s = $2 } END { print m "/" s }' "$P" 2>/dev/null)"]=1
done <"$APPDATA/events.txt"
xdotool mouseup 1 mouseup 3 keyup space keyup a keyup d keyup w 2>/dev/null
echo "sent the events over $runs run(s); seen between batches (mode/screen): ${!seen[*]}"

# The window closed the way a person closes it: the game saves and ends with 0.
if kill -0 "$pid" 2>/dev/null; then
  "$CLOSE" "$w"
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
  kill -0 "$pid" 2>/dev/null && kill "$pid"
fi
wait "$pid"; ended_well $?

# What is left of the settings: name=value lines under the header, and a new start reads them
# without a complaint.
echo "--- settings.cfg"; cat "$CFG"
check "the settings file is there" [ -f "$CFG" ]
check "it holds only name=value lines" bash -c "! grep -vE '^(//.*|[A-Za-z_][A-Za-z0-9_]*=.*|)$' '$CFG'"
: >"$LOG"
rm -f "$P"
start_game
check "the game starts on those settings" [ -n "$w" ]
check "and reads them without a complaint" bash -c "! grep -qE \"can't read|is not a key|out of range\" '$LOG'"
"$CLOSE" "$w"
i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$pid" 2>/dev/null && kill "$pid"
wait "$pid"; ended_well $?
finish
