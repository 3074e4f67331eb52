#!/usr/bin/env bash
# Configures and builds kivsvc into build/ (or the folder in $KIVSVC_BUILD_DIR).
# Extra arguments go to CMake's configure step. KIVSVC_TARGETS (blank-separated) builds only
# those targets instead of everything (scripts/run.sh builds just the program's parts).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIVSVC_BUILD_DIR:-$root/build}
generator=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f $build/CMakeCache.txt || -f $build/build.ninja ]]; then
  generator=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${generator[@]}" "$@" >/dev/null
targets=()
# shellcheck disable=SC2206  # the list is split at blanks on purpose
[[ -n ${KIVSVC_TARGETS:-} ]] && targets=(--target ${KIVSVC_TARGETS})
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
