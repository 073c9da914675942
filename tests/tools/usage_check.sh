# One program's answer to its command line: the exit code it must give and a text its output must
# hold, before it starts any work (a program that starts instead is stopped by the test's timeout).
#   usage_check.sh [--no-display | --offscreen] <exit code> <extended regex> <program> [arguments...]
# --no-display runs it as on a machine without one (DISPLAY, WAYLAND_DISPLAY and SDL_VIDEODRIVER
# unset); --offscreen the same with SDL's offscreen driver chosen by name.
set -u
env_args=()
case "$1" in
  --no-display) env_args=(-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER); shift ;;
  --offscreen) env_args=(-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen); shift ;;
esac
want_code=$1 want_text=$2
shift 2
out=$(env "${env_args[@]}" "$@" </dev/null 2>&1)
code=$?
fail=0
if [ "$code" -ne "$want_code" ]; then
  echo "FAIL: '$*' exited with $code, not $want_code"
  fail=1
fi
if ! grep -qE -- "$want_text" <<<"$out"; then
  echo "FAIL: the output of '$*' holds no match for '$want_text'"
  fail=1
fi
if [ $fail -ne 0 ]; then
  echo "---- its output:"
  printf '%s\n' "$out" | head -n 40
  exit 1
fi
echo "ok: '$*' exited with $code"
