#include "engine/seq/seq_tracks.h"

#include <algorithm>
#include <cmath>

#include "engine/interfaces/seq_listener.h"
#include "engine/seq/step_clock.h"

void rotatePlayedSteps(uint8_t (&values)[64], int32_t offset, int32_t lastStep, int32_t end) {
  lastStep = std::clamp(lastStep, 1, 16);
  end = std::clamp(end, 0, 64);
  int32_t played[64];
  int32_t count = 0;
  for (int32_t k = 0; k < end; ++k) {
    if (k % 16 < lastStep) played[count++] = k;
  }
  if (count == 0) return;
  if (offset < 0) offset += count;
  offset = ((offset % count) + count) % count;
  if (offset == 0) return;
  uint8_t rotated[64];
  for (int32_t i = 0; i < count; ++i) rotated[i] = values[played[(i + offset) % count]];
  for (int32_t i = 0; i < count; ++i) values[played[i]] = rotated[i];
}

namespace {

void rotateAtomicBytes(std::array<std::atomic<uint8_t>, 64>& steps, int32_t offset, int32_t lastStep, int32_t end) {
  uint8_t values[64];
  for (int32_t i = 0; i < 64; ++i) values[i] = steps[i].load(std::memory_order_relaxed);
  rotatePlayedSteps(values, offset, lastStep, end);
  for (int32_t i = 0; i < 64; ++i) steps[i].store(values[i], std::memory_order_relaxed);
}

}  // namespace

// ---------------------------------------------------------------- SeqTrack

void SeqTrack::readLengths() {
  halfPair_ = clock_->halfPair();
  evenStep_ = clock_->evenStep();
  oddStep_ = clock_->oddStep();
  swing_ = clock_->swing();
}

float SeqTrack::lengthOf(int32_t s) const {
  if (stepsPerBar_ % 2 == 1 && isLastOfBar(s)) return halfPair_;
  return isEvenPosition(s) ? evenStep_ : oddStep_;
}

void SeqTrack::prepare(int32_t start) {
  newStep_ = true;
  posInStep_ = 0.0f;
  readLayout(false);
  clampLoopBar();
  step_ = startStepFor(start);
  readLengths();
  stepLength_ = lengthOf(step_);
}

void SeqTrack::setLoopBar(int32_t bar) {
  loop_ = true;
  loopBar_ = bar;
  clampLoopBar();
}

void SeqTrack::clearLoop() {
  loop_ = false;
  loopBar_ = 0;
}

void SeqTrack::nextStep() {
  if (loop_) {
    const int32_t first = loopBar_ * stepsPerBar_;
    const int32_t next = step_ + 1;
    step_ = (next < first || next > first + stepsPerBar_ - 1) ? first : next;
  } else {
    step_ = step_ + 1 >= totalSteps_ ? 0 : step_ + 1;
  }
  readLayout(true);
  clampLoopBar();
  if (step_ >= totalSteps_) step_ = 0;
  // Tempo and swing change only at pair boundaries.
  if (isEvenPosition(step_)) readLengths();
  stepLength_ = lengthOf(step_);
}

void SeqTrack::applyClockTicks() {
  if (internalClock_) return;
  bool moved = false;
  for (;;) {
    // A swung even step may legitimately lag up to half a pair behind.
    const int32_t needed = (isEvenPosition(step_) && !isLastOfBar(step_)) ? 9 : kTicksPerStep;
    if (clockTicks_ < needed) break;
    clockTicks_ -= kTicksPerStep;
    nextStep();
    moved = true;
  }
  if (moved) {
    posInStep_ = 0.0f;
    newStep_ = true;
  }
}

void SeqTrack::syncTo(int32_t step, float posInStep) {
  if (step != step_) {
    step_ = step;
    readLayout(false);
    clampLoopBar();
    if (isEvenPosition(step_)) readLengths();
    stepLength_ = lengthOf(step_);
    newStep_ = true;
  }
  posInStep_ = posInStep;
}

template <class Hooks>
void SeqTrack::run(int32_t offset, int32_t frames, Hooks& hooks) {
  int32_t frame = offset;
  int32_t remaining = frames;
  while (remaining > 0) {
    int32_t k;
    if (!internalClock_ && posInStep_ >= stepLength_) {
      if (clockTicks_ >= kTicksPerStep) {
        // The step was only waiting for its ticks: the next one starts here.
        clockTicks_ -= kTicksPerStep;
        nextStep();
        posInStep_ = 0.0f;
        newStep_ = true;
        continue;
      }
      k = remaining;  // the step is over; its end waits for the clock
    } else {
      k = std::min(std::max(static_cast<int32_t>(stepLength_ - posInStep_), 1), remaining);
    }
    // A step is entered less than one frame after it began, so its start
    // lands on the frame the track is at.
    if (newStep_ && posInStep_ >= 0.0f) {
      newStep_ = false;
      hooks.stepStart(frame);
    }
    hooks.stretch(frame, k);
    posInStep_ += static_cast<float>(k);
    frame += k;
    remaining -= k;
    if (posInStep_ < stepLength_) continue;
    if (internalClock_) {
      posInStep_ -= stepLength_;
      nextStep();
      newStep_ = true;
    } else if (clockTicks_ >= kTicksPerStep) {
      clockTicks_ -= kTicksPerStep;
      nextStep();
      posInStep_ = 0.0f;
      newStep_ = true;
    }
  }
}

// ------------------------------------------------------------ TriggerTrack

void TriggerTrack::attach(int32_t part, const StepClock* clock, SeqListener* listener,
                          const std::atomic<uint64_t>* accentRow) {
  part_ = part;
  attachClock(clock);
  listener_ = listener;
  accentRow_ = accentRow;
}

void TriggerTrack::setStep(int32_t step, bool on) {
  if (step < 0 || step > 63) return;
  steps_[step].store(on ? 1 : 0, std::memory_order_relaxed);
}

bool TriggerTrack::stepOn(int32_t step) const {
  if (step < 0 || step > 63) return false;
  return steps_[step].load(std::memory_order_relaxed) != 0;
}

void TriggerTrack::clearSteps() {
  for (auto& s : steps_) s.store(0, std::memory_order_relaxed);
}

void TriggerTrack::rotate(int32_t offset, int32_t lastStep, int32_t end) {
  rotateAtomicBytes(steps_, offset, lastStep, end);
}

struct TriggerHooks {
  TriggerTrack& t;
  void stepStart(int32_t frame) {
    const int32_t p = t.patternStep();
    if (p < 0 || p > 63 || !t.stepOn(p)) return;
    const bool accent = (t.accentRow_->load(std::memory_order_relaxed) >> p) & 1;
    t.listener_->stepTriggered(frame, t.part_, accent);
  }
  void stretch(int32_t, int32_t) {}
};

void TriggerTrack::play(int32_t offset, int32_t frames) {
  TriggerHooks hooks{*this};
  run(offset, frames, hooks);
}

// ------------------------------------------------------------- MotionTrack

bool MotionTrack::interpolatesFor(ParamId id) {
  if (id < 0) return false;
  if (id < 128) {
    const int32_t index = id % 16;
    return index != kWave && index != kModType;
  }
  return id != kParamAccentLevel && id != kParamEffectType && id != kParamEffectOnOff;
}

void MotionTrack::attach(ParamId id, const StepClock* clock, SeqListener* listener, const SeqTrack* timing) {
  id_ = id;
  timing_ = timing;
  interpolate_ = interpolatesFor(id);
  attachClock(clock);
  listener_ = listener;
  for (auto& s : steps_) s.store(kNoValue, std::memory_order_relaxed);
}

void MotionTrack::request() {
  if (!exists_.load(std::memory_order_acquire)) {
    freshStart_.store(true, std::memory_order_relaxed);
    active_.store(true, std::memory_order_relaxed);
    exists_.store(true, std::memory_order_release);
  } else {
    active_.store(true, std::memory_order_release);
  }
}

void MotionTrack::clear() {
  if (!active_.load(std::memory_order_acquire)) return;
  active_.store(false, std::memory_order_release);
  for (auto& s : steps_) s.store(kNoValue, std::memory_order_relaxed);
}

void MotionTrack::remove() {
  exists_.store(false, std::memory_order_release);
  active_.store(false, std::memory_order_relaxed);
  recording_.store(false, std::memory_order_relaxed);
  for (auto& s : steps_) s.store(kNoValue, std::memory_order_relaxed);
}

void MotionTrack::setStep(int32_t step, bool trigger, int32_t value) {
  if (step < 0 || step > 63) return;
  const uint8_t v = static_cast<uint8_t>(value & 127);
  steps_[step].store(trigger ? v : static_cast<uint8_t>(v | kNoValue), std::memory_order_relaxed);
}

uint8_t MotionTrack::stepByte(int32_t step) const {
  if (step < 0 || step > 63) return kNoValue;
  return steps_[step].load(std::memory_order_relaxed);
}

void MotionTrack::rotate(int32_t offset, int32_t lastStep, int32_t end) {
  rotateAtomicBytes(steps_, offset, lastStep, end);
}

void MotionTrack::resetPlayback() {
  lastSent_ = -1;
  currentValue_ = -1;
  nextValue_ = -1;
  holding_ = true;  // the first step without a value releases the parameter
  releaseSent_ = false;
}

void MotionTrack::prepare(int32_t start) {
  SeqTrack::prepare(start);
  resetPlayback();
}

struct SilentHooks {
  void stepStart(int32_t) {}
  void stretch(int32_t, int32_t) {}
};

struct MotionHooks {
  MotionTrack& t;

  void stepStart(int32_t frame) {
    const uint8_t here = t.stepByte(t.patternStep());
    const int32_t following = t.totalSteps() > 0 ? (t.step() + 1) % t.totalSteps() : 0;
    const uint8_t next = t.stepByte(t.patternStepOf(following));
    const bool hasValue = (here & MotionTrack::kNoValue) == 0;
    t.currentValue_ = t.nextValue_ = t.lastSent_;
    if (hasValue) t.currentValue_ = t.nextValue_ = here;
    if ((next & MotionTrack::kNoValue) == 0) t.nextValue_ = next;
    if (t.isRecording()) return;
    if (hasValue) {
      if (here != t.lastSent_) {
        t.lastSent_ = here;
        t.listener_->motionValue(frame, t.id_, here);
        t.holding_ = true;
      }
    } else if (t.holding_) {
      t.listener_->targetTriggered(frame, t.id_);
      t.holding_ = false;
      t.lastSent_ = -1;
      // Back on its knob value, the parameter has nothing to glide from.
      t.currentValue_ = -1;
    }
  }

  void stretch(int32_t frame, int32_t frames) {
    const int32_t from = t.currentValue_;
    const int32_t to = t.nextValue_;
    if (!t.interpolate_ || from < 0 || to < 0 || from == to || t.isRecording()) return;
    const float length = t.stepLength();
    if (length <= 0.0f) return;
    const int32_t delta = to - from;
    const int32_t interval = std::max(static_cast<int32_t>(std::fabs(length / static_cast<float>(delta))), 1);
    const float start = t.posInStep();
    for (int32_t d = 1; d < frames; d += interval) {
      // The value belongs to the frame's own position within the step.
      const float pos = start + static_cast<float>(d);
      if (pos >= length) break;
      const int32_t value =
          std::clamp(static_cast<int32_t>(pos * static_cast<float>(delta) / length + static_cast<float>(from)), 0, 127);
      if (value != t.lastSent_) {
        t.lastSent_ = value;
        t.listener_->motionValue(frame + d, t.id_, value);
        t.holding_ = true;
      }
    }
  }
};

void MotionTrack::play(int32_t offset, int32_t frames) {
  // A track that does not exist keeps no time at all; the sequencer skips it
  // for every timing operation, and it joins in here when it appears.
  if (!exists_.load(std::memory_order_acquire)) return;
  // Looked at before it is taken: the exchange is a locked instruction,
  // and every existing track comes here in every slice.
  if (freshStart_.load(std::memory_order_acquire) && freshStart_.exchange(false, std::memory_order_acq_rel)) {
    if (timing_) static_cast<SeqTrack&>(*this) = *timing_;
    resetPlayback();
    newStep_ = true;
  }
  if (!active_.load(std::memory_order_acquire)) {
    if (!releaseSent_) {
      listener_->targetTriggered(offset, id_);
      releaseSent_ = true;
      lastSent_ = -1;
      holding_ = false;
      currentValue_ = nextValue_ = -1;
    }
    SilentHooks silent;
    run(offset, frames, silent);
    return;
  }
  releaseSent_ = false;
  MotionHooks hooks{*this};
  run(offset, frames, hooks);
}
