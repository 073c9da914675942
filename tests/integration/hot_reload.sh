#!/usr/bin/env bash
# Hot reload in a real run of the game, with saves made within one second of each other: a typo in
# the sound script and its fix, a shader typo and its fix, a texture seen half-written and then
# finished in the same clock tick. Runaway sound scripts (an endless loop, a memory bomb in an
# included file) are stopped with a message naming the file and the game goes on; a deleted
# shader is reported once and rebuilt when it comes back.
#   hot_reload.sh <path of the game>
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

fail() { echo "FAIL: $* ($(date +%T))"; echo "--- log:"; cat "$log"; exit 1; }
count() { grep -cF -- "$1" "$log" 2>/dev/null; }
wait_count() {  # text, at least this many lines, seconds
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    [ "$(count "$1")" -ge "$2" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
wait_for() { wait_count "$1" 1 "$2"; }
# Sets a file's time to the given second and fraction: the edits of one step share a second.
stamp() { touch -d "@$2" "$1"; }

APPDATA="$tmp/appdata" SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ASCENDA_NO_MESSAGE_BOX=1 \
  "$tmp/game" -win -360 >"$log" 2>&1 &
pid=$!
wait_for "total start-up time" 60 || fail "the game did not start"
grep -qF "Error in sound script" "$log" && fail "the sound script failed at start-up"

script="$tmp/sound/sound.nut"
original=$(cat "$script")
sec=$(date +%s)

# A typo, then its fix within the same second.
printf '%s\nthis is not squirrel (\n' "$original" >"$script"
stamp "$script" "$sec.100000000"
wait_for "ERROR MESSAGE SET: Error in sound script" 10 || fail "the typo was not reported"
printf '%s\nprint("fix one ran\\n")\n' "$original" >"$script"
stamp "$script" "$sec.600000000"
wait_for "fix one ran" 10 || fail "the fix saved within the same second was never run"

# An endless loop: stopped after its time budget, the game goes on and runs the next save.
printf '%s\nwhile (true) {}\n' "$original" >"$script"
stamp "$script" "$((sec + 1)).100000000"
wait_for "script 'sound/sound.nut' was stopped: it ran longer than" 30 || fail "the endless loop was not stopped"
grep -qF "ERROR MESSAGE SET: Error in sound script:" "$log" || fail "the stop was not shown"
printf '%s\nprint("fix two ran\\n")\n' "$original" >"$script"
stamp "$script" "$((sec + 1)).600000000"
wait_for "fix two ran" 10 || fail "the game did not go on after the endless loop"

# A memory bomb in an included file: that file is named.
printf '::keep <- []\nwhile (true) ::keep.append(array(1000, 1))\n' >"$tmp/sound/bomb.nut"
printf '%s\ninclude("sound/bomb.nut")\n' "$original" >"$script"
stamp "$script" "$((sec + 2)).100000000"
wait_for "script 'sound/bomb.nut' was stopped: it took more than" 30 || fail "the memory bomb was not stopped"
printf '::keep <- null\nprint("fix three ran\\n")\n' >"$tmp/sound/bomb.nut"
stamp "$tmp/sound/bomb.nut" "$((sec + 2)).600000000"
wait_for "fix three ran" 10 || fail "the fixed include was not run"

# A shader typo and its fix within the same second.
shader="$tmp/level.sh"
cp "$shader" "$tmp/level.sh.good"
printf '\n#ifdef PSH\nthis is not hlsl;\n#endif\n' >>"$shader"
stamp "$shader" "$((sec + 3)).100000000"
wait_for "FAILED to compile HLSL shader 'level.sh'" 10 || fail "the shader typo was not reported"
cp "$tmp/level.sh.good" "$shader"
stamp "$shader" "$((sec + 3)).600000000"
wait_for "reloaded shader 'level.sh'" 10 || fail "the shader fix saved within the same second was never built"

# A deleted shader: reported once, rebuilt when it is back.
mv "$tmp/debug_vis.sh" "$tmp/debug_vis.sh.away"
wait_for "FAILED to compile HLSL shader 'debug_vis.sh'" 10 || fail "the deleted shader was not reported"
sleep 3
[ "$(count "FAILED to compile HLSL shader 'debug_vis.sh'")" -eq 1 ] || fail "the deleted shader was rebuilt every second"
mv "$tmp/debug_vis.sh.away" "$tmp/debug_vis.sh"
touch "$tmp/debug_vis.sh"
wait_for "reloaded shader 'debug_vis.sh'" 10 || fail "the shader was not rebuilt when it came back"

# A texture seen half-written, then finished within the same clock tick (same time, new size).
tex="$tmp/voxel-tile.dds"
cp "$tex" "$tmp/tile.full"
loads=$(count "loaded DDS texture '$tex'")
head -c $(($(stat -c %s "$tex") / 2)) "$tmp/tile.full" >"$tex"
stamp "$tex" "$((sec + 4)).100000000"
wait_for "is not a DDS" 10 || wait_for "Error loading file '$tex'" 1 || fail "the half-written texture was not tried"
cp "$tmp/tile.full" "$tex"
stamp "$tex" "$((sec + 4)).100000000"
wait_count "loaded DDS texture '$tex'" $((loads + 1)) 10 || fail "the finished texture was never loaded"

kill -0 "$pid" 2>/dev/null || fail "the game stopped"
echo "steps done ($(date +%T))"
kill -TERM "$pid"
wait "$pid"
rc=$?
pid=""
[ $rc -eq 0 ] || fail "the game exited with $rc"
grep -qF "closed all systems" "$log" || fail "the game did not shut down cleanly"
echo "hot reload: ok"
