#!/usr/bin/env bash
# Crash recovery under SIGKILL: zelvo-batch runs an editing script (a filter, a new layer, a
# text layer, selections, an undo, ...) and is killed at a random moment, or at a fixed point
# inside a journal write; the next run recovers. Every recovered document must equal, byte for
# byte as a saved .zld, the reference run's document at the step the recovery reports; else
# recovery must refuse with a message. Never a crash, never a wrong picture, and nothing left
# in the temporary folder afterwards. Last, a kill between a brush stroke's journal and the
# clearing of its seal must give back the stroke.
#   sigkill.sh ZELVO_BATCH [RUNS] [SEED]
set -u
batch=$(realpath "$1")
runs=${2:-60}
seed=${3:-$(($(date +%s) % 32768))}
RANDOM=$seed
work=$(mktemp -d)
# ZELVO_KEEP_WORK=1 keeps the work folder for a look at a failure.
[ -n "${ZELVO_KEEP_WORK:-}" ] || trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
run=setup
fail() {
  echo "FAIL (seed $seed, run $run): $*"
  [ -n "${ZELVO_KEEP_WORK:-}" ] && echo "kept in $PWD"
  for f in kill.err rec.out rec.err; do [ -s "$f" ] && { echo "--- $f"; tail -5 "$f"; }; done
  exit 1
}
crashed() { grep -qE "AddressSanitizer|runtime error|LeakSanitizer" "$1"; }

# The edits, each with the history step the document shows after it.
steps=(
  "open photo.jpg|1"
  "filter blur 3|2"
  "layer new|3"
  'text 40 60 "Recovered" size=48 color=#204080|4'
  "layer select 1|4"
  "select rect 100 100 700 500|5"
  "adjust invert|6"
  "filter add-noise 30 seed=7|7"
  "history undo|6"
  "adjust brightness-contrast 20 30|8"
  "select none|9"
  "filter sharpen|10"
  "layer opacity 60|11"
  "filter mosaic 4|12"
  "filter blur 14|13"
)

printf 'new 1200 800\nfilter add-noise 80 seed=3\nsave photo.jpg\n' >photo.zb
mkdir -p scratch ref
"$batch" photo.zb --temp-dir scratch >/dev/null 2>setup.err || fail "cannot make the photograph"

# The reference: the same edits, the document saved after each.
: >edit.zb
: >ref.zb
for i in "${!steps[@]}"; do
  cmd=${steps[$i]%|*}
  echo "$cmd" >>edit.zb
  printf '%s\nsave ref/after%d.zld\n' "$cmd" "$i" >>ref.zb
done
"$batch" ref.zb --temp-dir scratch >/dev/null 2>ref.err || fail "the reference run failed: $(cat ref.err)"
# The documents a step may show: a command that records no step (choosing the current layer)
# gives its step a second document.
declare -A ref
for i in "${!steps[@]}"; do
  id=${steps[$i]#*|}
  if [[ ${steps[$i]} == "history undo|"* ]]; then
    # An undo must give back the very document of the step it returns to.
    cmp -s "${ref[$id]##* }" "$work/ref/after$i.zld" || fail "undo to step $id differs from step $id"
    continue
  fi
  ref[$id]="${ref[$id]:-} $work/ref/after$i.zld"
done
matches() {
  local f
  for f in ${ref[$1]:-}; do cmp -s rec.zld "$f" && return 0; done
  return 1
}

# How long an undisturbed run takes, and how long until the photograph is open: the kills
# land anywhere between the two, so most of them interrupt the editing.
ms() { echo $(($(date +%s%N) / 1000000)); }
echo "open photo.jpg" >open.zb
t0=$(ms)
"$batch" open.zb --temp-dir scratch >/dev/null 2>open.err || fail "the open run failed"
opened=$(($(ms) - t0))
t0=$(ms)
"$batch" edit.zb --temp-dir scratch >/dev/null 2>edit.err || fail "the edit run failed: $(cat edit.err)"
span=$(($(ms) - t0))
[ -z "$(ls -A scratch)" ] || fail "a clean run left files behind: $(ls -A scratch)"
first=$((opened * 8 / 10))
((span > first)) || span=$((first + 1))

points=(journal-write journal-rename journal-pins)

# One lane of runs in its own folder; two lanes run side by side. It ends with a line of counts,
# or with the reason it failed.
lane() {
  local lane=$1 count=$2 dir=$work/lane$1
  mkdir -p "$dir" && cd "$dir" && ln -s "$work/photo.jpg" photo.jpg || exit 1
  RANDOM=$((seed + lane * 7919))
  local recovered=0 refused=0 nothing=0 completed=0 status pid point delay id
  for run in $(seq 1 "$count"); do
    run="$lane.$run"
    rm -rf scratch && mkdir scratch
    if ((RANDOM % 4 == 0)); then
      point=${points[$((RANDOM % 3))]}:$((1 + RANDOM % (${#steps[@]} - 1)))
      { ZELVO_CRASH_POINT=$point "$batch" "$work/edit.zb" --temp-dir scratch >/dev/null 2>kill.err; } 2>/dev/null
      status=$?
    else
      delay=$((first + (RANDOM * 32768 + RANDOM) % (span - first)))
      "$batch" "$work/edit.zb" --temp-dir scratch >/dev/null 2>kill.err &
      pid=$!
      sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
      kill -9 "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      status=$?
    fi
    crashed kill.err && fail "the edit run crashed"
    if [ "$status" = 0 ]; then
      completed=$((completed + 1))
      [ -z "$(ls -A scratch)" ] || fail "a clean run left files behind"
      continue
    fi
    [ "$status" = 137 ] || fail "the edit run ended with $status, not by SIGKILL"

    rm -f rec.zld
    printf 'recover\nsave rec.zld\n' | "$batch" - --temp-dir scratch >rec.out 2>rec.err
    status=$?
    crashed rec.err && fail "recovery crashed"
    if grep -q '^recovered: ' rec.out; then
      [ "$status" = 0 ] || fail "recovery reported a document but failed ($status)"
      id=$(sed -n 's/^recovered: photo.jpg at step \([0-9]*\) .*/\1/p' rec.out)
      [ -n "$id" ] && [ -n "${ref[$id]:-}" ] || fail "unexpected recovery: $(cat rec.out)"
      matches "$id" || fail "the document recovered at step $id differs from the reference"
      recovered=$((recovered + 1))
    elif grep -qE 'cannot be recovered|cannot be used' rec.err; then
      refused=$((refused + 1))
    elif grep -q 'There is no work to recover.' rec.err; then
      nothing=$((nothing + 1))
    else
      fail "recovery said nothing clear (status $status)"
    fi
    [ -z "$(ls -A scratch)" ] || fail "recovery left files behind: $(ls -A scratch)"
  done
  echo "$recovered $refused $nothing $completed"
}

half=$((runs / 2))
lane 1 "$half" >"$work/lane1.res" &
lane1=$!
lane 2 $((runs - half)) >"$work/lane2.res" &
lane2=$!
wait $lane1 || { cat "$work/lane1.res"; exit 1; }
wait $lane2 || { cat "$work/lane2.res"; exit 1; }
read -r r1 x1 n1 c1 <"$work/lane1.res"
read -r r2 x2 n2 c2 <"$work/lane2.res"
recovered=$((r1 + r2)) refused=$((x1 + x2)) nothing=$((n1 + n2)) completed=$((c1 + c2))
run=all
echo "seed $seed: $runs runs, killed between ${first} and ${span} ms; recovered $recovered," \
  "refused $refused, nothing journaled yet $nothing, finished before the kill $completed"
# Most kills must land where there is work to recover, or the test proves little.
((recovered * 2 >= runs)) || fail "only $recovered of $runs runs had a document to recover"

# A brush stroke changes its layer in place. Killed once the stroke's journal is in place but
# before its seal is cleared, the run must still give back the stroke, exactly.
run=stroke
cd "$work" && mkdir -p stroke/scratch && cd stroke || exit 1
stroke=('new 300 200' 'adjust invert' 'color fg #ff0000' 'tool brush diameter=10'
  'drag 50,50 100,60' 'adjust invert')
printf '%s\n' "${stroke[@]:0:5}" 'save ref.zld' >ref.zb
"$batch" ref.zb --temp-dir scratch >/dev/null 2>ref.err || fail "the stroke reference failed"
printf '%s\n' "${stroke[@]}" >edit.zb
{ ZELVO_CRASH_POINT=journal-pins:3 "$batch" edit.zb --temp-dir scratch >/dev/null 2>kill.err; } 2>/dev/null
status=$?
[ "$status" = 137 ] || fail "the stroke run ended with $status, not by SIGKILL"
printf 'recover\nsave rec.zld\n' | "$batch" - --temp-dir scratch >rec.out 2>rec.err
grep -q '^recovered: Untitled-1 at step 3 "Brush Tool"' rec.out ||
  fail "the stroke was not recovered: $(cat rec.out rec.err)"
cmp -s rec.zld ref.zld || fail "the recovered stroke differs from the reference"
[ -z "$(ls -A scratch)" ] || fail "recovery left files behind: $(ls -A scratch)"
echo "a kill before the stroke's seal was cleared: recovered exactly"
