#include "engine/effects/talking_modulator.h"

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

namespace {

constexpr int64_t kStateLimit = 1073741823;

// Two passes through -32766/32768: the state kept with a slight loss, in
// its own units.
inline int64_t leak(int64_t state) { return (((state >> 15) * -32766) >> 15) * -32766; }

}  // namespace

TalkingModulator::Targets TalkingModulator::targetsFor(int32_t formant, int32_t offset) {
  formant &= 127;
  const int64_t s = ((int64_t{fx::kLinearLaw[offset & 127]} * 5) >> 3) + 4096;
  return {static_cast<int32_t>((s * kBand0) >> 14), static_cast<int32_t>((s * fx::kFormant1[formant]) >> 14),
          static_cast<int32_t>((s * fx::kFormant2[formant]) >> 14),
          static_cast<int32_t>((s * fx::kFormant3[formant]) >> 14)};
}

TalkingModulator::TalkingModulator() { setParameter(2, 0); }

int32_t TalkingModulator::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

void TalkingModulator::reset() {
  band_.fill(0);
  low_.fill(0);
  coefState_.fill(0);
}

void TalkingModulator::process(int16_t* const* channels, int32_t frames) {
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  const bool immediate = isImmediate();
  // Band 0 has a fixed frequency and needs no glide.
  const int64_t c0 = fx::kSmoothImmediate;
  const int64_t c = immediate ? fx::kSmoothImmediate : 1010;
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) exchange_.take(active_, [this] { return current(); });
    const int64_t x = ((int64_t{inOutL[i]} + inOutR[i]) >> 1) * 16384;
    int64_t sum = 0;
    for (int k = 0; k < kNumBands; ++k) {
      coefState_[k] = fx::smooth(coefState_[k], active_[k], k == 0 ? c0 : c);
      const int64_t fk = coefState_[k] >> 15;
      const int64_t b = leak(band_[k]);
      const int64_t l = leak(low_[k]);
      const int64_t h = fx::clampSym(x - kDamping * (b >> 15) - l, kStateLimit);
      band_[k] = fx::clampSym(((h >> 15) * fk) + b, kStateLimit);
      sum += band_[k] >> 15;
      low_[k] = fx::clampSym(l + fk * (band_[k] >> 15), kStateLimit);
    }
    const int16_t out = fx::sat16(sum);
    inOutL[i] = out;
    inOutR[i] = out;
  }
}
