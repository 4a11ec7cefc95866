#pragma once
// Effect type 2, "GrainShifter": a tempo-synchronised grain looper. Two
// lines take turns: one records the input while the other repeats its last
// grain, swapping every half cycle; the output hears each grain live once,
// then its repeats. The cycle (1/2 beat to 8 beats) and grain (3/384 to one
// beat) follow "Speed" and the tempo; "Balance" mixes grains against the
// dry input. At the top of the pattern the cycle restarts from its start.
//
// Phases are unsigned 32-bit and wrap by definition; comparisons read them
// as signed values.
//
// Threads as in Effector: process/reset/patternTop on the audio thread,
// setParameter and setTempo from any thread; all real-time-safe.

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/effects/dirty_span.h"
#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class GrainShifter final : public Effector {
 public:
  static constexpr uint32_t kLineLength = 131072;

  struct Targets {
    uint32_t cycleIncrement;  // per sample, one cycle = 2³²
    int32_t grainLength;      // samples, at most 131072
    int32_t balance;          // Q15
    int32_t startPhase;       // signed phase at which the live grain starts
  };
  // Tempo in 1/128 BPM from tenths of BPM.
  static uint32_t tempo128For(uint32_t tempoTenths);
  static Targets targetsFor(int32_t speed, int32_t balance, uint32_t tempo128);

  GrainShifter();

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void setTempo(uint32_t tempoTenths) override;
  void patternTop() override;
  void reset() override;
  uint32_t clearAhead(uint32_t budget) override;

  int32_t speed() const { return edits_.first(); }
  int32_t balance() const { return edits_.second(); }
  uint32_t tempo128() const { return tempo128_.load(std::memory_order_relaxed); }
  int32_t phase() const { return static_cast<int32_t>(phase_); }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(speed(), balance(), tempo128()); }

  EditPair edits_;
  std::atomic<uint32_t> tempo128_{15360};
  TargetExchange<Targets> exchange_;
  Targets active_{24347, 22050, 0, -536870912};
  std::atomic<bool> restart_{false};
  uint32_t phase_ = 0;
  int64_t recordState_ = 0;
  int64_t selectState_ = 0;
  int64_t balanceState_ = 0;
  int64_t grainState_ = 0;  // grain length × 32768
  uint32_t write_ = 0;
  DirtySpan written_{kLineLength};
  std::unique_ptr<int16_t[]> lineA_;
  std::unique_ptr<int16_t[]> lineB_;
};
