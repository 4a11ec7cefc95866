#include "engine/effects/sarnek_filter.h"

#include <algorithm>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

namespace {

// -(1 - 2⁻²²) in 32 fractional bits; two passes keep a state with a loss
// of about 2⁻²¹ per frame so that nothing rings forever.
constexpr int64_t kLeak = -4294966272;

inline int64_t leak(int64_t state) { return (((state * kLeak) >> 32) * kLeak) >> 32; }

SarnekFilter::Coefficients coefficients(int64_t k, int64_t r) {
  const uint64_t u = static_cast<uint64_t>(std::max<int64_t>(k, 1367566549) - 1367566549);
  const int64_t p = static_cast<int64_t>((u * u) >> 38);
  const int64_t d0 = 16777216 - ((3 * p) >> 1);
  const int64_t d = (d0 * (r >> 7)) >> 24;
  return {((16777216 - d) * (16777216 - (k >> 8))) >> 24, (((d >> 1) + 8388608) * (k >> 7)) >> 24};
}

}  // namespace

SarnekFilter::Targets SarnekFilter::targetsFor(int32_t cutoff, int32_t resonance) {
  const int32_t k = fx::kFilterCutoff[(cutoff & 127) + fx::kCutoffOffset];
  const int32_t r = fx::kFilterResonance[resonance & 127];
  const int64_t g = ((std::min<int64_t>(((int64_t{r} >> 7) * -64) + 1073741760, 16777215) >> 1) + 8388608) >> 9;
  return {k, r, static_cast<int32_t>(g)};
}

SarnekFilter::Coefficients SarnekFilter::coefficientsFor(int32_t cutoff, int32_t resonance) {
  const Targets t = targetsFor(cutoff, resonance);
  return coefficients(t.cutoff, t.resonance);
}

SarnekFilter::SarnekFilter(int32_t output) : output_(output) {
  setParameter(2, 0);
  exchange_.take(active_, [this] { return current(); });
  const Coefficients c = coefficients(active_.cutoff, active_.resonance);
  targetDamping_ = damping_ = c.damping;
  targetFrequency_ = frequency_ = c.frequency;
}

int32_t SarnekFilter::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

void SarnekFilter::reset() {
  band_[0] = band_[1] = 0;
  low_[0] = low_[1] = 0;
  // The glide starts on the newest settings, as in a new filter, not on
  // the targets of whatever block ran last.
  exchange_.take(active_, [this] { return current(); });
  const Coefficients c = coefficients(active_.cutoff, active_.resonance);
  targetDamping_ = damping_ = c.damping;
  targetFrequency_ = frequency_ = c.frequency;
  dampingStep_ = frequencyStep_ = 0;
}

void SarnekFilter::process(int16_t* const* channels, int32_t frames) {
  const bool immediate = isImmediate();
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) {
      exchange_.take(active_, [this] { return current(); });
      const Coefficients next = coefficients(active_.cutoff, active_.resonance);
      // The glide is this effect's smoothing: a newly selected filter
      // starts on its coefficients at once.
      if (immediate) {
        targetDamping_ = next.damping;
        targetFrequency_ = next.frequency;
      }
      damping_ = targetDamping_;
      frequency_ = targetFrequency_;
      dampingStep_ = (next.damping - targetDamping_) >> 6;
      frequencyStep_ = (next.frequency - targetFrequency_) >> 6;
      targetDamping_ = next.damping;
      targetFrequency_ = next.frequency;
    }
    const int64_t q = damping_;
    const int64_t f = frequency_;
    for (int ch = 0; ch < 2; ++ch) {
      int16_t& sample = channels[ch][i];
      const int64_t x = (int64_t{active_.gain} * sample) >> 6;
      int64_t b = leak(band_[ch]);
      int64_t l = leak(low_[ch]);
      const int64_t h = fx::clampSym(x - (((b * q) >> 23) + l), kStateLimit);
      b = fx::clampSym(((h * f) >> 23) + b, kStateLimit);
      l = fx::clampSym(((b * f) >> 23) + l, kStateLimit);
      band_[ch] = b;
      low_[ch] = l;
      const int64_t out = output_ == kHighPass ? h : (output_ == kBandPass ? b : l);
      sample = fx::sat16(out >> 9);
    }
    frequency_ += frequencyStep_;
    damping_ += dampingStep_;
  }
}
