#pragma once
// The drum parts' decay: the level holds at full for a time set by "Decay"
// (a share of the sample's natural length up to four times it), then falls
// in a staircase of 127 smoothed stages, level target = stage² × 520.
//
//   hold = n/100 × (decay + 1)        decay < 100  (99 holds n)
//        = n + n/10 × (decay - 99)    100 ≤ decay < 120
//        = 3n + (n >> 3) × (decay - 119)  decay ≥ 120 (127 holds 4n)
//
// with n the natural length in output samples. Each stage lasts
// ((hold >> 1) + (hold >> 2)) / 127 samples (at least 1).
//
// Not thread-safe: owned by one drum voice, audio thread only.
// Real-time-safe: no allocation, no locks.

#include <cstdint>

#include "engine/voices/fixed_point.h"
#include "engine/voices/param_smoother.h"

class DecayEnvelope {
 public:
  static constexpr int32_t kTopStage = 127;
  static constexpr int32_t kStageScale = 520;

  // A sample of `length` samples recorded at `rate` starts at `outputRate`.
  void start(int32_t decay, uint32_t length, uint32_t rate, float outputRate);
  // "Decay" moved while the sound plays (ignored once the decay finished).
  void setDecay(int32_t decay);
  // x scaled by the current level; advances one output sample. Inline: it
  // runs once per sample in the drum voices' frame loop.
  [[gnu::always_inline]] int32_t process(int32_t x) {
    const int32_t out = q23::clamp(q23::mul(level_.value(), x));
    ++counter_;
    if (counter_ > hold_) {
      level_.step();
      if (++stepCounter_ >= stepLength_) {
        stepCounter_ = 0;
        if (stage_ >= 1) {
          --stage_;
          level_.setTarget(stage_ * stage_ * kStageScale);
          if (stage_ == 0) finished_ = true;
        }
      }
    }
    return out;
  }

  static uint32_t holdFor(int32_t decay, uint32_t naturalLength);
  static uint32_t stepLengthFor(uint32_t hold);

  bool finished() const { return finished_; }
  int32_t decay() const { return decay_; }
  int32_t stage() const { return stage_; }
  int32_t level() const { return level_.value(); }
  uint32_t naturalLength() const { return naturalLength_; }
  uint32_t holdLength() const { return hold_; }
  uint32_t stepLength() const { return stepLength_; }
  uint32_t sampleCounter() const { return counter_; }

 private:
  int32_t decay_ = 0;
  int32_t stage_ = 0;
  uint32_t naturalLength_ = 0;
  uint32_t hold_ = 0;
  uint32_t stepLength_ = 1;
  uint32_t counter_ = 0;
  uint32_t stepCounter_ = 0;
  bool finished_ = true;
  ParamSmoother level_;
};
