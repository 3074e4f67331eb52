#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the whole program with
# its tests, then the Qt-free libraries and their tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails). Pass --quick to skip the sanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
[[ ${1:-} == --quick ]] && quick=1

bash "$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen

KIVSVC_BUILD_DIR=$root/build bash "$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j "$(nproc)" --timeout 600

if ((quick == 0)); then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  KIVSVC_BUILD_DIR=$root/build-asan bash "$root/scripts/build.sh" \
    -DKIVSVC_WITH_QT=OFF -DKIVSVC_SANITIZE=ON -DKIVSVC_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$(nproc)" --timeout 900
fi
echo "All tests passed."
