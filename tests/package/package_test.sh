#!/bin/sh
# The Windows package as a user gets it: made by scripts/package.sh, checked
# against its sums, unpacked into an empty folder, and used to convert a WAV
# file with the engine DLL put beside plughost.exe, as an installed engine is.
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
cp "$bin/rmbe3260.dll" "$work/unpacked/"
sox -V1 -n -r 44100 -b 16 -c 2 "$work/Band - Song.wav" synth 1 sine 440
# Settings of earlier runs stay in the prefix: the defaults for this one.
"$wine_run" "$work/unpacked/plughost.exe" convert --set ZVKRMFreq=44100 --set ZVKRMAudioFormat=0 \
  --set ZVKRMExt=.rm --set ZVKRMTitleArtist=0 --out-dir "Z:$work/out" "Z:$work/Band - Song.wav"
[ "$(head -c 4 "$work/out/Band - Song.rm")" = ".RMF" ] || { echo "no RealMedia file written"; exit 1; }
echo "package converts Band - Song.wav"
