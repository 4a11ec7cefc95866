#include "controls/ti_touch_frequency_count_button.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/window.h"

namespace {

using platform::TouchPhase;
using Input = platform::Window::TouchInput;

// Taps the button through a window at given times (seconds) and records
// the tempo of each value-changed event and the order of the events.
class TapTempoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_shared<platform::Window>(platform::Rect{0, 0, 736, 414});
    button = std::make_shared<TITouchFrequencyCountButton>(platform::Rect{100, 100, 62.5, 48.5});
    window->addSubview(button);
    button->addTarget(this, "tempo", [this](platform::Control&) {
      events.push_back("value");
      tempos.back() = button->valueAsFloat();
    }, platform::ControlEvents::ValueChanged);
    button->addTarget(this, "down", [this](platform::Control&) {
      events.push_back("down");
      litAtTouchDown = button->buttonState();
    }, platform::ControlEvents::TouchDown);
  }
  // One tap at `t` (finger down and up 0.05 s later); the tempo it
  // reported, if any.
  std::optional<float> tapAt(double t) {
    tempos.push_back(std::nullopt);
    window->sendTouches({Input{1, {120, 120}, TouchPhase::Began}}, base + t);
    window->sendTouches({Input{1, {120, 120}, TouchPhase::Ended}}, base + t + 0.05);
    return tempos.back();
  }
  std::vector<std::optional<float>> tapAll(const std::vector<double>& times) {
    std::vector<std::optional<float>> out;
    for (double t : times) out.push_back(tapAt(t));
    return out;
  }

  // Touch times are seconds since boot; a session some time after it.
  const double base = 5000.0;
  platform::WindowPtr window;
  std::shared_ptr<TITouchFrequencyCountButton> button;
  std::vector<std::optional<float>> tempos;
  std::vector<std::string> events;
  int64_t litAtTouchDown = -1;
};

TEST_F(TapTempoTest, IntervalsToTempos) {
  using T = std::vector<std::optional<float>>;
  const struct {
    const char* name;
    std::vector<double> times;
    T expected;
  } cases[] = {
      {"one tap reports nothing", {0.0}, {std::nullopt}},
      {"two taps 0.5 s apart", {0.0, 0.5}, {std::nullopt, 120.0f}},
      {"mean of 0.5 and 0.25", {0.0, 0.5, 0.75}, {std::nullopt, 120.0f, 160.0f}},
      {"a pause of exactly 1 s continues", {0.0, 0.5, 1.5}, {std::nullopt, 120.0f, 80.0f}},
      {"a pause of 1.01 s starts a new series", {0.0, 0.5, 1.51, 2.01}, {std::nullopt, 120.0f, std::nullopt, 120.0f}},
      {"the new series forgets the old intervals", {0.0, 0.25, 2.0, 2.5, 3.0}, {std::nullopt, 240.0f, std::nullopt, 120.0f, 120.0f}},
      {"taps at one instant are not counted", {0.0, 0.5, 0.5, 1.0}, {std::nullopt, 120.0f, std::nullopt, 120.0f}},
  };
  for (const auto& c : cases) {
    SetUp();  // a fresh button per case
    const T got = tapAll(c.times);
    ASSERT_EQ(got.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].has_value(), c.expected[i].has_value()) << c.name << " tap " << i;
      if (got[i]) {
        EXPECT_FLOAT_EQ(*got[i], *c.expected[i]) << c.name << " tap " << i;
      }
    }
  }
}

TEST_F(TapTempoTest, AverageCoversTheLast14IntervalsOnly) {
  // Six fast intervals (0.25 s), then fourteen slow ones (0.5 s): from the
  // 21st tap on only the slow ones count.
  std::vector<double> times = {0.0};
  for (int i = 0; i < 6; ++i) times.push_back(times.back() + 0.25);
  for (int i = 0; i < 14; ++i) times.push_back(times.back() + 0.5);
  const auto got = tapAll(times);
  ASSERT_EQ(got.size(), 21u);
  // Tap 15 (14 intervals: six fast, eight slow).
  EXPECT_FLOAT_EQ(*got[14], static_cast<float>(60.0 / ((6 * 0.25 + 8 * 0.5) / 14)));
  // Tap 16: still 14 intervals, now five fast.
  EXPECT_FLOAT_EQ(*got[15], static_cast<float>(60.0 / ((5 * 0.25 + 9 * 0.5) / 14)));
  EXPECT_FLOAT_EQ(*got[20], 120.0f);
  EXPECT_EQ(button->valueAsInt(), 120);
  EXPECT_EQ(button->tapCounter(), 21);
}

TEST_F(TapTempoTest, RingKeepsRunningAcrossSeries) {
  tapAll({0.0, 0.5, 1.0});
  EXPECT_EQ(button->position(), 3);
  tapAt(3.0);  // a new series: counter back to 1, position goes on
  EXPECT_EQ(button->tapCounter(), 1);
  EXPECT_EQ(button->position(), 4);
  EXPECT_DOUBLE_EQ(button->periods()[3], 2.0);
  EXPECT_EQ(button->periods()[1], 0.0);
}

TEST_F(TapTempoTest, ValueChangedComesBeforeTouchDownAndTheButtonIsLitWhileDown) {
  tapAt(0.0);
  events.clear();
  tempos.push_back(std::nullopt);
  window->sendTouches({Input{1, {120, 120}, TouchPhase::Began}}, base + 0.4);
  EXPECT_EQ(events, (std::vector<std::string>{"value", "down"}));
  EXPECT_EQ(litAtTouchDown, 1);
  EXPECT_EQ(button->buttonState(), 1);
  window->sendTouches({Input{1, {120, 120}, TouchPhase::Ended}}, base + 0.45);
  EXPECT_EQ(button->buttonState(), 0);
  EXPECT_FLOAT_EQ(button->valueAsFloat(), 150.0f);
}

TEST_F(TapTempoTest, ACancelledTapLeavesTheButtonDark) {
  window->sendTouches({Input{1, {120, 120}, TouchPhase::Began}}, base);
  EXPECT_EQ(button->buttonState(), 1);
  window->cancelAllTouches(base + 0.1);
  EXPECT_EQ(button->buttonState(), 0);
}

TEST_F(TapTempoTest, PlainModeMeasuresNothing) {
  // Sent through the base class, as to any panel button.
  static_cast<TIButton&>(*button).setNormalButtonMode(true);
  const auto got = tapAll({0.0, 0.5, 0.75});
  for (const auto& g : got) EXPECT_FALSE(g);
  EXPECT_EQ(button->tapCounter(), 0);
  EXPECT_EQ(button->position(), 0);
  EXPECT_EQ(button->previousTime(), 0.0);
  EXPECT_EQ(button->buttonState(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "down", "down"}));
  // A plain TIButton takes the message and ignores it: its states stay as
  // they were, and in a window a tap still only sends its TouchDown.
  auto plain = std::make_shared<TIButton>(platform::Rect{300, 100, 62.5, 48.5});
  window->addSubview(plain);
  int plainDowns = 0;
  plain->addTarget(this, "plainDown", [&](platform::Control&) { ++plainDowns; }, platform::ControlEvents::TouchDown);
  plain->setButtonState(1);
  plain->setButtonPossibilityState(1);
  for (bool normal : {true, false}) {
    plain->setNormalButtonMode(normal);
    EXPECT_EQ(plain->buttonState(), 1) << normal;
    EXPECT_EQ(plain->buttonPossibilityState(), 1) << normal;
    window->sendTouches({Input{2, {320, 120}, TouchPhase::Began}}, base + 10.0);
    window->sendTouches({Input{2, {320, 120}, TouchPhase::Ended}}, base + 10.05);
    EXPECT_EQ(plain->buttonState(), 1) << normal;
  }
  EXPECT_EQ(plainDowns, 2);
  plain->removeTarget(this, "plainDown", platform::ControlEvents::TouchDown);
}

TEST_F(TapTempoTest, TitleIsStoredWhateverTheState) {
  button->setTitle("TAP", 4);
  EXPECT_EQ(button->title(), "TAP");
}

}  // namespace
