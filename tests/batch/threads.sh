#!/usr/bin/env bash
# Every pixel pass writes the same bytes on 1, 2 and 8 threads: ZELVO_BATCH
# Each row of the table below runs on a noisy 150 x 203 picture (tall enough for 8 bands of
# rows) at --threads 1, 2 and 8; the files it saves must be identical.
set -u
batch=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELVO_CONFIG_DIR="$work/config"
mkdir -p "$ZELVO_CONFIG_DIR"
cd "$work"

# name|commands (; between them)|files saved
cases=(
  "levels|adjust levels 10 100 240 5 250|out.bmp"
  "invert-selection|select ellipse 10 10 140 190; select feather 5; adjust invert|out.bmp"
  "brightness|adjust brightness-contrast 20 -30|out.bmp"
  "combine-selections|select ellipse 10 10 140 190; select rect 30 20 120 150 subtract; select polygon 5,5 140,60 20,200 add; select ellipse 0 50 150 160 intersect; adjust invert|out.bmp"
  "wand-everywhere|tool wand tolerance=60 contiguous=0; click 70,100; adjust invert|out.bmp"
  "inverse|select ellipse 10 10 140 190; select polygon 20,20 130,40 30,180 subtract; select feather 3; select inverse; adjust invert|out.bmp"
  "layer-to-selection|layer new; tool gradient type=radial colors=fore-transparent opacity=70; drag 70,100 140,20; select layer; layer select 1; adjust invert|out.bmp"
  "clear|select ellipse 10 10 140 190; select polygon 20,20 130,40 30,180 subtract; select feather 4; edit clear|out.bmp"
  "clear-border|layer new; tool gradient type=radial colors=fore-transparent; drag 70,100 120,60; layer clear-border|out.bmp"
  "expand|select ellipse 10 10 140 190; select polygon 20,20 130,40 30,180 subtract; select expand 9; adjust invert|out.bmp"
  "contract|select ellipse 10 10 140 190; select polygon 20,20 130,40 30,180 subtract; select contract 4; adjust invert|out.bmp"
  "border-selection|select ellipse 10 10 140 190; select polygon 20,20 130,40 30,180 subtract; edit border 7 #FF2040 80|out.bmp"
  "border-layer|edit border 5 #2040FF 60|out.bmp"
  "gaussian|filter blur 6|out.bmp"
  "box-blur-selection|select rect 5 30 120 180; filter blur 30|out.bmp"
  "sharpen|filter sharpen|out.bmp"
  "mosaic|filter mosaic 9|out.bmp"
  "reduce-noise|filter reduce-noise big|out.bmp"
  "shadow-highlight|adjust shadow-highlight 40 30 5|out.bmp"
  "size-up|image size 227 301|out.bmp"
  "size-down|image size 61 87|out.bmp"
  "size-nearest|image size 301 227 scale-styles=0|out.bmp"
  "rotate-cw|image rotate cw|out.bmp"
  "rotate-ccw|image rotate ccw|out.bmp"
  "rotate-180|image rotate 180|out.bmp"
  "flip-h|image rotate flip-h|out.bmp"
  "flip-v|image rotate flip-v|out.bmp"
  "gradient-selection|select ellipse 10 10 140 190; select feather 5; tool gradient type=radial colors=fore-transparent opacity=70; drag 70,100 140,20|out.bmp"
  "free-transform|tool move; transform free; drag 150,203 131,190; transform free-button commit|out.bmp"
  "merge-all|layer duplicate; layer opacity 60; filter mosaic 5; layer new; layer merge-all|out.bmp"
  "formats|layer duplicate; layer opacity 45; filter blur 3; save out.jpg quality=10; save out.png; save out.tif; save out.gif|out.jpg out.png out.tif out.gif"
)

start() {
  echo "new 150 203"
  echo "filter add-noise 90 seed=7"
  echo "adjust color-balance 40 -20 10"
}
fail=0
mkdir -p base/scratch
{ start; echo "save base.bmp"; } >base/script.zb
(cd base && "$batch" script.zb --temp-dir scratch >/dev/null 2>&1) || { echo "the start picture failed"; exit 1; }
for row in "${cases[@]}"; do
  IFS='|' read -r name commands files <<<"$row"
  for threads in 1 2 8; do
    mkdir -p "$threads/scratch"
    {
      start
      echo "$commands" | tr ';' '\n' | sed 's/^ *//'
      echo "save out.bmp"
    } >"$threads/script.zb"
    (cd "$threads" && "$batch" script.zb --temp-dir scratch --threads "$threads" >out.txt 2>err.txt)
    status=$?
    if [ $status -ne 0 ]; then
      echo "$name: exit status $status on $threads threads"; cat "$threads/err.txt"; fail=1
    fi
  done
  for f in $files; do
    for threads in 2 8; do
      if ! cmp -s "1/$f" "$threads/$f"; then echo "$name: $f differs on $threads threads"; fail=1; fi
    done
  done
  # The picture must have changed from the start, or the row tests nothing.
  if cmp -s base/base.bmp 1/out.bmp; then echo "$name: the picture did not change"; fail=1; fi
  rm -rf 1 2 8
done

# A thread count that is not a whole number from 1 to 256 is a usage error.
for bad in 0 257 x 2x; do
  "$batch" /dev/null --threads "$bad" >/dev/null 2>&1
  status=$?
  if [ $status -ne 2 ]; then echo "--threads $bad: exit status $status, expected 2"; fail=1; fi
done
exit $fail
