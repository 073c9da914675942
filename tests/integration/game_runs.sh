# Runs the game headless: start-up and shutdown log lines in order, log rotation over six runs,
# the window size switches and their clamp to the display, arguments it does not know, a long
# program folder, and a fatal error before the window exists.
set -u
GAME=$1
. "$(dirname "$0")/common.bash"
export SDL_VIDEODRIVER=offscreen ASCENDA_NO_MESSAGE_BOX=1
LOG=$APPDATA/ASCENDA/log.txt

run_game() {  # arguments for the game; stops it once it is running
  "$GAME" "$@" >"$APPDATA/out.txt" 2>&1 &
  local pid=$!
  # This run's own output: the log still holds the last run's lines until the game rotates it.
  wait_for_line "$APPDATA/out.txt" "free video memory:" 20
  sleep 0.3
  kill -TERM $pid
  wait $pid
}

for i in 1 2 3 4 5 6; do
  run_game -win -360
  rc=$?
  check "run $i exits 0" [ $rc -eq 0 ]
  head -n 1 "$LOG" > "$APPDATA/first$i.txt"
done
check "start-up and shutdown lines in order" in_order "$LOG" "Log started " "app path: '" "starting d3d in 640x360" \
  "init d3d ok (640x360)" "total start-up time: " "free video memory: " "closing..." "closed scene" \
  "closed misc stuff" "freed all meshes" "freed all textures" "closed d3d" "closed all systems"
check "banner names the version" grep -qE "^Log started [0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} in v0.11$" "$LOG"
for n in 01 02 03 04; do check "log$n.txt kept" [ -s "$APPDATA/ASCENDA/log$n.txt" ]; done
check "only four old logs" [ ! -e "$APPDATA/ASCENDA/log05.txt" ]
check "settings file written" has_line "$APPDATA/ASCENDA/settings.cfg" "_CONFIG_VERSION_=1"

# Arguments the game does not know are passed over: it starts as without them, its log naming them.
run_game -win -360 -window -1080 --bogus-arg
check "unknown arguments start the game" [ $? -eq 0 ]
check "in the size of its switches" has_line "$LOG" "starting d3d in 640x360"
check "the log names the unknown arguments" has_line "$LOG" \
  "ignoring unknown command-line arguments: '-window' '-1080' '--bogus-arg'"

printf 'screen_wd=800\nscreen_ht=500\nfullscreen=0\n' > "$APPDATA/ASCENDA/settings.cfg"
run_game
check "size from the settings" has_line "$LOG" "starting d3d in 800x500"
run_game -720
check "-720 overrides the settings" has_line "$LOG" "starting d3d in 1280x720"
check "the settings file survives" has_line "$APPDATA/ASCENDA/settings.cfg" "screen_wd=800"
# A window with one dimension configured keeps it; only the other is the system's.
printf 'screen_wd=800\nscreen_ht=0\nfullscreen=0\n' > "$APPDATA/ASCENDA/settings.cfg"
run_game
check "a configured width alone is kept" grep -qE "starting d3d in 800x[0-9]+" "$LOG"
check "the height alone is the system's" bash -c "! grep -qE 'starting d3d in 800x0' '$LOG'"
printf 'screen_wd=0\nscreen_ht=500\nfullscreen=0\n' > "$APPDATA/ASCENDA/settings.cfg"
run_game
check "a configured height alone is kept" grep -qE "starting d3d in [1-9][0-9]*x500" "$LOG"

# Sizes the display cannot show are clamped to it (and logged) instead of stopping the game.
printf 'screen_wd=20000\nscreen_ht=20000\nfullscreen=0\n' > "$APPDATA/ASCENDA/settings.cfg"
run_game
check "a huge window size starts the game" has_line "$LOG" "free video memory: "
check "the clamp is logged" grep -qE "^screen size 20000x20000 clamped to [0-9]+x[0-9]+ \(the display is" "$LOG"
printf 'screen_wd=-2147483648\nscreen_ht=-2147483648\nfullscreen=1\n' > "$APPDATA/ASCENDA/settings.cfg"
run_game
check "a negative size counts as automatic" has_line "$LOG" "screen size -2147483648x-2147483648 clamped to 0x0"
check "and the game starts" has_line "$LOG" "free video memory: "

# A program folder far longer than 260 characters, as deep folders and long user names give.
long="$APPDATA/prog"
while [ ${#long} -lt 600 ]; do long="$long/$(printf 'p%.0s' {1..49})"; done
mkdir -p "$long"
cp -r "$(dirname "$GAME")/." "$long/"
saved_game=$GAME
GAME="$long/game"
run_game -win -360
GAME=$saved_game
check "a long program folder starts the game" has_line "$LOG" "free video memory: "
check "and it is the program folder" has_line "$LOG" "app path: '$long/'"
rm -rf "$APPDATA/prog"

SDL_VIDEODRIVER=no-such-driver "$GAME" -win >"$APPDATA/out.txt" 2>"$APPDATA/err.txt"
rc=$?
check "a fatal error exits 100" [ $rc -eq 100 ]
check "the message reaches standard error" grep -q "can't start the window system" "$APPDATA/err.txt"
check "the log has the error and the shutdown" in_order "$LOG" "Log started" "ERROR: can't start the window system" \
  "closing..." "closed all systems"
check "systems that never started are not closed" bash -c "! grep -q 'close d3d' '$LOG'"
finish
