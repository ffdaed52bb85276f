#!/usr/bin/env bash
# The crop of the inverted (black) canvas is black to its last row: no transparent band.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../bmp-pixels.sh"
want cropped.bmp 50 0 "0 0 0"
want cropped.bmp 50 70 "0 0 0"
want cropped.bmp 50 99 "0 0 0"
exit $fail
