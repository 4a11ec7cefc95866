#include "engine/seq/step_cursor.h"

#include <algorithm>

#include "engine/seq/step_clock.h"

int32_t StepCursor::patternStepOf(int32_t s) const {
  if (stepsPerBar_ <= 0) return 0;
  return (s / stepsPerBar_) * 16 + s % stepsPerBar_;
}

int32_t StepCursor::internalStepOf(int32_t patternStep) const {
  if (totalSteps_ <= 0) return 0;
  const int32_t s = (patternStep / 16) * stepsPerBar_ + patternStep % 16;
  return s % totalSteps_;
}

int32_t StepCursor::positionInBar(int32_t s) const {
  return stepsPerBar_ > 0 ? s % stepsPerBar_ : 0;
}

void StepCursor::readLayout(bool remap) {
  const int32_t oldSpb = stepsPerBar_;
  length_ = clock_->length();
  stepsPerBar_ = clock_->stepsPerBar();
  totalSteps_ = clock_->totalSteps();
  if (remap && oldSpb != stepsPerBar_ && oldSpb > 0) {
    step_ = (step_ / oldSpb) * stepsPerBar_ + step_ % oldSpb;
  }
}

void StepCursor::clampLoopBar() {
  loopBar_ = std::clamp(loopBar_, 0, std::max(length_ - 1, 0));
}

int32_t StepCursor::startStepFor(int32_t start) const {
  if (loop_) {
    const int32_t s = loopBar_ * stepsPerBar_;
    return (s >= 0 && s < totalSteps_) ? s : 0;
  }
  const int32_t p = std::max(start, 0);
  return p < 64 ? internalStepOf(p) : 0;
}
