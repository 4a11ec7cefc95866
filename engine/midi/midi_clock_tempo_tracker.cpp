#include "engine/midi/midi_clock_tempo_tracker.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/host_time.h"

int32_t MidiClockTempoTracker::window() const {
  // The tempo is finite and positive (guarded where it is written), so the
  // conversion is defined; the clamp bounds it before it becomes an index.
  const int32_t t = static_cast<int32_t>(std::clamp(tempo_, double{kMinBpm}, double{kMaxBpm}));
  return (t - kMinBpm) * (kRingSize - 6) / (kMaxBpm - kMinBpm) + kMinWindow;
}

void MidiClockTempoTracker::tick(uint64_t hostTime) {
  const platform::Timebase tb = platform::hostTimebase();
  const int64_t ms = static_cast<int64_t>(hostTime * tb.numer / tb.denom) / 1000000;
  if (tickCount_ == 0) {
    // A new run starts from the previous estimate.
    writeIndex_ = 0;
    lastTimeMs_ = ms;
    intervals_.fill(kMsPerTickAt1Bpm / tempo_);
  } else if (tickCount_ == 1) {
    const int64_t interval = ms - lastTimeMs_;
    lastTimeMs_ = ms;
    // Two clocks within one millisecond (or a clock stamped before the
    // previous one) say nothing about the tempo: the estimate and the ring
    // stay as they were rather than dividing by zero.
    if (interval > 0) {
      tempo_ = kMsPerTickAt1Bpm / static_cast<double>(interval);
      intervals_.fill(static_cast<double>(interval));
    }
  } else {
    intervals_[static_cast<size_t>(writeIndex_)] = static_cast<double>(ms - lastTimeMs_);
    writeIndex_ = (writeIndex_ + 1) % kRingSize;
    lastTimeMs_ = ms;
    const int32_t k = window();
    double sum = 0.0;
    int32_t i = writeIndex_;
    for (int32_t n = 0; n < k; ++n) {
      i = (i + kRingSize - 1) % kRingSize;
      sum += intervals_[static_cast<size_t>(i)];
    }
    const double avg = sum / k;
    // A mean of zero or below (clocks bunched into one millisecond) keeps
    // the previous estimate: a tempo of 0 would make the next run's ring
    // prime divide by zero.
    if (avg > 0.0) tempo_ = std::floor(kMsPerTickAt1Bpm / avg + 0.5);
  }
  ++tickCount_;
}

ClockTempoTrackerFactory midiClockTempoTrackerFactory() {
  return [] { return std::make_unique<MidiClockTempoTracker>(); };
}
