#!/bin/sh
# Runs every fuzz target for a bounded time on the checked-in seed corpus; fails on any finding
# (a crash, a broken property, a hang past the timeout, a leak). New inputs go to the build
# directory, never into the checked-in corpus.
#   fuzz/run_fuzzers.sh BUILD_DIR SECONDS_PER_TARGET
set -eu
build="$1"
seconds="$2"
source_dir=$(cd "$(dirname "$0")" && pwd)
for target in ini command irc_line irc_wire discord_interaction; do
  work="$build/fuzz-work/$target"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "fuzzing $target for ${seconds}s"
  "$build/fuzz/deckhand_${target}_fuzzer" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$source_dir/corpus/$target"
done
