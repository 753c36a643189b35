#!/usr/bin/env bash
# The real viewer on the bundled sample under Xvfb: its caption, and screenshots in which the
# holes of the damaged picture show the thumbnail (close to what `vantrelle-cli render
# --background auto` composes) while the decoded part matches libjpeg's djpeg; at full size and
# fitted into a smaller window.
# Usage: viewer_window_test.sh VIEWER CLI SAMPLE
VIEWER=$1 CLI=$2 SAMPLE=$3
source "$(dirname "$0")/xvfb_session.sh"

source "$(dirname "$0")/sample_compare.sh"

e2e_start_viewer "sample-damaged.jpg - Vantrelle viewer" "$SAMPLE"

echo "At full size:"
xdotool windowsize "$E2E_WINDOW" 1100 720
e2e_settled_shot "$E2E_TMP/full.png"  # the quick picture, then the resizer's smooth one
compare "$E2E_TMP/full.png"

echo "Fitted into a smaller window:"
xdotool windowsize "$E2E_WINDOW" 760 520
e2e_settled_shot "$E2E_TMP/small.png"
compare "$E2E_TMP/small.png"

