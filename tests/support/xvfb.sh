#!/bin/sh
# Runs a command under an X server of its own and returns its status:
#   xvfb.sh WIDTHxHEIGHTxDEPTH command [arguments...]
# Xvfb picks a free display itself (-displayfd) and writes its number once it
# accepts clients, so instances started side by side never race for a display
# and nothing waits on a signal that may come before the wait. A server that
# gives no number within a minute is stopped.
set -u
limit=60
screen=$1
shift
dir=$(mktemp -d) || exit 125
mkfifo "$dir/display" || { rm -rf "$dir"; exit 125; }
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$dir/display" 2>"$dir/log" &
xpid=$!
# A server that fails closes the pipe: the number stays empty.
number=$(timeout "$limit" head -n 1 "$dir/display")
waited=$?
if [ -z "$number" ]; then
  if [ "$waited" = 124 ]; then
    echo "xvfb.sh: Xvfb gave no display number within $limit s; stopped it:" >&2
    kill -KILL "$xpid" 2>/dev/null
  else
    echo "xvfb.sh: Xvfb did not start:" >&2
  fi
  cat "$dir/log" >&2
  wait "$xpid" 2>/dev/null
  rm -rf "$dir"
  exit 125
fi
DISPLAY=":$number" "$@"
status=$?
kill "$xpid" 2>/dev/null
wait "$xpid" 2>/dev/null
rm -rf "$dir"
exit "$status"
