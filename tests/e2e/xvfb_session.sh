# Sourced by the end-to-end tests: starts a private Xvfb on a free display number (stopped, with
# everything the test started, when the test exits) and offers helpers to drive the real viewer.
# Exits 77 (skipped) when Xvfb or xdotool is missing.
set -euo pipefail
command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null || {
  echo "Xvfb, xdotool or ImageMagick's import is missing: skipped"; exit 77; }

e2e_pids=()
e2e_cleanup() {
  for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${e2e_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -n "${E2E_TMP:-}" ] && rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT
[ -n "${E2E_KEEP:-}" ] && e2e_cleanup() { for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done; echo "kept $E2E_TMP"; }

E2E_TMP=$(mktemp -d)
for n in $(seq 91 160); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >"$E2E_TMP/xvfb.log" 2>&1 &
  e2e_pids+=($!)
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
  if xdotool getmouselocation >/dev/null 2>&1; then break; fi
  kill "${e2e_pids[-1]}" 2>/dev/null || true
  unset DISPLAY
done
[ -n "${DISPLAY:-}" ] || { echo "could not start Xvfb"; cat "$E2E_TMP/xvfb.log"; exit 1; }
export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

# Starts the viewer with the given arguments and waits for a window whose title matches $1.
e2e_start_viewer() {
  local title=$1
  shift
  "$VIEWER" "$@" >"$E2E_TMP/viewer.log" 2>&1 &
  e2e_pids+=($!)
  E2E_WINDOW=$(timeout 60 xdotool search --sync --onlyvisible --name "$title" | head -n 1) || {
    echo "no window titled '$title'"; cat "$E2E_TMP/viewer.log"; exit 1; }
}

# Screenshot of the whole screen.
# Screenshot of the viewer's window (of the whole screen before there is one).
e2e_shot() { import -window "${E2E_WINDOW:-root}" "$1"; }

# Screenshot once the window has settled: two shots half a second apart that are the same (the
# smooth picture has replaced the quick one), after at least a second; at most 30 s.
e2e_settled_shot() {
  local out=$1 prev="$E2E_TMP/settle-prev.png" i
  sleep 1
  e2e_shot "$prev"
  for i in $(seq 60); do
    sleep 0.5
    e2e_shot "$out"
    cmp -s <(convert "$prev" rgb:-) <(convert "$out" rgb:-) && return 0
    cp "$out" "$prev"
  done
  echo "the window did not settle within 30 s"
}

# Waits (up to 60 s: the sanitizer build is slow) for a visible window titled exactly $1 and gives it the keyboard.
window() {
  local id
  id=$(timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) || {
    echo "no window titled '$1'"; cat "$E2E_TMP/viewer.log"; exit 1; }
  xdotool windowfocus --sync "$id"
  echo "$id"
}
gone() {
  for _ in $(seq 150); do xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0; sleep 0.2; done
  echo "the window '$1' did not close"; exit 1
}
