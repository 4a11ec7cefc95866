#include "engine/effects/short_delay.h"

#include <algorithm>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

ShortDelay::Targets ShortDelay::targetsFor(int32_t time, int32_t depth) {
  time &= 127;
  depth &= 127;
  const int64_t sq = std::max<int64_t>(fx::kSquareLaw[time], 5);
  return {static_cast<int32_t>((sq * kMaxDelay) >> 15),
          static_cast<int32_t>((int64_t{fx::kConvexLaw[depth]} * fx::kFeedbackLaw[time]) >> 15)};
}

ShortDelay::ShortDelay()
    : left_(new int16_t[kLineLength]()), right_(new int16_t[kLineLength]()) {
  setParameter(2, 0);
}

int32_t ShortDelay::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

uint32_t ShortDelay::clearAhead(uint32_t budget) {
  return 2 * written_.clear(budget / 2, [this](uint32_t from, uint32_t n) {
    std::fill_n(left_.get() + from, n, int16_t{0});
    std::fill_n(right_.get() + from, n, int16_t{0});
  });
}

void ShortDelay::reset() {
  // The states settle on the newest targets, not on ones an edit since
  // has replaced: a reset effect then sounds the same whatever came before.
  exchange_.take(active_, [this] { return current(); });
  clearAhead(UINT32_MAX);
  delayState_ = int64_t{active_.delay} << 15;
  feedbackState_ = int64_t{active_.feedback} << 15;
}

void ShortDelay::process(int16_t* const* channels, int32_t frames) {
  written_.wrote(write_, frames);
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  int16_t* L = left_.get();
  int16_t* R = right_.get();
  const int64_t c = isImmediate() ? fx::kSmoothImmediate : fx::kSmoothNormal;
  constexpr uint32_t mask = kLineLength - 1;
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) exchange_.take(active_, [this] { return current(); });
    delayState_ = fx::smooth(delayState_, active_.delay, c);
    feedbackState_ = fx::smooth(feedbackState_, active_.feedback, c);

    // The delay state is in 1/32768 samples; doubled it gives whole samples
    // above bit 16 and a 16-bit fraction below.
    const int64_t d2 = delayState_ * 2;
    const uint32_t n = static_cast<uint32_t>(d2 >> 16);
    const int64_t f = d2 & 65534;
    const uint32_t r = (write_ - n) & mask;
    const uint32_t r1 = (r - 1) & mask;
    int64_t dL = L[r] + (((int64_t{L[r1]} - L[r]) * f) >> 16);
    int64_t dR = R[r] + (((int64_t{R[r1]} - R[r]) * f) >> 16);
    dL = (dL * -32766) >> 15;
    dR = (dR * -32766) >> 15;

    const int64_t g = feedbackState_ >> 15;
    const int64_t dry = 32767 - (feedbackState_ >> 16);
    const int16_t outL = fx::sat16(((dR * g) >> 15) + ((dry * inOutL[i]) >> 15));
    const int16_t outR = fx::sat16(((dL * g) >> 15) + ((dry * inOutR[i]) >> 15));
    L[write_] = outL;
    R[write_] = outR;
    inOutL[i] = outL;
    inOutR[i] = outR;
    write_ = (write_ + 1) & mask;
  }
}
