#include "engine/effects/chorus_flanger.h"

#include <algorithm>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

namespace {

constexpr uint32_t kMask = ChorusFlanger::kLineLength - 1;

// The triangle of the LFO: |phase as signed 32-bit| >> 11, kept to 20 bits
// on a 32-step grid. Computed on the unsigned value so that the most
// negative phase (whose magnitude does not fit in 32 signed bits) is
// defined; it lands on 0 as the top bit is masked off.
inline int32_t triangle(uint32_t phase) {
  const uint32_t magnitude = (phase & 0x80000000u) ? 0u - phase : phase;
  return static_cast<int32_t>((magnitude >> 11) & 0xFFFE0u);
}

// One side: smooth the LFO, read the swept line, feed back inverted.
inline int16_t side(int32_t in, uint32_t phase, int32_t& mod, int16_t* line, uint32_t w, int64_t feedback,
                    int64_t wet) {
  mod = fx::sat16((int64_t{triangle(phase)} + int64_t{mod} * 8160) >> 13);
  const int64_t span = int64_t{mod} * 667;
  const uint32_t n = static_cast<uint32_t>((span + 196608) >> 16);
  const int64_t f = span & 65535;
  const uint32_t r = (w - n) & kMask;
  const uint32_t r1 = (r - 1) & kMask;
  int64_t v = line[r] + ((f * (int64_t{line[r1]} - line[r])) >> 16);
  v = (v * -32766) >> 15;
  v = (v * -32766) >> 15;
  v = (v * -32766) >> 15;
  v *= feedback;
  const int16_t y = fx::sat16(in + (v >> 15));
  line[w] = y;
  return fx::sat16(in + ((y * wet) >> 15));
}

}  // namespace

ChorusFlanger::Targets ChorusFlanger::targetsFor(int32_t speed, int32_t depth) {
  speed &= 127;
  depth &= 127;
  return {fx::kChorusSpeed[speed], fx::kChorusFeedback[depth], fx::kChorusWet[depth]};
}

ChorusFlanger::ChorusFlanger() : left_(new int16_t[kLineLength]()), right_(new int16_t[kLineLength]()) {
  setParameter(2, 0);
}

int32_t ChorusFlanger::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

uint32_t ChorusFlanger::clearAhead(uint32_t budget) {
  return 2 * written_.clear(budget / 2, [this](uint32_t from, uint32_t n) {
    std::fill_n(left_.get() + from, n, int16_t{0});
    std::fill_n(right_.get() + from, n, int16_t{0});
  });
}

void ChorusFlanger::reset() {
  // The states settle on the newest targets, not on ones an edit since
  // has replaced: a reset effect then sounds the same whatever came before.
  exchange_.take(active_, [this] { return current(); });
  clearAhead(UINT32_MAX);
  modL_ = modR_ = 0;
  // The sweep starts from its beginning too, so what follows a reset does
  // not depend on how long the effect ran before.
  phase_ = 0;
  feedbackState_ = int64_t{active_.feedback} << 15;
  wetState_ = int64_t{active_.wet} << 15;
  write_ = 0;
}

void ChorusFlanger::process(int16_t* const* channels, int32_t frames) {
  written_.wrote(write_, frames);
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  const int64_t c = isImmediate() ? fx::kSmoothImmediate : fx::kSmoothNormal;
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) exchange_.take(active_, [this] { return current(); });
    feedbackState_ = fx::smooth(feedbackState_, active_.feedback, c);
    wetState_ = fx::smooth(wetState_, active_.wet, c);
    phase_ += active_.increment;
    const int64_t fb = feedbackState_ >> 15;
    const int64_t wet = wetState_ >> 15;
    inOutL[i] = side(inOutL[i], phase_, modL_, left_.get(), write_, fb, wet);
    inOutR[i] = side(inOutR[i], phase_ + kRightPhaseOffset, modR_, right_.get(), write_, fb, wet);
    write_ = (write_ + 1) & kMask;
  }
}
