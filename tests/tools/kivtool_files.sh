#!/usr/bin/env bash
# kivtool info, params, settings, convert and set on real files.
source "$(dirname "$0")/lib.sh"

# params: a new registration from raw files, saved and read back by info.
printf '\x00\x10\x20\x30' >"$work/z1.bin"
head -c 300 /dev/zero >"$work/ev.bin"
out=$(cd "$work" && "$KIVTOOL" params "-zns1file z1.bin -buffile ev.bin -kivtype k2abcd" \
  -o "$work/p.kiv" --defs "$KIVSVC_DEFS")
expect_eq "params ok line" "ok: yes" "$(sed -n 1p <<<"$out")"
expect_eq "params message line" "message: " "$(sed -n 2p <<<"$out")"
info=$(kt info "$work/p.kiv")
expect_eq "info labels in order" \
  "type: identification: name: version: created: events read: parset 1 read: parset 2 read: station: slave: options: events buffer: parset 1: parset 2: definitions: note:" \
  "$(sed 's/: .*/:/' <<<"$info" | tr '\n' ' ' | sed 's/ $//')"
expect_eq "info type" "type: KIVS-2" "$(grep '^type:' <<<"$info")"
expect_eq "info identification" "identification: K2ABCD" "$(grep '^identification:' <<<"$info")"
expect_eq "info name" "name: K2A_BCD" "$(grep '^name:' <<<"$info")"
expect_eq "info buffer" "events buffer: 300" "$(grep '^events buffer:' <<<"$info")"
expect_eq "info parset 1" "parset 1: 4" "$(grep '^parset 1:' <<<"$info")"
expect_eq "info never read" "parset 2 read: never" "$(grep '^parset 2 read:' <<<"$info")"
expect_eq "info options" "options: 31 1 1 1 1 0" "$(grep '^options:' <<<"$info")"
expect_eq "info definitions" "definitions: Kivs2.set" "$(grep '^definitions:' <<<"$info")"
grep -qE '^created: [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$' <<<"$info" ||
  fail "created is not yyyy-mm-dd hh:mm:ss"

# params: minus signs inside paths belong to the path.
mkdir -p "$work/site-a"
head -c 120 /dev/zero >"$work/site-a/ev-2024-05.bin"
out=$("$KIVTOOL" params "-buffile $work/site-a/ev-2024-05.bin -kivtype kivs2" --defs "$KIVSVC_DEFS")
expect_eq "dashed path ok" "ok: yes" "$(sed -n 1p <<<"$out")"
expect_eq "dashed path buffer" "events buffer: 120" "$(grep '^events buffer:' <<<"$out")"

# params errors: the parser's messages and status 2, help text with its line feeds.
expect_status "bad params" 2 kt params "buffile x"
expect_eq "bad params message" 'message:  then expected character was: "-" :buffile x' \
  "$(grep '^message:' "$work/out")"
help=$(kt params "-h")
expect_eq "help lines" "6" "$(sed -n '/^message:/,/^type:/p' <<<"$help" | grep -vc '^type:')"

# convert: a current-format file comes out byte-identical.
kt convert "$KIVSVC_EXAMPLES/demo-kivs3.kiv" "$work/c.kiv"
cmp -s "$KIVSVC_EXAMPLES/demo-kivs3.kiv" "$work/c.kiv" || fail "convert changed a current-format file"

# A broken file: the program's message, status 2, nothing written.
head -c 20487 /dev/zero >"$work/broken.kiv"
expect_status "convert broken" 2 kt convert "$work/broken.kiv" "$work/never.kiv"
expect_eq "broken message" "File unknown format" "$(cat "$work/err")"
[[ ! -e $work/never.kiv ]] || fail "a broken file was converted"

# settings and set: an edit shows as the grid would show it.
kt settings "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 1 >"$work/s1"
expect_eq "settings first line" "def: Kivs2.set" "$(head -1 "$work/s1")"
grep -q '^1\. ' "$work/s1" || fail "settings has no numbered section title"
grep -q '^  .* \[.*\] = ' "$work/s1" || fail "settings has no setting lines"
kt set "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 2 --setting 1.1=6.5k -o "$work/set.kiv" ||
  fail "set with a voltage"
kt settings "$work/set.kiv" --parset 2 >"$work/s2"
volt=$(grep -m1 '^  ' "$work/s2")
expect_eq "voltage shown" "6,5k" "${volt##* = }"
cmp -s "$KIVSVC_EXAMPLES/demo-kivs2.kiv" "$work/set.kiv" && fail "set saved an unchanged file"

# Refused edits: message, status 2, nothing saved.
rm -f "$work/bad.kiv"
expect_status "set bad real" 2 kt set "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 1 \
  --setting 2.1=abc -o "$work/bad.kiv"
expect_eq "bad real message" "'abc' is not a valid floating point value" "$(cat "$work/err")"
expect_status "set bad yes/no" 2 kt set "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 1 \
  --setting 3.1=x -o "$work/bad.kiv"
expect_eq "yes/no message" "Allowable values: [Y/N]" "$(cat "$work/err")"
expect_status "set missing setting" 2 kt set "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 1 \
  --setting 99.1=1 -o "$work/bad.kiv"
[[ ! -e $work/bad.kiv ]] || fail "a refused edit was saved"
# The grid's own checks and messages: a voltage the device does not keep, a percentage whose
# register would wrap (9999 % would be stored as 3445,4).
volts="Allowable values: 100 to 99,5k (V; 6,5k = 6500)"
percent="Allowable values: 0 to 6553,5 in steps of 0,1"
for edit in 1.1=50 1.1=110k 1.2=9999; do
  case $edit in
    1.1=*) allowed=$volts ;;
    *) allowed=$percent ;;
  esac
  expect_status "set $edit" 2 kt set "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 1 \
    --setting "$edit" -o "$work/bad.kiv"
  expect_eq "set $edit: why" "'${edit#*=}' is out of range.
$allowed" "$(cat "$work/err")"
done
[[ ! -e $work/bad.kiv ]] || fail "a refused edit was saved"
# A refused edit among good ones saves nothing either.
expect_status "set good then bad" 2 kt set "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 1 \
  --setting 1.1=6.5k --setting 1.2=9999 -o "$work/bad.kiv"
[[ ! -e $work/bad.kiv ]] || fail "a refused edit was saved"
# The largest value the register holds is taken.
kt set "$KIVSVC_EXAMPLES/demo-kivs2.kiv" --parset 1 --setting 1.2=6553,5 -o "$work/max.kiv" ||
  fail "set at the top of the range"
expect_eq "top of the range shown" "6553,5" \
  "$(kt settings "$work/max.kiv" --parset 1 | sed -n 's/^  Dead line Vlt \[%Vr\] = //p')"

finish
