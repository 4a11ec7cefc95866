#include "controls/ti_button.h"

#include <gtest/gtest.h>

#include "control_test_support.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/screen.h"

using namespace platform;
using controls_test::solid;

namespace {

// Counts the button's own redraws.
class CountingButton : public TIButton {
 public:
  using TIButton::TIButton;
  void setNeedsDisplay() override {
    ++redraws;
    TIButton::setNeedsDisplay();
  }
  int redraws = 0;
};

class TIButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = hb.makeWindow();
    button = std::make_shared<CountingButton>(Rect(100, 100, 62.5, 48));
    button->setImage(normal, 0);
    button->setImage(active, 1);
    button->setImage(selected, 2);
    window->addSubview(button);
    hb.runPass();
    button->redraws = 0;
  }
  ImagePtr shown() const { return button->imageLayer1().contents(); }

  HeadlessBackend hb;
  std::shared_ptr<Window> window;
  ImagePtr normal = solid(Color::white(0.2));
  ImagePtr active = solid(Color::rgba(1, 0.3, 0));
  ImagePtr selected = solid(Color::rgba(0, 0.8, 0.2));
  ImagePtr highlighted = solid(Color::rgba(1, 1, 0));
  std::shared_ptr<CountingButton> button;
};

struct ChoiceCase {
  const char* name;
  bool highlightedImageSet;
  bool highlighted;
  bool forcedActive;
  int64_t state;
  int64_t possibility;
  bool blinking;
  int blinks;  // doBlink calls after enableBlink
  const char* expected;  // "normal", "active", "selected", "highlighted", "none"
};

TEST_F(TIButtonTest, ImageChoiceFollowsTheFirstRuleThatApplies) {
  const ChoiceCase cases[] = {
      {"fresh", false, false, false, 0, 0, false, 0, "normal"},
      {"on", false, false, false, 1, 0, false, 0, "active"},
      {"possibility", false, false, false, 0, 1, false, 0, "selected"},
      {"both: selected wins", false, false, false, 1, 1, false, 0, "selected"},
      {"forced over both", false, false, true, 1, 1, false, 0, "active"},
      {"forced over off", false, false, true, 0, 0, false, 0, "active"},
      {"highlighted image wins", true, true, true, 1, 1, false, 0, "highlighted"},
      {"highlighted without image", false, true, false, 0, 1, false, 0, "selected"},
      {"other non-zero state", false, false, false, 2, 0, false, 0, "none"},
      {"state 1 or 2 is 3", false, false, false, 1, 2, false, 0, "none"},
      {"blink armed, counter 1", false, false, false, 0, 0, true, 0, "active"},
      {"blink counter 2", false, false, false, 0, 0, true, 1, "normal"},
      {"blink counter 3", false, false, false, 0, 0, true, 2, "active"},
      {"blink does not beat a state", false, false, false, 0, 1, true, 1, "selected"},
  };
  for (const ChoiceCase& c : cases) {
    auto b = std::make_shared<TIButton>(Rect(0, 0, 10, 10));
    b->setImage(normal, 0);
    b->setImage(active, 1);
    b->setImage(selected, 2);
    if (c.highlightedImageSet) b->setHighlightedImage(highlighted);
    b->setForcedActive(c.forcedActive);
    b->setButtonState(c.state);
    b->setButtonPossibilityState(c.possibility);
    if (c.blinking) b->enableBlink(true);
    for (int i = 0; i < c.blinks; ++i) b->doBlink();
    b->setHighlighted(c.highlighted);
    const std::string expect = c.expected;
    const ImagePtr want = expect == "normal"        ? normal
                          : expect == "active"      ? active
                          : expect == "selected"    ? selected
                          : expect == "highlighted" ? highlighted
                                                    : nullptr;
    EXPECT_EQ(b->retrieveImage(), want) << c.name;
    // A redraw puts the chosen image on the layer.
    b->setNeedsDisplay();
    EXPECT_EQ(b->imageLayer1().contents(), want) << c.name;
  }
}

TEST_F(TIButtonTest, SettersRedrawOnlyOnChange) {
  button->setButtonState(0);
  button->setButtonPossibilityState(0);
  button->setForcedActive(false);
  button->setDim(false);
  button->setEnabled(true);
  button->setHighlighted(false);
  EXPECT_EQ(button->redraws, 0);
  button->setButtonState(1);
  EXPECT_EQ(button->redraws, 1);
  EXPECT_EQ(shown(), active);
  button->setButtonState(1);
  EXPECT_EQ(button->redraws, 1);
  button->swapButtonState();
  EXPECT_EQ(button->buttonState(), 0);
  button->swapButtonState();
  EXPECT_EQ(button->buttonState(), 1);
  EXPECT_TRUE(button->isActive());
  EXPECT_EQ(button->redraws, 3);
  // Plain image properties do not redraw; setImage:forState: always does.
  button->setImageNormal(solid(Color::black()));
  EXPECT_EQ(button->redraws, 3);
  ImagePtr before = button->imageNormal();
  button->setImage(solid(Color::whiteColor()), 3);
  EXPECT_EQ(button->redraws, 4);
  EXPECT_EQ(button->imageNormal(), before);
  EXPECT_EQ(button->imageActive(), active);
  EXPECT_EQ(button->imageSelected(), selected);
}

TEST_F(TIButtonTest, BlinkTicksFromOutside) {
  button->doBlink();
  EXPECT_EQ(button->redraws, 0);
  EXPECT_EQ(button->counter(), 1u);
  button->enableBlink(true);
  EXPECT_EQ(button->redraws, 0);  // arming does not redraw
  button->doBlink();
  EXPECT_EQ(button->counter(), 2u);
  EXPECT_EQ(shown(), normal);
  button->doBlink();
  EXPECT_EQ(shown(), active);
  button->enableBlink(false);
  EXPECT_EQ(shown(), normal);
  EXPECT_FALSE(button->readyToBlink());
  button->doBlink();
  EXPECT_EQ(button->counter(), 3u);
}

TEST_F(TIButtonTest, OpacityForDimAndDisabled) {
  EXPECT_EQ(button->imageLayer1().opacity(), 1.0);
  button->setDim(true);
  EXPECT_EQ(button->imageLayer1().opacity(), 0.75);
  button->setEnabled(false);
  EXPECT_EQ(button->imageLayer1().opacity(), 0.5);  // disabled wins over dim
  button->setDim(false);
  EXPECT_EQ(button->imageLayer1().opacity(), 0.5);
  button->setEnabled(true);
  EXPECT_EQ(button->imageLayer1().opacity(), 1.0);
}

TEST_F(TIButtonTest, HighlightedImageWaitsForTheNextOwnRedraw) {
  button->setHighlighted(true);
  EXPECT_EQ(shown(), normal);  // no highlighted image yet
  button->setHighlightedImage(highlighted);
  EXPECT_EQ(button->redraws, 1);
  EXPECT_EQ(shown(), normal);
  button->setHighlighted(false);
  button->setHighlighted(true);
  EXPECT_EQ(shown(), highlighted);
}

TEST_F(TIButtonTest, ImageLayerFillsTheInsetBoundsAndChangesAtOnce) {
  hb.runPass();
  EXPECT_EQ(button->imageLayer1().frame(), Rect(0, 0, 62.5, 48));
  button->setImageEdgeInsets({1, 2, 3, 4});
  EXPECT_EQ(button->imageLayer1().frame(), Rect(2, 1, 56.5, 44));
  button->setFrame({0, 0, 100, 50});
  hb.runPass();
  EXPECT_EQ(button->imageLayer1().frame(), Rect(2, 1, 94, 46));
  for (const char* key : {"onOrderIn", "onOrderOut", "hidden", "contents", "position", "bounds", "transform"})
    EXPECT_TRUE(button->imageLayer1().isActionDisabled(key)) << key;
  button->setButtonState(1);
  EXPECT_FALSE(button->imageLayer1().animationForKey("contents"));
  EXPECT_EQ(button->imageLayer1().contentsScale(), Screen::mainScreen().scale());
}

TEST_F(TIButtonTest, TouchesDriveTheControlAndReachTheContainer) {
  auto container = std::make_shared<controls_test::TouchRecorder>(Rect(0, 0, 400, 300));
  button->removeFromSuperview();
  button->setFrame({24.5, 3, 34.5, 62});
  container->addSubview(button);
  window->addSubview(container);
  button->setHighlightedImage(highlighted);
  std::vector<std::string> actions;
  button->addTarget(nullptr, "setNote:", [&](Control&) { actions.push_back("down"); }, ControlEvents::TouchDown);
  button->addTarget(nullptr, "seqButtonReleased:", [&](Control&) { actions.push_back("up"); },
                    ControlEvents::TouchUpInside | ControlEvents::TouchUpOutside);
  hb.touchDown({40, 30});
  EXPECT_EQ(shown(), highlighted);
  hb.touchMove({45, 35});
  hb.touchUp({45, 35});
  EXPECT_EQ(shown(), normal);
  EXPECT_EQ(actions, (std::vector<std::string>{"down", "up"}));
  EXPECT_EQ(container->log, (std::vector<std::string>{"began 1", "moved 1", "ended 1"}));
  hb.touchDown({40, 30});
  hb.touchCancel();
  EXPECT_EQ(container->log.back(), "cancelled 1");
}

TEST_F(TIButtonTest, MultipleStateButtonStepsOnTouchDownAndLightsWhileDown) {
  auto wave = std::make_shared<UIMultipleStateButton>(Rect(338, 141, 62, 24));
  wave->setNumberOfStates(4);
  wave->setName("Wave");
  wave->setImage(normal, 0);
  wave->setImage(active, 1);
  window->addSubview(wave);
  wave->setValue(3);
  int64_t seenAtDown = -1;
  int64_t stateAtDown = -1;
  wave->addTarget(nullptr, "valueEditAboutToStart:", [&](Control&) {
    seenAtDown = wave->value();
    stateAtDown = wave->buttonState();
  }, ControlEvents::TouchDown);
  hb.touchDown({350, 150});
  EXPECT_EQ(seenAtDown, 0);  // (3 + 1) mod 4, before the action
  EXPECT_EQ(stateAtDown, 1);
  EXPECT_EQ(wave->imageLayer1().contents(), active);
  hb.touchUp({350, 150});
  EXPECT_EQ(wave->buttonState(), 0);
  EXPECT_EQ(wave->imageLayer1().contents(), normal);
  hb.tap({350, 150});
  EXPECT_EQ(wave->value(), 1);
  hb.touchDown({350, 150});
  hb.touchCancel();
  EXPECT_EQ(wave->value(), 2);
  EXPECT_EQ(wave->buttonState(), 0);
  // setValue keeps to at most the number of states.
  wave->setValue(7);
  EXPECT_EQ(wave->value(), 4);
  wave->setValue(-2);
  EXPECT_EQ(wave->value(), -2);
  // With no states a touch simply counts up.
  wave->setNumberOfStates(0);
  wave->setValue(-2);
  EXPECT_EQ(wave->value(), -2);
  hb.tap({350, 150});
  EXPECT_EQ(wave->value(), -1);
}

TEST_F(TIButtonTest, ToggleButtonTogglesBeforeItsTouchDownAction) {
  auto rec = std::make_shared<TIToggleButton>(Rect(23.5, 212.5, 62.5, 48.5));
  window->addSubview(rec);
  bool onAtDown = false;
  rec->addTarget(nullptr, "record:", [&](Control&) { onAtDown = rec->isOn(); }, ControlEvents::TouchDown);
  hb.tap({50, 230});
  EXPECT_TRUE(onAtDown);
  EXPECT_EQ(rec->value(), 1);
  EXPECT_EQ(rec->buttonState(), 1);
  hb.tap({50, 230});
  EXPECT_FALSE(onAtDown);
  EXPECT_EQ(rec->buttonState(), 0);
  rec->setValue(5);
  EXPECT_TRUE(rec->isOn());
  EXPECT_EQ(rec->buttonState(), 1);
  rec->setOn(false);
  EXPECT_EQ(rec->value(), 0);
  EXPECT_EQ(rec->buttonState(), 0);
}

TEST(GBXTIControlTest, SettersStoreAndRedrawOnlyOnChangeAndScaleIsTakenAtCreation) {
  HeadlessBackend hb({1024, 768}, 3.0);
  class Counting : public GBXTIControl {
   public:
    using GBXTIControl::GBXTIControl;
    void setNeedsDisplay() override { ++redraws; }
    int redraws = 0;
  };
  auto c = std::make_shared<Counting>(Rect(0, 0, 100, 30));
  EXPECT_EQ(c->scale(), 3.0f);
  Screen::mainScreen().configure({1024, 768}, 2.0);
  EXPECT_EQ(c->scale(), 3.0f);
  c->setValue(0.0f);
  c->setMinimum(0.0f);
  c->setMaximum(0.0f);
  EXPECT_EQ(c->redraws, 0);
  c->setMaximum(1.0f);
  c->setValue(0.5f);
  c->setValue(0.5f);
  c->setMinimum(-1.0f);
  EXPECT_EQ(c->redraws, 3);
  EXPECT_EQ(c->value(), 0.5f);
  EXPECT_EQ(c->minimum(), -1.0f);
  EXPECT_EQ(c->maximum(), 1.0f);
}

}  // namespace
