#pragma once
// What the play position and every track share: the step layout copied from
// the step clock, the internal step with its position inside the step, the
// bar loop, the clock mode and the count of external clock ticks.
//
// Step numbering: the pattern has `length` bars of `stepsPerBar` played steps
// ("Last Step", at most 16). The internal step s counts only played steps,
// 0 .. totalSteps - 1; it is the pattern step (slot) bar × 16 + position with
// bar = s / stepsPerBar and position = s % stepsPerBar.
//
// Render thread only.

#include <cstdint>

class StepClock;

class StepCursor {
 public:
  // Ticks of a 24-per-quarter-note clock that make one step.
  static constexpr int32_t kTicksPerStep = 6;

  int32_t step() const { return step_; }
  float posInStep() const { return posInStep_; }
  int32_t length() const { return length_; }
  int32_t stepsPerBar() const { return stepsPerBar_; }
  int32_t totalSteps() const { return totalSteps_; }
  bool loop() const { return loop_; }
  int32_t loopBar() const { return loopBar_; }
  bool internalClock() const { return internalClock_; }
  int32_t clockTicks() const { return clockTicks_; }

  // The pattern step (slot 0-63) of the current internal step.
  int32_t patternStep() const { return patternStepOf(step_); }
  int32_t patternStepOf(int32_t internalStep) const;
  // The internal step of a pattern step; a position at or past the bar's
  // played steps carries into the next bar, and the result wraps.
  int32_t internalStepOf(int32_t patternStep) const;

  int32_t positionInBar(int32_t internalStep) const;
  bool isEvenPosition(int32_t internalStep) const { return positionInBar(internalStep) % 2 == 0; }
  bool isLastOfBar(int32_t internalStep) const { return positionInBar(internalStep) == stepsPerBar_ - 1; }

  void countClockTick() { ++clockTicks_; }
  void clearClockTicks() { clockTicks_ = 0; }

 protected:
  explicit StepCursor(const StepClock* clock = nullptr) : clock_(clock) {}
  void attachClock(const StepClock* clock) { clock_ = clock; }

  // Copies the layout from the clock. With remap, a changed bar width keeps
  // the current step's bar and position.
  void readLayout(bool remap);
  // loopBar stays inside the pattern.
  void clampLoopBar();
  // The step the prepare operations start from.
  int32_t startStepFor(int32_t start) const;

  const StepClock* clock_;
  int32_t length_ = 1;
  int32_t stepsPerBar_ = 16;
  int32_t totalSteps_ = 16;
  int32_t step_ = 0;
  float posInStep_ = 0.0f;
  bool loop_ = false;
  int32_t loopBar_ = 0;
  bool internalClock_ = true;
  int32_t clockTicks_ = 0;
};
