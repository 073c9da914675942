# The menus end to end with real X input (xdotool under Xvfb): title, Options (three settings
# changed, Jump bound to Space in Controls), Accept, Play, a jump with Space, Escape to the pause
# menu, its Options left with Cancel, Back to game, Escape, Exit to main menu, Quit. The game must
# end with 0 and its settings file hold what was set. Elements are found by their text or id in the
# file the game's GUI probe writes (game/guiProbe.h), never at fixed pixels.
#
# Each screen is saved with the game's own PrintScreen into $ASCENDA_E2E_SHOTS (build/e2e_shots
# under ctest) and compared loosely with the reviewed golden image tests/data/golden/e2e_<name>.png;
# ASCENDA_MAKE_GOLDEN=1 writes the goldens instead (look at every one before committing it).
set -u
GAME=$1
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
GOLDEN=$HERE/../data/golden
SHOTS=${ASCENDA_E2E_SHOTS:-$APPDATA/e2e_shots}
rm -rf "$SHOTS"
mkdir -p "$SHOTS"

"$GAME" -win -360 >"$APPDATA/game.txt" 2>&1 &
pid=$!

# A step the rest depends on: on failure the probe and the log's end are shown and the run stops.
must() {  # description, command...
  check "$@" && return 0
  echo "--- probe"; cat "$P" 2>/dev/null
  echo "--- log"; tail -n 30 "$LOG" 2>/dev/null
  kill "$pid" 2>/dev/null
  finish
  exit 1
}
screen_is() { probe_wait "$P" "screen	$1" 20; }
mode_is() { probe_wait "$P" "mode	$1" 20; }
click() { probe_click "$P" "$w" "$@"; }
checked() { probe_line "$P" id "$1" | awk -F'\t' '$8 ~ /c/ { f = 1 } END { exit !f }'; }
cfg_has() { grep -qx -- "$1" "$CFG"; }

# PrintScreen, then the new file is kept under the name with the probe beside it, and compared
# with the golden: over the whole image, or only its mean colour where a level shows (it is new
# every time), and element by element over those of the probe that show a text.
shots_taken=0
shot() {  # name, --whole or --tint, its limit, limit for each element
  local name=$1 how=$2 limit=$3 each=$4 before file i=0
  # The pointer has been moved onto a plain text: wait until nothing shows hover any more.
  while awk -F'\t' '$1 == "el" && $8 ~ /h/ { f = 1 } END { exit !f }' "$P" && [ $i -lt 100 ]; do
    sleep 0.1; i=$((i + 1))
  done
  i=0
  before=$(grep -c "screenshot captured to" "$LOG")
  xdotool key Print
  while [ "$(grep -c "screenshot captured to" "$LOG")" -le "$before" ] && [ $i -lt 200 ]; do
    sleep 0.1; i=$((i + 1))
  done
  file=$(ls -t "$APPDATA"/ASCENDA/shots/shot*.png 2>/dev/null | head -n 1)
  check "a screenshot of $name" [ -n "$file" ] || return
  mv "$file" "$SHOTS/$name.png"
  cp "$P" "$SHOTS/$name.probe.txt"
  shots_taken=$((shots_taken + 1))
  if [ -n "${ASCENDA_MAKE_GOLDEN:-}" ]; then
    cp "$SHOTS/$name.png" "$GOLDEN/e2e_$name.png"
    return
  fi
  local out rc
  out=$(python3 "$HERE/shot_compare.py" "$SHOTS/$name.png" "$GOLDEN/e2e_$name.png" "$how" "$limit" \
    --elements "$SHOTS/$name.probe.txt" "$each" 2>&1)
  rc=$?
  check "$name looks like its golden ($(echo "$out" | tr '\n' ' ')limits $limit, $each)" [ $rc -eq 0 ]
}

# ---- title
must "the title's main menu is up" screen_is main_menu
w=$(timeout 20 xdotool search --sync --name "ASCENDA! 0.11" | head -n 1)
must "the game's window is there" [ -n "$w" ]
xdotool windowfocus --sync "$w"
shot title --whole 6 8

# ---- options: VSync and the developer tools toggled, the music volume set to about a quarter
click text Options
must "Options opens the options" screen_is game_options
vsync_was=0; checked vsync && vsync_was=1
devkeys_was=0; checked devkeys && devkeys_was=1
click id vsync
click id devkeys
music=$(probe_line "$P" id musicVol)
must "the music volume slider is shown" [ -n "$music" ]
read -r mx0 my0 mx1 my1 <<<"$(echo "$music" | cut -f3-6 | tr '\t' ' ')"
xdotool mousemove --window "$w" $((mx0 + (mx1 - mx0) / 4)) $(((my0 + my1) / 2)) click 1
i=0
until [ "$(checked vsync && echo 1 || echo 0)" != "$vsync_was" ] && [ "$(checked devkeys && echo 1 || echo 0)" != "$devkeys_was" ] || [ $i -gt 100 ]; do
  sleep 0.1; i=$((i + 1))
done
check "VSync shows its new state" [ "$(checked vsync && echo 1 || echo 0)" != "$vsync_was" ]
check "the developer tools show their new state" [ "$(checked devkeys && echo 1 || echo 0)" != "$devkeys_was" ]
xdotool mousemove --window "$w" $(probe_centre "$P" text Options)
shot options --whole 6 8

# ---- controls: hovering Jump's box and pressing Space binds it
click text Controls
must "the controls screen is up" screen_is game_controls
xdotool mousemove --window "$w" $(probe_centre "$P" id 2)
i=0
until probe_line "$P" id 2 | awk -F'\t' '$8 ~ /h/ { f = 1 } END { exit !f }' || [ $i -gt 100 ]; do
  sleep 0.1; i=$((i + 1))
done
xdotool key space
i=0
until [ "$(probe_line "$P" id 2 | cut -f10)" = "Space" ] || [ $i -gt 100 ]; do sleep 0.1; i=$((i + 1)); done
must "Jump's box shows Space" [ "$(probe_line "$P" id 2 | cut -f10)" = "Space" ]
xdotool mousemove --window "$w" $(probe_centre "$P" text Controls)
shot controls --whole 6 8
click text Back
must "Back returns to the options" screen_is game_options
click text Accept
must "Accept returns to the main menu" screen_is main_menu
check "Accept wrote the settings file" [ -f "$CFG" ]
check "Accept saved Jump on Space" cfg_has "B_jump=#32"

# ---- play: Space jumps
click text Play
must "Play starts the level" mode_is play
# Wait for the hero to stand still (the start drops it onto the floor), then hold Space until it
# rises.
y0=$(probe_hero_y "$P"); i=0
while [ $i -lt 200 ]; do
  sleep 0.2; y=$(probe_hero_y "$P")
  [ -n "$y" ] && [ "$y" = "$y0" ] && break
  y0=$y; i=$((i + 1))
done
must "the hero stands on the level" [ -n "$y0" ]
must "the hero and the camera come to rest" probe_wait_still "$P" 20
shot play --tint 8 8
xdotool keydown space
risen=0; i=0
while [ $i -lt 100 ]; do
  y=$(probe_hero_y "$P")
  if [ -n "$y" ] && awk -v a="$y" -v b="$y0" 'BEGIN { exit !(a > b + 2) }'; then risen=1; break; fi
  sleep 0.05; i=$((i + 1))
done
xdotool keyup space
check "Space makes the hero jump (from $y0 to ${y:-nothing})" [ $risen -eq 1 ]

# ---- pause, its options left with Cancel
# Paused mid-jump, the frame would show the level from wherever the jump and the camera's lag had
# got to at that moment, a different view on every run: the hero lands and the camera settles on
# the start's view first.
must "the hero lands and the camera comes to rest after the jump" probe_wait_still "$P" 20
xdotool key Escape
must "Escape pauses" mode_is pause
must "the pause menu is up" screen_is game_menu
xdotool mousemove --window "$w" $(probe_centre "$P" text Paused)
shot pause --tint 8 8
click text Options
must "the pause menu's Options opens the options" screen_is game_options
check "the options show the accepted developer tools" [ "$(checked devkeys && echo 1 || echo 0)" != "$devkeys_was" ]
# A change left with Cancel must not stay.
click id devkeys
i=0
until [ "$(checked devkeys && echo 1 || echo 0)" = "$devkeys_was" ] || [ $i -gt 100 ]; do sleep 0.1; i=$((i + 1)); done
xdotool mousemove --window "$w" $(probe_centre "$P" text Options)
shot pause_options --whole 6 8
click text Cancel
must "Cancel returns to the pause menu" screen_is game_menu
click text "Back to game"
must "Back to game resumes" mode_is play
must "no menu is left up" screen_is none
xdotool key Escape
must "Escape pauses again" screen_is game_menu
click text "Exit to main menu"
must "Exit to main menu goes to the title" mode_is title
must "the main menu is up again" screen_is main_menu
click text Quit

i=0
while kill -0 "$pid" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$pid" 2>/dev/null && kill "$pid"
wait "$pid"
check "Quit ends the game with 0" [ $? -eq 0 ]
check "shut down in order" in_order "$LOG" "closing..." "closed scene" "closed d3d" "closed all systems"

# ---- what the settings file holds
echo "--- settings.cfg"; cat "$CFG"
check "VSync as set" cfg_has "vsync=$((1 - vsync_was))"
check "the developer tools as set, Cancel's change undone" cfg_has "devkeys=$((1 - devkeys_was))"
music=$(sed -n 's/^music_volume=//p' "$CFG")
about_a_quarter() { [ -n "$music" ] && [ "$music" -ge 1000 ] && [ "$music" -le 4000 ]; }
check "the music volume about a quarter (${music:-none})" about_a_quarter
check "Jump on Space" cfg_has "B_jump=#32"
check "six screenshots kept in $SHOTS" [ $shots_taken -eq 6 ]
finish
