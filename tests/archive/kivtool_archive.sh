#!/usr/bin/env bash
# kivtool archive end to end: a device's readings whose ring rolled over between them go
# into the archive (SQLite, or the PostgreSQL database KIVSVC_TEST_PG names); the archive
# then lists, draws and exports each sequence exactly as the reading that held it.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
k() { "$KIVTOOL" "$@" --defs "$KIVSVC_DEFS"; }
db=${KIVSVC_TEST_PG:-$tmp/archive.sqlite}
fail() { echo "FAIL: $*" >&2; exit 1; }

# Three readings of one device: the ring holds about 20 sequences.
for n in 20 26 31; do
  k generate --type kivs2 --seed 12 --sequences $n --max-bytes 1600 --station "Substation 7" \
    -o "$tmp/r$n.kiv" >/dev/null
done
c20=$(k sequences "$tmp/r20.kiv" | wc -l)
c31=$(k sequences "$tmp/r31.kiv" | wc -l)
(( c31 < 31 )) || fail "the ring did not roll over ($c31 sequences)"

out=$(k archive add "$tmp/r20.kiv" "$tmp/r26.kiv" "$tmp/r31.kiv" --db "$db")
echo "$out"
first=$(sed -n 1p <<<"$out")
[[ $first == "$tmp/r20.kiv: Substation 7: $c20 new, 0 grown, 0 known sequences" ]] || fail "$first"
union=$((31 - (20 - c20)))
lines=$(k archive sequences --db "$db")
[[ $(wc -l <<<"$lines") -eq $union ]] || fail "expected $union sequences, got $(wc -l <<<"$lines")"

# Byte for byte what the reading shows: its newest and its oldest sequence.
newest_id=$(tail -n 1 <<<"$lines" | cut -f1)
oldest_id=$(head -n 1 <<<"$lines" | cut -f1)
[[ $(tail -n 1 <<<"$lines" | cut -f2) == "Substation 7" ]] || fail "device column"
for opts in "" "--bold"; do
  cmp <(k archive listing "$newest_id" $opts --db "$db") <(k listing "$tmp/r31.kiv" --seq "$c31" $opts) ||
    fail "listing $opts of the newest sequence"
  cmp <(k archive listing "$oldest_id" $opts --db "$db") <(k listing "$tmp/r20.kiv" --seq 1 $opts) ||
    fail "listing $opts of the oldest sequence"
done
cmp <(k archive route "$newest_id" --db "$db") <(k route "$tmp/r31.kiv" --seq "$c31") || fail "route"
[[ -n $(k archive route "$newest_id" --db "$db") ]] || fail "empty route"

# A registration holding the sequence, and its line in the sequence list.
k archive kiv "$newest_id" -o "$tmp/one.kiv" --db "$db" >/dev/null
[[ $(k sequences "$tmp/one.kiv") == "$(tail -n 1 <<<"$lines" | cut -f3)" ]] || fail "sequence line"
mkdir "$tmp/ct1" "$tmp/ct2"
k archive export "$newest_id" --comtrade "$tmp/ct1" --db "$db" >/dev/null
k export "$tmp/r31.kiv" --seq "$c31" --comtrade "$tmp/ct2" >/dev/null
cmp "$tmp/ct1/archive_${newest_id}_seq1.dat" "$tmp/ct2/r31_seq$c31.dat" || fail "COMTRADE data"
k archive export "$newest_id" --csv "$tmp/a.csv" --db "$db" >/dev/null
k export "$tmp/r31.kiv" --seq "$c31" --csv "$tmp/b.csv" >/dev/null
[[ $(wc -l <"$tmp/a.csv") -eq $(wc -l <"$tmp/b.csv") ]] || fail "CSV rows"

# Importing again changes nothing and says so.
again=$(k archive add "$tmp/r31.kiv" --db "$db")
[[ $again == *": 0 new, 0 grown, $c31 known sequences (this reading was archived before)" ]] ||
  fail "$again"
[[ $(k archive devices --db "$db" | wc -l) -eq 1 ]] || fail "devices"

# Another controller under the same station text shares no sequence: a second device.
k generate --type kivs2 --seed 99 --sequences 6 --station "Substation 7" -o "$tmp/other.kiv" >/dev/null
c99=$(k sequences "$tmp/other.kiv" | wc -l)
out=$(k archive add "$tmp/other.kiv" --db "$db")
[[ $out == *": Substation 7 (2): $c99 new, 0 grown, 0 known sequences"* ]] || fail "$out"
[[ $out == *"shares no sequence with the device of that name: archived as Substation 7 (2)"* ]] ||
  fail "$out"
# The same reading with its station text changed stores nothing twice.
k generate --type kivs2 --seed 99 --sequences 6 --station "Spare unit" -o "$tmp/other.kiv" >/dev/null
out=$(k archive add "$tmp/other.kiv" --db "$db")
[[ $out == *": Substation 7 (2): 0 new, 0 grown, $c99 known sequences"* ]] || fail "$out"
[[ $(k archive devices --db "$db" | wc -l) -eq 2 ]] || fail "two devices expected"

# Names are labels.
k archive rename "Substation 7 (2)" "Spare" --db "$db" >/dev/null
[[ $(k archive devices --db "$db" | cut -f1 | sort | tr '\n' ,) == "Spare,Substation 7," ]] ||
  fail "rename: $(k archive devices --db "$db" | cut -f1)"
if k archive rename "Spare" "Substation 7" --db "$db" 2>"$tmp/err"; then fail "rename onto a name in use"; fi
grep -q "merge the two instead" "$tmp/err" || fail "message: $(cat "$tmp/err")"
# A merge asks first: without a terminal it wants --yes, and changes nothing.
if k archive merge "Spare" "Substation 7" --db "$db" </dev/null 2>"$tmp/err"; then
  fail "merge without --yes"
fi
grep -q "add --yes" "$tmp/err" || fail "message: $(cat "$tmp/err")"
[[ $(k archive devices --db "$db" | wc -l) -eq 2 ]] || fail "merged without confirmation"
out=$(k archive merge "Spare" "Substation 7" --yes --db "$db")
[[ $out == "Spare merged into Substation 7: $c99 sequences moved, 0 shared kept once, 0 differing kept as further versions, 2 readings" ]] ||
  fail "$out"
[[ $(k archive devices --db "$db" | wc -l) -eq 1 ]] || fail "devices after the merge"
[[ $(k archive sequences --device "Substation 7" --db "$db" | wc -l) -eq $((union + c99)) ]] ||
  fail "sequences after the merge"

# Filters: restart sequences hold code F5 (the first three looked at); a date range before the history is empty.
restarts=$(k archive sequences --code F5 --from 2000-01-01 --to 2099-12-31 --db "$db")
[[ -n $restarts ]] || fail "no restart sequences"
while IFS=$'\t' read -r id _ _; do
  k archive listing "$id" --db "$db" | grep -q "RESTART" || fail "sequence $id has no RESTART"
done < <(head -n 3 <<<"$restarts")
[[ -z $(k archive sequences --to 1999-12-31 --db "$db") ]] || fail "date filter"
[[ $(k archive sequences --device "Nowhere" --db "$db" | wc -l) -eq 0 ]] || fail "device filter"

# Errors: an unknown id, a damaged archive (left as it was).
if k archive listing 999999 --db "$db" 2>/dev/null; then fail "unknown id accepted"; fi
if [[ -z ${KIVSVC_TEST_PG:-} ]]; then
  head -c 3000 /dev/urandom >"$tmp/bad.sqlite"
  sum=$(md5sum <"$tmp/bad.sqlite")
  if k archive devices --db "$tmp/bad.sqlite" 2>"$tmp/err"; then fail "damaged archive opened"; fi
  grep -q "damaged" "$tmp/err" || fail "message: $(cat "$tmp/err")"
  [[ $(md5sum <"$tmp/bad.sqlite") == "$sum" ]] || fail "damaged archive changed"
fi
# Without --db, kivtool uses the program's archive in the data folder.
if [[ -z ${KIVSVC_TEST_PG:-} ]]; then
  (
    export HOME=$tmp/home XDG_DATA_HOME=$tmp/data KIVSVC_CONFIG=$tmp/none.ini
    unset KIVSVC_ARCHIVE
    k archive add "$tmp/r20.kiv" >/dev/null
  )
  [[ -s $tmp/data/kivsvc/archive.sqlite ]] || fail "default archive not in the program's folder"
fi
echo "kivtool archive: OK"
