#!/usr/bin/env bash
# Runs the property-list readers' fuzz target for a bounded time over the
# seed corpus.
# Usage: run_fuzz.sh FUZZER SEED_DIR SECONDS
# An empty FUZZER means clang was not found when the build was configured:
# the run is skipped (exit 77) and says so.
set -uo pipefail
fuzzer="${1:-}"
seeds="${2:?seed corpus directory}"
seconds="${3:-60}"

if [ -z "$fuzzer" ]; then
  echo "SKIPPED: the property-list fuzz run needs clang++ (libFuzzer), which was not found when the build was configured."
  echo "Install it with scripts/setup and configure the build again."
  exit 77
fi
if [ ! -x "$fuzzer" ]; then
  echo "FAILED: the fuzz target $fuzzer has not been built (build the target property_list_fuzz)."
  exit 1
fi

work="$(mktemp -d /tmp/plist-fuzz.XXXXXX)" || exit 1
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"

# libFuzzer reports a finding with its own exit code; both are set to 1 so
# that no finding can be mistaken for the skip code.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
    -error_exitcode=1 -timeout_exitcode=1 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$seeds"
status=$?

if [ "$status" -ne 0 ]; then
  for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$artifact" ] || continue
    echo "finding: $(basename "$artifact"), input as hex:"
    od -An -tx1 -v "$artifact" | head -64
  done
  echo "FAILED: the property-list fuzz run ended with status $status"
  exit 1
fi
echo "PASSED: ${seconds} s of fuzzing, no crash, leak or sanitizer report"
