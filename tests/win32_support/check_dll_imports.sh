#!/bin/sh
# check_dll_imports.sh OBJDUMP DLL ALLOWLIST
# Fails on any function DLL imports that ALLOWLIST ("dll function" lines, '#'
# comments) does not list, and when its header claims another Windows than
# the one the list is checked against, XP (5.1). A new import, from our code
# or the compiler's runtime, fails here until checked against XP and listed.
set -u
headers=$("$1" -p "$2") || { echo "FAIL: cannot read $2"; exit 1; }
# A named import prints as "<hint-rva> <hint> <name>" below its DLL's name.
imports=$(echo "$headers" | awk '/DLL Name:/ { dll = tolower($3); next }
  dll != "" && /^\t[0-9a-f]+\t/ { print dll " " ($3 != "" ? $3 : "ordinal " $2) }' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no imports found in $2"; exit 1; }
unlisted=$(echo "$imports" | awk 'NR == FNR { sub(/#.*/, ""); if (NF == 2) listed[tolower($1) " " $2]; next }
  !($0 in listed)' "$3" -)
version=$(echo "$headers" | awk '/^MajorSubsystemVersion/ { major = $2 } /^MinorSubsystemVersion/ { minor = $2 }
  END { print major "." minor }')
[ -z "$unlisted" ] || echo "FAIL: imports not listed in $3:" $unlisted
[ "$version" = 5.1 ] || echo "FAIL: the header claims subsystem $version, not 5.1 (Windows XP)"
[ -z "$unlisted" ] && [ "$version" = 5.1 ] || exit 1
echo "ok: $(echo "$imports" | wc -l) imports, all listed in $3; subsystem $version"
