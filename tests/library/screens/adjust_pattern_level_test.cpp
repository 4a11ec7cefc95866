// The pattern level dialog: what each slider position does to the engine's
// record, and that Cancel puts the record back byte for byte.

#include "library/screens/adjust_pattern_level_view_controller.h"

#include <cstring>

#include "screens_fixture.h"

using namespace platform;

namespace {

class LevelTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    selectPattern(0);
    PatternRecord r = *synth->currentPattern();
    const int32_t levels[8] = {100, 99, 1, 127, 0, 64, 50, 120};
    for (int p = 0; p < 8; ++p) r.synthParams[p].level = levels[p];
    // Part 1's level motion is on, part 2's is off, both with values.
    for (int s = 0; s < 64; ++s) {
      r.motionParams[22].value[s] = static_cast<int16_t>(s * 2);
      r.motionParams[38].value[s] = static_cast<int16_t>(100);
    }
    r.motionParams[22].enabled = 1;
    r.motionParams[38].enabled = 0;
    r.sequencerParams.accentLevel = 90;
    synth->setPatternRecord(&r);
    before = *synth->currentPattern();
    root = std::make_shared<ViewController>();
    window->setRootViewController(root);
    dialog = std::make_shared<AdjustPatternLevelViewController>(synth);
    root->presentViewController(dialog, false, nullptr);
    hb.runPass();
  }
  const PatternRecord& rec() { return *synth->currentPattern(); }
  void slide(float value) {
    dialog->levelSlider()->setValue(value);
    dialog->levelSlider()->sendActionsForControlEvents(ControlEvents::ValueChanged);
  }

  PatternRecord before = PatternRecord::zeroed();
  std::shared_ptr<ViewController> root;
  std::shared_ptr<AdjustPatternLevelViewController> dialog;
};

TEST_F(LevelTest, SliderStartsAtOneHundredBetweenFiveAndThreeHundred) {
  Slider* s = dialog->levelSlider();
  ASSERT_NE(s, nullptr);
  EXPECT_FLOAT_EQ(s->value(), 100);
  EXPECT_FLOAT_EQ(s->minimumValue(), 5);
  EXPECT_FLOAT_EQ(s->maximumValue(), 300);
  EXPECT_EQ(dialog->okButton()->frame().minX(), dialog->view()->bounds().size.width - 110);
  EXPECT_EQ(dialog->cancelButton()->frame().minY(), 100);
  EXPECT_EQ(dialog->resetButton()->frame().minY(), 200);
}

TEST_F(LevelTest, LevelsScaleTruncatedAndLimited) {
  struct Case {
    float slider;
    std::vector<int32_t> levels;
  };
  const std::vector<Case> cases = {
      {50, {50, 49, 0, 63, 0, 32, 25, 60}},
      {300, {127, 127, 3, 127, 0, 127, 127, 127}},
      {5, {5, 4, 0, 6, 0, 3, 2, 6}},
      {150.9f, {127, 127, 1, 127, 0, 96, 75, 127}},
  };
  for (const Case& c : cases) {
    slide(c.slider);
    for (int p = 0; p < 8; ++p) EXPECT_EQ(rec().synthParams[p].level, c.levels[p]) << c.slider << " part " << p;
  }
}

TEST_F(LevelTest, OnlyEnabledLevelMotionScalesAndNothingElseChanges) {
  slide(50);
  for (int s = 0; s < 64; ++s) {
    EXPECT_EQ(rec().motionParams[22].value[s], s) << "2s at 50 %";
    EXPECT_EQ(rec().motionParams[38].value[s], 100) << "disabled motion kept";
  }
  slide(300);
  EXPECT_EQ(rec().motionParams[22].value[10], 60);
  EXPECT_EQ(rec().motionParams[22].value[63], 127);
  EXPECT_EQ(rec().sequencerParams.accentLevel, 90);
  PatternRecord expected = before;
  for (int p = 0; p < 8; ++p) expected.synthParams[p].level = rec().synthParams[p].level;
  std::memcpy(expected.motionParams[22].value, rec().motionParams[22].value, sizeof expected.motionParams[22].value);
  EXPECT_EQ(std::memcmp(&expected, &rec(), sizeof expected), 0) << "only levels and enabled level motion";
}

TEST_F(LevelTest, MovesStartFromTheBackupAndCancelRestoresByteForByte) {
  slide(300);
  slide(100);
  for (int p = 0; p < 8; ++p) EXPECT_EQ(rec().synthParams[p].level, before.synthParams[p].level) << p;
  slide(20);
  slide(260);
  dialog->processCanceled();
  hb.runPass();
  EXPECT_EQ(std::memcmp(&before, &rec(), sizeof before), 0);
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(LevelTest, OkKeepsTheResultAndResetReturnsToOneHundred) {
  slide(50);
  dialog->resetSliderValue();
  EXPECT_FLOAT_EQ(dialog->levelSlider()->value(), 100);
  EXPECT_EQ(rec().synthParams[0].level, 100);
  slide(50);
  const Point ok = dialog->okButton()->convertPointTo({40, 20}, nullptr);
  hb.touchDown(ok);
  hb.touchUp(ok);
  hb.advance(0.5);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(rec().synthParams[0].level, 50) << "OK keeps the adjusted record";
  EXPECT_EQ(store->patternAt(0).synthParams[0].level, 100) << "nothing is stored";
}

}  // namespace
