#!/usr/bin/env bash
# Starts a program under Xvfb, waits, and saves a screenshot of the screen:
#   screenshot.sh OUT.png SECONDS PROGRAM [ARGS...]
set -euo pipefail
out=$1; wait=$2; shift 2
xvfb-run -a -s "-screen 0 1280x1000x24" bash -c '
  "$@" & pid=$!
  sleep '"$wait"'
  import -window root "'"$out"'"
  kill $pid 2>/dev/null || true
' _ "$@"
