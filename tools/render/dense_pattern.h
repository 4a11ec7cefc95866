#pragma once
// A worst-case pattern for tests and benchmarks: every part sounds on every
// one of the 64 steps (four bars of sixteen), accents on every other step,
// every part sends into the effect, four gliding motion sequences per part
// (Pitch, Level, Pan, Mod Depth), motion on the accent level and the
// effect's first edit, and every modulation type in use (Noise among them).

#include <cstdint>

#include "engine/record/pattern_record.h"

struct DensePatternOptions {
  int32_t tempoTenths = 1200;
  int32_t effectType = 3;     // 0-7
  int32_t crossRingMod = 1;   // 0 off, 1 cross, 2 ring
};

PatternRecord makeDensePattern(const DensePatternOptions& options = {});
