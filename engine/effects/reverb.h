#pragma once
// Effect type 3, "Reverb": a small mono-in reverberator of two feedback
// combs (one in phase, one inverted) and two allpasses; its wet signal is
// added to the dry signal, the right side through a further delay. Edits
// "Time" (comb feedback 0.625 to 0.9375) and "Level" (square law).
//
// Threads as in Effector: process/reset on the audio thread, setParameter
// from any thread; all real-time-safe.

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/effects/dirty_span.h"
#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class Reverb final : public Effector {
 public:
  static constexpr uint32_t kLineLength = 4096;
  static constexpr uint32_t kComb1 = 2669;
  static constexpr uint32_t kComb2 = 2824;
  static constexpr uint32_t kAllpass1 = 969;
  static constexpr uint32_t kAllpass2 = 2301;
  static constexpr uint32_t kRightDelay = 1676;
  static constexpr int32_t kAllpassGain = 22937;
  static constexpr int32_t kLeftWetScale = 24823;

  struct Targets {
    int32_t feedback;  // Q15
    int32_t level;     // Q15
  };
  static Targets targetsFor(int32_t time, int32_t level);

  Reverb();

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void reset() override;
  uint32_t clearAhead(uint32_t budget) override;

  int32_t time() const { return edits_.first(); }
  int32_t level() const { return edits_.second(); }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(time(), level()); }

  EditPair edits_;
  TargetExchange<Targets> exchange_;
  Targets active_{20480, 0};
  int64_t feedbackState_ = 0;
  int32_t feedback_ = 0;
  int64_t levelState_ = 0;
  int32_t levelNow_ = 0;
  int32_t inputGain_ = 4096;
  uint32_t write_ = 0;
  DirtySpan written_{kLineLength};
  std::unique_ptr<int16_t[]> lines_;  // five lines of kLineLength
};
