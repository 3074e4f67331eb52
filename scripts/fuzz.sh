#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz/, or $KIVSVC_FUZZ_BUILD_DIR) and runs each for a
# while. Any crash, sanitizer report, leak, input slower than 1 s or run above 512 MB fails
# the script; the input that caused it is left in build-fuzz/fuzz-work/TARGET/artifacts/.
# Each target starts from its seed corpus in fuzz/corpus/TARGET and keeps what it learns in
# build-fuzz/fuzz-work/TARGET/corpus for the next run.
#
#   scripts/fuzz.sh [-t SECONDS] [-j PARALLEL] [TARGET...]
#     -t  seconds per target (default 60)
#     -j  targets run at the same time (default 1)
#     TARGET  names such as regfile or events (default: every fuzz/fuzz_*.cpp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIVSVC_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=60
parallel=1
while getopts "t:j:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    j) parallel=$OPTARG ;;
    *) echo "Usage: $0 [-t SECONDS] [-j PARALLEL] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

targets=("$@")
if ((${#targets[@]} == 0)); then
  for src in "$root"/fuzz/fuzz_*.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("${name#fuzz_}")
  done
fi

generator=()
if command -v ninja >/dev/null 2>&1 && [[ ! -f $build/CMakeCache.txt || -f $build/build.ninja ]]; then
  generator=(-G Ninja)
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" "${generator[@]}" -DKIVSVC_WITH_QT=OFF \
  -DKIVSVC_FUZZ=ON -DKIVSVC_SANITIZE=ON -DKIVSVC_BENCHMARKS=OFF -DKIVSVC_WERROR="${KIVSVC_WERROR:-OFF}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=(--target "fuzz_$t"); done
cmake --build "$build" -j "$(nproc)" "${build_targets[@]}"

work=$build/fuzz-work
mkdir -p "$work"
trap 'rm -rf /dev/shm/kivsvcfuzz-*-$$' EXIT
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# A smaller quarantine of freed memory than the default 256 MB, so the 512 MB limit
# measures what the code under test holds.
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:check_initialization_order=1:quarantine_size_mb=64

run_one() {
  local t=$1 dir=$work/$1
  # Files the targets write (and fsync) go to a folder of this run in memory when there is
  # one, removed after it.
  local tmp=$dir/tmp
  [[ -d /dev/shm && -w /dev/shm ]] && tmp=/dev/shm/kivsvcfuzz-$t-$$
  mkdir -p "$dir/corpus" "$dir/artifacts" "$tmp"
  local rc=0
  TMPDIR=$tmp "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=1 \
    -rss_limit_mb=512 -malloc_limit_mb=512 -error_exitcode=77 -timeout_exitcode=78 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "$dir/corpus" "$root/fuzz/corpus/$t" >"$dir/log" 2>&1 || rc=$?
  rm -rf "$tmp"
  return $rc
}

report() {
  local t=$1 rc=$2 dir=$work/$1
  local runs rate
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  if ((rc == 0)); then
    printf 'fuzz %-12s ok      %10s runs  %6s/s  corpus %s\n' "$t" "${runs:-?}" "${rate:-?}" \
      "$(find "$dir/corpus" -type f | wc -l)"
  else
    printf 'fuzz %-12s FAILED  (exit %s), log: %s\n' "$t" "$rc" "$dir/log"
    grep -E 'ERROR|SUMMARY|property violated|runtime error|Test unit written' "$dir/log" | head -20
  fi
}

failed=0
declare -A pids=()
for t in "${targets[@]}"; do
  if [[ ! -x $build/bin/fuzz_$t ]]; then
    echo "fuzz $t: no such target" >&2
    failed=1
    continue
  fi
  while ((${#pids[@]} >= parallel)); do
    for p in "${!pids[@]}"; do
      if ! kill -0 "$p" 2>/dev/null; then
        rc=0
        wait "$p" || rc=$?
        report "${pids[$p]}" "$rc"
        ((rc == 0)) || failed=1
        unset "pids[$p]"
      fi
    done
    ((${#pids[@]} >= parallel)) && sleep 1
  done
  run_one "$t" &
  pids[$!]=$t
done
for p in "${!pids[@]}"; do
  rc=0
  wait "$p" || rc=$?
  report "${pids[$p]}" "$rc"
  ((rc == 0)) || failed=1
done

if ((failed)); then
  echo "Fuzzing found problems." >&2
  exit 1
fi
echo "Fuzzing found nothing in ${seconds} s per target."
