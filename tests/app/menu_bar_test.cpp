// The menu bar: the strip slides in and out with the panel's menu button,
// lays out its six buttons with and without Link, and each button runs the
// screen action installed for it.

#include <gtest/gtest.h>

#include "app/gbx_menu_bar_view_controller.h"
#include "app/headless_app.h"
#include "controls/ui_lcd_view.h"
#include "platform/ui/button.h"

namespace CE = platform::ControlEvents;

namespace {

class MenuBarTest : public HeadlessAppTest {
 protected:
  static platform::Point menuButton() { return centre(23, 125, 62.5, 24); }
};

double x(platform::Button* b) { return b->frame().origin.x; }

}  // namespace

TEST_F(MenuBarTest, TheMenuButtonSlidesTheStripDownAndBackUp) {
  start();
  Z31647ViewController& c = *ctl();
  GBXMenuBarViewController* bar = c.menuBarViewController();
  ASSERT_NE(bar, nullptr);
  platform::View* strip = bar->view();
  EXPECT_EQ(strip->superview(), c.view());
  EXPECT_EQ(strip->frame(), (platform::Rect{0, -32, 736, 32})) << "hidden above the top edge at first";
  ASSERT_TRUE(strip->backgroundColor());
  EXPECT_EQ(*strip->backgroundColor(), platform::Color::white(0.0, 0.8));
  for (int round = 0; round < 2; ++round) {
    tap(menuButton());
    EXPECT_TRUE(c.menuButton()->isSelected());
    EXPECT_EQ(strip->frame(), (platform::Rect{0, 0, 736, 32}));
    EXPECT_TRUE(strip->layer().hasAnimations()) << "it slides";
    EXPECT_TRUE(pumpUntil([&] { return !strip->layer().hasAnimations(); }));
    tap(menuButton());
    EXPECT_FALSE(c.menuButton()->isSelected());
    EXPECT_EQ(strip->frame(), (platform::Rect{0, -32, 736, 32}));
    EXPECT_TRUE(pumpUntil([&] { return !strip->layer().hasAnimations(); }));
  }
  // A layout pass keeps the strip where the menu button says.
  tap(menuButton());
  c.view()->setNeedsLayout();
  c.view()->layoutIfNeeded();
  EXPECT_EQ(strip->frame(), (platform::Rect{0, 0, 736, 32}));
}

TEST_F(MenuBarTest, ButtonsSitAtAFiftyPointPitchAndHelpTakesLinksPlaceWithoutLink) {
  struct Case {
    bool link;
    double help;
  };
  for (const Case& k : {Case{true, 275}, Case{false, 225}}) {
    auto bar = std::make_shared<GBXMenuBarViewController>([link = k.link] { return link; });
    bar->view()->setFrame({0, 0, 1024, 32});
    bar->viewWillLayoutSubviews();
    EXPECT_EQ(x(bar->browserButton()), 25);
    EXPECT_EQ(x(bar->settingButton()), 75);
    EXPECT_EQ(x(bar->fileButton()), 125);
    EXPECT_EQ(x(bar->exportButton()), 175);
    EXPECT_EQ(x(bar->helpButton()), k.help);
    EXPECT_EQ(bar->abletonLinkButton()->isHidden(), !k.link);
    if (k.link) {
      EXPECT_EQ(bar->abletonLinkButton()->frame(), (platform::Rect{225, 3, 25, 25}));
    }
    for (platform::Button* b : {bar->browserButton(), bar->settingButton(), bar->exportButton(), bar->fileButton(),
                                bar->helpButton()}) {
      EXPECT_EQ(b->frame().size, (platform::Size{25, 25}));
      EXPECT_EQ(b->frame().origin.y, 3);
      EXPECT_EQ(b->buttonType(), platform::Button::Type::System);
    }
    EXPECT_EQ(bar->abletonLinkButton()->buttonType(), platform::Button::Type::Custom);
  }
  // No answer about Link counts as none.
  auto bare = std::make_shared<GBXMenuBarViewController>(nullptr);
  bare->view();
  EXPECT_TRUE(bare->abletonLinkButton()->isHidden());
}

TEST_F(MenuBarTest, EachButtonRunsTheScreenInstalledForItWithItselfAsAnchor) {
  start();
  Z31647ViewController& c = *ctl();
  GBXMenuBarViewController& bar = *c.menuBarViewController();
  using Item = Z31647ViewController::MenuBarItem;
  std::vector<std::pair<Item, platform::Button*>> opened;
  const std::pair<Item, platform::Button*> rows[] = {{Item::Browser, bar.browserButton()},
                                                     {Item::Settings, bar.settingButton()},
                                                     {Item::Export, bar.exportButton()},
                                                     {Item::File, bar.fileButton()},
                                                     {Item::Help, bar.helpButton()}};
  // Nothing installed: nothing happens.
  for (const auto& [item, button] : rows) button->sendActionsForControlEvents(CE::TouchUpInside);
  for (const auto& [item, button] : rows) {
    c.setMenuBarAction(item, [&opened, item = item](platform::Button* sender) { opened.emplace_back(item, sender); });
  }
  tap(centre(23, 125, 62.5, 24));  // the strip comes down
  pump(0.25);
  for (const auto& [item, button] : rows) {
    const platform::Rect f = button->frame();
    tap({f.midX(), f.midY()});
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.back(), std::make_pair(item, button));
  }
  EXPECT_EQ(opened.size(), 5u);
  for (platform::Button* b : {bar.browserButton(), bar.settingButton(), bar.exportButton(), bar.fileButton(),
                              bar.helpButton(), bar.abletonLinkButton()}) {
    EXPECT_TRUE(b->backgroundImageForState(platform::ControlState::Normal)) << "its icon comes from the bundle";
  }
  EXPECT_TRUE(bar.abletonLinkButton()->backgroundImageForState(platform::ControlState::Selected));
  if (const char* keep = std::getenv("IGB_MENU_PNG"); keep && *keep) {
    ASSERT_TRUE(headlessBackend().renderToPNG(keep));
  }
  // The LCD opens the browser too, with no anchor.
  c.lcdView()->sendActionsForControlEvents(CE::TouchUpInside);
  EXPECT_EQ(opened.back(), std::make_pair(Item::Browser, static_cast<platform::Button*>(nullptr)));
  EXPECT_TRUE(c.menuButton()->isSelected()) << "opening a screen does not slide the strip away";
}
