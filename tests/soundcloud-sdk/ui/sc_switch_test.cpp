#include "soundcloud-sdk/ui/sc_switch.h"

#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/widgets.h"
#include "soundcloud-sdk/ui/sc_bundle.h"

using namespace scui;
using platform::Point;
using platform::Rect;

namespace {

class SwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
    SCBundle::forgetForTesting();
    window_ = hb_.makeWindow();
    scroll_ = std::make_shared<platform::ScrollView>(Rect{0, 0, 320, 480});
    window_->addSubview(scroll_);
    sw_ = std::make_shared<SCSwitch>();
    sw_->setFrame({100, 100, 105, 28});
    sw_->addTarget(this, "changed", [this](platform::Control&) { ++changes_; }, platform::ControlEvents::ValueChanged);
    scroll_->addSubview(sw_);
    sw_->layoutIfNeeded();
  }
  void TearDown() override {
    platform::Bundle::setMainBundlePath(std::nullopt);
    SCBundle::forgetForTesting();
  }
  // A point of the switch in window coordinates.
  Point at(double x, double y = 14) { return sw_->convertPointTo({x, y}, nullptr); }
  // Drags the handle from its middle to put its left edge at `offset`.
  void dragHandleTo(double offset) {
    const double w = sw_->handleWidth();
    hb_.touchDown(at(sw_->handleOffset() + w / 2));
    hb_.touchMove(at((sw_->handleOffset() + w / 2 + offset + w / 2) / 2));
    hb_.touchMove(at(offset + w / 2));
    hb_.touchUp(at(offset + w / 2));
  }

  platform::HeadlessBackend hb_{{320, 480}, 1.0};
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::ScrollView> scroll_;
  std::shared_ptr<SCSwitch> sw_;
  int changes_ = 0;
};

TEST_F(SwitchTest, DefaultGeometry) {
  SCSwitch plain;
  EXPECT_EQ(plain.frame(), (Rect{0, 0, 105, 28}));
  EXPECT_TRUE(plain.isOn());
  EXPECT_NEAR(plain.handleWidth(), 46.667, 1e-3);
  EXPECT_NEAR(plain.handleOffset(), 58.333, 1e-3);
  EXPECT_NEAR(plain.onRect().maxX(), plain.handleRect().midX(), 1e-9);
  EXPECT_NEAR(plain.offRect().minX(), plain.handleRect().midX(), 1e-9);
  EXPECT_EQ(plain.onLabel().text(), "ON");
  EXPECT_EQ(plain.offLabel().text(), "OFF");
  EXPECT_TRUE(plain.maskImage());
  plain.setOn(false);
  EXPECT_EQ(plain.handleOffset(), 0);
  EXPECT_EQ(plain.sizeThatFits({3, 4}), (platform::Size{3, 4}));
  const auto& order = plain.subviews();
  ASSERT_EQ(order.size(), 4u);
  EXPECT_EQ(order[0].get(), &plain.onLabel());
  EXPECT_EQ(order[3].get(), &plain.overlayView());
}

TEST_F(SwitchTest, ATapTogglesAndSetOnSendsNothing) {
  hb_.tap(at(10));
  EXPECT_FALSE(sw_->isOn());
  EXPECT_EQ(changes_, 1);
  hb_.advance(1.0);
  EXPECT_NEAR(sw_->handleView().frame().minX(), 0, 1e-9);
  hb_.tap(at(100));
  EXPECT_TRUE(sw_->isOn());
  EXPECT_EQ(changes_, 2);
  sw_->setOn(false);
  sw_->setOn(true, true);
  EXPECT_EQ(changes_, 2);
  // Just outside a small switch, inside the 120 x 45 area around it.
  hb_.tap(sw_->convertPointTo({-6, -7}, nullptr));
  EXPECT_FALSE(sw_->isOn());
  EXPECT_EQ(changes_, 3);
  hb_.tap(sw_->convertPointTo({-20, 14}, nullptr));
  EXPECT_EQ(changes_, 3);
}

TEST_F(SwitchTest, DragReleasesDecideByTheHandlesPlace) {
  const double travel = 105 - sw_->handleWidth();
  struct Case {
    bool startOn;
    double fraction;
    bool endOn;
    int events;
  } cases[] = {{true, 0.05, false, 1}, {true, 0.5, false, 1}, {false, 0.5, true, 1}, {true, 0.95, true, 0},
               {false, 0.95, true, 1}, {false, 0.02, false, 0}};
  for (const auto& c : cases) {
    sw_->setOn(c.startOn);
    sw_->layoutIfNeeded();
    changes_ = 0;
    dragHandleTo(c.fraction * travel);
    EXPECT_EQ(sw_->isOn(), c.endOn) << c.startOn << " " << c.fraction;
    EXPECT_EQ(changes_, c.events) << c.startOn << " " << c.fraction;
    hb_.advance(1.0);
    EXPECT_NEAR(sw_->handleView().frame().minX(), c.endOn ? travel : 0, 0.01);
  }
}

TEST_F(SwitchTest, ScrollingIsOffWhileTouchedAndDisabledSwitchesIgnoreTouches) {
  hb_.touchDown(at(80));
  EXPECT_FALSE(scroll_->isScrollEnabled());
  EXPECT_TRUE(sw_->handleView().isHighlighted());
  hb_.touchCancel();
  EXPECT_TRUE(scroll_->isScrollEnabled());
  EXPECT_FALSE(sw_->handleView().isHighlighted());
  EXPECT_TRUE(sw_->isOn());
  sw_->setEnabled(false);
  EXPECT_EQ(sw_->onLabel().alpha(), 0.5);
  EXPECT_EQ(sw_->offLabel().alpha(), 0.5);
  hb_.tap(at(10));
  EXPECT_TRUE(sw_->isOn());
  EXPECT_EQ(changes_, 0);
}

TEST_F(SwitchTest, TheHalvesAreDrawnWhereTheHandleLeavesThem) {
  auto img = hb_.renderView(*sw_);
  // On: the blue half shows left of the handle.
  auto left = img->pixel(10, 14);
  EXPECT_GT(left.b, 150);
  EXPECT_LT(left.r, 80);
  sw_->setOn(false);
  sw_->layoutIfNeeded();
  img = hb_.renderView(*sw_);
  auto right = img->pixel(95, 14);
  EXPECT_GT(right.r, 200);
  EXPECT_LT(right.b, 80);
}

class Rows : public platform::TableViewDataSource {
 public:
  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override { return section == 0 ? 1 : 3; }
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override {
    return std::make_shared<platform::TableViewCell>(platform::TableViewCell::Style::Default, "c");
  }
};

TEST(CellBackground, PositionsAndOutlines) {
  platform::HeadlessBackend hb({320, 480}, 1.0);
  Rows rows;
  platform::TableView grouped({0, 0, 320, 400}, platform::TableView::Style::Grouped);
  grouped.setDataSource(&rows);
  platform::TableView plain({0, 0, 320, 400}, platform::TableView::Style::Plain);
  plain.setDataSource(&rows);
  EXPECT_EQ(scCellPositionForIndexPath(grouped, {0, 0}), SCTableCellBackgroundView::Only);
  EXPECT_EQ(scCellPositionForIndexPath(grouped, {1, 0}), SCTableCellBackgroundView::First);
  EXPECT_EQ(scCellPositionForIndexPath(grouped, {1, 1}), SCTableCellBackgroundView::Middle);
  EXPECT_EQ(scCellPositionForIndexPath(grouped, {1, 2}), SCTableCellBackgroundView::Last);
  EXPECT_EQ(scCellPositionForIndexPath(plain, {0, 0}), SCTableCellBackgroundView::Middle);

  auto cell = std::make_shared<SCTableCellBackgroundView>(Rect{0, 0, 200, 44});
  cell->setBackgroundColor(platform::Color::whiteColor());
  EXPECT_EQ(cell->backgroundColor(), platform::Color::clear());
  cell->setBorderColor(platform::Color::rgba(1, 0, 0));
  struct Case {
    int32_t position;
    bool roundTop, roundBottom;
  } cases[] = {{0, true, false}, {1, false, false}, {2, false, true}, {3, true, true}};
  for (const auto& c : cases) {
    cell->setPosition(c.position);
    const auto p = cell->outline();
    EXPECT_EQ(p.contains({1.5, 1.5}), !c.roundTop) << c.position;
    EXPECT_EQ(p.contains({1.5, 42.5}), !c.roundBottom) << c.position;
    auto img = hb.renderView(*cell);
    // The top edge exists only where the cell starts its section.
    const auto top = img->pixel(100, 0);
    EXPECT_EQ(top.r > 200 && top.g < 100, c.roundTop) << c.position;
    const auto side = img->pixel(0, 22);
    EXPECT_GT(side.r, 200) << c.position;
    EXPECT_EQ(img->pixel(100, 22), (platform::Image::RGBA{255, 255, 255, 255})) << c.position;
  }
}

}  // namespace
