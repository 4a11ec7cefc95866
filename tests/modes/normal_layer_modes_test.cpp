// The function modes of the normal layer over a panel of real controls and
// a real engine: Mute (part buttons as mute switches), Effect switch (part
// buttons as effect sends, step buttons as the effect's on/off steps) and
// Accent (part buttons as accent switches, step buttons as accent steps,
// the level knob and Motion Seq button as the accent's level and motion).

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/settings/global_settings.h"
#include "modes/panel_host.h"
#include "modes/z31647_ui_state_accent.h"
#include "modes/z31647_ui_state_effect.h"
#include "modes/z31647_ui_state_mute.h"

namespace {

// The host compares accent values with its snapshot as the main screen does.
class AccentPanelHost : public PanelHost {
 public:
  bool isEqualAccentValue(int32_t value, int32_t index) const override {
    if (index == 6) return value == snapshot.sequencerParams.accentLevel;
    if (index == 9) return value == snapshot.sequencerParams.accentMotionType;
    return false;
  }
};

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

class NormalLayerModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-modes1-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    createGlobalSettings(dir, dir);
  }
  void TearDown() override {
    destroyGlobalSettings();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  Synth& synth() { return *host.synth(); }
  const PatternRecord& rec() { return *host.synth()->currentPattern(); }
  RadioButtonMediator& parts() { return *host.partButtonMediator(); }
  Z31647State& mode() { return host.mode(); }
  void enter(UiStateIndex i) { host.stateMediator().changeState(&host, i); }
  UiStateIndex current() { return host.stateMediator().currentStateIndex(); }
  TIButton* stepButton(int32_t step) { return host.seqView()->getButton(step).get(); }
  void play() {
    synth().startSequencer(0);
    host.render();
    ASSERT_TRUE(synth().isPlaying());
  }
  bool motionTrigger(ParamId id, int32_t step) {
    bool trigger = false;
    EXPECT_TRUE(synth().motionStep(id, step, &trigger, nullptr, nullptr));
    return trigger;
  }
  int32_t motionValue(ParamId id, int32_t step) {
    int32_t value = -1;
    EXPECT_TRUE(synth().motionStep(id, step, nullptr, &value, nullptr));
    return value;
  }

  std::filesystem::path dir;
  AccentPanelHost host;
};

}  // namespace

// ---- Mute --------------------------------------------------------------------------------

TEST_F(NormalLayerModeTest, TheMediatorHoldsTheThreeModes) {
  const auto& states = static_cast<Z31647UiStateMediator&>(host.stateMediator()).states();
  EXPECT_NE(dynamic_cast<Z31647UiStateMute*>(states[1].get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateAccent*>(states[2].get()), nullptr);
  EXPECT_NE(dynamic_cast<Z31647UiStateEffect*>(states[3].get()), nullptr);
}

TEST_F(NormalLayerModeTest, EnteringMuteEndsSoloAndShowsEachPartsOwnMuteUndimmed) {
  synth().setPartMute(2, 1);
  synth().setPartMute(6, 1);
  synth().setSoloMode(true);
  synth().setPartSolo(0, true, true);
  host.soloButton()->setButtonState(1);
  host.stepJumpButton()->setButtonState(1);
  mode().refreshPartView(&host);  // solo dims every other part
  synth().setStep(0, 5, true);
  enter(1);
  EXPECT_FALSE(synth().soloMode());
  EXPECT_EQ(host.soloButton()->buttonState(), 0);
  EXPECT_EQ(host.stepJumpButton()->buttonState(), 0);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(parts().isButtonActive(i), i != 2 && i != 6) << i;
    EXPECT_FALSE(parts().button(i)->dim()) << i;
  }
  EXPECT_EQ(parts().selected(), 0u) << "the current part sounds: selected";
  EXPECT_TRUE(stepButton(5)->isActive()) << "the steps are still the current part's";
  EXPECT_EQ(rec().synthParams[2].mute, 1) << "solo off gives the pattern's mutes back";
}

TEST_F(NormalLayerModeTest, AMutePressSwitchesThePartAndItsLampOnly) {
  globalSettings()->set(GlobalSettings::kPreviewSounds, 1);
  enter(1);
  mode().partButtonPushed(&host, 4);
  EXPECT_EQ(rec().synthParams[4].mute, 1);
  EXPECT_FALSE(parts().isButtonActive(4));
  EXPECT_EQ(host.currentPart(), 0u) << "a press does not select";
  EXPECT_FALSE(parts().isForcedActive(4));
  EXPECT_EQ(parts().selected(), 0u);
  mode().partButtonPushed(&host, 4);
  EXPECT_EQ(rec().synthParams[4].mute, 0);
  EXPECT_TRUE(parts().isButtonActive(4));
  // The current part loses its selected look while muted.
  mode().partButtonPushed(&host, 0);
  EXPECT_EQ(rec().synthParams[0].mute, 1);
  EXPECT_FALSE(parts().isButtonActive(0));
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
  mode().partButtonPushed(&host, 0);
  EXPECT_EQ(rec().synthParams[0].mute, 0);
  EXPECT_EQ(parts().selected(), 0u);
  // A lamp out of step with the pattern never mutes a muted part again.
  synth().setPartMute(3, 1);
  parts().setButtonActive(3, true);
  mode().partButtonPushed(&host, 3);
  EXPECT_EQ(rec().synthParams[3].mute, 0);
  EXPECT_TRUE(parts().isButtonActive(3));
  // Keys that are no part change nothing (the engine would take them for part 7).
  mode().partButtonPushed(&host, 10);
  EXPECT_EQ(rec().synthParams[7].mute, 0);
}

TEST_F(NormalLayerModeTest, MuteShowsMidiMutesAndIgnoresThePlayPositionAndMidiNotes) {
  enter(1);
  mode().synthParameterMuteChangedFromMidi(&host, 5, 1);
  EXPECT_FALSE(parts().isButtonActive(5));
  EXPECT_FALSE(parts().button(5)->dim()) << "shown as a dark lamp, not dimmed";
  mode().synthParameterMuteChangedFromMidi(&host, 0, 1);
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
  mode().synthParameterMuteChangedFromMidi(&host, 0, 0);
  EXPECT_EQ(parts().selected(), 0u);
  EXPECT_TRUE(parts().isButtonActive(0));

  synth().setStep(5, 8, true);
  synth().setStep(0, 8, true);
  mode().partButtonTriggeredOnWhenStepChanged(&host, 8);
  EXPECT_FALSE(parts().isButtonActive(5)) << "no flash";
  EXPECT_EQ(parts().selected(), 0u);
  mode().partButtonTriggeredOffWhenStepChanged(&host);
  EXPECT_TRUE(parts().isButtonActive(1)) << "the mute lamps stay";
  mode().synthNoteOnFromMidi(&host, 2);
  EXPECT_FALSE(parts().isForcedActive(2));
}

TEST_F(NormalLayerModeTest, SoloOverMidiLeavesMuteAndNormalDimsTheMutedPartsAgain) {
  synth().setPartMute(1, 1);
  enter(1);
  EXPECT_FALSE(parts().button(1)->dim());
  mode().soloStateChangedFromMidi(&host, 3);
  EXPECT_EQ(current(), 0);
  // Leaving by the function button: Normal's redraw dims the muted part.
  enter(1);
  enter(0);
  EXPECT_TRUE(parts().button(1)->dim());
  EXPECT_FALSE(parts().button(2)->dim());
}

// ---- Effect switch ---------------------------------------------------------------------

TEST_F(NormalLayerModeTest, EffectStepsAreTheEffectsOnOffMotionTheSameForEveryPart) {
  synth().setMotionStep(kParamEffectOnOff, 2, 1, 1);
  synth().setMotionStep(kParamEffectOnOff, 3, 0, 1);
  synth().setStep(0, 4, true);
  enter(3);
  for (int32_t b = 0; b < 16; ++b) EXPECT_EQ(stepButton(b)->isActive(), b == 2) << b;
  // Step 3 on: value 1 with its trigger; off: value 0, the trigger still set.
  mode().seqButtonPushed(&host, stepButton(3));
  EXPECT_EQ(motionValue(kParamEffectOnOff, 3), 1);
  EXPECT_TRUE(motionTrigger(kParamEffectOnOff, 3));
  EXPECT_TRUE(stepButton(3)->isActive());
  mode().seqButtonPushed(&host, stepButton(3));
  EXPECT_EQ(motionValue(kParamEffectOnOff, 3), 0);
  EXPECT_TRUE(motionTrigger(kParamEffectOnOff, 3));
  EXPECT_FALSE(stepButton(3)->isActive());
  EXPECT_TRUE(synth().hasMotion(kParamEffectOnOff));
  EXPECT_TRUE(synth().step(0, 4)) << "the part's triggers are untouched";
  // Page 2: button 1 is step 33.
  host.seqView()->setCurrentPage(2);
  mode().seqButtonPushed(&host, stepButton(33));
  EXPECT_EQ(motionValue(kParamEffectOnOff, 33), 1);
  // Another part current: the same steps.
  host.seqPage = 0;
  mode().partChangedFromMidi(&host, 6);
  EXPECT_EQ(host.currentPart(), 6u);
  mode().refreshSeqView(&host);
  for (int32_t b = 0; b < 16; ++b) EXPECT_EQ(stepButton(b)->isActive(), b == 2) << b;
}

TEST_F(NormalLayerModeTest, EffectPartButtonsAreTheSendsAndShowOnlySendNews) {
  synth().setPartParameter(1, kFxSend, 1);
  synth().setPartParameter(5, kFxSend, 0);
  synth().setPartMute(5, 1);
  enter(3);
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(parts().isButtonActive(i), rec().synthParams[i].fxSend != 0) << i;
    EXPECT_FALSE(parts().button(i)->dim()) << i;
  }
  mode().partButtonPushed(&host, 5);
  EXPECT_EQ(rec().synthParams[5].fxSend, 1);
  EXPECT_TRUE(parts().isButtonActive(5));
  EXPECT_EQ(host.currentPart(), 0u);
  mode().partButtonPushed(&host, 5);
  EXPECT_EQ(rec().synthParams[5].fxSend, 0);
  EXPECT_FALSE(parts().isButtonActive(5));
  EXPECT_EQ(rec().synthParams[1].fxSend, 1) << "only the pressed part";

  mode().synthParameterValueChangedFromMidi(&host, 2, kFxSend, 1);
  EXPECT_TRUE(parts().isButtonActive(2));
  const int64_t pitch = host.synthPitchKnob()->value();
  mode().synthParameterValueChangedFromMidi(&host, 0, kPitch, pitch == 5 ? 6 : 5);
  EXPECT_EQ(host.synthPitchKnob()->value(), pitch) << "other parameters are not shown";
  mode().synthParameterMuteChangedFromMidi(&host, 3, 1);
  EXPECT_FALSE(parts().button(3)->dim());
  synth().setStep(4, 0, true);
  mode().partButtonTriggeredOnWhenStepChanged(&host, 0);
  EXPECT_FALSE(parts().isButtonActive(4));
  mode().synthNoteOnFromMidi(&host, 4);
  EXPECT_FALSE(parts().isForcedActive(4));
  // Knobs keep their Normal meaning.
  host.synthDecayKnob()->setValue(17);
  mode().synthParameterValueChanged(&host, host.synthDecayKnob());
  EXPECT_EQ(rec().synthParams[0].decay, 17);
}

// ---- Accent -------------------------------------------------------------------------------

TEST_F(NormalLayerModeTest, AccentTakesTheLevelAndMotionControlsAndGivesThemBack) {
  synth().setPartParameter(0, kLevel, 100);
  synth().setPartParameter(0, kMotionSeq, 1);
  synth().setAccentParameter(0, 55);
  synth().setAccentParameter(1, 2);
  for (int p = 0; p < 8; ++p) synth().setPartParameter(p, kAccent, p == 3 ? 1 : 0);
  synth().setAccentStep(1, true);
  synth().setAccentStep(17, true);
  synth().setPartMute(3, 1);
  host.synthDisplays.clear();
  enter(2);
  EXPECT_EQ(host.synthLevelKnob()->value(), 55);
  EXPECT_EQ(host.synthDisplays.back(), (std::pair<int32_t, int32_t>{kMotionSeq, 2}));
  EXPECT_TRUE(host.synthLevelKnob()->isEnabled());
  EXPECT_TRUE(host.synthMotionSeqButton()->isEnabled());
  for (TIControl* c : {static_cast<TIControl*>(host.synthPitchKnob()), static_cast<TIControl*>(host.synthModDepthKnob()),
                       static_cast<TIControl*>(host.synthModSpeedKnob()), static_cast<TIControl*>(host.synthDecayKnob()),
                       static_cast<TIControl*>(host.synthPanKnob()), static_cast<TIControl*>(host.synthLowBoostKnob()),
                       static_cast<TIControl*>(host.synthWaveButton()), static_cast<TIControl*>(host.synthModTypeButton()),
                       static_cast<TIControl*>(host.synthFxTypeKnob()), static_cast<TIControl*>(host.synthFxEdit1Knob()),
                       static_cast<TIControl*>(host.synthFxEdit2Knob())}) {
    EXPECT_FALSE(c->isEnabled()) << c->tag();
  }
  EXPECT_FALSE(host.lcdManager()->showsCurrentPart());
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(parts().isButtonActive(i), i == 3) << i;
    EXPECT_FALSE(parts().button(i)->dim()) << i;
  }
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
  for (int32_t b = 0; b < 16; ++b) EXPECT_EQ(stepButton(b)->isActive(), b == 1) << b;

  enter(0);
  EXPECT_EQ(host.synthLevelKnob()->value(), 100);
  EXPECT_EQ(host.synthDisplays.back(), (std::pair<int32_t, int32_t>{kMotionSeq, 1}));
  EXPECT_TRUE(host.synthPitchKnob()->isEnabled());
  EXPECT_TRUE(host.synthWaveButton()->isEnabled());
  EXPECT_TRUE(host.synthFxEdit2Knob()->isEnabled());
  EXPECT_TRUE(host.lcdManager()->showsCurrentPart());
}

TEST_F(NormalLayerModeTest, AccentStepsAreSharedAndPartButtonsAreAccentSwitches) {
  synth().setPartParameter(6, kAccent, 0);
  enter(2);
  host.seqView()->setCurrentPage(1);
  mode().seqButtonPushed(&host, stepButton(17));
  EXPECT_TRUE(synth().accentStep(17));
  EXPECT_EQ(rec().sequencerParams.accent[17], 1);
  EXPECT_TRUE(stepButton(17)->isActive());
  for (int p = 0; p < 8; ++p) EXPECT_FALSE(synth().step(p, 17)) << "no part's trigger changes";
  mode().seqButtonPushed(&host, stepButton(17));
  EXPECT_FALSE(synth().accentStep(17));

  globalSettings()->set(GlobalSettings::kPreviewSounds, 1);
  mode().partButtonPushed(&host, 6);
  EXPECT_EQ(rec().synthParams[6].accentStatus, 1);
  EXPECT_TRUE(parts().isButtonActive(6));
  EXPECT_EQ(host.currentPart(), 0u);
  EXPECT_FALSE(parts().isForcedActive(6));
  mode().partButtonPushed(&host, 6);
  EXPECT_EQ(rec().synthParams[6].accentStatus, 0);
  EXPECT_FALSE(parts().isButtonActive(6));

  mode().synthParameterValueChangedFromMidi(&host, 4, kAccent, 1);
  EXPECT_TRUE(parts().isButtonActive(4));
  mode().synthParameterValueChangedFromMidi(&host, 4, kAccent, 0);
  EXPECT_FALSE(parts().isButtonActive(4));
  synth().setStep(4, 3, true);
  mode().partButtonTriggeredOnWhenStepChanged(&host, 3);
  EXPECT_FALSE(parts().isButtonActive(4)) << "no flash";
  mode().partButtonTriggeredOffWhenStepChanged(&host);
  EXPECT_EQ(parts().isButtonActive(2), rec().synthParams[2].accentStatus != 0) << "the accent lamps stay";
  mode().synthNoteOnFromMidi(&host, 2);
  EXPECT_FALSE(parts().isForcedActive(2));
}

TEST_F(NormalLayerModeTest, OnlyTheLevelAndMotionControlsReachTheEngineInAccent) {
  synth().setAccentParameter(0, 40);
  host.copyPatternData();
  enter(2);
  UISliderButton* level = host.synthLevelKnob();
  const int32_t partLevel = rec().synthParams[0].level;
  level->setValue(90);
  mode().synthParameterValueChanged(&host, level);
  EXPECT_EQ(rec().sequencerParams.accentLevel, 90);
  EXPECT_EQ(rec().synthParams[0].level, partLevel);
  EXPECT_EQ(host.messages.back().title, "Accent Level");
  EXPECT_EQ(host.messages.back().value, "90");
  EXPECT_FALSE(host.isOriginalValue());
  level->setValue(40);
  mode().synthParameterValueChanged(&host, level);
  EXPECT_TRUE(host.isOriginalValue()) << "the stored pattern's accent level";
  EXPECT_TRUE(host.lcdManager()->isOriginalValue());

  UIMultipleStateButton* motion = host.synthMotionSeqButton();
  motion->setValue(1);
  mode().synthParameterValueChanged(&host, motion);
  EXPECT_EQ(rec().sequencerParams.accentMotionType, 1);
  EXPECT_EQ(host.messages.back().title, "Accent Motion");

  // Any other control only clears the original-value sign.
  const PatternRecord before = rec();
  host.setIsOriginalValue(true);
  host.synthPitchKnob()->setValue(3);
  mode().synthParameterValueChanged(&host, host.synthPitchKnob());
  EXPECT_FALSE(host.isOriginalValue());
  EXPECT_EQ(rec().synthParams[0].pitch, before.synthParams[0].pitch);
  EXPECT_EQ(rec().sequencerParams.accentLevel, 40);
}

TEST_F(NormalLayerModeTest, AccentTouchesSetTheAccentAndPairTheMotionSign) {
  enter(2);
  UISliderButton* level = host.synthLevelKnob();
  level->setValue(70);
  synth().setMotionStep(kParamAccentLevel, 0, 10, 1);
  mode().valueEditAboutToStart(&host, level);
  EXPECT_EQ(rec().sequencerParams.accentLevel, 70);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 1);
  mode().valueEditFinished(&host, level);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 0);
  EXPECT_TRUE(host.readyForDefault);
  EXPECT_TRUE(host.events.empty()) << "no analytics event in this mode";

  UIMultipleStateButton* motion = host.synthMotionSeqButton();
  motion->setValue(2);
  mode().valueEditAboutToStart(&host, motion);
  EXPECT_EQ(rec().sequencerParams.accentMotionType, 2);
  EXPECT_EQ(host.ledMediatorMotionType()->lightOn(), 2u);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 0);
  EXPECT_EQ(rec().synthParams[0].motionType, host.snapshot.synthParams[0].motionType) << "the part's Motion Seq is kept";
  mode().valueEditFinished(&host, motion);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 0);
}

TEST_F(NormalLayerModeTest, TheLevelKnobPlaysAndRecordsTheAccentLevelMotion) {
  enter(2);
  UISliderButton* level = host.synthLevelKnob();
  synth().setMotionStep(kParamAccentLevel, 6, 111, 1);
  synth().setAccentParameter(0, 30);
  synth().setAccentParameter(1, 0);
  level->setValue(30);
  mode().synthParameterChangedWhenStepChanged(&host, 6);
  EXPECT_EQ(level->value(), 30) << "Accent Motion 0: no playback";
  synth().setAccentParameter(1, 1);
  mode().synthParameterChangedWhenStepChanged(&host, 6);
  EXPECT_EQ(level->value(), 111);
  mode().synthParameterChangedWhenStepChanged(&host, 7);
  EXPECT_EQ(level->value(), 30);
  // Part motion never moves the level knob here, nor effect motion the effect knobs.
  synth().setPartParameter(0, kMotionSeq, 1);
  synth().setMotionStep(makeParamId(0, 0, kPitch), 7, 99, 1);
  synth().setMotionStep(kParamEffectEdit1, 7, 99, 1);
  host.synthPitchKnob()->setValue(1);
  host.synthFxEdit1Knob()->setValue(1);
  mode().synthParameterChangedWhenStepChanged(&host, 7);
  mode().effectParameterChangedWhenStepChanged(&host, 7);
  EXPECT_EQ(host.synthPitchKnob()->value(), 1);
  EXPECT_EQ(host.synthFxEdit1Knob()->value(), 1);

  play();
  host.setRecording(1);
  host.stepTwice = 2 * 9;
  {
    Finger finger(level);
    level->setValue(77);
    mode().synthMotionRecording(&host);
    mode().synthParameterChangedWhenStepChanged(&host, 6);
    EXPECT_EQ(level->value(), 77) << "playback leaves the held knob alone";
  }
  EXPECT_EQ(motionValue(kParamAccentLevel, 9), 77);
  EXPECT_TRUE(motionTrigger(kParamAccentLevel, 9));
  EXPECT_FALSE(motionTrigger(makeParamId(0, 0, kLevel), 9)) << "the part's level records nothing";
  // A held pitch knob (disabled on the panel) records nothing in this mode.
  {
    Finger finger(host.synthPitchKnob());
    host.stepTwice = 2 * 10;
    mode().synthMotionRecording(&host);
  }
  EXPECT_FALSE(motionTrigger(makeParamId(0, 0, kPitch), 10));
  // MIDI records are still written at each tick.
  mode().synthParameterRecFromMidi(&host, 2, kDecay, 20);
  host.stepTwice = 2 * 11;
  mode().synthMotionRecording(&host);
  EXPECT_EQ(motionValue(makeParamId(0, 2, kDecay), 11), 20);
}

TEST_F(NormalLayerModeTest, MidiAccentValuesShowClampedAndAPartChangeRedrawsNothing) {
  enter(2);
  mode().synthParameterValueChangedFromMidi(&host, -1, 0, 300);
  EXPECT_EQ(host.synthLevelKnob()->value(), 127);
  host.synthDisplays.clear();
  mode().synthParameterValueChangedFromMidi(&host, -1, 1, 5);
  EXPECT_EQ(host.synthDisplays, (std::vector<std::pair<int32_t, int32_t>>{{kMotionSeq, 2}}));
  mode().synthParameterValueChangedFromMidi(&host, -1, 2, 5);
  EXPECT_EQ(host.synthDisplays.size(), 1u);
  const int32_t partLevel = static_cast<int32_t>(host.synthLevelKnob()->value());
  mode().synthParameterValueChangedFromMidi(&host, 0, kLevel, 3);
  EXPECT_EQ(host.synthLevelKnob()->value(), partLevel) << "the part's level is not on the knob here";

  synth().setStep(5, 0, true);
  synth().setPartParameter(5, kLevel, 12);
  mode().partChangedFromMidi(&host, 5);
  EXPECT_EQ(host.currentPart(), 5u);
  EXPECT_FALSE(stepButton(0)->isActive()) << "the steps still show the accent";
  EXPECT_EQ(parts().selected(), RadioButtonMediator::kNone);
  enter(0);
  EXPECT_EQ(host.synthLevelKnob()->value(), 12) << "leaving shows the new part's level";
}

TEST_F(NormalLayerModeTest, ALoadedPatternLeavesAccentWithEverythingEnabled) {
  enter(2);
  mode().patternChanged(&host);
  EXPECT_EQ(current(), 0);
  EXPECT_TRUE(host.synthPitchKnob()->isEnabled());
  EXPECT_TRUE(host.synthFxTypeKnob()->isEnabled());
  EXPECT_TRUE(host.lcdManager()->showsCurrentPart());
  EXPECT_EQ(host.synthLevelKnob()->value(), rec().synthParams[0].level);
}
