// The recording utilities: where a live recording lands, what it writes,
// the play-position flash of the part buttons, lending the function buttons.

#include <gtest/gtest.h>

#include "modes/panel_host.h"
#include "modes/state_util.h"

namespace {

class StateUtilTest : public ::testing::Test {
 protected:
  void setLoop(bool on) {
    host.synth()->seq()->setLoop(0, on);
    host.render();
    ASSERT_EQ(host.synth()->seq()->isLoop(), on);
  }
  PanelHost host;
};

}  // namespace

TEST_F(StateUtilTest, RecordingStepRoundsAndStaysInsideThePlayingSteps) {
  struct Case {
    int lastStep, length;
    bool loop;
    int step, odd, expected;
  };
  const Case cases[] = {
      {16, 4, false, 63, 1, 0},  {12, 1, false, 11, 1, 0},  {12, 2, false, 11, 1, 16}, {16, 4, true, 31, 1, 16},
      {16, 4, false, 10, 0, 10}, {16, 4, false, 10, 1, 11}, {16, 1, false, 15, 1, 0},  {12, 4, true, 27, 1, 16},
      {16, 4, true, 20, 0, 20},  {16, 2, false, 31, 0, 31}, {16, 2, false, 31, 1, 0},  {1, 4, false, 0, 1, 16},
  };
  for (const Case& c : cases) {
    host.synth()->setLastStep(c.lastStep);
    host.synth()->setPatternLength(c.length);
    setLoop(c.loop);
    EXPECT_EQ(StateUtil::limitStepNumber(&host, c.step, c.odd), c.expected)
        << "last " << c.lastStep << " length " << c.length << " loop " << c.loop << " step " << c.step << "+" << c.odd;
    EXPECT_EQ(StateUtil::limitStepNumberRoundDown(&host, c.step, c.odd), c.step);
  }
}

TEST_F(StateUtilTest, TriggerRecordingWritesTheCurrentPartAndLightsOnlyItsButton) {
  Synth& s = *host.synth();
  s.setCurrentPart(3);
  host.stepTwice = 2 * 7 + 1;  // second half of step 7: lands on 8
  ASSERT_FALSE(s.step(3, 8));
  StateUtil::recordTrigger(&host);
  EXPECT_TRUE(s.step(3, 8));
  EXPECT_EQ(s.currentPattern()->sequencerParams.trigger[3][8], 1);
  ASSERT_EQ(host.litSteps.size(), 1u);
  EXPECT_EQ(host.litSteps[0], (std::pair<int32_t, bool>{8, true}));

  host.litSteps.clear();
  StateUtil::recordTriggerFromMidi(&host, 6);
  EXPECT_TRUE(s.step(6, 8));
  EXPECT_TRUE(host.litSteps.empty()) << "another part's step lights nothing";
}

TEST_F(StateUtilTest, MotionRecordingSwitchesMotionOnAndWritesAtTheStep) {
  Synth& s = *host.synth();
  s.setCurrentPart(1);
  s.setPartParameter(1, kMotionSeq, 0);
  host.stepTwice = 2 * 4;
  StateUtil::recordMotion(&host, kPitch, 90);
  EXPECT_EQ(s.currentPattern()->synthParams[1].motionType, 1);
  ASSERT_FALSE(host.synthDisplays.empty());
  EXPECT_EQ(host.synthDisplays.back(), (std::pair<int32_t, int32_t>{kMotionSeq, 1}));
  bool trigger = false;
  int32_t value = 0;
  bool enabled = false;
  ASSERT_TRUE(s.motionStep(makeParamId(0, 1, kPitch), 4, &trigger, &value, &enabled));
  EXPECT_TRUE(trigger);
  EXPECT_EQ(value, 90);
  EXPECT_TRUE(enabled);

  // The accent's motion type becomes 2, not 1.
  s.setAccentParameter(1, 0);
  host.synthDisplays.clear();
  StateUtil::recordAccentMotion(&host, 0, 33);
  EXPECT_EQ(s.currentPattern()->sequencerParams.accentMotionType, 2);
  ASSERT_EQ(host.synthDisplays.size(), 1u);
  EXPECT_EQ(host.synthDisplays[0], (std::pair<int32_t, int32_t>{kMotionSeq, 2}));
  ASSERT_TRUE(s.motionStep(kParamAccentLevel, 4, &trigger, &value, &enabled));
  EXPECT_EQ(value, 33);

  // The effect has no motion switch; MIDI recordings do not round.
  host.stepTwice = 2 * 9 + 1;
  StateUtil::recordFxMotionFromMidi(&host, 0, 1, 70);
  ASSERT_TRUE(s.motionStep(kParamEffectEdit1, 9, &trigger, &value, &enabled));
  EXPECT_TRUE(trigger);
  EXPECT_EQ(value, 70);
  StateUtil::recordFxMotion(&host, 2, 71);
  ASSERT_TRUE(s.motionStep(kParamEffectEdit2, 10, &trigger, &value, &enabled));
  EXPECT_EQ(value, 71);
}

TEST_F(StateUtilTest, PlayPositionFlashLightsTheTriggeringPartsAndDeselectsTheCurrentOne) {
  Synth& s = *host.synth();
  s.setCurrentPart(2);
  host.partButtonMediator()->setButtonSelected(2, false);
  for (int p : {0, 2, 5}) s.setStep(p, 4, true);
  s.setStep(7, 4, false);
  StateUtil::triggerPart(&host, 4);
  RadioButtonMediator& parts = *host.partButtonMediator();
  EXPECT_TRUE(parts.isButtonActive(0));
  EXPECT_TRUE(parts.isButtonActive(5));
  EXPECT_FALSE(parts.isButtonActive(2));
  EXPECT_FALSE(parts.isButtonActive(7));
  EXPECT_EQ(parts.selected(), RadioButtonMediator::kNone);
}

TEST_F(StateUtilTest, LendingTheFunctionButtonsAndGivingThemBack) {
  RadioButtonMediator& parts = *host.partButtonMediator();
  TIButton* fx = host.effectSendButton();
  TIButton* accent = host.accentButton();
  host.functionActions = {fx, accent};
  StateUtil::joinFunctionButtonsIntoPartButtons(&host);
  EXPECT_EQ(parts.button(10).get(), fx);
  EXPECT_EQ(parts.button(11).get(), accent);
  EXPECT_EQ(fx->tag(), 10);
  EXPECT_EQ(accent->tag(), 11);
  EXPECT_TRUE(host.functionActions.empty());
  StateUtil::resignFunctionButtonsIntoPartButtons(&host);
  EXPECT_EQ(parts.button(10), nullptr);
  EXPECT_EQ(parts.button(11), nullptr);
  EXPECT_EQ(fx->tag(), 4);
  EXPECT_EQ(accent->tag(), 0);
  EXPECT_EQ(host.functionActions.size(), 2u);
  StateUtil::makeMasterButtons(&host, false);
  EXPECT_FALSE(fx->isEnabled());
  EXPECT_FALSE(accent->isEnabled());
}

TEST_F(StateUtilTest, MidiMotionLandsUnroundedAndShowsOnlyForWhatIsOnScreen) {
  Synth& s = *host.synth();
  s.setCurrentPart(0);
  s.setPartParameter(4, kMotionSeq, 0);
  host.stepTwice = 2 * 15 + 1;
  StateUtil::recordMotionFromMidi(&host, 4, kDecay, 55);
  bool trigger = false;
  int32_t value = 0;
  ASSERT_TRUE(s.motionStep(makeParamId(0, 4, kDecay), 15, &trigger, &value, nullptr));
  EXPECT_TRUE(trigger);
  EXPECT_EQ(value, 55);
  EXPECT_EQ(s.currentPattern()->synthParams[4].motionType, 1) << "the part's motion is switched on";
  EXPECT_TRUE(host.synthDisplays.empty()) << "another part's Motion Seq is not on the panel";

  // The accent's motion type shows on the Motion Seq control only in Accent mode.
  s.setAccentParameter(1, 0);
  StateUtil::recordAccentMotionFromMidi(&host, 0, 90);
  EXPECT_EQ(s.currentPattern()->sequencerParams.accentMotionType, 2);
  EXPECT_TRUE(host.synthDisplays.empty());
  ASSERT_TRUE(s.motionStep(kParamAccentLevel, 15, &trigger, &value, nullptr));
  EXPECT_EQ(value, 90);
  s.setAccentParameter(1, 0);
  host.stateMediator().changeState(&host, 2);
  host.synthDisplays.clear();
  StateUtil::recordAccentMotionFromMidi(&host, 0, 91);
  EXPECT_EQ(host.synthDisplays, (std::vector<std::pair<int32_t, int32_t>>{{kMotionSeq, 2}}));
}

TEST_F(StateUtilTest, TouchRecordingsOfEffectAndAccentRoundAndWrapInsideThePattern) {
  Synth& s = *host.synth();
  s.setPatternLength(1);
  s.setLastStep(12);
  host.stepTwice = 2 * 11 + 1;  // the second half of the last step that plays
  StateUtil::recordFxMotion(&host, 0, 5);
  StateUtil::recordAccentMotion(&host, 0, 64);
  StateUtil::recordTrigger(&host);
  bool trigger = false;
  int32_t value = 0;
  ASSERT_TRUE(s.motionStep(kParamEffectType, 0, &trigger, &value, nullptr));
  EXPECT_TRUE(trigger);
  EXPECT_EQ(value, 5);
  ASSERT_TRUE(s.motionStep(kParamAccentLevel, 0, &trigger, &value, nullptr));
  EXPECT_EQ(value, 64);
  EXPECT_TRUE(s.step(0, 0));
  EXPECT_FALSE(s.step(0, 12));
}
