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

int32_t ModulationSource::noiseStep() {
  noiseA_ = q23::clamp(noiseA_ + q23::mul(k2_, noiseB_));
  const int32_t noise =
      q23::clamp(static_cast<int64_t>(random_.next() >> 8) - (static_cast<int64_t>(noiseA_) + noiseB_));
  noiseB_ = q23::clamp(noiseB_ + q23::mul(noise, k2_));
  return noise;
}

void ModulationSource::step() {
  envelope_ = std::max(envelope_ - envelopeDecrement_, 0);
  previousSaw_ = saw_;
  phase_ = q23::wrap(static_cast<int64_t>(phase_) + increment_);
  saw_ = q23::wrap(-8388607LL - phase_);
  output_ = outputOffset_ = phaseOffset_ = 0;
  if (depth_ == 0) return;
  switch (type_) {
    case 0:
      output_ = saw_;
      break;
    case 1:
      output_ = q23::clamp(static_cast<int64_t>(saw_) + phase_);
      break;
    case 2: {
      const int64_t q = q23::clamp(static_cast<int64_t>(saw_) + phase_);
      output_ = q23::clamp((((q * saw_) >> 22) - 8388606) & ~int64_t{1});
      break;
    }
    case 3: {
      const int32_t noise = noiseStep();
      if (previousSaw_ < saw_) held_ = noise;
      output_ = held_;
      break;
    }
    case 4: {
      const int64_t q = q23::clamp(static_cast<int64_t>(saw_) + phase_);
      const int64_t t = q23::clamp((((q * saw_) >> 22) - 8388606) & ~int64_t{1});
      const int32_t noise = noiseStep();
      outputOffset_ = static_cast<int32_t>((static_cast<int64_t>(noiseAmount_) * envelope_) >> 24);
      phaseOffset_ = static_cast<int32_t>(q23::mul(q23::mul(t, noiseAmount_), noise));
      break;
    }
    case 5:
      output_ = envelope_;
      break;
    default:
      break;
  }
}
