#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (fuzz/CMakeLists.txt) and runs each one for
# FUZZ_SECONDS seconds (default 60) on a working copy of its corpus in fuzz/corpus/. Exits 1
# when any target finds an input that crashes, leaks, hangs (over 10 s) or takes over 2 GB;
# such inputs are left in build/fuzz/findings/ to be added to the corpus, where the tests
# replay every file. Prints executions, corpus growth and findings per target. Exits 2 when the
# targets cannot be built, which is a fault of the tree, not a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=build/fuzz
targets=(fuzz_bmp fuzz_jpeg fuzz_png fuzz_tiff fuzz_gif fuzz_zld)
# Line tables are all a finding's stack trace needs.
if ! CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only -DNDEBUG" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only -DNDEBUG" \
    -DZELVO_TESTS=OFF -DZELVO_BENCH=OFF >/dev/null ||
  ! cmake --build "$build" --target "${targets[@]}"; then
  echo "fuzz: the targets did not build" >&2
  exit 2
fi
findings=$build/findings
rm -rf "$findings" "$build/work"
mkdir -p "$findings"
export QT_QPA_PLATFORM=offscreen
status=0
for target in "${targets[@]}"; do
  format=${target#fuzz_}
  work=$build/work/$format
  mkdir -p "$work"
  log=$build/$target.log
  # New inputs go to the first folder, so the corpus in the tree is only read.
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$findings/$target-" -print_final_stats=1 "$work" "fuzz/corpus/$format" \
      >"$log" 2>&1; then
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  found=$(find "$findings" -name "$target-*" | wc -l)
  echo "$target: $runs executions in ${seconds} s, $(find "$work" -type f | wc -l) new corpus inputs, $found findings"
  if [ "$found" -ne 0 ]; then
    status=1
    tail -n 40 "$log"
  fi
done
exit $status
