#!/usr/bin/env bash
# Runs the MP3 decoder's fuzz target for a bounded time through the shared
# fuzz runner, from seeds this script makes: short tones encoded by lame
# in the modes the service uses (mono, stereo, another rate, variable rate),
# one cut short, and a bare frame header.
# Usage: run_fuzz.sh FUZZER SECONDS
set -uo pipefail
fuzzer="${1:-}"
seconds="${2:-30}"
runner="$(dirname "$0")/../../../support/fuzz/run_fuzz.sh"

seeds="$(mktemp -d /tmp/igb-mp3-seeds.XXXXXX)" || exit 1
trap 'rm -rf "$seeds"' EXIT

python3 - "$seeds" <<'PY' || { echo "FAILED: could not write the seeds"; exit 1; }
import math, struct, sys
out = sys.argv[1]
def wav(channels, rate, frames):
    data = b''.join(struct.pack('<h', int(12000 * math.sin(i / 5.0))) * channels for i in range(frames))
    f = struct.pack('<HHIIHH', 1, channels, rate, rate * 2 * channels, 2 * channels, 16)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(f)) + f + b'data' + struct.pack('<I', len(data)) + data
    return b'RIFF' + struct.pack('<I', len(body)) + body
for name, ch, rate in (('mono44', 1, 44100), ('stereo44', 2, 44100), ('mono22', 1, 22050), ('stereo8', 2, 8000)):
    open(f'{out}/{name}.wav', 'wb').write(wav(ch, rate, 2400))
# A frame header alone (MPEG-1 layer III, 128 kbit/s, 44,100 Hz).
open(f'{out}/header', 'wb').write(bytes([0xFF, 0xFB, 0x90, 0x64]) + bytes(60))
PY
if command -v lame >/dev/null; then
  lame --quiet -b 32 "$seeds/mono44.wav" "$seeds/mono44.mp3"
  lame --quiet -b 64 "$seeds/stereo44.wav" "$seeds/stereo44.mp3"
  lame --quiet -V 6 "$seeds/mono22.wav" "$seeds/mono22-vbr.mp3"
  lame --quiet -b 16 "$seeds/stereo8.wav" "$seeds/stereo8.mp3"
  head -c 700 "$seeds/stereo44.mp3" > "$seeds/cut.mp3"
fi
rm -f "$seeds"/*.wav

# A 16 KB input decodes to a few MB at most, so any allocation beyond
# 64 MB is a runaway.
"$runner" "the MP3 decoder" "$fuzzer" "$seconds" "$seeds" -malloc_limit_mb=64
