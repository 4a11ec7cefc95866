// The Move data mode: what the arrows rotate, within which steps, and the
// selection lamps.

#include "modes/function_mode_fixture.h"
#include "modes/z31647_ui_state_move_data.h"

namespace {

class MoveDataTest : public FunctionModeTest {
 protected:
  void SetUp() override {
    FunctionModeTest::SetUp();
    enter(ui_state::kMoveData);
  }
  Z31647UiStateMoveData& mode() { return modeAs<Z31647UiStateMoveData>(); }
  std::vector<int> stepsOf(int part) {
    std::vector<int> out;
    for (int s = 0; s < kNumSteps; ++s)
      if (synth().step(part, s)) out.push_back(s);
    return out;
  }
  std::vector<int> accentSteps() {
    std::vector<int> out;
    for (int s = 0; s < kNumSteps; ++s)
      if (synth().accentStep(s)) out.push_back(s);
    return out;
  }
  std::vector<int> motionSteps(ParamId id) {
    std::vector<int> out;
    for (int s = 0; s < kNumSteps; ++s)
      if (rec().motionParams[id].trigger[s]) out.push_back(s);
    return out;
  }
};

}  // namespace

TEST_F(MoveDataTest, EntryLendsTheKeysAndBlinksWithNothingSelected) {
  EXPECT_EQ(parts().button(10).get(), host.effectSendButton());
  EXPECT_EQ(parts().button(11).get(), host.accentButton());
  EXPECT_TRUE(host.accentButton()->isEnabled());
  for (int64_t k : {0, 3, 7, 10, 11}) {
    EXPECT_TRUE(part(k).readyToBlink()) << k;
    EXPECT_EQ(part(k).buttonState(), 0) << k;
    EXPECT_FALSE(part(k).dim()) << k;
  }
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
}

TEST_F(MoveDataTest, TheArrowsRotateTheSelectedPartsTriggersAndMotionWithinTheActiveSteps) {
  struct Case {
    const char* name;
    int length, lastStep;
    std::vector<int> steps;
    int size;
    std::vector<int> moved;
  };
  const Case cases[] = {
      {"right arrow, last step wraps to the first", 4, 16, {5, 63}, +1, {0, 6}},
      {"left arrow, first step wraps to the last", 4, 16, {0, 5}, -1, {4, 63}},
      {"MIDI offset 3", 4, 16, {5, 62}, +3, {1, 8}},
      {"two bars of twelve steps", 2, 12, {11, 27}, +1, {0, 16}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    synth().setPatternLength(c.length);
    synth().setLastStep(c.lastStep);
    host.render();
    for (int p : {1, 3, 4}) {
      synth().clearPartSteps(p);
      for (int s : c.steps) synth().setStep(p, s, true);
    }
    const ParamId pan3 = 3 * 16 + kPan;
    synth().clearMotion(pan3);
    for (int s : c.steps) synth().setMotionStep(pan3, s, 50, 1);
    mode().partButtonPushed(&host, 1);
    mode().partButtonPushed(&host, 3);
    mode().shiftSeqView(&host, c.size);
    EXPECT_EQ(stepsOf(1), c.moved);
    EXPECT_EQ(stepsOf(3), c.moved);
    EXPECT_EQ(motionSteps(pan3), c.moved) << "the part's motion moves with it";
    EXPECT_EQ(stepsOf(4), c.steps) << "an unselected part stays";
    EXPECT_EQ(host.seqView()->currentPage(), 0) << "the page does not turn";
    // Unselect for the next case.
    mode().partButtonPushed(&host, 1);
    mode().partButtonPushed(&host, 3);
    EXPECT_FALSE(parts().hasActiveButton());
  }
}

TEST_F(MoveDataTest, TheAccentAndEffectKeysMoveOnlyTheirOwnData) {
  synth().setStep(2, 8, true);
  synth().setAccentStep(8, true);
  synth().setMotionStep(kParamAccentLevel, 8, 90, 1);
  synth().setMotionStep(kParamEffectOnOff, 8, 1, 1);

  mode().partButtonPushed(&host, 11);
  mode().shiftSeqView(&host, +1);
  EXPECT_EQ(accentSteps(), std::vector<int>{9});
  EXPECT_EQ(motionSteps(kParamAccentLevel), std::vector<int>{9});
  EXPECT_EQ(motionSteps(kParamEffectOnOff), std::vector<int>{8});
  EXPECT_EQ(stepsOf(2), std::vector<int>{8});

  mode().partButtonPushed(&host, 11);
  mode().partButtonPushed(&host, 10);
  mode().shiftSeqView(&host, -1);
  EXPECT_EQ(motionSteps(kParamEffectOnOff), std::vector<int>{7});
  EXPECT_EQ(accentSteps(), std::vector<int>{9});
  EXPECT_EQ(stepsOf(2), std::vector<int>{8});
}

TEST_F(MoveDataTest, NothingSelectedMovesNothingAndARedrawClearsTheSelection) {
  synth().setStep(0, 4, true);
  mode().shiftSeqView(&host, +1);
  EXPECT_EQ(stepsOf(0), std::vector<int>{4});
  mode().partButtonPushed(&host, 0);
  EXPECT_EQ(part(0).buttonState(), 1);
  EXPECT_EQ(host.currentPart(), 0u);
  host.refreshPartView();
  EXPECT_EQ(part(0).buttonState(), 0);
  mode().shiftSeqView(&host, +1);
  EXPECT_EQ(stepsOf(0), std::vector<int>{4});
  // A step button keeps its meaning.
  mode().seqButtonPushed(&host, host.seqView()->getButton(9).get());
  EXPECT_TRUE(synth().step(0, 9));
}

TEST_F(MoveDataTest, AMidiPartChangeSelectsThePartWithoutRedrawingThePartButtons) {
  mode().partButtonPushed(&host, 6);
  mode().partChangedFromMidi(&host, 2);
  EXPECT_EQ(host.currentPart(), 2u);
  EXPECT_EQ(part(6).buttonState(), 1) << "the selection stays";
}

TEST_F(MoveDataTest, LeavingStopsTheBlinkingUnlightsAndGivesTheKeysBack) {
  mode().partButtonPushed(&host, 10);
  mode().partButtonPushed(&host, 5);
  enter(ui_state::kShifted);
  EXPECT_EQ(parts().button(10), nullptr);
  EXPECT_EQ(parts().button(11), nullptr);
  EXPECT_EQ(host.effectSendButton()->tag(), 4);
  EXPECT_EQ(host.effectSendButton()->buttonState(), 0);
  EXPECT_EQ(part(5).buttonState(), 0);
  EXPECT_FALSE(part(5).readyToBlink());
}
