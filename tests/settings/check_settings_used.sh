#!/bin/sh
# check_settings_used.sh NM SETTINGS_ARCHIVE PLUGIN_OBJECTS...
# The settings library goes into the plug-in DLL only: every function it
# defines for other files must be used by another of its objects or by the
# DLL's own code, or it is dead code that at most tests call. (Inline
# functions, each in a section of its own, are not counted.)
set -u
nm=$1 archive=$2
shift 2
# nm's System V listing: name|value|class|type|size|line|section.
unused=$({ "$nm" -f sysv -C "$archive"; echo "plug-in"; "$nm" -f sysv -C "$@"; } | awk -F'|' '
  $0 == "plug-in" { plugin = 1 }
  /^Symbols from / { object = $0; next }
  { class = $3; gsub(/ /, "", class) }
  class == "T" && $7 == ".text" && !plugin { definedIn[$1] = object }
  class == "U" { usedBy[$1, object] }
  END {
    for (key in usedBy) { split(key, part, SUBSEP); if (part[2] != definedIn[part[1]]) used[part[1]] }
    for (name in definedIn) if (!(name in used)) print "  " name
  }')
[ -z "$unused" ] || { echo "FAIL: settings functions the plug-in never uses:"; echo "$unused"; exit 1; }
echo "ok: the plug-in uses every function the settings library defines for others"
