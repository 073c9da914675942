#!/usr/bin/env bash
# Installs the Debian packages the game needs to build, run and test, only those still missing.
# Safe to run again: with everything present it does nothing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
  libsdl2-dev libpng-dev zlib1g-dev libstb-dev libsndfile1-dev libfreetype-dev fonts-dejavu-core
  glslang-dev glslang-tools spirv-tools spirv-cross libspirv-cross-c-shared-dev
  libegl-dev libgl-dev libgl1-mesa-dri libegl-mesa0
  xvfb xauth xdotool x11-xkb-utils xdg-utils libx11-dev clang libclang-rt-14-dev
  dpkg-dev patch xz-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Libraries built from source packages, once, into a cache outside the build trees.
for extra in "$(dirname "$0")"/setup.d/*.sh; do
  [ -e "$extra" ] && bash "$extra"
done
exit 0
