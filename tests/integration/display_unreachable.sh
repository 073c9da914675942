# A display that is set but cannot be opened stops the game at once (exit 100) with one message
# naming the display and why: no X server at that number, a Wayland socket that is not there, a
# real X server (Xvfb) that refuses the connection without credentials or with the wrong ones. The
# same server with the right credentials gets the game's window; SDL_VIDEODRIVER naming a driver is
# taken as asked whatever the display. Without any display the message is said once too.
set -u
GAME=$1
. "$(dirname "$0")/common.bash"
export ASCENDA_NO_MESSAGE_BOX=1 SDL_AUDIODRIVER=dummy
tmp=$APPDATA/display
mkdir -p "$tmp"
xvfb_pid=""
game_pid=""
cleanup() {
  [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$APPDATA"
}
trap cleanup EXIT

# An X display number with no server: no socket, no abstract socket, no lock.
free_display=""
for n in $(seq 917 999); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] && ! grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix; then
    free_display=$n
    break
  fi
done

# A real X server that lets in only the holders of its cookie (the server takes every cookie of its
# file, whatever display the entry names; a client picks the entry of the display it opens).
cookie=$(mcookie)
xauth -q -f "$tmp/server" add :0 . "$cookie" 2>/dev/null
Xvfb -displayfd 3 -auth "$tmp/server" -nolisten tcp -noreset -screen 0 1280x720x24 3>"$tmp/number" \
  >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$tmp/number" ] && break; sleep 0.1; done
xn=$(head -n 1 "$tmp/number")
check "Xvfb started" [ -n "$xn" ]
xauth -q -f "$tmp/right" add ":$xn" . "$cookie" 2>/dev/null
xauth -q -f "$tmp/wrong" add ":$xn" . "$(mcookie)" 2>/dev/null

# Runs the game with only these display variables; its output, both streams in one, in out.txt.
run_with() {  # variables...
  env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY "$@" timeout 30 "$GAME" -win \
    >"$tmp/out.txt" 2>&1 </dev/null
}
said_once() { [ "$(grep -cF -- "$1" "$tmp/out.txt")" -eq 1 ]; }

# variables | what the message must say
cases=(
  "|there is no display: neither DISPLAY nor WAYLAND_DISPLAY is set"
  "DISPLAY=:$free_display|DISPLAY=:$free_display: no X server answers at /tmp/.X11-unix/X$free_display (No such file or directory)"
  "WAYLAND_DISPLAY=ascenda-no-socket XDG_RUNTIME_DIR=$tmp|WAYLAND_DISPLAY=ascenda-no-socket: no Wayland compositor answers at $tmp/ascenda-no-socket"
  "DISPLAY=:$xn XAUTHORITY=/dev/null|DISPLAY=:$xn: the X server at /tmp/.X11-unix/X$xn refused the connection: Authorization required"
  "DISPLAY=:$xn XAUTHORITY=$tmp/wrong|DISPLAY=:$xn: the X server at /tmp/.X11-unix/X$xn refused the connection: Invalid MIT-MAGIC-COOKIE-1"
)
for c in "${cases[@]}"; do
  vars=${c%%|*} want=${c#*|}
  # shellcheck disable=SC2086 # the variables are words of their own
  run_with $vars
  rc=$?
  check "[$vars] stops at once with exit 100" [ $rc -eq 100 ]
  check "[$vars] says once: $want" said_once "$want"
  check "[$vars] says what to set" has_line "$tmp/out.txt" "SDL_VIDEODRIVER=offscreen to run without a window"
  check "[$vars] the log has it" has_line "$APPDATA/ASCENDA/log.txt" "ERROR: can't start the window system: "
  [ $rc -eq 100 ] || { echo "---- its output:"; head -n 20 "$tmp/out.txt"; }
done

# Started, shown and stopped: the game's window on the server, then SIGTERM ends it normally.
start_and_stop() {  # what the run is, then the variables
  local what=$1
  shift
  env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY "$@" "$GAME" -win -360 >"$tmp/out.txt" 2>&1 </dev/null &
  game_pid=$!
  check "[$what] starts" wait_for_line "$tmp/out.txt" "free video memory:" 60
}
start_and_stop "the right credentials" DISPLAY=":$xn" XAUTHORITY="$tmp/right"
check "[the right credentials] its window is on the X server" \
  env DISPLAY=":$xn" XAUTHORITY="$tmp/right" timeout 20 xdotool search --sync --name "ASCENDA! 0.11"
kill -TERM "$game_pid"
wait "$game_pid"
check "[the right credentials] SIGTERM ends it normally" [ $? -eq 0 ]
start_and_stop "a driver named" DISPLAY=":$free_display" SDL_VIDEODRIVER=offscreen
kill -TERM "$game_pid"
wait "$game_pid"
check "[a driver named] SIGTERM ends it normally" [ $? -eq 0 ]
game_pid=""
finish
