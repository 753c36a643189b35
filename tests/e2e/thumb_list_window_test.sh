#!/usr/bin/env bash
# The thumbnail list of the real viewer on the bundled sample under Xvfb: "Don`t use thumbnail"
# is chosen in the list at the right (a click on the list, then the Down key) and the holes of
# the damaged picture show the hole pattern; Up chooses the thumbnail again and it fills them.
# Usage: thumb_list_window_test.sh VIEWER CLI SAMPLE
VIEWER=$1 CLI=$2 SAMPLE=$3
source "$(dirname "$0")/xvfb_session.sh"

source "$(dirname "$0")/sample_compare.sh"

e2e_start_viewer "sample-damaged.jpg - Vantrelle viewer" "$SAMPLE"
xdotool windowsize "$E2E_WINDOW" 760 520
echo "The thumbnail chosen when the file opens:"
e2e_settled_shot "$E2E_TMP/start.png"
compare "$E2E_TMP/start.png"

echo "\"Don\`t use thumbnail\" chosen in the list:"
xdotool mousemove --window "$E2E_WINDOW" 660 100 click 1 key Down
e2e_settled_shot "$E2E_TMP/none-chosen.png"
compare --box "$BOX" --checker "$E2E_TMP/none-chosen.png"  # the holes are no longer colourful

echo "The thumbnail chosen again:"
xdotool key Up
e2e_settled_shot "$E2E_TMP/again.png"
compare "$E2E_TMP/again.png"
