#pragma once
// Effect type 0, "Short Delay": a stereo delay of up to 16,383 samples
// whose two lines feed each other crosswise with inverted polarity, so the
// repeats alternate between left and right. Edits "Time" (square law) and
// "Depth" (feedback; the dry share falls by half of it).
//
// Threads as in Effector: process/reset on the audio thread, setParameter
// from any thread; all real-time-safe.

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/effects/dirty_span.h"
#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class ShortDelay final : public Effector {
 public:
  static constexpr uint32_t kLineLength = 16384;
  static constexpr int32_t kMaxDelay = 16383;

  struct Targets {
    int32_t delay;     // whole samples, 2..16382
    int32_t feedback;  // Q15
  };
  // The targets of a "Time" and "Depth" pair.
  static Targets targetsFor(int32_t time, int32_t depth);

  ShortDelay();

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void reset() override;
  uint32_t clearAhead(uint32_t budget) override;

  int32_t time() const { return edits_.first(); }
  int32_t depth() const { return edits_.second(); }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(time(), depth()); }

  EditPair edits_;
  TargetExchange<Targets> exchange_;
  Targets active_{0, 0};
  int64_t delayState_ = 0;
  int64_t feedbackState_ = 0;
  uint32_t write_ = 0;
  DirtySpan written_{kLineLength};
  std::unique_ptr<int16_t[]> left_;
  std::unique_ptr<int16_t[]> right_;
};
