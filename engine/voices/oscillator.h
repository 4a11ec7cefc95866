#pragma once
// The synthesizer's four waveforms as functions of the oscillator phase.
// Pure arithmetic: thread-safe and real-time-safe.

#include <cstdint>

#include "engine/voices/fixed_point.h"

enum SynthWave : int32_t { kWaveSine = 0, kWaveTriangle = 1, kWaveSquare = 2, kWaveSaw = 3 };

// The saw's fall back within one sample: its slope for a phase `increment`.
inline int32_t sawSlope(int32_t increment) {
  const uint32_t inc = static_cast<uint32_t>(increment);
  return inc < 65536u ? 32767 : static_cast<int32_t>(2147483647u / inc);
}

// The saw's sample (as synthWaveSample) from its slope.
inline int32_t sawSample(int32_t phase, int32_t slope, int32_t phaseOffset, int32_t outputOffset) {
  const int64_t r = q23::clamp(static_cast<int64_t>(slope) * (phase >> 8));
  const int64_t s = q23::wrap(static_cast<int64_t>(phase) - r);
  return q23::clamp(outputOffset + q23::wrap(phaseOffset + (s >> 2)));
}

// One output sample (Q23, clamped) of `wave` at `phase` (24-bit wrapped),
// for a phase `increment` per sample; `phaseOffset` and `outputOffset` are
// the modulation source's disturbances (0 unless "Mod Type" is "Noise").
//
// Sine is a parabolic approximation of half amplitude, peaking at phase 0;
// triangle has half amplitude; square a quarter; the saw (a quarter) rises
// through the cycle and falls back within one sample.
inline int32_t synthWaveSample(int32_t wave, int32_t phase, int32_t increment, int32_t phaseOffset,
                               int32_t outputOffset) {
  int64_t out;
  switch (wave) {
    case kWaveSine: {
      const int64_t u = q23::wrap(static_cast<int64_t>(phase) + phaseOffset + 4194303);
      const int64_t au = u < 0 ? -u : u;
      const int64_t s = 8388607 - (au < 8388607 ? au : 8388607);
      out = outputOffset + ((s * u) >> 22);
      break;
    }
    case kWaveTriangle: {
      const int64_t u = q23::wrap(static_cast<int64_t>(phaseOffset) + phase);
      const int64_t au = u < 0 ? -u : u;
      out = outputOffset + (4194303 - (au < 8388607 ? au : 8388607));
      break;
    }
    case kWaveSquare: {
      const int32_t t = q23::wrap(static_cast<int64_t>(phase) + 8388607);
      const int64_t q0 = t > -8388607 ? -static_cast<int64_t>(t) : 8388607;
      const int64_t q = q23::clamp(q0 + phase);
      out = outputOffset + q23::wrap(phaseOffset + (q >> 2));
      break;
    }
    case kWaveSaw:
      return sawSample(phase, sawSlope(increment), phaseOffset, outputOffset);
    default:
      out = 0;
      break;
  }
  return q23::clamp(out);
}
