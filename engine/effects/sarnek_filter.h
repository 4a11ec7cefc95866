#pragma once
// Effect type 5, "Filter": a resonant two-pole state-variable filter per
// channel. "Cutoff" picks a coefficient a semitone apart at the low end,
// "Resonance" narrows the damping (and lowers the input gain near the top
// so the peak stays in range). Coefficients are worked out every 64 frames
// and glide linearly over the block, so a change never steps.
//
// Threads as in Effector: process/reset on the audio thread, setParameter
// from any thread; all real-time-safe.

#include <atomic>
#include <cstdint>

#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class SarnekFilter final : public Effector {
 public:
  enum Output : int32_t { kLowPass = 0, kHighPass = 1, kBandPass = 2 };
  static constexpr int64_t kStateLimit = 16777215;

  struct Targets {
    int32_t cutoff;     // coefficient, 2³¹ = 1.0
    int32_t resonance;  // 2³¹ = 1.0
    int32_t gain;       // Q15 input gain
  };
  static Targets targetsFor(int32_t cutoff, int32_t resonance);
  // The per-frame coefficients a block glides to, both Q23: damping q and
  // frequency f of h = x - q·b - l, b += f·h, l += f·b.
  struct Coefficients {
    int64_t damping;
    int64_t frequency;
  };
  static Coefficients coefficientsFor(int32_t cutoff, int32_t resonance);

  explicit SarnekFilter(int32_t output = kLowPass);

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void reset() override;

  int32_t cutoff() const { return edits_.first(); }
  int32_t resonance() const { return edits_.second(); }
  // The coefficients in use at the next frame.
  int64_t currentFrequency() const { return frequency_; }
  int64_t currentDamping() const { return damping_; }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(cutoff(), resonance()); }

  int32_t output_;
  EditPair edits_;
  TargetExchange<Targets> exchange_;
  Targets active_{8016909, 0, 32767};
  int64_t targetDamping_ = 0;
  int64_t targetFrequency_ = 0;
  int64_t damping_ = 0;
  int64_t frequency_ = 0;
  int64_t dampingStep_ = 0;
  int64_t frequencyStep_ = 0;
  int64_t band_[2] = {0, 0};
  int64_t low_[2] = {0, 0};
};
