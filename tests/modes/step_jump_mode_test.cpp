// The Step jump mode: held steps in the sequencer, what playback does with
// them, the unlit step buttons and the inert part buttons.

#include <algorithm>

#include "modes/function_mode_fixture.h"
#include "modes/gbx_ui_state_step_jump.h"

namespace {

class StepJumpTest : public FunctionModeTest {
 protected:
  void SetUp() override {
    FunctionModeTest::SetUp();
    enter(ui_state::kStepJump);
  }
  GBXUiStateStepJump& mode() { return modeAs<GBXUiStateStepJump>(); }
  uint64_t held() { return synth().seq()->position().jumpMask(); }
  TIButton* stepButton(int page, int tag) { return host.seqView()->getButton(page * 16 + tag).get(); }
  // The steps entered while rendering `frames` more frames.
  std::vector<int32_t> play(int32_t frames) {
    std::vector<int32_t> out;
    for (int32_t done = 0; done < frames; done += 128) {
      host.render(128);
      const int32_t s = synth().currentStep(false);
      if (out.empty() || out.back() != s) out.push_back(s);
    }
    return out;
  }
};

}  // namespace

TEST_F(StepJumpTest, HoldingAStepButtonHoldsThatStepUntilAnyRelease) {
  host.seqView()->setCurrentPage(1);
  mode().seqButtonPushed(&host, stepButton(1, 5));
  EXPECT_EQ(held(), uint64_t{1} << 21);
  mode().seqButtonPushed(&host, stepButton(1, 9));
  EXPECT_EQ(held(), (uint64_t{1} << 21) | (uint64_t{1} << 25));
  // Releasing either one ends both.
  mode().seqButtonReleased(&host, stepButton(1, 9));
  EXPECT_EQ(held(), 0u);
  EXPECT_FALSE(stepButton(1, 5)->isActive());
}

TEST_F(StepJumpTest, PlaybackRepeatsTheHeldStepAndGoesOnFromItAfterTheRelease) {
  synth().setTempoFromUi(3000);  // 300 BPM: a step is 2,205 frames.
  synth().startSequencer(0);
  play(2048);
  host.seqView()->setCurrentPage(1);
  mode().seqButtonPushed(&host, stepButton(1, 5));
  const std::vector<int32_t> held = play(2205 * 8);
  ASSERT_FALSE(held.empty());
  EXPECT_EQ(held.back(), 21);
  // Once on step 21 it stays there: every boundary goes back to it.
  const auto first = std::find(held.begin(), held.end(), 21);
  ASSERT_NE(first, held.end());
  EXPECT_EQ(std::count(first, held.end(), 21), held.end() - first);
  mode().seqButtonReleased(&host, stepButton(1, 5));
  const std::vector<int32_t> after = play(2205 * 2);
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after[0], 21);
  EXPECT_EQ(after[1], 22);
  synth().stopSequencer(0);
  host.render();
}

TEST_F(StepJumpTest, StepButtonsShowNoTriggersAndKeepThePlayHighlight) {
  synth().setStep(0, 3, true);
  host.seqView()->setCurrentStep(3);
  mode().refreshSeqView(&host);
  EXPECT_FALSE(stepButton(0, 3)->isActive());
  EXPECT_EQ(stepButton(0, 3)->buttonPossibilityState(), 1);
  host.seqPage = 2;
  synth().setStep(0, 33, true);
  mode().refreshSeqView(&host);
  EXPECT_FALSE(stepButton(2, 1)->isActive());
}

TEST_F(StepJumpTest, PartButtonsAndMidiPartEventsLeaveThePanelAlone) {
  const uint32_t before = host.currentPart();
  mode().partButtonPushed(&host, 4);
  mode().partChangedFromMidi(&host, 6);
  EXPECT_EQ(host.currentPart(), before);
  EXPECT_FALSE(parts().isForcedActive(4));
  mode().synthNoteOnFromMidi(&host, 2);
  EXPECT_FALSE(parts().isForcedActive(2));
  const bool dim = part(3).dim();
  mode().synthParameterMuteChangedFromMidi(&host, 3, dim ? 0 : 1);
  EXPECT_EQ(part(3).dim(), dim);
  host.synthDisplays.clear();
  mode().synthParameterValueChangedFromMidi(&host, static_cast<int32_t>(before), kPitch, 99);
  EXPECT_TRUE(host.synthDisplays.empty());
}

TEST_F(StepJumpTest, LeavingEndsAHeldJump) {
  mode().seqButtonPushed(&host, stepButton(0, 7));
  ASSERT_NE(held(), 0u);
  enter(ui_state::kNormal);
  EXPECT_EQ(held(), 0u);
}
