#!/bin/sh
# Rebuilds the actor library from the sources of this folder while the game runs, and publishes it
# as "entling_new.dll" in the program folder, where the game picks it up within a second. It builds
# the same CMake target as the main build ("entling"), in a build tree of its own that compiles this
# folder's sources, then writes a temporary file and renames it into place, so the game never sees
# a half-written library. Messages go to standard output; the exit code is 0 on success.
#
# The game runs it with the program folder in ASCENDA_PROGRAM_DIR; by hand, from this folder, the
# program folder defaults to ../bin/. The main build leaves "entling_build.cfg" there: the source
# tree, CMake, the compiler and the options of that build. ENTLING_REBUILD_DIR overrides where the
# rebuild's build tree lives. ENTLING_REBUILD_PREPARE=1 builds the tree without publishing (the main
# build does that, so that the first save while the game runs compiles one module, not all).
#
# The build tool goes by files' times: before it runs, every module whose files' bytes changed since
# the last build here (a file put back with an older time, or saved while the last build read it)
# is marked to be compiled again. Every build that succeeds publishes, even one with nothing to do:
# the game asked because a source changed, and the library of this tree is the present sources'.
set -u
src=$(pwd -P)
prog=${ASCENDA_PROGRAM_DIR:-$src/../bin/}
prog=$(cd "$prog" 2>/dev/null && pwd -P)/ || { echo "rebuild_dll.bat: error: no program folder $prog"; exit 1; }
cfg=${prog}entling_build.cfg
if [ ! -r "$cfg" ]; then
  echo "rebuild_dll.bat: error: no $cfg; build the game with CMake once"
  exit 1
fi
. "$cfg"
key=$(printf '%s|%s' "$src" "$prog" | cksum | cut -d ' ' -f 1)
build=${ENTLING_REBUILD_DIR:-$ASCENDA_REBUILD_ROOT/$key}
# One build at a time in a tree: the game's rebuild and the game's CMake build (which builds this
# tree too) may run together.
mkdir -p "$build"
if command -v flock >/dev/null 2>&1; then
  exec 9>"$build/rebuild.lock"
  flock 9
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  "$ASCENDA_CMAKE" -S "$ASCENDA_SOURCE_ROOT" -B "$build" -G "$ASCENDA_GENERATOR" \
    -DCMAKE_BUILD_TYPE="$ASCENDA_BUILD_TYPE" -DCMAKE_C_COMPILER="$ASCENDA_CC" -DCMAKE_CXX_COMPILER="$ASCENDA_CXX" \
    -DASCENDA_SANITIZE="$ASCENDA_SANITIZE" -DASCENDA_TESTS=OFF -DASCENDA_BIN_DIR="$prog" \
    -DENTLING_SOURCE_DIR="$src" -DENTLING_PUBLISH_NAME= >/dev/null || exit 1
fi
# A build that was stopped (the game ends a build it no longer needs at once, its compilers too)
# may have left an object half written and newer than its sources: whatever it wrote goes.
running=$build/entling_gen/build_running
if [ -f "$running" ]; then
  find "$build" -name '*.o' -newer "$running" -exec rm -f {} + 2>/dev/null
  rm -f "$build/entling/entling_lib.so"
fi
mkdir -p "$build/entling_gen" && : >"$running"
# The generator of the build that made this program folder: a tree kept from older sources holds an
# older generator, which would not know what the present sources ask of it. The tree's own only
# when that build's is gone.
gen=$ASCENDA_LAYOUT_GEN
[ -x "$gen" ] || gen=$build/entling_layout_gen
"$gen" --refresh "$src/" main.kst "$build/entling_gen" || exit 1
# Ninja directly when the build is Ninja's: it re-runs CMake itself when main.kst or the build's
# files changed, and skips the start-up of "cmake --build", a tenth of a short rebuild.
if [ "$ASCENDA_GENERATOR" = Ninja ]; then
  "${ASCENDA_MAKE_PROGRAM:-ninja}" -C "$build" entling || { rm -f "$running"; exit 1; }
else
  "$ASCENDA_CMAKE" --build "$build" --target entling || { rm -f "$running"; exit 1; }
fi
rm -f "$running"
[ "${ENTLING_REBUILD_PREPARE:-0}" = 1 ] && exit 0
# A temporary name, then a rename: the game never sees a half-written library.
cp -f "$build/entling/entling_lib.so" "${prog}entling_new.dll.tmp" && mv -f "${prog}entling_new.dll.tmp" "${prog}entling_new.dll"
