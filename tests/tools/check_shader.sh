#!/usr/bin/env bash
# Compiles one shader source for both of its entry points the way the game's HLSL layer does:
# "vsh" as a vertex shader with VSH defined, "psh" as a pixel shader with PSH defined, DX9 rules.
# Every constant and sampler must name its register, or the register files would shift.
set -u
GLSLANG=$1
SRC=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for stage in vert:vsh:VSH frag:psh:PSH; do
  IFS=: read -r kind entry define <<<"$stage"
  if ! "$GLSLANG" -D -V -S "$kind" -e "$entry" -D"$define"=1 --hlsl-dx9-compatible -fhlsl_functionality1 \
      --auto-map-locations --auto-map-bindings "$SRC" -o "$out/$entry.spv" >"$out/$entry.log" 2>&1; then
    echo "$SRC: $entry failed"; cat "$out/$entry.log"; status=1
  fi
done
# Global declarations of constants and samplers (lines at the outer level starting with a type).
while IFS= read -r line; do
  if ! grep -qE 'register\((c|s)[0-9]+\)' <<<"$line"; then
    echo "$SRC: no register given: $line"; status=1
  fi
done < <(grep -E '^(float[1-4]?(x[1-4])?|sampler2D|sampler) [][A-Za-z_0-9]+ *(:|;)' "$SRC")
exit $status
