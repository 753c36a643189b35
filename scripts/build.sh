#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with --sanitize, build-tsan/ with --tsan).
# Used by run.sh and test.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build"
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$root/build-asan"
  extra=(-DVT_SANITIZE=ON -DVT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
elif [ "${1:-}" = "--tsan" ]; then
  dir="$root/build-tsan"
  extra=(-DVT_SANITIZE_THREAD=ON -DVT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
cmake -S "$root" -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
echo "$dir"
