#!/usr/bin/env bash
# The actor library sees of the program only what game/entlingExports.h declares and the list of its
# own by-name functions (game/entlingApiList.h): every other include of a source of entling/ must
# name a file of the library itself or a system header. Anything else would let the library call
# into the program past the header that says what it may use.
#   entling_includes.sh <repository root>
set -uo pipefail
root=$1
lib="$root/entling"
[ -d "$lib" ] || { echo "FAIL: no $lib"; exit 1; }
allowed_program="game/entlingExports.h game/entlingApiList.h"
fails=0
checked=0
while IFS= read -r -d '' file; do
  rel=${file#"$root/"}
  # Each include line: its number, quote or bracket form, and the name.
  while IFS=: read -r line text; do
    checked=$((checked + 1))
    name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1/' <<<"$text")
    case " $allowed_program " in *" $name "*) continue ;; esac
    if [[ $name == *..* ]]; then
      echo "FAIL: $rel:$line includes \"$name\", a path out of its folder"
      fails=1
    elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\" ]]; then
      # A quoted name is the library's own when it resolves in the file's folder or the library's root.
      if [ -f "$(dirname "$file")/$name" ] || [ -f "$lib/$name" ]; then continue; fi
      echo "FAIL: $rel:$line includes \"$name\", which is not the library's own nor its one header of the program"
      fails=1
    else
      # Bracketed names are system headers, unless they reach into the program's folders.
      case $name in
        engine/* | game/* | platform/* | tools/* | tests/*)
          echo "FAIL: $rel:$line includes <$name> of the program"
          fails=1
          ;;
      esac
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file")
done < <(find "$lib" -type f ! -name '*.bat' -print0)
[ $checked -gt 0 ] || { echo "FAIL: no include found under $lib"; exit 1; }
[ $fails -eq 0 ] && echo "ok: $checked includes under entling/, the program reached only through its one header"
exit $fails
