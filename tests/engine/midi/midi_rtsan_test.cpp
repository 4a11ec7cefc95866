// The render side of MIDI under RealtimeSanitizer: while a MIDI thread
// feeds notes, every mapped control change and the controllers' parameter
// sends through the parser, every render call is a real-time span; the
// values it applies must reach the sound and, through the hand-off, the
// main thread's record.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/midi/midi_input_connection.h"
#include "engine/provider/memory_data_provider.h"
#include "engine/settings/global_settings.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "platform/foundation/host_time.h"
#include "tests/support/rtsan/rtsan_scope.h"
#include "tests/support/rtsan/rtsan_test_environment.h"
#include "tests/support/stepping_audio_io.h"

namespace {

using igbtest::SteppingAudioIO;

void exerciseMidi() {
  createDrumData(IGB_BUNDLE_DIR);
  MemoryDataProvider provider(1);
  Synth* synth = Synth::getInstance(44100.0f);
  synth->setDataProvider(&provider);
  SteppingAudioIO io;
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  std::thread midi([&] {
    MidiInputConnection generic(synth, 0, 1, MidiInputConnection::kAnyDevice);
    MidiInputConnection fader(synth, 0, 2, MidiInputConnection::kFaderController);
    for (int round = 0; !stop.load(); ++round) {
      std::vector<uint8_t> bytes;
      for (uint8_t c = 1; c < 120; ++c) {
        if (c == 7 || c == 8 || c == 9) continue;  // transport, pattern select, solo
        bytes.insert(bytes.end(), {0xB9, c, static_cast<uint8_t>((round + c) % 128)});
      }
      bytes.insert(bytes.end(), {0x99, 36, 100, 0xF8, 0x99, 38, 0, 0x89, 40, 0});
      generic.receive(0, bytes.data(), bytes.size());
      // Level 1 on part 3, mute and solo buttons (layout 0), then layout 1:
      // Wave and effect type of the current part.
      const uint8_t f[] = {0xBF, 3,   100, 0xBF, static_cast<uint8_t>(48 + round % 8), 127,
                           0xBF, static_cast<uint8_t>(32 + round % 8), 127, 0xBF, 58, 127,
                           0xBF, 3,   100, 0xBF, 17, 60, 0xBF, 58, 127};
      fader.receive(0, f, sizeof f);
      rounds.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::vector<int16_t> left(128), right(128);
  int16_t* channels[2] = {left.data(), right.data()};
  const uint64_t bufferTicks = platform::nanosToHostTicks(static_cast<uint64_t>(128 * 1e9 / 44100.0));
  for (long call = 0; call < 3 * 44100 / 128; ++call) {
    {
      igb::rtsan::RealtimeScope realtime;
      synth->render(&io, channels, 128);
    }
    io.time.fetch_add(bufferTicks, std::memory_order_relaxed);
    // The main thread takes the record writes as it touches the record.
    if (call % 8 == 0) (void)synth->currentPattern();
    std::this_thread::sleep_for(std::chrono::microseconds(1450));
  }
  stop.store(true);
  midi.join();
  // One quiet pass so that the last values are applied and taken.
  for (int i = 0; i < 8; ++i) {
    io.time.fetch_add(bufferTicks, std::memory_order_relaxed);
    synth->render(&io, channels, 128);
  }
  const PatternRecord r = *synth->currentPattern();
  // Every part's Pitch, Decay and Level in the record is what the voice
  // holds; the record started zeroed, so some must have been written.
  bool reached = true;
  bool written = false;
  for (int p = 0; p < kNumParts; ++p) {
    for (int n : {kPitch, kDecay, kLevel}) {
      reached = reached && r.synthParams[p][n] == synth->partParameter(p, n);
      written = written || r.synthParams[p][n] != 0;
    }
  }
  reached = reached && written;
  Synth::destroyInstance();
  destroyDrumData();
  if (rounds.load() < 100) std::exit(10);
  if (!reached) std::exit(11);
}

TEST(MidiUnderRtsan, RenderSideOfMidiIsRealtimeSafe) {
  EXPECT_EXIT(
      {
        exerciseMidi();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
