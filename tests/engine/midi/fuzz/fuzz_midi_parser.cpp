// libFuzzer target for the MIDI byte parser and everything a MIDI source
// reaches behind it. The first input byte picks the kind of device (any
// device, the fader controller, the pad controller); the rest is the byte
// stream, cut into packets (each packet's first byte gives its length), and
// after every packet the engine renders one buffer so the queued messages
// take effect. A fresh engine per input (so that every finding replays on
// its own), with an in-memory library of 64
// patterns and pattern sets that also name patterns it does not have.
// Besides crashes, sanitizer reports, leaks, timeouts and runaway memory,
// the run stops when:
// - the parser is in a state it does not have;
// - the engine reports a part, a pattern or a current part outside its
//   range;
// - a value of the record that plays leaves the range the record allows.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/midi/midi_clock_tempo_tracker.h"
#include "engine/midi/midi_input_connection.h"
#include "engine/provider/memory_data_provider.h"
#include "engine/seq/host_clock.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "platform/foundation/host_time.h"
#include "tests/support/fuzz/fuzz_support.h"
#include "tests/support/fuzz/record_ranges.h"
#include "tests/support/null_synth_listener.h"
#include "tests/support/stepping_audio_io.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTarget = "fuzz_midi_parser";
constexpr int32_t kFrames = 128;
constexpr int32_t kBanks = 2;

// The device's clock is the engine's "now", so every stamp is exact.
class DeviceClock : public HostClock {
 public:
  explicit DeviceClock(igbtest::FakeAudioIO& io) : io_(io) {}
  uint64_t now() override { return io_.hostTime(); }

 private:
  igbtest::FakeAudioIO& io_;
};

class Checker : public igbtest::NullSynthListener {
 public:
  void synthTriggered(int part, bool) override {
    if (part < -1 || part >= kNumParts) igbfuzz::stop(kTarget, "triggered part " + std::to_string(part));
  }
  void notifyPatternChangedFromMidi(int n) override {
    if (n < 0 || n >= kBanks * kPatternsPerBank) igbfuzz::stop(kTarget, "changed to pattern " + std::to_string(n));
  }
  void currentPartChangedFromMidi(int part) override {
    if (part < 0 || part >= kNumParts) igbfuzz::stop(kTarget, "current part " + std::to_string(part));
  }
};

struct World {
  fs::path root;
  igbtest::FakeAudioIO io;
  DeviceClock clock{io};
  Checker listener;
  // MIDI only reads the library, so one serves every input.
  MemoryDataProvider provider{kBanks};
};

World& world() {
  static World* w = [] {
    auto* x = new World;
    x->root = igbfuzz::makeTempDir("midi");
    createGlobalSettings(x->root, x->root);
    // No samples: the drum parts play silence, which is all the run needs.
    createDrumData((x->root / "no-bundle").string());
    return x;
  }();
  return *w;
}

void checkRecord(const PatternRecord& r) {
  if (auto bad = igbfuzz::outOfRange(r); !bad.empty()) igbfuzz::stop(kTarget, "the record that plays: " + bad);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  World& w = world();
  w.io.time = platform::nanosToHostTicks(1'000'000'000);

  SeqServices services;
  services.clock = &w.clock;
  services.makeClockTracker = midiClockTempoTrackerFactory();
  Synth* synth = Synth::getInstance(44100.0f, services);
  synth->setDataProvider(&w.provider);
  synth->setListener(&w.listener);
  // Pattern sets that reach past the library as well as into it.
  // The program starts with a pattern loaded (the edit buffer, else the first).
  const PatternRecord first = w.provider.patternAt(0);
  synth->setPatternRecord(&first);
  checkRecord(*synth->currentPattern());
  synth->setPatternSetLookup([](int32_t slot, int32_t bank) { return (slot * 7 + bank * 131) % 200; });

  MidiInputConnection connection(synth, 1, 2, data[0] % 3);
  std::vector<int16_t> left(kFrames), right(kFrames);
  int16_t* channels[2] = {left.data(), right.data()};
  const uint64_t buffer = platform::nanosToHostTicks(static_cast<uint64_t>(kFrames * 1e9 / 44100.0));
  for (size_t at = 1; at < size;) {
    const size_t length = std::min<size_t>(data[at] % 16 + 1, size - at - 1);
    ++at;
    connection.receive(w.io.hostTime(), data + at, length);
    at += length;
    if (connection.parserState() > MidiInputConnection::kSingleData) igbfuzz::stop(kTarget, "the parser lost its state");
    synth->render(&w.io, channels, kFrames);
    w.io.time += buffer;
    checkRecord(*synth->currentPattern());
  }
  Synth::destroyInstance();
  return 0;
}
