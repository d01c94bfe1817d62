#!/bin/sh
# check_settings_used.sh NM SETTINGS_ARCHIVE PLUGIN_OBJECTS...
# The settings library is linked into the plug-in DLL only: every function it
# defines for other files must be used by another of its objects or by the
# DLL's own code. One that only tests call is dead code in the plug-in.
set -u
nm=$1
archive=$2
shift 2
# nm prints a symbol's name from column 12 ("%08x T name", "         U name").
unused=$({ "$nm" -C "$archive"; echo "plug-in:"; "$nm" -C "$@"; } | awk '
  $0 == "plug-in:" { plugin = 1 }
  /:$/ { object = $0; next }
  substr($0, 10, 1) == "T" && !plugin { name = substr($0, 12); definedIn[name] = object }
  substr($0, 10, 1) == "U" { name = substr($0, 12); users[name] = users[name] "|" object }
  END {
    for (name in definedIn) {
      n = split(users[name], objects, "|"); used = 0
      for (i = 2; i <= n; ++i) if (objects[i] != definedIn[name]) used = 1
      if (!used) print "  " name
    }
  }')
[ -z "$unused" ] || { echo "FAIL: settings functions the plug-in never uses:"; echo "$unused"; exit 1; }
echo "ok: the plug-in uses every function the settings library defines for others"
