#!/usr/bin/env bash
# A real run of the game with sound: SDL's disk audio driver stands in for a sound card. The device
# opens, the sound script loads and binds every event, an edit of the script is picked up while
# the game runs, and sound closes last at shutdown.
#   sound_run.sh <path of the game>
set -uo pipefail
game=$1
tmp=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

source "$(dirname "$0")/program_folder.bash"
copy_program_folder "$game" "$tmp"
log="$tmp/log.txt"

wait_for() {  # text, seconds
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    grep -qF "$1" "$log" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
fail() { echo "FAIL: $*"; echo "--- log:"; cat "$log"; exit 1; }

APPDATA="$tmp/appdata" SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/out.raw" \
  ASCENDA_NO_MESSAGE_BOX=1 "$tmp/game" -win -360 >"$log" 2>&1 &
pid=$!

wait_for "total start-up time" 60 || fail "the game did not start"
grep -qF "BASS init OK, 2d mode" "$log" || fail "the sound device did not open"
grep -qF "warning: no sound for event" "$log" && fail "an event has no sound"
grep -qF "Error in sound script" "$log" && fail "the sound script failed"

# Edit the script, moments after it was copied (often within the same second): the game runs it
# again within about a second.
echo 'print("sound script ran again\n")' >>"$tmp/sound/sound.nut"
wait_for "sound script ran again" 20 || fail "the edited sound script was not run again"
grep -qF "warning: no sound for event" "$log" && fail "an event lost its sound after the reload"
grep -qF "Error in sound script" "$log" && fail "the reloaded sound script failed"

kill -TERM "$pid"
wait "$pid"
pid=""
grep -qF "closed all systems" "$log" || fail "the game did not shut down cleanly"
closing=$(grep -nF "closing BASS" "$log" | head -n 1 | cut -d: -f1)
closed=$(grep -nF "closed scene" "$log" | head -n 1 | cut -d: -f1)
[ -n "$closing" ] && [ -n "$closed" ] && [ "$closing" -lt "$closed" ] || fail "sound was not closed with the scene"
[ -s "$tmp/out.raw" ] || fail "nothing was written by the audio device"
echo "sound run: ok"
