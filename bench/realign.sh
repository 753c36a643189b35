#!/usr/bin/env bash
# The damage lab's table: how much of a damaged camera photo our decoder shows in its place,
# against libjpeg-turbo, MCU by MCU (bench/realign_bench.cpp says how).
#
#   bench/realign.sh [BUILD_DIR] [realign_bench arguments...]
#
# BUILD_DIR defaults to build/ of this checkout (scripts/build.sh). The photos are made once
# into $VT_REALIGN_DIR (default /tmp/vt-realign) and kept for the next runs. Environment:
# VT_REALIGN_PHOTOS (photos, default 3), VT_REALIGN_SEEDS (damaged files per photo, restart
# variant and damage kind, default 3). Examples:
#   bench/realign.sh                                   the table
#   bench/realign.sh build --list                      and one line per damaged file
#   bench/realign.sh build --only p2-4mcu-zero-s1 --save /tmp/vt-realign/look
#   bench/realign.sh build --repair auto               with the automatic realignment
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../build"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build=$1
  shift
fi
bench="$build/bench/realign_bench"
. "$here/photo.sh"
bench_require "$bench" cjpeg exiftool

exec "$bench" --dir "${VT_REALIGN_DIR:-/tmp/vt-realign}" "$@"
