#pragma once
// Effect type 7, "Decimator": a sample-and-hold rate reducer ("Frequency":
// a new sample at nearly every frame at 0 down to about 1 kHz at 127) with
// bit masking ("Bit": 16 bits kept down to 3) behind a noise gate with
// hysteresis (opens above level 48, closes below 32; fast rise, slow fall).
//
// The hold phase is an unsigned 16-bit counter that wraps by definition; a
// wrap (read as signed, the phase got smaller) takes a new sample, so new
// samples come at rate × increment / 65536.
//
// Threads as in Effector: process/reset on the audio thread, setParameter
// from any thread; all real-time-safe.

#include <atomic>
#include <cstdint>

#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class Decimator final : public Effector {
 public:
  struct Targets {
    int32_t rateIncrement;  // hold phase step, 1486..65534
    int32_t bitMask;        // -1 keeps all bits
  };
  static Targets targetsFor(int32_t frequency, int32_t bit);

  Decimator();

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void reset() override;

  int32_t frequency() const { return edits_.first(); }
  int32_t bit() const { return edits_.second(); }
  int32_t gateGain() const { return gateGain_; }
  bool gateOpen() const { return gateOpen_; }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(frequency(), bit()); }

  EditPair edits_;
  TargetExchange<Targets> exchange_;
  Targets active_{65534, -1};
  int16_t heldL_ = 0;
  int16_t heldR_ = 0;
  uint16_t holdPhase_ = 0;
  int32_t peak_ = 0;
  int64_t levelState_ = 0;
  bool gateOpen_ = false;
  int32_t gateGain_ = 0;
};
