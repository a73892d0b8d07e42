#!/usr/bin/env bash
# The README's test command: installs what is needed, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
bash scripts/build.sh "$@"
BUILD_DIR="${QV_BUILD_DIR:-build}"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 300
