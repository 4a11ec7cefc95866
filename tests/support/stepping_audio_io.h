#pragma once
// An audio device stand-in whose chunk time the test moves on with every
// buffer, so that timed MIDI entries and sequencer commands are placed
// inside the buffers as a live device would place them.

#include <atomic>
#include <cstdint>

#include "engine/interfaces/audio_io.h"
#include "platform/foundation/host_time.h"

namespace igbtest {

class SteppingAudioIO : public AudioIO {
 public:
  bool open() override { return true; }
  bool close() override { return true; }
  bool isOpened() override { return true; }
  void activate() override {}
  void deactivate() override {}
  bool start() override { return true; }
  bool stop() override { return true; }
  bool isRunning() override { return true; }
  uint64_t hostTime() override { return time.load(std::memory_order_relaxed); }
  uint64_t latencyNanosec() override { return 5'804'988; }  // two buffers of 128
  uint64_t outputLatencyNanosec() override { return 0; }
  std::atomic<uint64_t> time{platform::hostTime()};
};

}  // namespace igbtest
