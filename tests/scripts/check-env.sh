#!/bin/bash
# shellcheck disable=SC2016  # inner commands expand in the inner shell
# check-env.sh servers          the X server, window manager and sound server
#                               this test runs in (inside with-test-env.sh)
# check-env.sh wrapper PATH     with-test-env.sh itself: its modes, its exit
#                               status, and that it leaves nothing behind
set -u
# The tests' media library as a program: ctest runs this in <build>/tests/scripts.
media=${SR_MEDIA:-$PWD/../../bin/sr_media}

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/srenvcheck.XXXXXX") || exit 1
helper_pids=()
finish() {
  local pid
  for pid in "${helper_pids[@]}"; do kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$tmp"
}
trap finish EXIT

# Gone, or a zombie waiting for a parent that does not reap.
process_gone() {
  local line state
  read -r line 2>/dev/null <"/proc/$1/stat" || return 0
  state=${line##*) }
  [ "${state%% *}" = Z ]
}

# Polls "$@" every 0.1 s, at most 10 s.
eventually() {
  local i
  for ((i = 0; i < 100; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

file_at_least() { [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ]; }

check_servers() {
  if [ "${SR_TEST_ENV:-}" != 1 ]; then
    echo "SKIP: not run inside scripts/with-test-env.sh"
    exit 77
  fi

  # --- X server
  if xdpyinfo >"$tmp/xdpyinfo" 2>&1; then
    pass "X server answers on $DISPLAY"
  else
    fail "X server does not answer on ${DISPLAY:-<unset>}"
    cat "$tmp/xdpyinfo"
  fi
  check "screen is 1920x1080" grep -Eq 'dimensions: +1920x1080 pixels' "$tmp/xdpyinfo"
  check "depth 24" grep -Eq 'depth of root window: +24 planes' "$tmp/xdpyinfo"
  local ext
  for ext in Composite DAMAGE MIT-SHM RANDR RENDER SHAPE XFIXES XTEST; do
    check "extension $ext" grep -Eq "^ +$ext\$" "$tmp/xdpyinfo"
  done

  # --- window manager
  if [ "${SR_TEST_ENV_NO_WM:-0}" != 1 ]; then
    check "a window manager owns the root (_NET_SUPPORTING_WM_CHECK)" \
      eval "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"
  fi

  # --- sound server
  [ "${SR_TEST_ENV_NO_PULSE:-0}" = 1 ] && return
  if pactl info >"$tmp/pactl" 2>&1; then
    pass "sound server answers at $PULSE_SERVER"
  else
    fail "sound server does not answer at ${PULSE_SERVER:-<unset>}"
    cat "$tmp/pactl"
    return
  fi
  check "default sink is nullsink" grep -qx 'Default Sink: nullsink' "$tmp/pactl"
  check "default source is nullsink.monitor" grep -qx 'Default Source: nullsink.monitor' "$tmp/pactl"

  # A tone played into the null sink comes back from its monitor.
  if [ ! -x "$media" ] || ! "$media" tone "$tmp/tone.wav" 1; then
    fail "could not generate a tone with $media"
    return
  fi
  parec -d nullsink.monitor --raw --format=s16le --rate=48000 --channels=2 \
    --latency-msec=50 >"$tmp/rec.raw" 2>"$tmp/parec.log" &
  local parec_pid=$!
  helper_pids+=("$parec_pid")
  # Play only once the recording stream exists, or the start is lost.
  check "recording stream from nullsink.monitor opens" \
    eventually eval "pactl list short source-outputs | grep -q ."
  check "paplay plays into nullsink" paplay -d nullsink "$tmp/tone.wav"
  # One second of 48 kHz stereo s16 is 192000 bytes.
  check "the recording reaches the tone's length" eventually file_at_least "$tmp/rec.raw" 192000
  kill -TERM "$parec_pid" 2>/dev/null
  wait "$parec_pid" 2>/dev/null
  local max
  max=$("$media" peak "$tmp/rec.raw")
  echo "recorded peak: ${max:-?} dB"
  check "the recorded tone is not silent" awk -v m="${max:--1000}" 'BEGIN { exit !(m > -40) }'
}

check_wrapper() {
  local wte=$1 out inner pid

  check "the command's exit status comes back" \
    eval "\"$wte\" sh -c 'exit 7' 2>/dev/null; [ \$? = 7 ]"

  # A private display, different from the one this test may run in, and
  # gone afterwards.
  out=$("$wte" sh -c 'echo "$DISPLAY"; xdpyinfo >/dev/null && echo answered' 2>/dev/null)
  inner=$(echo "$out" | head -n 1)
  check "inner display answers" eval "echo \"\$out\" | grep -qx answered"
  check "inner display is its own" [ -n "$inner" -a "$inner" != "${DISPLAY:-}" ]
  check "inner X server is stopped afterwards" eval "! xdpyinfo -display \"$inner\" >/dev/null 2>&1"
  check "inner display's socket is gone" [ ! -e "/tmp/.X11-unix/X${inner#:}" ]

  out=$(SR_TEST_ENV_NO_WM=1 "$wte" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK; pactl info' 2>/dev/null)
  check "SR_TEST_ENV_NO_WM=1 runs no window manager" eval "! echo \"\$out\" | grep -q 'window id'"
  check "SR_TEST_ENV_NO_WM=1 keeps the sound server" eval "echo \"\$out\" | grep -qx 'Default Sink: nullsink'"

  out=$(SR_TEST_ENV_NO_PULSE=1 "$wte" sh -c 'pactl info >/dev/null 2>&1 || echo no-sound;
    xprop -root _NET_SUPPORTING_WM_CHECK' 2>/dev/null)
  check "SR_TEST_ENV_NO_PULSE=1 has no sound server" eval "echo \"\$out\" | grep -qx no-sound"
  check "SR_TEST_ENV_NO_PULSE=1 keeps the window manager" eval "echo \"\$out\" | grep -q 'window id'"

  # Whatever the command leaves running is stopped, even if it ignores SIGTERM.
  "$wte" sh -c 'trap "" TERM; sleep 300 & echo $! >"$1"' sh "$tmp/leftover" 2>/dev/null
  pid=$(cat "$tmp/leftover" 2>/dev/null)
  check "a process the command left behind is stopped" eval "[ -n \"$pid\" ] && process_gone \"$pid\""

  # SIGTERM to the wrapper stops the command and the servers.
  "$wte" sh -c 'echo "$$ $DISPLAY" >"$1"; exec sleep 300' sh "$tmp/running" 2>/dev/null &
  local wte_pid=$!
  helper_pids+=("$wte_pid")
  check "wrapped command starts" eventually test -s "$tmp/running"
  read -r pid inner <"$tmp/running"
  kill -TERM "$wte_pid"
  wait "$wte_pid"
  check "SIGTERM ends the wrapper with status 143" [ $? = 143 ]
  check "SIGTERM stops the wrapped command" process_gone "$pid"
  check "SIGTERM stops the X server" eval "! xdpyinfo -display \"$inner\" >/dev/null 2>&1"
}

case "${1:-}" in
  servers) check_servers ;;
  wrapper)
    [ -n "${2:-}" ] || { echo "usage: $0 wrapper PATH-TO-with-test-env.sh"; exit 2; }
    check_wrapper "$2"
    ;;
  *) echo "usage: $0 servers | wrapper PATH"; exit 2 ;;
esac

echo "$failures check(s) failed"
[ "$failures" = 0 ]
