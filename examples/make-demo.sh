#!/usr/bin/env bash
# Makes examples/demo.fwx: a deterministic 64 KiB image packed for the default simulated
# beacon (part 1520, revisions 1 to 5, any serial number, the application section).
# Run again after a change of the packer; the result is byte-for-byte the same.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${QV_BUILD_DIR:-build}"
PACK="$BUILD_DIR/tools/quorvan-fwx-pack"
if [ ! -x "$PACK" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
  cmake --build "$BUILD_DIR" --target quorvan-fwx-pack
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# The same byte pattern the tools tests use: neighbouring bytes always differ.
perl -e 'binmode STDOUT; print map { chr(($_ * 131 + ($_ >> 8) * 7) & 0xFF) } 0..65535' >"$tmp/demo.bin"
"$PACK" --output examples/demo.fwx \
  --name "Quorvan demo application v2.5.0" --timestamp "2026-01-15 10:30:00" \
  --section 1 --part 1520 --rev-min 1 --rev-max 5 --data-format 0 \
  --signature 000102030405060708090A0B0C0D0E0F10111213 \
  "$tmp/demo.bin"
