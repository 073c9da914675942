#!/usr/bin/env bash
# The actor library rebuilt and swapped while the game runs. In a copy of the program folder and of
# the library's sources, side by side as bin/ and entling/ (so no file of the repository changes):
# a source edit is rebuilt by entling/rebuild_dll.bat and swapped in, the live objects answering
# with the new code; a syntax error fails the build and leaves the old library running; the next
# good edit recovers; a member of any access is compared, a struct in a code file builds, sources
# put back with older times are built, a broken waiting library is put aside at start-up. Edits
# follow each other within one second.
#   entling_reload.sh <path of the game>
set -uo pipefail
game=$1
prog_src=$(dirname "$game")
. "$prog_src/entling_build.cfg"
src_src=$ASCENDA_SOURCE_ROOT/entling
tmp=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# Times kept: the library stays newer than its sources, as the build left them.
cp -rp "$prog_src" "$tmp/bin"
rm -f "$tmp/bin/entling_new.dll"
cp -rp "$src_src" "$tmp/entling"
cp -p "$game" "$tmp/bin/game"
export ENTLING_REBUILD_DIR=$tmp/rebuild  # the rebuild's own build tree stays in here
out=$tmp/out.txt
fails=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fails=$((fails + 1)); fi
}
# Waits until the text appears in the output after line $2; prints its line number.
wait_after() {  # text, line, seconds
  local i n
  for ((i = 0; i < $3 * 10; i++)); do
    n=$(tail -n +$(($2 + 1)) "$out" | grep -nF -m1 -- "$1" | cut -d: -f1)
    [ -n "$n" ] && { echo $(($2 + n)); return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
fail() { echo "FAIL: $*"; echo "--- output:"; grep -n "" "$out" | grep -v "^[0-9]*:--" | tail -n 40; exit 1; }

# The edits change what every class answers to className(): the live objects report their classes
# after every bind, asked of the newly bound code.
name_files=$(grep -rlF 'return #Class;' "$tmp/entling" --include='*.kst')
[ -n "$name_files" ] || fail "no source defines className() as 'return #Class;'"
suffix_class_names() {  # from (a sed pattern), to
  local file
  for file in $name_files; do sed -i "s/return #Class$1;/return #Class \"$2\";/" "$file"; done
}
# A bind's line of live objects without the names' suffix.
others() { sed -E "s/.*entling bound: //; s/$1 / /g" <<<"$2"; }

APPDATA=$tmp/appdata SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ASCENDA_NO_MESSAGE_BOX=1 \
  "$tmp/bin/game" -win -360 >"$out" 2>&1 &
pid=$!
start=$(wait_after "total start-up time" 0 60) || fail "the game did not start"

# 1. A good edit: rebuilt and swapped; the live objects answer with the new name.
suffix_class_names "" Two
n=$(wait_after "=== rebuilding entling DLL" "$start" 10) || fail "no rebuild after the edit"
m=$(wait_after "main.kst" "$n" 60) || fail "no build line"
m=$(wait_after "=== DLL rebuild done in " "$n" 120) || fail "the rebuild did not finish"
check "the rebuild's time is logged" grep -qE "=== DLL rebuild done in [0-9]+ ms" "$out"
k=$(wait_after "entling reload ok" "$m" 10) || fail "no reload after the build"
bound=$(tail -n +"$m" "$out" | grep -F -m1 "entling bound: ")
check "the live objects answer with the new code" grep -qE "^[^,]*: HeroTwo 1, BaseEnemyTwo [0-9]+" <<<"$bound"
objects=$(others Two "$bound")

# A rebuild tree kept from older sources holds the generator of those sources (here one that knows
# no option of today's, dated before them): the rebuild asks the program's own, and the build makes
# the tree's anew. Steps 2 and 3 build with it.
tree_gen=$ENTLING_REBUILD_DIR/entling_layout_gen
check "the rebuild tree has a generator of its own" [ -x "$tree_gen" ]
printf '#!/bin/sh\necho "entling_layout_gen: $1: unknown option"; exit 2\n' >"$tree_gen"
touch -d 2000-01-01 "$tree_gen"

# 2. A syntax error, saved within a second of the last edit: the build fails, nothing is swapped.
printf '\nthis is not C++;\n' >> "$tmp/entling/main.kst"
n=$(wait_after "=== rebuilding entling DLL" "$k" 10) || fail "no rebuild after the broken edit"
e=$(wait_after "error" "$n" 120) || fail "the compiler's error was not echoed"
f=$(wait_after "!!! failed to rebuild entling DLL (code " "$n" 120) || fail "the failed build was not reported"
sleep 2.5
check "the old library keeps running" bash -c "! tail -n +$f '$out' | grep -qF 'entling reload'"
check "the game is still running" kill -0 "$pid"

# 3. The next good edit recovers.
sed -i '/^this is not C++;$/d' "$tmp/entling/main.kst"
suffix_class_names ' "Two"' Three
n=$(wait_after "=== rebuilding entling DLL" "$f" 10) || fail "no rebuild after the fix"
m=$(wait_after "=== DLL rebuild done in " "$n" 120) || fail "the fixed build did not finish"
k=$(wait_after "entling reload ok" "$m" 10) || fail "no reload after the fix"
bound=$(tail -n +"$m" "$out" | grep -F -m1 "entling bound: ")
check "recovered with the newest code" grep -qE "^[^,]*: HeroThree 1, BaseEnemyThree [0-9]+" <<<"$bound"
check "the same objects throughout" [ "$(others Three "$bound")" = "$objects" ]

# 4. An edit saved while the compiler runs: the object written after it must not pass for up to date.
suffix_class_names ' "Three"' Four
n=$(wait_after "=== rebuilding entling DLL" "$k" 10) || fail "no rebuild after the fourth edit"
m=$(wait_after "Building CXX object" "$n" 60) || fail "no compile line"
suffix_class_names ' "Four"' Five
k=$(wait_after "HeroFive 1" "$m" 180) || fail "the edit saved during the build never reached a library"
check "the edit saved during the build was built" true

# 5. A struct defined in a module's code file builds and swaps.
printf 'struct ReviewHelper { int a = 3; };\nint review_helper_value() { return ReviewHelper{}.a; }\n' \
  >>"$tmp/entling/objects/bonusCode.kst"
n=$(wait_after "=== rebuilding entling DLL" "$k" 10) || fail "no rebuild after the struct in a code file"
k=$(wait_after "entling reload ok" "$n" 180) || fail "a struct in a code file did not build and swap"
check "no error in a generated file" bash -c "! tail -n +$n '$out' | grep -qE 'error|not declared'"
# 6. Sources put back with their older times (cp -p of a backup) are built and swapped all the same.
mkdir -p "$tmp/backup"
for f in $name_files; do cp -p "$f" "$tmp/backup/$(echo "$f" | tr / _)"; done
suffix_class_names ' "Five"' Seven
n=$(wait_after "=== rebuilding entling DLL" "$k" 10) || fail "no rebuild after the seventh edit"
k=$(wait_after "HeroSeven 1" "$n" 180) || fail "the seventh edit was not swapped in"
for f in $name_files; do cp -p "$tmp/backup/$(echo "$f" | tr / _)" "$f"; done
n=$(wait_after "=== rebuilding entling DLL" "$k" 10) || fail "no rebuild after the backup was put back"
k=$(wait_after "HeroFive 1" "$n" 180) || fail "the sources put back with older times were never built"
check "the sources put back with older times run" true

# 7. Classes whose layout changed are refused, the game runs on: a screen that grows, then a value
# type the boss's objects hold.
refused() {  # what to edit (a description), the class named
  local n f
  n=$(wait_after "=== rebuilding entling DLL" "$k" 10) || fail "no rebuild after $1"
  f=$(wait_after "entling classes changed, need restart" "$n" 180) || fail "$1 was not refused"
  check "$1: the changed class is named" bash -c "tail -n +$n '$out' | grep -qF 'the layout of $2 changed'"
  sleep 2.5
  check "$1: nothing was swapped" bash -c "! tail -n +$n '$out' | grep -qF 'entling reload'"
  check "$1: the game runs on" kill -0 "$pid"
  k=$f
}
sed -i 's/^struct main_menu_screen_Class : BaseGuiScreen {$/&\n  char tail[256];/' "$tmp/entling/gui/menus.kst"
refused "a grown screen" main_menu_screen_Class
sed -i '/^  char tail\[256\];$/d' "$tmp/entling/gui/menus.kst"
sed -i 's/^  int id;$/&\n  int extra1, extra2;/' "$tmp/entling/gen/entling.kst"
refused "a grown member type" BossSubpart

# 8. A member under "protected:" that fits in the class's padding (its size stays) is refused too
# (the member type's growth above taken back); this refused build waits for the restart below.
sed -i '/^  int extra1, extra2;$/d' "$tmp/entling/gen/entling.kst"
sed -i 's/^ protected:$/&\n  float reviewP = 0.5f;/' "$tmp/entling/objects/bonus.kst"
refused "a protected member" Bonus
kill -TERM "$pid"
wait "$pid"
rc=$?
pid=""
check "the game exits cleanly after the swaps" [ $rc -eq 0 ]
check "the library is unloaded at shutdown" grep -qF "closed scene" "$out"

# 9. "need restart" holds: the next start takes the refused build, made from the present sources;
# and sources edited while the game is off are built at start-up.
start_game() {
  APPDATA=$tmp/appdata SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ASCENDA_NO_MESSAGE_BOX=1 \
    "$tmp/bin/game" -win -360 >"$out" 2>&1 &
  pid=$!
  wait_after "total start-up time" 0 300 >/dev/null || fail "the game did not start again"
}
stop_game() {
  kill -TERM "$pid"
  wait "$pid"
  pid=""
}
check "the refused build waits" [ -f "$tmp/bin/entling_new.dll" ]
start_game
check "the restart takes the refused build" grep -qF "taking the waiting entling_new.dll" "$out"
check "no build was needed" bash -c "! grep -qF '=== rebuilding entling DLL' '$out'"
stop_game
suffix_class_names ' "Five"' Six
start_game
check "sources changed since the library are built at start-up" grep -qF "entling.dll rebuilt from the present sources" "$out" ||
  grep -n "entling\|===" "$out" | head -n 20
check "its build output is shown" grep -qF "=== DLL rebuild done in " "$out"
check "the start-up build's code runs" bash -c "grep -qF 'HeroSix' '$tmp/bin/entling.dll'"
stop_game
# 10. A waiting file that is no library (1 MB of random bytes, newer than the sources) is put aside;
# the game starts on the working library, and again the next time.
head -c 1048576 /dev/urandom >"$tmp/bin/entling_new.dll"
start_game
check "a broken waiting library is put aside" grep -qF "entling_new.dll put aside as entling_new.dll.refused: " "$out"
check "the game starts on the working library" bash -c "! grep -qF \"can't load entling.dll\" '$out'"
stop_game
start_game
check "and starts again" grep -qF "total start-up time" "$out"
stop_game
[ $fails -eq 0 ] || { echo "--- output:"; tail -n 60 "$out"; echo "$fails check(s) failed"; exit 1; }
