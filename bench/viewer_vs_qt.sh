#!/usr/bin/env bash
# Opening a 24-megapixel photo in the viewer's code path against Qt's QImageReader: the full
# read + smooth QImage::scaled (qt), and the read at a reduced DCT scale with setScaledSize to the
# fitted size as Qt image viewers do it (qt-scaled); ours and theirs alternately, in the same run. Two files: the intact baseline
# photo, and the same photo with an Exif thumbnail and its last fifth cut off (the viewer then
# lays the thumbnail under the missing part). Prints medians and ratios of the time to the first
# picture (against qt-scaled) and to the smooth (Lanczos) picture (against qt) at 1280 x 800.
#
#   bench/viewer_vs_qt.sh [path/to/viewer_open_bench]
#
# Environment: RUNS (default 7), VT_BENCH_DIR (default /tmp/vt-bench, shared with the other
# benchmarks).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="${1:-$here/../build/bench/viewer_open_bench}"
runs="${RUNS:-7}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
. "$here/photo.sh"
bench_require "$bin" cjpeg exiftool "$convert" awk

bench_photo "$dir"
[ -s "$dir/baseline.jpg" ] || cjpeg -quality 92 -sample 2x2 -outfile "$dir/baseline.jpg" "$dir/photo.ppm"
if [ ! -s "$dir/camera-cut.jpg" ]; then
  "$convert" "$dir/photo.ppm" -resize 160x120 "$dir/thumb.ppm"
  cjpeg -quality 85 -outfile "$dir/thumb.jpg" "$dir/thumb.ppm"
  cp "$dir/baseline.jpg" "$dir/camera.jpg"
  exiftool -q -overwrite_original "-ThumbnailImage<=$dir/thumb.jpg" "$dir/camera.jpg"
  size=$(stat -c %s "$dir/camera.jpg")
  head -c $((size * 4 / 5)) "$dir/camera.jpg" >"$dir/camera-cut.jpg"
fi

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

printf '%-12s %10s %10s %6s   %11s %11s %6s\n' file ours_first qts_first ratio ours_smooth qt_smooth ratio
for name in baseline camera-cut; do
  f="$dir/$name.jpg"
  of=() os=() qf=() qs=()
  for ((i = 0; i < runs; i++)); do
    read -r a b < <("$bin" ours "$f")
    of+=("$a") os+=("$b")
    read -r a b < <("$bin" qt-scaled "$f" 2>/dev/null)
    qf+=("$a")
    read -r a b < <("$bin" qt "$f" 2>/dev/null)
    qs+=("$b")
  done
  m() { printf '%s\n' "$@" | median; }
  o1=$(m "${of[@]}") o2=$(m "${os[@]}") q1=$(m "${qf[@]}") q2=$(m "${qs[@]}")
  printf '%-12s %10.0f %10.0f %6s   %11.0f %11.0f %6s\n' "$name" "$o1" "$q1" "$(ratio "$o1" "$q1")" \
    "$o2" "$q2" "$(ratio "$o2" "$q2")"
done
echo "milliseconds, medians of $runs runs each; first picture against QImageReader::setScaledSize, smooth against read + scaled()"
