#include "engine/synth/synth.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records which observer callbacks arrived, in order.
class RecordingListener : public SynthListener {
 public:
  std::vector<std::string> calls;
  void synthTriggered(int p, bool on) override { calls.push_back("triggered " + std::to_string(p) + (on ? " on" : " off")); }
  void synthParameterChangedFromMidi(int, int) override { calls.push_back("param"); }
  void patternChanged() override { calls.push_back("patternChanged"); }
  void patternTagInfoDidUpdate() override { calls.push_back("tags"); }
  void recordingStatusChanged() override { calls.push_back("recording"); }
  void seqReturnedToTheBeginning() override { calls.push_back("beginning"); }
  void notifyPatternSetChangedFromMidi(uint16_t h, uint16_t l) override {
    calls.push_back("set " + std::to_string(h) + "/" + std::to_string(l));
  }
  void notifyPatternChangedFromMidi(int n) override { calls.push_back("pattern " + std::to_string(n)); }
  void currentPartChangedFromMidi(int) override { calls.push_back("part"); }
  void seqPageShiftedFromMidi(int) override { calls.push_back("page"); }
  void sequenceDidStart() override { calls.push_back("start"); }
  void sequenceDidStop() override { calls.push_back("stop"); }
  void precountAbletonLinkSync(int b, int c) override {
    calls.push_back("precount " + std::to_string(b) + "/" + std::to_string(c));
  }
  void abletonLinkSyncTempoChanged(double t) override { calls.push_back("linkTempo " + std::to_string(int(t))); }
  void abletonLinkSyncEnabledDidChange() override { calls.push_back("linkEnabled"); }
  void abletonLinkSyncConnectedDidChange() override { calls.push_back("linkConnected"); }
};

class SynthTest : public ::testing::Test {
 protected:
  void TearDown() override { Synth::destroyInstance(); }
};

TEST_F(SynthTest, SingletonLifeCycle) {
  EXPECT_EQ(Synth::instance(), nullptr);
  Synth* a = Synth::getInstance(44100.0f);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Synth::getInstance(48000.0f), a);
  EXPECT_EQ(a->sampleRate(), 44100.0f);
  EXPECT_EQ(a->referencePitch(), 440.0f);
  Synth::destroyInstance();
  EXPECT_EQ(Synth::instance(), nullptr);
  Synth* b = Synth::getInstance(22050.0f);
  EXPECT_EQ(b->sampleRate(), 22050.0f);
}

TEST_F(SynthTest, StartsWithNoPatternAndAZeroedRecord) {
  Synth* s = Synth::getInstance(44100.0f);
  EXPECT_EQ(s->currentPatternIndex(), 512);
  EXPECT_EQ(s->currentPart(), 0u);
  EXPECT_TRUE(s->outputEnabled());
  EXPECT_TRUE(s->outputRequested());
  EXPECT_EQ(s->listener(), nullptr);
  for (uint8_t b : s->currentPattern()->toBytes()) ASSERT_EQ(b, 0);
}

TEST_F(SynthTest, SequencerEventsBecomeEngineEvents) {
  Synth* s = Synth::getInstance(44100.0f);
  s->stepTriggered(10, 3, true);
  s->motionValue(11, 17, 99);
  s->motionValue(12, kNoParam, 5);   // ignored
  s->targetTriggered(13, 17);
  s->targetTriggered(14, kNoParam);  // ignored
  const EngineEventList& ev = s->events();
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_EQ(ev[0].type, EngineEvent::kStepTrigger);
  EXPECT_EQ(ev[0].frame, 10u);
  EXPECT_EQ(ev[0].a, 3u);
  EXPECT_EQ(ev[0].b, 1u);
  EXPECT_EQ(ev[1].type, EngineEvent::kMotionValue);
  EXPECT_EQ(ev[1].a, 17u);
  EXPECT_EQ(ev[1].b, 99u);
  EXPECT_EQ(ev[2].type, EngineEvent::kMotionRelease);
  EXPECT_EQ(ev[2].b, 0u);
}

TEST_F(SynthTest, ForwardsToTheListenerOnlyWhenSet) {
  Synth* s = Synth::getInstance(44100.0f);
  // Without a listener these must simply do nothing.
  s->returnedToBeginning();
  s->sequenceDidStart();
  s->linkCountIn(4, 1);

  RecordingListener l;
  s->setListener(&l);
  s->returnedToBeginning();
  s->recordingStatusChanged(true);
  s->patternSetSelected(1, 2);
  s->patternChanged(33);
  s->sequenceDidStart();
  s->sequenceDidStop();
  s->linkCountIn(4, 3);
  s->linkSessionTempoChanged(128.0);
  s->linkEnabledChanged();
  s->linkConnectedChanged();
  s->stopCommandProcessed();  // not forwarded
  const std::vector<std::string> expected = {"beginning", "recording",   "set 1/2",     "pattern 33",
                                             "start",     "stop",        "precount 4/3", "linkTempo 128",
                                             "linkEnabled", "linkConnected"};
  EXPECT_EQ(l.calls, expected);
}

TEST_F(SynthTest, RenderWithOutputDisabledIsExactSilenceAndLatchFollowsRequest) {
  Synth* s = Synth::getInstance(44100.0f);
  std::vector<int16_t> l(256, 1234), r(256, -1234);
  int16_t* ch[2] = {l.data(), r.data()};
  s->render(nullptr, ch, 256);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(l[i], 0);
    ASSERT_EQ(r[i], 0);
  }
  EXPECT_TRUE(s->outputEnabled());
}

}  // namespace
