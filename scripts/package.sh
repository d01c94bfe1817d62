#!/bin/sh
# Builds the release package for Windows users:
#   build/package/rmplugin-win32.zip  (and its SHA-256 in .zip.sha256)
# holding rmplugin.dll, plughost.exe, README-Windows.txt, LICENSE.txt and
# SHA256SUMS.txt. Builds build/win32 first (after scripts/setup.sh).
#
#   scripts/package.sh [--from BIN_DIR] [--out DIR]
#
# --from takes the DLL and the exe from a win32 tree's bin folder that is
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
         cmake --build build/win32 -j2 --target plughost rmplugin >>"$log" 2>&1; }; then
    tail -n 40 "$log"
    echo "package.sh: the build failed (log: $log)" >&2
    exit 1
  fi
  bin="$root/build/win32/bin"
fi

stage="$out/stage"
zip="$out/rmplugin-win32.zip"
rm -rf "$stage" "$zip" "$zip.sha256"
mkdir -p "$stage"
cp "$bin/rmplugin.dll" "$bin/plughost.exe" "$stage/"
# Text files with Windows line ends, for Notepad.
sed 's/$/\r/' "$root/packaging/README-Windows.txt" >"$stage/README-Windows.txt"
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
(cd "$stage" && sha256sum rmplugin.dll plughost.exe README-Windows.txt LICENSE.txt >SHA256SUMS.txt)
python3 - "$stage" "$zip" <<'PY'
import os, sys, zipfile
stage, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for name in ["rmplugin.dll", "plughost.exe", "README-Windows.txt", "LICENSE.txt", "SHA256SUMS.txt"]:
        archive.write(os.path.join(stage, name), name)
PY
(cd "$out" && sha256sum "$(basename "$zip")" >"$(basename "$zip").sha256")
rm -rf "$stage"
echo "$zip"
