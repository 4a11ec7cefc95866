#include "engine/effects/grain_shifter.h"

#include <algorithm>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

namespace {

// 44,100 samples × 60 s × 512: a grain of G/384 beat at T/128 BPM lasts
// G × this / (T × 1536) samples.
constexpr int64_t kGrainScale = 1354752000;

}  // namespace

uint32_t GrainShifter::tempo128For(uint32_t tempoTenths) {
  return (tempoTenths / 10) * 128 | static_cast<uint32_t>(fx::kTempoTenths128[tempoTenths % 10]);
}

GrainShifter::Targets GrainShifter::targetsFor(int32_t speed, int32_t balance, uint32_t tempo128) {
  const fx::GrainSpeed s = fx::grainSpeedFor(speed);
  const int64_t C = s.cycle;
  const int64_t G = s.grain;
  const int64_t T = tempo128;
  Targets t{};
  t.startPhase = static_cast<int32_t>(-((G * 3) << 37) / (C * 1536));
  // A stopped clock has no grain length: hold the longest grain and the
  // cycle still.
  t.grainLength = T == 0 ? static_cast<int32_t>(kLineLength)
                         : static_cast<int32_t>(std::min<int64_t>(G * kGrainScale / (T * 1536), kLineLength));
  t.cycleIncrement = static_cast<uint32_t>(((T * 3) << 37) / (C * kGrainScale));
  t.balance = fx::kLinearLaw[balance & 127];
  return t;
}

GrainShifter::GrainShifter() : lineA_(new int16_t[kLineLength]()), lineB_(new int16_t[kLineLength]()) {
  setParameter(2, 0);
  exchange_.take(active_, [this] { return current(); });
  reset();
}

int32_t GrainShifter::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

void GrainShifter::setTempo(uint32_t tempoTenths) {
  tempo128_.store(tempo128For(tempoTenths));
  exchange_.publish([this] { return current(); });
}

void GrainShifter::patternTop() { restart_.store(true, std::memory_order_relaxed); }

uint32_t GrainShifter::clearAhead(uint32_t budget) {
  return 2 * written_.clear(budget / 2, [this](uint32_t from, uint32_t n) {
    std::fill_n(lineA_.get() + from, n, int16_t{0});
    std::fill_n(lineB_.get() + from, n, int16_t{0});
  });
}

void GrainShifter::reset() {
  // The states settle on the newest targets, not on ones an edit since
  // has replaced: a reset effect then sounds the same whatever came before.
  exchange_.take(active_, [this] { return current(); });
  clearAhead(UINT32_MAX);
  patternTop();
  phase_ = 0;
  recordState_ = 0;
  selectState_ = 0;
  balanceState_ = int64_t{active_.balance} << 15;
  grainState_ = int64_t{active_.grainLength} << 15;
}

void GrainShifter::process(int16_t* const* channels, int32_t frames) {
  written_.wrote(write_, frames);
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  int16_t* A = lineA_.get();
  int16_t* B = lineB_.get();
  const bool immediate = isImmediate();
  const int64_t c = immediate ? fx::kSmoothImmediate : 327;
  const int64_t cb = immediate ? fx::kSmoothImmediate : fx::kSmoothNormal;
  constexpr uint32_t mask = kLineLength - 1;
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) exchange_.take(active_, [this] { return current(); });
    phase_ += active_.cycleIncrement;
    if (restart_.load(std::memory_order_relaxed)) {
      restart_.store(false, std::memory_order_relaxed);
      phase_ = static_cast<uint32_t>(active_.startPhase);
    }
    const int32_t ph = static_cast<int32_t>(phase_);
    recordState_ = fx::smooth(recordState_, ph < 0 ? 32767 : 0, c);
    selectState_ = fx::smooth(selectState_, ph < active_.startPhase ? 32767 : 0, c);
    balanceState_ = fx::smooth(balanceState_, active_.balance, cb);
    grainState_ = fx::smooth(grainState_, active_.grainLength, c);

    const int64_t g = recordState_ >> 15;
    const int64_t h = 32767 - g;
    const int64_t s = selectState_ >> 15;
    const uint32_t d = static_cast<uint32_t>(grainState_ >> 15);
    const int64_t f = (grainState_ & 32767) * 2;
    const int64_t m = (int32_t{inOutL[i]} + inOutR[i]) >> 1;

    const uint32_t r = (write_ - d) & mask;
    const uint32_t r1 = (r - 1) & mask;
    const int64_t a = A[r] + (((int64_t{A[r1]} - A[r]) * f) >> 16);
    const int64_t b = B[r] + (((int64_t{B[r1]} - B[r]) * f) >> 16);
    // While g is full, A records the input and B repeats its last d
    // samples; while g is 0 the roles swap.
    A[write_] = fx::sat16(((a * h) >> 15) + ((m * g) >> 15));
    B[write_] = fx::sat16(((b * g) >> 15) + ((m * h) >> 15));

    const int64_t o = fx::sat16(((B[write_] * s) >> 15) + (((32767 - s) * A[write_]) >> 15));
    const int64_t bal = balanceState_ >> 15;
    const int64_t wet = (o * bal) >> 15;
    const int64_t k = 32767 - bal;
    inOutL[i] = fx::sat16(wet + ((k * inOutL[i]) >> 15));
    inOutR[i] = fx::sat16(wet + ((k * inOutR[i]) >> 15));
    write_ = (write_ + 1) & mask;
  }
}
