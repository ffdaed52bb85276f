#!/usr/bin/env bash
# Renders each printed PDF at 2 pixels a millimetre and checks the sheet's size, the picture's
# box in millimetres (within 1 mm) and the colour at the centre of each quadrant.
set -u
fail=0
# check PDF SHEET_W SHEET_H LEFT TOP WIDTH HEIGHT (millimetres)
check() {
  local pdf=$1
  rm -f page-*.ppm
  if ! pdftoppm -r 50.8 -singlefile "$pdf" page; then echo "$pdf: pdftoppm failed"; fail=1; return; fi
  local header
  header=$(head -c 20 page.ppm | head -n 3 | tr '\n' ' ')
  local hlen
  hlen=$(head -n 3 page.ppm | wc -c)
  tail -c +$((hlen + 1)) page.ppm | od -An -v -tu1 -w3 |
    awk -v hdr="$header" -v name="$pdf" -v sw="$2" -v sh="$3" -v l="$4" -v t="$5" -v w="$6" -v h="$7" '
      BEGIN { split(hdr, f, " "); W = f[2]; H = f[3]; minx = W; miny = H; maxx = -1; maxy = -1 }
      {
        i = NR - 1; x = i % W; y = int(i / W)
        px[x "," y] = $1 " " $2 " " $3
        if ($1 < 200 || $2 < 200 || $3 < 200) {
          if (x < minx) minx = x; if (x > maxx) maxx = x
          if (y < miny) miny = y; if (y > maxy) maxy = y
        }
      }
      function near(a, b) { return a - b <= 1 && b - a <= 1 }
      function colour(cx, cy, want,   got, g, e) {
        got = px[int(cx * 2) "," int(cy * 2)]
        split(got, g, " "); split(want, e, " ")
        if (!(near(g[1] / 10, e[1] / 10) && near(g[2] / 10, e[2] / 10) && near(g[3] / 10, e[3] / 10))) {
          print name ": colour at " cx "," cy " mm is " got ", expected " want; bad = 1
        }
      }
      END {
        if (!near(W / 2, sw) || !near(H / 2, sh)) { print name ": sheet " W / 2 "x" H / 2 " mm"; bad = 1 }
        L = minx / 2; T = miny / 2; R = (maxx + 1) / 2; B = (maxy + 1) / 2
        if (!near(L, l) || !near(T, t) || !near(R - L, w) || !near(B - T, h)) {
          print name ": box " L "," T " " R - L "x" B - T " mm, expected " l "," t " " w "x" h; bad = 1
        }
        colour(l + w / 4, t + h / 4, "255 0 0")
        colour(l + 3 * w / 4, t + h / 4, "0 255 0")
        colour(l + w / 4, t + 3 * h / 4, "0 0 255")
        colour(l + 3 * w / 4, t + 3 * h / 4, "255 255 0")
        exit bad
      }' || fail=1
}
check centred.pdf 210 297 85 138 40 20
check placed.pdf 210 297 30 50 40 20
check landscape.pdf 297 210 25 12 60 30
# Letter is 215.9 x 279.4 mm; fitted by the width (215 mm whole): 215 x 107, centred on 279.
check fitted.pdf 216 279 0 86 215 107
# 400 x 200 mm at 1 pixel a centimetre: fitted to Letter as above; then 40 x 20 mm centred.
check oversize.pdf 216 279 0 86 215 107
check stale.pdf 216 279 87 129 40 20
# The picture goes into the PDF losslessly (a JPEG would blur its edges and colours).
for pdf in centred.pdf landscape.pdf; do
  pdfimages -list "$pdf" | awk -v name="$pdf" 'NR > 2 { n++; if ($9 != "image") { print name ": picture stored as " $9; bad = 1 } }
    END { if (n < 1) { print name ": no picture"; bad = 1 } exit bad }' || fail=1
done
[ -e cancelled.pdf ] && { echo "cancelled.pdf was written"; fail=1; }
exit $fail
