#include "engine/effects/multi_effector.h"

#include <algorithm>

#include "engine/effects/bpm_sync_delay.h"
#include "engine/effects/chorus_flanger.h"
#include "engine/effects/decimator.h"
#include "engine/effects/effect_math.h"
#include "engine/effects/grain_shifter.h"
#include "engine/effects/reverb.h"
#include "engine/effects/sarnek_filter.h"
#include "engine/effects/short_delay.h"
#include "engine/effects/talking_modulator.h"

namespace {

Z5518MultiEffector::Slots makeEffects() {
  // Built in this order; each lands in the slot of its type.
  Z5518MultiEffector::Slots slots;
  slots[0] = std::make_unique<ShortDelay>();
  slots[1] = std::make_unique<BpmSyncDelay>();
  slots[3] = std::make_unique<Reverb>();
  slots[4] = std::make_unique<ChorusFlanger>();
  slots[5] = std::make_unique<SarnekFilter>(SarnekFilter::kLowPass);
  slots[6] = std::make_unique<TalkingModulator>();
  slots[2] = std::make_unique<GrainShifter>();
  slots[7] = std::make_unique<Decimator>();
  return slots;
}

int32_t clampType(int32_t value) { return std::clamp(value, 0, Z5518MultiEffector::kNumTypes - 1); }

}  // namespace

Z5518MultiEffector::Z5518MultiEffector() : Z5518MultiEffector(makeEffects()) {}

Z5518MultiEffector::Z5518MultiEffector(Slots slots) : slots_(std::move(slots)) {
  knob_[kType].store(0);
  knob_[kOnOff].store(onState_.load() ? 1 : 0);
  const int32_t type = static_cast<int32_t>(typeRequest_.load() & 0xFF);
  current_.store(slots_[type].get());
  currentType_.store(type);
  for (int32_t index : {kEdit1, kEdit2}) {
    knob_[index].store(0);
    effective_[index].store(0);
    if (Effector* e = current_.load()) e->setParameter(index, 0);
  }
  for (int32_t i = 0; i < 4; ++i) effective_[i].store(knob_[i].load());
  // The type request stays pending: the first process selects type 0.
}

Z5518MultiEffector::~Z5518MultiEffector() = default;

Effector* Z5518MultiEffector::effect(int32_t type) const {
  return type >= 0 && type < kNumTypes ? slots_[type].get() : nullptr;
}

int32_t Z5518MultiEffector::knobParameter(int32_t index) const {
  return index >= 0 && index < 4 ? knob_[index].load() : 0;
}

int32_t Z5518MultiEffector::effectiveParameter(int32_t index) const {
  return index >= 0 && index < 4 ? effective_[index].load() : 0;
}

void Z5518MultiEffector::requestType(int32_t type) {
  // Compare and mark in one step so that a request for the type already
  // requested never starts a second crossfade.
  uint32_t seen = typeRequest_.load();
  for (;;) {
    if (static_cast<int32_t>(seen & 0xFF) == type) return;
    if (typeRequest_.compare_exchange_weak(seen, kPendingBit | static_cast<uint32_t>(type))) return;
  }
}

void Z5518MultiEffector::requestOnOff(bool on) { onOffRequest_.store(kPendingBit | (on ? 1u : 0u)); }

int32_t Z5518MultiEffector::setEffectParameter(int32_t index, int32_t value) {
  int32_t stored = 0;
  switch (index) {
    case kType:
      stored = clampType(value);
      knob_[kType].store(stored);
      requestType(stored);
      break;
    case kEdit1:
    case kEdit2:
      stored = value & 127;
      knob_[index].store(stored);
      if (Effector* e = current_.load()) e->setParameter(index, stored);
      break;
    case kOnOff:
      // The knob cannot switch the effect off; only motion playback can.
      // The stored value, not the argument, goes on to the effective set,
      // so a 0 here leaves the effect on.
      stored = 1;
      value = 1;
      knob_[kOnOff].store(1);
      requestOnOff(true);
      break;
    default:
      return 0;
  }
  applyParameter(index, value);
  return stored;
}

void Z5518MultiEffector::applyParameter(int32_t index, int32_t value) {
  switch (index) {
    case kType: {
      const int32_t type = clampType(value);
      effective_[kType].store(type);
      requestType(type);
      break;
    }
    case kEdit1:
    case kEdit2: {
      const int32_t v = value & 127;
      effective_[index].store(v);
      if (Effector* e = current_.load()) e->setParameter(index, v);
      break;
    }
    case kOnOff: {
      const int32_t v = value & 1;
      effective_[kOnOff].store(v);
      requestOnOff(v == 1);
      break;
    }
    default:
      break;
  }
}

void Z5518MultiEffector::setMotionValue(int32_t index, int32_t value) {
  if (index >= 0 && index < 4) applyParameter(index, value);
}

void Z5518MultiEffector::restoreMotionValue(int32_t index) {
  if (index >= 0 && index < 4) applyParameter(index, knob_[index].load());
}

void Z5518MultiEffector::resetMotionValues() {
  for (int32_t i = 0; i < 4; ++i) effective_[i].store(knob_[i].load());
  // The effect itself heard the motion values of its edits; it goes back
  // to the knobs too, or it would keep the last one until the next change.
  if (Effector* e = current_.load()) {
    e->setParameter(kEdit1, knob_[kEdit1].load());
    e->setParameter(kEdit2, knob_[kEdit2].load());
  }
}

void Z5518MultiEffector::selectParameterSet(bool playing) {
  if (playing_.load() == playing) return;
  if (playing) resetMotionValues();
  playing_.store(playing);
  const ParameterSet& set = activeSet();
  requestOnOff(set[kOnOff].load() != 0);
  requestType(set[kType].load());
  if (Effector* e = current_.load()) {
    e->setParameter(kEdit1, set[kEdit1].load());
    e->setParameter(kEdit2, set[kEdit2].load());
  }
}

void Z5518MultiEffector::setEffectTempo(uint32_t tempoTenths) {
  tempo_.store(tempoTenths);
  if (Effector* e = current_.load()) e->setTempo(tempoTenths);
}

void Z5518MultiEffector::patternTop() {
  if (Effector* e = current_.load()) e->patternTop();
}

void Z5518MultiEffector::resetEffects() {
  // Nothing sounds through the effects now, so a switch still waiting is
  // made at once rather than faded into: what follows (a bounce, the
  // output resuming) starts on the selected effect from its first frame,
  // whatever was selected before.
  takeOnOffRequest();
  takeTypeRequest();
  crossfadeActive_ = false;
  crossfadeGain_ = 0;
  wetTarget_ = onState_.load() ? 32767 : 0;
  wetState_ = int64_t{wetTarget_} << 15;
  for (auto& e : slots_) {
    if (e) e->reset();
  }
  // Reset, the current effect sits on its targets; later changes glide as
  // in any effect that has been running, whether a switch was just made or
  // not.
  if (Effector* e = current_.load()) e->setImmediate(false);
  immediateCountdown_ = -1;
}

void Z5518MultiEffector::takeOnOffRequest() {
  if ((onOffRequest_.load() & kPendingBit) == 0) return;
  const uint32_t taken = onOffRequest_.fetch_and(~kPendingBit);
  if ((taken & kPendingBit) == 0) return;
  const bool on = (taken & 1u) != 0;
  onState_.store(on);
  wetTarget_ = on ? 32767 : 0;
}

void Z5518MultiEffector::takeTypeRequest() {
  if ((typeRequest_.load() & kPendingBit) == 0) return;
  const uint32_t taken = typeRequest_.fetch_and(~kPendingBit);
  if ((taken & kPendingBit) == 0) return;
  const int32_t type = static_cast<int32_t>(taken & 0xFF);
  Effector* next = effect(type);
  Effector* previous = current_.load();
  // Fading an effect into itself would run one object twice over the same
  // slice, writing two streams into its lines: it runs once instead, and a
  // crossfade already under way (from another effect) goes on.
  if (next != previous) {
    crossfadeActive_ = true;
    crossfadeGain_ = 32767;
    outgoing_ = previous;
  }
  current_.store(next);
  currentType_.store(type);
  immediateCountdown_ = 0;
  if (next == nullptr) return;
  next->reset();
  const ParameterSet& set = activeSet();
  next->setParameter(kEdit1, set[kEdit1].load());
  next->setParameter(kEdit2, set[kEdit2].load());
  next->setTempo(tempo_.load());
  next->setImmediate(true);
}

void Z5518MultiEffector::process(int16_t* const* channels, int32_t frames) {
  if (frames < 0 || frames > kMaxBlock) return;
  takeOnOffRequest();
  takeTypeRequest();

  const size_t n = static_cast<size_t>(frames);
  for (int ch = 0; ch < 2; ++ch) std::copy_n(channels[ch], n, io_[ch].data());
  int16_t* io[2] = {io_[0].data(), io_[1].data()};
  Effector* current = current_.load();

  if (crossfadeActive_) {
    int16_t* out[2] = {outgoingBuf_[0].data(), outgoingBuf_[1].data()};
    int16_t* in[2] = {incomingBuf_[0].data(), incomingBuf_[1].data()};
    for (int ch = 0; ch < 2; ++ch) {
      std::copy_n(io[ch], n, out[ch]);
      std::copy_n(io[ch], n, in[ch]);
    }
    if (outgoing_) outgoing_->process(out, frames);
    if (current) current->process(in, frames);
    int32_t g = crossfadeGain_;
    for (size_t i = 0; i < n; ++i) {
      const int64_t g2 = (int64_t{g} * g) >> 15;
      for (int ch = 0; ch < 2; ++ch)
        io[ch][i] = fx::sat16((((32767 - g2) * in[ch][i]) >> 15) + ((g2 * out[ch][i]) >> 15));
      g = std::max(g - kCrossfadeStep, 0);
    }
    crossfadeGain_ = g;
    if (g < 1) crossfadeActive_ = false;
  } else if (current) {
    current->process(io, frames);
  }

  // The wet gain ramps for a few frames after a switch on or off and then
  // stays: the frames after it settles mix with one gain, in lanes.
  size_t i = 0;
  for (; i < n && (wetState_ >> 15) != wetTarget_; ++i) {
    wetState_ += (wetTarget_ - (wetState_ >> 15)) * kWetGainRate;
    const int64_t w = wetState_ >> 15;
    for (int ch = 0; ch < 2; ++ch)
      channels[ch][i] = fx::sat16(((w * io[ch][i]) >> 15) + (((32767 - w) * channels[ch][i]) >> 15));
  }
  if (i < n) {
    const auto w = static_cast<int32_t>(wetState_ >> 15);
    for (int ch = 0; ch < 2; ++ch) fx::mixWet(channels[ch] + i, io[ch] + i, n - i, w);
  }

  // The effects not in use get their lines cleared ahead of their next
  // selection, a little per slice: selecting one then resets it without
  // clearing up to half a megabyte in that one slice.
  uint32_t budget = static_cast<uint32_t>(frames) * kClearAheadPerFrame;
  for (auto& slot : slots_) {
    Effector* e = slot.get();
    if (budget == 0) break;
    if (e == nullptr || e == current || (crossfadeActive_ && e == outgoing_)) continue;
    budget -= std::min(budget, e->clearAhead(budget));
  }

  if (immediateCountdown_ >= 0) {
    immediateCountdown_ += frames;
    if (immediateCountdown_ >= kImmediateFrames) {
      immediateCountdown_ = -1;
      if (current) current->setImmediate(false);
    }
  }
}
