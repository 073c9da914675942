#!/usr/bin/env bash
# Every symbol that the actor library leaves undefined must be exported by the game (or come from a
# system library the game itself loads): otherwise "entling.dll" fails to load, or worse, binds to
# something else. The library exports only its extern "C" lookups.
#   entling_symbols.sh <path of the game>
set -uo pipefail
game=$1
lib=$(dirname "$game")/entling.dll
[ -f "$lib" ] || { echo "FAIL: no $lib"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Undefined in the library (weak ones may stay unresolved).
nm -D --undefined-only "$lib" | awk '$1 == "U" { sub(/@.*/, "", $2); print $2 }' | sort -u > "$tmp/needed"
# Defined by the game and by the system libraries it loads.
{
  nm -D --defined-only "$game"
  ldd "$game" | awk '/=> \// { print $3 }' | while read -r so; do nm -D --defined-only "$so"; done
} | awk 'NF >= 3 { sub(/@.*/, "", $3); print $3 }' | sort -u > "$tmp/have"
missing=$(comm -23 "$tmp/needed" "$tmp/have")
fails=0
if [ -n "$missing" ]; then
  echo "FAIL: symbols the library needs that the game does not export:"
  echo "$missing" | c++filt | sed 's/^/  /'
  fails=1
fi
[ -s "$tmp/needed" ] || { echo "FAIL: the library needs nothing from the game?"; fails=1; }
# Of the program's own symbols the library needs, at least one must come from the game itself.
nm -D --defined-only "$game" | awk 'NF >= 3 { print $3 }' | sort -u > "$tmp/game"
[ -n "$(comm -12 "$tmp/needed" "$tmp/game")" ] || { echo "FAIL: nothing needed from the game itself"; fails=1; }
exported=$(nm -D --defined-only "$lib" | awk 'NF >= 3 && $2 ~ /[TtWw]/ { print $3 }' | sort -u | tr '\n' ' ')
expected="get_entling_class_sizes get_entling_func_by_name get_entling_layouts get_entling_sources get_entling_vtables "
if [ "$exported" != "$expected" ]; then
  echo "FAIL: the library exports [$exported], expected [$expected]"
  fails=1
fi
[ $fails -eq 0 ] && echo "ok: $(wc -l < "$tmp/needed") needed symbols, all exported by the game or its libraries"
exit $fails
