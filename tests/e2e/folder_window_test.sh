#!/usr/bin/env bash
# A folder of recovered files in the real viewer under Xvfb: the window opens on the first, Page
# Down goes on in name order with the caption following; a file with junk before its photo gives
# an error box that names it and offers the deep scan, whose button shows the photo.
# Usage: folder_window_test.sh VIEWER CLI SAMPLE
VIEWER=$1 CLI=$2 SAMPLE=$3
source "$(dirname "$0")/xvfb_session.sh"

DIR="$E2E_TMP/recovered"
mkdir -p "$DIR"
cp "$SAMPLE" "$DIR/f1.jpg"
/usr/bin/python3 - "$SAMPLE" "$DIR/f2.jpg" <<'PY'
import sys
open(sys.argv[2], "wb").write(bytes(range(20)) + open(sys.argv[1], "rb").read())
PY
convert -size 120x90 gradient:yellow-green "$E2E_TMP/small.ppm"
cjpeg -quality 85 "$E2E_TMP/small.ppm" >"$DIR/f10.jpg"
echo "not a photo" >"$DIR/f3.txt"

e2e_start_viewer "f1.jpg - Vantrelle viewer" "$DIR/f1.jpg"
xdotool windowsize "$E2E_WINDOW" 760 520
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool key Next
BOX=$(timeout 30 xdotool search --sync --onlyvisible --name "^(Error|vantrelle)$" | head -n 1) || {
  echo "no error box for the junk-prefixed file"; exit 1; }
import -window "$BOX" "$E2E_TMP/box.png"
echo "The error box appeared for f2.jpg"
window "f2.jpg - Vantrelle viewer" >/dev/null  # the caption followed although the open failed
xdotool windowfocus --sync "$BOX"
xdotool key alt+d
gone "(Error|vantrelle)"
sleep 1
e2e_settled_shot "$E2E_TMP/f2.png"
/usr/bin/python3 - "$E2E_TMP/f2.png" <<'PY' || { echo "the deep scan did not show the photo"; exit 1; }
import sys
from PIL import Image
shot = Image.open(sys.argv[1]).convert("RGB")
w, h = shot.size
# The sample is colourful in the middle of the image view; an empty view is a grey checkerboard.
r, g, b = shot.getpixel(((w - 200) // 2, h // 2))
print("middle", (r, g, b))
sys.exit(0 if max(r, g, b) - min(r, g, b) > 40 else 1)
PY
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool key Next
window "f10.jpg - Vantrelle viewer" >/dev/null
echo "Page Down went on to f10.jpg, past f3.txt"
xdotool key Prior
window "f2.jpg - Vantrelle viewer" >/dev/null
echo "passed"
