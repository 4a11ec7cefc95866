#include "engine/synth/master_stages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "engine/effects/effect_math.h"

struct MasterDrive::Memo {
  // A shaped sample is clamped to ±32,767, so -32,768 marks an input not
  // met yet.
  static constexpr int16_t kUnknown = -32768;
  uint32_t driveBits = 0;
  uint32_t amountBits = 0;
  bool valid = false;
  std::array<int16_t, 65536> out;
  Memo() { out.fill(kUnknown); }
};

MasterDrive::MasterDrive() : memo_(std::make_unique<Memo>()) {}
MasterDrive::~MasterDrive() = default;

void MasterDrive::setValue(int32_t v) {
  value_.store(v, std::memory_order_relaxed);
  targetDrive_.store(static_cast<float>(v) * 0.001968504f, std::memory_order_relaxed);
  targetAmount_.store(static_cast<float>(v) * 0.007874016f, std::memory_order_relaxed);
}

namespace {

inline float shape(float y) {
  return y >= 0.0f ? 0.755f * (1.0f - std::exp(-6.0f * y)) : 0.765f * (std::exp(6.0f * y) - 1.0f);
}

inline int16_t driveSample(int16_t s, float g, float amount) {
  const float x = static_cast<float>(s) * 3.051851e-5f;
  float out = shape(g * x) * amount + x * (1.0f - amount);
  out = std::clamp(out, -1.0f, 1.0f);
  return static_cast<int16_t>(out * 32767.0f);  // truncates toward zero
}

inline int16_t undrivenSample(int16_t s) {
  const float x = static_cast<float>(s) * 3.051851e-5f;
  return static_cast<int16_t>(std::clamp(x, -1.0f, 1.0f) * 32767.0f);
}

// undrivenSample over a block, eight samples per step: the same single
// precision products, clamp and truncation in every lane.
using Floats = float __attribute__((vector_size(32)));
using Ints = int32_t __attribute__((vector_size(32)));
using Shorts = int16_t __attribute__((vector_size(16)));

FX_LANE_LOOP void undrivenBlock(int16_t* samples, int32_t count) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Shorts s;
    std::memcpy(&s, samples + i, sizeof s);
    Floats x = __builtin_convertvector(s, Floats) * 3.051851e-5f;
    x = x < -1.0f ? Floats{} - 1.0f : (1.0f < x ? Floats{} + 1.0f : x);
    const Shorts out = __builtin_convertvector(__builtin_convertvector(x * 32767.0f, Ints), Shorts);
    std::memcpy(samples + i, &out, sizeof out);
  }
  for (; i < count; ++i) samples[i] = undrivenSample(samples[i]);
}

// saturate16((s × gain) >> 15) over a block, eight samples per step. The
// fader's gain is at most 52,849, so every product fits 32 bits.
FX_LANE_LOOP void scaleBlock(int16_t* samples, int32_t count, int32_t gain) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Shorts s;
    std::memcpy(&s, samples + i, sizeof s);
    Ints v = (__builtin_convertvector(s, Ints) * gain) >> 15;
    v = v > 32767 ? Ints{} + 32767 : v;
    v = v < -32767 ? Ints{} - 32767 : v;
    const Shorts out = __builtin_convertvector(v, Shorts);
    std::memcpy(samples + i, &out, sizeof out);
  }
  for (; i < count; ++i) samples[i] = saturate16((samples[i] * gain) >> 15);
}

}  // namespace

void MasterDrive::process(int16_t* left, int16_t* right, int32_t frames) {
  const float td = targetDrive_.load(std::memory_order_relaxed);
  const float ta = targetAmount_.load(std::memory_order_relaxed);
  if (td == 0.0f && ta == 0.0f && curDrive_ == 0.0f && curAmount_ == 0.0f) {
    // Drive off and settled: the shape of ±0 is 0 and the dry share is x
    // itself, so only the conversion to float and back is left, without
    // the two exponentials per frame.
    undrivenBlock(left, frames);
    undrivenBlock(right, frames);
    return;
  }
  // The targets hold for the whole block: when one step of the smoothing
  // leaves both values as they are, every step of this block does, and
  // each frame shapes with the same drive and amount.
  const float nextDrive = curDrive_ + (td - curDrive_) * kSmoothing;
  const float nextAmount = curAmount_ + (ta - curAmount_) * kSmoothing;
  if (std::bit_cast<uint32_t>(nextDrive) == std::bit_cast<uint32_t>(curDrive_) &&
      std::bit_cast<uint32_t>(nextAmount) == std::bit_cast<uint32_t>(curAmount_)) {
    Memo& m = *memo_;
    const uint32_t driveBits = std::bit_cast<uint32_t>(curDrive_);
    const uint32_t amountBits = std::bit_cast<uint32_t>(curAmount_);
    if (!m.valid || m.driveBits != driveBits || m.amountBits != amountBits) {
      if (m.valid) m.out.fill(Memo::kUnknown);
      m.driveBits = driveBits;
      m.amountBits = amountBits;
      m.valid = true;
    }
    const float g = 12.0f * curDrive_;
    const float amount = curAmount_;
    auto shaped = [&](int16_t s) {
      int16_t& known = m.out[static_cast<uint16_t>(s)];
      if (known == Memo::kUnknown) known = driveSample(s, g, amount);
      return known;
    };
    for (int32_t i = 0; i < frames; ++i) {
      left[i] = shaped(left[i]);
      right[i] = shaped(right[i]);
    }
    return;
  }
  for (int32_t i = 0; i < frames; ++i) {
    curDrive_ += (td - curDrive_) * kSmoothing;
    curAmount_ += (ta - curAmount_) * kSmoothing;
    const float g = 12.0f * curDrive_;
    left[i] = driveSample(left[i], g, curAmount_);
    right[i] = driveSample(right[i], g, curAmount_);
  }
}

int32_t MasterFader::gainFor(int32_t v) { return static_cast<int32_t>(static_cast<double>(v * v) * 3.2767); }

MasterFader::MasterFader()
    : gainInUse_(gainFor(127)),
      currentGain_(gainFor(127)),
      accumulator_(int64_t{gainFor(127)} * 32768),
      newGain_(gainFor(127)) {}

void MasterFader::setValue(int32_t v) {
  const int32_t clamped = std::clamp<int32_t>(v, 0, 127);
  value_.store(clamped, std::memory_order_relaxed);
  newGain_.store(gainFor(clamped), std::memory_order_relaxed);
  pending_.store(true, std::memory_order_release);
}

void MasterFader::process(int16_t* left, int16_t* right, int32_t frames) {
  // Clearing the flag before reading the gain: a value stored after the
  // exchange raises the flag again and is taken at the next block.
  if (pending_.load(std::memory_order_relaxed) && pending_.exchange(false, std::memory_order_acquire)) {
    gainInUse_ = newGain_.load(std::memory_order_relaxed);
    ramping_ = true;
  }
  int32_t i = 0;
  while (ramping_ && i < frames) {
    accumulator_ += int64_t{gainInUse_ - currentGain_} * 256;
    currentGain_ = static_cast<int32_t>(accumulator_ >> 15);
    if (currentGain_ == gainInUse_) ramping_ = false;
    left[i] = saturate16((left[i] * currentGain_) >> 15);
    right[i] = saturate16((right[i] * currentGain_) >> 15);
    ++i;
  }
  scaleBlock(left + i, frames - i, currentGain_);
  scaleBlock(right + i, frames - i, currentGain_);
}

namespace {

// softClip(int32_t) over a block, eight samples per step: the same steps
// in 32-bit lanes. Every intermediate is below 2^31 (the bend's a ≤ 18,919,
// so a² and (a²>>15)·a fit; 32,767 × 40,575 fits), so signed lanes give
// what the unsigned scalar steps give.
FX_LANE_LOOP void softClipLanes(int16_t* samples, int32_t count) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Shorts s;
    std::memcpy(&s, samples + i, sizeof s);
    Ints x = __builtin_convertvector(s, Ints);
    x = x < -32767 ? Ints{} - 32767 : x;
    const Ints ax = x < 0 ? -x : x;
    const Ints a = (ax > 13848 ? ax : Ints{} + 13848) - 13848;
    const Ints c = (((a * a) >> 15) * a) >> 15;
    const Ints y = x >= 0 ? x - c : x + c;
    Ints out = (y * 40575) >> 15;
    out = out > 32767 ? Ints{} + 32767 : out;
    out = out < -32767 ? Ints{} - 32767 : out;
    const Shorts o = __builtin_convertvector(out, Shorts);
    std::memcpy(samples + i, &o, sizeof o);
  }
  for (; i < count; ++i) samples[i] = softClip(int32_t{samples[i]});
}

}  // namespace

void softClip(int16_t* samples, int32_t count) { softClipLanes(samples, count); }

namespace {

// Built per instruction set with internal linkage: callers elsewhere reach
// it through the plain function below, which every compiler links alike.
FX_LANE_LOOP void mixSaturatedLanes(int16_t* out, const int16_t* dry, const int16_t* send, int32_t count) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Shorts a;
    Shorts b;
    std::memcpy(&a, dry + i, sizeof a);
    std::memcpy(&b, send + i, sizeof b);
    Ints v = __builtin_convertvector(a, Ints) + __builtin_convertvector(b, Ints);
    v = v > 32767 ? Ints{} + 32767 : v;
    v = v < -32767 ? Ints{} - 32767 : v;
    const Shorts sum = __builtin_convertvector(v, Shorts);
    std::memcpy(out + i, &sum, sizeof sum);
  }
  for (; i < count; ++i) out[i] = saturate16(int32_t{dry[i]} + send[i]);
}

}  // namespace

void mixSaturated(int16_t* out, const int16_t* dry, const int16_t* send, int32_t count) {
  mixSaturatedLanes(out, dry, send, count);
}
