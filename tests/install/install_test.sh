#!/usr/bin/env bash
# `cmake --install` into a fresh prefix, then what a desktop user gets from there: both programs
# run (--version, --help, and the command line on a file), the desktop entry opens JPEG files
# with the installed program and names an installed icon, and both man pages format cleanly.
# Usage: install_test.sh BUILD_DIR SAMPLE
set -euo pipefail
build=$1 sample=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for f in bin/vantrelle bin/vantrelle-cli share/applications/vantrelle.desktop \
         share/icons/hicolor/scalable/apps/vantrelle.svg share/icons/hicolor/48x48/apps/vantrelle.png \
         share/man/man1/vantrelle.1 share/man/man1/vantrelle-cli.1; do
  [ -s "$prefix/$f" ] || fail "$f was not installed"
done

version=$(sed -n 's/^project(Vantrelle VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
[ "$("$prefix/bin/vantrelle" --version)" = "vantrelle $version" ] || fail "vantrelle --version"
[ "$("$prefix/bin/vantrelle-cli" --version)" = "vantrelle-cli $version" ] || fail "vantrelle-cli --version"
"$prefix/bin/vantrelle" --help | grep -q "Usage: vantrelle \[FILE\]" || fail "vantrelle --help"
"$prefix/bin/vantrelle-cli" --help | grep -q restore || fail "vantrelle-cli --help"
"$prefix/bin/vantrelle-cli" info --json "$sample" | grep -q '"width": *800' || fail "the installed command line"

desktop="$prefix/share/applications/vantrelle.desktop"
grep -qx 'MimeType=image/jpeg;' "$desktop" || fail "the desktop entry does not open JPEG files"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "${exec_line%% *}" = vantrelle ] || fail "Exec is not the viewer: $exec_line"
[ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec names no installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi

if command -v groff >/dev/null; then
  for page in vantrelle vantrelle-cli; do
    warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/$page.1" 2>&1) || true
    [ -z "$warnings" ] || fail "$page.1: $warnings"
    text=$(groff -man -Tascii -P-cbou "$prefix/share/man/man1/$page.1" 2>/dev/null)
    echo "$text" | grep -q "^NAME" || fail "$page.1 has no NAME section"
    echo "$text" | grep -q "$version" || fail "$page.1 does not carry the version"
  done
fi
echo "installed and checked in $prefix"
