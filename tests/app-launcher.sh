#!/usr/bin/env bash
# `zelvo` starts the editor once, with OpenMP's idle threads waiting passively unless the user
# chose a policy, and hands it its arguments. libgomp shows its settings (OMP_DISPLAY_ENV) each
# time it is loaded, so a program that started itself again shows them twice.
set -u
launcher=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen ZELVO_CONFIG_DIR="$work/config" XDG_RUNTIME_DIR="$work"
mkdir -p "$ZELVO_CONFIG_DIR"
fail=0
# name|policy set by the user|the setting libgomp must show
cases=(
  "no policy||GOMP_SPINCOUNT = '0'"
  "the user's policy|active|OMP_WAIT_POLICY = 'ACTIVE'"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name policy want <<<"$row"
  if [ -n "$policy" ]; then
    out=$(OMP_WAIT_POLICY=$policy OMP_DISPLAY_ENV=verbose "$launcher" --no-such-option 2>&1)
  else
    out=$(env -u OMP_WAIT_POLICY OMP_DISPLAY_ENV=verbose "$launcher" --no-such-option 2>&1)
  fi
  status=$?
  shown=$(grep -c 'OPENMP DISPLAY ENVIRONMENT BEGIN' <<<"$out")
  if [ "$status" -ne 2 ] || ! grep -q "Unknown option 'no-such-option'" <<<"$out"; then
    echo "$name: the editor did not get the arguments (status $status)"; echo "$out"; fail=1
  fi
  if [ "$shown" -ne 1 ]; then echo "$name: OpenMP was loaded $shown times"; fail=1; fi
  if ! grep -qF "$want" <<<"$out"; then echo "$name: libgomp does not show $want"; echo "$out"; fail=1; fi
done
# Without the editor beside it or installed below it, the launcher says so and fails.
cp "$launcher" "$work/zelvo"
out=$("$work/zelvo" 2>&1)
status=$?
if [ "$status" -ne 127 ] || ! grep -q "cannot start the editor ($work/zelvo-editor)" <<<"$out"; then
  echo "a missing editor: status $status, said: $out"; fail=1
fi
exit $fail
