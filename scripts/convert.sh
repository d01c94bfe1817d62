#!/bin/sh
# The main job: converts WAV files to RealAudio (.rm) the way the music
# converter does, through plughost, the plug-in rmplugin.dll and the
# stand-in build engine rmbe3260.dll under Wine, then says what each
# result holds, as ffprobe reads it.
#
#   scripts/convert.sh [--set NAME=VALUE ...] [INPUT.wav ...]
#
# Without an input it converts a generated 30-second stereo sample,
# build/samples/Harbor Lights - Evening Tide.wav. Results go to
# build/converted/, named after the inputs, replacing earlier results. The
# conversion uses 44100 Hz "Stereo Music" unless --set says otherwise
# (ZVKRMFreq=22050, ZVKRMAudioFormat=2 for "Music", ...; see plughost's
# usage); the settings apply to this conversion only.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

settings="--set ZVKRMFreq=44100 --set ZVKRMAudioFormat=3 --set ZVKRMSurestream=0 --set ZVKRMTitleArtist=0 --set ZVKRMExt=.rm"
while [ $# -gt 0 ] && [ "$1" = "--set" ]; do
  [ $# -ge 2 ] || { echo "convert.sh: --set needs NAME=VALUE" >&2; exit 2; }
  settings="$settings --set $2"
  shift 2
done

for input in "$@"; do
  [ -f "$input" ] || { echo "convert.sh: no such file: $input" >&2; exit 2; }
done

scripts/setup.sh
log=build/win32.log
mkdir -p build
if ! { cmake --preset win32 >"$log" 2>&1 &&
       cmake --build build/win32 -j2 --target plughost rmplugin rmbe3260 >>"$log" 2>&1; }; then
  tail -n 40 "$log"
  echo "convert.sh: the build failed (log: $log)" >&2
  exit 1
fi

if [ $# -eq 0 ]; then
  sample="build/samples/Harbor Lights - Evening Tide.wav"
  if [ ! -f "$sample" ]; then
    mkdir -p build/samples
    scripts/make-sample.sh "$sample"
  fi
  set -- "$sample"
fi

out_dir=build/converted
mkdir -p "$out_dir"
status=0
# shellcheck disable=SC2086 # $settings is a list of options
# build/converted holds this script's own results: a new run replaces them.
cmake/wine-run.sh build/win32/bin/plughost.exe convert $settings --overwrite --out-dir "$out_dir" -- "$@" || status=$?

for input in "$@"; do
  name=$(basename "$input")
  result="$out_dir/${name%.*}.rm"
  echo
  if [ -f "$result" ]; then
    scripts/describe-rm.sh "$result" || status=1
  else
    echo "$result: no file written"
    status=1
  fi
done
exit $status
