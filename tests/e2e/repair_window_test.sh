#!/usr/bin/env bash
# The repair workbench in the real viewer under Xvfb, driven by keys as a user would: a photo
# without restart markers and with an Exif thumbnail, one 4 KB cluster of its data zeroed, is
# opened; Ctrl+E switches Repair Mode on, Delete clears an MCU and Ctrl+Z takes it back,
# Ctrl+Shift+R realigns, Ctrl+Z undoes the realignment and File > Save As (Ctrl+S) writes the
# photo as it was, Ctrl+Shift+Z redoes it and a second save writes the repaired photo. libjpeg
# reads both without a warning; the first is what the unrepaired restore writes, the second
# shows most of the picture right (repair_compare.py).
# Usage: repair_window_test.sh VIEWER CLI SAMPLE
VIEWER=$1 CLI=$2
source "$(dirname "$0")/xvfb_session.sh"
command -v exiftool >/dev/null || { echo "exiftool is missing: skipped"; exit 77; }

intact="$E2E_TMP/intact.jpg"
photo="$E2E_TMP/photo.jpg"
convert -size 800x600 -seed 11 plasma:fractal -blur 0x1 "$E2E_TMP/scene.ppm"
cjpeg -quality 92 -sample 2x2 -outfile "$intact" "$E2E_TMP/scene.ppm"
convert "$E2E_TMP/scene.ppm" -resize 160x120 "$E2E_TMP/thumb.ppm"
cjpeg -quality 90 -outfile "$E2E_TMP/thumb.jpg" "$E2E_TMP/thumb.ppm"
exiftool -q -overwrite_original "-ThumbnailImage<=$E2E_TMP/thumb.jpg" "$intact"
# One cluster in the middle of the file (inside the picture's data) reads as zeros.
size=$(stat -c %s "$intact")
cluster=$(( size / 2 / 4096 ))
cp "$intact" "$photo"
dd if=/dev/zero of="$photo" bs=4096 seek="$cluster" count=1 conv=notrunc status=none
"$CLI" restore "$photo" -o "$E2E_TMP/unrepaired.jpg"

e2e_start_viewer "photo.jpg - Vantrelle viewer" "$photo"
xdotool windowsize "$E2E_WINDOW" 900 700
xdotool windowfocus --sync "$E2E_WINDOW"
sleep 1
# The status bar's long texts do not make the window wider than asked.
width=$(xdotool getwindowgeometry --shell "$E2E_WINDOW" | sed -n 's/^WIDTH=//p')
[ "$width" = 900 ] || { echo "the window is $width pixels wide"; exit 1; }

save_as() {
  xdotool windowfocus --sync "$E2E_WINDOW"
  xdotool key ctrl+s
  window "Save As" >/dev/null
  xdotool key ctrl+a
  xdotool type --delay 20 "$1"
  xdotool key Return
  gone "Save As"
  for _ in $(seq 300); do [ -s "$1.jpg" ] && return 0; sleep 0.2; done
  echo "$1.jpg was not written"; cat "$E2E_TMP/viewer.log"; exit 1
}

echo "Repair Mode on, an MCU cleared and the clearing undone:"
xdotool key ctrl+e
sleep 0.5
xdotool key Right Right Down Delete
sleep 0.5
e2e_shot "$E2E_TMP/cleared.png"
xdotool key ctrl+z
sleep 0.5
echo "Realign Automatically, then Undo; the save shows the photo as opened:"
xdotool key ctrl+shift+r
sleep 2
e2e_settled_shot "$E2E_TMP/realigned.png"  # for a look with E2E_KEEP=1
xdotool key ctrl+z
sleep 1
save_as "$E2E_TMP/undone"
echo "Redo; the save shows the realigned photo:"
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool key ctrl+shift+z
sleep 2
save_as "$E2E_TMP/redone"
/usr/bin/python3 "$(dirname "$0")/repair_compare.py" "$intact" "$E2E_TMP/undone.jpg" "$E2E_TMP/redone.jpg" \
  "$E2E_TMP/unrepaired.jpg" || { echo "the saved photos are not as expected"; exit 1; }
kill -0 "${e2e_pids[-1]}" || { echo "the viewer ended"; exit 1; }
echo "passed"
