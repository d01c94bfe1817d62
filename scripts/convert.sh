#!/bin/bash
# scripts/convert.sh [INPUT.wav]
# Converts a WAV file to a RealAudio file with the plug-in, driven by the
# Windows host program under Wine. Without INPUT, a short test tone is made
# with sox. The plug-in and the programs are built first (build/win32).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

input=${1:-}
if [ -n "$input" ] && [ ! -f "$input" ]; then
  echo "convert.sh: no such file: $input" >&2
  exit 2
fi

log="$root/build/win32.log"
mkdir -p "$root/build"
if ! (cd "$root" && cmake --preset win32 >"$log" 2>&1 && cmake --build build/win32 -j2 >>"$log" 2>&1); then
  tail -n 40 "$log"
  echo "convert.sh: the build failed (log: $log)" >&2
  exit 1
fi

if [ -z "$input" ]; then
  input="$root/build/convert/tone-44100-stereo.wav"
  mkdir -p "$(dirname "$input")"
  sox -n -r 44100 -c 2 -b 16 "$input" synth 5 sine 440 sine 660 gain -6
fi

# The plug-in cannot encode yet: its compression object and the host program
# that feeds it are still to be built. Until then, stop here honestly.
if [ ! -f "$root/plugin/compression_object.cpp" ] || [ ! -f "$root/build/win32/bin/plughost.exe" ]; then
  echo "convert.sh: conversion is not available yet: rmplugin.dll builds, but it cannot" >&2
  echo "encode until the compression object and the host program (plughost) exist." >&2
  echo "Input would have been: $input" >&2
  exit 3
fi
echo "convert.sh: the host program is built but this script does not drive it yet" >&2
exit 3
