#!/usr/bin/env bash
# Runs the WAV decoder's fuzz target for a bounded time through the shared
# fuzz runner, from seeds this script writes (one small file per format the
# decoder reads, and a few with hostile headers).
# Usage: run_fuzz.sh FUZZER SECONDS
set -uo pipefail
fuzzer="${1:-}"
seconds="${2:-30}"
runner="$(dirname "$0")/../../../support/fuzz/run_fuzz.sh"

seeds="$(mktemp -d /tmp/igb-wav-seeds.XXXXXX)" || exit 1
trap 'rm -rf "$seeds"' EXIT

python3 - "$seeds" <<'PY' || { echo "FAILED: could not write the seeds"; exit 1; }
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

# A 16 KB input decodes to 400 KB at most, so any allocation beyond 64 MB
# is a runaway.
"$runner" "the WAV decoder" "$fuzzer" "$seconds" "$seeds" -malloc_limit_mb=64
