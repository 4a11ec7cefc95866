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
  // Recording on makes it sound too, and, stopped, records on the step the
  // sequencer rests on.
  globalSettings()->set(GlobalSettings::kPreviewSounds, 0);
  for (int i = 0; i < 40; ++i) host.render(1024);
  ASSERT_EQ(heard(), 0);
  ASSERT_FALSE(synth().isPlaying());
  const int32_t rest = static_cast<int32_t>(host.currentStepTwice() >> 1);
  host.setRecording(1);
  mode().partButtonPushed(&host, 1);
  EXPECT_GT(heard(), 100);
  for (int st = 0; st < kNumSteps; ++st) EXPECT_EQ(synth().step(1, st), st == rest) << st;
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

namespace {

// A finger on a control for the life of the object (the control kit's own
// touch path, so the control tracks exactly as under a real touch).
class Finger {
 public:
  explicit Finger(TIControl* c) : control_(c), touch_(std::make_shared<platform::Touch>(1, platform::Point{2, 2}, 0.0)) {
    control_->touchesBegan({touch_}, nullptr);
  }
  ~Finger() { control_->touchesEnded({touch_}, nullptr); }
  Finger(const Finger&) = delete;
  Finger& operator=(const Finger&) = delete;

 private:
  TIControl* control_;
  std::shared_ptr<platform::Touch> touch_;
};

struct MotionAt {
  bool trigger = false;
  int32_t value = 0;
};

MotionAt motionAt(Synth& s, ParamId id, int32_t step) {
  MotionAt m;
  EXPECT_TRUE(s.motionStep(id, step, &m.trigger, &m.value, nullptr));
  return m;
}

}  // namespace

TEST_F(BaseModeTest, EveryModeEntryRedrawsPartsAndStepsFromTheEngine) {
  synth().setStep(0, 3, true);
  synth().setStep(0, 20, true);
  synth().setPartMute(2, 1);
  // The panel shows something else than the engine holds.
  host.seqView()->getButton(4)->setButtonState(1);
  host.partButtonMediator()->setButtonActive(5, true);
  host.stateMediator().changeState(&host, 6);
  for (int32_t b = 0; b < 16; ++b) EXPECT_EQ(host.seqView()->getButton(b)->isActive(), b == 3) << b;
  EXPECT_FALSE(host.partButtonMediator()->isButtonActive(5));
  EXPECT_TRUE(host.partButtonMediator()->button(2)->dim());
  EXPECT_EQ(host.partButtonMediator()->selected(), 0u);
  // The page shown is the controller's: page 1 shows step 20 as button 4.
  host.seqPage = 1;
  host.stateMediator().changeState(&host, 0);
  EXPECT_TRUE(host.seqView()->getButton(20)->isActive());
  EXPECT_FALSE(host.seqView()->getButton(19)->isActive());
}

TEST_F(BaseModeTest, SynthAndEffectViewsShowTheCurrentPartAndTheEffect) {
  synth().setCurrentPart(5);
  synth().setPartParameter(5, kPitch, 21);
  synth().setPartParameter(5, kWave, 2);
  synth().setPartParameter(5, kLowBoost, 99);
  synth().setPartParameter(5, kMotionSeq, 2);
  synth().setEffectParameter(0, 0, 6);
  synth().setEffectParameter(0, 2, 44);
  host.synthDisplays.clear();
  mode().refreshSynthView(&host);
  ASSERT_EQ(host.synthDisplays.size(), 10u) << "indices 0-9: Mute, FX Send and Accent are not on knobs";
  for (int32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(host.synthDisplays[static_cast<size_t>(i)],
              (std::pair<int32_t, int32_t>{i, rec().synthParams[5][i]}));
  }
  EXPECT_EQ(host.synthPitchKnob()->value(), 21);
  EXPECT_EQ(host.synthWaveButton()->value(), 2);
  EXPECT_EQ(host.synthLowBoostKnob()->value(), 99);
  mode().refreshEffectView(&host);
  EXPECT_EQ(host.synthFxTypeKnob()->value(), 6);
  EXPECT_EQ(host.synthFxEdit2Knob()->value(), 44);
}

TEST_F(BaseModeTest, PlayPositionHighlightsTheStepAndFlashesTriggeringParts) {
  synth().setCurrentPart(1);
  host.partButtonMediator()->setButtonSelected(1, false);
  synth().setStep(1, 9, true);
  synth().setStep(4, 9, true);
  mode().seqButtonTriggeredOnWhenStepChanged(&host, 9);
  EXPECT_EQ(host.seqView()->getButton(9)->buttonPossibilityState(), 1);
  mode().partButtonTriggeredOnWhenStepChanged(&host, 9);
  EXPECT_TRUE(host.partButtonMediator()->isButtonActive(4));
  EXPECT_EQ(host.partButtonMediator()->selected(), RadioButtonMediator::kNone) << "the current part flashes by losing its selected look";
  mode().partButtonTriggeredOffWhenStepChanged(&host);
  EXPECT_FALSE(host.partButtonMediator()->isButtonActive(4));
  EXPECT_EQ(host.partButtonMediator()->selected(), 1u);
  mode().pollingInSeqStop(&host);
  EXPECT_EQ(host.seqView()->getButton(9)->buttonPossibilityState(), 0);
}

TEST_F(BaseModeTest, AHeldKnobRecordsItsValueAtThePlayPositionAtEveryTick) {
  const ParamId pitch = makeParamId(0, 0, kPitch);
  const ParamId decay = makeParamId(0, 0, kDecay);
  synth().setPartParameter(0, kMotionSeq, 0);
  synth().startSequencer(0);
  host.render();
  ASSERT_TRUE(synth().isPlaying());
  UISliderButton* knob = host.synthPitchKnob();
  {
    Finger finger(knob);
    knob->setValue(77);
    host.stepTwice = 2 * 5;
    mode().synthMotionRecording(&host);
    EXPECT_FALSE(motionAt(synth(), pitch, 5).trigger) << "recording off: nothing written";

    host.setRecording(1);
    mode().synthMotionRecording(&host);
    EXPECT_TRUE(motionAt(synth(), pitch, 5).trigger);
    EXPECT_EQ(motionAt(synth(), pitch, 5).value, 77);
    EXPECT_EQ(rec().synthParams[0].motionType, 1) << "motion switched on for the part";
    EXPECT_FALSE(motionAt(synth(), decay, 5).trigger) << "an untouched knob records nothing";

    // Second half of step 6: the touch lands on step 7.
    knob->setValue(80);
    host.stepTwice = 2 * 6 + 1;
    mode().synthMotionRecording(&host);
    EXPECT_EQ(motionAt(synth(), pitch, 7).value, 80);
    EXPECT_FALSE(motionAt(synth(), pitch, 6).trigger);

    // Playback leaves the held knob alone.
    mode().synthParameterChangedWhenStepChanged(&host, 5);
    EXPECT_EQ(knob->value(), 80);
  }
  // Released: playback moves it again, and nothing more is recorded.
  mode().synthParameterChangedWhenStepChanged(&host, 5);
  EXPECT_EQ(knob->value(), 77);
  host.stepTwice = 2 * 9;
  mode().synthMotionRecording(&host);
  EXPECT_FALSE(motionAt(synth(), pitch, 9).trigger);
}

TEST_F(BaseModeTest, AHeldEffectKnobRecordsAndEffectMotionPlaysWithoutAMotionSwitch) {
  synth().startSequencer(0);
  host.render();
  host.setRecording(1);
  UISliderButton* edit1 = host.synthFxEdit1Knob();
  {
    Finger finger(edit1);
    edit1->setValue(66);
    host.stepTwice = 2 * 12;
    mode().effectMotionRecording(&host);
  }
  EXPECT_EQ(motionAt(synth(), kParamEffectEdit1, 12).value, 66);
  EXPECT_TRUE(motionAt(synth(), kParamEffectEdit1, 12).trigger);
  synth().setPartParameter(0, kMotionSeq, 0);
  edit1->setValue(3);
  mode().effectParameterChangedWhenStepChanged(&host, 12);
  EXPECT_EQ(edit1->value(), 66);
  mode().effectParameterChangedWhenStepChanged(&host, 13);
  EXPECT_EQ(edit1->value(), rec().effectParams[0].edit1);
}

TEST_F(BaseModeTest, AMidiValueIsWrittenAtEveryTickUntilTheSequenceWraps) {
  const ParamId decay = makeParamId(0, 1, kDecay);
  synth().startSequencer(0);
  host.render();
  host.setRecording(1);
  host.stepTwice = 2 * 3 + 1;
  mode().synthParameterRecFromMidi(&host, 1, kDecay, 40);
  EXPECT_EQ(motionAt(synth(), decay, 3).value, 40) << "MIDI recordings land unrounded";
  EXPECT_FALSE(motionAt(synth(), decay, 4).trigger);
  host.stepTwice = 2 * 4;
  mode().synthMotionRecording(&host);
  EXPECT_EQ(motionAt(synth(), decay, 4).value, 40);
  // A newer value replaces the record's.
  mode().synthParameterRecFromMidi(&host, 1, kDecay, 50);
  host.stepTwice = 2 * 5;
  mode().synthMotionRecording(&host);
  EXPECT_EQ(motionAt(synth(), decay, 5).value, 50);
  ASSERT_EQ(mode().synthEvent().size(), 1u);
  // After the wrap it is no longer written; a new value brings it back.
  mode().seqReturnedToTheBeginning(&host);
  host.stepTwice = 2 * 6;
  mode().synthMotionRecording(&host);
  EXPECT_FALSE(motionAt(synth(), decay, 6).trigger);
  mode().synthParameterRecFromMidi(&host, 1, kDecay, 60);
  ASSERT_EQ(mode().synthEvent().size(), 1u) << "the record is reused";
  host.stepTwice = 2 * 7;
  mode().synthMotionRecording(&host);
  EXPECT_EQ(motionAt(synth(), decay, 7).value, 60);
  // Recording off and on again: the list starts empty.
  mode().recordingStatusChanged(&host, false);
  mode().recordingStatusChanged(&host, true);
  EXPECT_TRUE(mode().synthEvent().empty());
  EXPECT_EQ(host.recording(), 1u);
  EXPECT_TRUE(host.recordButton()->isOn());
  EXPECT_EQ(host.playRefreshes.back(), true);
}

TEST_F(BaseModeTest, MidiRecordingsKeepToTheirParametersRanges) {
  synth().startSequencer(0);
  host.render();
  host.setRecording(1);
  host.stepTwice = 2 * 2;
  struct Case {
    int32_t part, number, value;
    ParamId id;
    int32_t expected;
  };
  const Case cases[] = {
      {0, kWave, 200, makeParamId(0, 0, kWave), 3},
      {2, kPitch, -5, makeParamId(0, 2, kPitch), 0},
      {-1, 0, 300, kParamAccentLevel, 127},
      {-1, 1, 5, kParamAccentMotion, 2},  // three kinds of accent motion, not the four waves
  };
  for (const Case& c : cases) {
    mode().synthParameterRecFromMidi(&host, c.part, c.number, c.value);
    EXPECT_EQ(motionAt(synth(), c.id, 2).value, c.expected) << c.part << "/" << c.number;
  }
  mode().effecrParameterRecFromMidi(&host, 0, 0, 99);
  EXPECT_EQ(motionAt(synth(), kParamEffectType, 2).value, 7);

  // Indices without a range are not recorded into a neighbour's slot.
  const size_t before = mode().synthEvent().size();
  mode().synthParameterRecFromMidi(&host, 0, 13, 50);
  mode().synthParameterRecFromMidi(&host, -1, 2, 50);
  mode().effecrParameterRecFromMidi(&host, 0, 3, 1);
  EXPECT_FALSE(motionAt(synth(), makeParamId(0, 0, 13), 2).trigger);
  EXPECT_FALSE(motionAt(synth(), kParamAccentLevel + 2, 2).trigger);
  EXPECT_FALSE(motionAt(synth(), kParamEffectOnOff, 2).trigger);
  EXPECT_EQ(mode().synthEvent().size(), before);
  // A part outside 0-7 keeps a record but writes nothing.
  mode().synthParameterRecFromMidi(&host, 9, kPitch, 50);
  EXPECT_EQ(mode().synthEvent().size(), before + 1);
  mode().synthMotionRecording(&host);
}

TEST_F(BaseModeTest, MidiNotesLightPartsAndRecordTriggersOnlyWhilePlaying) {
  mode().synthNoteOnFromMidi(&host, 6);
  EXPECT_TRUE(host.partButtonMediator()->isForcedActive(6));
  mode().synthNoteOffFromMidi(&host, 6);
  EXPECT_FALSE(host.partButtonMediator()->isForcedActive(6));
  host.setRecording(1);
  host.stepTwice = 2 * 10 + 1;
  mode().synthNoteRecFromMidi(&host, 6);
  EXPECT_FALSE(synth().step(6, 11)) << "stopped: nothing recorded";
  synth().startSequencer(0);
  host.render();
  mode().synthNoteRecFromMidi(&host, 6);
  EXPECT_TRUE(synth().step(6, 11)) << "a MIDI note rounds like a touch";
  host.setRecording(0);
  mode().synthNoteRecFromMidi(&host, 6);
  EXPECT_FALSE(synth().step(6, 10));
}

TEST_F(BaseModeTest, MidiMuteSoloAndPartChangesShowOnTheParts) {
  mode().synthParameterMuteChangedFromMidi(&host, 3, 1);
  EXPECT_TRUE(host.partButtonMediator()->button(3)->dim());
  mode().synthParameterMuteChangedFromMidi(&host, 3, 0);
  EXPECT_FALSE(host.partButtonMediator()->button(3)->dim());
  // Solo on part 2 over MIDI: everything else dimmed; mute news then change nothing.
  mode().soloStateChangedFromMidi(&host, 2);
  EXPECT_EQ(host.soloButton()->buttonState(), 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(host.partButtonMediator()->button(i)->dim(), i != 2) << i;
  synth().setSoloMode(true);
  mode().synthParameterMuteChangedFromMidi(&host, 5, 0);
  EXPECT_TRUE(host.partButtonMediator()->button(5)->dim());
  // Solo off (part 8): the pattern's mutes.
  synth().setSoloMode(false);
  synth().setPartMute(7, 1);
  mode().soloStateChangedFromMidi(&host, 8);
  EXPECT_EQ(host.soloButton()->buttonState(), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(host.partButtonMediator()->button(i)->dim(), i == 7) << i;

  // A part change over MIDI selects the part and redraws its steps and sound.
  synth().setStep(4, 1, true);
  synth().setPartParameter(4, kPitch, 12);
  mode().partChangedFromMidi(&host, 4);
  EXPECT_EQ(host.currentPart(), 4u);
  EXPECT_EQ(host.partButtonMediator()->selected(), 4u);
  EXPECT_TRUE(host.seqView()->getButton(1)->isActive());
  EXPECT_EQ(host.synthPitchKnob()->value(), 12);
}

TEST_F(BaseModeTest, MidiEffectValuesShowClampedOnlyForTheCurrentEffect) {
  mode().effecrParameterValueChangedFromMidi(&host, 0, 0, 42);
  EXPECT_EQ(host.synthFxTypeKnob()->value(), 7);
  mode().effecrParameterValueChangedFromMidi(&host, 0, 1, -3);
  EXPECT_EQ(host.synthFxEdit1Knob()->value(), 0);
  mode().effecrParameterValueChangedFromMidi(&host, 1, 2, 50);
  EXPECT_EQ(host.synthFxEdit2Knob()->value(), 0) << "another effect set is not shown";
}
