#!/usr/bin/env bash
# Writes the seed corpus of every fuzz target into fuzz/corpus/ from registrations made by
# `kivtool generate`. Files of past findings in the corpus are kept.
#   fuzz/make_corpus.sh [BUILD_DIR]   (default: build/, configured if needed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S "$root" -B "$build" -DKIVSVC_WITH_QT=OFF >/dev/null
fi
cmake --build "$build" --target kivtool kivfuzz_seeds >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/bin/kivtool" generate --type kivs2 --seed 7 --max-bytes 600 \
  --station "Rozdzielnia 15 kV" --defs "$root/defs" -o "$tmp/kivs2.kiv" >/dev/null
"$build/bin/kivtool" generate --type kivs3 --seed 11 --max-bytes 900 \
  --station "RS Żory" --defs "$root/defs" -o "$tmp/kivs3.kiv" >/dev/null
# A buffer as large as a device reading gives, for the lister alone.
"$build/bin/kivtool" generate --type kivs3 --seed 5 --max-bytes 10240 \
  --defs "$root/defs" -o "$tmp/kivs3-full.kiv" >/dev/null
"$build/bin/kivfuzz_seeds" "$root/fuzz/corpus" "$root/defs" "$tmp/kivs2.kiv" "$tmp/kivs3.kiv" \
  "$tmp/kivs3-full.kiv"
echo "Seeds written to $root/fuzz/corpus"
