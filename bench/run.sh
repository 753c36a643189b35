#!/usr/bin/env bash
# The one benchmark driver: builds the inputs once, runs every row of the performance table with
# ours and the peer alternately (RUNS runs each, 5 by default) and prints one table of medians.
#
#   bench/run.sh [BUILD_DIR]        (default: build/ of this checkout, made by scripts/build.sh)
#
# Columns: ours and peer median wall time (ms), wall ratio ours/peer (the figure of merit; the
# goal is in the last column), median CPU time (user + system, all threads, ms) of both and its
# ratio, and the median peak resident memory (MB) of both. The memory rows compare our peak
# while rendering the 24-megapixel baseline file, and while the viewer opens the camera file,
# with the size of the 32-bit bitmap (96 MB). The viewer rows come from viewer_open_bench, which times itself (no CPU or memory).
# Then the micro-benchmarks (vt_micro_bench) print their own table unless MICRO=0.
#
# Environment: RUNS (default 5), VT_BENCH_DIR (generated inputs, kept between runs; default
# /tmp/vt-bench), VT_BENCH_SINK (outputs; default /dev/shm, so that neither side pays for a
# disc), CARD_MB (deep-scan card image, default 1024 as in the goal; 0 skips the row), MICRO (default 1).
# Generated inputs: bench/photo.sh's 6000 x 4000 photo-like picture, encoded by cjpeg as baseline
# 4:2:0 q92, progressive, and restart-marked (one marker per MCU row) with 5 % of its intervals
# damaged by bench/corrupt_intervals.py (fixed seed); a camera-like copy with an Exif thumbnail.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
cli="$build/src/app/vantrelle-cli"
viewer_bench="$build/bench/viewer_open_bench"
run_once="$build/bench/vt_bench_run_once"
micro="$build/bench/vt_micro_bench"
runs="${RUNS:-5}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
card_mb="${CARD_MB:-1024}"
. "$here/photo.sh"

bench_require "$cli" "$run_once" cjpeg djpeg jpegtran exiftool "$convert" /usr/bin/python3

# ---- inputs (once) ----
bench_photo "$dir"
[ -s "$dir/baseline.jpg" ] || cjpeg -quality 92 -sample 2x2 -outfile "$dir/baseline.jpg" "$dir/photo.ppm"
[ -s "$dir/progressive.jpg" ] || cjpeg -quality 92 -sample 2x2 -progressive -outfile "$dir/progressive.jpg" "$dir/photo.ppm"
[ -s "$dir/restart.jpg" ] || cjpeg -quality 92 -sample 2x2 -restart 1 -outfile "$dir/restart.jpg" "$dir/photo.ppm"
[ -s "$dir/restart-corrupt.jpg" ] || /usr/bin/python3 "$here/corrupt_intervals.py" "$dir/restart.jpg" "$dir/restart-corrupt.jpg" 0.05 5
if [ ! -s "$dir/with-thumb.jpg" ]; then
  "$convert" "$dir/photo.ppm" -resize 160x120 "$dir/thumb.ppm"
  cjpeg -quality 85 -outfile "$dir/thumb.jpg" "$dir/thumb.ppm"
  cp "$dir/baseline.jpg" "$dir/with-thumb.tmp.jpg"
  exiftool -q -overwrite_original "-ThumbnailImage<=$dir/thumb.jpg" "$dir/with-thumb.tmp.jpg"
  mv "$dir/with-thumb.tmp.jpg" "$dir/with-thumb.jpg"
fi
# The camera-like file without restart markers with one cluster zeroed in its middle (4 KiB at a
# cluster boundary), for the realignment row.
if [ ! -s "$dir/camera-zeroed.jpg" ]; then
  size=$(stat -c %s "$dir/with-thumb.jpg")
  at=$(( (size / 2) / 4096 * 4096 ))
  /usr/bin/python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); a = int(sys.argv[3]); d[a:a + 4096] = bytes(4096); open(sys.argv[2], "wb").write(d)' \
    "$dir/with-thumb.jpg" "$dir/camera-zeroed.jpg" "$at"
fi
if [ -x "$viewer_bench" ] && [ ! -s "$dir/camera-cut.jpg" ]; then
  size=$(stat -c %s "$dir/with-thumb.jpg")
  head -c $((size * 4 / 5)) "$dir/with-thumb.jpg" >"$dir/camera-cut.jpg"
fi

sink=$(mktemp -d "${VT_BENCH_SINK:-/dev/shm}/vt-bench.XXXXXX")
trap 'rm -rf "$sink"' EXIT
mkdir -p "$sink/thumbs"
cat "$dir"/*.jpg >/dev/null  # warm the cache

# ---- rows ----
rows=()
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
col() { local n=$1; shift; printf '%s\n' "$@" | awk -v n="$n" '{ print $n }' | median; }
# row NAME PEER GOAL OURS_OUT PEER_OUT -- OURS COMMAND... --- PEER COMMAND...
# (*_OUT: where the command's standard output goes)
row() {
  local name=$1 peer=$2 goal=$3 oo=$4 po=$5 i
  shift 6
  local ours=()
  while [ "$1" != "---" ]; do ours+=("$1"); shift; done
  shift
  echo "measuring: $name ($runs runs each)" >&2
  local o=() p=()
  for ((i = 0; i < runs; i++)); do
    o+=("$("$run_once" -o "$oo" "${ours[@]}")")
    p+=("$("$run_once" -o "$po" "$@")")
  done
  local failed
  failed=$(printf '%s\n' "${o[@]}" | awk '$4 != 0' | wc -l)
  [ "$failed" = 0 ] || echo "  note: ours ended with a non-zero status in $failed runs" >&2
  ow=$(col 1 "${o[@]}") oc=$(col 2 "${o[@]}") om=$(col 3 "${o[@]}")
  pw=$(col 1 "${p[@]}") pc=$(col 2 "${p[@]}") pm=$(col 3 "${p[@]}")
  rows+=("$(printf '%-40s %-28s %8.0f %8.0f %6s %8.0f %8.0f %6s %7.0f %7.0f   %s' "$name" "$peer" "$ow" "$pw" \
    "$(ratio "$ow" "$pw")" "$oc" "$pc" "$(ratio "$oc" "$pc")" "$(awk -v k="$om" 'BEGIN{print k/1024}')" \
    "$(awk -v k="$pm" 'BEGIN{print k/1024}')" "$goal")")
  last_peak_kb=$om
}

row "open + full render, baseline 4:2:0" "djpeg -bmp" "<= 0.8 wall, <= 1.3 cpu" /dev/null /dev/null -- \
  "$cli" render "$dir/baseline.jpg" --format bmp -o "$sink/ours.bmp" --- djpeg -bmp -outfile "$sink/peer.bmp" "$dir/baseline.jpg"
render_peak_kb=$last_peak_kb
row "open + full render, progressive" "djpeg -bmp" "<= 0.8 wall" /dev/null /dev/null -- \
  "$cli" render "$dir/progressive.jpg" --format bmp -o "$sink/ours.bmp" --- djpeg -bmp -outfile "$sink/peer.bmp" "$dir/progressive.jpg"
row "open + full render, restart, 5 % corrupt" "djpeg -bmp" "<= 0.8 wall" /dev/null /dev/null -- \
  "$cli" render "$dir/restart-corrupt.jpg" --format bmp -o "$sink/ours.bmp" --- \
  djpeg -bmp -outfile "$sink/peer.bmp" "$dir/restart-corrupt.jpg"
row "restore, intact progressive" "jpegtran (to baseline)" "<= 1.0 wall" /dev/null /dev/null -- \
  "$cli" restore "$dir/progressive.jpg" -o "$sink/ours.jpg" --- jpegtran -outfile "$sink/peer.jpg" "$dir/progressive.jpg"
# The main case: a damaged file, decoded once and written with its holes (it has no thumbnail).
row "restore, restart, 5 % corrupt" "jpegtran (to baseline)" "<= 1.0 wall" /dev/null /dev/null -- \
  "$cli" restore "$dir/restart-corrupt.jpg" -o "$sink/ours-corrupt.jpg" --- \
  jpegtran -outfile "$sink/peer-corrupt.jpg" "$dir/restart-corrupt.jpg"
# The automatic realignment against the render it comes with: the same damaged file rendered
# without it (the goal: at most twice the time).
row "render --repair auto, 1 zeroed cluster" "render without --repair" "<= 2.0 wall" /dev/null /dev/null -- \
  "$cli" render "$dir/camera-zeroed.jpg" --repair auto --format bmp -o "$sink/ours-realigned.bmp" --- \
  "$cli" render "$dir/camera-zeroed.jpg" --format bmp -o "$sink/plain-zeroed.bmp"
row "thumbs -o, camera file" "exiftool -b -ThumbnailImage" "<= 0.1 wall" /dev/null "$sink/peer-thumb.jpg" -- \
  "$cli" thumbs "$dir/with-thumb.jpg" -o "$sink/thumbs" --- exiftool -b -ThumbnailImage "$dir/with-thumb.jpg"
if [ "$card_mb" -gt 0 ]; then
  # The card image of bench/deep_scan_vs_cat.sh, smaller by default so that the row stays cheap.
  card="$dir/card-${card_mb}mb-24.img"
  if [ ! -s "$card" ]; then CARD_MB=$card_mb RUNS=1 VT_BENCH_DIR="$dir" bash "$here/deep_scan_vs_cat.sh" "$cli" >/dev/null; fi
  cat "$card" >/dev/null
  row "deep scan of a ${card_mb} MB card image" "cat FILE > /dev/null" ">= 0.33 speed (<= 3.0 wall)" /dev/null /dev/null -- \
    "$cli" info --deep --json "$card" --- cat "$card"
fi
# The outputs hold what they should: the same pixels as the peer's, the same thumbnail bytes.
same_restore=no same_thumb=no
if djpeg -ppm "$sink/ours.jpg" | cmp -s - <(djpeg -ppm "$sink/peer.jpg"); then same_restore=yes; fi
for t in "$sink"/thumbs/*-thumb*.jpg; do cmp -s "$t" "$sink/peer-thumb.jpg" && same_thumb=yes; done

# ---- table ----
printf '\n%-40s %-28s %8s %8s %6s %8s %8s %6s %7s %7s   %s\n' row peer ours_ms peer_ms ratio ours_cpu peer_cpu \
  ratio ours_MB peer_MB goal
for r in "${rows[@]}"; do echo "$r"; done
printf '%-40s %-28s %8s %8s %6s %8s %8s %6s %7.0f %7.0f   %s\n' "peak memory, 24 MP baseline render" \
  "its 32-bit bitmap (91.6 MB)" - - "$(ratio "$render_peak_kb" 93750)" - - - "$(awk -v k="$render_peak_kb" 'BEGIN{print k/1024}')" \
  91.6 "<= 2.2 x the bitmap"
if [ -x "$viewer_bench" ]; then
  # The peak memory of a viewer open: the open, the document, the first and the Lanczos picture.
  peaks=()
  for ((i = 0; i < runs; i++)); do
    read -r _ _ kb _ < <(QT_QPA_PLATFORM=offscreen "$run_once" "$viewer_bench" ours "$dir/with-thumb.jpg")
    peaks+=("$kb")
  done
  viewer_peak_kb=$(printf '%s\n' "${peaks[@]}" | median)
  printf '%-40s %-28s %8s %8s %6s %8s %8s %6s %7.0f %7.0f   %s\n' "peak memory, viewer open (camera file)" \
    "its 32-bit bitmap (91.6 MB)" - - "$(ratio "$viewer_peak_kb" 93750)" - - - \
    "$(awk -v k="$viewer_peak_kb" 'BEGIN{print k/1024}')" 91.6 "<= 2.0 x the bitmap"
  for name in baseline camera-cut; do
    f="$dir/$name.jpg"
    of=() os=() qf=() qs=()
    for ((i = 0; i < runs; i++)); do
      read -r a b < <(QT_QPA_PLATFORM=offscreen "$viewer_bench" ours "$f" 2>/dev/null)
      of+=("$a") os+=("$b")
      read -r a b < <(QT_QPA_PLATFORM=offscreen "$viewer_bench" qt "$f" 2>/dev/null)
      qf+=("$a") qs+=("$b")
    done
    m() { printf '%s\n' "$@" | median; }
    o1=$(m "${of[@]}") o2=$(m "${os[@]}") q1=$(m "${qf[@]}") q2=$(m "${qs[@]}")
    printf '%-40s %-28s %8.0f %8.0f %6s %8s %8s %6s %7s %7s   %s\n' "viewer: $name to first picture" \
      "Qt QImageReader" "$o1" "$q1" "$(ratio "$o1" "$q1")" - - - - - "<= 1.0 wall"
    printf '%-40s %-28s %8.0f %8.0f %6s %8s %8s %6s %7s %7s   %s\n' "viewer: $name to Lanczos 1280x800" \
      "Qt + smooth scaled()" "$o2" "$q2" "$(ratio "$o2" "$q2")" - - - - - "<= 1.5 wall"
  done
fi
echo "restored file decodes to the same pixels as jpegtran's: $same_restore; thumbnail bytes equal exiftool's: $same_thumb"
echo "medians of $runs runs each, ours and the peer alternately; the machine is shared, so expect noise"

if [ "${MICRO:-1}" != 0 ] && [ -x "$micro" ]; then
  echo
  "$micro" --benchmark_min_time=0.2
fi
