#!/usr/bin/env bash
# Restore of a complete 24-megapixel progressive image: vantrelle-cli restore (a baseline file
# with the same coefficients) against jpegtran (also baseline output from progressive input), on
# the same file in the same run. Prints the median wall time of each over RUNS runs, the ratio
# ours/theirs, the peak memory (maximum resident set) of both, and whether both outputs hold
# the same coefficients (djpeg decodes them to identical pixels).
#
#   bench/restore_vs_jpegtran.sh [path/to/vantrelle-cli]
#
# Environment: RUNS (default 7), VT_BENCH_DIR (default /tmp/vt-bench; shared with
# render_vs_djpeg.sh, which generates the same images the same way).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/src/app/vantrelle-cli}"
runs="${RUNS:-7}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
. "$here/photo.sh"

bench_require "$cli" cjpeg djpeg jpegtran "$convert" /usr/bin/time cmp

bench_photo "$dir"
f="$dir/progressive.jpg"
[ -s "$f" ] || cjpeg -quality 92 -sample 2x2 -progressive -outfile "$f" "$dir/photo.ppm"

ours_out="$dir/restore-ours.jpg"
theirs_out="$dir/restore-jpegtran.jpg"

time_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

peak_kb() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }

ours=() theirs=()
# Alternate the two so that both see the same machine load.
for ((i = 0; i < runs; i++)); do
  ours+=("$(time_ms "$cli" restore "$f" -o "$ours_out")")
  theirs+=("$(time_ms jpegtran -outfile "$theirs_out" "$f")")
done
o=$(printf '%s\n' "${ours[@]}" | median)
t=$(printf '%s\n' "${theirs[@]}" | median)
po=$(peak_kb "$cli" restore "$f" -o "$ours_out")
pt=$(peak_kb jpegtran -outfile "$theirs_out" "$f")

same=no
if djpeg -ppm "$ours_out" | cmp -s - <(djpeg -ppm "$theirs_out"); then same=yes; fi

printf '%-16s %10s %12s %8s %12s %14s %10s\n' file ours_ms jpegtran_ms ratio ours_peakMB jpegtran_peakMB same_pixels
printf '%-16s %10d %12d %8s %12d %14d %10s\n' progressive "$o" "$t" \
  "$(awk -v a="$o" -v b="$t" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" $((po / 1024)) $((pt / 1024)) "$same"
printf 'output sizes: ours %d bytes, jpegtran %d bytes\n' "$(stat -c %s "$ours_out")" "$(stat -c %s "$theirs_out")"
