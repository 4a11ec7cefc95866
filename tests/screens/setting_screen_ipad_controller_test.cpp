#include "screens/setting_screen_ipad_controller.h"

#include <gtest/gtest.h>

#include "controls/ui_slider_with_text_value.h"
#include "engine/midi/packed_param_id.h"
#include "screen_test_support.h"

namespace {

class TabletSettingsTest : public screentest::ScreenTest {
 protected:
  // The screen with its layout's outlets filled, shown as a popover.
  void open(bool outlets = true) {
    screen = std::make_shared<SettingScreenIpadController>();
    if (outlets) {
      screen->setKnobModeButton(std::make_shared<platform::SegmentedControl>());
      screen->setGridModeButton(std::make_shared<platform::SegmentedControl>());
      screen->setShowTipsSwitch(std::make_shared<platform::Switch>());
      screen->setSoundPreviewSwitch(std::make_shared<platform::Switch>());
      screen->setQuilla2NativeModeSwitch(std::make_shared<platform::Switch>());
      screen->setBackgroundAudioSwitch(std::make_shared<platform::Switch>());
    }
    host->presentAsPopover(screen, {100, 100});
    backend.runPass();
  }
  std::shared_ptr<SettingScreenIpadController> screen;
};

TEST_F(TabletSettingsTest, SizesAndSliderRows) {
  open();
  SettingScreenIpadController& s = *screen;
  EXPECT_EQ(s.preferredContentSize(), (platform::Size{380, 612}));
  EXPECT_EQ(s.contentSizeForViewInPopover(), (platform::Size{360, 600}));
  const struct {
    UISliderWithTextValue* row;
    double y;
    float max, min;
    const char* text;
  } rows[] = {{s.tempoSlider(), 66, 600, 20, "120.5"},
              {s.swingSlider(), 110, 75, 50, "58"},
              {s.lengthSlider(), 155, 4, 1, "2"},
              {s.lastStepSlider(), 199, 16, 1, "12"}};
  for (const auto& r : rows) {
    EXPECT_EQ(r.row->frame(), (platform::Rect{215 - 142.5, r.y - 20, 285, 40}));
    EXPECT_EQ(r.row->superview(), s.view());
    EXPECT_FLOAT_EQ(r.row->slider()->maximumValue(), r.max);
    EXPECT_FLOAT_EQ(r.row->slider()->minimumValue(), r.min);
    EXPECT_EQ(r.row->textField()->text(), r.text);
  }
}

TEST_F(TabletSettingsTest, SwitchesAreOnForAnySettingOtherThanZero) {
  settings().set(GlobalSettings::kShowTips, 1);
  settings().set(GlobalSettings::kPreviewSounds, 0);
  settings().set(GlobalSettings::kNativeMode, 1);
  settings().set(GlobalSettings::kBackgroundAudioEnabled, 1);
  settings().set(GlobalSettings::kKnobMode, 1);
  settings().set(GlobalSettings::kPatternChangeGrid, 3);
  open();
  SettingScreenIpadController& s = *screen;
  EXPECT_TRUE(s.showTipsSwitch()->isOn());
  EXPECT_FALSE(s.soundPreviewSwitch()->isOn());
  EXPECT_TRUE(s.Quilla2NativeModeSwitch()->isOn());
  EXPECT_TRUE(s.backgroundAudioSwitch()->isOn());
  EXPECT_EQ(s.knobModeButton()->numberOfSegments(), 2);
  EXPECT_EQ(s.knobModeButton()->selectedSegmentIndex(), 1);
  EXPECT_EQ(s.gridModeButton()->numberOfSegments(), 8);
  EXPECT_EQ(s.gridModeButton()->titleForSegmentAtIndex(s.gridModeButton()->selectedSegmentIndex()), "4");
}

TEST_F(TabletSettingsTest, OnlyTheSlidersFollowChangesWhileShown) {
  open();
  SettingScreenIpadController& s = *screen;
  settings().set(GlobalSettings::kKnobMode, 1 - s.knobModeButton()->selectedSegmentIndex());
  const int knob = s.knobModeButton()->selectedSegmentIndex();
  PatternRecord r = makeInitPattern();
  r.sequencerParams.tempo = 900;
  r.sequencerParams.swing = 73;
  r.sequencerParams.length = 4;
  r.sequencerParams.lastStep = 3;
  synth->setPatternRecord(&r);
  post("patternChanged");
  EXPECT_EQ(s.tempoSlider()->textField()->text(), "90.0");
  EXPECT_EQ(s.swingSlider()->textField()->text(), "73");
  EXPECT_EQ(s.lengthSlider()->textField()->text(), "4");
  EXPECT_EQ(s.lastStepSlider()->textField()->text(), "3");
  EXPECT_EQ(s.knobModeButton()->selectedSegmentIndex(), knob);
  post("synthParameterChangedFromMidi", platform::Dictionary{{"parameterId", platform::Value(int64_t{packedParamId(kPackedGroupSequence, 2)})},
                                                             {"value", platform::Value(int64_t{8})}});
  EXPECT_EQ(s.lastStepSlider()->textField()->text(), "8");
  EXPECT_EQ(s.lengthSlider()->textField()->text(), "4");
  // A Link tempo above 600 still leaves the row at its bound.
  synth->currentPattern()->sequencerParams.tempo = 8000;
  s.updateSeqParameters();
  EXPECT_EQ(s.tempoSlider()->textField()->text(), "600.0");
  host->dismissViewControllerAnimated(false, {});
  backend.runPass();
  EXPECT_FALSE(s.isObserving());
}

TEST_F(TabletSettingsTest, WithoutItsLayoutOnlyTheSlidersExist) {
  open(false);
  EXPECT_NE(screen->tempoSlider(), nullptr);
  EXPECT_EQ(screen->knobModeButton(), nullptr);
  EXPECT_EQ(screen->showTipsSwitch(), nullptr);
  screen->viewDidUnload();
  EXPECT_EQ(screen->tempoSlider(), nullptr);
  screen->updateSeqParameters();  // nothing left to fill
}

}  // namespace
