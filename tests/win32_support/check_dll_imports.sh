#!/bin/sh
# check_dll_imports.sh OBJDUMP DLL ALLOWLIST
# Fails when DLL imports a function that ALLOWLIST does not list (lines
# "dll function", '#' starts a comment), or when its header claims another
# Windows version than the oldest one the list is written for, 5.1 (XP).
# The list holds only functions Windows XP SP3 has, so whatever adds an
# import (our code, the compiler's runtime) fails here until someone checks
# the new function against XP and lists it.
set -u
objdump=$1
dll=$2
allowlist=$3
[ -f "$dll" ] || { echo "FAIL: $dll not built"; exit 1; }
headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }

# Named imports print as "<hint-rva> <hint> <name>" under their DLL; one by
# ordinal has no name and prints as "ordinal N", which no list line matches.
imports=$(echo "$headers" | awk '
  /DLL Name:/ { dll = tolower($3); next }
  dll != "" && /^\t[0-9a-f]+\t/ { print dll " " ($3 != "" ? $3 : "ordinal " $2) }' | LC_ALL=C sort -u)
[ -n "$imports" ] || { echo "FAIL: no import table found in $dll"; exit 1; }
status=0
unlisted=$(echo "$imports" | awk '
  NR == FNR { sub(/#.*/, ""); if (NF == 2) listed[tolower($1) " " $2] = 1; next }
  !($0 in listed)' "$allowlist" -)
if [ -n "$unlisted" ]; then
  echo "FAIL: $(basename "$dll") imports functions $allowlist does not list:"
  echo "$unlisted" | sed 's/^/  /'
  status=1
fi

version=$(echo "$headers" | awk '$1 == "MajorSubsystemVersion" { major = $2 } $1 == "MinorSubsystemVersion" { minor = $2 } END { print major "." minor }')
if [ "$version" != "5.1" ]; then
  echo "FAIL: the header claims subsystem version $version, not 5.1 (Windows XP)"
  status=1
fi
[ $status = 0 ] && echo "ok: $(echo "$imports" | wc -l) imports, all listed in $allowlist; subsystem $version"
exit $status
