#pragma once
// The tempo of an incoming MIDI clock (24 clocks per quarter note), from the
// spacing of the clocks. The averaging window follows the tempo: few
// intervals when slow (quick reaction), many when fast, where one
// millisecond is a large part of an interval.
//
// Render thread only (the sequencer ticks it while it executes clocks):
// plain arithmetic on a fixed ring, no lock, no allocation.

#include <array>
#include <cstdint>

#include "engine/seq/clock_tempo_tracker.h"

class MidiClockTempoTracker final : public ClockTempoTracker {
 public:
  static constexpr int32_t kRingSize = 100;
  // Milliseconds per clock at 1 BPM: 60,000 ms / 24 clocks.
  static constexpr double kMsPerTickAt1Bpm = 2500.0;
  static constexpr int32_t kMinBpm = 20;
  static constexpr int32_t kMaxBpm = 1000;
  static constexpr int32_t kMinWindow = 5;

  MidiClockTempoTracker() = default;

  void reset() override { tickCount_ = 0; }
  void tick(uint64_t hostTime) override;
  double tempo() const override { return tempo_; }

  // Intervals the estimate averages at the current tempo (5-99).
  int32_t window() const;
  uint64_t tickCount() const { return tickCount_; }

 private:
  std::array<double, kRingSize> intervals_{};
  int32_t writeIndex_ = 0;
  int64_t lastTimeMs_ = 0;
  double tempo_ = 120.0;
  uint64_t tickCount_ = 0;
};

// The factory the sequencer's services take.
ClockTempoTrackerFactory midiClockTempoTrackerFactory();
