#!/bin/sh
# The main job: converts WAV files to RealAudio (.rm) the way the music
# converter does, through plughost, the plug-in rmplugin.dll and the
# stand-in build engine rmbe3260.dll under Wine, then says what each
# result holds and whether it plays.
#
#   scripts/convert.sh [--set NAME=VALUE ...] [INPUT.wav ...]
#
# Without an input it converts a generated 30-second stereo sample,
# build/samples/Harbor Lights - Evening Tide.wav. Inputs are named as from
# the current folder. Results go to build/converted/, named after the inputs,
# replacing earlier results. The settings suit music of CD quality: 44100 Hz
# "Stereo Music", single rate, for the "256k DSL" audience alone (the
# stand-in engine then codes AC-3 at 224 kbps); --set changes any of them for
# this conversion only (ZVKRMFreq=22050, ZVKRMAudioFormat=2 for "Music", ...;
# see plughost's usage). The highest audience selected sets the bit rate: a
# lower one needs ZVKRMTarget5=0 beside it.
#
# For each result it prints the verdict of scripts/describe-rm.sh (codec,
# bit rate, rate, channels, length, title and artist, and whether ffmpeg
# decodes all of it) and draws build/converted/<name>.png, the spectrograms
# of the input and of the decoded result side by side. Exit status: 2 when
# plughost refuses the run or an input, 1 when a file is not converted or
# does not decode whole.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
here=$(pwd)

# Later values win: the user's --set come after these. The audiences count
# only when ZVKRMTarget0 is set too, so every one of them is.
defaults="ZVKRMFreq=44100 ZVKRMAudioFormat=3 ZVKRMSurestream=0 ZVKRMTitleArtist=0 ZVKRMExt=.rm
ZVKRMTarget0=0 ZVKRMTarget1=0 ZVKRMTarget2=0 ZVKRMTarget3=0 ZVKRMTarget4=0 ZVKRMTarget5=1
ZVKRMTarget6=0 ZVKRMTarget7=0"
settings=""
while [ $# -gt 0 ]; do
  case "$1" in
    --set) [ $# -ge 2 ] || { echo "convert.sh: --set needs NAME=VALUE" >&2; exit 2; }
           settings="$settings
$2"
           shift 2 ;;
    --set=*) settings="$settings
${1#--set=}"
             shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done

for input in "$@"; do
  [ -f "$input" ] || { echo "convert.sh: no such file: $input" >&2; exit 2; }
done

# A path as the user's shell reaches it: relative below the current folder.
shown() {
  case "$1" in
    "$here"/*) printf '%s\n' "${1#"$here"/}" ;;
    *) printf '%s\n' "$1" ;;
  esac
}

"$root/scripts/setup.sh"
log="$root/build/win32.log"
mkdir -p "$root/build"
if ! { (cd "$root" && cmake --preset win32) >"$log" 2>&1 &&
       cmake --build "$root/build/win32" -j2 --target plughost rmplugin rmbe3260 >>"$log" 2>&1; }; then
  tail -n 40 "$log"
  echo "convert.sh: the build failed (log: $log)" >&2
  exit 1
fi

if [ $# -eq 0 ]; then
  sample="$root/build/samples/Harbor Lights - Evening Tide.wav"
  if [ ! -f "$sample" ]; then
    mkdir -p "$root/build/samples"
    "$root/scripts/make-sample.sh" "$sample"
  fi
  set -- "$(shown "$sample")"
fi

out_dir="$root/build/converted"
mkdir -p "$out_dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# plughost runs in the current folder, so that inputs mean what they mean
# here (Wine reads an absolute Unix path as one on the drive of the Unix
# root). Its lines name results as Windows paths: they are translated below.
count=$#
for input in "$@"; do printf '%s\n' "$input" >>"$work/inputs"; done
set -- "$@" convert
for setting in $defaults; do set -- "$@" --set "$setting"; done
while IFS= read -r setting; do
  [ -z "$setting" ] || set -- "$@" --set "$setting"
done <<EOF
$settings
EOF
# build/converted holds this script's own results: a new run replaces them.
set -- "$@" --overwrite --out-dir "Z:$out_dir" --
while IFS= read -r input; do set -- "$@" "$input"; done <"$work/inputs"
# Drop the inputs from the front: what is left is plughost's command.
i=0
while [ $i -lt $count ]; do shift; i=$((i + 1)); done

status=0
"$root/cmake/wine-run.sh" "$root/build/win32/bin/plughost.exe" "$@" >"$work/said" || status=$?

# The file named by a "converted to Z:\..." text: the longest part before a
# " (" that names an existing file (names may hold " (" themselves, and the
# outcome in brackets follows the name). Sets found (that part) and
# found_file (its Unix path).
find_converted() {
  found=$1
  while :; do
    found_file=$(printf '%s\n' "$found" | sed 's/^[Zz]://; s/\\/\//g')
    [ ! -f "$found_file" ] || return 0
    case "$found" in *" ("*) found=${found% (*} ;; *) return 1 ;; esac
  done
}

# plughost's lines, with the results as Unix paths; each input's result goes
# to $work/results (input, tab, path).
: >"$work/results"
while IFS= read -r line; do
  while IFS= read -r input; do
    rest=${line#"$input: converted to "}
    [ "$rest" != "$line" ] || continue
    if find_converted "$rest"; then
      line="$input: converted to $(shown "$found_file")${rest#"$found"}"
      printf '%s\t%s\n' "$input" "$found_file" >>"$work/results"
    fi
    break
  done <"$work/inputs"
  printf '%s\n' "$line"
done <"$work/said"

while IFS= read -r input; do
  echo
  result=$(INPUT=$input awk -F '\t' '$1 == ENVIRON["INPUT"] { print $2 }' "$work/results")
  if [ -z "$result" ]; then
    echo "$input: no file written"
    [ $status -ne 0 ] || status=1
    continue
  fi
  "$root/scripts/describe-rm.sh" "$(shown "$result")" || [ $status -ne 0 ] || status=1
  picture="${result%.*}.png"
  rm -f "$picture"
  tag=$(ffprobe -v quiet -select_streams a:0 -show_entries stream=codec_tag_string -of csv=p=0 "$result" || true)
  if [ "$tag" = XPCM ]; then
    echo "  no picture: ffmpeg has no decoder for raw PCM in RealMedia"
  elif "$root/scripts/sonograms.py" "$input" "$result" "$picture"; then
    echo "  picture: $(shown "$picture") (the input's spectrogram beside the decoded result's)"
  else
    [ $status -ne 0 ] || status=1
  fi
done <"$work/inputs"
exit $status
