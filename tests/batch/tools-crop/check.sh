# The crop scaled the frame to 200 x 150 with the border at its edges; cutter.qinf holds the one
# preset left (640 x 480 pixels at 50 pixels per centimetre) in a file sized for 100.
set -u
int() { od -A n -t d4 -j "$2" -N 4 "$1" | tr -d ' '; }
W=$(int cropped.bmp 18) H=$(int cropped.bmp 22) OFF=$(int cropped.bmp 10)
BPP=$(od -A n -t u2 -j 28 -N 2 cropped.bmp | tr -d ' ')
STRIDE=$(((W * BPP / 8 + 3) / 4 * 4))
# pixel X Y: "B G R" of the top-down point
pixel() { od -A n -t u1 -j $((OFF + (H - 1 - $2) * STRIDE + $1 * BPP / 8)) -N 3 cropped.bmp | xargs; }
fail=0
[ "$W $H" = "200 150" ] || { echo "size $W x $H"; fail=1; }
for p in "0 0 0 0 255" "199 149 0 0 255" "100 75 255 255 255" "12 75 255 255 255"; do
  set -- $p
  [ "$(pixel "$1" "$2")" = "$3 $4 $5" ] || { echo "pixel $1,$2 is $(pixel "$1" "$2")"; fail=1; }
done
[ "$(stat -c %s config/cutter.qinf)" = 2004 ] || { echo "cutter.qinf size"; fail=1; }
[ "$(od -A n -t x1 -N 24 config/cutter.qinf | tr -d ' \n')" = \
  "01000000000020440000f043010000000000484202000000" ] || { echo "cutter.qinf bytes"; fail=1; }
exit $fail
