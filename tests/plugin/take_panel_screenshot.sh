#!/bin/sh
# take_panel_screenshot.sh EMULATOR PROGRAM OUT.png
# Runs the panel_screenshot program on the X display in DISPLAY, grabs the
# host window from the screen with ImageMagick's import, and keeps it as
# OUT.png. Fails when the program fails or the picture is blank; skipped
# (exit 77) without a display.
set -u
emulator=$1
program=$2
out=$3
[ -n "${DISPLAY:-}" ] || { echo "skipped: no X display"; exit 77; }
command -v import >/dev/null || { echo "FAIL: ImageMagick's import is missing"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program writes its flag files into its working folder.
(cd "$work" && exec "$emulator" "$program" ready done) &
pid=$!
waited=0
while [ ! -f "$work/ready" ] && [ $waited -lt 300 ] && kill -0 $pid 2>/dev/null; do
  sleep 0.1
  waited=$((waited + 1))
done
if [ ! -f "$work/ready" ]; then
  echo "FAIL: the panel did not come up"
  touch "$work/done"
  wait $pid
  exit 1
fi
mkdir -p "$(dirname "$out")"
import -display "$DISPLAY" -window root -crop 420x160+0+0 +repage "$out"
grabbed=$?
touch "$work/done"
wait $pid
program_status=$?
[ $grabbed = 0 ] || { echo "FAIL: import could not grab the screen"; exit 1; }
[ $program_status = 0 ] || { echo "FAIL: panel_screenshot exited with $program_status"; exit 1; }
colours=$(identify -format '%k' "$out")
[ "$colours" -gt 4 ] || { echo "FAIL: $out is blank ($colours colours)"; exit 1; }
echo "ok: $out ($colours colours)"
