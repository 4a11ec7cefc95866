#pragma once
// The sequencer's play position: the step that plays, the bar loop, step
// jumps and the points where a pending pattern may take over.
//
// It always runs with the unswung step (halfPair); the tracks follow it with
// their swung lengths and take its step whenever it asks for a resync.
//
// Render thread only, except the jump mask, which the interface sets while
// a step-jump button is held (an atomic 64-bit set of pattern steps).

#include <atomic>
#include <cstdint>

#include "engine/seq/step_cursor.h"

class PatternPosition : public StepCursor {
 public:
  // Spacing in steps of the "Pattern Change Grid" settings 0-7; 0 = only at
  // the end of the pattern.
  static constexpr int32_t kGridSpacing[8] = {0, 2, 3, 4, 6, 8, 12, 16};

  explicit PatternPosition(const StepClock* clock) : StepCursor(clock) {}

  void prepare(int32_t start);
  // Advances up to `frames` and stops early right after entering a step at an
  // even position in its bar or a change point; returns the frames taken.
  int32_t advance(int32_t frames);
  // External clock: one step for every six counted ticks.
  void applyClockTicks();
  void setLoopBar(int32_t bar);
  void clearLoop();
  void setInternalClock(bool on) { internalClock_ = on; }

  // The "Pattern Change Grid" setting (0-7) in force for the next steps.
  void setChangeGrid(int32_t setting) { grid_ = setting; }

  // Any thread.
  void setJumpStep(int32_t step, bool on);
  void clearJumpSteps() { jumpMask_.store(0, std::memory_order_relaxed); }
  uint64_t jumpMask() const { return jumpMask_.load(std::memory_order_relaxed); }

  // The current pattern step, 0-63.
  int32_t clampedPatternStep() const;
  int32_t lengthInFrames() const;
  float stepLength() const { return stepLength_; }

  bool resync() const { return resync_; }
  void clearResync() { resync_ = false; }
  bool changePoint() const { return changePoint_; }
  int32_t changeStep() const { return changeStep_; }
  void clearChangePoint() { changePoint_ = false; }
  bool loopWrapped() const { return loopWrapped_; }
  void clearLoopWrapped() { loopWrapped_ = false; }

 private:
  // Settles a newly entered step; returns whether it is a change point.
  bool normalise();

  bool resync_ = false;
  bool changePoint_ = false;
  float stepLength_ = 0.0f;
  bool loopWrapped_ = false;
  std::atomic<uint64_t> jumpMask_{0};
  int32_t changeStep_ = 0;
  int32_t grid_ = 0;
};
