#!/usr/bin/env bash
# Builds the program and runs it. Without -PORT it starts the beacon simulator first.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/bootstrap.sh
bash scripts/build.sh
echo "The program is not assembled yet; the libraries and tests are built in build/."
