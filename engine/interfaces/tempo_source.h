#pragma once
#include <cstdint>

// Something that knows the tempo, in tenths of BPM.
class TempoSource {
 public:
  virtual ~TempoSource() = default;
  virtual int32_t tempo() = 0;
};
