// The Clear part mode: what each key clears, the confirmation, the lamps
// and leaving the mode.

#include <algorithm>
#include <functional>

#include "controls/gbx_localized_message.h"
#include "modes/function_mode_fixture.h"
#include "modes/z31647_ui_state_part_clear.h"

namespace {

class PartClearTest : public FunctionModeTest {
 protected:
  void SetUp() override {
    FunctionModeTest::SetUp();
    // Part 2 and part 5 have steps; the others are empty.
    for (int s : {0, 7, 40}) synth().setStep(2, s, true);
    synth().setStep(5, 3, true);
    synth().setCurrentPart(2);
    enter(ui_state::kPartClear);
  }
  Z31647UiStatePartClear& mode() { return modeAs<Z31647UiStatePartClear>(); }
};

}  // namespace

TEST_F(PartClearTest, EntryLendsTheEffectAndAccentButtonsAndDimsWhatHasNothingToClear) {
  EXPECT_EQ(host.effectSendButton()->tag(), 10);
  EXPECT_EQ(host.accentButton()->tag(), 11);
  EXPECT_EQ(parts().button(10).get(), host.effectSendButton());
  EXPECT_EQ(parts().button(11).get(), host.accentButton());
  EXPECT_TRUE(host.accentButton()->isEnabled());
  EXPECT_TRUE(host.effectSendButton()->isEnabled());
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
  for (int64_t k : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11}) {
    const bool hasData = k == 2 || k == 5 || k == 10 || k == 11;
    EXPECT_EQ(part(k).dim(), !hasData) << k;
    EXPECT_EQ(part(k).readyToBlink(), hasData) << k;
    EXPECT_EQ(part(k).buttonState(), 0) << k;
  }
  EXPECT_FALSE(mode().alertViewAppeared());
}

TEST_F(PartClearTest, APressOnAnEmptyPartDoesNothing) {
  mode().partButtonPushed(&host, 4);
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_EQ(part(4).buttonState(), 0);
  EXPECT_FALSE(mode().alertViewAppeared());
}

TEST_F(PartClearTest, CancelKeepsTheStepsAndOkClearsThemAndTheStepLamps) {
  mode().refreshSeqView(&host);
  ASSERT_TRUE(host.seqView()->getButton(7)->isActive());
  const int32_t pitch = rec().synthParams[2].pitch;

  mode().partButtonPushed(&host, 2);
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertTitle(), "CLEAR PART");
  EXPECT_EQ(backend.alertMessage(), GBXLocalizedMessage::getText(11));
  EXPECT_EQ(backend.alertButtons(), (std::vector<std::string>{"Cancel", "OK"}));
  EXPECT_EQ(part(2).buttonState(), 1);
  EXPECT_TRUE(mode().alertViewAppeared());
  // A MIDI part change while the question is up is ignored.
  mode().partChangedFromMidi(&host, 6);
  EXPECT_EQ(host.currentPart(), 2u);

  ASSERT_TRUE(backend.answerAlert(kCancel));
  EXPECT_FALSE(mode().alertViewAppeared());
  EXPECT_TRUE(synth().step(2, 7));
  EXPECT_EQ(part(2).buttonState(), 0);
  EXPECT_TRUE(part(2).readyToBlink()) << "the blinking stays as it was";
  EXPECT_FALSE(part(2).dim());
  EXPECT_EQ(current(), ui_state::kPartClear);

  mode().partButtonPushed(&host, 2);
  ASSERT_TRUE(backend.answerAlert(kOk));
  for (int s = 0; s < kNumSteps; ++s) EXPECT_EQ(rec().sequencerParams.trigger[2][s], 0) << s;
  EXPECT_TRUE(synth().step(5, 3)) << "other parts keep their steps";
  EXPECT_EQ(rec().synthParams[2].pitch, pitch) << "the sound stays";
  EXPECT_FALSE(host.seqView()->getButton(7)->isActive()) << "the current part's lamps go dark";
  EXPECT_TRUE(part(2).dim());
  EXPECT_FALSE(part(2).readyToBlink());
  EXPECT_EQ(part(2).buttonState(), 0);
  EXPECT_EQ(current(), ui_state::kPartClear) << "the mode stays in force";
  // And now it has nothing to clear.
  mode().partButtonPushed(&host, 2);
  EXPECT_FALSE(backend.alertVisible());
}

TEST_F(PartClearTest, AccentAndEffectKeysSetEveryStepAndEveryPartOn) {
  ASSERT_FALSE(synth().isAccentFull());
  ASSERT_FALSE(synth().isEffectSwitchMotionFull(0));
  struct Case {
    int64_t key;
    std::function<bool()> full;
  };
  const Case cases[] = {
      {11,
       [&] {
         for (int s = 0; s < kNumSteps; ++s)
           if (!rec().sequencerParams.accent[s]) return false;
         for (int p = 0; p < kNumParts; ++p)
           if (!rec().synthParams[p].accentStatus) return false;
         return true;
       }},
      {10,
       [&] {
         bool trigger = false;
         int32_t value = 0;
         for (int s = 0; s < kNumSteps; ++s) {
           synth().motionStep(kParamEffectOnOff, s, &trigger, &value, nullptr);
           if (!trigger || value != 1) return false;
         }
         for (int p = 0; p < kNumParts; ++p)
           if (!rec().synthParams[p].fxSend) return false;
         return true;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_FALSE(c.full());
    mode().partButtonPushed(&host, static_cast<int32_t>(c.key));
    ASSERT_TRUE(backend.alertVisible());
    ASSERT_TRUE(backend.answerAlert(kOk));
    EXPECT_TRUE(c.full());
    EXPECT_TRUE(part(c.key).dim());
    EXPECT_FALSE(part(c.key).readyToBlink());
    // A dimmed key still asks (there is no emptiness check for it).
    mode().partButtonPushed(&host, static_cast<int32_t>(c.key));
    EXPECT_TRUE(backend.alertVisible());
    ASSERT_TRUE(backend.answerAlert(kCancel));
  }
  EXPECT_TRUE(synth().step(2, 7)) << "the part steps are untouched";
}

TEST_F(PartClearTest, LeavingGivesTheButtonsBackAndAnOpenQuestionChangesNothing) {
  mode().partButtonPushed(&host, 5);
  ASSERT_TRUE(backend.alertVisible());
  // A pattern change returns to the layer's base mode while it is up.
  host.mode().patternChanged(&host);
  EXPECT_EQ(current(), ui_state::kShifted);
  EXPECT_FALSE(backend.alertVisible()) << "the question went with the mode";
  EXPECT_TRUE(synth().step(5, 3));
  EXPECT_EQ(host.effectSendButton()->tag(), 4);
  EXPECT_EQ(host.accentButton()->tag(), 0);
  EXPECT_EQ(parts().button(10), nullptr);
  EXPECT_EQ(parts().button(11), nullptr);
  EXPECT_FALSE(host.effectSendButton()->dim());
  EXPECT_FALSE(host.accentButton()->dim());
  for (int k = 0; k < 8; ++k) EXPECT_FALSE(part(k).readyToBlink()) << k;
  // The function buttons got their function action back.
  EXPECT_NE(std::find(host.functionActions.begin(), host.functionActions.end(), host.effectSendButton()),
            host.functionActions.end());
}
