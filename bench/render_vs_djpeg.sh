#!/usr/bin/env bash
# Full decode + render of a 24-megapixel photo-like image: vantrelle-cli render against djpeg,
# on the same files in the same run. Prints per file the median wall time of each over RUNS
# runs and the ratio ours/theirs, the same for CPU time (user + system), the median peak
# memory (maximum resident set) of both and the median count of minor page faults of both
# (first touches of fresh memory; each costs kernel time).
#
#   bench/render_vs_djpeg.sh [path/to/vantrelle-cli]
#
# Environment: RUNS (default 7), VT_BENCH_SINK (where the outputs go; default /dev/shm), VT_BENCH_DIR (where the generated images are kept between
# runs; default /tmp/vt-bench). The images are generated once: ImageMagick's plasma fractal with
# Gaussian noise (realistic entropy, about 2.7 bits per pixel at quality 92), encoded by cjpeg
# as baseline 4:2:0 q92, progressive 4:2:0 q92 and baseline 4:2:0 q92 with one restart
# marker per MCU row.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/src/app/vantrelle-cli}"
runs="${RUNS:-9}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
. "$here/photo.sh"

bench_require "$cli" cjpeg djpeg "$convert" /usr/bin/time awk

bench_photo "$dir"
# Both write a real file (the program refuses devices as targets), in memory so that neither
# pays for a disc: on tmpfs the safe writer's fsync costs nothing.
sink=$(mktemp -d "${VT_BENCH_SINK:-/dev/shm}/vt-render.XXXXXX")
trap 'rm -rf "$sink"' EXIT
[ -s "$dir/baseline.jpg" ] || cjpeg -quality 92 -sample 2x2 -outfile "$dir/baseline.jpg" "$dir/photo.ppm"
[ -s "$dir/progressive.jpg" ] || cjpeg -quality 92 -sample 2x2 -progressive -outfile "$dir/progressive.jpg" "$dir/photo.ppm"
[ -s "$dir/restart.jpg" ] || cjpeg -quality 92 -sample 2x2 -restart 1 -outfile "$dir/restart.jpg" "$dir/photo.ppm"

# One run: "wall_ms cpu_ms peak_kb minor_faults" (cpu = user + system, over all threads).
measure() {
  /usr/bin/time -f '%e %U %S %M %R' "$@" 2>&1 >/dev/null | tail -1 |
    awk '{ printf "%d %d %d %d\n", $1 * 1000, ($2 + $3) * 1000, $4, $5 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

printf '%-12s %9s %9s %6s   %9s %9s %6s   %11s %11s   %11s %12s\n' file ours_ms djpeg_ms ratio \
  ours_cpu djpeg_cpu ratio ours_peakMB djpeg_peakMB ours_faults djpeg_faults
for name in baseline progressive restart; do
  f="$dir/$name.jpg"
  ours=() theirs=()
  # Alternate the two so that both see the same machine load.
  for ((i = 0; i < runs; i++)); do
    ours+=("$(measure "$cli" render "$f" --format bmp -o "$sink/ours.bmp")")
    theirs+=("$(measure djpeg -bmp -outfile "$sink/theirs.bmp" "$f")")
  done
  col() { local n=$1; shift; printf '%s\n' "$@" | awk -v n="$n" '{ print $n }' | median; }
  ow=$(col 1 "${ours[@]}") tw=$(col 1 "${theirs[@]}")
  oc=$(col 2 "${ours[@]}") tc=$(col 2 "${theirs[@]}")
  om=$(col 3 "${ours[@]}") tm=$(col 3 "${theirs[@]}")
  of=$(col 4 "${ours[@]}") tf=$(col 4 "${theirs[@]}")
  printf '%-12s %9d %9d %6s   %9d %9d %6s   %11d %11d   %11d %12d\n' "$name" "$ow" "$tw" "$(ratio "$ow" "$tw")" \
    "$oc" "$tc" "$(ratio "$oc" "$tc")" $((om / 1024)) $((tm / 1024)) "$of" "$tf"
done
echo "medians of $runs runs each; wall ratio is the figure of merit, cpu ratio shows the work done"
