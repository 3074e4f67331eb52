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

# The legend; a sequence that does not exist writes nothing and fails.
kt graph --legend -o "$work/legend.png" >/dev/null || fail "legend"
expect_eq "legend series" "series: $(kt legend | grep -vc '^  ')" \
  "$(kt graph --legend -o "$work/legend2.png" | grep '^series:')"
expect_status "missing sequence" 2 kt graph "$demo" --seq 999 -o "$work/none.png"
[[ ! -e $work/none.png ]] || fail "a missing sequence wrote a picture"

finish
