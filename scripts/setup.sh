#!/bin/bash
# Installs every Debian 12 package that building and testing need.
# Idempotent, and quick when everything is there (one dpkg-query per package).
# Runs apt-get as root, or through sudo for other users.
set -euo pipefail

packages=(
  # cross toolchain and the Windows side of the tests
  mingw-w64 g++-mingw-w64-i686 wine wine32:i386 wine64 fonts-wine xvfb xauth imagemagick
  # native build and tests
  cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
  # audio tools and reference resamplers used by tests
  ffmpeg sox libsoxr-dev libsamplerate0-dev libfftw3-dev
  # the AC-3 tests' independent decoder, speech for the quality table, and
  # the players that must play what the stand-in engine writes
  pkg-config libavcodec-dev libavutil-dev espeak-ng mplayer
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  # benchmark scripts: whole-process time and peak memory
  time python3 python3-numpy python3-matplotlib
)

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

missing=()
# One query for the common case where everything is there.
installed_count=$(dpkg-query -W -f='${db:Status-Status}\n' "${packages[@]}" 2>/dev/null |
  grep -c '^installed$' || true)
if [ "$installed_count" -ne ${#packages[@]} ]; then
  for package in "${packages[@]}"; do
    is_installed "$package" || missing+=("$package")
  done
fi
need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
  exit 0
fi

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "setup.sh: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
}

echo "setup.sh: installing ${missing[*]:-(i386 architecture only)}"
export DEBIAN_FRONTEND=noninteractive
[ $need_i386 -eq 0 ] || as_root dpkg --add-architecture i386
as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
