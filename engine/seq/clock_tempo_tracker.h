#pragma once
// The tempo estimate of an incoming MIDI clock, as the sequencer uses it.
//
// The sequencer owns one tracker. It resets it when a clock run starts the
// transport, feeds it the host time of every clock it executes and reads the
// estimate straight afterwards. All three calls happen on the render thread,
// so an implementation must be plain arithmetic: no lock, no allocation.

#include <cstdint>
#include <functional>
#include <memory>

class ClockTempoTracker {
 public:
  virtual ~ClockTempoTracker() = default;
  // The next tick starts a new run; the estimate survives.
  virtual void reset() = 0;
  // One timing clock (24 per quarter note) at this host time.
  virtual void tick(uint64_t hostTime) = 0;
  // The estimate in BPM.
  virtual double tempo() const = 0;
};

using ClockTempoTrackerFactory = std::function<std::unique_ptr<ClockTempoTracker>()>;
