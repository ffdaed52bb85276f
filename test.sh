#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UBSan and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
zelvo_install_deps
scripts/check-format.sh
# Line tables are all the sanitizers' reports need; full debug information made the build a
# third slower.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
  -DZELVO_SANITIZE=ON >/dev/null
cmake --build build/asan
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build/asan
ctest --output-on-failure -j "$(nproc)" "$@"
