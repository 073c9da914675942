#!/usr/bin/env bash
# The engine's floors, checked from the include lines:
# - the ground floor (the log with fatal errors and assertions, the containers, the maths and
#   strings, the streams, the shared heap, the platform utilities the log writes its files with,
#   the crash report) includes nothing of the engine but itself and of the platform only its
#   header: every other module reports through the log, so a rendering, GUI or shell header here
#   would tie the whole engine into one circle again;
# - the renderer (engine/d3d_*) and the settings (engine/config.*) reach no header of the shell,
#   even through the headers they include: the shell hands the renderer its display settings and
#   applies what the settings module reads.
#   engine_floors.sh <repository root>
set -uo pipefail
root=$1
[ -d "$root/engine" ] || { echo "FAIL: no $root/engine"; exit 1; }
cd "$root" || exit 1
ground=$(ls engine/log.* engine/cont/* engine/misc/* engine/streams.* engine/sharedHeap.* engine/sysUtils.* \
  engine/crashReport.* engine/appVersion.h)
allowed_below="platform/platform.h"
shell_headers="engine/app.h"
fails=0
checked=0

quoted_includes() { sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$1"; }

for file in $ground; do
  while IFS= read -r name; do
    checked=$((checked + 1))
    case " $(echo $ground) $allowed_below " in *" $name "*) continue ;; esac
    echo "FAIL: $file includes \"$name\", above the ground floor"
    fails=1
  done < <(quoted_includes "$file")
done

# Every header a file reaches through its quoted includes, each once.
reached() {
  local -A seen=()
  local queue=("$1") f name
  while [ ${#queue[@]} -gt 0 ]; do
    f=${queue[0]}
    queue=("${queue[@]:1}")
    while IFS= read -r name; do
      [ -n "${seen[$name]:-}" ] && continue
      seen[$name]=1
      echo "$name"
      [ -f "$name" ] && queue+=("$name")
    done < <(quoted_includes "$f")
  done
}

for file in engine/d3d_*.cpp engine/d3d_*.h engine/config.cpp engine/config.h; do
  while IFS= read -r name; do
    checked=$((checked + 1))
    case " $shell_headers " in *" $name "*)
      echo "FAIL: $file reaches \"$name\", the shell's header"
      fails=1
      ;;
    esac
  done < <(reached "$file")
done

[ $checked -gt 0 ] || { echo "FAIL: no include found under engine/"; exit 1; }
[ $fails -eq 0 ] && echo "ok: $checked includes checked, the ground floor and the renderer and settings stay below the shell"
exit $fails
