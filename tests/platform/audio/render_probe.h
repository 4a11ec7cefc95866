#pragma once
// A render callback for the output-unit tests: it counts frames, keeps the
// first time stamps and buffer sizes, can spend a set share of each buffer
// busy, and can write a known signal (a ramp on the left, a slower ramp on
// the right, both derived from the running frame count).

#include <atomic>
#include <cstdint>

#include "platform/audio/audio_output_unit.h"
#include "platform/foundation/host_time.h"

namespace audiotest {

struct RenderProbe {
  static constexpr int kMaxRecords = 8192;

  // The known signal at running frame k.
  static int16_t left(uint64_t k) { return static_cast<int16_t>(static_cast<int32_t>(k % 16384) * 2 - 16384); }
  static int16_t right(uint64_t k) { return static_cast<int16_t>(static_cast<int32_t>((k / 3) % 1000) * 16); }

  std::atomic<uint64_t> frames{0};
  std::atomic<int> calls{0};
  std::atomic<bool> writeSignal{false};
  double busyFraction = 0.0;
  double rate = 44100.0;

  uint64_t stamp[kMaxRecords] = {};
  uint64_t entered[kMaxRecords] = {};
  bool valid[kMaxRecords] = {};
  uint32_t size[kMaxRecords] = {};
  bool zeroed[kMaxRecords] = {};

  static int32_t render(void* context, const platform::AudioTimeStamp* ts, uint32_t n, int16_t* data) {
    auto* self = static_cast<RenderProbe*>(context);
    const uint64_t now = platform::hostTime();
    const int call = self->calls.load(std::memory_order_relaxed);
    if (call < kMaxRecords) {
      self->stamp[call] = ts ? ts->hostTime : 0;
      self->valid[call] = ts && ts->hostTimeValid;
      self->entered[call] = now;
      self->size[call] = n;
      bool clean = true;
      for (uint32_t i = 0; i < n * 2; ++i) clean &= data[i] == 0;
      self->zeroed[call] = clean;
    }
    const uint64_t base = self->frames.load(std::memory_order_relaxed);
    if (self->writeSignal.load(std::memory_order_relaxed)) {
      for (uint32_t i = 0; i < n; ++i) {
        data[i * 2] = left(base + i);
        data[i * 2 + 1] = right(base + i);
      }
    }
    if (self->busyFraction > 0) {
      const uint64_t until = now + static_cast<uint64_t>(self->busyFraction * n * 1e9 / self->rate);
      while (platform::hostTime() < until) {
      }
    }
    self->frames.store(base + n, std::memory_order_relaxed);
    self->calls.store(call + 1, std::memory_order_release);
    return 0;
  }
};

}  // namespace audiotest
