#!/bin/bash
# Installs what is missing, builds, and runs every test: the unit tests
# offscreen and in parallel, then the end-to-end tests one at a time inside
# a private X server, window manager and sound server. Exits non-zero if
# anything fails. Extra arguments go to both ctest runs (e.g. -R name).
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build_dir

bash "$root/scripts/install-deps.sh" || { echo "test: installing dependencies failed" >&2; exit 1; }
bash "$root/scripts/build.sh" || { echo "test: build failed" >&2; exit 1; }

cd "$build_dir" || exit 1
jobs=$(nproc 2>/dev/null || echo 4)
common=(--output-on-failure --no-tests=ignore "$@")

echo "== unit tests"
# No display and no sound server: unit tests must not need either.
env -u DISPLAY -u WAYLAND_DISPLAY -u PULSE_SERVER \
  ctest -L unit -j"$jobs" --timeout 300 "${common[@]}" 2>&1 | tee "$build_dir/test-unit.log"
unit_rc=${PIPESTATUS[0]}

echo "== end-to-end tests"
# One at a time: they share one screen and one sound server.
bash "$root/scripts/with-test-env.sh" \
  ctest -L e2e --timeout 600 "${common[@]}" 2>&1 | tee "$build_dir/test-e2e.log"
e2e_rc=${PIPESTATUS[0]}

summary() {
  local name=$1 log=$2 rc=$3 line
  line=$(grep -E 'tests passed, .* tests failed out of|No tests were found' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    [ "$rc" -eq 0 ] && line="no tests with this label" || line="no summary (ctest exited with $rc)"
  fi
  echo "$name: $line"
  sed -n '/The following tests FAILED:/,$p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' || true
}
echo "== summary"
summary unit "$build_dir/test-unit.log" "$unit_rc"
summary e2e "$build_dir/test-e2e.log" "$e2e_rc"

if [ "$unit_rc" -ne 0 ] || [ "$e2e_rc" -ne 0 ]; then
  echo "test: FAILED (unit exit $unit_rc, e2e exit $e2e_rc)"
  exit 1
fi
echo "test: all passed"
