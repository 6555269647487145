#!/usr/bin/env bash
# Runs one fuzz target for a while from the seeds kept in the repo; new inputs
# go to a temporary corpus so nothing is written into the repo.
# Usage: run_fuzz_target.sh FUZZER SEED_DIR CRASH_DIR SECONDS
set -euo pipefail

fuzzer=$1
seeds=$2
crashes=$3
seconds=$4
name=$(basename "$fuzzer")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$crashes"

echo "fuzzing $name for ${seconds}s from $seeds"
status=0
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$crashes/" \
  "$work/corpus" "$seeds" 2>&1 | tee "$work/log" || status=$?

if [ "$status" -ne 0 ]; then
  crash=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$work/log" | tail -n 1)
  echo "FAILED: $name exited with $status; replay with:"
  echo "  $fuzzer ${crash:-$crashes/<crash-file>}"
  exit 1
fi
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
printf '%s: %s executions in %ss (%s exec/s)\n' "$name" "$runs" "$seconds" "$speed"
