#!/usr/bin/env bash
# kivtool diff, export and the checked write against kivsim.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/simproc.sh"

kt generate --type kivs2 --seed 3 -o "$work/a.kiv" >/dev/null
kt generate --type kivs2 --seed 4 -o "$work/b.kiv" >/dev/null

# --- diff ---
expect_status "same parset" 0 kt diff "$work/a.kiv:1" "$work/a.kiv"
expect_eq "same parset prints nothing" "" "$(cat "$work/out")"
expect_status "parset 1 against 2" 1 kt diff "$work/a.kiv:1" "$work/a.kiv:2"
[[ -s $work/out ]] || fail "differences not printed"
grep -qv " -> " "$work/out" && fail "a line without its two values"
# Changing one setting of a copy shows exactly that setting.
kt set "$work/a.kiv" --parset 1 --setting 1.2=12,5 -o "$work/c.kiv" >/dev/null
expect_status "one setting changed" 1 kt diff "$work/a.kiv" "$work/c.kiv"
expect_eq "the changed setting" "1" "$(wc -l <"$work/out" | tr -d ' ')"
grep -q -- "-> 12,5$" "$work/out" || fail "new value not shown: $(cat "$work/out")"
expect_status "all rows" 1 kt diff "$work/a.kiv" "$work/c.kiv" --all
expect_eq "one marked row" "1" "$(grep -c '^\*' "$work/out")"
expect_status "missing file" 2 kt diff "$work/a.kiv" "$work/none.kiv"
expect_status "one argument" 2 kt diff "$work/a.kiv"

# --- export ---
mkdir -p "$work/ct"
expect_status "comtrade" 0 kt export "$work/a.kiv" --seq 2 --comtrade "$work/ct"
[[ -s $work/ct/a_seq2.cfg && -s $work/ct/a_seq2.dat ]] || fail "COMTRADE files missing"
expect_eq "rev_year" "1999" "$(head -1 "$work/ct/a_seq2.cfg" | tr -d '\r' | cut -d, -f3)"
expect_eq "ft" "ASCII" "$(tail -2 "$work/ct/a_seq2.cfg" | head -1 | tr -d '\r')"
samples=$(sed -n 's/^0,\([0-9]*\)\r$/\1/p' "$work/ct/a_seq2.cfg")
expect_eq "endsamp is the sample count" "$(wc -l <"$work/ct/a_seq2.dat" | tr -d ' ')" "$samples"
expect_status "csv" 0 kt export "$work/a.kiv" --seq 2 --csv "$work/s2.csv"
head -c 3 "$work/s2.csv" | od -An -tx1 | grep -q "ef bb bf" || fail "no UTF-8 mark"
expect_eq "header" "Sequence;Date and time;Relative [s];Code;Name;Details" \
  "$(head -1 "$work/s2.csv" | tail -c +4 | tr -d '\r')"
listed=$(kt listing "$work/a.kiv" --seq 2 --bold | grep -c $'^1\t' || true)
if [[ $listed -gt 0 ]]; then
  expect_eq "one row per listed event" "$listed" "$(($(wc -l <"$work/s2.csv") - 1))"
fi
expect_status "no such sequence" 2 kt export "$work/a.kiv" --seq 999 --csv "$work/x.csv"
expect_status "both outputs" 2 kt export "$work/a.kiv" --seq 1 --csv "$work/x.csv" --comtrade "$work"
expect_status "unwritable" 2 kt export "$work/a.kiv" --seq 1 --csv "$work/no/dir/x.csv"
# A sequence of a clock-time event alone (2023-05-17 10:30) before one with an event: neither
# export writes anything for it, and both say why in the same words.
printf '\x04\x00\x10\xF3\x1F\x0A\x11\x05\x17\xF3\x1E\x0A\x11\x05\x17\xF0\x7F' >"$work/empty.bin"
kt params "-kivtype kivs2 -buffile $work/empty.bin" -o "$work/empty.kiv" >/dev/null ||
  fail "registration with an empty sequence"
expect_eq "empty sequence dated" "Sequence no.1 Date: 2023-05-17 hour: 10:30:00:000" \
  "$(kt sequences "$work/empty.kiv" | head -1)"
expect_status "empty sequence as csv" 2 kt export "$work/empty.kiv" --seq 1 --csv "$work/e.csv"
expect_eq "csv refusal" "Sequence 1 has no events to export" "$(cat "$work/err")"
[[ -e $work/e.csv ]] && fail "a CSV was written for an empty sequence"
mkdir -p "$work/ect"
expect_status "empty sequence as comtrade" 2 kt export "$work/empty.kiv" --seq 1 --comtrade "$work/ect"
expect_eq "comtrade refusal" "Sequence 1 has no events to export" "$(cat "$work/err")"
expect_eq "no COMTRADE files" "" "$(ls "$work/ect")"
expect_status "the other sequence as csv" 0 kt export "$work/empty.kiv" --seq 2 --csv "$work/e2.csv"

# --- checked write against the simulator ---
kivsim=$(dirname "$KIVTOOL")/kivsim
if [[ -x $kivsim ]]; then
  launch_kivsim "$kivsim" "$work/sim.log" --defs "$KIVSVC_DEFS" --tcp 127.0.0.1:0 --type kivs2 --seed 5 ||
    fail "kivsim did not start"
  sim=$SIM_PID
  port=$SIM_PORT
  expect_status "checked write" 0 kt write "$work/a.kiv" --from 1 --to 2 --tcp "127.0.0.1:$port" --silence 20
  expect_eq "write then check" "Save of parset1 do 2: OK
Verified" "$(tail -2 "$work/out")"
  expect_status "unchecked write" 0 kt write "$work/a.kiv" --from 2 --to 2 --tcp "127.0.0.1:$port" --silence 20 --no-verify
  grep -q Verified "$work/out" && fail "--no-verify still checked"
  kill "$sim"
  wait "$sim" 2>/dev/null
fi

finish
