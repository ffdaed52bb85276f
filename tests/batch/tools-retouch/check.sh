#!/usr/bin/env bash
# Pixels of the saved pictures against the tools' rules.
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
want retouched.bmp 5 5 "170 170 170"    # white darkened by the full 85
want retouched.bmp 4 4 "170 170 170"
want retouched.bmp 3 5 "255 255 255"
want retouched.bmp 15 5 "85 85 85"      # black lightened by the full 85
want retouched.bmp 14 5 "0 0 0"
want retouched.bmp 25 5 "80 80 80"      # (201 + 30 + 10) / 3, truncated
want retouched.bmp 24 5 "201 30 10"
# 127 among eight white neighbours, sigma 1: (127 w0 + 255 (4 w1 + 4 w2)) / (w0 + 4 w1 + 4 w2)
want retouched.bmp 5 20 "228 228 228"
want retouched.bmp 6 20 "255 255 255"
# 127 + (8 * 127 - 8 * 255) * 20 / 400
want retouched.bmp 15 20 "76 76 76"
want retouched.bmp 15 21 "255 255 255"
[ "$(px midtones.bmp 5 5)" != "170 170 170" ] || { echo "the midtones stroke changed nothing"; fail=1; }
cmp -s retouched.bmp undone.bmp || { echo "the undo does not give the picture back"; fail=1; }
exit $fail
