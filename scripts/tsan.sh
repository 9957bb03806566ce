#!/bin/bash
# Usage: tsan.sh [TEST_REGEX]
#
# Builds the capture engine's tests and the settings tests with
# ThreadSanitizer in a folder of their own ($TSAN_BUILD_DIR, by default
# build-tsan beside the sources) and runs them: unit tests offscreen, the
# end-to-end ones inside scripts/with-test-env.sh. The first data race or
# lock-order problem ends its test, and the script exits non-zero.
#
# TEST_REGEX chooses the tests (ctest -R); by default the engine's and the
# tests that use the settings from several threads (tst_recordparameter,
# tst_framework, whatever executables they live in now).
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${TSAN_BUILD_DIR:-$root/build-tsan}
regex=${1:-'^(tst_engine_.*|tst_recording|tst_audio|tst_effects|tst_overlays|tst_hotkeys_engine|tst_player|tst_recordparameter|tst_framework)$'}

gen=()
[ -f "$build_dir/CMakeCache.txt" ] || ! command -v ninja >/dev/null 2>&1 || gen=(-G Ninja)
# Warnings are not errors here: the sanitizer adds some of its own.
cmake -S "$root" -B "$build_dir" "${gen[@]}" -DSR_SANITIZE=thread -DSR_WERROR=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || { echo "tsan: configure failed" >&2; exit 1; }

# Test names are their executables' names.
mapfile -t tests < <(cd "$build_dir" && ctest -N -R "$regex" | sed -n 's/^ *Test *#[0-9]*: *\([^ ]*\).*/\1/p')
if [ ${#tests[@]} -eq 0 ]; then
  echo "tsan: no test matches $regex" >&2
  exit 1
fi
cmake --build "$build_dir" -j"$(nproc)" --target "${tests[@]}" || { echo "tsan: build failed" >&2; exit 1; }

# Libraries that are not built with the sanitizer synchronise in ways it
# cannot see; their reports are suppressed, ours are not.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$root/tests/engine/tsan.supp ${TSAN_OPTIONS:-}"
# A kernel that places mappings too randomly for the sanitizer's layout:
# run without address-space randomisation.
run=()
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi

# shellcheck source=scripts/suites.sh
source "$root/scripts/suites.sh"
# Each test under the sanitizer takes several times its memory: two at once.
export SUITE_JOBS=${SUITE_JOBS:-2}
SUITE_PREFIX=("${run[@]}")
if ! run_suites "$build_dir" " under ThreadSanitizer" 900 1800 -R "$regex"; then
  echo "tsan: failures or reports above (unit $unit_rc, e2e $e2e_rc)" >&2
  exit 1
fi
echo "tsan: no reports"
