#!/usr/bin/env bash
# kivtool print: listings, route graphs and settings grids of a registration into a PDF.
source "$(dirname "$0")/lib.sh"

demo="$KIVSVC_EXAMPLES/demo-kivs2.kiv"
pages() { pdfinfo "$1" | sed -n 's/^Pages: *//p'; }
title() { pdfinfo "$1" | sed -n 's/^Title: *//p'; }
# The text of a PDF with runs of blanks as one blank.
text() { pdftotext -layout "$1" - | tr -s ' '; }

# Sequences in list order whatever the order on the command line, then both grids.
out=$(kt print "$demo" --seq 3 --seq 1 --flags 15 -o "$work/all.pdf")
expect_eq "print summary listings" "listings: 2" "$(grep '^listings:' <<<"$out")"
expect_eq "print summary tab" "parset tab: 0" "$(grep '^parset tab:' <<<"$out")"
expect_eq "page count" "$(sed -n 's/^pages: //p' <<<"$out")" "$(pages "$work/all.pdf")"
expect_eq "document title" "demo-kivs2.kiv-Sequence 1-Listing" "$(title "$work/all.pdf")"
all=$(text "$work/all.pdf")
expect_eq "order of printouts" \
  "Sequence no.1|Sequence 1-Route|Sequence no.3|Sequence 3-Route|Settings - parset 1|Settings - parset 2" \
  "$(grep -oE 'Sequence no\.[0-9]+|Sequence [0-9]+-Route|Settings - parset [12]' <<<"$all" |
    uniq | tr '\n' '|' | sed 's/|$//')"
grep -q 'Sequence no.2 ' <<<"$all" && fail "an unselected sequence was printed"

# The listing lines come in the order of kivtool listing.
kt listing "$demo" --seq 1 | tr -s ' ' | sed 's/^ //' >"$work/listing.txt"
pdftotext -f 1 -l 1 -layout "$work/all.pdf" - | tr -s ' ' | sed 's/^ //' | grep -v '^$' >"$work/page1.txt"
expect_eq "listing lines in order" "$(head -n 20 "$work/listing.txt")" \
  "$(sed -n '2,21p' "$work/page1.txt")"

# Event lines are bold, the header and detail lines regular: both faces are in the file.
fonts=$(pdffonts "$work/all.pdf" | tail -n +3)
grep -qi 'bold' <<<"$fonts" || fail "no bold face for the event lines"
grep -vqi 'bold' <<<"$fonts" || fail "no regular face for the header and detail lines"

# Grids only: each page carries its title and its footer; the tab given ends as given.
out=$(kt print "$demo" --flags 12 --parset-tab 1 -o "$work/grids.pdf")
expect_eq "grids keep the tab" "parset tab: 1" "$(grep '^parset tab:' <<<"$out")"
grids=$(text "$work/grids.pdf")
n=$(pages "$work/grids.pdf")
expect_eq "one footer per page" "$n" "$(grep -cE 'str\. [0-9]+' <<<"$grids")"
expect_eq "one title per page" "$n" "$(grep -cE 'Settings - parset [12]' <<<"$grids")"
expect_eq "footers of the first grid" "str. 1 (cz.1)|str. 1 (cz.2)|str. 1 (cz.3)" \
  "$(grep -oE 'str\. [0-9]+( \(cz\.[0-9]+\))?' <<<"$grids" | head -n 3 | tr '\n' '|' | sed 's/|$//')"
grep -q 'Sequence no.' <<<"$grids" && fail "flags 12 printed a listing"
# A name too long for its cell is elided; the value beside it stays whole.
expect_eq "parset 1 value" "6,1" "$(pdftotext -f 1 -l 1 -layout "$work/grids.pdf" - |
  grep -oE 'Undervoltage dela[^ ]* *[0-9,]+' | grep -oE '[0-9,]+$')"

# The graph alone: its pages carry the route title.
out=$(kt print "$demo" --seq 2 --flags 2 -o "$work/graph.pdf")
expect_eq "graph only" "listings: 0" "$(grep '^listings:' <<<"$out")"
expect_eq "graph title" "demo-kivs2.kiv-Sequence 2-Route" "$(title "$work/graph.pdf")"
# Each sheet says where it belongs: the sequence's date and its place in the printout.
n=$(pages "$work/graph.pdf")
expect_eq "sheet numbers" "$n" "$(text "$work/graph.pdf" | grep -cE "Date: .* sheet [0-9]+ of $n")"
# The legend strip: every state's name under the graph.
for state in "OFF" "ON" "AMBIGUOUS STATE" "UNKNOWN STATE" "V<Vlt" "Vlt<V<VL" "0.9Vr<V<Vr" "V>Vr"; do
  grep -qF "$state" <<<"$(text "$work/graph.pdf")" || fail "legend strip without $state"
done

# A route that fits one sheet at fit prints on one, whatever the offscreen window's width.
out=$(kt print "$demo" --seq 89 --flags 2 -o "$work/long.pdf")
expect_eq "a fitted route on one sheet" "graph pages: 1" "$(grep '^graph pages:' <<<"$out")"

# Errors: nothing to print, a sequence that does not exist, a wrong output, bad flags.
expect_status "nothing selected" 2 kt print "$demo" --flags 3 -o "$work/none.pdf"
[[ -e "$work/none.pdf" ]] && fail "an empty print wrote a file"
expect_status "no such sequence" 2 kt print "$demo" --seq 999 -o "$work/x.pdf"
expect_status "not a pdf" 2 kt print "$demo" --seq 1 -o "$work/x.png"
expect_status "bad flags" 2 kt print "$demo" --seq 1 --flags 16 -o "$work/x.pdf"
expect_status "bad tab" 2 kt print "$demo" --seq 1 --parset-tab 2 -o "$work/x.pdf"

finish
