#!/usr/bin/env bash
# kivtool sequences, listing, route, hex and legend on a raw KIVS-2 events buffer.
source "$(dirname "$0")/lib.sh"

# Newest first: relay on, CBM open contact off, CBM close contact on, switchgear state
# (CBM open, auxiliary voltage present), clock time 2023-05-17 10:30; then the end marker.
printf '\x80\x00\x04\x27\x00\x08\x24\x00\x28' >"$work/ev.bin"
printf '\xFB\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x08\x00\x01' >>"$work/ev.bin"
printf '\xF3\x1E\x0A\x11\x05\x17\xF0\x7F' >>"$work/ev.bin"
src=(--buffer "$work/ev.bin" --type kivs2)

expect_eq "sequences" "Sequence no.1 (Normal) Date: 2023-05-17 hour: 10:30:00:000" \
  "$(kt sequences "${src[@]}")"

# Times corrected by the definition file (inputs -5 ms, outputs +15 ms), then without.
expect_eq "listing event lines" "1	STATR STATUS SWITCHGEAR
1	0,095 [s] - Signal CBM close (C1) turn up
1	0,115 [s] - Signal CBM open (C2) fading
1	0,145 [s] - Turn on relay V<t st. 2 (F5-F6)" \
  "$(kt listing "${src[@]}" --seq 1 --bold | grep '^1')"
listing=$(kt listing "${src[@]}" --seq 1 --correction off)
expect_eq "listing lines" "30" "$(wc -l <<<"$listing")"
expect_eq "listing detail" "  State CBM -OFF" "$(sed -n 12p <<<"$listing")"
expect_eq "listing uncorrected" "0,130 [s] - Turn on relay V<t st. 2 (F5-F6)" "$(tail -n 1 <<<"$listing")"
expect_eq "listing all events" "80 00 04 " \
  "$(kt listing "${src[@]}" --seq 1 --all-events on | tail -n 2 | head -n 1)"

expect_eq "route" "1. CM State
  -0,200000	000000	0	3
  0,100000	FFFF00	0	15
  0,120000	FF0000	0	15
  0,330000	FF0000	0	15
2. CR State
  -0,200000	FFFF00	0	15
  0,330000	FFFF00	0	15
3. Relay state V<t section B st. 2
  -0,200000	000000	0	3
  0,130000	FF0000	0	15
  0,330000	FF0000	0	15" "$(kt route "${src[@]}" --seq 1 --correction off)"

expect_eq "hex" "F3 1E 0A 11 05 17 
FB 00 00 00 00 00 00 00 00 00 00 00 00 08 00 01 
24 00 28 
27 00 08 
80 00 04 
Walk ended at offset 31 of 33: end marker (records: 5)" "$(kt hex "${src[@]}")"

# Where the walk stops when the buffer ends otherwise: no end marker, a record cut short,
# a jump past the end, an undefined code.
head -c 31 "$work/ev.bin" >"$work/nomarker.bin"
expect_eq "hex walk: buffer end" "Walk ended at offset 31 of 31: buffer end (records: 5)" \
  "$(kt hex --buffer "$work/nomarker.bin" --type kivs2 | tail -n 1)"
{ cat "$work/nomarker.bin"; printf '\xFB\x00\x00'; } >"$work/cut.bin"
expect_eq "hex walk: truncated record" "Walk ended at offset 31 of 34: truncated record (records: 5)" \
  "$(kt hex --buffer "$work/cut.bin" --type kivs2 | tail -n 1)"
{ cat "$work/nomarker.bin"; printf '\xF0\x09\x00'; } >"$work/jump.bin"
expect_eq "hex walk: jump past the end" "Walk ended at offset 31 of 34: jump past the end (records: 5)" \
  "$(kt hex --buffer "$work/jump.bin" --type kivs2 | tail -n 1)"
{ printf '\x80\x00\x04\x02'; } >"$work/undef.bin"
expect_eq "hex walk: undefined code" "First undefined event code:02h
Walk ended at offset 3 of 4: undefined code (records: 1)" "$(kt hex --buffer "$work/undef.bin" --type kivs2)"

legend=$(kt legend)
expect_eq "legend lines" "27" "$(wc -l <<<"$legend")"
expect_eq "legend names" "1. Switches states:   OFF|2. Switches states:   ON|3. Switches states:   AMBIGUOUS STATE|4. UNKNOWN STATE|5. Voltages rang:   V<Vlt|6. Voltages rang:   Vlt<V<VL|7. Voltages rang:   VL<V<0,9Vr|8. Voltages rang:   0.9Vr<V<Vr|9. Voltages rang:   V>Vr" \
  "$(grep -v '^  ' <<<"$legend" | paste -sd '|')"
expect_eq "legend row 9" "  0,000000	008000	0	16
  10,000000	008000	0	16" "$(tail -n 2 <<<"$legend")"

# A sequence the buffer does not have is refused as export and graph refuse it: the
# reason, status 2, nothing on standard output.
for cmd in listing route; do
  for n in 2 99999; do
    expect_status "$cmd of sequence $n" 2 kt $cmd "${src[@]}" --seq $n
    expect_eq "$cmd of sequence $n prints nothing" "" "$(cat "$work/out")"
  done
  expect_eq "$cmd of sequence 99999: why" "Invalid value of --seq: 99999" "$(cat "$work/err")"
  for n in 0 -1; do
    expect_status "$cmd of sequence $n" 2 kt $cmd "${src[@]}" --seq $n
    expect_eq "$cmd of sequence $n: why" "Invalid value of --seq: $n" "$(cat "$work/err")"
  done
done
expect_status "listing of sequence 2" 2 kt listing "${src[@]}" --seq 2
expect_eq "no sequence 2: why" "No sequence 2 (the registration has 1)" "$(cat "$work/err")"

# An option given twice is refused, whichever value would have been taken; options meant to
# repeat still take every value.
expect_status "--seq twice" 2 kt listing "${src[@]}" --seq 1 --seq 1
expect_eq "--seq twice: why" "Repeated option: --seq" "$(cat "$work/err")"
[[ -s $work/out ]] && fail "a repeated option still printed a listing"
expect_status "--bold twice" 2 kt listing "${src[@]}" --seq 1 --bold --bold
expect_eq "--bold twice: why" "Repeated option: --bold" "$(cat "$work/err")"
expect_status "--type twice" 2 kt sequences --buffer "$work/ev.bin" --type kivs2 --type kivs3
expect_eq "--type twice: why" "Repeated option: --type" "$(cat "$work/err")"

# A registration file gives the same views as its raw buffer.
kt generate --type kivs3 --seed 4 -o "$work/g.kiv" >/dev/null
python3 - "$work/g.kiv" "$work/g.bin" <<'PY'
import sys
d = open(sys.argv[1], 'rb').read()
n = d[4096] | d[4097] << 8
open(sys.argv[2], 'wb').write(d[4098:4098 + n])
PY
expect_eq "file and buffer" "$(kt sequences "$work/g.kiv")" \
  "$(kt sequences --buffer "$work/g.bin" --type kivs3 --ident K3SV0207)"
expect_eq "file and buffer listing" "$(kt listing "$work/g.kiv" --seq 3 --bold)" \
  "$(kt listing --buffer "$work/g.bin" --type kivs3 --ident K3SV0207 --seq 3 --bold)"
expect_status "bad option value" 2 kt sequences "${src[@]}" --correction maybe
expect_status "missing type" 2 kt sequences --buffer "$work/ev.bin"

# --all-events: alone it is on, as "on" says; "off" and leaving it out list no raw lines.
allOn=$(kt listing "${src[@]}" --seq 1 --all-events on)
expect_eq "all events alone" "$allOn" "$(kt listing "${src[@]}" --seq 1 --all-events)"
expect_eq "all events before the file" "$allOn" \
  "$(kt listing --all-events --seq 1 "${src[@]}")"
expect_eq "all events off" "$listing" \
  "$(kt listing "${src[@]}" --seq 1 --correction off --all-events off)"
[[ $allOn == *"80 00 04 "* && $listing != *"80 00 04 "* ]] || fail "raw lines only with all events"
expect_status "all events twice" 2 kt listing "${src[@]}" --seq 1 --all-events --all-events off

# "--" ends the options: a file whose name starts with dashes is a file after it.
cp "$work/g.kiv" "$work/--seq.kiv"
expect_eq "file after --" "$(kt sequences "$work/g.kiv")" \
  "$(cd "$work" && "$KIVTOOL" sequences --defs "$KIVSVC_DEFS" -- --seq.kiv)"
expect_status "option-like file without --" 2 \
  bash -c 'cd "$1" && "$2" sequences --defs "$3" --seq.kiv' _ "$work" "$KIVTOOL" "$KIVSVC_DEFS"
expect_status "option after -- is a file" 2 \
  bash -c 'cd "$1" && "$2" sequences g.kiv -- --defs "$3"' _ "$work" "$KIVTOOL" "$KIVSVC_DEFS"

finish
