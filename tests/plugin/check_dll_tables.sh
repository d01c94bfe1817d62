#!/bin/sh
# check_dll_tables.sh OBJDUMP DLL
# The plug-in DLL as the host and Windows' loader see it: a 32-bit PE file
# that exports exactly the six plain names and imports only from DLLs that
# every Windows installation has (plus the engine library, rmbe3260.dll) -
# in particular no MinGW runtime DLL (libgcc, libstdc++, libwinpthread).
set -u
objdump=$1
dll=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

[ -f "$dll" ] || { echo "FAIL: $dll not built"; exit 1; }
headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }

echo "$headers" | grep -q "file format pei-i386" || fail "not a 32-bit x86 PE image"
echo "$headers" | grep -q "^Magic.*010b" || fail "not a PE32 image"

exports=$(echo "$headers" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | LC_ALL=C sort | tr '\n' ' ')
expected="ANewDataBlockArrived CreateNewCompressionObject DeleteCompressionObject GetExtensionYouCreate RemoveConfigBit ShowConfigBit "
[ "$exports" = "$expected" ] || fail "exports are [$exports], expected [$expected]"

allowed=" advapi32.dll gdi32.dll kernel32.dll msacm32.dll msvcrt.dll msvfw32.dll ole32.dll oleaut32.dll user32.dll version.dll winmm.dll rmbe3260.dll "
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || fail "no import table found"
for name in $imports; do
  case "$allowed" in
    *" $name "*) ;;
    *) fail "imports from $name" ;;
  esac
done

[ $status = 0 ] && echo "ok: exports [$exports]; imports [$(echo $imports)]"
exit $status
