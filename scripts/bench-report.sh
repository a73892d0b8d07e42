#!/usr/bin/env bash
# Regenerates docs/PERFORMANCE.md: builds Release (-O3, warnings as errors) into build-rel/ (the
# build CI makes), runs the speed benchmarks of bench/ and writes the page from their results
# with scripts/bench-report.py. About five minutes; QV_BENCH_FULL=1 also runs the long cases
# (programming 256 KiB at 57600 baud, about three minutes more).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR="${QV_BUILD_DIR:-build-rel}"
QV_BUILD_DIR="$BUILD_DIR" QV_BUILD_TYPE=Release bash scripts/build.sh -DQV_WERROR=ON -DQV_BUILD_BENCH=ON

# The results stay beside the build, so the page can be rewritten without running again:
#   python3 scripts/bench-report.py build-rel/bench-results build-rel >docs/PERFORMANCE.md
results="$BUILD_DIR/bench-results"
rm -rf "$results"
mkdir -p "$results"
export QT_QPA_PLATFORM=offscreen

# Arguments per benchmark program; the others run as they are registered.
declare -A ARGS=()
if [ "${QV_BENCH_FULL:-0}" != 1 ]; then
  ARGS[line_rate_bench]="--benchmark_filter=-/57600/"
fi
# The soak is a robustness run, reported in docs/RELIABILITY.md; the gang benchmark runs whole
# programs and prints its own table (below).
SKIP=" soak_bench gang_bench "

for exe in "$BUILD_DIR"/bench/*_bench; do
  name="$(basename "$exe")"
  case "$SKIP" in *" $name "*) continue ;; esac
  args="${ARGS[$name]:-}"
  before="$(cut -d' ' -f1 /proc/loadavg)"
  echo "== $name $args"
  # shellcheck disable=SC2086 # the arguments are words
  "$exe" $args --benchmark_out="$results/$name.json" --benchmark_out_format=json
  after="$(cut -d' ' -f1 /proc/loadavg)"
  printf '%s\t%s\t%s\t%s\n' "$name" "$args" "$before" "$after" >>"$results/runs.tsv"
done

# Many beacons at once: 1, 2, 4 and 8 paced simulators, one process against one process each
# (about two minutes).
echo "== gang_bench"
before="$(cut -d' ' -f1 /proc/loadavg)"
"$BUILD_DIR/bench/gang_bench" | tee "$results/gang_bench.txt"
after="$(cut -d' ' -f1 /proc/loadavg)"
printf '%s\t%s\t%s\t%s\n' gang_bench "" "$before" "$after" >>"$results/gang.tsv"

python3 scripts/bench-report.py "$results" "$BUILD_DIR" >docs/PERFORMANCE.md.new
mv docs/PERFORMANCE.md.new docs/PERFORMANCE.md
echo "wrote docs/PERFORMANCE.md"
