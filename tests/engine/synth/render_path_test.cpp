// The render path by numbers: where a note starts, in which order the
// events of one frame are applied, the output-enable latch and the bounce,
// the mix and the master stages, long requests, live triggers and the
// cross/ring modulation routing.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "engine/synth/master_stages.h"
#include "platform/foundation/host_time.h"
#include "support/stepping_audio_io.h"
#include "synth_test_support.h"
#include "tools/render/dense_pattern.h"
#include "tools/render/offline_render.h"

namespace {

using synthtest::EngineTest;
using synthtest::firstNonZero;
using synthtest::peak;
using synthtest::quietPattern;
using synthtest::Stereo;

using FixedTimeAudioIO = igbtest::FakeAudioIO;

class RenderPath : public EngineTest {
 protected:
  // A new engine in the state `setup` leaves it; the old one is dropped.
  void freshEngine(const std::function<void(Synth&)>& setup = {}) {
    Synth::destroyInstance();
    synth = Synth::getInstance(44100.0f);
    synth->setDataProvider(&provider);
    if (setup) setup(*synth);
  }
  // Pushes the events as given (not sorted) and renders one block with the
  // sequencer stopped.
  Stereo renderPushed(const std::vector<EngineEvent>& events, int32_t frames = 1024) {
    for (const EngineEvent& e : events) synth->pushEvent(e.frame, e.type, e.a, e.b);
    return renderOffline(static_cast<size_t>(frames));
  }
};

// --- onsets -------------------------------------------------------------------

struct OnsetCase {
  int part;
  int step;
  int swing;
  int32_t block;
  int64_t frame;  // the first whole frame at or after the step's time
};

class StepOnset : public RenderPath, public ::testing::WithParamInterface<OnsetCase> {};

TEST_P(StepOnset, NoteStartsAtTheFrameOfItsStep) {
  const OnsetCase c = GetParam();
  PatternRecord r = quietPattern();
  r.sequencerParams.swing = static_cast<int16_t>(c.swing);
  r.sequencerParams.trigger[c.part][c.step] = 1;
  startBounceOf(r);
  const Stereo out = renderOffline(static_cast<size_t>(c.frame + 2048), c.block);
  EXPECT_EQ(firstNonZero(out), c.frame);
  EXPECT_GT(peak(out.left, static_cast<size_t>(c.frame), static_cast<size_t>(c.frame) + 64), 400);
  synth->endBounce();
}

// At 120 BPM a step pair is 11,025 frames; with swing 50 each step is
// 5,512.5, with 75 the even step 8,268.75 and the odd one 2,756.25. Blocks
// of 735 put step 2 (frame 11,025) at frame 0 of a render call, blocks of
// 1,024 at frame 785 of one, where the sequencer cuts a new slice.
INSTANTIATE_TEST_SUITE_P(
    Steps, StepOnset,
    ::testing::Values(OnsetCase{0, 0, 50, 1024, 0}, OnsetCase{0, 1, 50, 1024, 5513},
                      OnsetCase{1, 2, 50, 1024, 11025}, OnsetCase{1, 2, 50, 735, 11025},
                      OnsetCase{2, 2, 50, 100, 11025}, OnsetCase{2, 3, 50, 1024, 16538},
                      OnsetCase{3, 4, 50, 735, 22050}, OnsetCase{0, 1, 75, 1024, 8269},
                      OnsetCase{3, 2, 75, 64, 11025}, OnsetCase{1, 3, 75, 1024, 19294}),
    [](const ::testing::TestParamInfo<OnsetCase>& info) {
      const OnsetCase& c = info.param;
      return "Part" + std::to_string(c.part + 1) + "Step" + std::to_string(c.step) + "Swing" +
             std::to_string(c.swing) + "Block" + std::to_string(c.block);
    });

TEST_F(RenderPath, EventAtTheFirstFrameOfACallIsAppliedBeforeItRenders) {
  // Pushed at frame 0 of the call, the trigger must be heard on frame 0.
  const Stereo out = renderPushed({{0, EngineEvent::kStepTrigger, 0, 1}}, 256);
  EXPECT_EQ(firstNonZero(out), 0);
  freshEngine();
  const Stereo late = renderPushed({{37, EngineEvent::kStepTrigger, 0, 1}}, 256);
  EXPECT_EQ(firstNonZero(late), 37);
}

TEST_F(RenderPath, EventsAtOrAfterTheSliceEndAreDropped) {
  const Stereo out = renderPushed({{1024, EngineEvent::kStepTrigger, 0, 1}, {5000, EngineEvent::kStepTrigger, 1, 1}});
  EXPECT_EQ(firstNonZero(out), -1);
  // Nothing was kept for later either.
  const Stereo next = renderOffline(4096);
  EXPECT_EQ(firstNonZero(next), -1);
}

// --- order of the events of one frame ---------------------------------------------

TEST_F(RenderPath, MotionValueOfAFrameIsAppliedBeforeItsStepTrigger) {
  // The accent level decides the velocity when the trigger is applied:
  // knob level 127 gives 30, the motion value 0 gives 99.
  auto setup = [](Synth& s) {
    s.setAccentParameter(0, 127);
    s.setAccentParameter(1, 1);
  };
  freshEngine(setup);
  const Stereo pushedTriggerFirst = renderPushed(
      {{300, EngineEvent::kStepTrigger, 0, 0}, {300, EngineEvent::kMotionValue, kParamAccentLevel, 0}});

  freshEngine([](Synth& s) { s.setAccentParameter(0, 0); });
  const Stereo atLevel0 = renderPushed({{300, EngineEvent::kStepTrigger, 0, 0}});
  freshEngine(setup);
  const Stereo atLevel127 = renderPushed({{300, EngineEvent::kStepTrigger, 0, 0}});

  ASSERT_NE(atLevel0.left, atLevel127.left);
  EXPECT_EQ(firstNonZero(pushedTriggerFirst), 300);
  EXPECT_EQ(pushedTriggerFirst.left, atLevel0.left);
  EXPECT_EQ(pushedTriggerFirst.right, atLevel0.right);
}

TEST_F(RenderPath, TriggersOfOneFrameAreAppliedLowerPartFirst) {
  // Parts 4 and 5 (closed and open hi-hat) choke each other at note-on: of
  // two triggers in one frame only the one applied last sounds.
  const Stereo pushed5Then4 =
      renderPushed({{200, EngineEvent::kStepTrigger, 5, 1}, {200, EngineEvent::kStepTrigger, 4, 1}}, 4096);
  freshEngine();
  const Stereo only5 = renderPushed({{200, EngineEvent::kStepTrigger, 5, 1}}, 4096);
  freshEngine();
  const Stereo only4 = renderPushed({{200, EngineEvent::kStepTrigger, 4, 1}}, 4096);

  ASSERT_GT(peak(only5.left), 0);
  ASSERT_NE(only4.left, only5.left);
  EXPECT_EQ(pushed5Then4.left, only5.left);
  EXPECT_EQ(pushed5Then4.right, only5.right);
}

TEST_F(RenderPath, StepTriggersOfTheSequencerReachTheVoicesInOneFrame) {
  // Through the sequencer: both hi-hats on step 0, the open one (part 5)
  // is applied last and chokes the closed one.
  PatternRecord r = quietPattern();
  r.sequencerParams.trigger[4][0] = 1;
  r.sequencerParams.trigger[5][0] = 1;
  startBounceOf(r);
  const Stereo both = renderOffline(4096);
  synth->endBounce();

  r.sequencerParams.trigger[4][0] = 0;
  freshEngine();
  startBounceOf(r);
  const Stereo open = renderOffline(4096);
  synth->endBounce();
  ASSERT_GT(peak(open.left), 0);
  EXPECT_EQ(both.left, open.left);
}

// --- output-enable latch and bounce -------------------------------------------------

TEST_F(RenderPath, LiveRenderWhileTheOutputByteIsClearIsSilentAndLeavesTheSequencerAlone) {
  PatternRecord r = quietPattern();
  r.sequencerParams.trigger[0][0] = 1;
  synth->setPatternRecord(&r);
  ASSERT_TRUE(synth->beginBounce());
  EXPECT_FALSE(synth->outputEnabled());
  EXPECT_FALSE(synth->outputRequested());
  synth->startForBounce(0);
  const float posBefore = synth->seq()->position().posInStep();
  const int32_t stepBefore = synth->seq()->position().step();

  const Stereo silent = renderLive(2048, 512);
  for (size_t i = 0; i < silent.frames(); ++i) {
    ASSERT_EQ(silent.left[i], 0) << i;
    ASSERT_EQ(silent.right[i], 0) << i;
  }
  // The start command is still waiting: the sequencer never ran.
  EXPECT_FALSE(synth->isPlaying());
  EXPECT_EQ(synth->seq()->position().posInStep(), posBefore);
  EXPECT_EQ(synth->seq()->position().step(), stepBefore);
  EXPECT_FALSE(synth->outputEnabled());

  // The bounce itself plays the pattern from its first frame.
  EXPECT_EQ(firstNonZero(renderOffline(256)), 0);
  EXPECT_TRUE(synth->isPlaying());
  synth->endBounce();
}

TEST_F(RenderPath, AfterEndBounceTheLiveOutputReturnsAtTheBufferAfterTheNext) {
  ASSERT_TRUE(synth->beginBounce());
  synth->endBounce();
  EXPECT_TRUE(synth->outputRequested());
  EXPECT_FALSE(synth->outputEnabled());

  // A note waiting in the event queue shows when the engine renders again.
  synth->triggerPartLive(0);
  const Stereo next = renderLive(256, 256);
  EXPECT_EQ(firstNonZero(next), -1);
  EXPECT_TRUE(synth->outputEnabled());  // latched at the end of that buffer
  const Stereo afterNext = renderLive(256, 256);
  EXPECT_EQ(firstNonZero(afterNext), 0);
}

TEST_F(RenderPath, NotesQueuedDuringABounceStayOutOfItAndAreDroppedAtItsEnd) {
  // No steps: whatever sounds came from the queue.
  PatternRecord r = quietPattern();
  ASSERT_TRUE(synth->beginBounce());
  synth->setPatternRecord(&r);
  synth->startForBounce(0);
  const uint64_t now = platform::hostTime();
  synth->triggerPartLive(0);
  synth->pushMidiEvent(now, EngineEventQueueEntry::kMidiNote, 4, 100);
  const Stereo bounced = renderOffline(4096);
  EXPECT_EQ(firstNonZero(bounced), -1);
  synth->stopPlayback(0);
  renderOffline(1);
  synth->endBounce();
  // Nothing stale plays once the live output is back...
  const Stereo after = renderLive(4096, 256);
  EXPECT_EQ(firstNonZero(after), -1);
  // ...and what comes now does.
  synth->triggerPartLive(0);
  EXPECT_GE(firstNonZero(renderLive(1024, 256)), 0);
}

TEST_F(RenderPath, BeginBounceWithNoLiveOutputTakesTheEngineAtOnce) {
  // Nothing renders live here: the hand-over must not depend on a render
  // that never comes, and it succeeds every time.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(synth->beginBounce());
    EXPECT_FALSE(synth->outputEnabled());
    synth->endBounce();
    renderLive(64, 64);
    EXPECT_TRUE(synth->outputEnabled());
  }
}

TEST_F(RenderPath, BounceTakesTheEngineFromARunningLiveOutput) {
  PatternRecord r = quietPattern();
  for (int s = 0; s < 16; ++s) r.sequencerParams.trigger[0][s] = 1;
  synth->setPatternRecord(&r);
  synth->startSequencer(0);

  std::atomic<bool> stop{false};
  std::atomic<int> phase{0};  // 1 while the bounce holds the engine
  std::atomic<long> loudWhileBounced{0};
  std::atomic<long> buffersWhileBounced{0};
  std::atomic<long> loudAfter{0};
  std::thread live([&] {
    std::vector<int16_t> l(256), r2(256);
    int16_t* ch[2] = {l.data(), r2.data()};
    while (!stop.load()) {
      const int before = phase.load();
      synth->render(nullptr, ch, 256);
      const int after = phase.load();
      const bool loud = peak(l) > 0 || peak(r2) > 0;
      if (before == 1 && after == 1) {
        ++buffersWhileBounced;
        if (loud) ++loudWhileBounced;
      }
      if (before == 2 && loud) ++loudAfter;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(synth->beginBounce());
  phase.store(1);
  synth->startForBounce(0);
  const Stereo bounced = renderOffline(20000);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  phase.store(2);
  synth->endBounce();
  synth->startSequencer(0);
  for (int i = 0; i < 500 && loudAfter.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  stop.store(true);
  live.join();

  EXPECT_GT(buffersWhileBounced.load(), 0);
  EXPECT_EQ(loudWhileBounced.load(), 0);
  EXPECT_GT(loudAfter.load(), 0);
  EXPECT_EQ(firstNonZero(bounced), 0);
}

TEST_F(RenderPath, BounceLengthIsTheUnswungPattern) {
  PatternRecord r = quietPattern();
  struct Case {
    int tempo, swing, length, lastStep;
    uint32_t frames;
  };
  // trunc(halfPair × played steps), halfPair = 44,100 × 30 ÷ BPM ÷ 2.
  const Case cases[] = {{1200, 50, 1, 16, 88200}, {1200, 75, 4, 16, 352800}, {1200, 50, 2, 3, 33075},
                        {1333, 60, 1, 16, 79399}, {6000, 50, 4, 16, 70560}, {200, 50, 1, 1, 33075}};
  for (const Case& c : cases) {
    r.sequencerParams.tempo = static_cast<int16_t>(c.tempo);
    r.sequencerParams.swing = static_cast<int16_t>(c.swing);
    r.sequencerParams.length = static_cast<int16_t>(c.length);
    r.sequencerParams.lastStep = static_cast<int16_t>(c.lastStep);
    synth->setPatternRecord(&r);
    EXPECT_EQ(synth->bounceLength(), c.frames) << c.tempo << " " << c.length << "x" << c.lastStep;
  }
}

// A stop or a pattern change asked for just before a bounce, still waiting
// in the command queue because no render has run since, is settled when the
// bounce takes the engine: the bounce then plays, in full and from its top,
// the pattern the panel would show after it, exactly as a bounce from rest.
TEST_F(RenderPath, WhatWasAskedJustBeforeABounceIsSettledBeforeItPlays) {
  const PatternRecord first = makeDensePattern();
  const PatternRecord second = makeDensePattern(DensePatternOptions{1400, 5, 2});
  ASSERT_TRUE(provider.storePattern(first, 0));
  ASSERT_TRUE(provider.storePattern(second, 1));
  auto bounceFromRest = [&](const PatternRecord& r) {
    freshEngine();
    synth->setPatternRecord(&r);
    StereoBuffer out;
    EXPECT_TRUE(bouncePattern(*synth, 1, &out));
    return out;
  };
  const StereoBuffer wantFirst = bounceFromRest(first);
  const StereoBuffer wantSecond = bounceFromRest(second);
  ASSERT_GT(peak(wantFirst.left), 2000);
  ASSERT_NE(wantFirst.frames(), wantSecond.frames());

  struct Case {
    const char* name;
    bool playing;
    bool stop;
    int32_t change;  // -1: none
    const StereoBuffer& want;
  };
  const Case cases[] = {
      {"playing", true, false, -1, wantFirst},
      {"stop while playing", true, true, -1, wantFirst},
      {"change at rest", false, false, 1, wantSecond},
      {"change and stop while playing", true, true, 1, wantSecond},
      {"stop at rest", false, true, -1, wantFirst},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshEngine();
    synth->setPatternRecord(&first);
    if (c.playing) {
      synth->startSequencer(0);
      renderOffline(30000);
      ASSERT_TRUE(synth->isPlaying());
    }
    if (c.change >= 0) {
      ASSERT_TRUE(synth->changePattern(c.change));
    }
    if (c.stop) synth->stopPlayback(0);
    StereoBuffer got;
    ASSERT_TRUE(bouncePattern(*synth, 1, &got));
    EXPECT_FALSE(synth->isPlaying());
    ASSERT_EQ(got.frames(), c.want.frames());
    EXPECT_EQ(got.left, c.want.left);
    EXPECT_EQ(got.right, c.want.right);
  }
}

// --- mix and master stages ------------------------------------------------------

TEST_F(RenderPath, FullScaleDrySumAndSendAreClampedBeforeTheDrive) {
  // Parts 1 and 2 dry, 3 and 4 into the send, all hard left, square waves
  // in phase with the Low Boost up: both left buses sit at full scale. The
  // effect is switched off (motion value 0 on its switch), so the send comes
  // back as its input × 32767/32768.
  PatternRecord r = quietPattern();
  for (int p = 0; p < 4; ++p) {
    synthParams& s = r.synthParams[p];
    s.level = 127;
    s.lowBoost = 127;
    s.pitch = 30;
    s.pan = 0;
    s.fxSend = p >= 2 ? 1 : 0;
    r.sequencerParams.trigger[p][0] = 1;
  }
  r.sequencerParams.accentLevel = 127;
  r.sequencerParams.accent[0] = 1;
  startBounceOf(r);
  synth->pushEvent(0, EngineEvent::kMotionValue, kParamEffectOnOff, 0);
  int16_t l[1024], rr[1024];
  int16_t* ch[2] = {l, rr};
  synth->renderBlock(nullptr, ch, 1024);

  // What the stages must make of the clamped sums; the engine's drive and
  // fader are, at these settings, in the state of new ones.
  std::vector<int16_t> el(1024), er(1024);
  int fullScaleFrames = 0;
  for (size_t i = 0; i < 1024; ++i) {
    const int32_t dry = synth->bus(0)[i];
    const int32_t send = synth->bus(2)[i];
    if (dry == 32767 && send >= 32766) ++fullScaleFrames;
    el[i] = saturate16(dry + send);
    er[i] = saturate16(int32_t{synth->bus(1)[i]} + synth->bus(3)[i]);
  }
  MasterDrive drive;
  drive.setValue(0);
  MasterFader fader;
  drive.process(el.data(), er.data(), 1024);
  fader.process(el.data(), er.data(), 1024);
  softClip(el.data(), 1024);
  softClip(er.data(), 1024);
  ASSERT_GT(fullScaleFrames, 200) << "the material must put both buses at full scale";
  for (size_t i = 0; i < 1024; ++i) {
    ASSERT_EQ(l[i], el[i]) << i;
    ASSERT_EQ(rr[i], er[i]) << i;
    if (synth->bus(0)[i] == 32767 && synth->bus(2)[i] >= 32766) {
      ASSERT_EQ(l[i], 32765) << i;
    }
    if (synth->bus(0)[i] == -32767 && synth->bus(2)[i] <= -32766) {
      ASSERT_EQ(l[i], -32766) << i;
    }
  }
  synth->endBounce();
}

TEST_F(RenderPath, OutputStaysInsideTheSoftClipBounds) {
  // The dense pattern turned up until it overloads: every part at full
  // level, accented, with its Low Boost up.
  PatternRecord loud = makeDensePattern({1200, 3, 0});
  for (int p = 0; p < kNumParts; ++p) {
    loud.synthParams[p].level = 127;
    loud.synthParams[p].lowBoost = 127;
    loud.motionParams[p * 16 + kLevel].enabled = 0;
  }
  loud.motionParams[kParamAccentLevel].enabled = 0;
  loud.sequencerParams.accentLevel = 127;
  for (auto& a : loud.sequencerParams.accent) a = 1;
  for (const int tube : {0, 64, 127}) {
    freshEngine([tube](Synth& s) { s.setMasterParameter(1, tube); });
    startBounceOf(loud);
    const Stereo out = renderOffline(88200);
    synth->endBounce();
    int32_t lo = 0, hi = 0;
    for (size_t i = 0; i < out.frames(); ++i) {
      for (int16_t v : {out.left[i], out.right[i]}) {
        lo = std::min<int32_t>(lo, v);
        hi = std::max<int32_t>(hi, v);
      }
    }
    // Full scale in gives 32,765 out, and -32,766 on the negative side
    // (the shift floors); nothing beyond.
    EXPECT_EQ(hi, 32765) << "tube " << tube;
    EXPECT_EQ(lo, -32766) << "tube " << tube;
  }
}

TEST_F(RenderPath, MasterVolumeScalesTheOutput) {
  PatternRecord r = quietPattern();
  r.sequencerParams.trigger[0][0] = 1;
  r.sequencerParams.accent[0] = 1;
  r.sequencerParams.accentLevel = 127;
  r.synthParams[0].waveform = 0;
  r.synthParams[0].level = 127;
  auto render = [&](int volume) {
    freshEngine([volume](Synth& s) { s.setMasterParameter(0, volume); });
    startBounceOf(r);
    Stereo out = renderOffline(44100);
    synth->endBounce();
    return out;
  };
  const Stereo v100 = render(100);
  const Stereo v0 = render(0);
  const Stereo v64 = render(64);
  // The fader ramps from its start value; once there, volume 0 is silence.
  EXPECT_EQ(peak(v0.left, 8192), 0);
  const int32_t p100 = peak(v100.left, 4096);
  const int32_t p64 = peak(v64.left, 4096);
  ASSERT_GT(p100, 1000);
  // Gains 32,767 and 13,421 (× 3.2767 v²), through the soft clip's linear
  // part (the peaks stay below 13,848 before it).
  EXPECT_NEAR(double(p64) / double(p100), 13421.0 / 32767.0, 0.01);
}

// --- long requests --------------------------------------------------------------

TEST_F(RenderPath, RequestsLongerThanTheBusesRenderAsTheirPieces) {
  const PatternRecord dense = makeDensePattern({1200, 1, 1});
  startBounceOf(dense);
  const Stereo pieces = renderOffline(3 * 4096, 1024);
  synth->endBounce();

  freshEngine();
  startBounceOf(dense);
  const Stereo whole = renderOffline(3 * 4096, 4096);
  synth->endBounce();
  ASSERT_GT(peak(pieces.left), 1000);
  EXPECT_EQ(whole.left, pieces.left);
  EXPECT_EQ(whole.right, pieces.right);

  // A request of 3,000 frames is the pieces 1,024, 1,024 and 952.
  freshEngine();
  startBounceOf(dense);
  const Stereo odd = renderOffline(4 * 3000, 3000);
  synth->endBounce();
  freshEngine();
  startBounceOf(dense);
  Stereo cut;
  for (int call = 0; call < 4; ++call)
    for (const int32_t n : {1024, 1024, 952}) cut.append(renderOffline(static_cast<size_t>(n), n));
  synth->endBounce();
  EXPECT_EQ(odd.left, cut.left);
  EXPECT_EQ(odd.right, cut.right);
}

TEST_F(RenderPath, LongRequestPlacesTimedEntriesByTheirOwnPiece) {
  // A live trigger due 3,000 frames into a 4,096-frame request sounds at
  // frame 3,000, not a request later.
  const uint64_t chunkTime = 1'000'000'000;
  FixedTimeAudioIO io(chunkTime);
  // 3,000 frames = 68,027,210.9 ns; the next whole nanosecond lands inside.
  synth->pushMidiEvent(chunkTime + platform::nanosToHostTicks(68'027'211), EngineEventQueueEntry::kLiveTrigger, 1, 1);
  Stereo out;
  out.left.assign(4096, 0);
  out.right.assign(4096, 0);
  int16_t* ch[2] = {out.left.data(), out.right.data()};
  synth->render(&io, ch, 4096);
  EXPECT_EQ(firstNonZero(out), 3000);
}

TEST_F(RenderPath, TimedEntriesLandAtTheirFrameAndNeverBeforeTheSlice) {
  const uint64_t chunkTime = 5'000'000'000;
  FixedTimeAudioIO io(chunkTime);
  // 100 frames after the chunk time (2,267,573.7 ns, rounded up).
  synth->pushMidiEvent(chunkTime + 2'267'574, EngineEventQueueEntry::kLiveTrigger, 2, 1);
  EXPECT_EQ(firstNonZero(renderLive(512, 512, &io)), 100);
  // Stamped before the chunk: at its first frame.
  freshEngine();
  synth->pushMidiEvent(chunkTime - 50'000'000, EngineEventQueueEntry::kLiveTrigger, 2, 1);
  EXPECT_EQ(firstNonZero(renderLive(512, 512, &io)), 0);
  // Due after this chunk: waits for a later one.
  freshEngine();
  synth->pushMidiEvent(chunkTime + 20'000'000, EngineEventQueueEntry::kLiveTrigger, 2, 1);
  EXPECT_EQ(firstNonZero(renderLive(512, 512, &io)), -1);
  io.time = chunkTime + 20'000'000;
  EXPECT_EQ(firstNonZero(renderLive(512, 512, &io)), 0);
}

// --- live triggers ----------------------------------------------------------------

TEST_F(RenderPath, LiveTriggerSoundsInTheNextBlockAndIsAlwaysAccented) {
  // Accent level 127: accented velocity 127, unaccented 30.
  auto setup = [](Synth& s) { s.setAccentParameter(0, 127); };
  freshEngine(setup);
  synth->triggerPartLive(3);
  const Stereo live = renderOffline(2048);

  freshEngine(setup);
  const Stereo accented = renderPushed({{0, EngineEvent::kStepTrigger, 3, 1}}, 2048);
  freshEngine(setup);
  const Stereo plain = renderPushed({{0, EngineEvent::kStepTrigger, 3, 0}}, 2048);

  EXPECT_EQ(firstNonZero(live), 0);
  ASSERT_NE(accented.left, plain.left);
  EXPECT_EQ(live.left, accented.left);
  EXPECT_EQ(live.right, accented.right);
}

TEST_F(RenderPath, LiveTriggerOfAPartOutsideTheEightIsIgnored) {
  synth->triggerPartLive(8);
  synth->triggerPartLive(-1);
  EXPECT_EQ(synth->midiEventQueue().size(), 0u);
  EXPECT_EQ(firstNonZero(renderOffline(1024)), -1);
}

// --- cross and ring modulation ------------------------------------------------------

struct RoutingCase {
  int mode;
  std::vector<int> parts;  // triggered on step 0
  bool silent;
  // When not empty: the output equals mode 0 with only these parts; when
  // empty (and not silent): it differs from mode 0 with part 1 alone and
  // with both parts 1 and 2, so the modulator shapes part 1.
  std::vector<int> likeMode0;
};

class CrossRing : public RenderPath, public ::testing::WithParamInterface<RoutingCase> {
 protected:
  Stereo play(int mode, const std::vector<int>& parts) {
    freshEngine();
    PatternRecord r = quietPattern();
    r.sequencerParams.crossRingMod = static_cast<int16_t>(mode);
    r.sequencerParams.accentLevel = 127;
    r.sequencerParams.accent[0] = 1;
    for (int p : parts) {
      r.synthParams[p].level = 127;
      r.sequencerParams.trigger[p][0] = 1;
      r.synthParams[p].waveform = 0;
      r.synthParams[p].pitch = p == 1 ? 90 : 64;
    }
    startBounceOf(r);
    Stereo out = renderOffline(8192);
    synth->endBounce();
    return out;
  }
};

TEST_P(CrossRing, PartTwoIsRoutedIntoPartOne) {
  const RoutingCase c = GetParam();
  const Stereo out = play(c.mode, c.parts);
  if (c.silent) {
    EXPECT_EQ(firstNonZero(out), -1);
    return;
  }
  ASSERT_GT(peak(out.left), 500);
  if (!c.likeMode0.empty()) {
    EXPECT_EQ(out.left, play(0, c.likeMode0).left);
    EXPECT_EQ(out.right, play(0, c.likeMode0).right);
  } else {
    EXPECT_NE(out.left, play(0, {0}).left);
    EXPECT_NE(out.left, play(0, {0, 1}).left);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CrossRing,
    ::testing::Values(RoutingCase{1, {1}, true, {}},        // the modulator alone is not heard
                      RoutingCase{2, {1}, true, {}},
                      RoutingCase{2, {0}, true, {}},        // ring by a silent modulator
                      RoutingCase{1, {0}, false, {0}},      // cross by a silent modulator
                      RoutingCase{1, {1, 3}, false, {3}},   // parts 3 and 4 take no part
                      RoutingCase{2, {1, 2}, false, {2}},
                      RoutingCase{1, {0, 1}, false, {}},
                      RoutingCase{2, {0, 1}, false, {}}));

// --- the whole path, pinned ---------------------------------------------------

// One loop of the dense pattern (every part on every step, gliding motion,
// every modulation kind, both modulation routes and none, four effects,
// drive off and on), as FNV-1a over its interleaved samples. The loops of
// the voices, effects and master stages may be arranged in any way that is
// faster, but what they compute is fixed: a single sample off changes these.
struct PinnedCase {
  int32_t effect;
  int32_t crossRing;
  int32_t tubeGain;
  uint64_t fingerprint;
};

class PinnedBounce : public RenderPath, public ::testing::WithParamInterface<PinnedCase> {};

TEST_P(PinnedBounce, DensePatternRendersTheSameSamples) {
  const PinnedCase c = GetParam();
  synth->setMasterParameter(1, c.tubeGain);
  const PatternRecord r = makeDensePattern({1200, c.effect, c.crossRing});
  synth->setPatternRecord(&r);
  StereoBuffer out;
  ASSERT_TRUE(bouncePattern(*synth, 1, &out));
  ASSERT_EQ(out.frames(), 352800u);
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < out.frames(); ++i) {
    h = (h ^ static_cast<uint16_t>(out.left[i])) * 1099511628211ull;
    h = (h ^ static_cast<uint16_t>(out.right[i])) * 1099511628211ull;
  }
  EXPECT_EQ(h, c.fingerprint) << std::hex << h;
}

INSTANTIATE_TEST_SUITE_P(Dense, PinnedBounce,
                         ::testing::Values(PinnedCase{3, 1, 0, 0xa65e5573690132e5ull},
                                           PinnedCase{7, 2, 112, 0x77855bd5fea32680ull},
                                           PinnedCase{1, 0, 16, 0x2f7412157db58c5dull},
                                           PinnedCase{5, 1, 127, 0x181252578ef8831aull}));

}  // namespace

namespace {

// The faces the WAV recorder and the audio output use.
TEST_F(RenderPath, TheRecorderAndTheOutputDriveTheEngineThroughTheirInterfaces) {
  PatternRecord r = quietPattern();
  r.sequencerParams.trigger[1][0] = 1;
  synth->setPatternRecord(&r);
  RecordingSource& source = *synth;
  AudioOutputEngine& output = *synth;
  EXPECT_EQ(source.sampleRate(), 44100.0f);
  EXPECT_EQ(source.currentPattern(), synth->currentPattern());
  EXPECT_EQ(source.bounceLength(), 88200u);
  ASSERT_TRUE(source.beginBounce());
  source.startForBounce(0);
  Stereo out;
  out.left.assign(1024, 0);
  out.right.assign(1024, 0);
  int16_t* ch[2] = {out.left.data(), out.right.data()};
  source.renderBlock(nullptr, ch, 1024);
  EXPECT_EQ(firstNonZero(out), 0);
  EXPECT_TRUE(output.isPlaying());
  source.stopPlayback(0);
  source.renderBlock(nullptr, ch, 1);
  EXPECT_FALSE(output.isPlaying());
  source.endBounce();

  // The output's start and its audio-resume reset.
  output.startSequencer(0);
  renderLive(256, 256);  // the latch comes back
  renderLive(256, 256);
  EXPECT_TRUE(output.isPlaying());
  EXPECT_TRUE(synth->synthPart(1).isSounding());
  // The reset is the render side's: the next block does it, before the
  // stop lets anything ring on.
  output.resetSound();
  output.stopSequencer(0);
  renderLive(256, 256);
  EXPECT_FALSE(synth->synthPart(1).isSounding());
  EXPECT_FALSE(output.isPlaying());
  EXPECT_FALSE(output.isLinkEnabled());
}

}  // namespace
