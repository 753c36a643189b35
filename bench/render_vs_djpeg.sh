#!/usr/bin/env bash
# Full decode + render of a 24-megapixel photo-like image: vantrelle-cli render against djpeg,
# on the same files in the same run. Prints per file the median wall time of each over RUNS
# runs, the ratio ours/theirs, and the peak memory (maximum resident set) of both.
#
#   bench/render_vs_djpeg.sh [path/to/vantrelle-cli]
#
# Environment: RUNS (default 7), VT_BENCH_DIR (where the generated images are kept between
# runs; default /tmp/vt-bench). The images are generated once: ImageMagick's plasma fractal with
# Gaussian noise (realistic entropy, about 2.7 bits per pixel at quality 92), encoded by cjpeg
# as baseline 4:2:0 q92, progressive 4:2:0 q92 and baseline 4:2:0 q92 with one restart
# marker per MCU row.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/src/app/vantrelle-cli}"
runs="${RUNS:-7}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
convert=/usr/bin/convert

for tool in "$cli" cjpeg djpeg "$convert" /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

mkdir -p "$dir"
if [ ! -s "$dir/photo.ppm" ]; then
  echo "generating a 6000x4000 photo-like image in $dir ..." >&2
  "$convert" -size 6000x4000 -seed 42 plasma:fractal -blur 0x1 -attenuate 0.4 +noise Gaussian \
    -depth 8 "$dir/photo.ppm.tmp"
  mv "$dir/photo.ppm.tmp" "$dir/photo.ppm"
fi
[ -s "$dir/baseline.jpg" ] || cjpeg -quality 92 -sample 2x2 -outfile "$dir/baseline.jpg" "$dir/photo.ppm"
[ -s "$dir/progressive.jpg" ] || cjpeg -quality 92 -sample 2x2 -progressive -outfile "$dir/progressive.jpg" "$dir/photo.ppm"
[ -s "$dir/restart.jpg" ] || cjpeg -quality 92 -sample 2x2 -restart 1 -outfile "$dir/restart.jpg" "$dir/photo.ppm"

# Wall time of one command in milliseconds.
time_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

peak_kb() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }

printf '%-16s %10s %10s %8s %12s %12s\n' file ours_ms djpeg_ms ratio ours_peakMB djpeg_peakMB
for name in baseline progressive restart; do
  f="$dir/$name.jpg"
  ours=() theirs=()
  # Alternate the two so that both see the same machine load.
  for ((i = 0; i < runs; i++)); do
    ours+=("$(time_ms "$cli" render "$f" --format bmp -o /dev/null)")
    theirs+=("$(time_ms djpeg -bmp -outfile /dev/null "$f")")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  t=$(printf '%s\n' "${theirs[@]}" | median)
  po=$(peak_kb "$cli" render "$f" --format bmp -o /dev/null)
  pt=$(peak_kb djpeg -bmp -outfile /dev/null "$f")
  printf '%-16s %10d %10d %8s %12d %12d\n' "$name" "$o" "$t" \
    "$(awk -v a="$o" -v b="$t" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" $((po / 1024)) $((pt / 1024))
done
