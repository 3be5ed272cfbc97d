#!/usr/bin/env bash
# Runs every fuzzer of a fuzz build for a fixed time each, starting from its
# seeds in tests/fuzz/corpus/<name>; new inputs go to a scratch corpus, crashes
# to BUILD/fuzz-findings. Prints executions per target; fails on any finding.
# Usage: tests/fuzz/run.sh BUILD_DIR SECONDS
set -uo pipefail
build=${1:?usage: tests/fuzz/run.sh BUILD_DIR SECONDS}
seconds=${2:?usage: tests/fuzz/run.sh BUILD_DIR SECONDS}
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
findings="$build/fuzz-findings"
mkdir -p "$findings"
failed=0
for fuzzer in "$build"/bin/fuzz_*; do
  name=$(basename "$fuzzer")
  scratch="$build/fuzz-corpus/$name"
  mkdir -p "$scratch" "$seeds/$name"
  log="$build/$name.log"
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$findings/$name-" "$scratch" "$seeds/$name" >"$log" 2>&1
  status=$?
  runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  if [ $status -eq 0 ]; then
    echo "$name: ${runs:-?} executions in ${seconds}s, no findings"
  else
    echo "$name: FINDING after ${runs:-?} executions (exit $status); see $log and $findings"
    failed=1
  fi
done
exit $failed
