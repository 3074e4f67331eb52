#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. Stages:
#   1. the whole program with its tests and benchmarks (build/), noise soak included;
#   1a. the Qt-free configuration (build-noqt/: -DKIVSVC_WITH_QT=OFF) and its tests;
#   1b. the Debian package made from that build (scripts/package.sh) and checked
#       (scripts/check-package.sh: lintian, validators, and as root dpkg -i, the installed
#       programs, dpkg -r);
#   2. the whole program and every test again under AddressSanitizer and
#      UndefinedBehaviorSanitizer, leak checks included (scripts/sanitize-all.sh);
#   3. every fuzz target for 60 seconds under the same sanitizers (scripts/fuzz.sh);
# then the format check (scripts/check-format.sh), last so that it never hides a test result.
# Any failure or sanitizer report fails the script. --quick runs stages 1 and 1a and the format check.
# KIVSVC_WERROR=ON (set by .ci/run) makes compiler warnings errors in every stage's build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
[[ ${1:-} == --quick ]] && quick=1

bash "$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen

start=$SECONDS
export KIVSVC_WERROR=${KIVSVC_WERROR:-OFF}
KIVSVC_BUILD_DIR=$root/build bash "$root/scripts/build.sh" -DKIVSVC_WERROR="$KIVSVC_WERROR"
ctest --test-dir "$root/build" --output-on-failure -j "$(nproc)" --timeout 600
echo "Stage 1 (build and tests) took $((SECONDS - start)) s."

# Stage 1a, quick too: the Qt-free configuration the guide advertises, with its own tests.
# Without Qt and benchmarks it is only the libraries, kivtool and their tests (ccache hits).
start=$SECONDS
KIVSVC_BUILD_DIR=$root/build-noqt bash "$root/scripts/build.sh" -DKIVSVC_WITH_QT=OFF \
  -DKIVSVC_BENCHMARKS=OFF -DKIVSVC_WERROR="$KIVSVC_WERROR"
ctest --test-dir "$root/build-noqt" --output-on-failure -j "$(nproc)" --timeout 600
echo "Stage 1a (Qt-free configuration) took $((SECONDS - start)) s."

if ((quick == 0)); then
  start=$SECONDS
  deb=$(bash "$root/scripts/package.sh" "$root/build" | tail -n 1)
  bash "$root/scripts/check-package.sh" "$deb"
  echo "Package stage took $((SECONDS - start)) s."
  start=$SECONDS
  bash "$root/scripts/sanitize-all.sh"
  echo "Stage 2 (sanitizers) took $((SECONDS - start)) s."
  start=$SECONDS
  bash "$root/scripts/fuzz.sh" -t 60 -j "$(nproc)"
  echo "Stage 3 (fuzzing) took $((SECONDS - start)) s."
fi
bash "$root/scripts/check-format.sh"
echo "All tests passed."
