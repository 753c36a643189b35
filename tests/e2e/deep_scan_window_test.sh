#!/usr/bin/env bash
# File > Open with deep scan... in the real viewer under Xvfb, on a card-image-like file: junk,
# a small photo, junk, the bundled sample, junk. The list of found images appears with the
# sample (the largest decoded area) chosen; Enter shows it, with its holes filled from its
# thumbnail as when the sample is opened alone; File > Found images... brings the list back and
# the small photo chosen there replaces it. The caption names the card file and the offset of
# the picture shown.
# Usage: deep_scan_window_test.sh VIEWER CLI SAMPLE
VIEWER=$1 CLI=$2 SAMPLE=$3
source "$(dirname "$0")/xvfb_session.sh"

source "$(dirname "$0")/sample_compare.sh"

CARD="$E2E_TMP/card.img"
convert -size 200x150 gradient:yellow-green "$E2E_TMP/small.ppm"
cjpeg -quality 85 "$E2E_TMP/small.ppm" >"$E2E_TMP/small.jpg"
/usr/bin/python3 - "$CARD" "$E2E_TMP/small.jpg" "$SAMPLE" <<'PY'
import random, sys
random.seed(14)
junk = lambda n: bytes(random.choice(range(255)) for _ in range(n))  # no FF byte
with open(sys.argv[1], "wb") as out:
    out.write(junk(3000) + open(sys.argv[2], "rb").read() + junk(1234) + open(sys.argv[3], "rb").read() + junk(777))
PY


e2e_start_viewer "Vantrelle viewer"
xdotool windowsize "$E2E_WINDOW" 760 520
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool key ctrl+shift+o
window "Open with deep scan" >/dev/null
xdotool key ctrl+a
xdotool type --delay 20 "$CARD"
xdotool key Return
gone "Open with deep scan"
LIST=$(window "Found images")
import -window "$LIST" "$E2E_TMP/list.png"
echo "The list of found images appeared"
xdotool key Return
window "card.img @0x[0-9A-F]+ - Vantrelle viewer" >/dev/null

echo "The sample, chosen by default:"
e2e_settled_shot "$E2E_TMP/sample.png"
compare "$E2E_TMP/sample.png"

echo "The small photo, chosen from the list again:"
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool key ctrl+shift+l
window "Found images" >/dev/null
xdotool key Up Return
sleep 1
e2e_settled_shot "$E2E_TMP/small.png"
/usr/bin/python3 - "$E2E_TMP/small.png" <<'PY' || exit 1
import sys
from PIL import Image
shot = Image.open(sys.argv[1]).convert("RGB")
# The 200 x 150 gradient lies centred in the image view (left of the 200-pixel thumbnail list):
# yellow at its top, green at its bottom, and no colourful sample around it.
w, h = shot.size
view = (w - 200) // 2
top, bottom = shot.getpixel((view, h // 2 - 40)), shot.getpixel((view, h // 2 + 60))
print("top", top, "bottom", bottom)
ok = top[0] > 180 and top[1] > 180 and top[2] < 90 and bottom[0] < 90 and bottom[1] > 90 and bottom[2] < 90
sys.exit(0 if ok else 1)
PY
# The small photo starts at byte 3000.
xdotool search --name "^card.img @0x00000BB8 - Vantrelle viewer$" >/dev/null || { echo "the caption did not follow"; exit 1; }
echo "passed"
