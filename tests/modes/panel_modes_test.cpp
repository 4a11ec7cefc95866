// The function modes of the normal layer through the program's own panel on
// the headless back end: the function buttons enter the modes, and touches
// on the part and step buttons change the engine's record and the lamps as
// each mode says. Also the function buttons' faces in each layer.

#include <gtest/gtest.h>

#include "app/headless_app.h"
#include "controls/image_manager.h"
#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_slider_button.h"
#include "engine/record/param_id.h"

namespace {

class PanelModesTest : public HeadlessAppTest {
 protected:
  static platform::Point muteButton() { return centre(23, 152, 62.5, 48); }
  static platform::Point effectButton() { return centre(168, 152, 62.5, 48); }
  static platform::Point accentButton() { return centre(217.5, 277.5, 61.5, 24); }
  static platform::Point shiftButton() { return centre(95.5, 125, 62.5, 24); }

  UiStateIndex mode() { return ctl()->stateMediator().currentStateIndex(); }
  RadioButtonMediator& parts() { return *ctl()->partButtonMediator(); }
  const PatternRecord& rec() { return *synth()->currentPattern(); }
};

}  // namespace

TEST_F(PanelModesTest, MuteButtonTurnsThePartButtonsIntoMuteSwitches) {
  start();
  ASSERT_EQ(rec().synthParams[3].mute, 0);
  tap(muteButton());
  ASSERT_EQ(mode(), 1);
  EXPECT_TRUE(parts().isButtonActive(3)) << "a sounding part is lit";
  tap(partButton(3));
  EXPECT_EQ(rec().synthParams[3].mute, 1);
  EXPECT_FALSE(parts().isButtonActive(3));
  EXPECT_EQ(ctl()->currentPart(), 0u) << "a press does not select";
  tap(partButton(3));
  EXPECT_EQ(rec().synthParams[3].mute, 0);
  EXPECT_TRUE(parts().isButtonActive(3));
  tap(partButton(3));
  // The mute button again: Normal, where the muted part is dimmed.
  tap(muteButton());
  ASSERT_EQ(mode(), 0);
  EXPECT_TRUE(parts().button(3)->dim());
  EXPECT_FALSE(parts().button(2)->dim());
}

TEST_F(PanelModesTest, EffectButtonTurnsStepsIntoTheEffectSwitchAndPartsIntoSends) {
  start();
  tap(effectButton());
  ASSERT_EQ(mode(), 3);
  bool trigger = false;
  int32_t value = 0;
  ASSERT_TRUE(synth()->motionStep(kParamEffectOnOff, 5, &trigger, &value, nullptr));
  const int32_t before = value;
  const bool triggersBefore = synth()->step(0, 5);
  tap(stepButton(5));
  ASSERT_TRUE(synth()->motionStep(kParamEffectOnOff, 5, &trigger, &value, nullptr));
  EXPECT_TRUE(trigger);
  EXPECT_EQ(value, before != 0 ? 0 : 1);
  EXPECT_EQ(ctl()->seqView()->getButton(5)->isActive(), value != 0);
  EXPECT_EQ(synth()->step(0, 5), triggersBefore) << "the part's triggers are untouched";
  const int32_t send = rec().synthParams[2].fxSend;
  tap(partButton(2));
  EXPECT_EQ(rec().synthParams[2].fxSend, send != 0 ? 0 : 1);
  EXPECT_EQ(parts().isButtonActive(2), send == 0);
  EXPECT_EQ(ctl()->currentPart(), 0u);
}

TEST_F(PanelModesTest, AccentButtonTakesTheKnobsAndGivesThemBack) {
  start();
  tap(accentButton());
  ASSERT_EQ(mode(), 2);
  EXPECT_FALSE(ctl()->synthPitchKnob()->isEnabled());
  EXPECT_FALSE(ctl()->synthFxTypeKnob()->isEnabled());
  EXPECT_TRUE(ctl()->synthLevelKnob()->isEnabled());
  EXPECT_EQ(ctl()->synthLevelKnob()->value(), rec().sequencerParams.accentLevel);
  EXPECT_FALSE(ctl()->lcdManager()->showsCurrentPart());
  const bool accent = synth()->accentStep(4);
  tap(stepButton(4));
  EXPECT_EQ(synth()->accentStep(4), !accent);
  const int32_t status = rec().synthParams[1].accentStatus;
  tap(partButton(1));
  EXPECT_EQ(rec().synthParams[1].accentStatus, status != 0 ? 0 : 1);
  tap(accentButton());
  ASSERT_EQ(mode(), 0);
  EXPECT_TRUE(ctl()->synthPitchKnob()->isEnabled());
  EXPECT_TRUE(ctl()->synthFxTypeKnob()->isEnabled());
  EXPECT_EQ(ctl()->synthLevelKnob()->value(), rec().synthParams[0].level);
  EXPECT_TRUE(ctl()->lcdManager()->showsCurrentPart());
}

TEST_F(PanelModesTest, TheShiftButtonSwapsTheFunctionButtonsFaces) {
  start();
  ImageManager* images = ctl()->imageManager();
  ASSERT_NE(images, nullptr);
  ASSERT_NE(images->uiimage(327), nullptr);
  TIButton* mute = ctl()->muteButton();
  tap(shiftButton());
  ASSERT_EQ(mode(), 6);
  EXPECT_EQ(mute->imageNormal(), images->uiimage(327));
  EXPECT_EQ(ctl()->soloButton()->imageNormal(), images->uiimage(324));
  EXPECT_EQ(ctl()->effectSendButton()->imageNormal(), images->uiimage(333));
  EXPECT_EQ(ctl()->patternSetButton()->imageNormal(), images->uiimage(330));
  tap(shiftButton());
  ASSERT_EQ(mode(), 0);
  EXPECT_EQ(mute->imageNormal(), images->uiimage(33));
  EXPECT_EQ(ctl()->soloButton()->imageNormal(), images->uiimage(36));
  EXPECT_EQ(ctl()->effectSendButton()->imageNormal(), images->uiimage(345));
}
