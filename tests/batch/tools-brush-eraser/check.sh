#!/usr/bin/env bash
# Pixels of the saved pictures: the stroke, the erased part, the undo, Shift, a half dab.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../bmp-pixels.sh"
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
