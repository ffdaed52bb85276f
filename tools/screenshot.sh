#!/usr/bin/env bash
# Usage: tools/screenshot.sh IMAGE OUT.png
# Starts zelvo under a virtual X server with IMAGE open and writes a PNG of the screen (the main
# window with its palettes), for reviewing the look.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 IMAGE OUT.png" >&2
  exit 2
fi
image=$(realpath "$1")
out=$(realpath -m "$2")
cd "$(dirname "$0")/.."
. scripts/deps.sh
# The virtual display is needed here only, not by the builds or the tests.
zelvo_install_deps xvfb xauth
build="${ZELVO_BUILD_DIR:-build/release}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target zelvo
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ZELVO_CONFIG_DIR="$tmp/config" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build"/src/app/zelvo --no-splash --temp-dir "$tmp" --screenshot "$out" "$image"
echo "wrote $out"
