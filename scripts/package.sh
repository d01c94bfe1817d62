#!/bin/sh
# Builds the release package for Windows users:
#   build/package/rmplugin-win32.zip  (and its SHA-256 in .zip.sha256)
# holding rmplugin.dll, plughost.exe, README-Windows.txt, LICENSE.txt,
# SHA256SUMS.txt and, as an optional part, the stand-in build engine
# engine/rmbe3260.dll (the read-me says when to use it). Builds build/win32
# first (after scripts/setup.sh).
#
#   scripts/package.sh [--from BIN_DIR] [--out DIR]
#
# --from takes the DLLs and the exe from a win32 tree's bin folder that is
# already built (the package test does that); --out puts the zip elsewhere.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
bin=""
out="$root/build/package"
while [ $# -gt 0 ]; do
  case "$1" in
    --from) bin=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "package.sh: unknown option $1 (see the script's header)" >&2; exit 2 ;;
  esac
done

if [ -z "$bin" ]; then
  cd "$root"
  scripts/setup.sh
  log=build/win32.log
  mkdir -p build
  if ! { cmake --preset win32 >"$log" 2>&1 &&
         cmake --build build/win32 -j2 --target plughost rmplugin rmbe3260 >>"$log" 2>&1; }; then
    tail -n 40 "$log"
    echo "package.sh: the build failed (log: $log)" >&2
    exit 1
  fi
  bin="$root/build/win32/bin"
fi

stage="$out/stage"
zip="$out/rmplugin-win32.zip"
rm -rf "$stage" "$zip" "$zip.sha256"
# The engine sits in a folder of its own: it is not copied with the plug-in
# where an installed engine is to be used.
mkdir -p "$stage/engine"
cp "$bin/rmplugin.dll" "$bin/plughost.exe" "$stage/"
cp "$bin/rmbe3260.dll" "$stage/engine/"
# Text files with Windows line ends, for Notepad.
sed 's/$/\r/' "$root/packaging/README-Windows.txt" >"$stage/README-Windows.txt"
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
files="rmplugin.dll plughost.exe engine/rmbe3260.dll README-Windows.txt LICENSE.txt"
# shellcheck disable=SC2086 # $files is a list of names without spaces
(cd "$stage" && sha256sum $files >SHA256SUMS.txt)
# shellcheck disable=SC2086
python3 - "$stage" "$zip" $files SHA256SUMS.txt <<'PY'
import os, sys, zipfile
stage, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for name in sys.argv[3:]:
        archive.write(os.path.join(stage, name), name)
PY
(cd "$out" && sha256sum "$(basename "$zip")" >"$(basename "$zip").sha256")
rm -rf "$stage"
echo "$zip"
