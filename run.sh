#!/usr/bin/env bash
# Builds the release configuration and starts Zelvo; `--batch SCRIPT` runs zelvo-batch instead.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
zelvo_install_deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release
if [ "${1:-}" = "--batch" ]; then
  shift
  exec build/release/src/batch/zelvo-batch "$@"
fi
exec build/release/src/app/zelvo "$@"
