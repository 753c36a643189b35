#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the normal build, then the
# same suite under AddressSanitizer + UndefinedBehaviorSanitizer (skip it with VT_NO_ASAN=1).
#   scripts/test.sh --tsan   instead builds build-tsan/ with ThreadSanitizer and runs the tests
#                            labelled "threads" (tests/CMakeLists.txt says which those are).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

if [ "${1:-}" = "--tsan" ]; then
  bash "$root/scripts/build.sh" --tsan
  # halt_on_error: a race fails its test instead of scrolling past.
  (cd "$root/build-tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
     ctest --output-on-failure -j "$(nproc)" --timeout 900 -L threads)
  exit 0
fi

bash "$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure -j "$(nproc)" --timeout 600)

if [ "${VT_NO_ASAN:-0}" != "1" ]; then
  bash "$root/scripts/build.sh" --sanitize
  (cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j "$(nproc)" --timeout 900)
fi
