#!/bin/sh
# The Windows package as a user gets it: made by scripts/package.sh, checked
# against its sums, unpacked into an empty folder, and used to convert a WAV
# file with the package's own stand-in engine put beside plughost.exe, as its
# read-me says to where no engine is installed; the result must be AC-3 that
# ffmpeg decodes.
#   package_test.sh BIN_DIR WINE_RUN WORK_DIR
set -eu
bin=$1 wine_run=$2 work=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work/unpacked" "$work/out"
zip=$("$root/scripts/package.sh" --from "$bin" --out "$work")
(cd "$work" && sha256sum --check --quiet rmplugin-win32.zip.sha256)
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/unpacked"
(cd "$work/unpacked" && sha256sum --check --quiet SHA256SUMS.txt)
cp "$work/unpacked/engine/rmbe3260.dll" "$work/unpacked/"
sox -V1 -n -r 44100 -b 16 -c 2 "$work/Band - Song.wav" synth 1 sine 440
# Settings of earlier runs stay in the prefix: the defaults for this one. The
# engine's test switches are the caller's, not a user's.
env -u RMBE_CODEC -u RMBE_FAIL -u RMBE_PINS \
  "$wine_run" "$work/unpacked/plughost.exe" convert --set ZVKRMFreq=44100 --set ZVKRMAudioFormat=0 \
  --set ZVKRMExt=.rm --set ZVKRMTitleArtist=0 --out-dir "Z:$work/out" "Z:$work/Band - Song.wav"
result="$work/out/Band - Song.rm"
[ "$(head -c 4 "$result")" = ".RMF" ] || { echo "no RealMedia file written"; exit 1; }
codec=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,codec_tag_string \
          -of csv=p=0 "$result")
[ "$codec" = "ac3,dnet" ] || { echo "the stream is \"$codec\", not ac3,dnet"; exit 1; }
if ! ffmpeg -nostdin -v error -i "$result" -f null - 2>"$work/decoding" || [ -s "$work/decoding" ]; then
  echo "ffmpeg does not decode it cleanly:"; cat "$work/decoding"; exit 1
fi
echo "package converts Band - Song.wav to AC-3 that ffmpeg decodes"
