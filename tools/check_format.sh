#!/usr/bin/env bash
# Checks that every C and C++ source of the repository (the actor library's ".kst" files included)
# is formatted as the repository's .clang-format says, and names each file that drifts with the
# number of its lines clang-format would change. Exits 1 when one drifts, 2 without clang-format.
# `clang-format -i FILE` (or `git clang-format` for a change) formats a file that is named.
#   tools/check_format.sh [repository root]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
command -v clang-format >/dev/null || { echo "check_format: clang-format is not installed (tools/setup.sh installs it)"; exit 2; }
[ -f .clang-format ] || { echo "check_format: no .clang-format in $root"; exit 2; }

# The tracked sources when this is a git checkout, else every source under the project's folders.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.c' '*.kst')
else
  mapfile -t files < <(find engine game entling platform tests tools -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.kst' \) | sort)
fi
[ ${#files[@]} -gt 0 ] || { echo "check_format: no sources found"; exit 2; }

# The C and C++ files in one dry run, which names each file that would change; the library's ".kst"
# sources one by one through clang-format's standard input, since clang-format knows the language
# by the file name (they are C++; entling/.clang-format keeps their include order).
declare -A drifting=()
cxx=() kst=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  case $f in *.kst) kst+=("$f") ;; *) cxx+=("$f") ;; esac
done
if [ ${#cxx[@]} -gt 0 ]; then
  while IFS= read -r f; do drifting[$f]=1; done < <(clang-format --style=file --dry-run "${cxx[@]}" 2>&1 |
    sed -nE 's/^(.*):[0-9]+:[0-9]+: (warning|error): code should be clang-formatted.*/\1/p' | sort -u)
fi
for f in "${kst[@]}"; do
  clang-format --style=file --assume-filename="${f%.kst}.cpp" <"$f" | cmp -s - "$f" || drifting[$f]=1
done

drift=0
for f in "${files[@]}"; do
  [ -n "${drifting[$f]:-}" ] || continue
  case $f in
    *.kst) changed=$(clang-format --style=file --assume-filename="${f%.kst}.cpp" <"$f" | diff "$f" - | grep -c '^<') ;;
    *) changed=$(clang-format --style=file "$f" | diff "$f" - | grep -c '^<') ;;
  esac
  [ "$changed" -eq 1 ] && lines=line || lines=lines
  echo "drifts from .clang-format: $f ($changed $lines to change)"
  drift=$((drift + 1))
done
if [ $drift -gt 0 ]; then
  echo "check_format: $drift of ${#files[@]} files drift from .clang-format"
  exit 1
fi
echo "check_format: all ${#files[@]} files as .clang-format says"
