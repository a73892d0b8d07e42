#!/usr/bin/env bash
# Installs what is needed, builds, and runs Quorvan Programmer.
#
#   ./run.sh                       against the built-in beacon simulator on a pseudo-terminal
#   ./run.sh -PORT=/dev/ttyUSB0    against a real beacon (any other switches are passed on)
#
# With a display the desktop program opens; without one the headless "info" and then
# "program examples/demo.fwx" run, with a progress bar.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/bootstrap.sh
bash scripts/build.sh >/dev/null
BUILD_DIR="${QV_BUILD_DIR:-build}"
PROGRAM="$BUILD_DIR/app/quorvan-programmer"
SIM="$BUILD_DIR/tools/quorvan-beacon-sim"

args=("$@")
port_given=0
for a in "${args[@]}"; do
  case "${a^^}" in -PORT=*|-PORT:*|/PORT=*|/PORT:*) port_given=1 ;; esac
done

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; true; }
trap cleanup EXIT

if [ "$port_given" -eq 0 ]; then
  simout=$(mktemp)
  "$SIM" --reboot-ms 1500 >"$simout" &
  sim_pid=$!
  pty=""
  for _ in $(seq 100); do
    pty=$(head -n 1 "$simout")
    [ -n "$pty" ] && break
    sleep 0.1
  done
  rm -f "$simout"
  [ -n "$pty" ] || { echo "The beacon simulator did not start." >&2; exit 1; }
  echo "Beacon simulator running on $pty"
  args+=("-PORT=$pty" "-BAUD=115200")
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$PROGRAM" "${args[@]}"
else
  echo "No display: running the headless commands."
  echo "== quorvan-programmer info"
  "$PROGRAM" info "${args[@]}"
  echo "== quorvan-programmer program examples/demo.fwx"
  "$PROGRAM" program examples/demo.fwx "${args[@]}"
fi
