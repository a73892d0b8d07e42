#!/usr/bin/env bash
# Configures and builds the project into build/ (or $QV_BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${QV_BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${QV_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$BUILD_DIR"
