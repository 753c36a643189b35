#!/usr/bin/env bash
# Fragmented photos on a card image: vantrelle-cli's deep scan with the search for fragmented
# photos against the same scan without it (--fragments none), in the same run, on a generated
# card image of 4 KiB clusters: PHOTOS cjpeg photos (plasma pictures, 1600x1200 to 2400x1800),
# every third one cut in two or three pieces with other photos' clusters and junk between them,
# the rest of the card junk and zeros. Prints the median wall time of each over RUNS runs, their
# ratio (the goal: at most 5x), and how many photos each gives back whole (its extracted bytes
# equal the photo's; `restore --deep --all --extract`).
#
#   bench/fragments_card.sh [path/to/vantrelle-cli]
#
# Environment: RUNS (default 3), VT_BENCH_DIR (default /tmp/vt-bench), CARD_MB (default 1024),
# PHOTOS (default 100).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
cli="${1:-$here/../build/src/app/vantrelle-cli}"
runs="${RUNS:-3}"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}"
mb="${CARD_MB:-1024}"
photos="${PHOTOS:-100}"
. "$here/photo.sh"
bench_require "$cli" cjpeg "$convert" /usr/bin/python3

mkdir -p "$dir/frag-photos"
card="$dir/frag-card-${mb}mb-${photos}.img"
if [ ! -s "$card" ]; then
  echo "generating a ${mb} MB card image with $photos photos in $dir ..." >&2
  sizes=(1600x1200 2000x1500 2400x1800)
  for ((i = 0; i < photos; i++)); do
    f="$dir/frag-photos/p$i.jpg"
    [ -s "$f" ] && continue
    "$convert" -size "${sizes[$((i % 3))]}" -seed "$((i + 101))" plasma:fractal -depth 8 "$dir/frag-photos/p.ppm"
    cjpeg -quality 92 -outfile "$f" "$dir/frag-photos/p.ppm"
  done
  /usr/bin/python3 - "$dir/frag-photos" "$card.tmp" "$mb" "$photos" <<'PY'
import os, random, sys
folder, out, mb, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
C = 4096
random.seed(5)
pics = [open(os.path.join(folder, 'p%d.jpg' % i), 'rb').read() for i in range(count)]
def clusters(b): return [b[i:i + C] + b'\0' * (C - len(b[i:i + C])) for i in range(0, len(b), C)]
def junk(n): return bytes(random.getrandbits(8) & 0xFE for _ in range(n * C))  # no FF: no markers
slots = []   # runs of clusters in card order
pending = [] # later pieces of fragmented photos, placed after a few more photos
for i, p in enumerate(pics):
    cl = clusters(p)
    if i % 3 == 2 and len(cl) > 8:
        cuts = sorted(random.sample(range(2, len(cl) - 1), random.choice((1, 2))))
        parts = [cl[a:b] for a, b in zip([0] + cuts, cuts + [len(cl)])]
        slots.append(parts[0])
        for part in parts[1:]: pending.append((i + random.randint(1, 3), part))
    else:
        slots.append(cl)
    slots.append(clusters(junk(random.randint(0, 3))))
    for due, part in [x for x in pending if x[0] <= i]:
        slots.append(part); pending.remove((due, part))
for _, part in pending: slots.append(part)
body = b''.join(b''.join(s) for s in slots)
total = max(mb << 20, len(body) + C)
with open(out, 'wb') as f:
    f.write(body)
    left = total - len(body)
    while left > 0:
        n = min(left, 1 << 20); f.write(b'\0' * n); left -= n
PY
  mv "$card.tmp" "$card"
fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
timeit() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); echo "$e - $s" | bc; }
whole() {  # photos whose bytes come back exactly
  local out="$dir/frag-out"; rm -rf "$out"; mkdir -p "$out"
  "$cli" restore "$card" --deep --all --extract -d "$out" "$@" >/dev/null 2>&1 || true
  (cd "$dir/frag-photos" && md5sum p*.jpg | awk '{print $1}' | sort -u) > "$dir/frag-orig.md5"
  (cd "$out" && md5sum -- *.jpg 2>/dev/null | awk '{print $1}' | sort -u) > "$dir/frag-got.md5"
  comm -12 "$dir/frag-orig.md5" "$dir/frag-got.md5" | wc -l
}
plain=(); follow=()
for ((r = 0; r < runs; r++)); do
  plain+=("$(timeit "$cli" info "$card" --deep --json --fragments none)")
  follow+=("$(timeit "$cli" info "$card" --deep --json)")
done
tp=$(printf '%s\n' "${plain[@]}" | median); tf=$(printf '%s\n' "${follow[@]}" | median)
printf 'deep scan, no fragment search   %8.2f s   whole photos %d of %d\n' "$tp" "$(whole --fragments none)" "$photos"
printf 'deep scan with fragment search  %8.2f s   whole photos %d of %d\n' "$tf" "$(whole)" "$photos"
printf 'ratio %.2fx (goal: at most 5x)\n' "$(echo "$tf / $tp" | bc -l)"
