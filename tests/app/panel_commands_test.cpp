// The panel's own commands on the running program: the Rec state in the
// engine, step jump in and out of the function modes and solo, the global
// settings switches on the LCD, page changes and the play-position hook,
// program steps at the library's ends, factory reset and reload, and the
// pad's purge notification.

#include <gtest/gtest.h>

#include "app/headless_app.h"
#include "controls/lcd_manager.h"
#include "controls/radio_button_mediator.h"
#include "controls/ti_button.h"
#include "controls/ti_led_view.h"
#include "controls/ti_seq_view.h"
#include "controls/ui_lcd_view.h"
#include "engine/settings/global_settings.h"
#include "library/pattern_store.h"
#include "platform/ui/button.h"

namespace CE = platform::ControlEvents;

namespace {

class PanelCommandsTest : public HeadlessAppTest {
 protected:
  std::string lcdTitle() { return ctl()->lcdView()->title(); }
  std::string lcdValue() { return ctl()->lcdView()->value(); }
  DataProvider& store() { return *synth()->dataProvider(); }
  void loadPattern(int32_t n) {
    ctl()->changePattern(n);
    ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == n; }, 30.0));
    pump(0.05);
  }
};

}  // namespace

TEST_F(PanelCommandsTest, RecStateIsTheEnginesArmedAndSequencerFlagAtOnce) {
  start();
  Z31647ViewController& c = *ctl();
  ASSERT_FALSE(synth()->isRecordArmed());
  c.setRecording(1);
  EXPECT_EQ(c.recording(), 1u);
  EXPECT_TRUE(c.lcdManager()->isRecording());
  EXPECT_TRUE(synth()->isRecordArmed());
  EXPECT_TRUE(synth()->isRecording()) << "written directly, not through a sequencer command";
  EXPECT_TRUE(c.recordArmed());
  c.setRecording(0);
  EXPECT_FALSE(c.lcdManager()->isRecording());
  EXPECT_FALSE(synth()->isRecordArmed());
  EXPECT_FALSE(synth()->isRecording());
  // Without an engine only the panel's flag and the LCD sign change.
  auto bare = std::make_shared<Z31647ViewController>();
  bare->view();
  bare->setRecording(1);
  EXPECT_EQ(bare->recording(), 1u);
  EXPECT_TRUE(bare->lcdManager()->isRecording());
  EXPECT_FALSE(bare->recordArmed());
  EXPECT_FALSE(synth()->isRecordArmed());
}

TEST_F(PanelCommandsTest, StepJumpLeavesFunctionModesAndSoloAndReturnsToNormal) {
  start();
  Z31647ViewController& c = *ctl();
  TIButton& jump = *c.stepJumpButton();
  const platform::Point mute = centre(23, 152, 62.5, 48);
  const platform::Point solo = centre(96, 152, 62.5, 48);
  struct Case {
    platform::Point function;  // {-1, -1}: none
    bool withSolo;
  };
  for (const Case& k : {Case{mute, false}, Case{{-1, -1}, true}, Case{mute, true}}) {
    if (k.withSolo) {
      tap(solo);
      ASSERT_TRUE(synth()->soloMode());
      ASSERT_EQ(c.soloButton()->buttonState(), 1);
    }
    RadioButtonMediator& functions = *c.utilButtonMediator();
    // The mute function is key 2 of the group; in force, its key is the
    // group's selection and its button shows the possibility look.
    ASSERT_NE(functions.button(2), nullptr);
    TIButton& muteKey = *functions.button(2);
    if (k.function.x >= 0) {
      tap(k.function);
      ASSERT_EQ(c.stateMediator().currentStateIndex(), ui_state::kMute);
      ASSERT_EQ(functions.selected(), 2u);
      ASSERT_EQ(muteKey.buttonPossibilityState(), 1);
    }
    jump.sendActionsForControlEvents(CE::TouchUpInside);
    EXPECT_EQ(c.stateMediator().currentStateIndex(), ui_state::kStepJump);
    EXPECT_EQ(jump.buttonState(), 1);
    EXPECT_EQ(functions.selected(), RadioButtonMediator::kNone) << "the mute function is left";
    EXPECT_EQ(muteKey.buttonPossibilityState(), 0) << "the mute function is left";
    EXPECT_FALSE(synth()->soloMode());
    EXPECT_EQ(c.soloButton()->buttonState(), 0);
    // Pressed again: back to normal.
    jump.sendActionsForControlEvents(CE::TouchUpInside);
    EXPECT_EQ(c.stateMediator().currentStateIndex(), ui_state::kNormal);
    EXPECT_EQ(jump.buttonState(), 0);
  }
}

TEST_F(PanelCommandsTest, GlobalSettingSwitchesStoreAndShowTheirTexts) {
  start();
  Z31647ViewController& c = *ctl();
  GlobalSettings& g = *globalSettings();
  struct Case {
    std::function<void()> act;
    int index;
    int32_t stored;
    const char* title;
    const char* value;
  };
  const Case cases[] = {
      {[&] { c.changeKnobMode(1); }, GlobalSettings::kKnobMode, 1, "Knob Mode", "Rotary"},
      {[&] { c.changeKnobMode(0); }, GlobalSettings::kKnobMode, 0, "Knob Mode", "Linear"},
      {[&] { c.changeGridMode(7); }, GlobalSettings::kPatternChangeGrid, 7, "Pattern Change Grid", "16"},
      {[&] { c.changeGridMode(2); }, GlobalSettings::kPatternChangeGrid, 2, "Pattern Change Grid", "3"},
      {[&] { c.changeGridMode(12); }, GlobalSettings::kPatternChangeGrid, 7, "Pattern Change Grid", "16"},
      {[&] { c.changeTempoLock(true); }, GlobalSettings::kTempoLock, 1, "Tempo Lock", "On"},
      {[&] { c.changeTempoLock(false); }, GlobalSettings::kTempoLock, 0, "Tempo Lock", "Off"},
  };
  for (const Case& k : cases) {
    k.act();
    EXPECT_EQ(g.get(k.index), k.stored) << k.title;
    EXPECT_EQ(lcdTitle(), k.title);
    EXPECT_EQ(lcdValue(), k.value);
    EXPECT_EQ(c.lcdManager()->currentMessageType(), kLCDMessageValue);
  }
  // The background-audio switch is stored and shows nothing.
  c.changeKnobMode(1);
  for (bool on : {true, false}) {
    c.changeBackgroundAudioSwitch(on);
    EXPECT_EQ(g.get(GlobalSettings::kBackgroundAudioEnabled), on ? 1 : 0);
    EXPECT_EQ(lcdTitle(), "Knob Mode");
    EXPECT_EQ(lcdValue(), "Rotary");
  }
}

TEST_F(PanelCommandsTest, PageChangeLightsItsLampAndTheStepHookWaitsForPlay) {
  start();
  Z31647ViewController& c = *ctl();
  const PatternRecord& r = *synth()->currentPattern();
  TISeqView& seq = *c.seqView();
  for (int page : {2, 1, 3}) {
    seq.setCurrentPage(page);
    seq.sendActionsForControlEvents(CE::ValueChanged);
    EXPECT_EQ(c.currentSeqPage(), static_cast<uint32_t>(page));
    EXPECT_EQ(c.ledMediatorCurrent()->lightOn(), static_cast<uint64_t>(page));
    EXPECT_EQ(c.positionLed(page)->ledState(), 2) << "red";
    for (int slot = 0; slot < 16; ++slot) {
      EXPECT_EQ(seq.getButton(page * 16 + slot)->isActive(), r.sequencerParams.trigger[0][page * 16 + slot] != 0);
    }
  }
  // Stopped: the step hook leaves even the page lamps alone.
  ASSERT_FALSE(synth()->isPlaying());
  c.ledMediatorSeq()->setLed(3, 1);
  c.stepChanged();
  EXPECT_EQ(c.ledMediatorSeq()->lightOn(), 3u);
  EXPECT_EQ(c.seqLed(3)->ledState(), 1);
}

TEST_F(PanelCommandsTest, ProgramPlusOnTheLastPatternDoesNothingAndWhilePlayingKeepsPlaying) {
  start();
  Z31647ViewController& c = *ctl();
  const int32_t last = store().numberOfPatterns() - 1;
  loadPattern(last);
  c.programButtonPushed(c.programIncButton());
  pump(0.2);
  EXPECT_EQ(synth()->pendingPattern(), last);
  EXPECT_EQ(synth()->currentPatternIndex(), last);
  // Another sender does nothing.
  c.programButtonPushed(c.saveButton());
  pump(0.05);
  EXPECT_EQ(synth()->pendingPattern(), last);
  // While playing, program - asks for the previous pattern and the
  // transport runs on.
  c.play(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }, 30.0));
  c.programButtonPushed(c.programDecButton());
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == last - 1; }, 30.0));
  EXPECT_TRUE(synth()->isPlaying());
  c.stopButtonDown(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }, 30.0));
}

TEST_F(PanelCommandsTest, FactoryResetReloadsPatternZeroInPlaceOrChangesToIt) {
  start();
  Z31647ViewController& c = *ctl();
  Z31647PatternStore& s = Z31647PatternStore::getInstance();
  // Pattern 0 current and edited, the library's pattern 0 changed too.
  const PatternRecord factory0 = s.patternAt(0);
  PatternRecord changed = factory0;
  changed.sequencerParams.trigger[3][9] = factory0.sequencerParams.trigger[3][9] ? 0 : 1;
  ASSERT_TRUE(s.storePattern(changed, 0));
  ASSERT_TRUE(pumpUntil([&] { return synth()->step(3, 9) == (changed.sequencerParams.trigger[3][9] != 0); }, 30.0));
  c.play(nullptr);
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }, 30.0));
  c.initializeAllPattern();
  EXPECT_TRUE(s.patternAt(0) == factory0) << "the factory library is back";
  ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }, 30.0)) << "the transport stops first";
  ASSERT_TRUE(pumpUntil([&] { return synth()->step(3, 9) == (factory0.sequencerParams.trigger[3][9] != 0); }, 30.0))
      << "pattern 0 reloaded in place";
  EXPECT_EQ(synth()->currentPatternIndex(), 0);
  // Another pattern current: the reset changes to pattern 0.
  loadPattern(4);
  c.initializeAllPattern();
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == 0; }, 30.0));
  for (int part = 0; part < 8; ++part) {
    for (int st = 0; st < 64; ++st) {
      EXPECT_EQ(synth()->step(part, st), factory0.sequencerParams.trigger[part][st] != 0) << part << " " << st;
    }
  }
}

TEST_F(PanelCommandsTest, ThePadsPurgeRedrawsTheStepsFromTheEngine) {
  start();
  Z31647ViewController& c = *ctl();
  // The engine changes under the panel (as the pad does).
  const bool on = !synth()->step(0, 6);
  synth()->setStep(0, 6, on);
  ASSERT_NE(c.seqView()->getButton(6)->isActive(), on);
  platform::NotificationCenter::defaultCenter().post("RibbonInterfaceRandomizePurged");
  EXPECT_EQ(c.seqView()->getButton(6)->isActive(), on);
}
