#pragma once
// "Cross /Ring Mod. Switch": 0 off, 1 cross modulation, 2 ring modulation of
// synthesizer part 1 by part 2. Written on the main thread, read per slice on
// the audio thread. Thread-safe and real-time-safe.

#include <algorithm>
#include <atomic>
#include <cstdint>

class CrossRingSwitch {
 public:
  int32_t set(int32_t index, int32_t value) {
    if (index != 0) return value;
    const int32_t v = std::clamp<int32_t>(value, 0, 2);
    mode_.store(v, std::memory_order_relaxed);
    return v;
  }
  int32_t get(int32_t index) const { return index == 0 ? mode_.load(std::memory_order_relaxed) : 0; }

 private:
  std::atomic<int32_t> mode_{0};
};
