#pragma once
// The 16 rows of the drum sample memory: where each sound lies in the
// memory (start and end sample, both inclusive) and its recorded rate.
// Drum part p (0-3, the parts 4-7) plays rows 4p + "Wave".

#include <cstdint>

struct DrumSampleInfo {
  bool valid;
  uint32_t start;
  uint32_t end;
  uint32_t rate;
  const char* name;
};

inline constexpr int kNumDrumSamples = 16;

// Row `index`; an index above 15 gives {false, 0, 0, 44100, ""}.
DrumSampleInfo drumSampleInfo(uint32_t index);
