#!/bin/sh
# Fails unless BINARY imports exactly RMACreateRMBuildEngine and
# SetDLLAccessPath from rmbe3260.dll under their undecorated names: Windows
# refuses to load a module whose imports read RMACreateRMBuildEngine@4,
# although Wine accepts it.
#   check_import_names.sh OBJDUMP BINARY
set -eu
objdump=$1
binary=$2
names=$("$objdump" -p "$binary" | awk '
  /DLL Name:/ { inside = ($3 == "rmbe3260.dll") ; next }
  inside && /^\t[0-9a-f]+\t/ { print $3 }
  inside && /^$/ && seen { inside = 0 }
  inside { seen = 1 }' | sort | tr '\n' ' ')
expected="RMACreateRMBuildEngine SetDLLAccessPath "
if [ "$names" != "$expected" ]; then
  echo "imports from rmbe3260.dll: '$names', expected '$expected'" >&2
  exit 1
fi
echo "imports from rmbe3260.dll: $names"
