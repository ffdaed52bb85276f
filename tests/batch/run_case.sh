#!/usr/bin/env bash
# Runs one end-to-end case: ZELVO_BATCH CASE_DIR
#   CASE_DIR/script.zb        the script, run in a fresh work folder
#   CASE_DIR/input/           copied into the work folder first
#   CASE_DIR/config/          copied into the settings folder ($ZELVO_CONFIG_DIR, config/)
#   CASE_DIR/expected.status  the exit status (default 0)
#   CASE_DIR/expected.out     standard output, compared exactly when present
#   CASE_DIR/expected.err     standard error, compared exactly when present
#   CASE_DIR/expected/NAME    files the script must leave in the work folder, byte for byte
#   CASE_DIR/check.sh         run in the work folder afterwards; must exit 0
set -u
batch=$(realpath "$1")
case_dir=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scratch" "$work/config"
# Settings files (.qinf) go to the case's own folder, never the user's.
export ZELVO_CONFIG_DIR="$work/config"
[ -d "$case_dir/input" ] && cp -r "$case_dir/input/." "$work/"
[ -d "$case_dir/config" ] && cp -r "$case_dir/config/." "$work/config/"
cd "$work"
"$batch" "$case_dir/script.zb" --temp-dir "$work/scratch" >actual.out 2>actual.err
status=$?
fail=0
want_status=0
[ -f "$case_dir/expected.status" ] && want_status=$(cat "$case_dir/expected.status")
if [ "$status" != "$want_status" ]; then
  echo "exit status $status, expected $want_status"; fail=1
fi
for stream in out err; do
  if [ -f "$case_dir/expected.$stream" ] && ! diff -u "$case_dir/expected.$stream" "actual.$stream"; then
    echo "standard $stream differs"; fail=1
  fi
done
if [ -d "$case_dir/expected" ]; then
  for f in "$case_dir/expected"/*; do
    name=$(basename "$f")
    if ! cmp "$f" "$work/$name"; then echo "$name differs"; fail=1; fi
  done
fi
if [ -f "$case_dir/check.sh" ] && ! bash "$case_dir/check.sh"; then
  echo "check.sh failed"; fail=1
fi
if [ $fail -ne 0 ]; then
  echo "--- stdout"; cat actual.out; echo "--- stderr"; cat actual.err
fi
exit $fail
