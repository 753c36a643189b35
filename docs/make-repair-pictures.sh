#!/usr/bin/env bash
# Makes the README's before/after pictures of a repair with the damage lab's benchmark
# (bench/realign.sh): a camera-like photo damaged as a card damages it, shown by libjpeg, by the
# default open and with --repair auto, side by side and scaled down.
#   docs/make-repair-pictures.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert=/usr/bin/convert

# side_by_side OUT LABEL1 PNG1 LABEL2 PNG2 ...
side_by_side() {
  local out=$1
  shift
  local args=()
  while [ $# -gt 0 ]; do
    args+=( \( "$2" -resize 30% -gravity north -background white -splice 0x28 -font DejaVu-Sans -pointsize 18 -annotate +0+4 "$1" \) )
    shift 2
  done
  "$convert" "${args[@]}" -bordercolor white -border 6 +append -quality 88 "$out"
}

# Restart intervals of one MCU, a 4 KiB cluster missing: some sixty intervals lost.
name=p1-1mcu-delete-s1
"$here/../bench/realign.sh" "$build" --only "$name" --save "$work/restart" >/dev/null
side_by_side "$here/repair-restart.jpg" \
  "intact" "$work/restart/$name-intact.png" \
  "placed by marker number (libjpeg)" "$work/restart/$name-libjpeg.png" \
  "placed by counting (default)" "$work/restart/$name-ours.png"

# No restart markers, a 4 KiB cluster zeroed.
name=p1-none-zero-s1
"$here/../bench/realign.sh" "$build" --only "$name" --save "$work/plain" >/dev/null
"$here/../bench/realign.sh" "$build" --only "$name" --repair auto --save "$work/auto" >/dev/null
side_by_side "$here/repair-auto.jpg" \
  "intact" "$work/plain/$name-intact.png" \
  "default open" "$work/plain/$name-ours.png" \
  "--repair auto" "$work/auto/$name-ours.png"
echo "$here/repair-restart.jpg $here/repair-auto.jpg"
