#pragma once
// An engine per test (from the synth tests' fixture) with a listener that
// keeps every MIDI-originated call with its arguments, a device whose chunk
// time and latency the test sets, and a way to read the event queue.

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "support/null_synth_listener.h"
#include "engine/synth/synth_test_support.h"
#include "platform/foundation/host_time.h"
#include "support/stepping_audio_io.h"

namespace miditest {

struct Call {
  std::string name;
  int64_t a = 0;
  int64_t b = 0;
  bool operator==(const Call& o) const { return name == o.name && a == o.a && b == o.b; }
};

inline std::ostream& operator<<(std::ostream& os, const Call& c) {
  return os << c.name << "(" << c.a << ", " << c.b << ")";
}

class Recorder : public igbtest::NullSynthListener {
 public:
  void synthTriggered(int part, bool on) override { add({on ? "on" : "off", part, 0}); }
  void synthParameterChangedFromMidi(int id, int value) override { add({"param", id, value}); }
  void recordingStatusChanged() override { add({"recording", 0, 0}); }
  void notifyPatternSetChangedFromMidi(uint16_t high, uint16_t low) override { add({"set", high, low}); }
  void notifyPatternChangedFromMidi(int n) override { add({"pattern", n, 0}); }
  void currentPartChangedFromMidi(int part) override { add({"part", part, 0}); }
  void seqPageShiftedFromMidi(int offset) override { add({"page", offset, 0}); }
  void sequenceDidStart() override { add({"start", 0, 0}); }
  void sequenceDidStop() override { add({"stop", 0, 0}); }

  std::vector<Call> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Call> out;
    out.swap(calls_);
    return out;
  }

 private:
  void add(Call c) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(c));
  }
  std::mutex mutex_;
  std::vector<Call> calls_;
};

using FakeAudioIO = igbtest::FakeAudioIO;

class MidiTest : public synthtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    synth->setListener(&recorder);
    // The device's clock is the host clock, so that operations stamped with
    // "now" by the engine fall into the next chunk.
    io.time = platform::hostTime();
  }

  // Takes every queued entry, in queue order.
  std::vector<EngineEventQueueEntry> drainQueue() {
    std::vector<EngineEventQueueEntry> out;
    synth->midiEventQueue().drain([](const EngineEventQueueEntry&) { return true; },
                                  [&](const EngineEventQueueEntry& e) { out.push_back(e); });
    return out;
  }

  // Renders one chunk of `frames` through the device and moves its clock on.
  void renderChunk(int32_t frames = 256) {
    std::vector<int16_t> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
    int16_t* ch[2] = {l.data(), r.data()};
    synth->render(&io, ch, frames);
    last.left = l;
    last.right = r;
    io.time += platform::nanosToHostTicks(static_cast<uint64_t>(frames * 1e9 / 44100.0));
  }

  uint64_t ms(double v) { return platform::nanosToHostTicks(static_cast<uint64_t>(v * 1e6)); }

  Recorder recorder;
  FakeAudioIO io;
  synthtest::Stereo last;
};

}  // namespace miditest
