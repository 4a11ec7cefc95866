#!/usr/bin/env bash
# Runs the JPEG decoder's fuzz target for a bounded time through the shared
# fuzz runner; the target writes its own seeds (IGB_JPEG_SEEDS) before it
# starts.
# Usage: run_fuzz.sh FUZZER SECONDS
set -uo pipefail
fuzzer="${1:-}"
seconds="${2:-30}"
runner="$(dirname "$0")/../../../support/fuzz/run_fuzz.sh"

seeds="$(mktemp -d /tmp/igb-jpeg-seeds.XXXXXX)" || exit 1
trap 'rm -rf "$seeds"' EXIT
# A header alone, so the folder is never empty.
printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xff\xd9' > "$seeds/header-only.jpg"

# 16 KB of input can claim a picture of 65,535 × 65,535; the decoder
# refuses beyond 4 megapixels (16 MB of pixels), so anything more is a
# runaway.
IGB_JPEG_SEEDS="$seeds" "$runner" "the JPEG decoder" "$fuzzer" "$seconds" "$seeds" -malloc_limit_mb=64
