#!/bin/sh
# Rebuilds the actor library from the sources of this folder while the game runs, and publishes it
# as "entling_new.dll" in the program folder, where the game picks it up within a second. It builds
# the same CMake target as the main build ("entling"), in a build tree of its own that compiles this
# folder's sources; the target writes a temporary file and renames it into place, so the game never
# sees a half-written library. Messages go to standard output; the exit code is 0 on success.
#
# The game runs it with the program folder in ASCENDA_PROGRAM_DIR; by hand, from this folder, the
# program folder defaults to ../bin/. The main build leaves "entling_build.cfg" there: the source
# tree, CMake, the compiler and the options of that build. ENTLING_REBUILD_DIR overrides where the
# rebuild's build tree lives. ENTLING_REBUILD_CLEAN=1 (set by the game when a source was saved while
# the last build ran) removes the library's objects first: the build tool would otherwise take an
# object written after that save for up to date.
set -u
src=$(pwd -P)
prog=${ASCENDA_PROGRAM_DIR:-$src/../bin/}
case $prog in */) ;; *) prog=$prog/ ;; esac
cfg=${prog}entling_build.cfg
if [ ! -r "$cfg" ]; then
  echo "rebuild_dll.bat: error: no $cfg; build the game with CMake once"
  exit 1
fi
. "$cfg"
key=$(printf '%s|%s' "$src" "$prog" | cksum | cut -d ' ' -f 1)
build=${ENTLING_REBUILD_DIR:-$ASCENDA_REBUILD_ROOT/$key}
if [ ! -f "$build/CMakeCache.txt" ]; then
  "$ASCENDA_CMAKE" -S "$ASCENDA_SOURCE_ROOT" -B "$build" -G "$ASCENDA_GENERATOR" \
    -DCMAKE_BUILD_TYPE="$ASCENDA_BUILD_TYPE" -DCMAKE_C_COMPILER="$ASCENDA_CC" -DCMAKE_CXX_COMPILER="$ASCENDA_CXX" \
    -DASCENDA_SANITIZE="$ASCENDA_SANITIZE" -DASCENDA_TESTS=OFF -DASCENDA_BIN_DIR="$prog" \
    -DENTLING_SOURCE_DIR="$src" -DENTLING_PUBLISH_NAME=entling_new.dll || exit 1
fi
if [ "${ENTLING_REBUILD_CLEAN:-0}" = 1 ]; then
  if [ "$ASCENDA_GENERATOR" = Ninja ]; then
    "${ASCENDA_MAKE_PROGRAM:-ninja}" -C "$build" -t clean entling >/dev/null || exit 1
  else
    "$ASCENDA_CMAKE" --build "$build" --target clean >/dev/null || exit 1
  fi
fi
# Ninja directly when the build is Ninja's: it re-runs CMake itself when main.kst or the build's
# files changed, and skips the start-up of "cmake --build", a tenth of a short rebuild.
if [ "$ASCENDA_GENERATOR" = Ninja ]; then
  exec "${ASCENDA_MAKE_PROGRAM:-ninja}" -C "$build" entling
fi
exec "$ASCENDA_CMAKE" --build "$build" --target entling
