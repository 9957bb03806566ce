#!/bin/bash
# Usage: build.sh [TARGET...]
# Configures and builds the project into build/ (or $BUILD_DIR) with
# warnings as errors: everything, or only the given targets.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

gen_args=()
if [ -f "$build_dir/CMakeCache.txt" ]; then
  # Keep the generator the folder was made with; switching is an error.
  :
elif command -v ninja >/dev/null 2>&1; then
  gen_args=(-G Ninja)
else
  gen_args=(-G "Unix Makefiles")
fi

cmake -S "$root" -B "$build_dir" "${gen_args[@]}" \
  -DSR_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
targets=()
[ $# -eq 0 ] || targets=(--target "$@")
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
