#!/usr/bin/env bash
# The real viewer driven by the keyboard under Xvfb, as a user without a mouse would: Enter in the
# thumbnail list opens the editor, a crop is typed and the picture turned with Alt+R, "Save to
# file..." (Alt+S) writes the edited thumbnail, OK keeps the edit; then Thumbnail > Save as and
# File > Save As (Ctrl+S) write their files, each name typed without an extension. The bitmaps
# must be the turned and cropped 110 x 160 thumbnail, the restored JPEG must read in libjpeg.
# Usage: editor_window_test.sh VIEWER CLI SAMPLE
VIEWER=$1 CLI=$2 SAMPLE=$3
source "$(dirname "$0")/xvfb_session.sh"

photo="$E2E_TMP/photo.jpg"
cp "$SAMPLE" "$photo"
e2e_start_viewer "photo.jpg - Vantrelle viewer" "$photo"
xdotool windowsize "$E2E_WINDOW" 760 520
xdotool windowfocus --sync "$E2E_WINDOW"
sleep 1

# Types a file name into the save dialog that is open and accepts it.
save_as() {
  window "Save As" >/dev/null
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
  xdotool key Return
  gone "Save As"
}
# The save runs after its dialog has closed: waits (up to 60 s, for the sanitizer build) until the
# file is there (it appears whole: the save renames a finished temporary file).
written() {
  for _ in $(seq 300); do
    if [ -s "$1" ]; then return 0; fi
    sleep 0.2
  done
  echo "$1 was not written"; cat "$E2E_TMP/viewer.log"; exit 1
}
size_of() { /usr/bin/python3 -c 'import sys; from PIL import Image; print("%dx%d" % Image.open(sys.argv[1]).size)' "$1"; }

echo "Enter in the list opens the editor; a typed top crop of 10, then a quarter turn:"
xdotool key Return
window "Edit thumbnail" >/dev/null
xdotool key ctrl+a
xdotool type --delay 50 "10"
xdotool key Tab alt+r
sleep 0.5
echo "Save to file... from the editor:"
xdotool key alt+s
save_as "$E2E_TMP/edited"
written "$E2E_TMP/edited.bmp"
[ "$(size_of "$E2E_TMP/edited.bmp")" = 110x160 ] || { echo "edited.bmp: $(size_of "$E2E_TMP/edited.bmp")"; exit 1; }
window "Edit thumbnail" >/dev/null  # the editor stays open after saving
xdotool key Return                  # OK
gone "Edit thumbnail"

echo "Thumbnail > Save as writes the edited thumbnail:"
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool mousemove --window "$E2E_WINDOW" 157 9 click 1  # the Thumbnail menu, after File, Edit and View
sleep 0.5
xdotool key s
save_as "$E2E_TMP/thumb"
written "$E2E_TMP/thumb.bmp"
[ "$(size_of "$E2E_TMP/thumb.bmp")" = 110x160 ] || { echo "thumb.bmp: $(size_of "$E2E_TMP/thumb.bmp")"; exit 1; }
cmp -s "$E2E_TMP/edited.bmp" "$E2E_TMP/thumb.bmp" || { echo "the two bitmaps differ"; exit 1; }

echo "File > Save As (Ctrl+S) writes the restored photo:"
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool key ctrl+s
save_as "$E2E_TMP/restored"
written "$E2E_TMP/restored.jpg"
djpeg -outfile "$E2E_TMP/restored.ppm" "$E2E_TMP/restored.jpg" 2>"$E2E_TMP/djpeg.log" || { cat "$E2E_TMP/djpeg.log"; exit 1; }
[ ! -s "$E2E_TMP/djpeg.log" ] || { echo "libjpeg warns:"; cat "$E2E_TMP/djpeg.log"; exit 1; }
[ "$(size_of "$E2E_TMP/restored.ppm")" = 800x600 ] || { echo "restored: $(size_of "$E2E_TMP/restored.ppm")"; exit 1; }
cmp -s "$SAMPLE" "$photo" || { echo "the open photo was changed"; exit 1; }
kill -0 "${e2e_pids[-1]}" || { echo "the viewer ended"; exit 1; }
echo "passed"
