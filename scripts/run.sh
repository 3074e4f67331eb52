#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the shipped example.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
KIVSVC_BUILD_DIR=$root/build bash "$root/scripts/build.sh"
exec bash "$root/scripts/demo.sh" "$root/build" "$@"
