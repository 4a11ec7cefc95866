#include "controls/radio_button_mediator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "controls_test_images.h"
#include "platform/runloop/run_loop.h"

namespace {

// A group of five buttons under keys 0-4 on the main run loop with a
// virtual clock.
class RadioGroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop.reset();
    loop.setClock(clock);
    for (int64_t k = 0; k < 5; ++k) {
      auto b = std::make_shared<TIButton>(platform::Rect{50.0 * k, 0, 40, 40});
      b->setImageNormal(normal);
      b->setImageActive(active);
      b->setImageSelected(selectedImage);
      buttons.push_back(b);
      group->appendButton(b, k);
    }
  }
  void TearDown() override {
    group.reset();
    loop.reset();
    loop.setClock(std::make_shared<platform::RealClock>());
  }
  std::vector<int64_t> possibility() const {
    std::vector<int64_t> s;
    for (const auto& b : buttons) s.push_back(b->buttonPossibilityState());
    return s;
  }
  // Advances virtual time, letting posted blocks run.
  void advance(double seconds) { loop.advanceBy(seconds); }

  platform::RunLoop& loop = platform::RunLoop::main();
  std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
  platform::ImagePtr normal = controls_test::colourImage(10, 10, 10);
  platform::ImagePtr active = controls_test::colourImage(250, 10, 10);
  platform::ImagePtr selectedImage = controls_test::colourImage(10, 250, 10);
  std::shared_ptr<RadioButtonMediator> group = std::make_shared<RadioButtonMediator>();
  std::vector<std::shared_ptr<TIButton>> buttons;
};

TEST_F(RadioGroupTest, SelectingAndSwitchingOff) {
  const struct {
    int32_t key;
    bool switchEnabled;
    uint64_t selected;
    std::vector<int64_t> states;
  } steps[] = {
      {2, true, 2, {0, 0, 1, 0, 0}},
      {2, true, RadioButtonMediator::kNone, {0, 0, 0, 0, 0}},  // pressed again: deselects
      {3, false, 3, {0, 0, 0, 1, 0}},
      {3, false, 3, {0, 0, 0, 1, 0}},                           // no switch: nothing
      {1, false, 1, {0, 1, 0, 0, 0}},
      {9, true, RadioButtonMediator::kNone, {0, 0, 0, 0, 0}},  // not in the group
      {-1, true, RadioButtonMediator::kNone, {0, 0, 0, 0, 0}},
  };
  for (const auto& s : steps) {
    group->setButtonSelected(s.key, s.switchEnabled);
    EXPECT_EQ(group->selected(), s.selected) << s.key;
    EXPECT_EQ(possibility(), s.states) << s.key;
  }
  // The selected button shows its selected image.
  group->setButtonSelected(4, false);
  EXPECT_EQ(buttons[4]->imageLayer1().contents(), selectedImage);
}

TEST_F(RadioGroupTest, DeselectButton) {
  group->deselectButton();
  EXPECT_EQ(group->selected(), RadioButtonMediator::kNone);
  group->setButtonSelected(1, false);
  group->deselectButton();
  EXPECT_EQ(group->selected(), RadioButtonMediator::kNone);
  EXPECT_EQ(possibility(), std::vector<int64_t>(5, 0));
}

TEST_F(RadioGroupTest, ActiveStates) {
  EXPECT_FALSE(group->hasActiveButton());
  group->setButtonActive(1, true);
  group->setButtonActive(3, true);
  EXPECT_TRUE(group->isButtonActive(3));
  EXPECT_FALSE(group->isButtonActive(2));
  EXPECT_FALSE(group->isButtonActive(77));
  EXPECT_EQ(group->activeButtons(), (std::vector<std::shared_ptr<TIButton>>{buttons[1], buttons[3]}));
  group->setButtonActiveAll();
  EXPECT_EQ(group->activeButtons().size(), 5u);
  group->setButtonDeactiveAll();
  EXPECT_FALSE(group->hasActiveButton());
}

TEST(RadioGroupEmptyTest, EmptyGroupHasNoActiveButton) {
  RadioButtonMediator group;
  EXPECT_FALSE(group.hasActiveButton());
  EXPECT_TRUE(group.activeButtons().empty());
  EXPECT_EQ(group.selected(), RadioButtonMediator::kNone);
  EXPECT_EQ(group.button(0), nullptr);
}

TEST_F(RadioGroupTest, DimmingForcedActiveAndMembership) {
  group->setButtonDimmed(2, true);
  EXPECT_TRUE(buttons[2]->dim());
  EXPECT_DOUBLE_EQ(buttons[2]->imageLayer1().opacity(), 0.75);
  group->setButtonDimmedByKey(4, true);
  group->setButtonsUndimmed();
  for (const auto& b : buttons) EXPECT_FALSE(b->dim());
  group->setForcedActive(0, true);
  EXPECT_TRUE(group->isForcedActive(0));
  EXPECT_EQ(buttons[0]->imageLayer1().contents(), active);
  group->clearForcedActiveAll();
  EXPECT_FALSE(group->isForcedActive(0));
  group->removeButtonsForKeys({0, 1});
  group->removeButtonForKey(2);
  EXPECT_EQ(group->buttons().size(), 2u);
  EXPECT_EQ(group->button(3), buttons[3]);
  // Replacing under a key.
  group->appendButton(buttons[0], 3);
  EXPECT_EQ(group->button(3), buttons[0]);
}

TEST_F(RadioGroupTest, ReadyButtonsBlinkTogetherEvery046Seconds) {
  group->setButtonsReady();
  // The clock starts on the main loop's next pass, with one step at once.
  EXPECT_EQ(group->timer(), nullptr);
  EXPECT_EQ(buttons[0]->counter(), 1u);
  loop.drain();
  ASSERT_NE(group->timer(), nullptr);
  for (const auto& b : buttons) {
    EXPECT_EQ(b->counter(), 2u);
    EXPECT_EQ(b->imageLayer1().contents(), normal);
  }
  const platform::ImagePtr expected[] = {active, normal, active, normal};
  for (const auto& e : expected) {
    advance(RadioButtonMediator::kBlinkInterval);
    for (const auto& b : buttons) EXPECT_EQ(b->imageLayer1().contents(), e);
  }
  EXPECT_EQ(buttons[4]->counter(), 6u);
  // Half a period later nothing has moved.
  advance(RadioButtonMediator::kBlinkInterval / 2);
  EXPECT_EQ(buttons[4]->counter(), 6u);
}

TEST_F(RadioGroupTest, ReadyThenCancelInOneTurnLeavesNoTimer) {
  group->setButtonsReady();
  group->setButtonsReadyCancel();
  // Blinking stops at once ...
  for (const auto& b : buttons) {
    EXPECT_FALSE(b->readyToBlink());
    EXPECT_EQ(b->imageLayer1().contents(), normal);
  }
  // ... and the set-up and the stop run in order on the main loop.
  loop.drain();
  EXPECT_EQ(group->timer(), nullptr);
  EXPECT_TRUE(std::isinf(loop.nextDueTime()));
  advance(2.0);
  EXPECT_EQ(buttons[0]->counter(), 1u);
}

TEST_F(RadioGroupTest, ASecondReadyLeavesOneBlinkTimer) {
  group->setButtonsReady();
  loop.drain();
  const auto first = group->timer();
  ASSERT_NE(first, nullptr);
  advance(0.2);
  group->setButtonsReady();
  loop.drain();
  const auto second = group->timer();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_FALSE(first->isValid());
  // counter 1 again, plus the immediate step of the second set-up.
  EXPECT_EQ(buttons[0]->counter(), 2u);
  advance(RadioButtonMediator::kBlinkInterval * 3 + 0.01);
  // One step per tick: a second clock would have made it two.
  EXPECT_EQ(buttons[0]->counter(), 5u);
  group->setButtonsReadyCancel();
  loop.drain();
  EXPECT_TRUE(std::isinf(loop.nextDueTime()));
}

TEST_F(RadioGroupTest, OneButtonReadyBlinksOnlyWhileTheGroupClockRuns) {
  group->setButtonReady(2, true);
  advance(2.0);
  EXPECT_EQ(buttons[2]->counter(), 1u);
  EXPECT_EQ(group->timer(), nullptr);
  // Starting the clock (as a ready of the whole group does) moves it.
  group->setUpTimer();
  advance(RadioButtonMediator::kBlinkInterval + 0.01);
  EXPECT_EQ(buttons[2]->counter(), 3u);
  EXPECT_EQ(buttons[1]->counter(), 1u);  // not ready: doBlink does nothing
  group->stopTimer();
}

TEST_F(RadioGroupTest, AGroupThatGoesAwayStopsItsClock) {
  group->setButtonsReady();
  loop.drain();
  auto timer = group->timer();
  ASSERT_NE(timer, nullptr);
  group.reset();
  EXPECT_FALSE(timer->isValid());
  advance(2.0);  // nothing left to tick
  EXPECT_EQ(buttons[0]->counter(), 2u);
}

}  // namespace
