# Runs the game headless into its title and out again: the scene's start-up and shutdown steps in
# order with the pixel scale and the level's texture sizes, and window sizes from the settings that
# the scene must survive (a 1 x 1 window, a huge one): clamped, drawn, closed without an error.
set -u
GAME=$1
. "$(dirname "$0")/common.bash"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ASCENDA_NO_MESSAGE_BOX=1
LOG=$APPDATA/ASCENDA/log.txt

run_game() {  # arguments for the game; lets it draw for a second, then stops it
  rm -f "$LOG"
  "$GAME" "$@" >"$APPDATA/out.txt" 2>&1 &
  local pid=$!
  wait_for_line "$LOG" "free video memory:" 30
  sleep 1
  kill -TERM $pid
  wait $pid
}

run_game -win -360
check "exits 0" [ $? -eq 0 ]
check "scene start-up and shutdown in order" in_order "$LOG" "init d3d ok (640x360)" "3d pixel scale: 3" \
  "entling bound" "creating 256x128 level textures" "total start-up time: " "free video memory: " "closing..." \
  "closed scene" "closed d3d"
check "no error on screen" bash -c "! grep -qiE 'fatal|failed|error' '$LOG'"

run_game -win -720
check "1280 x 720: pixel scale 6 and 256 x 128 level textures" in_order "$LOG" "3d pixel scale: 6" \
  "creating 256x128 level textures" "closed scene"

mkdir -p "$APPDATA/ASCENDA"
printf 'screen_wd=1\nscreen_ht=1\nfullscreen=0\n' > "$APPDATA/ASCENDA/settings.cfg"
run_game
check "a 1 x 1 window runs and closes" [ $? -eq 0 ]
check "its pixel scale is 1 and its textures 4 x 4" in_order "$LOG" "starting d3d in 1x1" "3d pixel scale: 1" \
  "creating 4x4 level textures" "closed scene"
check "no fatal for a tiny window" bash -c "! grep -qi 'fatal' '$LOG'"

printf 'screen_wd=20000\nscreen_ht=20000\nfullscreen=0\n' > "$APPDATA/ASCENDA/settings.cfg"
run_game
check "a huge window is clamped and runs" [ $? -eq 0 ]
check "and draws the scene" in_order "$LOG" "screen size 20000x20000 clamped to" "3d pixel scale: " "creating " "closed scene"

# A program folder without one of the background's textures: the game stops with the file's name
# instead of drawing a level with no tile shading.
. "$(dirname "$0")/program_folder.bash"
prog=$(mktemp -d /tmp/ascenda_prog_XXXXXX)
copy_program_folder "$GAME" "$prog"
rm "$prog/back-tile.dds"
rm -f "$APPDATA/ASCENDA/settings.cfg" "$LOG"
timeout 60 "$prog/game" -win -360 >"$APPDATA/out.txt" 2>&1
check "a missing background texture is fatal" [ $? -eq 100 ]
check "naming the file" grep -q "Can't load texture from '.*back-tile.dds'" "$LOG"
rm -rf "$prog"
finish
