#include "engine/effects/decimator.h"

#include <algorithm>
#include <cstdlib>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

Decimator::Targets Decimator::targetsFor(int32_t frequency, int32_t bit) {
  frequency &= 127;
  return {static_cast<int32_t>((int64_t{fx::kRateLaw[127 - frequency]} * 64049) >> 16) + 1486, fx::bitMaskFor(bit)};
}

Decimator::Decimator() { setParameter(2, 0); }

int32_t Decimator::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

void Decimator::reset() {
  heldL_ = heldR_ = 0;
  holdPhase_ = 0;
  peak_ = 0;
  levelState_ = 0;
  gateOpen_ = false;
  gateGain_ = 0;
}

void Decimator::process(int16_t* const* channels, int32_t frames) {
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) exchange_.take(active_, [this] { return current(); });
    const int32_t inL = inOutL[i];
    const int32_t inR = inOutR[i];

    peak_ = std::max((peak_ * 32744) >> 15, std::max(std::abs(inL), std::abs(inR)));
    levelState_ = fx::smooth(levelState_, peak_, 255);
    const int64_t e = (levelState_ >> 15) - (gateOpen_ ? 32 : 48);
    gateOpen_ = e > 0;
    const int64_t rise = gateOpen_ ? 4391 : 0;
    const int64_t fall = gateOpen_ ? 4392 : 256;
    gateGain_ = fx::sat16(gateGain_ + rise - ((fall * gateGain_) >> 15));

    const int16_t old = static_cast<int16_t>(holdPhase_);
    holdPhase_ = static_cast<uint16_t>(holdPhase_ + static_cast<uint32_t>(active_.rateIncrement));
    if (old > static_cast<int16_t>(holdPhase_)) {
      heldL_ = fx::sat16(active_.bitMask & ((gateGain_ * inL) >> 15));
      heldR_ = fx::sat16(active_.bitMask & ((gateGain_ * inR) >> 15));
    }
    inOutL[i] = heldL_;
    inOutR[i] = heldR_;
  }
}
