#!/bin/sh
# Crossing emulator of the win32 build: runs one Windows program under Wine.
#
#   wine-run.sh PROGRAM.exe [ARGS...]
#
# Every program runs in one throwaway 32-bit prefix kept inside the build tree
# (<build>/wineprefix, found by walking up from PROGRAM to CMakeCache.txt;
# RMP_WINEPREFIX overrides it), never in ~/.wine.
#
# Why the detour instead of plain `wine`: a wineserver started by a test keeps
# the test's output pipe open for its linger time, so ctest waits ~2.5 s per
# test. Here the prefix is created once, a persistent wineserver and Wine's
# background processes (services, desktop) are started with every standard
# stream on /dev/null, and only then is the program exec'd: ~0.05 s a test.
#
# Crashes must fail: the prefix has no crash debugger (AeDebug "Debugger" is
# empty), so an unhandled exception ends the process with a nonzero code.
#
# Graphics: with DISPLAY set, Wine uses its X11 driver on that display (with
# unmanaged windows: Xvfb has no window manager); without it, the "null"
# driver, which still creates windows but draws nowhere. The server is
# restarted whenever DISPLAY differs from the one it was set up for.
#
# Hangs must leave something to diagnose: with RMP_WATCHDOG_SECONDS set (the
# Wine tests set it a little under their ctest timeout), the program runs with
# Wine's err channel on, and if it is still running after that long, its
# threads and their stacks are written to stderr (winedbg) and it is killed;
# the run then fails with status 124. Without it the program is exec'd.
#
# Environment: RMP_WINEPREFIX (prefix path), RMP_WINEDEBUG (default -all, and
# -all,err+all for a watched program),
# RMP_NEEDS_DISPLAY=1 (set by tests that need a real display: without DISPLAY
# the program is not run and the script exits 77, which ctest counts as skipped),
# RMP_WATCHDOG_SECONDS (see above).
set -eu

die() { echo "wine-run.sh: $*" >&2; exit 2; }

# The build tree holding PROGRAM (the folder with CMakeCache.txt), or "".
find_build_tree() {
  dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || die "no such program: $1"
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] && echo "$dir" || true
}

quiet() { "$@" </dev/null >/dev/null 2>&1; }

create_prefix() {
  rm -rf "$WINEPREFIX"
  # No Mono/Gecko install prompts, no desktop menu entries.
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" quiet wineboot -i ||
    die "could not create the Wine prefix $WINEPREFIX"
  # Wine's own fonts ("MS Sans Serif", Tahoma, Marlett ...; Debian package
  # fonts-wine) are not copied into a new prefix: without them dialogs are
  # drawn with a wider substitute and labels wrap.
  if [ -d /usr/share/wine/fonts ]; then
    ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  quiet wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /t REG_SZ /d "" /f
  quiet wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /t REG_SZ /d 1 /f
  quiet wineserver -w
  touch "$WINEPREFIX/.rmp-ready"
}

# Runs under the prefix lock (see below): brings prefix and server into the
# state the program needs. Nothing started here may keep a caller's stream.
prepare() {
  [ -f "$WINEPREFIX/.rmp-ready" ] || create_prefix
  wanted="display=${DISPLAY:-}"
  state="$WINEPREFIX/.rmp-server"
  if [ "$(cat "$state" 2>/dev/null)" != "$wanted" ]; then
    quiet wineserver -k || true
    quiet wineserver -w || true
    if [ -n "${DISPLAY:-}" ]; then driver=x11; else driver=null; fi
    # The desktop process reads the driver when it starts; set it before.
    quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d "$driver" /f
    # Xvfb has no window manager: managed windows would make every hide or
    # destroy wait 2 s for a withdrawal that never comes. Unmanaged windows
    # are also drawn with Wine's own frames, as on Windows.
    quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    quiet wineserver -k || true
    quiet wineserver -w || true
    rm -f "$state"
  fi
  # Exit status 0: a new server was started (2: one is running). It stays up
  # to five minutes after the last program ends.
  if quiet wineserver -p300; then
    # Start services and the desktop now, detached from any test.
    quiet wine rundll32.exe || true
  fi
  # The keeper holds the desktop open; without it each GUI test would start
  # (and hand its streams to) a new desktop process. It ends by itself after
  # ten minutes and is started again by the next test after that.
  keeper="${RMP_BUILD_TREE:-}/bin/rig_desktop_keeper.exe"
  keeper_pid_file="$WINEPREFIX/.rmp-keeper-pid"
  if [ -n "${RMP_BUILD_TREE:-}" ] && [ -f "$keeper" ] &&
     ! kill -0 "$(cat "$keeper_pid_file" 2>/dev/null || echo none)" 2>/dev/null; then
    setsid wine "$keeper" </dev/null >/dev/null 2>&1 &
    echo $! >"$keeper_pid_file"
  fi
  echo "$wanted" >"$state"
}

# Writes what winedbg can tell of the running PROGRAM (matched by file name)
# to stderr: its threads, then the stack of each, in that order. Bounded:
# winedbg cannot attach to a process whose loader lock is held for good (its
# break-in thread needs that lock).
report_hang() {
  echo "wine-run.sh: $1 still running after ${RMP_WATCHDOG_SECONDS} s; its threads:" >&2
  threads=$(timeout 10 winedbg --command "info thread" </dev/null 2>/dev/null |
    awk -v exe="$(basename "$1" | tr 'A-Z' 'a-z')" '
      /^[0-9a-f]+ / { mine = index(tolower($0), exe) > 0 } mine' || true)
  printf '%s\n' "$threads" >&2
  process=$(printf '%s\n' "$threads" | awk 'NR == 1 { print $1 }')
  if [ -n "$process" ]; then
    commands=$(mktemp)
    printf '%s\n' "$threads" | awk 'NR > 1 { print "bt 0x" $1 } END { print "detach" }' >"$commands"
    timeout 15 winedbg --file "$commands" "0x$process" </dev/null 2>&1 | grep -v '^WineDbg starting' >&2 ||
      echo "  (no stacks: winedbg could not attach; a thread may hold the loader lock)" >&2
    rm -f "$commands"
  fi
  echo "wine-run.sh: $1 killed after ${RMP_WATCHDOG_SECONDS} s" >&2
}

# Runs PROGRAM under the watchdog described at the top; its exit status is the
# program's, or 124 when the watchdog ended it.
run_watched() {
  # An asynchronous command's stdin would be /dev/null: hand it ours.
  exec 3<&0
  wine "$@" 0<&3 3<&- &
  program=$!
  (
    trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
    sleep "$RMP_WATCHDOG_SECONDS" </dev/null >/dev/null 2>&1 &
    sleeper=$!
    wait "$sleeper"
    touch "$expired"
    report_hang "$1"
    kill -9 "$program" 2>/dev/null
  ) 3<&- &
  watchdog=$!
  status=0
  wait "$program" || status=$?
  # A program that ended while being reported on (winedbg may end it) has
  # still hung: the report is finished and the run fails.
  if [ -e "$expired" ]; then
    wait "$watchdog" 2>/dev/null || true
    rm -f "$expired"
    exit 124
  fi
  kill "$watchdog" 2>/dev/null || true
  wait "$watchdog" 2>/dev/null || true
  exit "$status"
}

if [ "${1:-}" = "--prepare" ]; then
  prepare
  exit 0
fi

[ $# -ge 1 ] || die "usage: wine-run.sh PROGRAM.exe [ARGS...]"
RMP_BUILD_TREE=$(find_build_tree "$1")
if [ -n "${RMP_WINEPREFIX:-}" ]; then
  WINEPREFIX=$RMP_WINEPREFIX
elif [ -n "$RMP_BUILD_TREE" ]; then
  WINEPREFIX="$RMP_BUILD_TREE/wineprefix"
else
  die "$1 is not inside a build tree; set RMP_WINEPREFIX"
fi
# Watched programs also report to Wine's err channel (a critical section
# waited on for 5 s names the thread holding it), unless told otherwise.
if [ -n "${RMP_WATCHDOG_SECONDS:-}" ]; then debug_default=-all,err+all; else debug_default=-all; fi
export RMP_BUILD_TREE WINEPREFIX WINEARCH=win32 WINEDEBUG="${RMP_WINEDEBUG:-$debug_default}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

if [ "${RMP_NEEDS_DISPLAY:-0}" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "wine-run.sh: skipped, this test needs an X display (DISPLAY is not set)" >&2
  exit 77
fi

mkdir -p "$(dirname "$WINEPREFIX")"
# One set-up at a time; -o keeps the lock's descriptor out of the processes
# started under it (the persistent server would otherwise hold the lock).
flock -o "$WINEPREFIX.lock" "$0" --prepare
[ -n "${RMP_WATCHDOG_SECONDS:-}" ] || exec wine "$@"
expired=$(mktemp -u)
run_watched "$@"
