#include "engine/voices/modulation_source.h"

#include <algorithm>

#include "engine/voices/fixed_point.h"
#include "engine/voices/voice_tables.h"

ModulationSource::ModulationSource(float sampleRate)
    : k_(frequencyScale(sampleRate)),
      k2_(k_ >> 1),
      rate_(voiceTables().modRate),
      envTime_(voiceTables().modEnvTime) {
  computeRates();
}

void ModulationSource::start(int32_t type, int32_t speed, int32_t depth) {
  saw_ = 0;
  previousSaw_ = 0;
  envelope_ = q23::kMax;
  phase_ = 0;
  output_ = outputOffset_ = phaseOffset_ = 0;
  setParameters(type, speed, depth);
}

void ModulationSource::setParameters(int32_t type, int32_t speed, int32_t depth) {
  type_ = type;
  speed_ = std::clamp<int32_t>(speed, 0, 127);
  depth_ = std::clamp<int32_t>(depth, 0, 127) - 64;
  computeRates();
}

void ModulationSource::computeRates() {
  const uint64_t k = static_cast<uint64_t>(k_);
  const uint64_t r = static_cast<uint64_t>(rate_[speed_]);
  increment_ = static_cast<int32_t>((((r * 3895820302ull + 73014444032ull) >> 32) * k) >> 23);
  const uint64_t e = static_cast<uint64_t>(envTime_[speed_]);
  envelopeDecrement_ = static_cast<int32_t>(((((e * 17162242ull) >> 32) + 34u) * k) >> 23);
  if (type_ == 4) {
    noiseAmount_ = q23::clamp((static_cast<int64_t>(modDepthAmount(depth_ + 64)) * 3) >> 1);
  } else {
    noiseAmount_ = 0;
  }
}
