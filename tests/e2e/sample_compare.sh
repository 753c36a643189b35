# Sourced by the end-to-end tests after xvfb_session.sh, with CLI and SAMPLE set: what the
# screenshots of the sample are compared with (the picture composed with its thumbnail, its hole
# mask, and libjpeg's decoding), and compare(), which checks a screenshot against them.
"$CLI" render "$SAMPLE" -o "$E2E_TMP/auto.png" --background auto
"$CLI" render "$SAMPLE" -o "$E2E_TMP/none.png" --background none
djpeg -bmp -outfile "$E2E_TMP/djpeg.bmp" "$SAMPLE" 2>/dev/null || true

# Compares a screenshot; remembers where the picture was found in BOX.
compare() {
  local out
  out=$(/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/compare_shot.py" "$@" "$E2E_TMP/auto.png" "$E2E_TMP/none.png" \
    "$E2E_TMP/djpeg.bmp") || { echo "$out"; return 1; }
  echo "$out" | grep -v '^BOX '
  BOX=$(echo "$out" | sed -n 's/^BOX //p')
}

