#!/bin/bash
# The real program under the test environment's X server: the launcher loads
# the module, the frame window shows, and closing it ends the run with 0.
set -u
bin=$1
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run inside scripts/with-test-env.sh"; exit 1; }
"$bin" >/dev/null 2>&1 &
pid=$!
win=""
for _ in $(seq 1 300); do
  win=$(xdotool search --onlyvisible --name '^Screen Recorder$' 2>/dev/null | head -n 1)
  [ -n "$win" ] && break
  sleep 0.1
done
if [ -z "$win" ]; then
  echo "frame window never showed"
  kill -9 "$pid" 2>/dev/null
  exit 1
fi
# A second launch while the first runs must end at once with 0 and leave the
# first alone (its "is running" box is answered by closing it).
"$bin" >/dev/null 2>&1 &
second=$!
for _ in $(seq 1 300); do
  box=$(xdotool search --onlyvisible --name '^Screen Recorder$' 2>/dev/null | grep -v "^$win\$" | head -n 1)
  [ -n "$box" ] && break
  sleep 0.1
done
[ -n "$box" ] && xdotool windowactivate --sync "$box" key Return 2>/dev/null
rc2=124
for _ in $(seq 1 300); do
  if ! kill -0 "$second" 2>/dev/null; then wait "$second"; rc2=$?; break; fi
  sleep 0.1
done
[ "$rc2" -eq 124 ] && kill -9 "$second" 2>/dev/null
kill -0 "$pid" 2>/dev/null || { echo "first instance died"; exit 1; }
[ -n "$box" ] || { echo "second launch showed no box"; kill -9 "$pid"; exit 1; }
[ "$rc2" -eq 0 ] || { echo "second launch ended with $rc2"; kill -9 "$pid"; exit 1; }

xdotool windowactivate --sync "$win" key alt+F4
for _ in $(seq 1 300); do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    rc=$?
    [ "$rc" -eq 0 ] && { echo "frame shown and closed cleanly"; exit 0; }
    echo "program ended with $rc"
    exit 1
  fi
  sleep 0.1
done
echo "program still running 30 s after its frame was closed"
kill -9 "$pid"
exit 1
