#!/usr/bin/env bash
# Runs every benchmark and the peak-memory measurement, then writes the results table and plot.
#
#   bench/run_benchmarks.sh BUILD_DIR RESULTS_DIR
#
# BENCH_REPETITIONS (default 7) and BENCH_MIN_TIME (seconds per repetition, default 0.5) trade
# time for steadier medians; BENCH_FILTER picks benchmarks by regular expression; the scratch
# files go under DECKHAND_BENCH_DIR (default BUILD_DIR/bench-scratch), which must lie on a real
# disk for the flushes of a save to cost what they cost in use.
set -euo pipefail

build=${1:?usage: run_benchmarks.sh BUILD_DIR RESULTS_DIR}
results=${2:?usage: run_benchmarks.sh BUILD_DIR RESULTS_DIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$results"
export DECKHAND_BENCH_DIR=${DECKHAND_BENCH_DIR:-$(cd "$build" && pwd)/bench-scratch}

echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/deckhand_benchmarks" \
  --benchmark_repetitions="${BENCH_REPETITIONS:-7}" \
  --benchmark_min_time="${BENCH_MIN_TIME:-0.5}" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_filter="${BENCH_FILTER:-.}" \
  --benchmark_out="$results/benchmarks.json" \
  --benchmark_out_format=json

"$build/bench/deckhand_peak_memory" 52 100000 >"$results/peak_memory.jsonl" ||
  echo "peak memory not measured (see the message above)"

python3 "$here/report.py" "$results"

# deckhand-irc through ngircd, where the bot was built: commands per second and reply times.
if [ -x "$build/bench/deckhand_irc_benchmarks" ]; then
  "$build/bench/deckhand_irc_benchmarks" "${IRC_BENCH_COMMANDS:-500}" "$results/irc.md" ||
    echo "deckhand-irc not measured (see the message above)"
fi
