# The level tool's arguments: every bad value is a usage error naming the argument (exit 2) before
# anything is built; seeds cover the whole 64-bit range unchanged; --seeds sweeps exactly a range.
#   leveltool_args.sh <leveltool> <program folder>
set -u
TOOL=$1 DATA=$2
. "$(dirname "$0")/../integration/common.bash"
OUT=$APPDATA/out.txt

bad() {  # the argument the message must name, then the arguments
  local name=$1; shift
  "$TOOL" --data "$DATA" "$@" >"$OUT" 2>&1
  local rc=$?
  check "'$*' is a usage error" [ $rc -eq 2 ]
  check "'$*' names $name" grep -q "^leveltool: $name" "$OUT"
  check "'$*' builds nothing" bash -c "! grep -qE '^(level [0-9]+|sweep:|loaded)' '$OUT'"
}
bad --scale --scale 64 --out "$APPDATA/x.png"
bad --scale --scale 0
bad --level --level abc
bad --level --level 0
bad --level --level -2147483648
bad --level --level 12x
bad --sweep --sweep 0
bad --sweep --sweep -5
bad --levels --levels 40-13 --sweep 2
bad --levels --levels 0-3 --sweep 2
bad --seed --seed 18446744073709551616
bad --seed --seed -1
bad --seeds --seeds 9-3
bad --seeds --sweep 4 --seeds 1-2
bad --columns --columns 100-50 --out "$APPDATA/x.png"
bad --columns --columns 0-5000 --out "$APPDATA/x.png"
bad "--nonsense: unknown" --nonsense
bad "--seed needs a value" --seed
"$TOOL" --data "$DATA" --scale 16 --out "$APPDATA/x.png" >"$OUT" 2>&1
rc=$?
check "a picture too big to hold is refused" [ $rc -eq 2 ]
check "with what to do instead" grep -q "narrow --columns or lower --scale" "$OUT"
check "and not written" [ ! -e "$APPDATA/x.png" ]

"$TOOL" --data "$DATA" --level 3 --seed 18446744073709551615 --summary "$APPDATA/s.txt" >"$OUT" 2>&1
check "the largest seed is used as given" has_line "$APPDATA/s.txt" "level 3, seed 18446744073709551615"
"$TOOL" --data "$DATA" --level 3 --seed 9223372036854775809 --summary "$APPDATA/s.txt" >"$OUT" 2>&1
check "a seed above 2^63 is kept" has_line "$APPDATA/s.txt" "level 3, seed 9223372036854775809"
"$TOOL" --data "$DATA" --level 2 --columns 0-1024 --scale 2 --out "$APPDATA/part.png" >"$OUT" 2>&1
check "a part of the level enlarged is written" [ -s "$APPDATA/part.png" ]

"$TOOL" --data "$DATA" --seeds 18446744073709551613-18446744073709551615 --levels 4-5 >"$OUT" 2>&1
check "--seeds sweeps the range given" [ $? -eq 0 ]
check "level 4 over those seeds" has_line "$OUT" "level 4: seeds 18446744073709551613 to 18446744073709551615, every level built"
check "level 5 over those seeds" has_line "$OUT" "level 5: seeds 18446744073709551613 to 18446744073709551615, every level built"
check "the sweep's verdict" has_line "$OUT" "sweep: levels 4 to 5, seeds 18446744073709551613 to 18446744073709551615 each: all good"
"$TOOL" --data "$DATA" --sweep 3 --levels 7-7 >"$OUT" 2>&1
check "--sweep N is seeds 0 to N-1" has_line "$OUT" "level 7: seeds 0 to 2, every level built"
finish
