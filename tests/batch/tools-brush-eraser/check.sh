#!/usr/bin/env bash
# Pixels of the saved pictures: the stroke, the erased part, the undo, Shift, a half dab.
set -u
# px FILE X Y: "R G B" of pixel (X, Y) of a 24- or 32-bit bottom-up BMP.
px() {
  local f=$1 x=$2 y=$3
  local off w h bpp
  read -r off < <(od -An -tu4 -j10 -N4 "$f")
  read -r w h < <(od -An -td4 -j18 -N8 "$f")
  read -r bpp < <(od -An -tu2 -j28 -N2 "$f")
  local bytes=$((bpp / 8))
  local stride=$(((w * bytes + 3) / 4 * 4))
  local at=$((off + (h - 1 - y) * stride + x * bytes))
  od -An -tu1 -j"$at" -N3 "$f" | awk '{ print $3, $2, $1 }'
}
fail=0
want() {
  local got
  got=$(px "$1" "$2" "$3")
  if [ "$got" != "$4" ]; then echo "$1 at $2,$3: $got, expected $4"; fail=1; fi
}
want brush.bmp 5 5 "255 0 0"      # the press
want brush.bmp 3 5 "255 0 0"      # radius 2.5 reaches two pixels out
want brush.bmp 2 5 "255 255 255"
want brush.bmp 17 5 "255 0 0"     # along the first segment
want brush.bmp 30 12 "255 0 0"    # down the second
want brush.bmp 17 15 "255 255 255"
want erased.bmp 15 4 "255 255 255"  # erased to transparent, saved over white
want erased.bmp 17 5 "255 255 255"
want erased.bmp 8 5 "255 0 0"
want erased.bmp 30 12 "255 0 0"
cmp -s brush.bmp undone.bmp || { echo "the undo does not give the stroke back"; fail=1; }
want shifted.bmp 15 25 "0 0 255"    # held to the press's row
want shifted.bmp 15 27 "255 255 255"
want half.bmp 35 25 "127 127 127"   # 50 % black over white
exit $fail
