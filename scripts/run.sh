#!/usr/bin/env bash
# Installs what is missing, builds, and opens FILE (or the bundled sample) in the viewer.
# Until the desktop viewer is built, this prints what vantrelle-cli info finds in the file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
file="${1:-$root/samples/sample-damaged.jpg}"
if [ -x "$root/build/src/app/vantrelle" ]; then
  exec "$root/build/src/app/vantrelle" "$file"
fi
echo "(The desktop viewer is not built yet; showing what vantrelle-cli info finds in $file.)"
exec "$root/build/src/app/vantrelle-cli" info "$file"
