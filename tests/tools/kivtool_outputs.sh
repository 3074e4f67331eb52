#!/usr/bin/env bash
# Every file kivtool writes is written whole or not at all: past a file size limit (as on a
# full disk) each output command exits 2 naming the file and the reason, the file that was
# there is byte for byte as before, and no temporary is left beside it.
source "$(dirname "$0")/lib.sh"

demo="$KIVSVC_EXAMPLES/demo-kivs2.kiv"
out="$work/out"
mkdir -p "$out"

# Each case: the output file(s), the limit in KiB, and the command that writes them (a good
# run first, whose files then stand as the previous ones). The limit lies below each file's
# size, so the write fails part-way; 0 makes every write fail, as a disk already full does.
cases=(
  "print.pdf|4|kt print $demo --seq 1 --seq 3 --flags 15 -o $out/print.pdf"
  "report.pdf|4|kt report $demo --seq 1 -o $out/report.pdf"
  "graph.pdf|4|kt graph $demo --seq 3 -o $out/graph.pdf"
  "graph.png|4|kt graph $demo --seq 3 --dpi 300 -o $out/graph.png"
  "events.csv|1|kt export $demo --seq 146 --csv $out/events.csv"
  "demo-kivs2_seq146.cfg demo-kivs2_seq146.dat|0|kt export $demo --seq 146 --comtrade $out"
  "copy.kiv|4|kt generate --type kivs2 --seed 9 -o $out/copy.kiv"
)

# Runs the command with writes limited to $2 KiB (SIGXFSZ ignored, so a write past the
# limit fails as one on a full disk does).
limited() {
  (
    trap '' XFSZ
    ulimit -f "$2"
    eval "$1"
  )
}

for c in "${cases[@]}"; do
  files=${c%%|*}
  rest=${c#*|}
  kib=${rest%%|*}
  cmd=${rest#*|}
  first=${files%% *}
  eval "$cmd" >/dev/null 2>"$work/err" || fail "$first: first run failed: $(cat "$work/err")"
  for f in $files; do cp "$out/$f" "$work/previous-$f"; done
  before=$(ls -A "$out")

  # Standard error through a pipe: a file would fall under the limit too.
  err=$(limited "$cmd" "$kib" 2>&1 >/dev/null)
  status=$?
  expect_eq "$first: exit status" 2 "$status"
  grep -qE "^Cannot write $out/[^ ]+: (File too large|the file came out incomplete)" <<<"$err" ||
    fail "$first: no reason naming the file: $err"
  for f in $files; do
    cmp -s "$work/previous-$f" "$out/$f" || fail "$first: $f changed"
  done
  expect_eq "$first: no temporary left" "$before" "$(ls -A "$out")"
done

finish
