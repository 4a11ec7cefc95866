// One thread posts commands and edits steps and motion while another renders
// for a few seconds. Built twice: plainly, and with ThreadSanitizer
// (IGB_TSAN), where any data race fails the run.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "seq_fakes.h"

#if defined(IGB_SEQ_TSAN)
#define SEQ_STRESS_SUITE SeqStressTsan
#else
#define SEQ_STRESS_SUITE SeqStress
#endif

namespace seqtest {
namespace {

// A listener for the render thread that only counts, as the engine's would
// only queue events.
class CountingListener : public RecordingListener {
 public:
  void stepTriggered(int32_t, int32_t part, bool) override {
    if (part >= 0 && part < 8) triggers.fetch_add(1, std::memory_order_relaxed);
  }
  void motionValue(int32_t, ParamId id, int32_t value) override {
    if (id >= 0 && id < 140 && value >= 0 && value <= 127) motionEvents.fetch_add(1, std::memory_order_relaxed);
  }
  void targetTriggered(int32_t, ParamId) override { releases.fetch_add(1, std::memory_order_relaxed); }
  int32_t loadPattern(int32_t index, bool) override {
    loads.fetch_add(1, std::memory_order_relaxed);
    const PatternRecord* r = seq->recordToLoad();
    if (!r || r->sequencerParams.tempo != 1000 + 10 * (index % 400)) badLoads.fetch_add(1);
    // What the engine does on a load: reset and apply through the sequencer.
    seq->resetParams();
    seq->setParam(kSeqParamBpm, r ? r->sequencerParams.tempo : 1200);
    for (int s = 0; s < 64; ++s) seq->setTriggerStep(index % 8, s, (s + index) % 3 == 0);
    const int track = seq->motionTrackFor(index % 140);
    for (int s = 0; s < 64; s += 4) seq->setMotionStep(track, s, true, (s * 2) & 127);
    return r ? r->sequencerParams.tempo : 1200;
  }
  void patternTop(int32_t) override {}
  void returnedToBeginning() override {}
  void setTempo(int32_t tempo) override {
    seq->setParam(kSeqParamBpm, tempo);
    seq->setPatternTempo(tempo);
  }
  void tempoChanged() override {}
  void playStateChanged(bool) override {}
  void recordingStatusChanged(bool) override {}
  void patternSetSelected(uint16_t, uint16_t) override {}
  void patternChanged(int32_t) override {}
  void stopCommandProcessed() override {}
  void sequenceDidStart() override { starts.fetch_add(1, std::memory_order_relaxed); }
  void sequenceDidStop() override {}

  std::atomic<int> triggers{0};
  std::atomic<int> motionEvents{0};
  std::atomic<int> releases{0};
  std::atomic<int> loads{0};
  std::atomic<int> badLoads{0};
  std::atomic<int> starts{0};
};

class AdvancingAudioIO : public FakeAudioIO {
 public:
  uint64_t hostTime() override { return blockTime.load(std::memory_order_relaxed); }
  std::atomic<uint64_t> blockTime{1'000'000'000};
};

TEST(SEQ_STRESS_SUITE, RenderWhileAnotherThreadPostsAndEdits) {
  CountingListener listener;
  AdvancingAudioIO io;
  io.latency = 5'804'988;
  FakeClock clock;
  MemoryProvider provider;
  std::atomic<int32_t> grid{0};
  SeqServices services;
  services.clock = &clock;
  services.patternChangeGrid = [&grid] { return grid.load(std::memory_order_relaxed); };
  Seq seq(&listener, kRate, services);
  listener.seq = &seq;
  seq.setDataProvider(&provider);

  std::atomic<bool> done{false};
  std::atomic<int64_t> renderedFrames{0};
  std::atomic<int> badSlices{0};

  std::thread render([&] {
    int64_t frames = 0;
    const auto begin = std::chrono::steady_clock::now();
    const auto until = begin + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < until) {
      // Twenty times faster than real time, so the posted commands land
      // inside the slices rather than long before them.
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
      if (static_cast<double>(frames) > elapsed * 44100.0 * 20.0) {
        std::this_thread::yield();
        continue;
      }
      const int32_t block = 64 + static_cast<int32_t>((frames / 64) % 4) * 128;
      io.blockTime.store(1'000'000'000 + static_cast<uint64_t>(static_cast<double>(frames) * 1e9 / 44100.0),
                         std::memory_order_relaxed);
      seq.checkLinkState(&io);
      int32_t offset = 0;
      while (offset < block) {
        const int32_t n = seq.process(&io, offset, block - offset);
        if (n < 1 || n > block - offset) {
          badSlices.fetch_add(1);
          break;
        }
        offset += n;
      }
      frames += block;
      renderedFrames.store(frames, std::memory_order_relaxed);
    }
    done = true;
  });

  std::mt19937 rng(1234);
  int posted = 0;
  while (!done) {
    const uint64_t now = 1'000'000'000 + static_cast<uint64_t>(static_cast<double>(renderedFrames.load()) * 1e9 / 44100.0);
    clock.time = now;
    const uint64_t soon = now + (rng() % 30'000'000);
    switch (rng() % 22) {
      case 0: seq.play(soon); break;
      case 1: seq.stopFromUi(soon); break;
      case 2: seq.setLoop(soon, rng() % 2); break;
      case 3: seq.changePattern(soon, static_cast<int32_t>(rng() % 416)); break;
      case 4: seq.changePatternSilently(static_cast<int32_t>(rng() % 416)); break;
      case 5: seq.programChange(soon, rng() % 128); break;
      case 6: seq.setTriggerStep(static_cast<int32_t>(rng() % 8), static_cast<int32_t>(rng() % 64), rng() % 2); break;
      case 7: seq.shiftTriggerSteps(static_cast<int32_t>(rng() % 8), static_cast<int32_t>(rng() % 9) - 4); break;
      case 8: {
        const int t = seq.motionTrackFor(static_cast<ParamId>(rng() % 141) - 1);
        seq.setMotionStep(t, static_cast<int32_t>(rng() % 64), rng() % 4 != 0, static_cast<int32_t>(rng() % 128));
        break;
      }
      case 9: seq.clearMotionTrack(static_cast<int32_t>(rng() % 140)); break;
      case 10: seq.shiftMotionSteps(static_cast<int32_t>(rng() % 140), static_cast<int32_t>(rng() % 5) - 2); break;
      case 11: seq.motionRecordStart(static_cast<int32_t>(rng() % 140)); break;
      case 12: seq.motionRecordEnd(static_cast<int32_t>(rng() % 140)); break;
      case 13: seq.setAccentStep(static_cast<int32_t>(rng() % 64), rng() % 2); break;
      case 14: seq.shiftAccentSteps(static_cast<int32_t>(rng() % 5) - 2); break;
      case 15: seq.setParam(static_cast<int32_t>(rng() % 4), static_cast<int32_t>(rng() % 700)); break;
      case 16: seq.startStepJump(static_cast<int32_t>(rng() % 64), rng() % 2); break;
      case 17: seq.endStepJump(); break;
      case 18: grid = static_cast<int32_t>(rng() % 8); break;
      case 19: seq.setRecording(soon, rng() % 2); break;
      case 20: if (rng() % 50 == 0) seq.resetParams(); break;
      default: {
        // The interface's reads.
        volatile int32_t sink = seq.currentHalfStep() + seq.isBeatLit() + seq.currentTempo() + seq.pendingPattern() +
                                seq.patternLengthInFrames() + seq.isPlaying() + seq.motionTrackParamId(rng() % 140);
        (void)sink;
        break;
      }
    }
    ++posted;
    // Far busier than any user or MIDI source, yet leaving the render
    // thread slices longer than a frame or two.
    if (posted % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  render.join();
  std::printf("rendered %lld frames, %d edits and posts, %d starts, %d triggers, %d motion values, %d loads\n",
              static_cast<long long>(renderedFrames.load()), posted, listener.starts.load(), listener.triggers.load(),
              listener.motionEvents.load(), listener.loads.load());

  EXPECT_EQ(badSlices.load(), 0);
  EXPECT_GT(renderedFrames.load(), 44100);
  EXPECT_GT(posted, 1000);
  EXPECT_GT(listener.starts.load(), 0);
  EXPECT_GT(listener.triggers.load(), 0);
  EXPECT_GT(listener.loads.load(), 0);
  EXPECT_EQ(listener.badLoads.load(), 0);
}

}  // namespace
}  // namespace seqtest
