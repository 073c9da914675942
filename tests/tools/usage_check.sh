# One program's answer to its command line: the exit code it must give and a text its output must
# hold, before it starts any work (a program that starts instead is stopped by the test's timeout).
#   usage_check.sh [--no-display | --offscreen] <exit code> <extended regex> <program> [arguments...]
# The text is looked for on standard output for exit code 0 (a usage asked for, a run that passed)
# and on standard error for any other (a mistake, a fatal error). The program runs in an empty
# folder of its own with its data folder inside it: an answer to its command line (exit 0 or 2)
# must leave it empty, since nothing may have started (no log, no file written).
# --no-display runs it as on a machine without one (DISPLAY, WAYLAND_DISPLAY and SDL_VIDEODRIVER
# unset); --offscreen the same with SDL's offscreen driver chosen by name. Both are real runs, whose
# files are not checked.
set -u
env_args=()
answer_only=1
case "$1" in
  --no-display) env_args=(-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER) answer_only=0; shift ;;
  --offscreen) env_args=(-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen) answer_only=0; shift ;;
esac
want_code=$1 want_text=$2
shift 2
program=$1
case "$program" in /*) ;; *) program=$PWD/$program ;; esac
shift
scratch=$(mktemp -d /tmp/ascenda_usage_XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/run"
(cd "$scratch/run" && env -u APPDATA "${env_args[@]}" XDG_DATA_HOME="$scratch/run/data" "$program" "$@" \
  </dev/null >"$scratch/out" 2>"$scratch/err")
code=$?
if [ "$want_code" -eq 0 ]; then stream=out; else stream=err; fi
fail=0
if [ "$code" -ne "$want_code" ]; then
  echo "FAIL: '$program $*' exited with $code, not $want_code"
  fail=1
fi
if ! grep -qE -- "$want_text" "$scratch/$stream"; then
  echo "FAIL: the standard $stream of '$program $*' holds no match for '$want_text'"
  fail=1
fi
if [ $answer_only -eq 1 ]; then
  left=$(cd "$scratch/run" && find . -mindepth 1 | head -n 5)
  if [ -n "$left" ]; then
    echo "FAIL: '$program $*' started work: it left $(tr '\n' ' ' <<<"$left")"
    fail=1
  fi
fi
if [ $fail -ne 0 ]; then
  echo "---- its standard output:"
  head -n 30 "$scratch/out"
  echo "---- its standard error:"
  head -n 30 "$scratch/err"
  exit 1
fi
echo "ok: '$program $*' exited with $code"
