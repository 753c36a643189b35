#!/usr/bin/env bash
# Deep scan: vantrelle-cli info --deep over a 1 GB card-image-like file (random junk and runs of
# zeros with photos between them, some with Exif thumbnails) against `cat FILE > /dev/null` on a
# warm cache, in the same run. Prints the median wall time of each over RUNS runs and the speed
# of the scan as a share of cat's (the goal: at least a third), and how many photos it found.
#
#   bench/deep_scan_vs_cat.sh [path/to/vantrelle-cli]
#
# Environment: RUNS (default 5), VT_BENCH_DIR (default /tmp/vt-bench), CARD_MB (default 1024),
# PHOTOS (default 24: photos of 640x480 to 1600x1200 spread over the file).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/src/app/vantrelle-cli}"
runs="${RUNS:-5}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
mb="${CARD_MB:-1024}"
photos="${PHOTOS:-24}"
. "$here/photo.sh"

bench_require "$cli" cjpeg exiftool "$convert" /usr/bin/time /usr/bin/python3

mkdir -p "$dir"
card="$dir/card-${mb}mb-${photos}.img"
if [ ! -s "$card" ]; then
  echo "generating a ${mb} MB card image with $photos photos in $dir ..." >&2
  sizes=(640x480 1024x768 1600x1200 800x600)
  for ((i = 0; i < 4; i++)); do
    "$convert" -size "${sizes[$i]}" -seed "$((i + 7))" plasma:fractal -depth 8 "$dir/card-photo$i.ppm"
    cjpeg -quality 90 -outfile "$dir/card-photo$i.jpg" "$dir/card-photo$i.ppm"
  done
  "$convert" "$dir/card-photo0.ppm" -resize 160x120 "$dir/card-thumb.ppm"
  cjpeg -quality 80 -outfile "$dir/card-thumb.jpg" "$dir/card-thumb.ppm"
  exiftool -q -overwrite_original "-ThumbnailImage<=$dir/card-thumb.jpg" "$dir/card-photo0.jpg" "$dir/card-photo2.jpg"
  /usr/bin/python3 - "$dir" "$card.tmp" "$mb" "$photos" <<'EOF'
import os, random, sys
folder, out, mb, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
pics = [open(os.path.join(folder, 'card-photo%d.jpg' % i), 'rb').read() for i in range(4)]
random.seed(1)
total = mb << 20
gap = max(0, (total - sum(len(pics[i % 4]) for i in range(count)))) // (count + 1)
with open(out, 'wb') as f:
    for i in range(count + 1):
        # Junk between the photos: half random bytes, half zeros (as a half-written card).
        half = gap // 2
        f.write(os.urandom(half))
        f.write(bytes(gap - half))
        if i < count:
            f.write(pics[i % 4])
EOF
  mv "$card.tmp" "$card"
fi

wall_ms() { /usr/bin/time -f '%e' "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%d\n", $1 * 1000 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

cat "$card" > /dev/null  # warm the cache
found=$("$cli" info --deep --json "$card" 2>/dev/null | /usr/bin/python3 -c 'import json, sys; print(len(json.load(sys.stdin)["items"]))')
ours=() theirs=()
for ((i = 0; i < runs; i++)); do
  theirs+=("$(wall_ms sh -c 'cat "$1" > /dev/null' sh "$card")")
  ours+=("$(wall_ms sh -c '"$1" info --deep --json "$2" > /dev/null 2>&1' sh "$cli" "$card")")
done
ow=$(printf '%s\n' "${ours[@]}" | median)
tw=$(printf '%s\n' "${theirs[@]}" | median)
printf 'deep scan of %d MB: ours %d ms, cat %d ms, speed %s of cat'"'"'s (goal: at least 0.33), %sx cat'"'"'s time (goal: at most 3.0), %s of %d photos found (medians of %d runs)\n' \
  "$mb" "$ow" "$tw" "$(awk -v a="$ow" -v b="$tw" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')" \
  "$(awk -v a="$ow" -v b="$tw" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }')" "$found" "$photos" "$runs"
