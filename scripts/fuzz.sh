#!/usr/bin/env bash
# Runs one libFuzzer target for SECONDS of wall time at the lowest priority:
#   scripts/fuzz.sh TARGET SECONDS        (scripts/fuzz.sh --list names the targets)
# Builds build-fuzz/ with clang, ASan and UBSan the first time. The working corpus grows in
# build-fuzz/corpus/TARGET, seeded from tests/data/corpus, the bundled sample and the
# regression inputs in tests/data/fuzz/TARGET; crash, timeout and out-of-memory inputs land in
# build-fuzz/artifacts/TARGET/ (copy each one that a fix cures into tests/data/fuzz/TARGET/ so
# that the test suite replays it). Every round's figures are appended to
# build-fuzz/logs/TARGET.summary: wall and CPU seconds, executions, edges covered, findings.
# VT_FUZZ_JOBS (default 2) sets how many processes run side by side; VT_FUZZ_TIMEOUT (default 20)
# the seconds after which an input counts as a hang (raise it when other work shares the machine:
# libFuzzer measures wall time, and at the lowest priority a busy machine starves the fuzzer).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=(open_path app_segments redecode write_readback bmp_load document_edits load_jpeg restore realign fragments)
if [ "${1:-}" = "--list" ]; then printf '%s\n' "${targets[@]}"; exit 0; fi
if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS   (targets: ${targets[*]})" >&2
  exit 2
fi
target=$1
seconds=$2
jobs=${VT_FUZZ_JOBS:-2}
timeout=${VT_FUZZ_TIMEOUT:-20}
if ! printf '%s\n' "${targets[@]}" | grep -qx "$target"; then
  echo "fuzz.sh: no target \"$target\" (targets: ${targets[*]})" >&2
  exit 2
fi

build="$root/build-fuzz"
if [ ! -f "$build/build.ninja" ]; then
  CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVT_BUILD_FUZZ=ON -DVT_SANITIZE=ON \
    -DVT_BUILD_TESTS=OFF -DVT_BUILD_VIEWER=OFF -DVT_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
nice -n 19 cmake --build "$build" -j 2 --target "fuzz_$target" vantrelle-cli >/dev/null

work="$build/corpus/$target"
seeds="$build/seeds/$target"
artifacts="$build/artifacts/$target"
logs="$build/logs/$target"
mkdir -p "$work" "$seeds" "$artifacts" "$logs"
regressions="$root/tests/data/fuzz/$target"
mkdir -p "$regressions"

# Seeds: the sample files as they are, or turned into what the target reads.
for f in "$root"/tests/data/corpus/*.jp*g "$root"/tests/data/corpus/*.mpo "$root"/samples/*.jpg; do
  [ -f "$f" ] || continue
  name=$(basename "$f")
  case "$target" in
    bmp_load)
      [ -f "$seeds/$name.bmp" ] || "$build/src/app/vantrelle-cli" render "$f" -o "$seeds/$name.bmp" >/dev/null 2>&1 || true
      [ -f "$seeds/$name.24.bmp" ] || djpeg -bmp "$f" > "$seeds/$name.24.bmp" 2>/dev/null || rm -f "$seeds/$name.24.bmp"
      ;;
    app_segments)
      # The run of APPn/COM segments after SOI, behind the option byte.
      [ -f "$seeds/$name.app" ] || python3 - "$f" "$seeds/$name.app" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
pos = 2
while pos + 4 <= len(data) and data[pos] == 0xFF and (0xE0 <= data[pos + 1] <= 0xEF or data[pos + 1] == 0xFE):
    pos += 2 + (data[pos + 2] << 8 | data[pos + 3])
if pos > 2:
    open(sys.argv[2], 'wb').write(b'\x01' + data[2:min(pos, len(data))])
PY
      ;;
    *) cp -n "$f" "$seeds/" ;;
  esac
done

# Rounds until the time is used: a job that finds something ends, the next round goes on
# with the grown corpus.
start=$(date +%s)
round=0
while :; do
  now=$(date +%s)
  left=$((seconds - (now - start)))
  [ "$left" -ge 10 ] || break
  round=$((round + 1))
  before=$(ls "$artifacts" | wc -l)
  t0=$(date +%s)
  (cd "$logs" && rm -f fuzz-*.log &&
   /usr/bin/time -o "$logs/cpu" -f '%U %S' nice -n 19 "$build/fuzz/fuzz_$target" -jobs="$jobs" -workers="$jobs" -max_total_time="$left" \
     -timeout="$timeout" -rss_limit_mb=2048 -malloc_limit_mb=1024 -max_len=1048576 -print_final_stats=1 \
     -artifact_prefix="$artifacts/" "$work" "$seeds" "$regressions" >/dev/null 2>&1 || true)
  t1=$(date +%s)
  execs=0
  edges=0
  for log in "$logs"/fuzz-*.log; do
    [ -f "$log" ] || continue
    e=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    if [ -z "$e" ]; then e=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#' || true); fi
    execs=$((execs + ${e:-0}))
    c=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
    [ "${c:-0}" -gt "$edges" ] && edges=${c:-0}
    cat "$log" >> "$logs/all.log"
  done
  after=$(ls "$artifacts" | wc -l)
  cpu=$(tail -1 "$logs/cpu" | awk '{printf "%d", $1 + $2}')
  echo "$(date -u +%FT%TZ) target=$target round=$round wall_s=$((t1 - t0)) cpu_s=$cpu execs=$execs edges=$edges new_artifacts=$((after - before))" \
    | tee -a "$build/logs/$target.summary"
  # A job that ends at once (a seed that crashes) would spin: stop and show it.
  if [ $((t1 - t0)) -lt 5 ] && [ "$after" -gt "$before" ]; then
    echo "fuzz.sh: $target stops at once on an input in $artifacts" >&2
    break
  fi
done
ls "$artifacts"
