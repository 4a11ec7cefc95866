#include "engine/synth/synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "synth_test_support.h"

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
  const PatternRecord record = synthtest::quietPattern();
  s->setPatternRecord(&record);
  std::vector<int16_t> l(256), r(256);
  int16_t* ch[2] = {l.data(), r.data()};
  // One live buffer over a buffer that still holds other samples; true when
  // it came out as exact silence.
  auto silentBuffer = [&] {
    std::fill(l.begin(), l.end(), int16_t{1234});
    std::fill(r.begin(), r.end(), int16_t{-1234});
    s->render(nullptr, ch, 256);
    return synthtest::peak(l) == 0 && synthtest::peak(r) == 0;
  };
  // A note waiting for the next buffer; heard in it while the output is on.
  auto note = [&] { s->pushEvent(0, EngineEvent::kStepTrigger, 0, 1); };

  note();
  ASSERT_FALSE(silentBuffer()) << "the setup must sound, or silence below proves nothing";

  // The bounce clears both bytes of the latch: the live output plays exact
  // silence, whatever the buffer held and whatever is due, buffer after buffer.
  ASSERT_TRUE(s->beginBounce());
  EXPECT_FALSE(s->outputRequested());
  EXPECT_FALSE(s->outputEnabled());
  for (int buffer = 0; buffer < 3; ++buffer) {
    note();
    EXPECT_TRUE(silentBuffer()) << buffer;
    EXPECT_FALSE(s->outputEnabled()) << buffer;
  }

  // Asked for again, the output byte follows the request only at the end of
  // the next buffer, which is still silent; the one after it sounds.
  s->endBounce();
  EXPECT_TRUE(s->outputRequested());
  EXPECT_FALSE(s->outputEnabled());
  note();
  EXPECT_TRUE(silentBuffer());
  EXPECT_TRUE(s->outputEnabled());
  note();
  EXPECT_FALSE(silentBuffer());
}

}  // namespace
