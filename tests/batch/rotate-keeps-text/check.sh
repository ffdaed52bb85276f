#!/usr/bin/env bash
# box FILE: "LEFT TOP WIDTH HEIGHT" of the pixels that are not white in a 24-bit bottom-up BMP.
box() {
  local off w h
  read -r off < <(od -An -tu4 -j10 -N4 "$1")
  read -r w h < <(od -An -td4 -j18 -N8 "$1")
  tail -c +$((off + 1)) "$1" | od -An -v -tu1 -w$(((w * 3 + 3) / 4 * 4)) |
    awk -v w="$w" -v h="$h" '
      BEGIN { l = w; t = h; r = -1; b = -1 }
      { y = h - NR; for (x = 0; x < w; x++) if ($(3 * x + 1) + $(3 * x + 2) + $(3 * x + 3) < 600) {
          if (x < l) l = x; if (x > r) r = x; if (y < t) t = y; if (y > b) b = y } }
      END { print l, t, r - l + 1, b - t + 1 }'
}
read -r l0 t0 w0 h0 < <(box r0.bmp)
read -r l1 t1 w1 h1 < <(box r1.bmp)
read -r l2 t2 w2 h2 < <(box r2.bmp)
fail=0
((w0 > 5 && h0 > 5)) || { echo "no text drawn: $l0 $t0 $w0 $h0"; fail=1; }
# A quarter turn clockwise of the 200 x 120 canvas: the box's top-left goes to
# (120 - bottom, left); the text, not turned, keeps its size.
[ "$l1 $t1 $w1 $h1" = "$((120 - t0 - h0)) $l0 $w0 $h0" ] ||
  { echo "after the quarter turn: $l1 $t1 $w1 $h1 (from $l0 $t0 $w0 $h0)"; fail=1; }
# A half turn of the 120 x 200 canvas: (120 - right, 200 - bottom).
[ "$l2 $t2 $w2 $h2" = "$((120 - l1 - w1)) $((200 - t1 - h1)) $w0 $h0" ] ||
  { echo "after the half turn: $l2 $t2 $w2 $h2 (from $l1 $t1 $w1 $h1)"; fail=1; }
exit $fail
