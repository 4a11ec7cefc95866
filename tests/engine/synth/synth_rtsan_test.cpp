// The engine's render path under RealtimeSanitizer: several seconds of a
// dense pattern (all eight parts on every step, motion, every effect type
// in turn, cross and ring modulation) with live triggers, MIDI entries,
// edits and pattern changes coming from another thread. Every render call
// is a real-time span: an allocation, a lock wait, a sleep or a system call
// anywhere below it ends the child process with a report, and the test
// fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/null_synth_listener.h"
#include "engine/provider/memory_data_provider.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "platform/foundation/host_time.h"
#include "tests/support/rtsan/rtsan_scope.h"
#include "tests/support/rtsan/rtsan_test_environment.h"
#include "tests/support/stepping_audio_io.h"
#include "tools/render/dense_pattern.h"

namespace {

using igbtest::SteppingAudioIO;

// One bar at 300 BPM (0.8 s): the pattern ends, and a queued change loads,
// several times a second.
PatternRecord densePattern(int type) {
  PatternRecord r = makeDensePattern({3000, type, type % 3});
  r.sequencerParams.length = 1;
  return r;
}

// Counts pattern loads without allocating (it is called on the audio thread).
class LoadCounter : public igbtest::NullSynthListener {
 public:
  void patternChanged() override { loads.fetch_add(1, std::memory_order_relaxed); }
  std::atomic<int> loads{0};
};

// Renders `seconds` of audio in buffers of `frames`, each call in its own
// real-time span, while another thread keeps the engine busy. Exits 0 when
// the run did what it is meant to exercise: pattern loads, all eight effect
// types, every cross/ring mode, and sound.
void exerciseEngine(double seconds, int32_t frames) {
  createDrumData(IGB_BUNDLE_DIR);
  MemoryDataProvider provider(1);
  for (int type = 0; type < 8; ++type) provider.storePattern(densePattern(type), type);
  Synth* synth = Synth::getInstance(44100.0f);
  synth->setDataProvider(&provider);
  LoadCounter counter;
  synth->setListener(&counter);
  synth->changePatternSilently(0);
  synth->startSequencer(0);
  SteppingAudioIO io;

  std::atomic<bool> stop{false};
  std::thread ui([&] {
    for (int round = 0; !stop.load(); ++round) {
      const int part = round % 8;
      synth->triggerPartLive(part);
      synth->pushMidiEvent(platform::hostTime(), EngineEventQueueEntry::kMidiNote, static_cast<uint32_t>(part), 100);
      synth->pushMidiEvent(platform::hostTime(), EngineEventQueueEntry::kControlChange, 7, 64);
      synth->setStep(part, round % 64, round % 5 != 0);
      synth->setPartParameter(part, kPitch, (round * 7) % 128);
      synth->setMotionStep(part * 16 + kLevel, round % 64, (round * 3) % 128, 1);
      if (round % 4 == 0) synth->setEffectParameter(0, 0, (round / 4) % 8);  // a crossfade
      if (round % 6 == 0) synth->setEffectParameter(0, 1, round % 128);
      if (round % 9 == 0) synth->setCrossRingMod((round / 9) % 3);
      if (round % 10 == 0) synth->setMasterParameter(0, 80 + round % 40);
      if (round % 11 == 0) synth->setMasterParameter(1, round % 128);
      if (round % 12 == 0) synth->changePatternSilently((round / 12) % 8);
      if (round % 25 == 0) synth->shiftPartSteps(part, 1);
      if (round % 40 == 0) synth->setLoop(round % 80 == 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });

  std::vector<int16_t> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
  int16_t* channels[2] = {left.data(), right.data()};
  const long calls = static_cast<long>(seconds * 44100.0 / frames);
  const uint64_t bufferTicks = platform::nanosToHostTicks(static_cast<uint64_t>(frames * 1e9 / 44100.0));
  uint32_t typesHeard = 0;
  uint32_t modesHeard = 0;
  int32_t loudest = 0;
  for (long call = 0; call < calls; ++call) {
    {
      igb::rtsan::RealtimeScope realtime;
      synth->render(&io, channels, frames);
    }
    io.time.fetch_add(bufferTicks, std::memory_order_relaxed);
    typesHeard |= 1u << synth->multiEffector().currentType();
    modesHeard |= 1u << synth->crossRingSwitch().get(0);
    for (int32_t i = 0; i < frames; ++i) loudest = std::max<int32_t>(loudest, std::abs(int32_t{left[i]}));
    // Twice real time: fast, yet slow enough that the other thread's
    // edits and pattern changes interleave with every buffer size.
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(frames * 1e6 / 44100.0 / 2)));
  }
  stop.store(true);
  ui.join();
  const int loads = counter.loads.load();
  const uint64_t skipped = synth->skippedLoads();
  Synth::destroyInstance();
  destroyDrumData();
  // Outside every real-time span now: a shortfall is said on stderr, which
  // the death-test assertion shows, so a failing run names its cause.
  const auto fail = [](int code, const std::string& why) {
    std::fprintf(stderr, "exercise fell short: %s\n", why.c_str());
    std::exit(code);
  };
  if (loads < 3) fail(10, std::to_string(loads) + " pattern loads");
  if (skipped != 0) fail(11, std::to_string(skipped) + " loads skipped");
  if (typesHeard != 0xFF) fail(12, "effect types heard " + std::to_string(typesHeard) + " of 255");
  if (modesHeard != 0x7) fail(13, "cross/ring modes heard " + std::to_string(modesHeard) + " of 7");
  if (loudest < 1000) fail(14, "loudest sample " + std::to_string(loudest));
}

struct RunCase {
  double seconds;
  int32_t frames;
};

class RenderUnderRtsan : public ::testing::TestWithParam<RunCase> {};

TEST_P(RenderUnderRtsan, RenderIsRealtimeSafe) {
  const RunCase c = GetParam();
  EXPECT_EXIT(
      {
        exerciseEngine(c.seconds, c.frames);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// The usual buffer, and a long request that the engine cuts itself.
INSTANTIATE_TEST_SUITE_P(Buffers, RenderUnderRtsan, ::testing::Values(RunCase{12.0, 128}, RunCase{12.0, 4096}),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                           return std::to_string(info.param.frames) + "Frames";
                         });

// The spans are live: an observer that allocates when a pattern loads (on
// the audio thread, inside render) ends the process with a report.
class AllocatingListener : public igbtest::NullSynthListener {
 public:
  void patternChanged() override { names.push_back(std::string(100, 'x')); }
  std::vector<std::string> names;
};

// A pattern change rendered inside one span, with or without an observer
// that allocates; exits 0 when the pattern was loaded.
void renderOneLoad(bool allocatingObserver) {
  MemoryDataProvider provider(1);
  Synth* synth = Synth::getInstance(44100.0f);
  synth->setDataProvider(&provider);
  AllocatingListener listener;
  if (allocatingObserver) synth->setListener(&listener);
  synth->changePatternSilently(1);
  std::vector<int16_t> l(256), r(256);
  int16_t* ch[2] = {l.data(), r.data()};
  {
    igb::rtsan::RealtimeScope realtime;
    synth->render(nullptr, ch, 256);
  }
  std::exit(synth->currentPatternIndex() == 1 ? 0 : 3);
}

TEST(RenderUnderRtsanCheck, AnAllocationBelowRenderIsCaught) {
  EXPECT_DEATH(renderOneLoad(true), std::string(igb::rtsan::kViolationPattern) + ".*function `malloc`");
}

TEST(RenderUnderRtsanCheck, TheSameRenderWithoutTheAllocationPasses) {
  EXPECT_EXIT(renderOneLoad(false), ::testing::ExitedWithCode(0), "");
}

}  // namespace
