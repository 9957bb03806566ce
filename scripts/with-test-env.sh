#!/bin/bash
# shellcheck disable=SC2317  # functions below run from traps
# Usage: with-test-env.sh CMD [ARGS...]
#
# Runs CMD inside a private desktop: its own Xvfb (1920x1080x24), openbox
# with a private configuration, and a PulseAudio server whose default sink
# is a null sink called "nullsink". Everything is stopped again afterwards
# and the exit status is CMD's.
#
# CMD sees DISPLAY, PULSE_SERVER and SR_TEST_ENV=1.
#   SR_TEST_ENV_NO_PULSE=1  start no sound server (PULSE_SERVER points nowhere)
#   SR_TEST_ENV_NO_WM=1     start no window manager
#
# CMD runs in a session and process group of its own so that whatever it
# leaves running can be found and stopped; the servers are started with a
# parent-death signal so that they go away even if this script is killed
# with SIGKILL (only its temporary folder stays then, and the next run
# removes it).
set -u

if [ $# -eq 0 ]; then
  echo "usage: $(basename "$0") CMD [ARGS...]" >&2
  exit 2
fi

say() { echo "with-test-env: $*" >&2; }

no_pulse=${SR_TEST_ENV_NO_PULSE:-0}
no_wm=${SR_TEST_ENV_NO_WM:-0}
readonly grace_steps=60      # 3 s in steps of 0.05 s
readonly start_steps=300     # 15 s in steps of 0.05 s

need=(Xvfb xdpyinfo setsid)
[ "$no_wm" = 1 ] || need+=(openbox xprop)
[ "$no_pulse" = 1 ] || need+=(pulseaudio pactl)
for tool in "${need[@]}"; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    say "'$tool' is missing; run scripts/install-deps.sh"
    exit 1
  fi
done

# The pulse socket path must stay below the 108-byte limit of unix sockets.
tmp_base=${TMPDIR:-/tmp}
[ ${#tmp_base} -le 60 ] || tmp_base=/tmp

# "pid start-time" of a process, which stays unique even when pids are reused.
proc_id() {
  local pid=$1 line
  read -r line 2>/dev/null <"/proc/$pid/stat" || return 1
  # shellcheck disable=SC2086  # split the fields after the command name
  set -- ${line##*) }
  echo "$pid ${20}"
}

# Folders of earlier runs that were killed outright (SIGKILL leaves no
# chance to clean up); the servers themselves died with their parent.
remove_stale_dirs() {
  local old owner
  for old in "$tmp_base"/sr-testenv.*; do
    [ -f "$old/owner" ] || continue
    read -r owner <"$old/owner" || continue
    [ "$(proc_id "${owner%% *}")" = "$owner" ] && continue
    rm -rf "$old"
  done
}
remove_stale_dirs

tmp=$(mktemp -d "$tmp_base/sr-testenv.XXXXXX") || exit 1
logs=$tmp/logs
mkdir -p "$logs"
proc_id $$ >"$tmp/owner"

# Servers die with this script even when it cannot clean up.
pdeath=()
if command -v setpriv >/dev/null 2>&1; then
  pdeath=(setpriv --pdeathsig TERM --)
fi
# Servers get sessions of their own, so that a Ctrl-C or a signal sent to
# this script's process group does not stop the X server while the command
# still runs: cleanup stops the command first and the servers after it.
daemon=(setsid "${pdeath[@]}")

xvfb_pid="" wm_pid="" pulse_pid="" cmd_pid="" display_num=""
cleaned=0

# True while PID runs. A zombie still answers kill -0, so look at its state.
alive() {
  local line state
  [ -n "$1" ] || return 1
  read -r line 2>/dev/null <"/proc/$1/stat" || return 1
  state=${line##*) }
  state=${state%% *}
  [ "$state" != Z ]
}

# Pids (not zombies) whose process group is $1.
group_members() {
  local f line
  for f in /proc/[0-9]*/stat; do
    read -r line 2>/dev/null <"$f" || continue
    # shellcheck disable=SC2086  # fields after the command name: state ppid pgrp ...
    set -- ${line##*) }
    [ "$1" != Z ] && [ "$3" = "$pgid_wanted" ] && echo "${f//[^0-9]/}"
  done
  return 0
}

stop_pid() {
  local pid=$1 i
  [ -n "$pid" ] || return 0
  if alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < grace_steps; i++)); do
      alive "$pid" || break
      sleep 0.05
    done
    if alive "$pid"; then
      kill -KILL "$pid" 2>/dev/null
    fi
  fi
  wait "$pid" 2>/dev/null
  return 0
}

stop_group() {
  local i
  pgid_wanted=$1
  [ -n "$(group_members)" ] || return 0
  kill -TERM -- "-$pgid_wanted" 2>/dev/null
  for ((i = 0; i < grace_steps; i++)); do
    [ -n "$(group_members)" ] || return 0
    sleep 0.05
  done
  kill -KILL -- "-$pgid_wanted" 2>/dev/null
  for ((i = 0; i < grace_steps; i++)); do
    [ -n "$(group_members)" ] || return 0
    sleep 0.05
  done
  say "processes of group $pgid_wanted survived SIGKILL: $(group_members | tr '\n' ' ')"
}

cleanup() {
  [ "$cleaned" = 1 ] && return 0
  cleaned=1
  # A second Ctrl-C must not cut the cleanup short.
  trap '' INT TERM HUP
  if [ -n "$cmd_pid" ]; then
    stop_group "$cmd_pid"
    wait "$cmd_pid" 2>/dev/null
  fi
  stop_pid "$wm_pid"
  stop_pid "$pulse_pid"
  stop_pid "$xvfb_pid"
  # An X server that had to be killed leaves its lock and socket behind.
  if [ -n "$display_num" ] && [ -n "$xvfb_pid" ]; then
    local lock=/tmp/.X$display_num-lock
    if [ -f "$lock" ] && [ "$(tr -d ' \n' <"$lock" 2>/dev/null)" = "$xvfb_pid" ]; then
      rm -f "$lock" "/tmp/.X11-unix/X$display_num"
    fi
  fi
  rm -rf "$tmp"
}

on_signal() {
  local sig=$1
  say "SIG$sig received, stopping the test environment"
  cleanup
  trap - "$sig" EXIT
  kill -s "$sig" $$
  exit $((128 + $(kill -l "$sig")))
}

trap cleanup EXIT
trap 'on_signal INT' INT
trap 'on_signal TERM' TERM
trap 'on_signal HUP' HUP

fail() {
  local log
  say "$1"
  for log in "${@:2}"; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

# --- X server ---------------------------------------------------------------
# Try free display numbers from 100 up; the server's own lock file settles a
# race with another instance that picked the same number at the same moment.
start_xvfb() {
  local n tries=0 i
  for ((n = 100; n < 400 && tries < 10; n++)); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    tries=$((tries + 1))
    : >"$tmp/displayfd"
    "${daemon[@]}" Xvfb ":$n" -displayfd 3 -screen 0 1920x1080x24 -dpi 96 \
      -nolisten tcp -noreset \
      +extension Composite +extension DAMAGE +extension MIT-SHM +extension RANDR \
      +extension RENDER +extension SHAPE +extension XFIXES +extension XTEST \
      3>"$tmp/displayfd" </dev/null >>"$logs/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for ((i = 0; i < start_steps; i++)); do
      if [ -s "$tmp/displayfd" ]; then
        display_num=$n
        return 0
      fi
      alive "$xvfb_pid" || break
      sleep 0.05
    done
    stop_pid "$xvfb_pid"
    xvfb_pid=""
  done
  return 1
}

start_xvfb || fail "could not start Xvfb" "$logs/xvfb.log"
export DISPLAY=":$display_num"

for ((i = 0; ; i++)); do
  xdpyinfo >/dev/null 2>&1 && break
  if ((i >= start_steps)) || ! alive "$xvfb_pid"; then
    fail "Xvfb on $DISPLAY does not answer" "$logs/xvfb.log"
  fi
  sleep 0.05
done

# --- window manager ---------------------------------------------------------
if [ "$no_wm" != 1 ]; then
  wm=$tmp/wm
  mkdir -p "$wm/home" "$wm/config" "$wm/data" "$wm/cache"
  # One desktop, new windows focused, no margins: predictable placement.
  cat >"$wm/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
</openbox_config>
XML
  HOME=$wm/home XDG_CONFIG_HOME=$wm/config XDG_DATA_HOME=$wm/data XDG_CACHE_HOME=$wm/cache \
    "${daemon[@]}" openbox --config-file "$wm/rc.xml" --sm-disable \
    </dev/null >"$logs/openbox.log" 2>&1 &
  wm_pid=$!
  for ((i = 0; ; i++)); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    if ((i >= start_steps)) || ! alive "$wm_pid"; then
      fail "openbox did not start" "$logs/openbox.log"
    fi
    sleep 0.05
  done
fi

# --- sound server -----------------------------------------------------------
pulse=$tmp/pulse
mkdir -p "$pulse"
pulse_sock=$pulse/socket
if [ "$no_pulse" != 1 ]; then
  mkdir -m 0700 "$pulse/runtime"
  mkdir -p "$pulse/home" "$pulse/config" "$pulse/state"
  env -u DISPLAY -u PULSE_SERVER -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$pulse/home" XDG_RUNTIME_DIR="$pulse/runtime" \
    XDG_CONFIG_HOME="$pulse/config" XDG_STATE_HOME="$pulse/state" \
    "${daemon[@]}" pulseaudio --daemonize=no -n --use-pid-file=no \
    --exit-idle-time=-1 --realtime=no --high-priority=no --log-target=stderr \
    --load="module-native-protocol-unix socket=$pulse_sock auth-anonymous=1" \
    --load="module-null-sink sink_name=nullsink" \
    --load=module-always-sink \
    </dev/null >"$logs/pulseaudio.log" 2>&1 &
  pulse_pid=$!
  for ((i = 0; ; i++)); do
    PULSE_SERVER=unix:$pulse_sock pactl info >/dev/null 2>&1 && break
    if ((i >= start_steps)) || ! alive "$pulse_pid"; then
      fail "pulseaudio did not start" "$logs/pulseaudio.log"
    fi
    sleep 0.05
  done
fi

# --- the command's environment ------------------------------------------------
# Clients must find our servers only, never the developer's desktop session.
export PULSE_SERVER=unix:$pulse_sock     # no socket there when NO_PULSE
printf 'autospawn = no\n' >"$pulse/client.conf"
export PULSE_CLIENTCONFIG=$pulse/client.conf
unset PULSE_SINK PULSE_SOURCE XAUTHORITY WAYLAND_DISPLAY SESSION_MANAGER
export DBUS_SESSION_BUS_ADDRESS=unix:path=$tmp/no-session-bus
mkdir -m 0700 "$tmp/runtime"
export XDG_RUNTIME_DIR=$tmp/runtime
export QT_QPA_PLATFORM=xcb
export SR_TEST_ENV=1

what="DISPLAY=$DISPLAY"
[ "$no_wm" = 1 ] && what+=" (no window manager)" || what+=" openbox"
[ "$no_pulse" = 1 ] && what+=", no sound server" || what+=", PULSE_SERVER=$PULSE_SERVER"
say "$what"

# Keep the caller's stdin: a background job would otherwise get /dev/null.
if ! { exec 3<&0; } 2>/dev/null; then
  exec 3</dev/null
fi
setsid "${pdeath[@]}" "$@" <&3 3<&- &
cmd_pid=$!
exec 3<&-
wait "$cmd_pid"
rc=$?

pgid_wanted=$cmd_pid
left=$(group_members | tr '\n' ' ')
[ -n "$left" ] && say "stopping processes the command left running: $left"
exit "$rc"
