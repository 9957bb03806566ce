#!/bin/bash
# Runs one test with its own HOME and XDG folders, so no test reads or
# writes the developer's settings, and removes them afterwards.
set -u
tmp=$(mktemp -d "${TMPDIR:-/tmp}/srtest.XXXXXX")
cleanup() { rm -rf "$tmp"; }
trap cleanup EXIT
export HOME="$tmp/home"
export XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
export XDG_CACHE_HOME="$tmp/cache" XDG_STATE_HOME="$tmp/state"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
# The single-instance segment and other IPC keys live under the temp folder:
# a private one keeps tests that run at the same time apart.
export TMPDIR="$tmp/tmp"
mkdir -p "$TMPDIR"
mkdir -p "$HOME/Documents" "$HOME/Movies" "$HOME/Music" "$HOME/Pictures"
# A runtime folder of its own: the single-instance lock and the task
# service's socket live there, so tests running at the same time (or a
# developer's session) never meet. The sound server is reached through
# PULSE_SERVER, not through this folder.
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
# Nor the developer's session bus: a test that wants one starts its own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/no-session-bus"
"$@"
rc=$?
exit $rc
