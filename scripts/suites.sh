# Sourced by the scripts that run the test suites; defines run_suites.
#
# run_suites DIR NAME UNIT_TIMEOUT E2E_TIMEOUT [CTEST_ARGS...]
# Runs the unit tests of the build in DIR offscreen, in parallel, then the
# end-to-end ones one at a time inside scripts/with-test-env.sh (they share
# one screen and one sound server). Each run's output is also kept in
# DIR/test-unit.log and DIR/test-e2e.log. Sets unit_rc and e2e_rc, and
# returns non-zero when either failed. SUITE_JOBS sets the unit tests'
# parallelism (default: every core); the array SUITE_PREFIX, when set, is
# put before each run (e.g. setarch for ThreadSanitizer).
run_suites() {
  local dir=$1 name=$2 unit_timeout=$3 e2e_timeout=$4
  shift 4
  local root jobs common prefix=()
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  jobs=${SUITE_JOBS:-$(nproc 2>/dev/null || echo 4)}
  common=(--output-on-failure --no-tests=ignore "$@")
  [ -n "${SUITE_PREFIX+x}" ] && prefix=("${SUITE_PREFIX[@]}")
  cd "$dir" || return 1

  echo "== unit tests$name"
  # No display and no sound server: unit tests must not need either.
  env -u DISPLAY -u WAYLAND_DISPLAY -u PULSE_SERVER "${prefix[@]}" \
    ctest -L unit -j"$jobs" --timeout "$unit_timeout" "${common[@]}" 2>&1 | tee "$dir/test-unit.log"
  unit_rc=${PIPESTATUS[0]}

  echo "== end-to-end tests$name"
  "${prefix[@]}" bash "$root/scripts/with-test-env.sh" \
    ctest -L e2e --timeout "$e2e_timeout" "${common[@]}" 2>&1 | tee "$dir/test-e2e.log"
  e2e_rc=${PIPESTATUS[0]}
  cd - >/dev/null || true
  [ "$unit_rc" -eq 0 ] && [ "$e2e_rc" -eq 0 ]
}
