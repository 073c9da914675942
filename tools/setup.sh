#!/usr/bin/env bash
# Installs the Debian packages the game needs to build, run and test, only those still missing.
# Safe to run again: with everything present it does nothing, and it needs root (or sudo) only to
# install packages.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
  libsdl2-dev libpng-dev zlib1g-dev libstb-dev libsndfile1-dev libfreetype-dev fonts-dejavu-core
  glslang-dev glslang-tools spirv-tools spirv-cross libspirv-cross-c-shared-dev
  libegl-dev libgl-dev libgl1-mesa-dri libegl-mesa0
  xvfb xauth xdotool x11-xkb-utils xdg-utils libx11-dev clang clang-format libclang-rt-14-dev
  dpkg-dev patch xz-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# Only installing needs root: as root directly, else through sudo; without either the packages are
# named so that someone who may install them can.
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "setup: these packages are missing, and installing them needs root (there is no sudo here):" >&2
      echo "setup:   ${missing[*]}" >&2
      echo "setup: as root: apt-get install --no-install-recommends ${missing[*]}" >&2
      exit 1
    fi
    SUDO=(sudo)
  fi
  echo "setup: installing ${missing[*]}"
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Libraries built from source packages, once, into a cache outside the build trees.
for extra in "$(dirname "$0")"/setup.d/*.sh; do
  [ -e "$extra" ] && bash "$extra"
done
exit 0
