#pragma once
// Effect type 1, "BPM Delay": a cross-fed stereo delay whose time is a note
// value at the sequencer tempo (edit "Time", fourteen notes from "1/64" to
// "1/1"), edit "Depth" the feedback. A new time or tempo glides the delay
// instead of jumping (time constant about 1365 samples).
//
// The note is capped at the longest one that fits the 131,072-sample line
// at the tempo: a constant below 131072 × BPM, so at 50 BPM "1/1" plays
// "1/2". The echo lands exactly the note length after the sound.
//
// Threads as in Effector: process/reset on the audio thread, setParameter
// and setTempo from any thread; all real-time-safe.

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/effects/dirty_span.h"
#include "engine/effects/effector.h"
#include "engine/effects/target_exchange.h"

class BpmSyncDelay final : public Effector {
 public:
  static constexpr uint32_t kLineLength = 131072;

  struct Targets {
    int32_t dry;    // Q15
    int32_t wet;    // Q15
    int32_t delay;  // whole samples, 1..131071
  };
  // The longest note index that fits the line at a whole-BPM tempo.
  static int32_t longestNoteFor(uint32_t bpm);
  // The delay in samples of a "Time" value at a whole-BPM tempo.
  static int32_t delayFor(int32_t time, uint32_t bpm);
  static Targets targetsFor(int32_t time, int32_t depth, uint32_t bpm);
  // The display text of a "Time" value ("1/4" and so on).
  static const char* timeText(int32_t time);

  BpmSyncDelay();

  void process(int16_t* const* channels, int32_t frames) override;
  int32_t setParameter(int32_t index, int32_t value) override;
  void setTempo(uint32_t tempoTenths) override;
  void reset() override;
  uint32_t clearAhead(uint32_t budget) override;

  int32_t time() const { return edits_.first(); }
  int32_t depth() const { return edits_.second(); }
  uint32_t bpm() const { return bpm_.load(std::memory_order_relaxed); }
  TryLock& parameterLock() { return exchange_.lock(); }

 private:
  Targets current() const { return targetsFor(time(), depth(), bpm()); }

  EditPair edits_;
  std::atomic<uint32_t> bpm_{120};
  TargetExchange<Targets> exchange_;
  Targets active_{32767, 0, 1378};
  int64_t dryState_ = 0;
  int64_t wetState_ = 0;
  int64_t delayState_ = 0;  // samples with 12 fractional bits
  uint32_t write_ = 0;
  DirtySpan written_{kLineLength};
  int64_t feedbackL_ = 0;
  int64_t feedbackR_ = 0;
  std::unique_ptr<int16_t[]> left_;
  std::unique_ptr<int16_t[]> right_;
};
