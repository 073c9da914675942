#!/usr/bin/env bash
# Builds the Squirrel 3.1 script engine (static library and standard libraries) once into a cache
# outside the build trees. Debian 12 has no Squirrel package, but the same archive serves the next
# release's source package, squirrel3 (any 3.x), with Debian's patches. apt fetches it with a list
# file, package lists and a download cache of our own under the user's cache folder, so no root is
# needed and the system's apt configuration is never written; the archive's address is read from it.
# With the cache in place this script does nothing.
set -euo pipefail

# The cache keeps the name of the series the game was written against, whichever 3.x arrives.
SQ_VERSION=3.1
CACHE_ROOT="${XDG_CACHE_HOME:-$HOME/.cache}/ascenda"
CACHE="$CACHE_ROOT/squirrel3-$SQ_VERSION"
# Bump the stamp name when the way the cache is built changes, so old caches are rebuilt.
STAMP="$CACHE/.built-2"

if [ -f "$STAMP" ] && [ -f "$CACHE/lib/libsquirrel_static.a" ] && [ -f "$CACHE/lib/libsqstdlib_static.a" ] &&
   [ -f "$CACHE/include/squirrel.h" ]; then
  exit 0
fi

fail() { echo "squirrel setup: $*" >&2; exit 1; }

# The archive address: the first Debian main archive of the machine's apt sources (deb822 files
# first, then one-line lists). Security and update suites live elsewhere and are skipped.
find_archive_uri() {
  local f uri
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk '
      BEGIN { RS=""; FS="\n" }
      {
        uris=""; suites=""; types=""; enabled="yes"
        for (i = 1; i <= NF; i++) {
          line = $i
          if (line ~ /^[ \t]*#/) continue
          split(line, kv, ":")
          key = tolower(kv[1]); sub(/^[^:]*:[ \t]*/, "", line)
          if (key == "uris") uris = line
          else if (key == "suites") suites = line
          else if (key == "types") types = line
          else if (key == "enabled") enabled = tolower(line)
        }
        if (enabled == "no" || types !~ /deb/) next
        n = split(suites, s, /[ \t]+/)
        ok = 0
        for (j = 1; j <= n; j++) if (s[j] ~ /^(bookworm|stable|trixie)$/) ok = 1
        if (!ok) next
        split(uris, u, /[ \t]+/)
        print u[1]; exit
      }' "$f")
    [ -n "$uri" ] && { echo "$uri"; return 0; }
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    uri=$(awk '
      $1 == "deb" || $1 == "deb-src" {
        i = 2
        if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) ~ /^(bookworm|stable|trixie)$/) { print $i; exit }
      }' "$f")
    [ -n "$uri" ] && { echo "$uri"; return 0; }
  done
  return 1
}

URI=$(find_archive_uri) || fail "no Debian archive found in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"

WORK=$(mktemp -d)
cleanup() { rm -rf "$WORK"; }
trap cleanup EXIT

# apt's own folders for this fetch: one deb-src line, its package lists and its downloads. Nothing
# outside the user's cache is written, and no lock of the system's apt is taken.
APT_DIR="$CACHE_ROOT/apt"
mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
echo "deb-src $URI trixie main" >"$APT_DIR/sources.list"
APT_OURS=(-o "Dir::Etc::SourceList=$APT_DIR/sources.list" -o "Dir::Etc::SourceParts=$APT_DIR/sources.list.d"
  -o "Dir::State::Lists=$APT_DIR/lists" -o "Dir::Cache=$APT_DIR/cache" -o "APT::Get::List-Cleanup=0")

echo "squirrel setup: fetching the squirrel3 source package (once)"
apt-get update -qq "${APT_OURS[@]}" >"$WORK/update.log" 2>&1 || true
# apt may report the .dsc as failed while both tarballs arrive, so the tarballs decide, not its status.
(cd "$WORK" && apt-get source --download-only "${APT_OURS[@]}" squirrel3 >"$WORK/source.log" 2>&1) || true

ORIG=$(ls "$WORK"/squirrel3_3.*.orig.tar.* 2>/dev/null | head -n 1 || true)
DEBIAN_TAR=$(ls "$WORK"/squirrel3_3.*-*.debian.tar.* 2>/dev/null | head -n 1 || true)
if [ -z "$ORIG" ] || [ -z "$DEBIAN_TAR" ]; then
  echo "--- apt-get update:" >&2; tail -n 20 "$WORK/update.log" >&2 || true
  echo "--- apt-get source:" >&2; tail -n 20 "$WORK/source.log" >&2 || true
  fail "could not download a squirrel3 3.x .orig tarball and its .debian tarball from $URI (trixie)"
fi
echo "squirrel setup: got $(basename "$ORIG") and $(basename "$DEBIAN_TAR")"

SRC="$WORK/src"
mkdir -p "$SRC"
tar -xf "$ORIG" -C "$SRC" --strip-components=1
tar -xf "$DEBIAN_TAR" -C "$SRC"
if [ -f "$SRC/debian/patches/series" ]; then
  while read -r p _; do
    case "$p" in ''|\#*) continue ;; esac
    patch -d "$SRC" -p1 --quiet <"$SRC/debian/patches/$p" || fail "patch $p does not apply"
  done <"$SRC/debian/patches/series"
fi

cmake -S "$SRC" -B "$WORK/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
  >"$WORK/cmake.log" 2>&1 || { tail -n 30 "$WORK/cmake.log" >&2; fail "configuring Squirrel failed"; }
cmake --build "$WORK/build" -j"$(nproc)" --target squirrel_static sqstdlib_static \
  >"$WORK/build.log" 2>&1 || { tail -n 30 "$WORK/build.log" >&2; fail "building Squirrel failed"; }

rm -rf "$CACHE"
mkdir -p "$CACHE/include" "$CACHE/lib"
cp "$SRC"/include/*.h "$CACHE/include/"
find "$WORK/build" -name 'libsquirrel_static.a' -exec cp {} "$CACHE/lib/" \;
find "$WORK/build" -name 'libsqstdlib_static.a' -exec cp {} "$CACHE/lib/" \;
[ -f "$CACHE/lib/libsquirrel_static.a" ] && [ -f "$CACHE/lib/libsqstdlib_static.a" ] ||
  fail "the Squirrel build made no static libraries"
# The game supplies the engine's allocation hooks (they go to its shared heap), so the library's
# default ones must not be linked in.
ar d "$CACHE/lib/libsquirrel_static.a" sqmem.cpp.o 2>/dev/null || true
nm "$CACHE/lib/libsquirrel_static.a" 2>/dev/null | grep -q ' T .*sq_vm_malloc' &&
  fail "could not remove the default memory hooks from libsquirrel_static.a"
touch "$STAMP"
echo "squirrel setup: built into $CACHE"
