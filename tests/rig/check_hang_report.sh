#!/bin/sh
# check_hang_report.sh WINE_RUN PROGRAM
# A program that hangs under wine-run.sh's watchdog fails, at once after the
# watchdog's time, with the stacks of its threads in the output.
set -u
output=$(RMP_WATCHDOG_SECONDS=3 timeout -s KILL 90 "$1" "$2" 2>&1)
status=$?
name=$(basename "$2")
fail() { echo "FAIL: $*"; printf "%s\n" "$output"; exit 1; }
[ "$status" -eq 124 ] || fail "exit status $status, expected 124 (the watchdog's)"
printf "%s\n" "$output" | grep -q "^Backtrace:" || fail "no stacks of $name"
printf "%s\n" "$output" | grep -q "killed after 3 s" || fail "no word of the kill"
echo "ok: the hung $name was reported with its stacks and killed"
