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

# shellcheck source=scripts/suites.sh
source "$root/scripts/suites.sh"
run_suites "$build_dir" "" 300 600 "$@"

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
