#!/usr/bin/env bash
# Usage: tools/screenshot.sh [-s WIDTHxHEIGHT] [-t png|jpg] IMAGE OUTDIR [SCENE...]
# Pictures of zelvo as a user meets it: a virtual X server with a window manager, zelvo started
# with IMAGE open, driven by xdotool. Each SCENE writes OUTDIR/SCENE.png (all of them when none
# is named; -t jpg writes SCENE.jpg instead, a tenth of the size for a photograph):
#   main    the main window with the image, the five palettes and the Brush tool chosen
#   levels  Levels (Ctrl+L) with new input and output levels typed, the live preview behind it
#   curves  Curves (Ctrl+M) with an anchor dragged up, the live preview behind it
# The screen is 1600x1000 unless -s says otherwise. ZELVO_BUILD_DIR picks the build
# (build/release by default; it is configured and built when missing).
set -euo pipefail
size=1600x1000
type=png
while [ $# -gt 0 ]; do
  case $1 in
    -s) size=$2 && shift 2 ;;
    -t) type=$2 && shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 2 ] || { [ "$type" != png ] && [ "$type" != jpg ]; }; then
  echo "usage: $0 [-s WIDTHxHEIGHT] [-t png|jpg] IMAGE OUTDIR [main|levels|curves...]" >&2
  exit 2
fi
image=$(realpath "$1")
outdir=$(realpath -m "$2")
shift 2
scenes=("$@")
[ ${#scenes[@]} -eq 0 ] && scenes=(main levels curves)
for s in "${scenes[@]}"; do
  case $s in
    main | levels | curves) ;;
    *)
      echo "unknown scene: $s" >&2
      exit 2
      ;;
  esac
done
[ -r "$image" ] || {
  echo "cannot read $image" >&2
  exit 2
}
mkdir -p "$outdir"
cd "$(dirname "$0")/.."
. scripts/deps.sh
# The virtual display and its driving are needed here only, not by the builds or the tests.
zelvo_install_deps xvfb xauth openbox xdotool imagemagick
build="${ZELVO_BUILD_DIR:-build/release}"
if [ ! -x "$build/src/app/zelvo" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target zelvo >/dev/null

tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
# A display number of our own: the first free one from 90 on.
d=90
while [ -e /tmp/.X11-unix/X$d ] || [ -e /tmp/.X$d-lock ]; do d=$((d + 1)); done
export DISPLAY=:$d
Xvfb "$DISPLAY" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break || sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Each scene starts zelvo afresh, so one scene's dialog or tool does not show in the next.
# Each has a temporary disk and settings of its own: a run that is stopped leaves work to
# recover, which the next must not be asked about.
start_zelvo() {
  mkdir -p "$tmp/$1"
  ZELVO_CONFIG_DIR="$tmp/$1/config" QT_QPA_PLATFORM=xcb \
    "$build"/src/app/zelvo --no-splash --temp-dir "$tmp/$1" "$image" >"$tmp/zelvo.log" 2>&1 &
  zelvo_pid=$!
  pids+=("$zelvo_pid")
  main=
  for _ in $(seq 100); do
    main=$(xdotool search --onlyvisible --pid "$zelvo_pid" --name "^Zelvo" 2>/dev/null | head -1) || true
    [ -n "$main" ] && break
    sleep 0.2
  done
  [ -n "$main" ] || {
    echo "zelvo did not show its window" >&2
    cat "$tmp/zelvo.log" >&2
    exit 1
  }
  # The image drawn and the palettes settled.
  sleep 4
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  sleep 0.5
}
stop_zelvo() {
  kill "$zelvo_pid" 2>/dev/null || true
  wait "$zelvo_pid" 2>/dev/null || true
}
shot() {
  import -window root -quality 88 "$outdir/$1.$type"
  echo "wrote $outdir/$1.$type"
}
# The active window after `key`, once it is another than the main window (a dialog opened).
dialog_after() {
  xdotool key "$1"
  for _ in $(seq 50); do
    local w
    w=$(xdotool getactivewindow 2>/dev/null) || true
    if [ -n "$w" ] && [ "$w" != "$main" ]; then
      echo "$w"
      return 0
    fi
    sleep 0.1
  done
  echo "no dialog opened after $1" >&2
  return 1
}

for scene in "${scenes[@]}"; do
  start_zelvo "$scene"
  case $scene in
    main)
      # A click on the Brush tool's button (second column, fourth row of the tool box, whose
      # 88 x 580 content ends at the palette's bottom edge); then the pointer goes to the
      # corner so that the picture is free of tooltips.
      tools=$(xdotool search --onlyvisible --pid "$zelvo_pid" --name "^Tools F4" | head -1)
      eval "$(xdotool getwindowgeometry --shell "$tools")"
      xdotool mousemove $((X + 4 + 41 + 19)) $((Y + HEIGHT - 580 - 1 + 4 + 3 * 36 + 17)) click 1
      xdotool mousemove 2 2
      xdotool windowactivate --sync "$main" 2>/dev/null || true
      sleep 1
      shot main
      ;;
    levels)
      # The input black edit has the focus; the white and output edits follow by Tab.
      dialog_after ctrl+l >/dev/null
      sleep 1
      xdotool key ctrl+a type 35
      xdotool key Tab Tab ctrl+a type 210
      xdotool key Tab ctrl+a type 20
      sleep 1.5
      shot levels
      xdotool key Escape
      ;;
    curves)
      dialog=$(dialog_after ctrl+m)
      sleep 1
      eval "$(xdotool getwindowgeometry --shell "$dialog")"
      # The graph lies inside the dialog's margin, its ramp 12 pixels wide at the left: press on
      # the straight line a quarter of the way and drag it up.
      gx=$((X + 11 + 12)) gy=$((Y + 11))
      xdotool mousemove $((gx + 60)) $((gy + 120)) mousedown 1
      for step in 110 100 90 80 70 64; do
        xdotool mousemove $((gx + 60)) $((gy + step))
        sleep 0.1
      done
      xdotool mouseup 1
      sleep 1.5
      shot curves
      xdotool key Escape
      ;;
  esac
  sleep 0.5
  stop_zelvo
done
