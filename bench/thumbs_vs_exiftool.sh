#!/usr/bin/env bash
# Thumbnail extraction: vantrelle-cli thumbs -o (every embedded picture found, decoded and
# written) against exiftool -b -ThumbnailImage (the Exif thumbnail's bytes only), on the same
# 24-megapixel file with an Exif thumbnail, in the same run. Prints the median wall time of each
# over RUNS runs, the ratio ours/theirs, and whether both wrote the same thumbnail bytes.
#
#   bench/thumbs_vs_exiftool.sh [path/to/vantrelle-cli]
#
# Environment: RUNS (default 7), VT_BENCH_DIR (default /tmp/vt-bench; shared with the other
# benchmark scripts, which generate the same photo the same way).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/src/app/vantrelle-cli}"
runs="${RUNS:-7}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
. "$here/photo.sh"

bench_require "$cli" cjpeg exiftool "$convert" /usr/bin/time cmp

bench_photo "$dir"
if [ ! -s "$dir/with-thumb.jpg" ]; then
  "$convert" "$dir/photo.ppm" -resize 160x120 "$dir/thumb.ppm"
  cjpeg -quality 85 -outfile "$dir/thumb.jpg" "$dir/thumb.ppm"
  cjpeg -quality 92 -sample 2x2 -outfile "$dir/with-thumb.tmp.jpg" "$dir/photo.ppm"
  exiftool -q -overwrite_original "-ThumbnailImage<=$dir/thumb.jpg" "$dir/with-thumb.tmp.jpg"
  mv "$dir/with-thumb.tmp.jpg" "$dir/with-thumb.jpg"
fi

f="$dir/with-thumb.jpg"
out="$dir/thumbs-out"
rm -rf "$out" && mkdir -p "$out"

wall_ms() { /usr/bin/time -f '%e' "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%d\n", $1 * 1000 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

ours=() theirs=()
for ((i = 0; i < runs; i++)); do
  ours+=("$(wall_ms "$cli" thumbs "$f" -o "$out")")
  theirs+=("$(wall_ms sh -c 'exiftool -b -ThumbnailImage "$1" > "$2"' sh "$f" "$dir/exiftool-thumb.jpg")")
done
ow=$(printf '%s\n' "${ours[@]}" | median)
tw=$(printf '%s\n' "${theirs[@]}" | median)
same=no
for t in "$out"/*-thumb*.jpg; do
  if cmp -s "$t" "$dir/exiftool-thumb.jpg"; then same=yes; fi
done
printf 'thumbs: ours %d ms, exiftool %d ms, ratio %s, same thumbnail bytes: %s (medians of %d runs)\n' \
  "$ow" "$tw" "$(awk -v a="$ow" -v b="$tw" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" "$same" "$runs"
