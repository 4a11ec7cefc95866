#pragma once
// Audio device stand-ins for engine tests. A FakeAudioIO tells only the
// chunk time and the latencies the test sets; they are atomic, so a render
// thread may read them while the test moves them on. A SteppingAudioIO
// starts at the present host time with the latency of two 128-frame
// buffers, so that timed MIDI entries and sequencer commands are placed
// inside the buffers as a live device would place them.

#include <atomic>
#include <cstdint>

#include "engine/interfaces/audio_io.h"
#include "platform/foundation/host_time.h"

namespace igbtest {

class FakeAudioIO : public AudioIO {
 public:
  FakeAudioIO() = default;
  explicit FakeAudioIO(uint64_t chunkTime) : time(chunkTime) {}
  bool open() override { return true; }
  bool close() override { return true; }
  bool isOpened() override { return true; }
  void activate() override {}
  void deactivate() override {}
  bool start() override { return true; }
  bool stop() override { return true; }
  bool isRunning() override { return true; }
  uint64_t hostTime() override { return time.load(std::memory_order_relaxed); }
  uint64_t latencyNanosec() override { return latency.load(std::memory_order_relaxed); }
  uint64_t outputLatencyNanosec() override { return outputLatency.load(std::memory_order_relaxed); }

  std::atomic<uint64_t> time{0};
  std::atomic<uint64_t> latency{0};
  std::atomic<uint64_t> outputLatency{0};
};

class SteppingAudioIO : public FakeAudioIO {
 public:
  SteppingAudioIO() : FakeAudioIO(platform::hostTime()) { latency = 5'804'988; }
};

}  // namespace igbtest
