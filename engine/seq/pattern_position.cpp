#include "engine/seq/pattern_position.h"

#include <algorithm>
#include <bit>

#include "engine/seq/step_clock.h"

void PatternPosition::prepare(int32_t start) {
  resync_ = false;
  changePoint_ = false;
  loopWrapped_ = false;  // a wrap from before the new start is stale
  posInStep_ = 0.0f;
  readLayout(false);
  clampLoopBar();
  stepLength_ = clock_->halfPair();
  step_ = startStepFor(start);
}

int32_t PatternPosition::advance(int32_t frames) {
  if (!internalClock_) {
    // Steps move only with the clock ticks; the frames still pass.
    posInStep_ += static_cast<float>(frames);
    return frames;
  }
  int32_t taken = 0;
  while (taken < frames) {
    const int32_t k = std::min(std::max(static_cast<int32_t>(stepLength_ - posInStep_), 1), frames - taken);
    posInStep_ += static_cast<float>(k);
    taken += k;
    if (posInStep_ < stepLength_) continue;
    posInStep_ -= stepLength_;
    const uint64_t mask = jumpMask();
    bool jump = false;
    int32_t next = step_ + 1;
    if (mask != 0) {
      // The next held step after this one, searching round all 64 slots.
      const int32_t from = clampedPatternStep();
      const uint64_t rotated = std::rotr(mask, (from + 1) & 63);
      const int32_t target = (from + 1 + std::countr_zero(rotated)) & 63;
      next = internalStepOf(target);
      jump = next != step_ + 1;
    }
    step_ = next;
    const bool cp = normalise();
    // The tracks swing odd steps on their own; they follow the position at
    // every pair boundary and after every jump.
    if (jump || isEvenPosition(step_)) resync_ = true;
    if (isEvenPosition(step_) || cp) break;
  }
  return taken;
}

void PatternPosition::applyClockTicks() {
  if (internalClock_) return;
  while (clockTicks_ >= kTicksPerStep) {
    clockTicks_ -= kTicksPerStep;
    ++step_;
    posInStep_ = 0.0f;
    normalise();
  }
}

bool PatternPosition::normalise() {
  readLayout(true);
  clampLoopBar();
  bool wrapped = false;
  if (loop_) {
    const int32_t first = loopBar_ * stepsPerBar_;
    if (step_ > first + stepsPerBar_ - 1) {
      step_ = first;
      loopWrapped_ = true;
    }
  } else if (step_ >= totalSteps_) {
    step_ = 0;
    wrapped = true;
  }
  if (isEvenPosition(step_)) stepLength_ = clock_->halfPair();
  if (loop_) return false;
  bool cp = wrapped;
  if (!cp && grid_ > 0 && grid_ < 8) {
    const int32_t spacing = std::min(stepsPerBar_, kGridSpacing[grid_]);
    cp = spacing >= 1 && positionInBar(step_) % spacing == 0;
  }
  if (cp) {
    changePoint_ = true;
    changeStep_ = patternStepOf(step_);
  }
  return cp;
}

void PatternPosition::setLoopBar(int32_t bar) {
  loop_ = true;
  loopBar_ = bar;
  clampLoopBar();
}

void PatternPosition::clearLoop() {
  loop_ = false;
  loopBar_ = 0;
  loopWrapped_ = false;
}

void PatternPosition::setJumpStep(int32_t step, bool on) {
  if (step < 0 || step > 63) return;
  const uint64_t bit = uint64_t{1} << step;
  if (on) {
    jumpMask_.fetch_or(bit, std::memory_order_relaxed);
  } else {
    jumpMask_.fetch_and(~bit, std::memory_order_relaxed);
  }
}

int32_t PatternPosition::clampedPatternStep() const { return std::clamp(patternStep(), 0, 63); }

int32_t PatternPosition::lengthInFrames() const {
  return static_cast<int32_t>(clock_->halfPair() * static_cast<float>(totalSteps_));
}
