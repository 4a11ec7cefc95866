#pragma once
// Accent level and accent motion type, as a knob set (what the user set) and
// an effective set (what motion playback made of it), and the velocities a
// step or live trigger gets from them.
//
// Setters run on the main thread, reads on the audio thread; every value is
// an atomic, so all operations are thread-safe and real-time-safe.

#include <atomic>
#include <cstdint>

class AccentLevels {
 public:
  AccentLevels();

  // index 0 level (0-127), 1 motion type (0-2); clamped, stored in both
  // sets, and returned. Other indices change nothing and return `value`.
  int32_t set(int32_t index, int32_t value);
  int32_t get(int32_t index) const;

  void setMotionValue(int32_t index, int32_t value);
  void restoreMotionValue(int32_t index);
  void reset();

  int32_t stepVelocity(bool accented) const;
  int32_t liveVelocity(bool accented) const;

  int32_t effectiveLevel() const { return effectiveLevel_.load(std::memory_order_relaxed); }

  static int32_t velocityFor(int32_t level, bool accented);

 private:
  std::atomic<uint32_t> knobLevel_;
  std::atomic<uint32_t> knobMotionType_;
  std::atomic<uint32_t> effectiveLevel_;
  std::atomic<uint32_t> effectiveMotionType_;
};

extern const uint8_t accentCurve[128];
