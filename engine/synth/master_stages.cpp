#include "engine/synth/master_stages.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

void MasterDrive::process(int16_t* left, int16_t* right, int32_t frames) {
  const float td = targetDrive_.load(std::memory_order_relaxed);
  const float ta = targetAmount_.load(std::memory_order_relaxed);
  if (td == 0.0f && ta == 0.0f && curDrive_ == 0.0f && curAmount_ == 0.0f) {
    // Drive off and settled: the shape of ±0 is 0 and the dry share is x
    // itself, so only the conversion to float and back is left, without
    // the two exponentials per frame.
    for (int32_t i = 0; i < frames; ++i) {
      left[i] = undrivenSample(left[i]);
      right[i] = undrivenSample(right[i]);
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
  const int32_t g = currentGain_;
  for (; i < frames; ++i) {
    left[i] = saturate16((left[i] * g) >> 15);
    right[i] = saturate16((right[i] * g) >> 15);
  }
}

namespace {

struct SoftClipTable {
  int16_t out[65536];
};

constexpr SoftClipTable makeSoftClipTable() {
  SoftClipTable t{};
  for (int32_t x = -32768; x <= 32767; ++x) t.out[x + 32768] = softClip(x);
  return t;
}

constexpr SoftClipTable kSoftClip = makeSoftClipTable();

}  // namespace

void softClip(int16_t* samples, int32_t count) {
  for (int32_t i = 0; i < count; ++i) samples[i] = kSoftClip.out[samples[i] + 32768];
}
