#!/usr/bin/env bash
# The page printed while the stroke was held shows the red stroke.
pdftoppm -r 72 -singlefile stroke.pdf page || exit 1
hlen=$(head -n 3 page.ppm | wc -c)
red=$(tail -c +$((hlen + 1)) page.ppm | od -An -v -tu1 -w3 |
  awk '$1 > 200 && $2 < 80 && $3 < 80 { n++ } END { print n + 0 }')
[ "$red" -gt 0 ] || { echo "the printed page has no stroke"; exit 1; }
