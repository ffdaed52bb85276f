#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what the project's .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src bench fuzz tests -name '*.cpp' -o -name '*.h')
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/zelvo-format.$$; then
  grep -m 20 'error:' /tmp/zelvo-format.$$ >&2 || true
  rm -f /tmp/zelvo-format.$$
  echo "Unformatted files: run  clang-format -i FILE...  (scripts/check-format.sh lists them)" >&2
  exit 1
fi
rm -f /tmp/zelvo-format.$$
