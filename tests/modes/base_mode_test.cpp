// The base edit mode (the Normal mode's behaviour) and the two layer hooks,
// over a panel of real controls and a real engine.

#include <gtest/gtest.h>

#include "engine/settings/global_settings.h"
#include "modes/panel_host.h"

namespace {

class BaseModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-modes-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    createGlobalSettings(dir, dir);
  }
  void TearDown() override {
    destroyGlobalSettings();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  Z31647State& mode() { return host.mode(); }
  Synth& synth() { return *host.synth(); }
  const PatternRecord& rec() { return *host.synth()->currentPattern(); }

  std::filesystem::path dir;
  PanelHost host;
};

}  // namespace

TEST_F(BaseModeTest, AStepButtonTogglesPageTimesSixteenPlusItsTagOfTheCurrentPart) {
  synth().setCurrentPart(3);
  host.seqView()->setCurrentPage(2);
  TIButton* b = host.seqView()->getButton(2 * 16 + 5).get();
  ASSERT_EQ(b->tag(), 5);
  ASSERT_FALSE(synth().step(3, 37));
  mode().seqButtonPushed(&host, b);
  EXPECT_TRUE(synth().step(3, 37));
  EXPECT_EQ(rec().sequencerParams.trigger[3][37], 1);
  EXPECT_TRUE(b->isActive());
  mode().seqButtonPushed(&host, b);
  EXPECT_FALSE(synth().step(3, 37));
  EXPECT_FALSE(b->isActive());
  EXPECT_FALSE(synth().step(3, 5)) << "page 0 untouched";
}

TEST_F(BaseModeTest, PartButtonSelectsAPartOnceAndAuditionsByPreviewOrRecording) {
  globalSettings()->set(GlobalSettings::kPreviewSounds, 0);
  mode().partButtonPushed(&host, 1);
  EXPECT_EQ(host.currentPart(), 1u);
  EXPECT_EQ(host.partButtonMediator()->selected(), 1u);
  EXPECT_EQ(host.events, std::vector<std::string>{"Synth 2"});
  EXPECT_TRUE(host.partButtonMediator()->isForcedActive(1));
  mode().partButtonReleased(&host, 1);
  EXPECT_FALSE(host.partButtonMediator()->isForcedActive(1));

  // The current part again: no new selection or event.
  const int refreshes = host.synthRefreshes;
  mode().partButtonPushed(&host, 1);
  EXPECT_EQ(host.synthRefreshes, refreshes);
  EXPECT_EQ(host.events.size(), 1u);

  // Sounding: silent with "Preview Sounds" off and recording off.
  auto heard = [&] {
    int peak = 0;
    std::vector<int16_t> l(1024), r(1024);
    int16_t* ch[2] = {l.data(), r.data()};
    for (int i = 0; i < 4; ++i) {
      synth().render(nullptr, ch, 1024);
      for (int16_t v : l) peak = std::max(peak, std::abs(static_cast<int>(v)));
    }
    return peak;
  };
  synth().setPartParameter(1, kLevel, 127);
  host.render(1024);
  mode().partButtonPushed(&host, 1);
  EXPECT_EQ(heard(), 0);
  globalSettings()->set(GlobalSettings::kPreviewSounds, 1);
  mode().partButtonPushed(&host, 1);
  EXPECT_GT(heard(), 100);
  // Recording on makes it sound too (and, stopped, records nothing).
  globalSettings()->set(GlobalSettings::kPreviewSounds, 0);
  for (int i = 0; i < 40; ++i) host.render(1024);
  ASSERT_EQ(heard(), 0);
  host.setRecording(1);
  mode().partButtonPushed(&host, 1);
  EXPECT_GT(heard(), 100);
  for (int st = 0; st < kNumSteps; ++st) EXPECT_FALSE(synth().step(1, st)) << st;
}

TEST_F(BaseModeTest, SoloFollowsThePartSelection) {
  synth().setSoloMode(true);
  synth().setPartSolo(0, true, true);
  mode().partButtonPushed(&host, 6);
  EXPECT_TRUE(synth().isPartSolo(6));
  EXPECT_FALSE(synth().isPartSolo(0));
  // With solo on every part but the current one is dimmed.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(host.partButtonMediator()->button(i)->dim(), i != 6) << i;
}

TEST_F(BaseModeTest, RefreshPartViewDimsMutedPartsAndShowsCrossAndRing) {
  synth().setPartMute(1, 1);
  synth().setPartMute(5, 1);
  synth().setCrossRingMod(2);
  mode().refreshPartView(&host);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(host.partButtonMediator()->button(i)->dim(), i == 1 || i == 5) << i;
  EXPECT_EQ(host.crossButton()->buttonState(), 0);
  EXPECT_EQ(host.ringButton()->buttonState(), 1);
  EXPECT_EQ(host.partButtonMediator()->selected(), 0u);
}

TEST_F(BaseModeTest, CrossAndRingLampsAlwaysFollowTheEnginesMode) {
  mode().ringButtonPushed(&host, host.ringButton());
  EXPECT_EQ(rec().sequencerParams.crossRingMod, 2);
  EXPECT_EQ(host.ringButton()->buttonState(), 1);
  // Cross while ring is on: ring goes dark at once.
  mode().crossButtonPushed(&host, host.crossButton());
  EXPECT_EQ(rec().sequencerParams.crossRingMod, 1);
  EXPECT_EQ(host.crossButton()->buttonState(), 1);
  EXPECT_EQ(host.ringButton()->buttonState(), 0);
  mode().crossButtonPushed(&host, host.crossButton());
  EXPECT_EQ(rec().sequencerParams.crossRingMod, 0);
  EXPECT_EQ(host.crossButton()->buttonState(), 0);
  EXPECT_EQ(host.events, (std::vector<std::string>{"Ring Mod", "Cross Mod"}));
  // A MIDI ring change lights the ring lamp, not the cross lamp.
  synth().setCrossRingMod(2);
  mode().crossModChangedFromMidi(&host, 1, true);
  EXPECT_EQ(host.crossButton()->buttonState(), 0);
  EXPECT_EQ(host.ringButton()->buttonState(), 1);
}

TEST_F(BaseModeTest, ChoosingAPatternBlinksItUnlessItIsCurrent) {
  mode().changePattern(&host, 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].title, "<default>");
  mode().changePattern(&host, 3);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].title, host.dataProvider()->columnText(3, 0));
  EXPECT_EQ(host.messages[1].value, host.dataProvider()->columnText(3, 1));
  EXPECT_EQ(host.messages[1].type, 2);
  // An invalid number: the engine answers with the pending pattern (0, current).
  mode().changePattern(&host, 100000);
  EXPECT_EQ(host.messages.back().title, "<default>");
}

TEST_F(BaseModeTest, ALoadedPatternResetsThePanelAndIsTheNewReference) {
  host.seqView()->setCurrentPage(3);
  host.stepJumpButton()->setButtonState(1);
  synth().setPartParameter(0, kPitch, 11);
  mode().patternChanged(&host);
  EXPECT_EQ(host.seqView()->currentPage(), 0);
  EXPECT_EQ(host.ledMediatorCurrent()->lightOn(), 0u);
  EXPECT_EQ(host.functionRequests, std::vector<int64_t>{-1});
  EXPECT_EQ(host.snapshot.synthParams[0].pitch, 11);
  EXPECT_EQ(host.messages.back().title, "<default>");
  EXPECT_EQ(host.stepJumpButton()->buttonState(), 0);
  EXPECT_EQ(host.synthPitchKnob()->value(), 11);
}

TEST_F(BaseModeTest, KnobEditsApplyShowAndLightTheOriginalValueSign) {
  host.copyPatternData();
  UISliderButton* decay = host.synthDecayKnob();
  const int32_t stored = rec().synthParams[0].decay;
  decay->setValue(stored == 30 ? 31 : 30);
  mode().synthParameterValueChanged(&host, decay);
  EXPECT_EQ(rec().synthParams[0].decay, decay->value());
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().title, "name5");
  EXPECT_FALSE(host.isOriginalValue());
  decay->setValue(stored);
  mode().synthParameterValueChanged(&host, decay);
  EXPECT_TRUE(host.isOriginalValue());
  EXPECT_TRUE(host.lcdManager()->isOriginalValue());

  // Touching a knob lights the motion-recording sign until the finger lifts.
  mode().valueEditAboutToStart(&host, decay);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 1);
  mode().valueEditFinished(&host, decay);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 0);
  EXPECT_TRUE(host.readyForDefault);
  EXPECT_EQ(host.events.back(), "Amp Decay");
}

TEST_F(BaseModeTest, MasterKnobAndMotionSeqTouchesAreTheirOwn) {
  host.setIsOriginalValue(true);
  UISliderButton* master = host.masterVolumeKnob();
  master->setValue(77);
  mode().valueEditAboutToStart(&host, master);
  EXPECT_EQ(synth().masterParameter(0), 77);
  EXPECT_FALSE(host.isOriginalValue());
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 0);
  mode().valueEditFinished(&host, master);
  EXPECT_EQ(host.events.back(), "Master Volume");

  // Motion Seq to 0 redraws synth and effect controls; no motion sign.
  UIMultipleStateButton* motion = host.synthMotionSeqButton();
  motion->setValue(0);
  const int synth0 = host.synthRefreshes, fx0 = host.effectRefreshes;
  mode().valueEditAboutToStart(&host, motion);
  EXPECT_EQ(rec().synthParams[0].motionType, 0);
  EXPECT_EQ(host.synthRefreshes, synth0 + 1);
  EXPECT_EQ(host.effectRefreshes, fx0 + 1);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 0);
  EXPECT_EQ(host.ledMediatorMotionType()->lightOn(), 0u);
  motion->setValue(2);
  mode().valueEditAboutToStart(&host, motion);
  EXPECT_EQ(rec().synthParams[0].motionType, 2);
  EXPECT_EQ(host.ledMediatorMotionType()->lightOn(), 2u);
}

TEST_F(BaseModeTest, MidiValuesAreClampedAndRecordedOncePerParameterWhilePlaying) {
  mode().synthParameterValueChangedFromMidi(&host, 0, kWave, 200);
  EXPECT_EQ(host.synthWaveButton()->value(), 3);
  mode().synthParameterValueChangedFromMidi(&host, 0, kPitch, -5);
  EXPECT_EQ(host.synthPitchKnob()->value(), 0);
  mode().synthParameterValueChangedFromMidi(&host, 2, kPitch, 50);
  EXPECT_EQ(host.synthPitchKnob()->value(), 0) << "another part's value is not shown";

  // Not recorded while stopped.
  host.setRecording(1);
  mode().synthParameterRecFromMidi(&host, 1, kDecay, 40);
  EXPECT_TRUE(mode().synthEvent().empty());
  synth().startSequencer(0);
  host.render();
  ASSERT_TRUE(synth().isPlaying());
  mode().synthParameterRecFromMidi(&host, 1, kDecay, 40);
  mode().synthParameterRecFromMidi(&host, 1, kDecay, 300);
  mode().synthParameterRecFromMidi(&host, -1, 0, 20);
  mode().effecrParameterRecFromMidi(&host, 0, 0, 12);
  ASSERT_EQ(mode().synthEvent().size(), 2u);
  EXPECT_EQ(mode().synthEvent()[0].value, 127) << "the later value, clamped";
  EXPECT_EQ(mode().synthEvent()[0].active, 1);
  ASSERT_EQ(mode().fxEvent().size(), 1u);
  EXPECT_EQ(mode().fxEvent()[0].value, 7);
  // The wrap makes them inactive; recording off empties both lists.
  mode().seqReturnedToTheBeginning(&host);
  EXPECT_EQ(mode().synthEvent()[0].active, 0);
  EXPECT_EQ(mode().fxEvent()[0].active, 0);
  mode().recordingStatusChanged(&host, false);
  EXPECT_TRUE(mode().synthEvent().empty());
  EXPECT_TRUE(mode().fxEvent().empty());
  EXPECT_EQ(host.recording(), 0u);
  EXPECT_FALSE(host.recordButton()->isOn());
}

TEST_F(BaseModeTest, MotionPlaybackMovesUntouchedKnobsOnlyWithMotionSeqOn) {
  const ParamId pitch = makeParamId(0, 0, kPitch);
  synth().setMotionStep(pitch, 6, 99, 1);
  synth().setPartParameter(0, kMotionSeq, 0);
  host.synthPitchKnob()->setValue(5);
  mode().synthParameterChangedWhenStepChanged(&host, 6);
  EXPECT_EQ(host.synthPitchKnob()->value(), 5) << "Motion Seq off: no playback";
  synth().setPartParameter(0, kMotionSeq, 1);
  mode().synthParameterChangedWhenStepChanged(&host, 6);
  EXPECT_EQ(host.synthPitchKnob()->value(), 99);
  mode().synthParameterChangedWhenStepChanged(&host, 7);
  EXPECT_EQ(host.synthPitchKnob()->value(), rec().synthParams[0].pitch) << "no motion at the step: the pattern's value";
}

TEST_F(BaseModeTest, SoloOnInMuteModeGoesBackToNormal) {
  host.stateMediator().changeState(&host, 1);
  mode().soloButtonPushed(&host, host.soloButton());
  EXPECT_TRUE(synth().soloMode());
  EXPECT_EQ(host.soloButton()->buttonState(), 1);
  EXPECT_EQ(host.functionRequests, std::vector<int64_t>{-1});
  EXPECT_EQ(host.stateMediator().currentStateIndex(), 0);
  // Solo off restores the mutes.
  mode().soloButtonPushed(&host, host.soloButton());
  EXPECT_FALSE(synth().soloMode());
  EXPECT_EQ(host.soloButton()->buttonState(), 0);
}

TEST_F(BaseModeTest, TheShiftLayerEndsRecordingAndLendsSoloOnlyWhileItLasts) {
  host.setRecording(1);
  host.recordButton()->setOn(true);
  RadioButtonMediator& functions = *host.utilButtonMediator();
  host.stateMediator().changeState(&host, 6);
  EXPECT_EQ(host.recording(), 0u);
  EXPECT_FALSE(host.recordButton()->isOn());
  EXPECT_EQ(functions.button(3).get(), host.soloButton());
  EXPECT_EQ(host.functionActions, std::vector<TIButton*>{host.soloButton()});
  // In the shift layer recording-status news changes nothing.
  mode().recordingStatusChanged(&host, true);
  EXPECT_EQ(host.recording(), 0u);
  host.stateMediator().changeState(&host, 0);
  EXPECT_EQ(functions.button(3), nullptr);
  EXPECT_TRUE(host.functionActions.empty()) << "the solo button is solo again";
  EXPECT_EQ(functions.selected(), RadioButtonMediator::kNone);
}
