#!/usr/bin/env bash
# Photos given back whole from card images a camera fragmented (bench/fragments_lab.cpp makes
# them: camera-like photos written, deleted and written again into the holes, 4 KiB clusters):
# vantrelle-cli's deep scan (`restore --deep --all --extract`) with and without the fragment
# search, and PhotoRec when it is installed, on the same cards in the same run. A photo counts as
# whole when some extracted file is byte-identical to it. Prints per card and in total: photos on
# the card, how many of them fragmented, and each tool's whole photos (all / fragmented), with
# the wall time of each.
#
#   bench/fragments_lab.sh [BUILD_DIR]
#
# Environment: SEEDS (default "1 2 3"), VT_BENCH_DIR (default /tmp/vt-bench).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
cli="$build/src/app/vantrelle-cli"
lab="$build/bench/fragments_lab"
dir="${VT_BENCH_DIR:-/tmp/vt-bench}/frag-lab"
seeds="${SEEDS:-1 2 3}"
. "$here/photo.sh"
bench_require "$cli" "$lab" cjpeg exiftool md5sum

# whole LIST_DIR OUT_DIR: "all fragmented" photos of the list with a byte-identical file in OUT_DIR.
whole() {
  local list="$1" out="$2" all=0 frag=0 name pieces
  find "$out" -type f -exec md5sum {} + 2>/dev/null | awk '{print $1}' | sort -u >"$out.md5" || true
  while read -r name pieces _; do
    if grep -qx "$(md5sum <"$list/$name.jpg" | awk '{print $1}')" "$out.md5"; then
      all=$((all + 1))
      [ "$pieces" -gt 1 ] && frag=$((frag + 1))
    fi
  done <"$list/list.txt"
  echo "$all $frag"
}
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

printf '%-8s %6s %6s   %-14s %7s   %-14s %7s   %-14s %7s\n' card photos frag "ours" s "ours-nofollow" s photorec s
ta=0 tf=0 tn=0 oa=0 of=0 na=0 nf=0 pa=0 pf=0 have_pr=0
command -v photorec >/dev/null && have_pr=1
for seed in $seeds; do
  card="$dir/card-$seed.img"
  [ -s "$card" ] || "$lab" --dir "$dir" --seed "$seed" >/dev/null
  list="$dir/card-$seed"
  n=$(wc -l <"$list/list.txt")
  f=$(awk '$2 > 1' "$list/list.txt" | wc -l)
  ta=$((ta + n)) tf=$((tf + f))
  run() {  # run OUT args...: extracts into OUT, prints "all frag seconds"
    local out="$1"; shift
    rm -rf "$out" && mkdir -p "$out"
    local s e
    s=$(date +%s.%N)
    "$cli" restore "$card" --deep --all --extract -d "$out" "$@" >/dev/null 2>&1 || true
    e=$(date +%s.%N)
    echo "$(whole "$list" "$out") $(seconds "$s" "$e")"
  }
  read -r a1 f1 s1 < <(run "$dir/out-ours-$seed")
  read -r a2 f2 s2 < <(run "$dir/out-plain-$seed" --fragments none)
  oa=$((oa + a1)) of=$((of + f1)) na=$((na + a2)) nf=$((nf + f2))
  pr="-"
  if [ "$have_pr" = 1 ]; then
    out="$dir/out-photorec-$seed"
    rm -rf "$out" "$out".* && mkdir -p "$out"
    s=$(date +%s.%N)
    (cd "$out" && photorec /log /d "$out/r" /cmd "$card" \
      partition_none,options,paranoid,fileopt,everything,disable,jpg,enable,search >/dev/null 2>&1) || true
    e=$(date +%s.%N)
    read -r a3 f3 < <(whole "$list" "$out")
    pa=$((pa + a3)) pf=$((pf + f3))
    pr="$a3/$n ($f3/$f)   $(seconds "$s" "$e")"
  fi
  printf '%-8s %6d %6d   %-14s %7s   %-14s %7s   %s\n' "card-$seed" "$n" "$f" "$a1/$n ($f1/$f)" "$s1" \
    "$a2/$n ($f2/$f)" "$s2" "$pr"
done
printf '%-8s %6d %6d   %-14s %7s   %-14s %7s   %s\n' total "$ta" "$tf" "$oa/$ta ($of/$tf)" "" "$na/$ta ($nf/$tf)" "" \
  "$([ "$have_pr" = 1 ] && echo "$pa/$ta ($pf/$tf)" || echo "photorec not installed")"
echo "whole photos: all on the card (the fragmented ones); seconds of wall time per card"
