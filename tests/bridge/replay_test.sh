#!/bin/sh
# Replays a file of message texts and compares the printed lines with the expected ones.
# The recording xdg-open stand-in comes first on PATH, so an accepted link opens nothing.
# usage: replay_test.sh IPC_REPLAY CASES EXPECTED STAND_IN_DIR
set -eu
unset XDG_OPEN_RECORD_DIR
PATH="$4:$PATH" "$1" < "$2" > replay.out 2> replay.err || { cat replay.err; exit 1; }
diff -u "$3" replay.out
# Each line that is not a string literal is named on standard error.
[ "$(grep -c 'is not a JSON string literal' replay.err)" -eq 2 ]
