#!/usr/bin/env bash
# kivtool graph: the route of a sequence and the legend as PNG and PDF, through the same
# drawing as the window, without a display.
source "$(dirname "$0")/lib.sh"
command -v pdfinfo >/dev/null || { echo "pdfinfo missing" >&2; exit 1; }
demo=$KIVSVC_EXAMPLES/demo-kivs2.kiv

png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$1"; }

out=$(kt graph "$demo" --seq 3 -o "$work/seq3.png") || fail "graph to PNG"
[[ $(head -c 8 "$work/seq3.png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] ||
  fail "the PNG file has no PNG signature"
series=$(sed -n 's/^series: //p' <<<"$out")
expect_eq "series of the route" "$(kt route "$demo" --seq 3 | grep -vc '^  ')" "$series"
expect_eq "reported size is the image's" "$(sed -n 's/^size: //p' <<<"$out")" "$(png_size "$work/seq3.png")"

# A higher resolution gives a larger picture of the same graph.
kt graph "$demo" --seq 3 --dpi 300 -o "$work/seq3-300.png" >/dev/null || fail "graph at 300 dpi"
w150=$(png_size "$work/seq3.png" | cut -dx -f1)
w300=$(png_size "$work/seq3-300.png" | cut -dx -f1)
((w300 > w150)) || fail "300 dpi is not wider than 150 dpi ($w300 <= $w150)"

# PDF pages: as many as the output says.
out=$(kt graph "$demo" --seq 3 -o "$work/seq3.pdf") || fail "graph to PDF"
expect_eq "PDF page count" "$(sed -n 's/^pages: //p' <<<"$out")" \
  "$(pdfinfo "$work/seq3.pdf" | sed -n 's/^Pages: *//p')"
pdftotext "$work/seq3.pdf" - | grep -q "1\. " || fail "no series name in the PDF"

# At fit a long route (170 s) and a short one (0.8 s) each take one sheet, and their axis
# labels are distinct, increasing numbers (decimals with "," for the short one).
for seq in 89 146; do
  out=$(kt graph "$demo" --seq $seq -o "$work/fit$seq.pdf") || fail "graph of sequence $seq"
  expect_eq "sequence $seq at fit" "pages: 1" "$(grep '^pages:' <<<"$out")"
  pdftotext -bbox "$work/fit$seq.pdf" - | python3 -c '
import re, sys
words = re.findall(r"<word xMin=\"([\d.]+)\" yMin=\"([\d.]+)\" xMax=\"([\d.]+)\" yMax=\"[\d.]+\">([^<]*)</word>", sys.stdin.read())
unit = [w for w in words if w[3] == "[s]"]
assert unit, "no unit text"
y = float(unit[0][1])
labels = sorted((float(a), float(c), t) for a, b, c, t in words
                if abs(float(b) - y) < 1 and re.fullmatch(r"-?\d+(,\d+)?", t))
assert len(labels) >= 5, labels
vals = [float(t.replace(",", ".")) for _, _, t in labels]
assert vals == sorted(set(vals)), vals
assert all(labels[i][1] < labels[i + 1][0] for i in range(len(labels) - 1)), labels
if sys.argv[1] == "146":
    assert any("," in t for _, _, t in labels), labels
' $seq || fail "axis labels of sequence $seq"
done

# The state changes of a route, all or between two times.
all=$(kt route "$demo" --seq 146 --changes) || fail "route --changes"
[[ $(head -n 1 <<<"$all") == $'Time [s]\tSeries\tChange\tSince previous [s]' ]] ||
  fail "changes header: $(head -n 1 <<<"$all")"
(($(wc -l <<<"$all") > 2)) || fail "too few changes: $all"
grep -q ' → ' <<<"$all" || fail "no state change in the list"
# Up to halfway between the first two change times: exactly the changes at the first one.
times=$(tail -n +2 <<<"$all" | cut -f1 | uniq)
first=$(sed -n 1p <<<"$times")
mid=$(sed -n 1,2p <<<"$times" | tr ',' '.' | awk 'NR==1{a=$1} NR==2{printf "%.4f", (a+$1)/2}')
part=$(kt route "$demo" --seq 146 --changes --from -1 --to "$mid") || fail "route --from --to"
expect_eq "changes up to $mid" "$(cut -f1 <<<"$all" | grep -c "^$first\$")" \
  "$(($(wc -l <<<"$part") - 1))"
expect_status "--from without --changes" 2 kt route "$demo" --seq 146 --from 0 --to 1
expect_status "--from without --to" 2 kt route "$demo" --seq 146 --changes --from 0

# The legend; a sequence that does not exist writes nothing and fails.
kt graph --legend -o "$work/legend.png" >/dev/null || fail "legend"
expect_eq "legend series" "series: $(kt legend | grep -vc '^  ')" \
  "$(kt graph --legend -o "$work/legend2.png" | grep '^series:')"
expect_status "missing sequence" 2 kt graph "$demo" --seq 999 -o "$work/none.png"
[[ ! -e $work/none.png ]] || fail "a missing sequence wrote a picture"

# A switching printed to the millisecond: a tenth of a second on one sheet, labelled in
# milliseconds.
out=$(kt graph "$demo" --seq 3 --from 4.45 --to 4.55 -o "$work/zoom.pdf") || fail "a short span to PDF"
expect_eq "short span on one sheet" "pages: 1" "$(grep '^pages:' <<<"$out")"
zoom=$(pdftotext "$work/zoom.pdf" -)
for label in 4,450 4,500 4,540; do
  grep -qx "$label" <<<"$zoom" || grep -qw "$label" <<<"$zoom" || fail "no label $label in the zoomed PDF"
done

# An image wider than 32767 pixels is refused with a way out; a part of the route at that
# scale is drawn.
expect_status "too wide" 2 kt graph "$demo" --seq 3 --scale 50000 -o "$work/wide.png"
grep -q -- "--from/--to" "$work/err" || fail "the refusal names no way out: $(cat "$work/err")"
grep -q "at most 32767" "$work/err" || fail "the refusal names no limit: $(cat "$work/err")"
[[ ! -e $work/wide.png ]] || fail "a refused image was written"
expect_status "a part at that scale" 0 kt graph "$demo" --seq 3 --scale 50000 --from 4.5 --to 4.6 \
  -o "$work/part.png"

finish
