#!/usr/bin/env bash
# The repair workbench's response times on a 24-megapixel photo (baseline 4:2:0, an Exif
# thumbnail, one 4 KB cluster in the middle of its data zeroed): each MCU edit and repair with
# the view's new screen picture at 1280 x 800, and its undo, against libjpeg-turbo decoding the
# same file (djpeg to /dev/null) in the same run. Prints the table and the peer's time.
#
#   bench/mcu_edit.sh [path/to/mcu_edit_bench]
#
# Environment: VT_BENCH_DIR (default /tmp/vt-bench, shared with the other benchmarks).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="${1:-$here/../build/bench/mcu_edit_bench}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
. "$here/photo.sh"
bench_require "$bin" cjpeg djpeg exiftool "$convert"

bench_photo "$dir"
[ -s "$dir/baseline.jpg" ] || cjpeg -quality 92 -sample 2x2 -outfile "$dir/baseline.jpg" "$dir/photo.ppm"
if [ ! -s "$dir/camera-zeroed.jpg" ]; then
  "$convert" "$dir/photo.ppm" -resize 160x120 "$dir/thumb.ppm"
  cjpeg -quality 85 -outfile "$dir/thumb.jpg" "$dir/thumb.ppm"
  cp "$dir/baseline.jpg" "$dir/camera-zeroed.jpg"
  exiftool -q -overwrite_original "-ThumbnailImage<=$dir/thumb.jpg" "$dir/camera-zeroed.jpg"
  size=$(stat -c %s "$dir/camera-zeroed.jpg")
  dd if=/dev/zero of="$dir/camera-zeroed.jpg" bs=4096 seek=$((size / 2 / 4096)) count=1 conv=notrunc status=none
fi
"$bin" "$dir/camera-zeroed.jpg"
start=$(date +%s%N)
djpeg -outfile /dev/null "$dir/baseline.jpg"
echo "libjpeg-turbo djpeg decode of the intact photo: $(( ($(date +%s%N) - start) / 1000000 )) ms"
