// The Pattern set mode: slot lamps and presses, assigning a chosen pattern
// to the selected slot, the mute and effect-send sub-modes, solo, MIDI and
// leaving the mode.

#include <fstream>

#include "library/pattern_set_store.h"
#include "modes/function_mode_fixture.h"
#include "modes/z31647_ui_state_pattern_set.h"

namespace {

class PatternSetTest : public FunctionModeTest {
 protected:
  void SetUp() override {
    FunctionModeTest::SetUp();
    // Slot e holds pattern e % 30 + 1 (all within the library's 32).
    std::ofstream file(dir / "sets.plist");
    file << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>";
    for (size_t e = 0; e < PatternSetStore::kNumberOfElements; ++e) file << "<integer>" << e % 30 + 1 << "</integer>";
    file << "</array></plist>\n";
    file.close();
    ASSERT_TRUE(PatternSetStore::sharedInstance().loadFromPath(dir / "sets.plist"));
    ASSERT_EQ(PatternSetStore::sharedInstance().count(), PatternSetStore::kNumberOfElements);
    enter(ui_state::kPatternSet);
  }
  void TearDown() override {
    if (synth().isPlaying()) {
      synth().stopSequencer(0);
      host.render();
    }
    FunctionModeTest::TearDown();
  }
  Z31647UiStatePatternSet& mode() { return modeAs<Z31647UiStatePatternSet>(); }
  TIButton* slot(int page, int tag) { return host.seqView()->getButton(page * 16 + tag).get(); }
  // Lets the engine load what was asked and tells the mode, as the
  // observer's "patternChanged" would.
  // While playing a change waits for the pattern's end.
  void load(int32_t expected) {
    host.render();
    for (int i = 0; i < 2000 && synth().currentPatternIndex() != expected; ++i) host.render();
    ASSERT_EQ(synth().currentPatternIndex(), expected);
    mode().patternChanged(&host);
  }
  uint32_t slotPattern(int64_t element) {
    return PatternSetStore::sharedInstance().patternIndex(static_cast<int32_t>(element % 16), static_cast<int32_t>(element / 16));
  }
};

}  // namespace

TEST_F(PatternSetTest, EntryLightsTheSlotsOfTheShownBankAndTakesTheMuteAndEffectButtons) {
  for (int t = 0; t < 16; ++t) {
    EXPECT_TRUE(slot(0, t)->isActive()) << t;
    EXPECT_EQ(slot(0, t)->buttonPossibilityState(), 0) << t;
  }
  EXPECT_EQ(mode().patternIndex(), -1);
  EXPECT_EQ(mode().currentMode(), 0);
  EXPECT_EQ(mode().patternSetMute(), 0xFFu);
  EXPECT_EQ(host.utilButtonMediator()->button(2), nullptr);
  EXPECT_EQ(host.utilButtonMediator()->button(4), nullptr);
  EXPECT_FALSE(host.accentButton()->isEnabled());
  EXPECT_TRUE(host.effectSendButton()->isEnabled());
  // Another bank on show.
  host.seqView()->setCurrentPage(2);
  mode().refreshSeqView(&host);
  for (int t = 0; t < 16; ++t) EXPECT_TRUE(slot(2, t)->isActive()) << t;
}

TEST_F(PatternSetTest, ASlotPressWhileStoppedLoadsItsPatternAndStartsPlayback) {
  mode().seqButtonPushed(&host, slot(0, 3));
  EXPECT_EQ(mode().patternIndex(), 3);
  EXPECT_EQ(slot(0, 3)->buttonPossibilityState(), 1);
  EXPECT_EQ(host.playRequests, 1);
  EXPECT_FALSE(mode().patternRegistrating()) << "a slot never reassigns itself";
  load(static_cast<int32_t>(slotPattern(3)));
  EXPECT_TRUE(synth().isPlaying());
  EXPECT_TRUE(host.banners.empty());
  EXPECT_EQ(current(), ui_state::kPatternSet) << "a load does not leave the mode";

  // Playing: another slot switches and moves the highlight.
  mode().seqButtonPushed(&host, slot(0, 6));
  EXPECT_EQ(slot(0, 6)->buttonPossibilityState(), 1);
  EXPECT_EQ(slot(0, 3)->buttonPossibilityState(), 0);
  host.render();
  EXPECT_EQ(synth().pendingPattern(), static_cast<int32_t>(slotPattern(6)));
  EXPECT_EQ(host.playRequests, 1);
  // The highlighted slot again: only the start request, no pattern change.
  const int32_t pending = synth().pendingPattern();
  mode().seqButtonPushed(&host, slot(0, 6));
  host.render();
  EXPECT_EQ(host.playRequests, 2);
  EXPECT_EQ(synth().pendingPattern(), pending);
}

TEST_F(PatternSetTest, APatternChosenWhileASlotIsSelectedIsAssignedOnceItHasLoaded) {
  host.seqView()->setCurrentPage(1);
  mode().seqButtonPushed(&host, slot(1, 4));
  load(static_cast<int32_t>(slotPattern(20)));
  ASSERT_EQ(mode().patternIndex(), 20);
  const uint32_t own = slotPattern(20);
  // Dialling back to the slot's own pattern assigns nothing.
  mode().changePattern(&host, static_cast<int32_t>(own));
  EXPECT_FALSE(mode().patternRegistrating());
  load(static_cast<int32_t>(own));
  EXPECT_TRUE(host.banners.empty());

  mode().changePattern(&host, 9);
  EXPECT_TRUE(mode().patternRegistrating());
  EXPECT_TRUE(host.banners.empty()) << "not before the load";
  EXPECT_EQ(slotPattern(20), own);
  load(9);
  EXPECT_EQ(slotPattern(20), 9u);
  ASSERT_EQ(host.banners.size(), 1u);
  const std::string name = host.dataProvider()->columnText(9, 1);
  EXPECT_EQ(host.banners[0], "Pattern \"" + name + "\" has been assigned to button 21.");
  EXPECT_FALSE(mode().patternRegistrating());
}

TEST_F(PatternSetTest, ASupersededRequestAssignsNoOtherPatternToTheSlot) {
  mode().seqButtonPushed(&host, slot(0, 2));
  load(static_cast<int32_t>(slotPattern(2)));
  const uint32_t own = slotPattern(2);
  mode().changePattern(&host, 11);
  ASSERT_TRUE(mode().patternRegistrating());
  // Something else (MIDI, a reload) loads another pattern first.
  synth().changePatternSilently(12);
  load(12);
  EXPECT_EQ(synth().currentPatternIndex(), 12);
  EXPECT_EQ(slotPattern(2), own);
  EXPECT_TRUE(host.banners.empty());
  // And a later unrelated load does not either.
  synth().changePatternSilently(11);
  load(11);
  EXPECT_EQ(slotPattern(2), own);
  EXPECT_TRUE(host.banners.empty());
}

TEST_F(PatternSetTest, MuteSubModeMutesLitPartsAndSoloEndsIt) {
  TIButton* mute = host.muteButton();
  // The mute button's touch-down now reaches this mode.
  mute->sendActionsForControlEvents(platform::ControlEvents::TouchDown);
  EXPECT_EQ(mode().currentMode(), Z31647UiStatePatternSet::kPartMute);
  EXPECT_TRUE(mute->isActive());
  EXPECT_EQ(current(), ui_state::kPatternSet);
  for (int p = 0; p < 8; ++p) EXPECT_TRUE(part(p).isActive()) << p;
  mode().partButtonPushed(&host, 5);
  EXPECT_EQ(rec().synthParams[5].mute, 1);
  EXPECT_FALSE(part(5).isActive());
  mode().partButtonPushed(&host, 5);
  EXPECT_EQ(rec().synthParams[5].mute, 0);
  EXPECT_TRUE(part(5).isActive());
  // A MIDI mute shows on the lamp.
  mode().synthParameterMuteChangedFromMidi(&host, 2, 1);
  EXPECT_FALSE(part(2).isActive());

  mode().soloButtonPushed(&host, host.soloButton());
  EXPECT_EQ(mode().currentMode(), Z31647UiStatePatternSet::kPartSelect);
  EXPECT_FALSE(mute->isActive());
  EXPECT_TRUE(synth().soloMode());
  EXPECT_TRUE(host.soloButton()->isActive());
}

TEST_F(PatternSetTest, EffectSendSubModeSwitchesFxSendAndSurvivesSolo) {
  TIButton* fx = host.effectSendButton();
  fx->sendActionsForControlEvents(platform::ControlEvents::TouchDown);
  EXPECT_EQ(mode().currentMode(), Z31647UiStatePatternSet::kPartFxSend);
  EXPECT_EQ(fx->buttonState(), 1);
  EXPECT_EQ(fx->buttonPossibilityState(), 1);
  const int32_t before = rec().synthParams[3].fxSend;
  EXPECT_EQ(part(3).isActive(), before != 0);
  mode().partButtonPushed(&host, 3);
  EXPECT_EQ(rec().synthParams[3].fxSend, before ? 0 : 1);
  EXPECT_EQ(part(3).isActive(), before == 0);
  EXPECT_EQ(host.currentPart(), 0u) << "the part is not selected";
  mode().soloButtonPushed(&host, host.soloButton());
  EXPECT_EQ(mode().currentMode(), Z31647UiStatePatternSet::kPartFxSend);
  // Mute button from the effect-send sub-mode: the other one goes off.
  host.muteButton()->sendActionsForControlEvents(platform::ControlEvents::TouchDown);
  EXPECT_EQ(mode().currentMode(), Z31647UiStatePatternSet::kPartMute);
  EXPECT_EQ(fx->buttonState(), 0);
  EXPECT_FALSE(synth().soloMode()) << "the mute sub-mode switches solo off";
  // The lit button again returns to part selection.
  host.muteButton()->sendActionsForControlEvents(platform::ControlEvents::TouchDown);
  EXPECT_EQ(mode().currentMode(), Z31647UiStatePatternSet::kPartSelect);
}

TEST_F(PatternSetTest, LeavingKeepsSoloOnTheCurrentPartOrRestoresThePatternsMutes) {
  synth().setPartMute(6, 1);
  synth().setCurrentPart(1);
  mode().soloButtonPushed(&host, host.soloButton());
  enter(ui_state::kNormal);
  EXPECT_TRUE(synth().soloMode());
  EXPECT_TRUE(synth().isPartSolo(1));
  EXPECT_NE(host.utilButtonMediator()->button(2), nullptr);
  EXPECT_NE(host.utilButtonMediator()->button(4), nullptr);
  EXPECT_TRUE(host.accentButton()->isEnabled());
  // The buttons are function buttons again: their own action is gone.
  enter(ui_state::kPatternSet);
  host.soloButton()->setButtonState(0);
  enter(ui_state::kNormal);
  EXPECT_FALSE(synth().soloMode());
  EXPECT_EQ(rec().synthParams[6].mute, 1);
  host.muteButton()->sendActionsForControlEvents(platform::ControlEvents::TouchDown);
  EXPECT_FALSE(host.muteButton()->isActive());
  EXPECT_EQ(std::count(host.functionActions.begin(), host.functionActions.end(), host.muteButton()), 1);
}

TEST_F(PatternSetTest, AMidiSlotSelectionHighlightsItsSlotOnItsBanksPage) {
  mode().patternSetPatternChangedFromMidi(&host, 2, 5);
  EXPECT_EQ(mode().patternIndex(), 37);
  EXPECT_EQ(host.seqView()->getButton(37)->buttonPossibilityState(), 1);
  host.seqView()->setCurrentPage(2);
  mode().refreshSeqView(&host);
  EXPECT_EQ(host.seqView()->getButton(37)->buttonPossibilityState(), 1);
  // A MIDI part change selects the part.
  mode().partChangedFromMidi(&host, 4);
  EXPECT_EQ(host.currentPart(), 4u);
  EXPECT_EQ(parts().selected(), 4u);
}
