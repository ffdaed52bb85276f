#!/usr/bin/env bash
# Pixels of the patched pictures against the healing rule S + M_D - M_S on flat areas.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../bmp-pixels.sh"
want source.bmp 8 15 "100 100 100"        # the blemish healed from the flat right half
want source.bmp 7 14 "100 100 100"
want source.bmp 28 15 "50 150 200"        # the source area is left as it was
want destination.bmp 8 15 "255 0 0"       # the selected area is the source and stays
want destination.bmp 28 15 "205 50 100"   # 255 + 50 - 100, 0 + 150 - 100, 0 + 200 - 100
want destination.bmp 27 14 "205 50 100"
want destination.bmp 25 12 "50 150 200"   # the flat part of the patch takes the right colour
want destination.bmp 2 2 "100 100 100"
exit $fail
