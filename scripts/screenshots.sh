#!/usr/bin/env bash
# Takes the documentation's pictures of both windows into docs/images/ (or the folder given):
# the real windows against a simulated beacon, offscreen unless QT_QPA_PLATFORM says otherwise
# (e.g. run under xvfb-run with QT_QPA_PLATFORM=xcb to use a real X server's fonts and style).
# Also writes the program icon files into resources/icons/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${QV_BUILD_DIR:-build}"
OUT="${1:-docs/images}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${QV_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
cmake --build "$BUILD_DIR" --target quorvan-screenshots
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD_DIR/ui/quorvan-screenshots" "$OUT" examples/demo.fwx
# The program icon for the desktop entry, from the same drawing as the window's emblem.
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD_DIR/ui/quorvan-screenshots" --icons resources/icons/hicolor
