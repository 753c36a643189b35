#!/usr/bin/env bash
# Rebuilds sample-damaged.jpg: a 640x480 picture with an Exif thumbnail, restart markers
# every MCU, a damaged stretch of entropy-coded data in the middle, and its last fifth cut off
# (as a failing card leaves it).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
/usr/bin/convert -size 640x480 -seed 7 plasma:orange-navy -attenuate 0.3 +noise Gaussian "$tmp/p.ppm"
cjpeg -quality 90 -sample 2x2 -restart 1B -outfile "$tmp/full.jpg" "$tmp/p.ppm"
/usr/bin/convert "$tmp/p.ppm" -resize 160x120 "$tmp/t.ppm"
cjpeg -quality 80 -outfile "$tmp/thumb.jpg" "$tmp/t.ppm"
exiftool -q -overwrite_original "-ThumbnailImage<=$tmp/thumb.jpg" -Make=Vantrelle -Model=Sample \
  -DateTimeOriginal="2024:05:17 10:30:00" "$tmp/full.jpg"
python3 - "$tmp/full.jpg" sample-damaged.jpg <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
sos = data.find(b'\xff\xda')
start = sos + 2 + (data[sos+2] << 8 | data[sos+3])
mid = start + (len(data) - start) * 45 // 100
for i in range(mid, mid + 600):        # scramble a stretch, keeping markers intact
    if data[i] != 0xFF and data[i-1] != 0xFF:
        data[i] = (data[i] * 73 + 41) & 0xFF
        if data[i] == 0xFF: data[i] = 0x7F
open(sys.argv[2], 'wb').write(data[:len(data) * 4 // 5])
PY
rm -rf "$tmp"
