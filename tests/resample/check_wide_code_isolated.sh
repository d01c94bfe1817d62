#!/bin/sh
# check_wide_code_isolated.sh OBJDUMP NM BINARY WIDE_SOURCES OBJECTS
# Code built for AVX2 must run only after the run-time CPU check, so:
#  - the converter's objects built without AVX hold no VEX-encoded
#    instruction (objdump spells every such mnemonic with a leading v);
#  - the objects built with AVX define no weak external symbol (an inline
#    function or template the linker could pick in place of the SSE2 copy)
#    and no external symbol that the SSE2 objects do not call (the entry
#    points the dispatch reaches);
#  - in the linked BINARY every function holding VEX code was defined in an
#    AVX object (a stripped one: no more VEX code than the AVX objects hold).
# WIDE_SOURCES and OBJECTS are ;-separated lists (the file names of the
# sources built with AVX, and the library's objects).
set -u
objdump=$1
nm=$2
binary=$3
wide_sources=$4
objects=$5
status=0
fail() { echo "FAIL: $*"; status=1; }

# "function: mnemonic" for every VEX-encoded instruction in the file.
vex_functions() {
  "$objdump" -d --no-show-raw-insn "$1" | awk '
    /^[0-9a-f]+ <.*>:$/ { name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name) }
    /^ *[0-9a-f]+:\t/ { split($0, f, "\t"); split(f[2], m, " "); if (m[1] ~ /^v/) print name ": " m[1] }'
}

is_wide() {
  for source in $(echo "$wide_sources" | tr ';' ' '); do
    case "$(basename "$1")" in "$source".*) return 0 ;; esac
  done
  return 1
}

[ -f "$binary" ] || { echo "FAIL: $binary not built"; exit 1; }
wide_objects=""
plain_objects=""
for object in $(echo "$objects" | tr ';' ' '); do
  if is_wide "$object"; then wide_objects="$wide_objects $object"; else plain_objects="$plain_objects $object"; fi
done

for object in $plain_objects; do
  found=$(vex_functions "$object" | sort -u | head -5 | tr "\n" " ")
  [ -z "$found" ] || fail "$(basename "$object") (built without AVX) holds VEX code: $found"
done

called=$("$nm" --undefined-only $plain_objects | awk '{ print $NF }' | sort -u)
wide_names=""
for object in $wide_objects; do
  for entry in $("$nm" --defined-only -g "$object" | awk '{ print $2 ":" $3 }'); do
    kind=${entry%%:*}
    name=${entry#*:}
    case "$kind" in
      # A weak object is data, never run: with unwind tables every object
      # holds DW.ref.__gxx_personality_v0, a pointer to the C++ runtime's
      # personality routine.
      V) continue ;;
      T | D | R | B) ;;
      *) fail "$(basename "$object") (built with AVX) defines the weak symbol $name ($kind)" ;;
    esac
    echo "$called" | grep -qxF "$name" || fail "$(basename "$object") exports $name, which the SSE2 code never calls"
  done
  wide_names="$wide_names
$("$nm" --defined-only "$object" | awk '{ print $3 }')"
done

# A stripped binary (the release DLL) names no functions: there the AVX
# objects must account for every VEX instruction it holds.
if "$objdump" -d "$binary" | grep -q '^[0-9a-f]* <[^.]'; then
  outside=$(vex_functions "$binary" | sed 's/: [^:]*$//' | sort -u | while read -r function; do
    echo "$wide_names" | grep -qxF "$function" || echo "$function"
  done | head -5 | tr '\n' ' ')
  [ -z "$outside" ] || fail "$(basename "$binary") has VEX code outside the AVX objects: $outside"
else
  in_binary=$(vex_functions "$binary" | wc -l)
  in_wide=0
  for object in $wide_objects; do in_wide=$((in_wide + $(vex_functions "$object" | wc -l))); done
  [ "$in_binary" -le "$in_wide" ] ||
    fail "$(basename "$binary") holds $in_binary VEX instructions, the AVX objects only $in_wide"
fi

[ $status = 0 ] && echo "ok: AVX objects [$(for o in $wide_objects; do basename "$o"; done | tr '\n' ' ')], $(echo $plain_objects | wc -w) SSE2 objects, $(basename "$binary")"
exit $status
