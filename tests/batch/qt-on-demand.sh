#!/usr/bin/env bash
# Qt is loaded only by the commands that draw text or curves or print: ZELVO_BATCH
# Each row runs one script and says whether Qt's libraries may be loaded by the end of it; the
# dynamic loader's own record (LD_DEBUG=files) tells which were. A row that wants Qt also checks
# that its drawing left ink.
set -u
batch=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELVO_CONFIG_DIR="$work/config"
mkdir -p "$ZELVO_CONFIG_DIR"
cd "$work"

# name|commands (; between them)|qt: loaded or none
cases=(
  "empty||none"
  "pixels|new 64 48; select rect 4 4 40 30; adjust invert; save out.bmp; close|none"
  "text|new 120 60; text 4 4 \"Zelvo\" size=30; layer rasterize; info|loaded"
  "curve|new 64 48; curve 4,4 60,4 60,44 4,44 closed filled=1; layer rasterize; info|loaded"
)
fail=0
for row in "${cases[@]}"; do
  IFS='|' read -r name commands want <<<"$row"
  script=$(printf '%s' "$commands" | tr ';' '\n' | sed 's/^ *//')
  log="$work/$name.log"
  printf '%s\n' "$script" | LD_DEBUG=files LD_DEBUG_OUTPUT="$work/$name.ld" "$batch" - --temp-dir "$work" >"$log" 2>&1
  status=$?
  if [ $status -ne 0 ]; then
    echo "$name: zelvo-batch failed ($status)"; cat "$log"; fail=1; continue
  fi
  if cat "$work/$name.ld".* | grep -q 'file=.*libQt6Gui'; then got=loaded; else got=none; fi
  if [ "$got" != "$want" ]; then
    echo "$name: Qt $got, expected $want"; fail=1
  fi
  # Rasterized, a text or curve layer with ink is a pixel layer; without ink it is a null one.
  if [ "$want" = loaded ] && ! grep -q '^layer 2 pixel ' "$log"; then
    echo "$name: no ink drawn"; cat "$log"; fail=1
  fi
  rm -f "$work/$name.ld".*
done
exit $fail
