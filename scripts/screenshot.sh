#!/usr/bin/env bash
# Makes docs/screenshot.png for the README: the viewer on the bundled sample in its own Xvfb
# (the end-to-end tests' session), the window at 900 x 560, reduced to 80 % and 200 colours.
#   scripts/screenshot.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
VIEWER="$build/src/app/vantrelle"
source "$root/tests/e2e/xvfb_session.sh"
e2e_start_viewer "sample-damaged.jpg - Vantrelle viewer" "$root/samples/sample-damaged.jpg"
xdotool windowsize "$E2E_WINDOW" 900 560
e2e_settled_shot "$E2E_TMP/shot.png"
convert "$E2E_TMP/shot.png" -resize 80% -colors 200 -strip "$root/docs/screenshot.png"
echo "$root/docs/screenshot.png"
