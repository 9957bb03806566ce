#!/bin/bash
# Installs what is missing, builds, and starts the recorder with the given
# arguments. Without a display (a headless machine) it runs inside a private
# X server with a window manager and a sound server.
set -eu

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build_dir

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" screenrecorder

app=$build_dir/bin/screenrecorder
if [ -z "${DISPLAY:-}" ]; then
  exec bash "$root/scripts/with-test-env.sh" "$app" "$@"
fi
exec "$app" "$@"
