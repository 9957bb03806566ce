#!/bin/bash
# Usage: slow-machine.sh load [RUNS]    the e2e tests RUNS times in a row (5 by
#                                       default) while every core is kept busy
#        slow-machine.sh two-cores      .ci/run on a fresh clone of HEAD, on
#                                       two cores, within 20 minutes
# Both check that the suite does not depend on a fast or idle machine. Run
# them by hand before a change that touches timing; CI does not.
set -u

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

load_pids=()
stop_load() {
  [ ${#load_pids[@]} -eq 0 ] && return
  kill "${load_pids[@]}" 2>/dev/null
  wait "${load_pids[@]}" 2>/dev/null
  load_pids=()
}
trap stop_load EXIT INT TERM

start_load() {
  local n
  n=$(nproc)
  if command -v stress-ng >/dev/null 2>&1; then
    stress-ng --cpu "$n" --quiet &
    load_pids+=($!)
  else
    for _ in $(seq "$n"); do
      sh -c 'while :; do :; done' &
      load_pids+=($!)
    done
  fi
  echo "slow-machine: $n cores kept busy"
}

under_load() {
  local runs=${1:-5} passed=0 i
  bash "$root/scripts/build.sh" >/dev/null || { echo "slow-machine: build failed" >&2; return 1; }
  start_load
  for i in $(seq "$runs"); do
    if (cd "$build_dir" && bash "$root/scripts/with-test-env.sh" \
          ctest -L e2e --timeout 900 --output-on-failure >"$build_dir/slow-load-$i.log" 2>&1); then
      passed=$((passed + 1))
      echo "run $i: passed"
    else
      echo "run $i: FAILED (see $build_dir/slow-load-$i.log)"
      grep -E '^[[:space:]]+[0-9]+ - ' "$build_dir/slow-load-$i.log"
    fi
  done
  stop_load
  echo "$passed passed, $((runs - passed)) failed"
  [ "$passed" -eq "$runs" ]
}

two_cores() {
  local clone start rc minutes
  clone=$(mktemp -d "${TMPDIR:-/tmp}/sr-ci.XXXXXX") || return 1
  git -C "$root" worktree add --detach "$clone/src" HEAD >/dev/null 2>&1 ||
    git clone -q "$root" "$clone/src" || return 1
  [ -d "$root/../shared" ] && [ ! -e "$clone/shared" ] && ln -s "$(cd "$root/../shared" && pwd)" "$clone/shared"
  start=$(date +%s)
  (cd "$clone/src" && taskset -c 0,1 env -u BUILD_DIR bash .ci/run >"$clone/ci.log" 2>&1)
  rc=$?
  minutes=$(( ($(date +%s) - start + 59) / 60 ))
  tail -n 6 "$clone/ci.log"
  echo "slow-machine: .ci/run on two cores took about $minutes min (exit $rc); log in $clone/ci.log"
  git -C "$root" worktree remove --force "$clone/src" >/dev/null 2>&1 || true
  [ "$rc" -eq 0 ] && [ "$minutes" -le 20 ]
}

case ${1:-} in
  load) under_load "${2:-5}" ;;
  two-cores) two_cores ;;
  *) sed -n '2,8p' "$0"; exit 2 ;;
esac
