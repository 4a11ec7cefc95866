#include "screens/setting_screen_controller.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <string>
#include <vector>

#include "controls/ui_slider_with_text_value.h"
#include "engine/midi/packed_param_id.h"
#include "screen_test_support.h"

namespace {

using platform::Rect;
namespace CE = platform::ControlEvents;

class SettingScreenTest : public screentest::ScreenTest {
 protected:
  void open() {
    screen = std::make_shared<SettingScreenController>();
    host->presentAsPopover(screen, {420, 364});
    backend.runPass();
    window->layoutIfNeeded();
  }
  // What the main screen does with the screen's events: the engine's
  // operations and the global settings, read from the sender.
  void wire() {
    SettingScreenController& s = *screen;
    s.tempoSlider()->addTarget(this, "changeTempo:", [this](platform::Control& c) {
      log.push_back("tempo");
      const float bpm = std::clamp(static_cast<UISliderWithTextValue&>(c).valueAsFloat(), 20.0f, 600.0f);
      synth->setTempoFromUi(static_cast<int32_t>(std::lround(bpm * 10.0f)));
    }, CE::ValueChanged);
    s.swingSlider()->addTarget(this, "changeSwing:", [this](platform::Control& c) {
      log.push_back("swing");
      synth->setSwing(static_cast<UISliderWithTextValue&>(c).valueAsInt());
    }, CE::ValueChanged);
    s.lengthSlider()->addTarget(this, "changeLength:", [this](platform::Control& c) {
      log.push_back("length");
      synth->setPatternLength(static_cast<UISliderWithTextValue&>(c).valueAsInt());
    }, CE::ValueChanged);
    s.lastStepSlider()->addTarget(this, "changeLastStep:", [this](platform::Control& c) {
      log.push_back("lastStep");
      synth->setLastStep(static_cast<UISliderWithTextValue&>(c).valueAsInt());
    }, CE::ValueChanged);
    s.knobModeButton()->addTarget(this, "changeKnobMode:", [this](platform::Control& c) {
      log.push_back("knob");
      settings().set(GlobalSettings::kKnobMode, static_cast<platform::SegmentedControl&>(c).selectedSegmentIndex());
    }, CE::ValueChanged);
    s.gridModeButton()->addTarget(this, "changeGridMode:", [this](platform::Control& c) {
      log.push_back("grid");
      settings().set(GlobalSettings::kPatternChangeGrid,
                     static_cast<platform::SegmentedControl&>(c).selectedSegmentIndex());
    }, CE::ValueChanged);
    s.tempoLockSwitch()->addTarget(this, "changeTempoLock:", [this](platform::Control& c) {
      log.push_back("tempoLock");
      settings().set(GlobalSettings::kTempoLock, static_cast<platform::Switch&>(c).isOn() ? 1 : 0);
    }, CE::ValueChanged);
    s.backgroundAudioSwitch()->addTarget(this, "changeBackgroundAudioSwitch:", [this](platform::Control& c) {
      log.push_back("backgroundAudio");
      settings().set(GlobalSettings::kBackgroundAudioEnabled, static_cast<platform::Switch&>(c).isOn() ? 1 : 0);
    }, CE::ValueChanged);
  }
  void typeInto(UISliderWithTextValue& row, const std::string& text) {
    tap(*row.textField());
    ASSERT_TRUE(row.textField()->isEditing());
    backend.typeText(text);
    backend.pressReturn();
  }
  void tapSegment(platform::SegmentedControl& c, int index) {
    const Rect b = c.bounds();
    const double w = b.size.width / c.numberOfSegments();
    backend.tap(c.convertPointTo({w * index + w / 2, b.size.height / 2}, nullptr), 0.02);
  }
  static std::vector<std::string> titles(const platform::SegmentedControl& c) {
    std::vector<std::string> t;
    for (int i = 0; i < c.numberOfSegments(); ++i) t.push_back(c.titleForSegmentAtIndex(i));
    return t;
  }
  const seqParams& seq() { return synth->currentPattern()->sequencerParams; }

  std::shared_ptr<SettingScreenController> screen;
  std::vector<std::string> log;
};

TEST_F(SettingScreenTest, ShowsTheRowsOfThePage) {
  open();
  SettingScreenController& s = *screen;
  ASSERT_TRUE(s.isViewLoaded());
  const struct {
    platform::Label* label;
    const char* text;
    Rect frame;
  } labels[] = {{s.tempoLabel(), "Tempo", {20, 10, 90, 28}},
                {s.swingLabel(), "Swing", {20, 54, 90, 28}},
                {s.lengthLabel(), "Length", {20, 98, 90, 28}},
                {s.lastStepLabel(), "Last Step", {20, 142, 90, 28}},
                {s.knobModeLabel(), "Knob Gesture", {20, 186, 100, 28}},
                {s.gridModeLabel(), "Pattern Change Grid", {20, 230, 150, 28}},
                {s.tempoLockLabel(), "Tempo Lock", {20, 274, 90, 28}},
                {s.backgroundAudioLabel(), "Background Audio", {20, 318, 150, 28}}};
  for (const auto& l : labels) {
    ASSERT_NE(l.label, nullptr) << l.text;
    EXPECT_EQ(l.label->text(), l.text);
    EXPECT_EQ(l.label->frame(), l.frame) << l.text;
    // The layout's size; only "Pattern Change Grid", which our font would
    // run under the row's control, is set smaller: just small enough that
    // the whole title ends before the control.
    const double room = std::min(l.frame.maxX(), 160.0) - l.frame.minX();
    EXPECT_LE(l.label->sizeThatFits({1e6, l.frame.height()}).width, room) << l.text;
    if (std::string(l.text) != "Pattern Change Grid") {
      EXPECT_EQ(l.label->font().pointSize, 14.0) << l.text;
    } else {
      EXPECT_LT(l.label->font().pointSize, 14.0) << l.text;
      platform::Label larger(l.frame);
      larger.setText(l.text);
      larger.setFont(l.label->font().withSize(l.label->font().pointSize + 0.5));
      EXPECT_GT(larger.sizeThatFits({1e6, l.frame.height()}).width, room) << "half a point larger would not fit";
    }
    EXPECT_EQ(l.label->superview(), s.scrollView());
  }
  const struct {
    platform::View* control;
    Rect frame;
  } controls[] = {{s.tempoSlider(), {160, 4, 240, 40}},      {s.swingSlider(), {160, 48, 240, 40}},
                  {s.lengthSlider(), {160, 92, 240, 40}},    {s.lastStepSlider(), {160, 136, 240, 40}},
                  {s.knobModeButton(), {160, 186, 240, 28}}, {s.gridModeButton(), {160, 230, 240, 28}},
                  {s.tempoLockSwitch(), {160, 274, 100, 28}}, {s.backgroundAudioSwitch(), {160, 318, 100, 28}}};
  for (const auto& c : controls) {
    // Switches keep the platform's own size; their place is the frame's.
    if (dynamic_cast<platform::Switch*>(c.control)) {
      EXPECT_EQ(c.control->frame().origin, c.frame.origin);
      EXPECT_EQ(c.control->frame().size, platform::Switch::kSize);
    } else {
      EXPECT_EQ(c.control->frame(), c.frame);
    }
    EXPECT_EQ(c.control->superview(), s.scrollView());
  }
  EXPECT_EQ(s.scrollView()->contentSize(), (platform::Size{420, 364}));
  EXPECT_EQ(s.scrollView()->frame(), s.view()->bounds());
  EXPECT_EQ(titles(*s.knobModeButton()), (std::vector<std::string>{"Linear", "Rotary"}));
  EXPECT_EQ(titles(*s.gridModeButton()), (std::vector<std::string>{"Off", "2", "3", "4", "6", "8", "12", "16"}));
  EXPECT_EQ(s.supportedInterfaceOrientations(), 24u);
}

TEST_F(SettingScreenTest, AppearingShowsThePatternAndTheSettings) {
  settings().set(GlobalSettings::kKnobMode, 1);
  settings().set(GlobalSettings::kPatternChangeGrid, 7);
  settings().set(GlobalSettings::kTempoLock, 1);
  settings().set(GlobalSettings::kBackgroundAudioEnabled, 0);
  open();
  SettingScreenController& s = *screen;
  EXPECT_FLOAT_EQ(s.tempoSlider()->value(), 120.5f);
  EXPECT_EQ(s.tempoSlider()->textField()->text(), "120.5");
  EXPECT_EQ(s.swingSlider()->textField()->text(), "58");
  EXPECT_EQ(s.lengthSlider()->textField()->text(), "2");
  EXPECT_EQ(s.lastStepSlider()->textField()->text(), "12");
  EXPECT_FLOAT_EQ(s.tempoSlider()->slider()->minimumValue(), 20.0f);
  EXPECT_FLOAT_EQ(s.tempoSlider()->slider()->maximumValue(), 600.0f);
  EXPECT_FLOAT_EQ(s.swingSlider()->slider()->maximumValue(), 75.0f);
  EXPECT_FLOAT_EQ(s.swingSlider()->slider()->minimumValue(), 50.0f);
  EXPECT_FLOAT_EQ(s.lengthSlider()->slider()->maximumValue(), 4.0f);
  EXPECT_FLOAT_EQ(s.lastStepSlider()->slider()->maximumValue(), 16.0f);
  EXPECT_EQ(s.knobModeButton()->selectedSegmentIndex(), 1);
  EXPECT_EQ(s.gridModeButton()->selectedSegmentIndex(), 7);
  EXPECT_EQ(s.gridModeButton()->titleForSegmentAtIndex(7), "16");
  EXPECT_TRUE(s.tempoLockSwitch()->isOn());
  EXPECT_FALSE(s.backgroundAudioSwitch()->isOn());
  EXPECT_TRUE(s.isObserving());
  // A switch setting other than 1 counts as off.
  s.viewDidDisappear(false);
  settings().set(GlobalSettings::kPatternChangeGrid, 0);
  s.viewWillAppear(false);
  EXPECT_EQ(s.gridModeButton()->titleForSegmentAtIndex(s.gridModeButton()->selectedSegmentIndex()), "Off");
}

TEST_F(SettingScreenTest, EveryControlChangesTheEngineOrTheSettings) {
  open();
  wire();
  SettingScreenController& s = *screen;
  // Tempo typed keeps its tenth; dragging gives whole beats.
  typeInto(*s.tempoSlider(), "133.7");
  EXPECT_EQ(synth->tempo(), 1337);
  EXPECT_EQ(seq().tempo, 1337);
  typeInto(*s.swingSlider(), "66");
  EXPECT_EQ(seq().swing, 66);
  typeInto(*s.lengthSlider(), "4");
  EXPECT_EQ(seq().length, 4);
  typeInto(*s.lastStepSlider(), "7");
  EXPECT_EQ(seq().lastStep, 7);
  const int otherKnob = 1 - settings().get(GlobalSettings::kKnobMode);
  tapSegment(*s.knobModeButton(), otherKnob);
  EXPECT_EQ(settings().get(GlobalSettings::kKnobMode), otherKnob);
  tapSegment(*s.gridModeButton(), 5);
  EXPECT_EQ(settings().get(GlobalSettings::kPatternChangeGrid), 5);
  const int32_t lockBefore = settings().get(GlobalSettings::kTempoLock);
  tap(*s.tempoLockSwitch());
  EXPECT_EQ(settings().get(GlobalSettings::kTempoLock), lockBefore ? 0 : 1);
  const int32_t audioBefore = settings().get(GlobalSettings::kBackgroundAudioEnabled);
  tap(*s.backgroundAudioSwitch());
  EXPECT_EQ(settings().get(GlobalSettings::kBackgroundAudioEnabled), audioBefore ? 0 : 1);
  EXPECT_EQ(log, (std::vector<std::string>{"tempo", "swing", "length", "lastStep", "knob", "grid", "tempoLock",
                                           "backgroundAudio"}));
  // A drag on the tempo slider lands on a whole tempo.
  platform::Slider& t = *s.tempoSlider()->slider();
  const platform::Point thumb = t.convertPointTo(t.thumbRect().center(), nullptr);
  backend.drag(thumb, {thumb.x + 20, thumb.y}, 0.2, 5);
  EXPECT_EQ(synth->tempo() % 10, 0);
  EXPECT_GT(synth->tempo(), 1337);
  EXPECT_EQ(s.tempoSlider()->textField()->text(), std::to_string(synth->tempo() / 10) + ".0");
  // Out-of-range text reaches the engine as the nearest bound.
  typeInto(*s.swingSlider(), "90");
  EXPECT_EQ(seq().swing, 75);
  EXPECT_EQ(s.swingSlider()->textField()->text(), "75");
}

TEST_F(SettingScreenTest, FollowsPatternChangesButNotTheSettingsWhileShown) {
  open();
  SettingScreenController& s = *screen;
  const int knobShown = s.knobModeButton()->selectedSegmentIndex();
  const bool lockShown = s.tempoLockSwitch()->isOn();
  settings().set(GlobalSettings::kKnobMode, 1 - knobShown);
  settings().set(GlobalSettings::kTempoLock, lockShown ? 0 : 1);
  PatternRecord r = makeInitPattern();
  r.sequencerParams.tempo = 987;
  r.sequencerParams.swing = 71;
  r.sequencerParams.length = 3;
  r.sequencerParams.lastStep = 16;
  synth->setPatternRecord(&r);
  post("patternChanged");
  EXPECT_EQ(s.tempoSlider()->textField()->text(), "98.7");
  EXPECT_EQ(s.swingSlider()->textField()->text(), "71");
  EXPECT_EQ(s.lengthSlider()->textField()->text(), "3");
  EXPECT_EQ(s.lastStepSlider()->textField()->text(), "16");
  EXPECT_EQ(s.knobModeButton()->selectedSegmentIndex(), knobShown);
  EXPECT_EQ(s.tempoLockSwitch()->isOn(), lockShown);
  // Hidden, it no longer listens.
  host->dismissViewControllerAnimated(false, {});
  backend.runPass();
  EXPECT_FALSE(s.isObserving());
  r.sequencerParams.swing = 52;
  synth->setPatternRecord(&r);
  post("patternChanged");
  EXPECT_EQ(s.swingSlider()->textField()->text(), "71");
  EXPECT_EQ(platform::NotificationCenter::defaultCenter().observerCount("synthParameterChangedFromMidi"), 0u);
}

TEST_F(SettingScreenTest, MidiChangesOfTheSequenceGroupMoveTheirRow) {
  open();
  SettingScreenController& s = *screen;
  const struct {
    int64_t id;
    int64_t value;
    const char* swing;
    const char* lastStep;
    const char* length;
  } cases[] = {
      {packedParamId(kPackedGroupSequence, 1), 60, "60", "12", "2"},
      {packedParamId(kPackedGroupSequence, 2), 5, "60", "5", "2"},
      {packedParamId(kPackedGroupSequence, 3), 4, "60", "5", "4"},
      {packedParamId(kPackedGroupSequence, 0), 9, "60", "5", "4"},    // other index
      {packedParamId(kPackedGroupSequence, 4), 9, "60", "5", "4"},
      {packedParamId(kPackedGroupEffect, 1), 9, "60", "5", "4"},      // other group
      {packedParamId(3, 2), 9, "60", "5", "4"},
      {-1, 9, "60", "5", "4"},
  };
  for (const auto& c : cases) {
    post("synthParameterChangedFromMidi",
         platform::Dictionary{{"parameterId", platform::Value(c.id)}, {"value", platform::Value(c.value)}});
    EXPECT_EQ(s.swingSlider()->textField()->text(), c.swing) << c.id;
    EXPECT_EQ(s.lastStepSlider()->textField()->text(), c.lastStep) << c.id;
    EXPECT_EQ(s.lengthSlider()->textField()->text(), c.length) << c.id;
  }
}

TEST_F(SettingScreenTest, LinkSyncWidensTheTempoRangeAndShowsTheSessionTempo) {
  ASSERT_NE(link, nullptr);
  link->isEnabled = true;
  link->session.tempo = 127.96;
  open();
  SettingScreenController& s = *screen;
  EXPECT_TRUE(s.isAbletonLinkSyncOn());
  EXPECT_FLOAT_EQ(s.tempoSlider()->slider()->maximumValue(), 999.0f);
  EXPECT_EQ(s.tempoSlider()->textField()->text(), "128.0");
  link->session.tempo = 840.04;
  post("abletonLinkSyncTempoChanged");
  EXPECT_EQ(s.tempoSlider()->textField()->text(), "840.0");
  // Link off while shown: the pattern's tempo within 600 again.
  link->isEnabled = false;
  post("abletonLinkSyncEnabledDidChange");
  EXPECT_FLOAT_EQ(s.tempoSlider()->slider()->maximumValue(), 600.0f);
  EXPECT_FLOAT_EQ(s.tempoSlider()->slider()->minimumValue(), 20.0f);
  EXPECT_EQ(s.tempoSlider()->textField()->text(), "120.5");
}

TEST_F(SettingScreenTest, WithoutEngineLinkIsOffAndAPatternTempoAboveTheRangeIsPinned) {
  auto lone = std::make_shared<SettingScreenController>();
  lone->setSynth(nullptr);
  EXPECT_FALSE(lone->isAbletonLinkSyncOn());
  EXPECT_FLOAT_EQ(lone->retrieveTempoMax(), 600.0f);
  EXPECT_FLOAT_EQ(lone->retrieveTempoMin(), 20.0f);
  // A record tempo of 650 with Link off (the engine itself keeps to 600,
  // a record edited in place need not): the row shows the bound.
  open();
  synth->currentPattern()->sequencerParams.tempo = 6500;
  screen->updateSeqParameters();
  EXPECT_EQ(screen->tempoSlider()->textField()->text(), "600.0");
  EXPECT_FLOAT_EQ(screen->tempoSlider()->value(), 650.0f);
}

TEST_F(SettingScreenTest, ThePageScrollsOnlyVerticallyAndTintsSwitches) {
  open();
  SettingScreenController& s = *screen;
  s.scrollView()->setContentOffset({35, 12});
  EXPECT_EQ(s.scrollView()->contentOffset(), (platform::Point{0, 12}));
  // The page's own switches and those made after the screen was built
  // take the grey tint when off; on, they keep the switch's own colour.
  EXPECT_EQ(s.tempoLockSwitch()->tintColor(), SettingScreenController::switchTint());
  EXPECT_EQ(s.backgroundAudioSwitch()->tintColor(), SettingScreenController::switchTint());
  EXPECT_EQ(s.tempoLockSwitch()->onTintColor(), platform::Switch::defaultOnTintColor());
  host->dismissViewControllerAnimated(false, {});
  screen.reset();
  platform::Switch later;
  EXPECT_EQ(later.tintColor(), SettingScreenController::switchTint());
  EXPECT_EQ(later.onTintColor(), platform::Switch::defaultOnTintColor());
}

}  // namespace
