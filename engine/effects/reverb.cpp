#include "engine/effects/reverb.h"

#include <algorithm>
#include <cstring>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

// The helpers below take and return vectors of eight lanes. They are
// always inlined, at every optimisation level, into the loop that uses
// them: a call between the loop's AVX2 build and a baseline helper would
// pass those vectors in different registers than the helper expects, which
// is what GCC's warning is about.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {

constexpr uint32_t kMask = Reverb::kLineLength - 1;

// One run of frames: the channels, the slice's gains from the run's first
// frame, and for each line where the run reads it (its delay back) and
// where it writes it. Reads and writes of one line never overlap in a run.
struct Run {
  int16_t* __restrict left;
  int16_t* __restrict right;
  const int32_t* __restrict gain;
  const int32_t* __restrict level;
  const int32_t* __restrict feedback;
  const int16_t* __restrict comb1In;
  int16_t* __restrict comb1Out;
  const int16_t* __restrict comb2In;
  int16_t* __restrict comb2Out;
  const int16_t* __restrict ap1In;
  int16_t* __restrict ap1Out;
  const int16_t* __restrict ap2In;
  int16_t* __restrict ap2Out;
  const int16_t* __restrict delayIn;
  int16_t* __restrict delayOut;
};

// The frame rule, written once for a plain value and once for a vector of
// frames: the same expressions on either, so the two cannot drift apart.
// Every value the rule forms fits 32 bits (16-bit samples times Q15 gains),
// so 32-bit lanes hold it exactly and the clamp needs no wider type.
template <typename I>
[[gnu::always_inline]] inline I sat(I v) {
  const I hi = v > fx::kFull ? I{} + fx::kFull : v;
  return hi < -fx::kFull ? I{} - fx::kFull : hi;
}

// Two passes through a gain of -32766/32768: the line's value in phase,
// reduced by a hair so that the loop always loses a little.
template <typename I>
[[gnu::always_inline]] inline I twiceInverted(I v) {
  v = (v * -32766) >> 15;
  return (v * -32766) >> 15;
}

// What one frame writes: the two outputs and each line's new sample.
template <typename I>
struct Step {
  I left, right, comb1, comb2, ap1, ap2, delay;
};

template <typename I>
[[gnu::always_inline]] inline Step<I> frameRule(I inL, I inR, I gain, I level, I fb, I comb1In, I comb2In, I ap1In, I ap2In,
                                                I delayed) {
  const I x = ((inL + inR) * gain) >> 15;
  const I y1 = sat<I>(x + ((twiceInverted<I>(comb1In) * fb) >> 15));
  const I c2 = (comb2In * 32766) >> 15;
  const I y2 = sat<I>(x + ((((c2 * -32766) >> 15) * fb) >> 15));
  const I s = sat<I>(y1 + y2);
  const I d1 = twiceInverted<I>(ap1In);
  const I a1 = sat<I>(s - ((d1 * Reverb::kAllpassGain) >> 15));
  const I o1 = sat<I>(d1 + ((a1 * Reverb::kAllpassGain) >> 15));
  const I d2 = twiceInverted<I>(ap2In);
  const I a2 = sat<I>(o1 - ((d2 * Reverb::kAllpassGain) >> 15));
  const I o2 = sat<I>(d2 + ((a2 * Reverb::kAllpassGain) >> 15));
  return {sat<I>(inL + ((((o2 * level) >> 15) * Reverb::kLeftWetScale) >> 15)),
          sat<I>(inR + ((level * delayed) >> 15)),
          y1,
          y2,
          a1,
          a2,
          o2};
}

// Eight frames at a time.
using Lanes = int32_t __attribute__((vector_size(32)));
using Samples = int16_t __attribute__((vector_size(16)));
constexpr int32_t kLanes = 8;

[[gnu::always_inline]] inline Lanes load(const int16_t* p) {
  Samples s;
  std::memcpy(&s, p, sizeof s);
  return __builtin_convertvector(s, Lanes);
}
[[gnu::always_inline]] inline Lanes load(const int32_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
[[gnu::always_inline]] inline void store(int16_t* p, Lanes v) {
  const Samples s = __builtin_convertvector(v, Samples);
  std::memcpy(p, &s, sizeof s);
}

FX_LANE_LOOP
void processRun(const Run& r, int32_t frames) {
  int32_t i = 0;
  for (; i + kLanes <= frames; i += kLanes) {
    const Step<Lanes> o = frameRule<Lanes>(load(r.left + i), load(r.right + i), load(r.gain + i), load(r.level + i),
                                           load(r.feedback + i), load(r.comb1In + i), load(r.comb2In + i),
                                           load(r.ap1In + i), load(r.ap2In + i), load(r.delayIn + i));
    store(r.comb1Out + i, o.comb1);
    store(r.comb2Out + i, o.comb2);
    store(r.ap1Out + i, o.ap1);
    store(r.ap2Out + i, o.ap2);
    store(r.delayOut + i, o.delay);
    store(r.left + i, o.left);
    store(r.right + i, o.right);
  }
  for (; i < frames; ++i) {
    const Step<int32_t> o = frameRule<int32_t>(r.left[i], r.right[i], r.gain[i], r.level[i], r.feedback[i],
                                               r.comb1In[i], r.comb2In[i], r.ap1In[i], r.ap2In[i], r.delayIn[i]);
    r.comb1Out[i] = static_cast<int16_t>(o.comb1);
    r.comb2Out[i] = static_cast<int16_t>(o.comb2);
    r.ap1Out[i] = static_cast<int16_t>(o.ap1);
    r.ap2Out[i] = static_cast<int16_t>(o.ap2);
    r.delayOut[i] = static_cast<int16_t>(o.delay);
    r.left[i] = static_cast<int16_t>(o.left);
    r.right[i] = static_cast<int16_t>(o.right);
  }
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

uint32_t Reverb::clearAhead(uint32_t budget) {
  int16_t* lines = lines_.get();
  return 5 * written_.clear(budget / 5, [lines](uint32_t from, uint32_t n) {
    for (uint32_t k = 0; k < 5; ++k) std::fill_n(lines + k * kLineLength + from, n, int16_t{0});
  });
}

void Reverb::reset() {
  // The states settle on the newest targets, not on ones an edit since
  // has replaced: a reset effect then sounds the same whatever came before.
  exchange_.take(active_, [this] { return current(); });
  clearAhead(UINT32_MAX);
  levelState_ = int64_t{active_.level} << 15;
  levelNow_ = active_.level;
  inputGain_ = static_cast<int32_t>(levelState_ >> 18) + 4096;
  feedbackState_ = int64_t{active_.feedback} << 15;
  feedback_ = active_.feedback;
}

void Reverb::process(int16_t* const* channels, int32_t frames) {
  written_.wrote(write_, frames);
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  int16_t* comb1 = lines_.get();
  int16_t* comb2 = comb1 + kLineLength;
  int16_t* ap1 = comb2 + kLineLength;
  int16_t* ap2 = ap1 + kLineLength;
  int16_t* right = ap2 + kLineLength;
  const int64_t c = isImmediate() ? fx::kSmoothImmediate : fx::kSmoothNormal;
  // The gains of one pick-up slice, frame by frame: the smoothing is the
  // only part of a frame that depends on the frame before, so it runs ahead
  // and leaves the samples a loop without a chain between frames.
  int32_t gain[kPickupInterval];
  int32_t level[kPickupInterval];
  int32_t feedback[kPickupInterval];
  for (int32_t start = 0; start < frames; start += kPickupInterval) {
    const int32_t len = std::min(kPickupInterval, frames - start);
    exchange_.take(active_, [this] { return current(); });
    if (levelNow_ != active_.level || feedback_ != active_.feedback) {
      int64_t levelState = levelState_;
      int32_t levelNow = levelNow_;
      int32_t inputGain = inputGain_;
      int64_t feedbackState = feedbackState_;
      int32_t feedbackNow = feedback_;
      const int32_t levelTarget = active_.level;
      const int32_t feedbackTarget = active_.feedback;
      for (int32_t j = 0; j < len; ++j) {
        if (levelNow != levelTarget) {
          levelState = fx::smooth(levelState, levelTarget, c);
          levelNow = static_cast<int32_t>(levelState >> 15);
          inputGain = static_cast<int32_t>(levelState >> 18) + 4096;
        }
        if (feedbackNow != feedbackTarget) {
          feedbackState = fx::smooth(feedbackState, feedbackTarget, c);
          feedbackNow = static_cast<int32_t>(feedbackState >> 15);
        }
        gain[j] = inputGain;
        level[j] = levelNow;
        feedback[j] = feedbackNow;
      }
      levelState_ = levelState;
      levelNow_ = levelNow;
      inputGain_ = inputGain;
      feedbackState_ = feedbackState;
      feedback_ = feedbackNow;
    } else {
      std::fill_n(gain, len, inputGain_);
      std::fill_n(level, len, levelNow_);
      std::fill_n(feedback, len, feedback_);
    }
    // Runs in which no line position wraps: each line is then read and
    // written at plain consecutive addresses. The shortest delay is longer
    // than a slice, so no frame of a run reads what the run itself writes.
    static_assert(kAllpass1 > kPickupInterval && kComb1 > kPickupInterval && kComb2 > kPickupInterval &&
                  kAllpass2 > kPickupInterval && kRightDelay > kPickupInterval);
    int32_t done = 0;
    while (done < len) {
      uint32_t m = static_cast<uint32_t>(len - done);
      const uint32_t w = write_;
      const uint32_t r1 = (w - kComb1) & kMask;
      const uint32_t r2 = (w - kComb2) & kMask;
      const uint32_t ra1 = (w - kAllpass1) & kMask;
      const uint32_t ra2 = (w - kAllpass2) & kMask;
      const uint32_t rr = (w - kRightDelay) & kMask;
      for (uint32_t p : {w, r1, r2, ra1, ra2, rr}) m = std::min(m, kLineLength - p);
      const size_t at = static_cast<size_t>(start + done);
      Run run{inOutL + at,  inOutR + at, gain + done, level + done, feedback + done, comb1 + r1, comb1 + w,
              comb2 + r2,   comb2 + w,   ap1 + ra1,   ap1 + w,      ap2 + ra2,       ap2 + w,    right + rr,
              right + w};
      processRun(run, static_cast<int32_t>(m));
      write_ = (w + m) & kMask;
      done += static_cast<int32_t>(m);
    }
  }
}
