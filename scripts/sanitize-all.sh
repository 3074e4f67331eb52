#!/usr/bin/env bash
# Builds the whole program, its tools and every test (the GUI tests included) with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them all under the offscreen
# platform. Any sanitizer report, leaks included, fails the test that made it; the only
# leaks let through are Qt's own one-time allocations listed in scripts/lsan.supp.
# Build folder: $KIVSVC_ASAN_BUILD_DIR, else build-asan-all beside the sources.
# Extra arguments go to ctest (e.g. -R comm_).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIVSVC_ASAN_BUILD_DIR:-$root/build-asan-all}
jobs=${KIVSVC_JOBS:-$(nproc)}

generator=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f $build/CMakeCache.txt || -f $build/build.ninja ]]; then
  generator=(-G Ninja)
fi
# gcc: its sanitizer runtimes are the ones the Debian Qt packages are tested with.
CC=gcc CXX=g++ cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVSVC_WITH_QT=ON -DKIVSVC_SANITIZE=ON \
  -DKIVSVC_BENCHMARKS=OFF -DKIVSVC_WERROR="${KIVSVC_WERROR:-OFF}" >/dev/null

export QT_QPA_PLATFORM=offscreen
# The test discovery runs the test programs while building, so the options hold from here.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# A soak under the sanitizers proves nothing more than a short one; the plain build soaks.
export KIVSVC_SOAK_SECONDS=${KIVSVC_SOAK_SECONDS:-20}

cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 900 "$@"
