#include "controls/ti_led_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

platform::ImagePtr solid(uint8_t r, uint8_t g) {
  auto image = platform::Image::create(34, 34, 2.0);
  cairo_t* cr = cairo_create(image->surface());
  cairo_set_source_rgb(cr, r / 255.0, g / 255.0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_mark_dirty(image->surface());
  return image;
}

class LedRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 6; ++i) {
      auto led = std::make_shared<TILedView>(platform::Rect{20.0 * i, 0, 17, 17});
      led->setGreenImage(green);
      led->setRedImage(red);
      leds.push_back(led);
      row.appendLed(led);
    }
  }
  std::vector<int64_t> states() const {
    std::vector<int64_t> s;
    for (const auto& led : leds) s.push_back(led->ledState());
    return s;
  }

  platform::ImagePtr green = solid(0, 255);
  platform::ImagePtr red = solid(255, 0);
  std::vector<std::shared_ptr<TILedView>> leds;
  LedMediator row;
};

TEST_F(LedRowTest, ARepeatOfTheLitIndexChangesNothingEvenInAnotherColour) {
  EXPECT_EQ(row.lightOn(), LedMediator::kNone);
  row.setLed(3, TILedView::kGreen);
  row.setLed(3, TILedView::kGreen);
  EXPECT_EQ(states(), std::vector<int64_t>({0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(leds[3]->imageLayer()->contents(), green);
  row.setLed(3, TILedView::kRed);
  EXPECT_EQ(states(), std::vector<int64_t>({0, 0, 0, 1, 0, 0}));
  row.setLed(-1, TILedView::kGreen);
  EXPECT_EQ(states(), std::vector<int64_t>(6, 0));
  EXPECT_EQ(row.lightOn(), LedMediator::kNone);
  row.setLed(3, TILedView::kRed);
  EXPECT_EQ(states(), std::vector<int64_t>({0, 0, 0, 2, 0, 0}));
  EXPECT_EQ(leds[3]->imageLayer()->contents(), red);
  EXPECT_EQ(row.lightOn(), 3u);
}

TEST_F(LedRowTest, LightingAnotherLampTurnsTheFirstOff) {
  row.setLed(0, TILedView::kRed);
  row.setLed(5, TILedView::kGreen);
  EXPECT_EQ(states(), std::vector<int64_t>({0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(leds[0]->imageLayer()->contents(), nullptr);
}

TEST_F(LedRowTest, AnIndexPastTheRowTurnsEveryLampOff) {
  row.setLed(2, TILedView::kGreen);
  row.setLed(6, TILedView::kGreen);
  EXPECT_EQ(states(), std::vector<int64_t>(6, 0));
  EXPECT_EQ(row.lightOn(), 6u);
}

TEST(LedMediatorTest, AnEmptyRowOnlyRemembersTheIndex) {
  LedMediator row;
  row.setLed(4, TILedView::kRed);
  EXPECT_EQ(row.lightOn(), 4u);
  EXPECT_TRUE(row.leds().empty());
}

TEST(TILedViewTest, StatesOtherThanGreenAndRedShowNothing) {
  TILedView led({0, 0, 17, 17});
  auto g = solid(0, 255);
  auto r = solid(255, 0);
  led.setGreenImage(g);
  led.setRedImage(r);
  const struct {
    int64_t state;
    platform::ImagePtr shown;
  } cases[] = {{1, g}, {2, r}, {3, nullptr}, {0, nullptr}, {-1, nullptr}, {2, r}};
  for (const auto& c : cases) {
    led.setLedState(c.state);
    EXPECT_EQ(led.imageLayer()->contents(), c.shown) << c.state;
  }
}

TEST(TILedViewTest, GreenWithoutAnImageShowsNothingUntilTheImageIsSet) {
  TILedView led({0, 0, 17, 17});
  led.setLedState(TILedView::kGreen);
  EXPECT_EQ(led.imageLayer()->contents(), nullptr);
  auto g = solid(0, 255);
  led.setGreenImage(g);
  EXPECT_EQ(led.imageLayer()->contents(), g);
}

TEST(TILedViewTest, LampLayerFollowsTheBoundsAndFades) {
  TILedView led({5, 5, 17, 17});
  EXPECT_EQ(led.ledState(), 0);
  EXPECT_EQ(led.imageLayer()->frame(), (platform::Rect{0, 0, 17, 17}));
  led.setFrame({5, 5, 30, 20});
  led.layoutIfNeeded();
  EXPECT_EQ(led.imageLayer()->frame(), (platform::Rect{0, 0, 30, 20}));
  // Unlike the buttons' layer, a lamp change animates.
  EXPECT_TRUE(led.imageLayer()->wouldAnimateImplicitly("contents"));
}

}  // namespace
