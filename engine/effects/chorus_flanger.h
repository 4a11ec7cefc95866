#pragma once
// Effect type 4, "Chorus/Flg": a pair of short delay lines (3 to 336
// samples) swept by a smoothed triangle LFO, the right side slightly later
// in the cycle, with inverted feedback. Edits "Speed" (LFO rate, 0 freezes
// the sweep) and "Depth" (wet share from 1, feedback above 32).
//
// Threads as in Effector: process/reset on the audio thread, setParameter
// from any thread; all real-time-safe.

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/effects/dirty_span.h"
#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class ChorusFlanger final : public Effector {
 public:
  static constexpr uint32_t kLineLength = 1024;
  static constexpr uint32_t kRightPhaseOffset = 13045760;

  struct Targets {
    uint32_t increment;  // LFO phase per sample, one cycle = 2³²
    int32_t feedback;    // Q15
    int32_t wet;         // Q15
  };
  static Targets targetsFor(int32_t speed, int32_t depth);
  // The delay in whole samples for a smoothed LFO value 0..32767.
  static int32_t delayForModulation(int32_t m) { return (m * 667 + 196608) >> 16; }

  ChorusFlanger();

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void reset() override;
  uint32_t clearAhead(uint32_t budget) override;

  int32_t speed() const { return edits_.first(); }
  int32_t depth() const { return edits_.second(); }
  uint32_t phase() const { return phase_; }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(speed(), depth()); }

  EditPair edits_;
  TargetExchange<Targets> exchange_;
  Targets active_{0, 0, 0};
  int64_t feedbackState_ = 0;
  int64_t wetState_ = 0;
  uint32_t phase_ = 0;
  int32_t modL_ = 0;
  int32_t modR_ = 0;
  uint32_t write_ = 0;
  DirtySpan written_{kLineLength};
  std::unique_ptr<int16_t[]> left_;
  std::unique_ptr<int16_t[]> right_;
};
