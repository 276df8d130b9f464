#!/usr/bin/env bash
# Runs the interface fuzzer for a bounded time over a working copy of the
# seed corpus and prints its execution count.
# Usage: fuzz/run.sh BUILD_DIR [SECONDS [extra libFuzzer options...]]
# A finding leaves its input as BUILD_DIR/fuzz-findings/crash-* (or leak-*,
# timeout-*) and fails the run; reproduce it with
#   BUILD_DIR/fuzz/kestro_fuzz_interface BUILD_DIR/fuzz-findings/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
shift $(( $# < 2 ? $# : 2 ))
fuzzer="$build/fuzz/kestro_fuzz_interface"
corpus="$build/fuzz-corpus"
findings="$build/fuzz-findings"
mkdir -p "$corpus" "$findings"
# New inputs go to the working copy; fuzz/corpus is only read.

# -close_fd_mask=3 discards the plug-in's own stdout and stderr lines
# (every refused request prints one); libFuzzer's output and the sanitizers'
# reports still come through. A single input may run at most 10 s.
log="$build/fuzz-run.log"
set +e
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$fuzzer" "$corpus" fuzz/corpus -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$findings/" "$@" 2>&1 | tee "$log" | grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|Done|stat::|==|SUMMARY|artifact)'
status=${PIPESTATUS[0]}
set -e
runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
if ((status != 0)); then
  tail -60 "$log"
  echo "fuzz: FAILED (status $status); the input is in $findings" >&2
  exit 1
fi
echo "fuzz: ${runs:-?} executions in ${seconds} s, no finding"
