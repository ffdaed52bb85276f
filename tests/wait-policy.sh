#!/usr/bin/env bash
# The programs' idle pass threads wait passively unless the user chose a policy, and neither
# program starts itself again for it: `zelvo` starts the editor once with the policy set, and
# zelvo-batch has it set before libgomp reads it. libgomp shows its settings (OMP_DISPLAY_ENV)
# each time it is loaded, so a program that started itself again shows them twice.
#   wait-policy.sh ZELVO ZELVO-BATCH
set -u
launcher=$(realpath "$1")
batch=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen ZELVO_CONFIG_DIR="$work/config" XDG_RUNTIME_DIR="$work"
mkdir -p "$ZELVO_CONFIG_DIR"
fail=0
# program|its arguments|the status and words that show it ran|policy set by the user|the
# setting libgomp must show
cases=(
  "$launcher|--no-such-option|2|Unknown option 'no-such-option'||GOMP_SPINCOUNT = '0'"
  "$launcher|--no-such-option|2|Unknown option 'no-such-option'|active|OMP_WAIT_POLICY = 'ACTIVE'"
  "$batch|--help|0|usage: zelvo-batch||GOMP_SPINCOUNT = '0'"
  "$batch|--help|0|usage: zelvo-batch|active|OMP_WAIT_POLICY = 'ACTIVE'"
)
for row in "${cases[@]}"; do
  IFS='|' read -r program args status words policy want <<<"$row"
  name="$(basename "$program") ${policy:-without a policy}"
  if [ -n "$policy" ]; then
    out=$(OMP_WAIT_POLICY=$policy OMP_DISPLAY_ENV=verbose "$program" $args 2>&1)
  else
    out=$(env -u OMP_WAIT_POLICY OMP_DISPLAY_ENV=verbose "$program" $args 2>&1)
  fi
  got=$?
  shown=$(grep -c 'OPENMP DISPLAY ENVIRONMENT BEGIN' <<<"$out")
  if [ "$got" -ne "$status" ] || ! grep -qF "$words" <<<"$out"; then
    echo "$name: did not run with its arguments (status $got)"; echo "$out"; fail=1
  fi
  if [ "$shown" -ne 1 ]; then echo "$name: OpenMP was loaded $shown times"; fail=1; fi
  if ! grep -qF "$want" <<<"$out"; then echo "$name: libgomp does not show $want"; echo "$out"; fail=1; fi
done
# Without the editor beside it or installed below it, the launcher says so and fails.
cp "$launcher" "$work/zelvo"
out=$("$work/zelvo" 2>&1)
got=$?
if [ "$got" -ne 127 ] || ! grep -q "cannot start the editor ($work/zelvo-editor)" <<<"$out"; then
  echo "a missing editor: status $got, said: $out"; fail=1
fi
exit $fail
