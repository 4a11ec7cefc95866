#include "controls/ui_slider_button.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "control_test_support.h"
#include "engine/settings/global_settings.h"
#include "platform/ui/headless/headless_backend.h"

using namespace platform;

namespace {

constexpr double kPi = 3.14159265358979323846;

class KnobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = hb.makeWindow();
    knob = make({0, 127}, 64);
  }

  std::shared_ptr<UISliderButton> make(std::pair<int64_t, int64_t> range, int64_t value) {
    if (knob) knob->removeFromSuperview();
    auto k = std::make_shared<UISliderButton>(Rect(origin.x, origin.y, 53, 53));
    k->setMaxValue(range.second);
    k->setMinValue(range.first);
    k->setValue(value);
    k->setRotateResolution(128);
    k->addTarget(nullptr, "setParameter:", [this](Control&) { ++changes; }, ControlEvents::ValueChanged);
    window->addSubview(k);
    changes = 0;
    return k;
  }

  Point win(Point local) const { return {origin.x + local.x, origin.y + local.y}; }
  // A point at `radius` from the knob's centre, `degrees` clockwise from
  // the +x axis on screen.
  static Point around(double degrees, double radius = 20) {
    const double r = degrees * kPi / 180.0;
    return {26.5 + radius * std::cos(r), 26.5 + radius * std::sin(r)};
  }

  // Down at `p`, then after the dead time a move on the spot: the move that
  // only re-anchors. Counted moves follow with move().
  void grab(Point p) {
    hb.touchDown(win(p));
    hb.advance(0.2);
    hb.touchMove(win(p));
  }
  void move(Point p, double dt = 0.02) {
    hb.advance(dt);
    hb.touchMove(win(p));
  }
  void release(Point p, double dt = 0.02) {
    hb.advance(dt);
    hb.touchUp(win(p));
  }

  HeadlessBackend hb;
  std::shared_ptr<Window> window;
  Point origin{100, 100};
  std::shared_ptr<UISliderButton> knob;
  int changes = 0;
};

struct LinearCase {
  const char* name;
  std::pair<int64_t, int64_t> range;
  double sensitivity;
  int64_t start;
  std::vector<double> upward;     // finger height above the anchor after each move
  std::vector<int64_t> expected;  // value after each move
};

TEST_F(KnobTest, LinearDragsTable) {
  const LinearCase cases[] = {
      {"3.7 up is +3, the fraction is dropped, slow moves accumulate", {0, 127}, 1.0, 64, {3.7, 4.2, 4.7}, {67, 67, 68}},
      {"a range of 12 takes 10 points per step", {0, 12}, 1.0, 6, {9, 10, 25}, {6, 7, 8}},
      {"down lowers and clamps", {0, 127}, 1.0, 10, {-5.5, -30}, {5, 0}},
      {"the dial's sensitivity", {0, 415}, 0.27, 100, {10, 20}, {102, 104}},
      {"up stops at the maximum", {0, 127}, 1.0, 120, {20}, {127}},
  };
  for (const LinearCase& c : cases) {
    knob = make(c.range, c.start);
    knob->setKnobMode(0);
    knob->setSensitivity(c.sensitivity);
    const Point anchor{26.5, 40};
    grab(anchor);
    EXPECT_EQ(knob->value(), c.start) << c.name;
    for (size_t i = 0; i < c.upward.size(); ++i) {
      move({anchor.x, anchor.y - c.upward[i]});
      EXPECT_EQ(knob->value(), c.expected[i]) << c.name << " move " << i;
    }
    release({anchor.x, anchor.y - c.upward.back()});
    EXPECT_EQ(knob->value(), c.expected.back()) << c.name << " (no flick after a slow drag)";
  }
}

TEST_F(KnobTest, MovesInTheDeadTimeAreIgnoredAndAFlickIsOneStep) {
  knob->setKnobMode(0);
  // 15 points up within 0.1 s: the moves fall in the dead time, the release flicks.
  hb.touchDown(win({26.5, 40}));
  move({26.5, 35}, 0.03);
  move({26.5, 30}, 0.03);
  EXPECT_EQ(knob->value(), 64);
  release({26.5, 25}, 0.04);
  EXPECT_EQ(knob->value(), 65);
  EXPECT_EQ(changes, 1);
  // The same movement over 0.3 s is tracked and does not flick.
  hb.touchDown(win({26.5, 40}));
  hb.advance(0.2);
  hb.touchMove(win({26.5, 30}));  // re-anchors only
  move({26.5, 25}, 0.05);
  release({26.5, 25}, 0.05);
  EXPECT_EQ(knob->value(), 70);
}

struct FlickCase {
  double dx, dy, seconds;
  int delta;
};

TEST_F(KnobTest, FlickDirectionTable) {
  const FlickCase cases[] = {
      {0, -15, 0.1, +1}, {0, 15, 0.1, -1},  {15, 0, 0.1, +1},   {-15, 0, 0.1, -1},
      {8, -8, 0.1, +1},  // a tie counts as vertical: upward
      {-8, 8, 0.1, -1},  {5, -5, 0.05, 0},  // not more than 10 points
      {0, -10, 0.1, 0},  // exactly 10 points is not more than 10
      {0, -30, 0.13, 0},  // too slow
  };
  knob->setKnobMode(0);
  for (const FlickCase& c : cases) {
    knob->setValue(64);
    const Point start{26.5, 30};
    hb.touchDown(win(start));
    hb.advance(c.seconds);
    hb.touchUp(win({start.x + c.dx, start.y + c.dy}));
    EXPECT_EQ(knob->value(), 64 + c.delta) << c.dx << "," << c.dy << " in " << c.seconds;
  }
}

TEST_F(KnobTest, AbsoluteKnobFollowsTheFingerAngle) {
  knob = make({0, 127}, 10);
  knob->setKnobMode(1);
  grab(around(-90));  // straight up
  EXPECT_EQ(knob->value(), 10);
  move(around(-90));
  // The first counted move goes half way: (10 + 64) / 2.
  EXPECT_EQ(knob->value(), 37);
  move(around(-90));
  EXPECT_EQ(knob->value(), 64);  // 63.5 rounded half away from zero
  move(around(180));             // 9 o'clock: a = 0 -> 127 * 60 / 300
  EXPECT_EQ(knob->value(), 25);
  move(around(120));  // 30 degrees left of straight down
  EXPECT_EQ(knob->value(), 0);
  move(around(0));  // 3 o'clock: a = 180 -> 127 * 240 / 300 = 101.6
  EXPECT_EQ(knob->value(), 102);
  move(around(60));  // 30 degrees right of straight down
  EXPECT_EQ(knob->value(), 127);
  // Inside the dead band (width / 8 = 6.625) nothing changes.
  move({30, 31});
  EXPECT_EQ(knob->value(), 127);
  release(around(60));
}

TEST_F(KnobTest, SlidingAcrossTheBottomGapPinsTheEndItCameFrom) {
  knob = make({0, 127}, 64);
  knob->setKnobMode(1);
  grab(around(-90));
  move(around(-90));  // the half-way first move
  move(around(100));  // lower left, below the minimum's angle
  EXPECT_EQ(knob->value(), 0);
  move(around(80));  // across the gap into the lower right
  EXPECT_EQ(knob->value(), 0);
  move(around(60));  // still lower right: pinned
  EXPECT_EQ(knob->value(), 0);
  EXPECT_EQ(knob->previousFingerPosition(), 0);
  move(around(-10));  // up into the upper half, 10 degrees above 3 o'clock: 127 * 230 / 300
  EXPECT_EQ(knob->value(), 97);
  move(around(60));  // and down the right side to the maximum
  EXPECT_EQ(knob->value(), 127);
  move(around(100));  // across the gap the other way pins the maximum
  EXPECT_EQ(knob->value(), 127);
  release(around(100));
  // With infinite rotation there is no guard.
  knob = make({0, 127}, 64);
  knob->setKnobMode(1);
  knob->setInfiniteRotationMode(true);
  grab(around(-90));
  move(around(-90.5));
  move(around(100));
  move(around(80));
  EXPECT_GT(knob->value(), 120);
  release(around(80));
}

TEST_F(KnobTest, EncoderStepsEvery15DegreesAndCarriesTheRest) {
  knob = make({0, 415}, 50);
  knob->setKnobMode(1);
  knob->setEncoderMode(true);
  knob->setRotateResolution(24);
  grab(around(0));
  move(around(20));
  EXPECT_EQ(knob->value(), 51);
  EXPECT_NEAR(knob->fracDegree(), 5.0f, 1e-3);
  move(around(13));  // 7 degrees back
  EXPECT_EQ(knob->value(), 51);
  EXPECT_NEAR(knob->fracDegree(), -2.0f, 1e-3);
  move(around(-20));  // 33 back with -2 carried: -35 -> two steps down, -5 left
  EXPECT_EQ(knob->value(), 49);
  EXPECT_NEAR(knob->fracDegree(), -5.0f, 1e-3);
  // A full counter-clockwise turn across the 9 o'clock seam is 24 steps.
  for (int a = -40; a >= -380; a -= 20) move(around(a));
  EXPECT_EQ(knob->value(), 49 - 24);
  release(around(-380));
}

TEST_F(KnobTest, EncoderPictureFollowsTheFingerAndPushesAgainstBounds) {
  knob = make({0, 3}, 3);
  knob->setKnobMode(1);
  knob->setEncoderMode(true);
  knob->setRotateResolution(24);
  grab(around(90));  // straight down
  move(around(90));  // no turn: the picture is anchored to the finger
  EXPECT_EQ(knob->calcImageValue(), 0);
  move(around(180));  // the finger at 9 o'clock, 90 degrees clockwise from down
  EXPECT_EQ(knob->value(), 3);  // pushed against the maximum
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(knob->calcImageValue(), 6);
  move(around(270));  // 12 o'clock
  EXPECT_EQ(knob->calcImageValue(), 12);
  release(around(270));
}

TEST_F(KnobTest, RotaryModeTrackings) {
  // Linear gesture with rotary mode: one step per 6 points, from the touch-down point.
  knob = make({0, 127}, 10);
  knob->setKnobMode(0);
  knob->setRotaryMode(true);
  grab({26.5, 40});
  move({26.5, 28});
  EXPECT_EQ(knob->value(), 12);
  EXPECT_FLOAT_EQ(knob->floatValue(), 12.0f);
  move({26.5, 25});
  EXPECT_EQ(knob->value(), 12);  // 2.5 steps
  EXPECT_FLOAT_EQ(knob->floatValue(), 12.5f);
  release({26.5, 25});
  // Rotary gesture with rotary mode: 15 degrees per step, no slack past an end.
  knob = make({0, 5}, 4);
  knob->setKnobMode(1);
  knob->setRotaryMode(true);
  grab(around(0));
  move(around(30));
  move(around(60));
  EXPECT_EQ(knob->value(), 5);
  EXPECT_FLOAT_EQ(knob->rotaryDegree(), 15.0f);
  move(around(45));
  EXPECT_EQ(knob->value(), 4);
  release(around(45));
}

struct TranslationCase {
  std::pair<int64_t, int64_t> range;
  bool infinite;
  int64_t in;
  int64_t out;
};

TEST_F(KnobTest, WrapAndClampTable) {
  const TranslationCase cases[] = {
      {{0, 9}, true, 12, 2},   {{0, 9}, true, -1, 9},    {{0, 9}, true, 25, 5},  {{0, 9}, true, 9, 9},
      {{0, 7}, true, 8, 0},    {{0, 7}, true, -1, 7},    {{5, 5}, true, 7, 5},   {{5, 5}, true, 3, 5},
      {{0, 127}, false, 200, 127}, {{0, 127}, false, -5, 0}, {{0, 127}, false, 77, 77},
  };
  for (const TranslationCase& c : cases) {
    knob = make(c.range, c.range.first);
    knob->setInfiniteRotationMode(c.infinite);
    EXPECT_EQ(knob->valueTranslation(c.in), c.out) << c.in << " in " << c.range.first << ".." << c.range.second;
  }
  // Clamping moves the origin by what was cut off.
  knob = make({0, 3}, 0);
  knob->valueTranslation(5);
  EXPECT_EQ(knob->originValue(), -2);
  knob->valueTranslation(-4);
  EXPECT_EQ(knob->originValue(), 2);
}

TEST_F(KnobTest, BoundsAreSetMaximumFirst) {
  auto k = std::make_shared<UISliderButton>(Rect(0, 0, 53, 53));
  k->setMinValue(5);
  EXPECT_EQ(k->minValue(), 0);  // limited by the maximum 0
  k->setMaxValue(127);
  k->setMinValue(5);
  EXPECT_EQ(k->minValue(), 5);
  k->setMaxValue(3);
  EXPECT_EQ(k->maxValue(), 5);  // not below the minimum
  k->setMinValue(200);
  EXPECT_EQ(k->minValue(), 5);
}

TEST_F(KnobTest, SetValueIsUncheckedAndOnlyTouchesSendValueChanged) {
  knob->setKnobMode(0);
  knob->setValue(200);
  EXPECT_EQ(knob->value(), 200);
  EXPECT_EQ(changes, 0);
  hb.touchDown(win({26.5, 40}));
  hb.advance(0.05);
  hb.touchUp(win({26.5, 20}));  // flick: 201 clamps to 127
  EXPECT_EQ(knob->value(), 127);
  EXPECT_EQ(changes, 1);
  knob->changeValue(127);
  EXPECT_EQ(changes, 1);  // no change, no event
}

TEST_F(KnobTest, AKnobWithoutRangeIgnoresMovesButTranslatesAFlick) {
  knob = make({0, 0}, 0);
  knob->setKnobMode(0);
  grab({26.5, 40});
  move({26.5, 10});
  EXPECT_EQ(knob->value(), 0);
  release({26.5, 10});
  hb.touchDown(win({26.5, 40}));
  hb.advance(0.05);
  hb.touchUp(win({26.5, 20}));
  EXPECT_EQ(knob->value(), 0);
  EXPECT_EQ(changes, 0);
}

TEST_F(KnobTest, KnobModeFollowsTheGlobalSettingAtEachTouchDownUntilFixed) {
  char tmpl[] = "/tmp/igb-knob-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  GlobalSettings* settings = createGlobalSettings(tmpl, tmpl);
  settings->set(GlobalSettings::kKnobMode, 1);
  knob = make({0, 127}, 10);
  EXPECT_EQ(knob->knobOperationMode(), 1);  // read at creation
  settings->set(GlobalSettings::kKnobMode, 0);
  grab({26.5, 40});
  EXPECT_EQ(knob->knobOperationMode(), 0);  // and again at touch-down
  move({26.5, 35});
  EXPECT_EQ(knob->value(), 15);  // linear
  release({26.5, 35});
  knob->setKnobMode(1);
  EXPECT_FALSE(knob->useGlobalknobMode());
  grab(around(-90));
  EXPECT_EQ(knob->knobOperationMode(), 1);
  release(around(-90));
  destroyGlobalSettings();
  std::filesystem::remove_all(tmpl);
}

TEST_F(KnobTest, FrameChoiceAndCropping) {
  knob->setValue(37);
  EXPECT_EQ(knob->calcImageValue(), 37);
  knob->setValue(-1);
  EXPECT_EQ(knob->calcImageValue(), 127);  // modulo into 0..resolution-1
  knob->setRotateResolution(0);
  EXPECT_EQ(knob->calcImageValue(), -1);
  knob->setRotateResolution(24);
  knob->setEncoderMode(true);
  knob->setIsDialLocked(true);
  knob->setValue(10);
  const int64_t frame = knob->calcImageValue();
  knob->setValue(17);
  EXPECT_EQ(knob->calcImageValue(), frame);  // the locked dial keeps its picture
  knob->setIsDialLocked(false);
  knob->setValue(18);
  EXPECT_EQ(knob->calcImageValue(), (frame + 1) % 24);

  auto strip = controls_test::numberedStrip(8, 10);
  knob->setRotateResolution(8);
  auto cut = knob->cropImage(strip, 3);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->size(), (Size{10, 10}));
  EXPECT_EQ(cut->scale(), 2.0);
  EXPECT_EQ(cut->pixel(5, 5).r, 3);
  EXPECT_FALSE(knob->cropImage(strip, -1));
  EXPECT_FALSE(knob->cropImage(nullptr, 0));
}

TEST_F(KnobTest, DrawsTheValuesFrameFromTheStripOfItsState) {
  auto strip = controls_test::numberedStrip(128, 53);
  auto activeStrip = controls_test::solid(Color::rgba(0, 1, 0), {53, 53 * 128});
  knob->setBaseImage(strip);
  knob->setBaseImageActive(activeStrip);
  knob->setValue(37);
  const Point centre = win({26.5, 26.5});
  auto shot = hb.render();
  EXPECT_EQ(shot->pixelAt(centre), (Image::RGBA{37, 0, 218, 255}));
  // While a finger is on it the active strip shows.
  hb.touchDown(centre);
  shot = hb.render();
  EXPECT_EQ(shot->pixelAt(centre), (Image::RGBA{0, 255, 0, 255}));
  hb.advance(0.3);
  hb.touchUp(centre);
  // Disabled: half transparent.
  knob->setEnabled(false);
  shot = hb.render();
  EXPECT_NEAR(shot->pixelAt(centre).a, 128, 1);
  // No frames: nothing at all.
  knob->setEnabled(true);
  knob->setRotateResolution(0);
  shot = hb.render();
  EXPECT_EQ(shot->pixelAt(centre).a, 0);
}

}  // namespace
