#!/usr/bin/env bash
# Installs what is missing, builds the program, and starts it with a demonstration device.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
# Only what the program needs, not the tests and benchmarks: the first start is quick.
KIVSVC_TARGETS="kivsvc kivsim kivtool kivdefs_files kivsvc_help" \
  KIVSVC_BUILD_DIR=$root/build bash "$root/scripts/build.sh"
exec bash "$root/scripts/demo.sh" "$root/build" "$@"
