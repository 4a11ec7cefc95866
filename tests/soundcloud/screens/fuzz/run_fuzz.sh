#!/usr/bin/env bash
# Runs the WAV decoder's fuzz target for a bounded time, from seeds this
# script writes (one small file per format the decoder reads, and a few
# with hostile headers).
# Usage: run_fuzz.sh FUZZER SECONDS
# An empty FUZZER means clang was not found when the build was configured:
# the run is skipped (exit 77) and says so.
set -uo pipefail
fuzzer="${1:-}"
seconds="${2:-30}"

if [ -z "$fuzzer" ]; then
  echo "SKIPPED: the WAV decoder fuzz run needs clang++ (libFuzzer), which was not found when the build was configured."
  echo "Install it with scripts/setup and configure the build again."
  exit 77
fi
if [ ! -x "$fuzzer" ]; then
  echo "FAILED: the fuzz target $fuzzer has not been built (build the target wav_fuzz)."
  exit 1
fi

work="$(mktemp -d /tmp/wav-fuzz.XXXXXX)" || exit 1
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/seeds"

python3 - "$work/seeds" <<'PY' || { echo "FAILED: could not write the seeds"; exit 1; }
import math, struct, sys
out = sys.argv[1]

def wav(fmt, channels, rate, bits, data, extensible=False, data_size=None):
    block = channels * bits // 8
    if extensible:
        f = struct.pack('<HHIIHHHHI', 0xFFFE, channels, rate, rate * block, block, bits, 22, bits, 3)
        f += struct.pack('<H', fmt) + bytes(14)
    else:
        f = struct.pack('<HHIIHH', fmt, channels, rate, rate * block, block, bits)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(f)) + f
    body += b'data' + struct.pack('<I', len(data) if data_size is None else data_size) + data
    return b'RIFF' + struct.pack('<I', len(body)) + body

ramp = [math.sin(i / 3.0) for i in range(48)]
seeds = {
    'pcm8-mono-8000': wav(1, 1, 8000, 8, bytes(int(128 + 127 * v) for v in ramp)),
    'pcm16-stereo-44100': wav(1, 2, 44100, 16, b''.join(struct.pack('<hh', int(3e4 * v), -int(3e4 * v)) for v in ramp)),
    'pcm24-stereo-48000': wav(1, 2, 48000, 24, b''.join(struct.pack('<i', int(8e6 * v))[:3] * 2 for v in ramp)),
    'pcm32-mono-96000': wav(1, 1, 96000, 32, b''.join(struct.pack('<i', int(2e9 * v)) for v in ramp)),
    'float32-stereo-22050': wav(3, 2, 22050, 32, b''.join(struct.pack('<ff', v, -v) for v in ramp)),
    'float64-mono-192000': wav(3, 1, 192000, 64, b''.join(struct.pack('<d', v * 1e308) for v in ramp)),
    'extensible-6ch-32000': wav(1, 6, 32000, 16, bytes(12 * 16), extensible=True),
    'data-size-beyond-end': wav(1, 2, 11025, 16, bytes(64), data_size=0xFFFFFFFF),
    'rate-1hz': wav(1, 2, 1, 16, bytes(64)),
}
for name, data in seeds.items():
    with open(f'{out}/{name}.wav', 'wb') as f:
        f.write(data)
PY

# libFuzzer reports a finding with its own exit code; both are set to 1 so
# that no finding can be mistaken for the skip code. A 16 KB input decodes
# to 400 KB at most, so any allocation beyond 64 MB is a runaway.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=64 -max_len=16384 \
    -error_exitcode=1 -timeout_exitcode=1 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" "$work/seeds"
status=$?

if [ "$status" -ne 0 ]; then
  for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
    [ -e "$artifact" ] || continue
    echo "finding: $(basename "$artifact"), input as hex:"
    od -An -tx1 -v "$artifact" | head -64
  done
  echo "FAILED: the WAV decoder fuzz run ended with status $status"
  exit 1
fi
echo "PASSED: ${seconds} s of fuzzing, no crash, leak, runaway allocation or sanitizer report"
