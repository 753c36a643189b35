#!/usr/bin/env bash
# The real viewer on the bundled sample under Xvfb: its caption, and a screenshot in which the
# holes of the damaged picture show the thumbnail (close to what `vantrelle-cli render
# --background auto` composes) while the decoded part matches libjpeg's djpeg.
# Usage: viewer_window_test.sh VIEWER CLI SAMPLE
VIEWER=$1 CLI=$2 SAMPLE=$3
source "$(dirname "$0")/xvfb_session.sh"

e2e_start_viewer "sample-damaged.jpg - Vantrelle viewer" "$SAMPLE"
xdotool windowsize "$E2E_WINDOW" 900 700
e2e_settled_shot "$E2E_TMP/shot.png"  # the quick picture, then the resizer's smooth one

"$CLI" render "$SAMPLE" -o "$E2E_TMP/auto.png" --background auto
"$CLI" render "$SAMPLE" -o "$E2E_TMP/none.png" --background none
djpeg -bmp -outfile "$E2E_TMP/djpeg.bmp" "$SAMPLE" 2>/dev/null || true

compare() {
  /usr/bin/python3 "$(dirname "$0")/compare_shot.py" "$1" "$E2E_TMP/auto.png" "$E2E_TMP/none.png" \
    "$E2E_TMP/djpeg.bmp"
}
echo "At full size:"
compare "$E2E_TMP/shot.png"

# Smaller than the photo: fitted, first the quick picture, then the smooth one.
xdotool windowsize "$E2E_WINDOW" 560 460
e2e_settled_shot "$E2E_TMP/small.png"
echo "Fitted into a smaller window:"
compare "$E2E_TMP/small.png"
