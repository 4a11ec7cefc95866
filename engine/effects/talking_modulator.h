#pragma once
// Effect type 6, "Talking Mod": four resonant band-pass filters (Q about
// 26) on the mono sum, imitating vowel formants. Band 0 is fixed, bands 1-3
// follow the formant tables by "Formant"; "Offset" shifts all four
// together by a factor from 0.25 to 1.5. The output is the bank alone, the
// same on left and right.
//
// Threads as in Effector: process/reset on the audio thread, setParameter
// from any thread; all real-time-safe.

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class TalkingModulator final : public Effector {
 public:
  static constexpr int kNumBands = 4;
  static constexpr int32_t kDamping = 1241;
  static constexpr int32_t kBand0 = 1331;

  // Per band: the state-variable filter coefficient, Q15 (2 sin(π f / fs)).
  using Targets = std::array<int32_t, kNumBands>;
  static Targets targetsFor(int32_t formant, int32_t offset);

  TalkingModulator();

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void reset() override;

  int32_t formant() const { return edits_.first(); }
  int32_t offset() const { return edits_.second(); }
  // The coefficient each band uses now.
  int32_t bandCoefficient(int band) const { return static_cast<int32_t>(coefState_[band] >> 15); }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(formant(), offset()); }

  EditPair edits_;
  TargetExchange<Targets> exchange_;
  Targets active_{332, 1139, 2296, 4282};
  std::array<int64_t, kNumBands> coefState_{};
  std::array<int64_t, kNumBands> band_{};
  std::array<int64_t, kNumBands> low_{};
};
