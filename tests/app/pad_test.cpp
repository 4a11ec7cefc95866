// The XY pad on the running program: its mapping of positions to the
// randomizer's amount and step size, live randomizing from the touch-down
// copy, the byte-for-byte put-back on release, Hold, a pattern change in
// the middle of a gesture, and showing and hiding it from the panel.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app/gq_flurry.h"
#include "app/headless_app.h"
#include "app/ribbon_interface_controller.h"
#include "controls/ti_button.h"
#include "controls/ti_seq_view.h"
#include "engine/voices/pcm_part.h"
#include "engine/voices/synth_part.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"

namespace CE = platform::ControlEvents;

TEST(PadMapping, AmountAndStepFollowTheCurvesAndTheCentreLine) {
  struct Case {
    double x;
    int32_t amount;
  };
  for (const Case& k : {Case{0.0, 1}, Case{0.01, -1}, Case{-0.01, 1}, Case{0.013167, -1}, Case{0.02, 0},
                        Case{-0.02, 0}, Case{1.0, 0}, Case{1.02, 1}, Case{-1.02, -1}, Case{3.5, 5}, Case{3.49, 4},
                        Case{6.5, 8}, Case{9.0, 8}, Case{-9.0, -8}, Case{5.2574, 7}}) {
    EXPECT_EQ(RibbonInterfaceController::amountForX(k.x), k.amount) << k.x;
  }
  struct StepCase {
    double y;
    int32_t step;
  };
  for (const StepCase& k : {StepCase{-10.0, 10}, StepCase{-0.99, 0}, StepCase{0.99, 0}, StepCase{1.0, -1},
                            StepCase{9.0, -9}, StepCase{-3.5, 3}}) {
    EXPECT_EQ(RibbonInterfaceController::stepForY(k.y), k.step) << k.y;
  }
}

TEST(PadMapping, TouchesTranslateIntoTheRangeAndPinAtItsEdges) {
  PadView pad({24, 51, 363, 183});
  pad.setMinimumXValue(-9);
  pad.setMaximumXValue(9);
  pad.setMinimumYValue(-10);
  pad.setMaximumYValue(9);
  struct Case {
    platform::Point in;
    platform::Point out;
  };
  for (const Case& k : {Case{{0, 0}, {-9, -10}}, Case{{363, 183}, {9, 9}}, Case{{181.5, 91.5}, {0, -0.5}},
                        Case{{-50, 400}, {-9, 9}}, Case{{900, -3}, {9, -10}}}) {
    const platform::Point p = pad.translateCoordinate(k.in);
    EXPECT_NEAR(p.x, k.out.x, 1e-9) << k.in.x << "," << k.in.y;
    EXPECT_NEAR(p.y, k.out.y, 1e-9) << k.in.x << "," << k.in.y;
  }
}

namespace {

class PadTest : public HeadlessAppTest {
 protected:
  // Window points of a pad position (the canvas is the window, scale 1),
  // a hair inside the surface so that a touch there lands on it.
  static platform::Point at(double x, double y) {
    x = std::clamp(x, -8.99, 8.99);
    y = std::clamp(y, -9.99, 8.99);
    const double ox = RibbonInterfaceController::kFrame.origin.x + 24;
    const double oy = RibbonInterfaceController::kFrame.origin.y + 51;
    return {ox + 363 * (x + 9) / 18, oy + 183 * (y + 10) / 19};
  }
  void showPad() {
    Z31647ViewController& c = *ctl();
    tap(centre(95.5, 125, 62.5, 24));  // shift: the pad toggle shows
    ASSERT_FALSE(c.flexButton()->isHidden());
    tap(centre(217.5, 277.5, 61.5, 24));
    ASSERT_TRUE(c.flexButton()->isOn());
    ASSERT_NE(c.padViewController(), nullptr);
    pump(0.15);
    purges = 0;
    platform::NotificationCenter::defaultCenter().addObserver(this, kRibbonInterfaceRandomizePurged,
                                                              [this](const platform::Notification&) { ++purges; });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    HeadlessAppTest::TearDown();
  }
  RibbonInterfaceController& pad() { return *ctl()->padViewController(); }
  int32_t voice(int part, int index) {
    return part < 4 ? synth()->synthPart(part).parameter(index) : synth()->pcmPart(part - 4).parameter(index);
  }
  bool anyTrigger() {
    for (int p = 0; p < 8; ++p)
      for (int s = 0; s < 64; ++s)
        if (synth()->seq()->triggerStep(p, s)) return true;
    return false;
  }
  bool soundsDiffer(const PatternRecord& a, const PatternRecord& b) {
    for (int p = 0; p < 8; ++p)
      for (int i = 0; i <= 8; ++i)
        if (a.synthParams[p][i] != b.synthParams[p][i]) return true;
    return false;
  }
  int purges = 0;
};

}  // namespace

TEST_F(PadTest, ShownFromThePanelOverTheCanvas) {
  start();
  GQFlurry::sharedInstance().setIsEnabled(true);
  showPad();
  Z31647ViewController& c = *ctl();
  EXPECT_EQ(GQFlurry::sharedInstance().lastEventType(), "Roru Duzirid");
  platform::View* v = pad().view();
  EXPECT_EQ(v->superview(), c.baseImageView());
  EXPECT_EQ(v->frame(), RibbonInterfaceController::kFrame);
  EXPECT_DOUBLE_EQ(v->alpha(), 1.0);
  EXPECT_TRUE(v->clipsToBounds());
  EXPECT_EQ(pad().pad()->frame(), (platform::Rect{24, 51, 363, 183}));
  EXPECT_EQ(pad().holdButton()->frame(), (platform::Rect{330, 16.5, 59.5, 25}));
  EXPECT_EQ(pad().closeButton()->frame(), (platform::Rect{20, 17, 23.5, 24}));
  EXPECT_TRUE(pad().hilitedImageView()->isHidden());
  EXPECT_TRUE(pad().defaultParameterValues() == *synth()->currentPattern());
  // Its faces come from the bundle.
  EXPECT_TRUE(pad().holdButton()->imageNormal());
  EXPECT_TRUE(pad().holdButton()->imageActive());
  EXPECT_TRUE(pad().hilitedImageView()->image());
  EXPECT_TRUE(pad().closeButton()->backgroundImageForState(platform::ControlState::Normal));
  if (const char* keep = std::getenv("IGB_PAD_PNG"); keep && *keep) {
    headlessBackend().touchDown(at(3, -4));
    ASSERT_TRUE(headlessBackend().renderToPNG(keep));
    headlessBackend().touchUp(at(3, -4));
  }
}

TEST_F(PadTest, AGestureRandomizesLiveAndTheReleasePutsThePatternBackByteForByte) {
  start();
  showPad();
  Z31647ViewController& c = *ctl();
  const PatternRecord before = *synth()->currentPattern();
  ASSERT_TRUE(anyTrigger());
  // Top left: amount -8 clears every trigger, step 10 moves the sounds.
  headlessBackend().touchDown(at(-9, -10));
  EXPECT_TRUE(pad().trackingFlag());
  EXPECT_FALSE(anyTrigger()) << "the randomized steps play at once";
  EXPECT_EQ(std::memcmp(&synth()->currentPattern()->sequencerParams, &before.sequencerParams, sizeof before.sequencerParams), 0)
      << "the record keeps its own triggers";
  EXPECT_TRUE(soundsDiffer(*synth()->currentPattern(), before)) << "the sounds are randomized into the record";
  EXPECT_TRUE(pad().shouldRevertTheSynth());
  EXPECT_FALSE(pad().hilitedImageView()->isHidden());
  EXPECT_NEAR(pad().hilitedImageView()->center().x, 24.0, 0.5);
  EXPECT_NEAR(pad().hilitedImageView()->center().y, 51.0, 0.5);
  // Down into the steps-only region: the first pass puts the sounds back,
  // each part keeping the mute it has now.
  synth()->setPartParameter(2, 10, before.synthParams[2].mute ? 0 : 1);
  const int32_t mute2 = synth()->currentPattern()->synthParams[2].mute;
  headlessBackend().touchMove(at(-9, 9));
  EXPECT_FALSE(pad().shouldRevertTheSynth());
  for (int p = 0; p < 8; ++p) {
    for (int i = 0; i <= 8; ++i) EXPECT_EQ(voice(p, i), before.synthParams[p][i]) << p << " " << i;
  }
  EXPECT_EQ(voice(2, 10), mute2);
  EXPECT_EQ(pad().defaultParameterValues().synthParams[2].mute, before.synthParams[2].mute)
      << "the touch-down copy keeps its own mute";
  EXPECT_FALSE(anyTrigger());
  // Back up: the sounds are randomized again.
  headlessBackend().touchMove(at(-9, -10));
  EXPECT_TRUE(pad().shouldRevertTheSynth());
  EXPECT_EQ(purges, 0);
  // Release: all of it back as it was at touch-down.
  headlessBackend().touchUp(at(-9, -10));
  EXPECT_FALSE(pad().trackingFlag());
  EXPECT_TRUE(*synth()->currentPattern() == before);
  EXPECT_EQ(anyTrigger(), true);
  EXPECT_EQ(purges, 1);
  EXPECT_TRUE(pad().hilitedImageView()->isHidden());
  for (int slot = 0; slot < 16; ++slot) {
    EXPECT_EQ(c.seqView()->getButton(slot)->isActive(), before.sequencerParams.trigger[0][slot] != 0) << slot;
  }
}

TEST_F(PadTest, ACancelledTouchEndsTheGestureLikeALiftedFinger) {
  start();
  showPad();
  const PatternRecord before = *synth()->currentPattern();
  headlessBackend().touchDown(at(-9, -10));
  ASSERT_FALSE(anyTrigger());
  headlessBackend().touchCancel();
  EXPECT_TRUE(*synth()->currentPattern() == before);
  EXPECT_EQ(purges, 1);
}

TEST_F(PadTest, HoldKeepsEachResultAndStartsEveryGestureFromTheHeldCopy) {
  start();
  showPad();
  const PatternRecord before = *synth()->currentPattern();
  pad().holdButton()->sendActionsForControlEvents(CE::TouchUpInside);
  ASSERT_TRUE(pad().isLocked());
  EXPECT_EQ(pad().holdButton()->buttonState(), 1);
  headlessBackend().touchDown(at(-9, -10));
  headlessBackend().touchUp(at(-9, -10));
  EXPECT_EQ(purges, 0);
  EXPECT_TRUE(*synth()->currentPattern() == pad().randomizedParameterValues()) << "the last result is kept";
  EXPECT_FALSE(anyTrigger());
  EXPECT_FALSE(pad().hilitedImageView()->isHidden()) << "the highlight stays";
  // The next gesture starts from the copy held when Hold went on.
  headlessBackend().touchDown(at(9, 9));
  EXPECT_TRUE(pad().defaultParameterValues() == before);
  headlessBackend().touchUp(at(9, 9));
  // Hold off: the held copy comes back and the purge is told.
  pad().holdButton()->sendActionsForControlEvents(CE::TouchUpInside);
  EXPECT_FALSE(pad().isLocked());
  EXPECT_EQ(pad().holdButton()->buttonState(), 0);
  EXPECT_TRUE(*synth()->currentPattern() == before);
  EXPECT_EQ(purges, 1);
  EXPECT_TRUE(pad().hilitedImageView()->isHidden());
}

TEST_F(PadTest, APatternChangeEndsTheGestureSilentlyAndTurnsHoldOff) {
  start();
  showPad();
  pad().holdButton()->sendActionsForControlEvents(CE::TouchUpInside);
  headlessBackend().touchDown(at(-9, -10));
  ASSERT_FALSE(anyTrigger());
  ctl()->changePattern(3);
  ASSERT_TRUE(pumpUntil([&] { return synth()->currentPatternIndex() == 3; }, 30.0));
  ASSERT_TRUE(pumpUntil([&] { return pad().trackingCancelled(); }));
  EXPECT_FALSE(pad().isLocked());
  EXPECT_EQ(pad().holdButton()->buttonState(), 0);
  const PatternRecord loaded = *synth()->currentPattern();
  EXPECT_TRUE(pad().defaultParameterValues() == loaded);
  // Moves and the release do nothing now.
  headlessBackend().touchMove(at(-9, 5));
  headlessBackend().touchUp(at(-9, 5));
  EXPECT_TRUE(*synth()->currentPattern() == loaded);
  EXPECT_EQ(synth()->step(0, 0), loaded.sequencerParams.trigger[0][0] != 0);
  EXPECT_EQ(purges, 0);
  // The next gesture starts from the new pattern.
  headlessBackend().touchDown(at(-9, -10));
  EXPECT_FALSE(pad().trackingCancelled());
  headlessBackend().touchUp(at(-9, -10));
  EXPECT_TRUE(*synth()->currentPattern() == loaded);
  EXPECT_EQ(purges, 1);
}

TEST_F(PadTest, CloseHidesThePadKeepsAHeldResultAndTheNextShowStartsWithHoldOff) {
  start();
  showPad();
  Z31647ViewController& c = *ctl();
  pad().holdButton()->sendActionsForControlEvents(CE::TouchUpInside);
  headlessBackend().touchDown(at(-9, -10));
  headlessBackend().touchUp(at(-9, -10));
  const PatternRecord kept = *synth()->currentPattern();
  ASSERT_FALSE(anyTrigger());
  std::weak_ptr<platform::View> view = pad().viewPtr();
  pad().closeButton()->sendActionsForControlEvents(CE::TouchUpInside);
  EXPECT_FALSE(c.flexButton()->isOn());
  ASSERT_TRUE(pumpUntil([&] { return c.padViewController() == nullptr; }));
  EXPECT_TRUE(view.expired()) << "the view left the panel";
  EXPECT_TRUE(*synth()->currentPattern() == kept) << "hiding restores nothing";
  // Shown again: a fresh controller, Hold off, the kept result as its copy.
  c.flexButton()->setOn(true);
  c.togglePadButton();
  ASSERT_NE(c.padViewController(), nullptr);
  EXPECT_FALSE(pad().isLocked());
  EXPECT_TRUE(pad().defaultParameterValues() == kept);
  // The engine going first (shutdown): the pad no longer reaches it.
  c.releaseEngine();
  headlessBackend().touchDown(at(-9, -10));
  headlessBackend().touchUp(at(-9, -10));
  EXPECT_TRUE(*synth()->currentPattern() == kept);
}
