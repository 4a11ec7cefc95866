#include "controls/ui_slider_with_text_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/text_field.h"

namespace {

using platform::Point;
using platform::Rect;

// A row of 240 × 40 points at (100, 100) in the headless window.
class SliderWithTextValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = backend.makeWindow();
    row = std::make_shared<UISliderWithTextValue>();
    row->setFrame({100, 100, 240, 40});
    row->slider()->setMaximumValue(600);
    row->slider()->setMinimumValue(20);
    row->addTarget(this, "changed", [this](platform::Control& c) {
      ++events;
      reported = static_cast<UISliderWithTextValue&>(c).valueAsFloat();
    }, platform::ControlEvents::ValueChanged);
    window->addSubview(row);
    window->layoutIfNeeded();
  }
  // The slider's thumb centre in window points for a value.
  Point thumbFor(float v) const {
    platform::Slider& s = *row->slider();
    const double travel = s.bounds().size.width - platform::Slider::kThumbSize;
    const double x = platform::Slider::kThumbSize / 2 + travel * (v - s.minimumValue()) / (s.maximumValue() - s.minimumValue());
    return s.convertPointTo({x, s.bounds().size.height / 2}, nullptr);
  }
  void typeIntoField(const std::string& text) {
    Point field = row->textField()->convertPointTo(row->textField()->bounds().center(), nullptr);
    backend.tap(field);
    ASSERT_TRUE(row->textField()->isEditing());
    backend.typeText(text);
    backend.pressReturn();
  }

  platform::HeadlessBackend backend;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<UISliderWithTextValue> row;
  int events = 0;
  float reported = -1;
};

TEST_F(SliderWithTextValueTest, LayoutSplitsTheRow) {
  EXPECT_EQ(row->slider()->frame(), (Rect{0, 0, 0.73 * 240, 40}));
  EXPECT_EQ(row->textField()->frame(), (Rect{0.73 * 240 + 5, 5, 0.25 * 240, 30}));
  EXPECT_EQ(row->textField()->keyboardType(), platform::KeyboardType::NumbersAndPunctuation);
  EXPECT_EQ(row->textField()->borderStyle(), platform::TextBorderStyle::RoundedRect);
  EXPECT_EQ(row->textField()->font().pointSize, 16.0);
  EXPECT_EQ(row->valueMode(), 0);
}

TEST_F(SliderWithTextValueTest, SetValueRoundsDownToTenthsAndShowsByMode) {
  const struct {
    int64_t mode;
    float in;
    float stored;
    const char* text;
  } cases[] = {
      {1, 120.37f, 120.3f, "120.3"}, {0, 120.37f, 120.3f, "120"}, {1, 121.5f, 121.5f, "121.5"},
      {0, 87.99f, 87.9f, "87"},      {1, 20.0f, 20.0f, "20.0"},   {1, 650.0f, 650.0f, "600.0"},  // pinned text
      {0, 5.0f, 5.0f, "20"},         {1, -0.05f, -0.1f, "20.0"},
  };
  for (const auto& c : cases) {
    row->setValueMode(c.mode);
    row->setValue(c.in);
    EXPECT_FLOAT_EQ(row->value(), c.stored) << c.in;
    EXPECT_EQ(row->textField()->text(), c.text) << c.in;
  }
  EXPECT_EQ(events, 0);  // setValue never reports
  row->setValue(120.37f);
  EXPECT_EQ(row->valueAsInt(), 120);
  row->setValueMode(7);
  row->setValue(300);
  EXPECT_EQ(row->textField()->text(), "120.3");  // other modes leave the text alone
}

TEST_F(SliderWithTextValueTest, DraggingGivesWholeNumbersAndOneEventPerChange) {
  row->setValueMode(1);
  row->setValue(100);
  const Point from = thumbFor(100);
  backend.touchDown(from);
  backend.touchMove({from.x + 37, from.y});
  EXPECT_EQ(events, 1);
  EXPECT_EQ(reported, std::floor(reported));
  EXPECT_GT(reported, 100);
  EXPECT_EQ(row->value(), reported);
  EXPECT_EQ(row->textField()->text(), std::to_string(static_cast<int>(reported)) + ".0");
  backend.touchUp({from.x + 37, from.y});
  EXPECT_EQ(events, 1);
  // The slider's own fractional value becomes a whole number.
  row->slider()->setValue(87.9f);
  row->sliderValueChanged(*row->slider());
  EXPECT_FLOAT_EQ(row->value(), 87.0f);
  EXPECT_EQ(events, 2);
}

TEST_F(SliderWithTextValueTest, TypedNumbersKeepTheirTenthAndStayInRange) {
  row->setValueMode(1);
  row->setValue(120);
  const struct {
    const char* typed;
    float stored;
    const char* text;
  } cases[] = {{"121.5", 121.5f, "121.5"}, {"99.99", 99.9f, "99.9"}, {"5000", 600.0f, "600.0"},
               {"abc", 20.0f, "20.0"},     {"3", 20.0f, "20.0"},    {" 42x", 42.0f, "42.0"}};
  int expected = 0;
  for (const auto& c : cases) {
    typeIntoField(c.typed);
    ++expected;
    EXPECT_FALSE(row->textField()->isEditing()) << c.typed;
    EXPECT_EQ(events, expected) << c.typed;
    EXPECT_FLOAT_EQ(reported, c.stored) << c.typed;
    EXPECT_FLOAT_EQ(row->value(), c.stored) << c.typed;
    EXPECT_EQ(row->textField()->text(), c.text) << c.typed;
    EXPECT_FLOAT_EQ(row->slider()->value(), c.stored) << c.typed;
  }
}

TEST_F(SliderWithTextValueTest, EditingSelectsAllAndHidesTheEditMenu) {
  row->setValue(300);
  platform::MenuController::sharedMenuController().setMenuVisible(true);
  backend.tap(row->textField()->convertPointTo(row->textField()->bounds().center(), nullptr));
  EXPECT_TRUE(row->textField()->isEditing());
  EXPECT_EQ(row->textField()->selectionStart(), 0u);
  EXPECT_EQ(row->textField()->selectionLength(), row->textField()->text().size());
  EXPECT_FALSE(platform::MenuController::sharedMenuController().isMenuVisible());
  // Typing replaces the whole selection.
  backend.typeText("250");
  EXPECT_EQ(row->textField()->text(), "250");
  EXPECT_EQ(events, 0);
}

TEST_F(SliderWithTextValueTest, NumberFieldShrinksItsFontToFit) {
  row->setFrame({100, 100, 200, 40});
  window->layoutIfNeeded();
  row->slider()->setMaximumValue(99999);
  row->setValueMode(1);
  row->setValue(99999);
  EXPECT_EQ(row->textField()->font().pointSize, 16.0);
  row->setAdjustsFontSizeToFitWidth(true);
  EXPECT_LT(row->textField()->font().pointSize, 16.0);
  EXPECT_GE(row->textField()->font().pointSize, 8.0);
  row->setValue(1);
  EXPECT_EQ(row->textField()->font().pointSize, 16.0);
}

}  // namespace
