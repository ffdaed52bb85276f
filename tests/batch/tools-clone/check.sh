#!/usr/bin/env bash
# Pixels of the saved pictures against the clone stamp's rules.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../bmp-pixels.sh"
want cloned.bmp 20 15 "201 30 10"    # unaligned: the source's red
want cloned.bmp 30 15 "201 30 10"    # and again from the source
want cloned.bmp 22 15 "255 255 255"  # a 3-pixel tip reaches one pixel each way
want cloned.bmp 20 25 "201 30 10"    # aligned: the first stroke samples the source
want cloned.bmp 30 25 "10 30 201"    # the second keeps the offset: the blue dot
[ "$(px cloned.bmp 35 20)" = "$(px cloned.bmp 35 5)" ] ||
  { echo "use all layers: $(px cloned.bmp 35 20), shown at the source $(px cloned.bmp 35 5)"; fail=1; }
[ "$(px cloned.bmp 35 20)" != "255 255 255" ] || { echo "use all layers copied nothing"; fail=1; }
want cloned.bmp 25 5 "255 255 255"   # the upper layer alone is transparent at the red dot
want other.bmp 10 25 "17 34 51"      # from the second document
cmp -s cloned.bmp undone.bmp || { echo "the undo does not give the picture back"; fail=1; }
exit $fail
