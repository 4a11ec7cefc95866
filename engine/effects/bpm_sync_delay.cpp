#include "engine/effects/bpm_sync_delay.h"

#include <algorithm>

#include "engine/effects/effect_math.h"
#include "engine/effects/effect_tables.h"

int32_t BpmSyncDelay::longestNoteFor(uint32_t bpm) {
  const int64_t limit = int64_t{kLineLength} * bpm;
  int32_t longest = 0;
  for (int32_t i = 0; i < fx::kNumNotes; ++i)
    if (fx::kNoteConstant[i] < limit) longest = i;
  return longest;
}

int32_t BpmSyncDelay::delayFor(int32_t time, uint32_t bpm) {
  // Tempo 0 has no note length; the shortest delay keeps the line sound.
  if (bpm == 0) return 1;
  const int32_t note = std::min(fx::noteIndexForTime(time), longestNoteFor(bpm));
  const int64_t d = fx::kNoteConstant[note] / bpm;
  return static_cast<int32_t>(std::clamp<int64_t>(d, 1, kLineLength - 1));
}

BpmSyncDelay::Targets BpmSyncDelay::targetsFor(int32_t time, int32_t depth, uint32_t bpm) {
  time &= 127;
  depth &= 127;
  const int64_t w = (int64_t{fx::kConvexLaw[depth]} * 29491) >> 15;
  const int64_t p = w * (32767 - (fx::kLinearLaw[time] >> 3));
  return {static_cast<int32_t>(32767 - (p >> 16)), static_cast<int32_t>(p >> 15), delayFor(time, bpm)};
}

const char* BpmSyncDelay::timeText(int32_t time) { return fx::kNoteText[fx::noteIndexForTime(time)]; }

BpmSyncDelay::BpmSyncDelay()
    : left_(new int16_t[kLineLength]()), right_(new int16_t[kLineLength]()) {
  reset();
}

int32_t BpmSyncDelay::setParameter(int32_t index, int32_t value) {
  return exchange_.setEdit(edits_, index, value, [this] { return current(); });
}

void BpmSyncDelay::setTempo(uint32_t tempoTenths) {
  bpm_.store(tempoTenths / 10);
  exchange_.publish([this] { return current(); });
}

uint32_t BpmSyncDelay::clearAhead(uint32_t budget) {
  return 2 * written_.clear(budget / 2, [this](uint32_t from, uint32_t n) {
    std::fill_n(left_.get() + from, n, int16_t{0});
    std::fill_n(right_.get() + from, n, int16_t{0});
  });
}

void BpmSyncDelay::reset() {
  // The states settle on the newest targets, not on ones an edit since
  // has replaced: a reset effect then sounds the same whatever came before.
  exchange_.take(active_, [this] { return current(); });
  clearAhead(UINT32_MAX);
  write_ = 0;
  feedbackL_ = feedbackR_ = 0;
  dryState_ = int64_t{active_.dry} << 15;
  wetState_ = int64_t{active_.wet} << 15;
  delayState_ = int64_t{active_.delay} << 12;
}

void BpmSyncDelay::process(int16_t* const* channels, int32_t frames) {
  written_.wrote(write_, frames);
  int16_t* inOutL = channels[0];
  int16_t* inOutR = channels[1];
  int16_t* L = left_.get();
  int16_t* R = right_.get();
  const bool immediate = isImmediate();
  const int64_t c = immediate ? fx::kSmoothImmediate : fx::kSmoothNormal;
  constexpr uint32_t mask = kLineLength - 1;
  for (int32_t i = 0; i < frames; ++i) {
    if (atPickup(i)) exchange_.take(active_, [this] { return current(); });
    dryState_ = fx::smooth(dryState_, active_.dry, c);
    wetState_ = fx::smooth(wetState_, active_.wet, c);
    const int64_t d = dryState_ >> 15;

    const int16_t outL = fx::sat16((((d * inOutL[i]) >> 7) - (feedbackR_ >> 7)) >> 8);
    const int16_t outR = fx::sat16((((d * inOutR[i]) >> 7) - (feedbackL_ >> 7)) >> 8);
    L[write_] = outL;
    R[write_] = outR;
    inOutL[i] = outL;
    inOutR[i] = outR;

    // The delay time is a parameter like the gains: while smoothing is
    // immediate (a newly selected effect) it jumps, else it glides.
    if (immediate) {
      delayState_ = int64_t{active_.delay} << 12;
    } else {
      delayState_ += (active_.delay - (delayState_ >> 12)) * 3;
    }
    const uint32_t n = static_cast<uint32_t>(delayState_ >> 12);
    const int64_t f = delayState_ & 4095;
    // The feedback read here plays in the next frame, so the read sits one
    // sample nearer than the delay: the echo lands exactly n (+ fraction)
    // frames after the sound.
    const uint32_t r = (write_ + 1 - n) & mask;
    const uint32_t r1 = (r - 1) & mask;
    const int64_t dL = L[r] + (((int64_t{L[r1]} - L[r]) * f) >> 12);
    const int64_t dR = R[r] + (((int64_t{R[r1]} - R[r]) * f) >> 12);
    const int64_t wet = wetState_ >> 15;
    feedbackL_ = dL * wet;
    feedbackR_ = dR * wet;
    write_ = (write_ + 1) & mask;
  }
}
