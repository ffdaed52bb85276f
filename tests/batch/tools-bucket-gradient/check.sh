#!/usr/bin/env bash
# Pixels of the saved pictures: the fills, the direction of each gradient, the selection.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../bmp-pixels.sh"
red() { px "$1" "$2" "$3" | awk '{ print $1 }'; }
want wall.bmp 3 3 "0 255 0"        # filled up to the painted wall
want wall.bmp 10 3 "0 0 0"
want wall.bmp 20 3 "255 255 255"   # beyond it
want everywhere.bmp 20 3 "127 127 254"  # 50 % blue over the white that is left
want everywhere.bmp 3 3 "0 255 0"       # the green is not like the white clicked
want linear.bmp 0 10 "255 0 0"     # the start: the foreground
[ "$(red linear.bmp 29 19)" = 0 ] || { echo "linear: the end is not the background"; fail=1; }
# Red falls along the line, and stays alike across it.
prev=256
for x in 0 5 10 15 20 25 29; do
  r=$(red linear.bmp "$x" 10)
  if [ "$r" -ge "$prev" ]; then echo "linear: red at $x is $r, not below $prev"; fail=1; fi
  prev=$r
done
[ "$(px linear.bmp 15 0)" = "$(px linear.bmp 15 19)" ] || { echo "linear: not alike across"; fail=1; }
# Radial toward transparent: the background shows through farther from the centre.
[ "$(red radial.bmp 16 10)" -gt "$(red radial.bmp 22 10)" ] || { echo "radial: no falloff"; fail=1; }
# Reflected: blue at the middle of the line, red again toward its ends; untouched outside the
# selection.
want reflected.bmp 14 5 "0 0 255"
[ "$(red reflected.bmp 2 5)" -gt "$(red reflected.bmp 10 5)" ] || { echo "reflected: no ramp"; fail=1; }
[ "$(px reflected.bmp 20 5)" = "$(px radial.bmp 20 5)" ] || { echo "reflected: outside the selection changed"; fail=1; }
exit $fail
