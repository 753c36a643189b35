# Sourced by the benchmark scripts: the shared settings and the one generated test photo.
#   bench_photo DIR   makes DIR/photo.ppm once: a 6000x4000 ImageMagick plasma fractal with
#                     Gaussian noise (realistic entropy, about 2.7 bits per pixel at quality 92).
convert=/usr/bin/convert

bench_require() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
  done
}

bench_photo() {
  mkdir -p "$1"
  if [ ! -s "$1/photo.ppm" ]; then
    echo "generating a 6000x4000 photo-like image in $1 ..." >&2
    "$convert" -size 6000x4000 -seed 42 plasma:fractal -blur 0x1 -attenuate 0.4 +noise Gaussian \
      -depth 8 "ppm:$1/photo.ppm.tmp"
    mv "$1/photo.ppm.tmp" "$1/photo.ppm"
  fi
}
