#include "engine/voices/decay_envelope.h"

#include <algorithm>

#include "engine/voices/fixed_point.h"

uint32_t DecayEnvelope::holdFor(int32_t decay, uint32_t n) {
  const uint32_t d = static_cast<uint32_t>(std::clamp(decay, 0, 127));
  if (d < 100) return n / 100 * (d + 1);
  if (d < 120) return n + n / 10 * (d - 99);
  return 3 * n + (n >> 3) * (d - 119);
}

uint32_t DecayEnvelope::stepLengthFor(uint32_t hold) {
  const uint32_t span = (hold >> 1) + (hold >> 2);
  return span < 127 ? 1 : span / 127;
}

void DecayEnvelope::start(int32_t decay, uint32_t length, uint32_t rate, float outputRate) {
  decay_ = decay;
  stage_ = kTopStage;
  level_.setValue(kTopStage * kTopStage * kStageScale);
  naturalLength_ = rate == 0 ? 0
                             : static_cast<uint32_t>(outputRate * static_cast<float>(length) /
                                                     static_cast<float>(rate));
  hold_ = holdFor(decay, naturalLength_);
  stepLength_ = stepLengthFor(hold_);
  counter_ = 0;
  stepCounter_ = 0;
  finished_ = false;
}

void DecayEnvelope::setDecay(int32_t decay) {
  if (finished_) return;
  decay_ = decay;
  uint32_t hold = holdFor(decay, naturalLength_);
  // While the level still holds, a shorter hold must not reach back behind
  // the sample already played: the staircase starts from here at the earliest.
  if (counter_ <= hold_) hold = std::max(hold, counter_);
  hold_ = hold;
  stepLength_ = stepLengthFor(hold_);
}
