#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with --sanitize). Used by run.sh and test.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build"
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$root/build-asan"
  extra=(-DVT_SANITIZE=ON -DVT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S "$root" -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
echo "$dir"
