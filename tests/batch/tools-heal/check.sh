#!/usr/bin/env bash
# Pixels of the healed pictures against the healing rule S + M_D - M_S on flat areas.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../bmp-pixels.sh"
want blemish.bmp 8 15 "255 0 0"
want healed.bmp 8 15 "100 100 100"       # the blemish healed from the flat right half
want healed.bmp 7 14 "100 100 100"
want healed.bmp 28 15 "50 150 200"       # the source is left as it was
want carried.bmp 8 15 "255 0 0"          # the source stays
want carried.bmp 28 15 "205 50 100"      # 255 + 50 - 100, 0 + 150 - 100, 0 + 200 - 100
want carried.bmp 29 16 "205 50 100"
want carried.bmp 31 15 "50 150 200"      # the flat part of the stroke takes the right colour
exit $fail
