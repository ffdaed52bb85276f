#!/usr/bin/env bash
# Pixels of the saved pictures against the tools' rules.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../bmp-pixels.sh"
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
