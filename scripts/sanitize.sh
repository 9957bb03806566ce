#!/bin/bash
# Usage: sanitize.sh [debug|asan|all] [TEST_REGEX]
#
# Builds the whole suite twice, each in a folder of its own beside the
# sources, and runs the unit tests offscreen and the end-to-end ones inside
# scripts/with-test-env.sh under each build:
#   debug  build-debug ($DEBUG_BUILD_DIR): CMAKE_BUILD_TYPE=Debug, no
#          optimisation, warnings as errors. Catches what only links or
#          behaves at -O0 (a constant used by reference without a definition).
#   asan   build-asan ($ASAN_BUILD_DIR): AddressSanitizer and
#          UndefinedBehaviorSanitizer together, with debug information. The
#          first report ends its test with a stack, and the script exits
#          non-zero.
# By default both, debug first. TEST_REGEX narrows the tests (ctest -R).
# SANITIZE_JOBS sets the build's parallelism (default: every core).
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
which=${1:-all}
regex=${2:-.}
jobs=${SANITIZE_JOBS:-$(nproc)}
export SUITE_JOBS=$jobs
case $which in
  debug|asan|all) ;;
  *) echo "usage: sanitize.sh [debug|asan|all] [TEST_REGEX]" >&2; exit 2 ;;
esac

# configure_and_build DIR CMAKE_ARGS...
configure_and_build() {
  local dir=$1; shift
  local gen=()
  [ -f "$dir/CMakeCache.txt" ] || ! command -v ninja >/dev/null 2>&1 || gen=(-G Ninja)
  cmake -S "$root" -B "$dir" "${gen[@]}" "$@" >/dev/null \
    || { echo "sanitize: configure of $dir failed" >&2; return 1; }
  cmake --build "$dir" -j"$jobs" || { echo "sanitize: build of $dir failed" >&2; return 1; }
}

# shellcheck source=scripts/suites.sh
source "$root/scripts/suites.sh"

# run_tests DIR NAME: unit then e2e; returns non-zero when either failed.
run_tests() {
  if run_suites "$1" ", $2" 900 1800 -R "$regex"; then
    echo "sanitize: $2: all passed"
  else
    echo "sanitize: $2: failures or reports above (unit $unit_rc, e2e $e2e_rc)" >&2
    return 1
  fi
}

rc=0
if [ "$which" != asan ]; then
  dir=${DEBUG_BUILD_DIR:-$root/build-debug}
  if configure_and_build "$dir" -DCMAKE_BUILD_TYPE=Debug -DSR_WERROR=ON -DSR_SANITIZE=; then
    run_tests "$dir" debug || rc=1
  else
    rc=1
  fi
fi

if [ "$which" != debug ]; then
  dir=${ASAN_BUILD_DIR:-$root/build-asan}
  # Warnings are not errors here: the sanitizers' instrumentation makes
  # the optimiser warn where it does not otherwise.
  if configure_and_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSR_WERROR=OFF \
      "-DSR_SANITIZE=address,undefined"; then
    # Every UBSan check halts instead of reporting and going on;
    # detect_stack_use_after_return costs memory and finds returns of
    # local addresses that plain ASan misses. The system's libraries have
    # no frame pointers: without the slow unwinder a leak's stack ends in
    # the first of them, and neither a reader nor a suppression can tell
    # whose leak it is. Leaks in libraries that are not ours are
    # suppressed by name, each with its reason, in tests/lsan.supp.
    export ASAN_OPTIONS="halt_on_error=1 abort_on_error=0 exitcode=66 detect_leaks=1 detect_stack_use_after_return=1 strict_init_order=1 check_initialization_order=1 fast_unwind_on_malloc=0 malloc_context_size=40 ${ASAN_OPTIONS:-}"
    export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1 exitcode=67 ${UBSAN_OPTIONS:-}"
    export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp print_suppressions=0 ${LSAN_OPTIONS:-}"
    run_tests "$dir" "ASan+UBSan" || rc=1
  else
    rc=1
  fi
fi

[ $rc -eq 0 ] && echo "sanitize: all passed"
exit $rc
