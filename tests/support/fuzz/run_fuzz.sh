#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time over a seed corpus, for ctest.
# Usage: run_fuzz.sh WHAT FUZZER SECONDS SEED_DIR[:SEED_DIR...] [LIBFUZZER_FLAG...]
# WHAT names the run in messages ("the JSON decoder"). Flags given after
# the seeds override the defaults below; IGB_FUZZ_ASAN_OPTIONS, when set,
# is added to the sanitizer's options. An empty FUZZER, or
# "-", means clang was not found when the build was configured: the run is
# skipped (exit 77) and says so.
set -uo pipefail
what="${1:?what is fuzzed}"
fuzzer="${2:-}"
seconds="${3:-60}"
IFS=: read -ra seeds <<< "${4:?seed corpus directory}"
shift 4

if [ -z "$fuzzer" ] || [ "$fuzzer" = "-" ]; then
  echo "SKIPPED: the fuzz run of $what needs clang++ (libFuzzer), which was not found when the build was configured."
  echo "Install it with scripts/setup and configure the build again."
  exit 77
fi
if [ ! -x "$fuzzer" ]; then
  echo "FAILED: the fuzz target $fuzzer has not been built."
  exit 1
fi

# In memory where there is room for it: the targets that go through the
# system's file writers make their temporary libraries here ($TMPDIR), and
# those writers sync every file.
base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work="$(mktemp -d "$base/igb-fuzz.XXXXXX")" || exit 1
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/tmp"
export TMPDIR="$work/tmp"

# libFuzzer reports a finding with its own exit code; both are set to 1 so
# that no finding can be mistaken for the skip code.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1${IGB_FUZZ_ASAN_OPTIONS:+:$IGB_FUZZ_ASAN_OPTIONS}" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
    -error_exitcode=1 -timeout_exitcode=1 -print_final_stats=1 "$@" \
    -artifact_prefix="$work/" "$work/corpus" "${seeds[@]}"
status=$?

if [ "$status" -ne 0 ]; then
  for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
    [ -e "$artifact" ] || continue
    echo "finding: $(basename "$artifact"), input as hex:"
    od -An -tx1 -v "$artifact" | head -64
  done
  echo "FAILED: the fuzz run of $what ended with status $status"
  exit 1
fi
echo "PASSED: ${seconds} s of fuzzing $what, no crash, leak, runaway allocation or sanitizer report"
