#!/usr/bin/env bash
# Rebuilds sample-damaged.jpg: an 800x600 picture (colour clouds under a fine grid) with an Exif
# thumbnail, restart markers every 4 MCUs, a stretch of unreadable entropy-coded data in the
# middle (whole restart intervals are lost there) and its last fifth cut off, as a failing card
# leaves it. In the viewer both holes show the thumbnail: smooth where the grid is sharp.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
grid=""
for i in $(seq 20 40 800); do grid="$grid line $i,0 $i,600"; done
for i in $(seq 20 40 600); do grid="$grid line 0,$i 800,$i"; done
/usr/bin/convert -size 800x600 -seed 7 plasma:orange-navy -attenuate 0.3 +noise Gaussian \
  -stroke 'rgba(255,255,255,0.8)' -strokewidth 2 -draw "$grid" \
  -fill none -stroke black -strokewidth 6 -draw "circle 400,300 400,120" "$tmp/p.ppm"
cjpeg -quality 90 -sample 2x2 -restart 4B -outfile "$tmp/full.jpg" "$tmp/p.ppm"
/usr/bin/convert "$tmp/p.ppm" -resize 160x120 "$tmp/t.ppm"
cjpeg -quality 85 -outfile "$tmp/thumb.jpg" "$tmp/t.ppm"
exiftool -q -overwrite_original "-ThumbnailImage<=$tmp/thumb.jpg" -Make=Vantrelle -Model=Sample \
  -DateTimeOriginal="2024:05:17 10:30:00" "$tmp/full.jpg"
/usr/bin/python3 - "$tmp/full.jpg" sample-damaged.jpg <<'PY'
import sys
data = bytes(open(sys.argv[1], 'rb').read())
sos = data.find(b'\xff\xda')
start = sos + 2 + (data[sos + 2] << 8 | data[sos + 3])
# The damage: from 40 % to 46 % of the scan every data byte becomes an all-ones byte (stuffed
# FF 00), which no Huffman code reads; the restart markers in between stay, so decoding picks up
# again at the next one after the stretch.
a = start + (len(data) - start) * 40 // 100
b = start + (len(data) - start) * 46 // 100
out = bytearray(data[:a])
i = a
while i < b:
    if data[i] == 0xFF and 0xD0 <= data[i + 1] <= 0xD7:
        out += data[i:i + 2]
        i += 2
    elif data[i] == 0xFF:
        out += b'\xff\x00'
        i += 2 if data[i + 1] == 0x00 else 1
    else:
        out += b'\xff\x00'
        i += 1
out += data[b:]
open(sys.argv[2], 'wb').write(bytes(out[:len(out) * 4 // 5]))
PY
rm -rf "$tmp"
