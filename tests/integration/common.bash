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
