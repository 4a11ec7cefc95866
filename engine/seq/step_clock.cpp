#include "engine/seq/step_clock.h"

#include <algorithm>

StepClock::StepClock(uint32_t ppqn, float sampleRate) : sampleRate_(sampleRate), ppqn_(ppqn) {}

void StepClock::update(int32_t tempo, int32_t swing, int32_t patternLength, int32_t lastStep) {
  length_ = patternLength;
  stepsPerBar_ = std::min(lastStep, 16);
  totalSteps_ = length_ * stepsPerBar_;
  if (tempo == tempo_ && swing == swing_) return;
  tempo_ = tempo;
  swing_ = swing;
  if (tempo <= 0) return;  // keep the last lengths rather than divide by zero
  const float ppqn = static_cast<float>(ppqn_);
  // Two steps (an eighth note), evaluated left to right in float.
  const float pair = sampleRate_ * 30.0f * ppqn / (static_cast<float>(tempo) * 0.1f * ppqn);
  halfPair_ = pair * 0.5f;
  evenStep_ = static_cast<float>(swing) * 0.01f * pair;
  oddStep_ = pair - evenStep_;
}

int32_t StepClock::lengthInFrames() const {
  return static_cast<int32_t>(halfPair_ * static_cast<float>(totalSteps_));
}
