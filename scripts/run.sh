#!/usr/bin/env bash
# Installs what is missing, builds, and opens FILE (or the bundled sample) in the viewer.
# Without a display (no DISPLAY or WAYLAND_DISPLAY), it says so and prints what
# vantrelle-cli info finds in the file instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
file="${1:-$root/samples/sample-damaged.jpg}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display to show the window on; here is what vantrelle-cli info finds in $file:"
  exec "$root/build/src/app/vantrelle-cli" info "$file"
fi
exec "$root/build/src/app/vantrelle" "$file"
