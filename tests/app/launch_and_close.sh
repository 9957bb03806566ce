#!/bin/bash
# The real program under the test environment's X server: the launcher loads
# the module and the frame window shows; on a tray host a double click on
# the status item brings the window back and a single click opens the menu
# after the double-click interval; a second launch brings it forward
# and ends; SIGTERM during a recording leaves a finished file for the
# restore offer and ends the run with 0; a new run starts and closes cleanly.
set -u
bin=$1
media=$(dirname "$bin")/sr_media   # the tests' media library, built next to the program
[ -x "$media" ] || { echo "no $media: build the sr_media target"; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run inside scripts/with-test-env.sh"; exit 1; }
ini="${XDG_CONFIG_HOME:-$HOME/.config}/ScreenRecorder/ScreenRecorder.ini"
mkdir -p "$(dirname "$ini")"
printf '[General]\nHotkeyRemind=true\nCountDown=false\nRemindClose=true\nCloseWhenClos=true\n' >"$ini"

# Waits up to 30 s for a command to succeed.
wait_for() {
  for _ in $(seq 1 300); do "$@" && return 0; sleep 0.1; done
  return 1
}
frame_visible() { xdotool search --onlyvisible --name '^Screen Recorder$' 2>/dev/null | grep -qx "$1"; }
# Waits for a process to end; its exit status, or 124 after 30 s.
wait_end() {
  for _ in $(seq 1 300); do
    if ! kill -0 "$1" 2>/dev/null; then wait "$1"; return $?; fi
    sleep 0.1
  done
  kill -9 "$1" 2>/dev/null
  return 124
}
fail() { echo "$1"; kill -9 "$pid" 2>/dev/null; exit 1; }
launch() {
  "$bin" >/dev/null 2>&1 &
  pid=$!
  win=""
  for _ in $(seq 1 300); do
    win=$(xdotool search --onlyvisible --name '^Screen Recorder$' 2>/dev/null | head -n 1)
    [ -n "$win" ] && return 0
    sleep 0.1
  done
  fail "frame window never showed"
}

# The tray host comes first, so the item is embedded from the start.
tray=""
if command -v trayer >/dev/null 2>&1; then
  trayer --edge top --align right --widthtype pixel --width 100 --heighttype pixel --height 32 >/dev/null 2>&1 &
  tray=$!
  trap 'kill "$tray" 2>/dev/null' EXIT
  wait_for xdotool search --class '^trayer$' >/dev/null
else
  echo "no trayer: the tray clicks are not checked"
fi
launch

visible_count() { xdotool search --onlyvisible --class '^screenrecorder$' 2>/dev/null | wc -l; }
# The item's place on the screen: the program's window inside the panel.
item_at() {
  at=$(xwininfo -root -tree | awk '/"panel"/ { p = 1 } p && /\("screenrecorder"/ { print $(NF); exit }')
  [ -n "$at" ]
}
if [ -n "$tray" ]; then
  wait_for item_at || fail "the status item was never embedded"
  x=${at#+}; y=${x#*+}; x=${x%%+*}
  click() { xdotool mousemove $((x + 8)) $((y + 8)) click --repeat "$1" --delay 60 1; }
  xdotool windowminimize --sync "$win"
  shown=$(visible_count)
  click 2
  wait_for frame_visible "$win" || fail "a double click on the item did not bring the window back"
  [ "$(visible_count)" -le $((shown + 1)) ] || fail "a double click opened the menu"
  shown=$(visible_count)
  click 1
  more() { [ "$(visible_count)" -gt "$shown" ]; }
  wait_for more || fail "a single click opened no menu"
  xdotool key Escape
  wait_for test "$(visible_count)" -le "$shown" || true
fi

# A second launch while the first runs brings the first's window forward,
# says so in its "is running" box (answered by closing it) and ends with 0.
xdotool windowminimize --sync "$win"
"$bin" >/dev/null 2>&1 &
second=$!
for _ in $(seq 1 300); do
  box=$(xdotool search --onlyvisible --name '^Screen Recorder$' 2>/dev/null | grep -v "^$win\$" | head -n 1)
  [ -n "$box" ] && break
  sleep 0.1
done
wait_for frame_visible "$win" || fail "the second launch did not bring the window forward"
[ -n "$box" ] && xdotool windowactivate --sync "$box" key Return 2>/dev/null
wait_end "$second"
rc2=$?
kill -0 "$pid" 2>/dev/null || { echo "first instance died"; exit 1; }
[ -n "$box" ] || fail "second launch showed no box"
[ "$rc2" -eq 0 ] || fail "second launch ended with $rc2"

# SIGTERM while recording: the file is finished where the next run's
# restore offer finds it, and the run ends as if closed.
xdotool key ctrl+shift+F9
temp=""
grows() {
  temp=$(sed -n 's/^outputVideo=//p' "$ini")
  [ -n "$temp" ] && [ "$(stat -c %s "$temp" 2>/dev/null || echo 0)" -gt 20000 ]
}
wait_for grows || fail "no recording began"
kill -TERM "$pid"
wait_end "$pid"
rc=$?
[ "$rc" -eq 0 ] || { echo "SIGTERM ended the run with $rc"; exit 1; }
duration=$("$media" duration "$temp" 2>/dev/null)
awk -v d="${duration:-0}" 'BEGIN { exit !(d > 0.3) }' || { echo "the recording was not finished: '$duration'"; exit 1; }

# Nothing of the first run holds the single-instance guard: a new run shows
# its frame and closing it ends the run with 0.
sed -i 's/^outputVideo=.*//' "$ini"
launch
xdotool windowactivate --sync "$win" key alt+F4
wait_end "$pid"
rc=$?
[ "$rc" -eq 0 ] && { echo "launches, raise, SIGTERM and close ended cleanly"; exit 0; }
echo "program ended with $rc"
exit 1
