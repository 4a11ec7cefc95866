// The Clear motion mode: which controls are offered, the confirmation, what
// OK clears (and that it is what was touched), and leaving the mode.

#include <functional>

#include "controls/gbx_localized_message.h"
#include "modes/function_mode_fixture.h"
#include "modes/z31647_ui_state_motion_clear.h"

namespace {

constexpr ParamId kPart1Pitch = 1 * 16 + kPitch;
constexpr ParamId kPart1Decay = 1 * 16 + kDecay;
constexpr ParamId kPart1Wave = 1 * 16 + kWave;

class MotionClearTest : public FunctionModeTest {
 protected:
  void SetUp() override {
    FunctionModeTest::SetUp();
    for (ParamId id : {kPart1Pitch, kPart1Decay, kPart1Wave, kParamEffectEdit1, kParamAccentLevel})
      synth().setMotionStep(id, 4, 1, 1);
    synth().setCurrentPart(0);
    enter(ui_state::kMotionClear);
  }
  Z31647UiStateMotionClear& mode() { return modeAs<Z31647UiStateMotionClear>(); }
  TIControl* synthControl(int32_t index) { return host.getSynthParamController(index); }
  bool inUse(ParamId id) { return rec().motionParams[id].motionId >= 0; }
  std::vector<int32_t> enabledSynthControls() {
    std::vector<int32_t> out;
    for (int32_t n = 0; n <= 8; ++n)
      if (synthControl(n)->isEnabled()) out.push_back(n);
    return out;
  }
};

}  // namespace

TEST_F(MotionClearTest, OnlyParametersWithMotionAreOffered) {
  EXPECT_EQ(parts().selected(), 0u);
  EXPECT_EQ(enabledSynthControls(), std::vector<int32_t>{}) << "part 0 has no motion";
  EXPECT_FALSE(host.synthMotionSeqButton()->isEnabled());
  EXPECT_TRUE(host.getEffectParamController(1)->isEnabled());
  EXPECT_FALSE(host.getEffectParamController(0)->isEnabled());
  for (int64_t k : {0, 5, 10, 11}) EXPECT_TRUE(part(k).readyToBlink()) << k;

  mode().partButtonPushed(&host, 1);
  EXPECT_EQ(host.currentPart(), 1u);
  EXPECT_EQ(parts().selected(), 1u);
  EXPECT_EQ(enabledSynthControls(), (std::vector<int32_t>{kPitch, kWave, kDecay}));
  EXPECT_FALSE(host.synthMotionSeqButton()->isEnabled());

  // The effect and accent keys leave the current part as it is.
  mode().partButtonPushed(&host, 10);
  EXPECT_EQ(host.currentPart(), 1u);
  EXPECT_EQ(enabledSynthControls(), std::vector<int32_t>{});
  EXPECT_TRUE(host.getEffectParamController(1)->isEnabled()) << "effect motion stays offered";
  mode().partButtonPushed(&host, 11);
  EXPECT_EQ(host.currentPart(), 1u);
  EXPECT_EQ(enabledSynthControls(), std::vector<int32_t>{kLevel});
  // Pressing the selected key again changes nothing.
  mode().partButtonPushed(&host, 11);
  EXPECT_EQ(parts().selected(), 11u);
}

TEST_F(MotionClearTest, OkClearsTheTouchedParameterAndCancelClearsNothing) {
  mode().partButtonPushed(&host, 1);
  TIControl* pitch = host.synthPitchKnob();
  mode().valueEditAboutToStart(&host, pitch);
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertTitle(), "CLEAR MOTION");
  EXPECT_EQ(backend.alertMessage(), GBXLocalizedMessage::getText(12));
  EXPECT_TRUE(pitch->isSelected());
  EXPECT_TRUE(mode().alertViewAppeared());
  ASSERT_TRUE(backend.answerAlert(kCancel));
  EXPECT_TRUE(inUse(kPart1Pitch));
  EXPECT_FALSE(pitch->isSelected());
  EXPECT_TRUE(pitch->isEnabled());

  mode().valueEditAboutToStart(&host, pitch);
  ASSERT_TRUE(backend.answerAlert(kOk));
  // The finger comes up after the answer: no motion-recording sign was lit,
  // so none is taken away.
  mode().valueEditFinished(&host, pitch);
  EXPECT_EQ(host.lcdManager()->motionRecordingCount(), 0);
  EXPECT_TRUE(host.readyForDefault);
  EXPECT_FALSE(inUse(kPart1Pitch));
  EXPECT_FALSE(synth().hasMotion(kPart1Pitch));
  EXPECT_FALSE(pitch->isEnabled()) << "no longer offered";
  EXPECT_TRUE(inUse(kPart1Decay)) << "other parameters stay";
  EXPECT_EQ(enabledSynthControls(), (std::vector<int32_t>{kWave, kDecay}));
  EXPECT_EQ(current(), ui_state::kMotionClear);
}

TEST_F(MotionClearTest, AMultiStateButtonAsksAndShowsTheEnginesValueAfterCancel) {
  mode().partButtonPushed(&host, 1);
  UIMultipleStateButton* wave = host.synthWaveButton();
  const int64_t stored = rec().synthParams[1].waveform;
  // The button has stepped its own value at the touch.
  wave->setValue((stored + 1) % 4);
  mode().synthParameterValueChanged(&host, wave);
  ASSERT_TRUE(backend.alertVisible());
  // A second report of the same touch does not ask again.
  mode().valueEditAboutToStart(&host, wave);
  ASSERT_TRUE(backend.answerAlert(kCancel));
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_EQ(wave->value(), stored);
  EXPECT_EQ(rec().synthParams[1].waveform, stored);
  EXPECT_TRUE(inUse(kPart1Wave));
  // Other synth value changes are ignored.
  host.synthDecayKnob()->setValue(3);
  const int32_t decay = rec().synthParams[1].decay;
  mode().synthParameterValueChanged(&host, host.synthDecayKnob());
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_EQ(rec().synthParams[1].decay, decay);
}

TEST_F(MotionClearTest, WithTheAccentKeyOkClearsWhatWasTouchedEvenAfterARedraw) {
  struct Case {
    const char* name;
    std::function<TIControl*()> touch;
    ParamId cleared;
  };
  const Case cases[] = {
      {"level knob", [&] { return static_cast<TIControl*>(host.synthLevelKnob()); }, kParamAccentLevel},
      {"effect knob", [&] { return static_cast<TIControl*>(host.getEffectParamController(1)); }, kParamEffectEdit1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mode().partButtonPushed(&host, 11);
    mode().valueEditAboutToStart(&host, c.touch());
    ASSERT_TRUE(backend.alertVisible());
    EXPECT_EQ(mode().pendingParameter(), c.cleared);
    // A redraw and a MIDI part change while the question is up.
    host.refreshPartView();
    mode().partChangedFromMidi(&host, 3);
    EXPECT_EQ(parts().selected(), 11u);
    EXPECT_EQ(host.currentPart(), 0u);
    ASSERT_TRUE(backend.answerAlert(kOk));
    EXPECT_FALSE(inUse(c.cleared));
    EXPECT_TRUE(inUse(kPart1Pitch));
  }
  EXPECT_FALSE(synth().hasMotion(kParamAccentLevel));
  EXPECT_EQ(enabledSynthControls(), std::vector<int32_t>{});
}

TEST_F(MotionClearTest, AControlWithoutMotionAndTheMasterKnobDoNotAsk) {
  mode().valueEditAboutToStart(&host, host.synthPitchKnob());
  EXPECT_FALSE(backend.alertVisible());
  host.masterVolumeKnob()->setValue(90);
  mode().valueEditAboutToStart(&host, host.masterVolumeKnob());
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_EQ(synth().masterParameter(0), 90) << "the master knob keeps its meaning";
}

TEST_F(MotionClearTest, LeavingEnablesEverythingAndSelectsTheCurrentPart) {
  mode().partButtonPushed(&host, 1);
  mode().partButtonPushed(&host, 11);
  mode().valueEditAboutToStart(&host, host.synthLevelKnob());
  ASSERT_TRUE(backend.alertVisible());
  enter(ui_state::kShifted);
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_TRUE(synth().hasMotion(kParamAccentLevel)) << "the open question cleared nothing";
  for (int32_t n = 0; n <= 8; ++n) {
    EXPECT_TRUE(synthControl(n)->isEnabled()) << n;
    EXPECT_FALSE(synthControl(n)->isSelected()) << n;
  }
  for (int32_t n = 0; n <= 2; ++n) EXPECT_TRUE(host.getEffectParamController(n)->isEnabled()) << n;
  EXPECT_TRUE(host.synthMotionSeqButton()->isEnabled());
  EXPECT_EQ(parts().selected(), 1u);
  EXPECT_EQ(parts().button(11), nullptr);
  EXPECT_EQ(host.accentButton()->tag(), 0);
  EXPECT_FALSE(part(1).readyToBlink());
}
