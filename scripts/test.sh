#!/bin/bash
# Builds everything and runs every test:
#   native       portable core in Release, its tests and benchmarks' builds
#   native-asan  the same tests under AddressSanitizer and UBSan
#   fuzz         each libFuzzer target for a bounded time (scripts/fuzz.sh)
#   win32        the DLLs and Windows programs, tests under Wine on an Xvfb display
# Exits non-zero when any build or test fails; the last line sums it up.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh" || { echo "test.sh: FAILED (set-up)"; exit 1; }

start=$SECONDS
summary=()
failed=0
xvfb_pid=""

cleanup() {
  # The test prefix's Wine server (and what runs in it), then the display.
  if [ -d "$root/build/win32/wineprefix" ]; then
    WINEPREFIX="$root/build/win32/wineprefix" wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# Configures, builds and tests one tree through its workflow preset
# (CMakePresets.json); the whole output goes to build/<preset>.log. Prints
# the tail of a failed build, or the tests that did not pass, and notes
# "N tests, F failed, S skipped". A test that hangs fails the run, never run
# again: a Wine test's program is reported (threads, stacks) and ended by
# cmake/wine-run.sh's watchdog first, so the log says where it hung.
run_tree() {
  local preset=$1 log="$root/build/$1.log"
  mkdir -p "$root/build"
  echo "== $preset (log: $log)"
  cmake --workflow --preset "$preset" >"$log" 2>&1
  local status=$?
  if ! grep -q '^Test project ' "$log"; then
    tail -n 60 "$log"
    echo "== build $preset FAILED"
    summary+=("$preset: build FAILED")
    failed=1
    return
  fi
  sed -n '/^Test project /,$p' "$log" | grep -v -E '^ *Start +[0-9]+:|Test +#[0-9]+: .* Passed'
  local line total failures skipped
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  total=$(echo "$line" | sed -n 's/.* out of \([0-9]*\).*/\1/p')
  failures=$(echo "$line" | sed -n 's/.*, \([0-9]*\) tests failed.*/\1/p')
  skipped=$(grep -c -E 'Test +#[0-9]+: .*(Skipped|Not Run)' "$log")
  if [ -z "$line" ] && grep -q "No tests were found" "$log"; then
    total=0 failures=0
  fi
  summary+=("$preset: ${total:-?} tests, ${failures:-?} failed, $skipped skipped")
  if [ "$status" -ne 0 ]; then failed=1; fi
}

# An X display of our own for the Wine tests: Xvfb picks a free number.
start_display() {
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  if [ -s "$number_file" ]; then
    export DISPLAY=":$(head -n 1 "$number_file")"
    echo "== Xvfb on $DISPLAY"
  else
    echo "== Xvfb did not start; Wine tests run without a display"
    unset DISPLAY
  fi
  rm -f "$number_file"
}

run_tree native
run_tree native-asan
# Each fuzz target for a bounded time (clang, libFuzzer); any finding fails.
echo "== fuzz (log: build/fuzz-run.log)"
"$root/scripts/fuzz.sh" >"$root/build/fuzz-run.log" 2>&1 || failed=1
grep -E 'property broken|ERROR|SUMMARY|^fuzz.sh:' "$root/build/fuzz-run.log"
fuzz_line=$(grep '^fuzz.sh:' "$root/build/fuzz-run.log" | tail -n 1)
summary+=("fuzz: ${fuzz_line#fuzz.sh: }")
start_display
run_tree win32

elapsed=$((SECONDS - start))
verdict=PASSED
[ $failed -eq 0 ] || verdict=FAILED
printf -v joined '%s; ' "${summary[@]}"
echo "test.sh: $verdict in ${elapsed}s - ${joined%; }"
exit $failed
