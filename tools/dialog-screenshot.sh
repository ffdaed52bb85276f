#!/usr/bin/env bash
# Usage: tools/dialog-screenshot.sh IMAGE OUT.png
# Starts zelvo under a virtual X server with a window manager and IMAGE open, opens Levels
# (Ctrl+L) and types new input and output levels, takes a picture of the screen with the live
# preview behind the dialog, cancels; then opens Curves (Ctrl+M), drags an anchor up and takes a
# second picture. OUT.png holds the two side by side.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 IMAGE OUT.png" >&2
  exit 2
fi
image=$(realpath "$1")
out=$(realpath -m "$2")
cd "$(dirname "$0")/.."
. scripts/deps.sh
# The virtual display and its driving are needed here only, not by the builds or the tests.
zelvo_install_deps xvfb xauth openbox xdotool imagemagick
build="${ZELVO_BUILD_DIR:-build/release}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target zelvo
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT
export DISPLAY=:97
Xvfb :97 -screen 0 1280x900x24 >/dev/null 2>&1 &
sleep 1
openbox >/dev/null 2>&1 &
sleep 1
ZELVO_CONFIG_DIR="$tmp/config" QT_QPA_PLATFORM=xcb \
  "$build"/src/app/zelvo --no-splash --temp-dir "$tmp" "$image" >/dev/null 2>&1 &
sleep 4
main=$(xdotool search --onlyvisible --name "Zelvo" | head -1)
xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 1

# Levels: the input black edit has the focus; the white and output edits follow by Tab.
xdotool key ctrl+l
sleep 2
xdotool key ctrl+a type 35
xdotool key Tab Tab ctrl+a type 210
xdotool key Tab ctrl+a type 20
sleep 1.5
import -window root "$tmp/levels.png"
xdotool key Escape
sleep 1

# Curves: press on the straight line a quarter of the way and drag it up.
xdotool key ctrl+m
sleep 2
dialog=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$dialog")"
# The graph lies inside the dialog's margin, its ramp 12 pixels wide at the left.
gx=$((X + 11 + 12)) gy=$((Y + 11))
xdotool mousemove $((gx + 60)) $((gy + 120)) mousedown 1
for step in 110 100 90 80 70 64; do
  xdotool mousemove $((gx + 60)) $((gy + step))
  sleep 0.1
done
xdotool mouseup 1
sleep 1.5
import -window root "$tmp/curves.png"
xdotool key Escape
sleep 1
convert "$tmp/levels.png" "$tmp/curves.png" -resize 50% +append "$out"
echo "wrote $out"
