#include "engine/effects/reverb.h"

#include <algorithm>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

namespace {

constexpr uint32_t kMask = Reverb::kLineLength - 1;

// Two passes through a gain of -32766/32768: the line's value in phase,
// reduced by a hair so that the loop always loses a little.
inline int32_t twiceInverted(int32_t v) {
  v = (v * -32766) >> 15;
  return (v * -32766) >> 15;
}

// One allpass stage on line `line` with `taps` of delay.
inline int16_t allpass(int16_t* line, uint32_t w, uint32_t taps, int32_t in) {
  const int32_t d = twiceInverted(line[(w - taps) & kMask]);
  const int16_t a = fx::sat16(in - ((d * Reverb::kAllpassGain) >> 15));
  line[w] = a;
  return fx::sat16(d + ((a * Reverb::kAllpassGain) >> 15));
}

}  // namespace

Reverb::Targets Reverb::targetsFor(int32_t time, int32_t level) {
  time &= 127;
  level &= 127;
  return {((fx::kConvexLaw[time] * 5) >> 4) + 20480, fx::kSquareLaw[level]};
}

Reverb::Reverb() : lines_(new int16_t[5 * kLineLength]()) {
  setParameter(2, 0);
  exchange_.take(active_, [this] { return current(); });
  reset();
}

int32_t Reverb::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

void Reverb::reset() {
  // The states settle on the newest targets, not on ones an edit since
  // has replaced: a reset effect then sounds the same whatever came before.
  exchange_.take(active_, [this] { return current(); });
  std::fill_n(lines_.get(), 5 * kLineLength, int16_t{0});
  levelState_ = int64_t{active_.level} << 15;
  levelNow_ = active_.level;
  inputGain_ = static_cast<int32_t>(levelState_ >> 18) + 4096;
  feedbackState_ = int64_t{active_.feedback} << 15;
  feedback_ = active_.feedback;
}

void Reverb::process(int16_t* const* channels, int32_t frames) {
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  int16_t* comb1 = lines_.get();
  int16_t* comb2 = comb1 + kLineLength;
  int16_t* ap1 = comb2 + kLineLength;
  int16_t* ap2 = ap1 + kLineLength;
  int16_t* right = ap2 + kLineLength;
  const int64_t c = isImmediate() ? fx::kSmoothImmediate : fx::kSmoothNormal;
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) exchange_.take(active_, [this] { return current(); });
    if (levelNow_ != active_.level) {
      levelState_ = fx::smooth(levelState_, active_.level, c);
      levelNow_ = static_cast<int32_t>(levelState_ >> 15);
      inputGain_ = static_cast<int32_t>(levelState_ >> 18) + 4096;
    }
    if (feedback_ != active_.feedback) {
      feedbackState_ = fx::smooth(feedbackState_, active_.feedback, c);
      feedback_ = static_cast<int32_t>(feedbackState_ >> 15);
    }

    const int32_t inL = inOutL[i];
    const int32_t inR = inOutR[i];
    const int32_t x = ((inL + inR) * inputGain_) >> 15;

    const int32_t fb1 = (twiceInverted(comb1[(write_ - kComb1) & kMask]) * feedback_) >> 15;
    const int16_t y1 = fx::sat16(x + fb1);
    comb1[write_] = y1;
    const int32_t c2 = (comb2[(write_ - kComb2) & kMask] * 32766) >> 15;
    const int32_t fb2 = (((c2 * -32766) >> 15) * feedback_) >> 15;
    const int16_t y2 = fx::sat16(x + fb2);
    comb2[write_] = y2;

    const int16_t s = fx::sat16(int32_t{y1} + y2);
    const int16_t o1 = allpass(ap1, write_, kAllpass1, s);
    const int16_t o2 = allpass(ap2, write_, kAllpass2, o1);
    const int32_t r = right[(write_ - kRightDelay) & kMask];
    right[write_] = o2;

    inOutL[i] = fx::sat16(inL + ((((o2 * levelNow_) >> 15) * kLeftWetScale) >> 15));
    inOutR[i] = fx::sat16(inR + ((levelNow_ * r) >> 15));
    write_ = (write_ + 1) & kMask;
  }
}
