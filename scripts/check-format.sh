#!/usr/bin/env bash
# Fails when clang-format (with the repository's .clang-format) would change any C++ source
# the repository tracks, and names the files. --fix rewrites them in place instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [[ ${1:-} == --fix ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]} > 0)); then
  printf 'clang-format would change %s\n' "${bad[@]}" >&2
  echo "${#bad[@]} file(s) not formatted; scripts/check-format.sh --fix formats them." >&2
  exit 1
fi
echo "Every source is formatted."
