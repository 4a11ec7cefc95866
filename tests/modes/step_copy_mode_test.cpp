// The Copy step mode: source and destination pages, the confirmation, what
// a copy writes, the page faces of the part buttons and leaving the mode.

#include <cstring>

#include "controls/gbx_localized_message.h"
#include "modes/function_mode_fixture.h"
#include "modes/z31647_ui_state_step_copy.h"

namespace {

constexpr ParamId kPart3Decay = 3 * 16 + kDecay;

class StepCopyTest : public FunctionModeTest {
 protected:
  void SetUp() override {
    FunctionModeTest::SetUp();
    // Page 1 (steps 0-15): triggers of two parts, accent and motion.
    synth().setStep(0, 2, true);
    synth().setStep(7, 15, true);
    synth().setAccentStep(4, true);
    synth().setMotionStep(kPart3Decay, 9, 77, 1);
    // Something on page 3 (steps 32-47) that the copy overwrites.
    synth().setStep(0, 40, true);
    enter(ui_state::kStepCopy);
  }
  Z31647UiStateStepCopy& mode() { return modeAs<Z31647UiStateStepCopy>(); }
};

}  // namespace

TEST_F(StepCopyTest, EntryMakesThePartButtonsBlinkingPageButtons) {
  EXPECT_FALSE(host.accentButton()->isEnabled());
  EXPECT_TRUE(host.effectSendButton()->isEnabled());
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
  for (int k = 0; k < 8; ++k) {
    EXPECT_TRUE(part(k).readyToBlink()) << k;
    EXPECT_FALSE(part(k).dim()) << k;
    EXPECT_EQ(part(k).buttonState(), 0) << k;
  }
  EXPECT_TRUE(Z31647UiStateStepCopy::isDestination(4));
  EXPECT_FALSE(Z31647UiStateStepCopy::isDestination(3));
}

TEST_F(StepCopyTest, ADestinationBeforeASourceAsksNothingAndTheSourcePressClearsIt) {
  mode().partButtonPushed(&host, 6);
  EXPECT_EQ(part(6).buttonState(), 1);
  EXPECT_FALSE(backend.alertVisible());
  mode().partButtonPushed(&host, 0);
  EXPECT_EQ(parts().selected(), 0u);
  EXPECT_EQ(part(6).buttonState(), 0);
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_FALSE(mode().sourceAndDestAreSelected(&host));
  // A second press on the chosen source takes the choice away.
  mode().partButtonPushed(&host, 0);
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
}

TEST_F(StepCopyTest, OkCopiesTriggersAccentAndMotionOfThePageAndShowsThemWhenOnShow) {
  host.seqPage = 2;
  mode().partButtonPushed(&host, 0);
  mode().partButtonPushed(&host, 6);
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertTitle(), "COPY STEP");
  EXPECT_EQ(backend.alertMessage(), GBXLocalizedMessage::format(GBXLocalizedMessage::getText(13), {1LL, 3LL}));
  EXPECT_TRUE(mode().sourceAndDestAreSelected(&host));
  // A redraw of the part view while the question is up keeps the pages.
  host.refreshPartView();
  EXPECT_EQ(parts().selected(), 0u);
  ASSERT_TRUE(backend.answerAlert(kOk));
  EXPECT_TRUE(synth().step(0, 34));
  EXPECT_TRUE(synth().step(7, 47));
  EXPECT_FALSE(synth().step(0, 40)) << "page 3 takes page 1's steps whole";
  EXPECT_TRUE(synth().accentStep(36));
  bool trigger = false;
  int32_t value = 0;
  synth().motionStep(kPart3Decay, 41, &trigger, &value, nullptr);
  EXPECT_TRUE(trigger);
  EXPECT_EQ(value, 77);
  EXPECT_TRUE(synth().step(0, 2)) << "the source stays";
  // Part 0 is current and page 3 on show: its lamps show the copy at once.
  EXPECT_TRUE(host.seqView()->getButton(34)->isActive());
  EXPECT_FALSE(host.seqView()->getButton(40)->isActive());
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone) << "the source is no longer chosen";
  EXPECT_EQ(part(6).buttonState(), 0);
  EXPECT_EQ(current(), ui_state::kStepCopy);
}

TEST_F(StepCopyTest, CancelKeepsTheSourceAndAPageOntoItselfCopiesNothing) {
  const PatternRecord before = rec();
  mode().partButtonPushed(&host, 1);
  mode().partButtonPushed(&host, 4);
  ASSERT_TRUE(backend.answerAlert(kCancel));
  EXPECT_EQ(parts().selected(), 1u);
  EXPECT_EQ(part(4).buttonState(), 0);
  EXPECT_EQ(std::memcmp(&before, &rec(), sizeof before), 0);

  mode().partButtonPushed(&host, 5);
  ASSERT_TRUE(backend.alertVisible()) << "the same page still asks";
  EXPECT_EQ(backend.alertMessage(), GBXLocalizedMessage::format(GBXLocalizedMessage::getText(13), {2LL, 2LL}));
  ASSERT_TRUE(backend.answerAlert(kOk));
  EXPECT_EQ(std::memcmp(&before, &rec(), sizeof before), 0);
}

TEST_F(StepCopyTest, AOneBarPatternStillTakesTheCopyOnALaterPage) {
  synth().setPatternLength(1);
  mode().partButtonPushed(&host, 0);
  mode().partButtonPushed(&host, 6);
  ASSERT_TRUE(backend.answerAlert(kOk));
  EXPECT_TRUE(synth().step(0, 34));
  EXPECT_EQ(rec().sequencerParams.trigger[7][47], 1);
}

TEST_F(StepCopyTest, AMidiPartChangeRedrawsStepsAndKnobsButNotThePageButtons) {
  mode().partButtonPushed(&host, 2);
  const int before = host.synthRefreshes;
  mode().partChangedFromMidi(&host, 5);
  EXPECT_EQ(host.currentPart(), 5u);
  EXPECT_EQ(host.synthRefreshes, before + 1);
  EXPECT_EQ(parts().selected(), 2u);
  mode().partButtonPushed(&host, 7);
  ASSERT_TRUE(backend.alertVisible());
  mode().partChangedFromMidi(&host, 1);
  EXPECT_EQ(host.currentPart(), 5u) << "ignored while the question is up";
  ASSERT_TRUE(backend.answerAlert(kCancel));
}

TEST_F(StepCopyTest, LeavingPutsThePartFacesBackAndAnOpenQuestionCopiesNothing) {
  ImageManager images(IGB_BUNDLE_DIR, 2);
  ASSERT_NE(images.uiimage(359), nullptr);
  host.images = &images;
  enter(ui_state::kShifted);
  enter(ui_state::kStepCopy);
  for (int b = 0; b < 8; ++b) {
    EXPECT_EQ(part(b).imageNormal(), images.uiimage(359 + 4 * b)) << b;
    EXPECT_EQ(part(b).imageActive(), images.uiimage(360 + 4 * b)) << b;
    EXPECT_EQ(part(b).imageSelected(), images.uiimage(361 + 4 * b)) << b;
    EXPECT_EQ(part(b).imageHighlighted(), images.uiimage(362 + 4 * b)) << b;
  }
  mode().partButtonPushed(&host, 0);
  mode().partButtonPushed(&host, 6);
  ASSERT_TRUE(backend.alertVisible());
  enter(ui_state::kShifted);
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_TRUE(synth().step(0, 40)) << "nothing was copied";
  EXPECT_TRUE(host.accentButton()->isEnabled());
  for (int b = 0; b < 8; ++b) {
    EXPECT_EQ(part(b).imageNormal(), images.uiimage(1 + 3 * b)) << b;
    EXPECT_EQ(part(b).imageActive(), images.uiimage(2 + 3 * b)) << b;
    EXPECT_EQ(part(b).imageSelected(), images.uiimage(3 + 3 * b)) << b;
    EXPECT_EQ(part(b).imageHighlighted(), images.uiimage(25 + b)) << b;
    EXPECT_FALSE(part(b).readyToBlink()) << b;
  }
  host.images = nullptr;
}
