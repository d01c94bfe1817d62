#!/bin/sh
# Benchmarks of the whole conversion, measured, not asserted:
#  1. 10 minutes of 44.1 kHz stereo 16-bit through plughost (plug-in and
#     stand-in engine under Wine) to 22050 Hz "Music" and to 44100 Hz
#     "Stereo Music", beside native srconv doing the same resampling:
#     wall time and peak resident memory of the whole process;
#  2. peak memory of a one-minute and a one-hour conversion: streaming
#     means the two should agree within 10%;
#  3. the main job's path at full load: 10 minutes of 48 kHz stereo coded
#     as AC-3 at 44.1 kHz for a DSL audience: times real time, peak memory.
# Expects both trees built (scripts/test.sh or scripts/convert.sh does it).
#
#   scripts/bench-plughost.sh [WORK_DIR]     (default build/bench-plughost)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=${1:-build/bench-plughost}
plughost=build/win32/bin/plughost.exe
srconv=build/native/srconv/srconv
for tool in "$plughost" "$srconv"; do
  [ -x "$tool" ] || [ -f "$tool" ] || { echo "bench-plughost.sh: build $tool first" >&2; exit 1; }
done
mkdir -p "$work"

# Inputs: the 30-second sample repeated (a music-like signal, not silence).
sample="$work/sample.wav"
[ -f "$sample" ] || scripts/make-sample.sh "$sample"
make_input() {  # SECONDS OUT
  [ -f "$2" ] || sox "$sample" "$2" repeat $(($1 / 30 - 1))
}
make_input 60 "$work/one-minute.wav"
make_input 600 "$work/ten-minutes.wav"
make_input 3600 "$work/one-hour.wav"

# Prints "seconds peak-KiB" of one command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" ||
    { cat "$work/stderr.txt" >&2; echo "bench-plughost.sh: failed: $*" >&2; exit 1; }
  cat "$work/time.txt"
}

plughost_run() {  # INPUT RATE FORMAT [SETTING ...]
  input=$1 rate=$2 format=$3
  shift 3
  measure cmake/wine-run.sh "$plughost" convert --set ZVKRMFreq="$rate" --set ZVKRMAudioFormat="$format" \
    --set ZVKRMExt=.rm "$@" --overwrite --out-dir "$work" "$input"
}

# Wine's server and prefix are started outside the measurement.
cmake/wine-run.sh "$plughost" convert --set ZVKRMFreq=22050 --overwrite --out-dir "$work" "$sample" >/dev/null

printf '%-52s %9s %10s\n' "10 min 44.1 kHz stereo 16-bit" "wall s" "peak MiB"
report() {  # LABEL "SECONDS KIB"
  set -- "$1" $2
  awk -v label="$1" -v seconds="$2" -v kib="$3" 'BEGIN { printf "%-52s %9s %10.1f\n", label, seconds, kib / 1024 }'
}
report "plughost -> 22050 Hz Music (under Wine)" "$(plughost_run "$work/ten-minutes.wav" 22050 2)"
report "srconv   -> 22050 Hz (native)" "$(measure "$srconv" "$work/ten-minutes.wav" "$work/srconv.wav" --out-rate 22050)"
report "plughost -> 44100 Hz Stereo Music (under Wine)" "$(plughost_run "$work/ten-minutes.wav" 44100 3)"
report "srconv   -> 44100 Hz (native)" "$(measure "$srconv" "$work/ten-minutes.wav" "$work/srconv.wav" --out-rate 44100)"

echo
minute=$(plughost_run "$work/one-minute.wav" 22050 2)
hour=$(plughost_run "$work/one-hour.wav" 22050 2)
report "plughost 1 min  -> 22050 Hz Music" "$minute"
report "plughost 60 min -> 22050 Hz Music" "$hour"
set -- $minute $hour
awk -v minute="$2" -v hour="$4" 'BEGIN { printf "peak memory, one hour / one minute: %.3f\n", hour / minute }'

echo
[ -f "$work/ten-minutes-48k.wav" ] || sox "$work/ten-minutes.wav" -r 48000 "$work/ten-minutes-48k.wav"
coded=$(plughost_run "$work/ten-minutes-48k.wav" 44100 3 --set ZVKRMSurestream=0 --set ZVKRMTarget0=0 --set ZVKRMTarget5=1)
report "plughost 48 kHz -> 44100 Hz AC-3 224 kbps" "$coded"
set -- $coded
awk -v seconds="$1" 'BEGIN { printf "times real time: %.0f\n", 600 / seconds }'
rm -f "$work/srconv.wav" "$work"/*.rm "$work/time.txt" "$work/stderr.txt"
