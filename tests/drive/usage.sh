# world_drive's command line: --help answers with the usage and exit 0 on standard output; a wrong
# argument gets what is wrong and the usage on standard error and exit 2, before anything runs.
#   bash usage.sh <world_drive> <program folder> <actor library> <a scenario>
set -u
DRIVE=$1 DATA=$2 LIB=$3 SCENARIO=$4
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
failures=0

# expect STATUS STREAM WORDS -- ARGUMENTS: the exit status, and WORDS in STREAM (out or err).
expect() {
  local status=$1 stream=$2 words=$3
  shift 4
  "$DRIVE" "$@" >"$OUT/out" 2>"$OUT/err"
  local rc=$?
  if [ $rc -ne "$status" ] || ! grep -qF -- "$words" "$OUT/$stream" || ! grep -qF "usage: world_drive" "$OUT/$stream"; then
    echo "FAIL: world_drive $*: exit $rc (expected $status), '$words' and the usage expected on std$stream"
    sed 's/^/  out: /' "$OUT/out"
    sed 's/^/  err: /' "$OUT/err"
    failures=$((failures + 1))
  else
    echo "ok: world_drive $* (exit $rc)"
  fi
}

L=(--data "$DATA" --lib "$LIB")
expect 0 out "--swap-at N" -- --help
expect 0 out "--player LEVELS SEEDS" -- "${L[@]}" --player 1 1 --help
expect 2 err "unknown option --bogus" -- "${L[@]}" --bogus "$SCENARIO"
expect 2 err "--swap-at needs a whole number" -- "${L[@]}" --swap-at five "$SCENARIO"
expect 2 err "--swap-at needs a value" -- "${L[@]}" "$SCENARIO" --swap-at
expect 2 err "--swap-at goes with a scenario only" -- "${L[@]}" --swap-at 5 --player 1 1
expect 2 err "--repeat goes with a scenario only" -- "${L[@]}" --repeat --bench 12 1
expect 2 err "--player LEVELS SEEDS takes ranges" -- "${L[@]}" --player 1 x
expect 2 err "one of a scenario, --player, --bench or --whole-run" -- "${L[@]}"
expect 2 err "one of a scenario, --player, --bench or --whole-run" -- "${L[@]}" --bench 12 1 "$SCENARIO"
expect 2 err "--data and --lib are needed" -- "$SCENARIO"
expect 2 err "one scenario at a time" -- "${L[@]}" "$SCENARIO" "$SCENARIO"
[ $failures -eq 0 ] && echo "passed" || echo "FAILED: $failures"
exit $((failures != 0))
