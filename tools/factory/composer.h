#pragma once
// Composes the factory library: drum programming, bass lines, leads, motion
// and effects per style, varied by a seeded generator so that the same build
// always writes the same library.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/record/pattern_record.h"

namespace factory {

struct ComposedPattern {
  PatternRecord record;
  std::string style;
};

// The 13 banks of the library in order: 64 factory patterns, 192 of the
// GQ-1 collection, 32 templates and 128 user patterns (init patterns).
std::vector<ComposedPattern> composeLibrary();

// Pitch (0-127) of a synthesizer part nearest to `hz`.
int32_t synthPitchFor(double hz);
// The frequency a synthesizer part plays at pitch `p`.
double synthFrequency(int32_t p);

}  // namespace factory
