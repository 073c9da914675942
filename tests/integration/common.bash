# Shared by the integration scripts: checks that count failures and a scratch data folder.
fails=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fails=$((fails + 1)); fi
}
has_line() { grep -qF -- "$2" "$1"; }
# Lines in this order (others may stand between them).
in_order() {
  local file=$1; shift
  python3 - "$file" "$@" <<'PY'
import sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read().split("\n")
pos = 0
for want in sys.argv[2:]:
    while pos < len(text) and not text[pos].startswith(want):
        pos += 1
    if pos == len(text):
        print("missing or out of order:", want)
        sys.exit(1)
    pos += 1
PY
}
wait_for_line() {  # file, text, seconds
  local i=0
  while [ $i -lt $(($3 * 10)) ]; do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1; i=$((i + 1))
  done
  return 1
}
export APPDATA=$(mktemp -d /tmp/ascenda_it_XXXXXX)
trap 'rm -rf "$APPDATA"' EXIT
finish() { [ $fails -eq 0 ] || { echo "$fails check(s) failed"; exit 1; }; }
# Prints "r g b a" of pixel (x, y) of an 8-bit RGBA PNG.
png_pixel() {
  python3 - "$@" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
x, y = int(sys.argv[2]), int(sys.argv[3])
pos, idat, w, h = 8, b"", 0, 0
while pos < len(data):
    n, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    if kind == b"IHDR":
        w, h, depth, ctype = struct.unpack(">IIBB", body[:10])
        assert depth == 8 and ctype == 6, "not 8-bit RGBA"
    elif kind == b"IDAT":
        idat += body
    pos += 12 + n
raw, bpp, stride = zlib.decompress(idat), 4, w * 4
prev, rows = bytearray(stride), []
for r in range(h):
    f, line = raw[r * (stride + 1)], bytearray(raw[r * (stride + 1) + 1:(r + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b, c = prev[i], prev[i - bpp] if i >= bpp else 0
        if f == 1: line[i] = (line[i] + a) & 255
        elif f == 2: line[i] = (line[i] + b) & 255
        elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line); prev = line
px = rows[y][x * 4:x * 4 + 4]
print(*px)
PY
}
