// The Link kit's settings screen (sections by the Link switch, the
// switches' effect on the handle and the stored settings, the peer-count
// texts) and its in-app banner (one banner for a burst of counts, the
// two-second dismissal, the switches that keep it away, its height).

#include <gtest/gtest.h>

#include "audio/link/localized_string.h"
#include "audio/link/screens/abl_notification_view.h"
#include "audio/link/screens/abl_settings_view_controller.h"
#include "audio/link/screens/link_screens.h"
#include "link_test_support.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/label.h"
#include "platform/ui/widgets.h"

using platform::IndexPath;

namespace {

class LinkSettingsScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_unique<platform::HeadlessBackend>();
    window = backend->makeWindow();
  }
  void TearDown() override {
    if (link) ABLLinkDelete(link);
    window.reset();
    backend.reset();
  }
  void make(bool startStopSupported = false) {
    place.setStartStopSyncSupported(startStopSupported);
    ABLLinkEnvironment env = linkScreensEnvironment(&place.defaults());
    env.bundle = &place.bundle();
    env.enabledSlot = [this](bool on) { enabledCalls.push_back(on); };
    link = ABLLinkNewWithEnvironment(120.0, std::move(env));
    // Link's network never starts here: the kit sees the app as inactive.
    ABLLinkSetAppActive(link, false);
    enabledCalls.clear();
    screen = ABLLinkSettingsViewController::instance(link);
    ASSERT_NE(screen, nullptr);
    window->setRootViewController(screen);
    backend->runPass();
  }
  platform::TableView& table() { return *screen->tableView(); }
  void flip(platform::Switch* s, bool on) {
    s->setOn(on);
    s->sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
    backend->runPass();
  }

  linktest::KitPlace place;
  std::unique_ptr<platform::HeadlessBackend> backend;
  std::shared_ptr<platform::Window> window;
  ABLLink* link = nullptr;
  std::shared_ptr<ABLSettingsViewController> screen;
  std::vector<bool> enabledCalls;
};

}  // namespace

TEST_F(LinkSettingsScreenTest, WithLinkOffOnlyTheSwitchAndTheDescriptionShow) {
  make();
  EXPECT_EQ(screen->title(), "Ableton Link");
  EXPECT_EQ(table().numberOfSections(), 1);
  EXPECT_EQ(table().numberOfRowsInSection(0), 1);
  platform::TableViewCell* cell = table().cellForRowAtIndexPath({0, 0});
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->textLabel().text(), "Ableton Link");
  ASSERT_NE(screen->linkSwitch(), nullptr);
  EXPECT_FALSE(screen->linkSwitch()->isOn());
  // The description under the switch, in English without the kit's bundle.
  ASSERT_NE(screen->descriptionFooter(), nullptr);
  EXPECT_EQ(screen->descriptionFooter()->superview(), &table());
  EXPECT_FALSE(screen->descriptionFooter()->isHidden());
  EXPECT_GT(screen->descriptionFooter()->frame().height(), 16.0);
  EXPECT_EQ(screen->descriptionLabel()->text(),
            "Link allows you to play in time with other Link-enabled peers that are on the same network.\n \n"
            "To create or join a session, enable Link.");
  EXPECT_EQ(screen->titleForFooterInSection(0), screen->descriptionLabel()->text());
  // Nothing beyond the table's sections answers.
  EXPECT_EQ(screen->numberOfRowsInSection(table(), 3), 0);
  EXPECT_EQ(screen->cellForRowAtIndexPath(table(), {0, 1}), nullptr);
  EXPECT_FALSE(screen->shouldHighlightRowAtIndexPath({0, 0}));
  EXPECT_EQ(ABLLinkSettingsViewController::instance(nullptr), nullptr);
}

TEST_F(LinkSettingsScreenTest, TheLinkSwitchStoresTurnsLinkOnAndShowsTheOtherSections) {
  make();
  flip(screen->linkSwitch(), true);
  EXPECT_TRUE(place.defaults().boolForKey(kABLLinkEnabledKey));
  EXPECT_TRUE(ABLLinkEnabled(link));
  EXPECT_EQ(enabledCalls, std::vector<bool>{true});
  EXPECT_EQ(table().numberOfSections(), 3);
  EXPECT_EQ(table().numberOfRowsInSection(1), 1) << "no start/stop sync without the app's support";
  EXPECT_TRUE(screen->descriptionFooter()->isHidden());
  EXPECT_EQ(screen->titleForFooterInSection(0), std::nullopt);
  EXPECT_EQ(screen->titleForHeaderInSection(table(), 2), "CONNECTED PEERS");
  platform::TableViewCell* notifications = table().cellForRowAtIndexPath({1, 0});
  ASSERT_NE(notifications, nullptr);
  EXPECT_EQ(notifications->textLabel().text(), "In-app notifications");
  EXPECT_EQ(notifications->detailTextLabel()->text(), "Get notified when apps join or leave");
  EXPECT_TRUE(screen->notificationsSwitch()->isOn()) << "notifications start on";
  platform::TableViewCell* status = table().cellForRowAtIndexPath({2, 0});
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->textLabel().text(), "No peers connected");
  EXPECT_EQ(table().rectForRowAtIndexPath({2, 0}).maxY() + ABLSettingsViewController::kBrowsingFooterHeight,
            table().contentSize().height)
      << "the browsing footer closes the table";
  if (const char* keep = std::getenv("IGB_LINK_SETTINGS_PNG"); keep && *keep) {
    ASSERT_TRUE(backend->renderToPNG(keep));
  }
  // The notifications switch only stores its setting.
  flip(screen->notificationsSwitch(), false);
  EXPECT_FALSE(place.defaults().boolForKey(kABLNotificationEnabledKey));
  EXPECT_FALSE(ABLLinkNotificationsEnabled(link));
  EXPECT_EQ(table().numberOfSections(), 3);
  // Off again: one section, and the count shows no peers.
  screen->setNumberOfPeers(4);
  flip(screen->linkSwitch(), false);
  EXPECT_FALSE(place.defaults().boolForKey(kABLLinkEnabledKey));
  EXPECT_EQ(enabledCalls, (std::vector<bool>{true, false}));
  EXPECT_EQ(table().numberOfSections(), 1);
  EXPECT_EQ(screen->numberOfPeers(), 0u);
  EXPECT_EQ(screen->statusText(), "No peers connected");
  EXPECT_FALSE(screen->descriptionFooter()->isHidden());
}

TEST_F(LinkSettingsScreenTest, TheSwitchAtTheHandlesOwnValueOnlyStoresTheSetting) {
  make();
  place.defaults().removeObjectForKey(kABLLinkEnabledKey);
  flip(screen->linkSwitch(), false);
  ASSERT_TRUE(place.defaults().objectForKey(kABLLinkEnabledKey));
  EXPECT_FALSE(place.defaults().boolForKey(kABLLinkEnabledKey));
  EXPECT_TRUE(enabledCalls.empty());
  EXPECT_EQ(table().numberOfSections(), 1);
}

TEST_F(LinkSettingsScreenTest, PeerCountsShowTheirTexts) {
  make();
  flip(screen->linkSwitch(), true);
  struct Case {
    uint64_t count;
    const char* text;
  };
  for (const Case& k : {Case{1, "Connected to 1 peer"}, Case{5, "Connected to 5 peers"}, Case{0, "No peers connected"},
                        Case{12, "Connected to 12 peers"}}) {
    screen->setNumberOfPeers(k.count);
    EXPECT_EQ(screen->numberOfPeers(), k.count);
    EXPECT_EQ(table().cellForRowAtIndexPath({2, 0})->textLabel().text(), k.text);
  }
}

TEST_F(LinkSettingsScreenTest, StartStopSyncWhereTheAppSupportsIt) {
  make(true);
  flip(screen->linkSwitch(), true);
  ASSERT_EQ(table().numberOfRowsInSection(1), 2);
  platform::TableViewCell* sync = table().cellForRowAtIndexPath({1, 1});
  ASSERT_NE(sync, nullptr);
  EXPECT_EQ(sync->textLabel().text(), "Sync Start/Stop");
  EXPECT_EQ(sync->detailTextLabel()->text(), "Send and listen to Start/Stop commands");
  EXPECT_FALSE(screen->startStopSyncSwitch()->isOn());
  flip(screen->startStopSyncSwitch(), true);
  EXPECT_TRUE(place.defaults().boolForKey(kABLStartStopSyncEnabledKey));
  EXPECT_TRUE(ABLLinkStartStopSyncOn(link));
  EXPECT_TRUE(screen->isStartStopSyncEnabled());
}

TEST_F(LinkSettingsScreenTest, RecreatedCellsShowTheCurrentStateAndADeletedHandleIsForgotten) {
  make();
  flip(screen->linkSwitch(), true);
  screen->setNumberOfPeers(2);
  platform::Switch* before = screen->linkSwitch();
  screen->recreateAllCells();
  backend->runPass();
  EXPECT_NE(screen->linkSwitch(), before);
  EXPECT_TRUE(screen->linkSwitch()->isOn());
  EXPECT_EQ(table().cellForRowAtIndexPath({2, 0})->textLabel().text(), "Connected to 2 peers");
  ABLLinkDelete(link);
  link = nullptr;
  EXPECT_EQ(screen->link(), nullptr);
  EXPECT_FALSE(screen->isEnabled());
  flip(screen->linkSwitch(), false);  // nothing to act on: no crash, nothing stored
  EXPECT_TRUE(place.defaults().boolForKey(kABLLinkEnabledKey));
}

// ---- the banner ----------------------------------------------------------------------------

namespace {

class Launched : public platform::ApplicationDelegate {};

class LinkBannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = std::make_unique<platform::HeadlessBackend>();
    ASSERT_TRUE(backend->launch(std::make_shared<Launched>()));
    window = backend->makeWindow();
    place.defaults().setBool(true, kABLNotificationEnabledKey);
  }
  void TearDown() override {
    // Whatever banner is up leaves before the next case.
    ABLNotificationView::dismissNotificationIfNeeded();
    backend->advance(1.0);
    window.reset();
    backend.reset();
  }
  void show(unsigned long count) {
    ABLNotificationView::showNotificationMessage(count, &place.defaults());
    backend->runPass();
  }
  ABLNotificationView* banner() { return ABLNotificationView::currentView(); }

  linktest::KitPlace place;
  std::unique_ptr<platform::HeadlessBackend> backend;
  std::shared_ptr<platform::Window> window;
};

}  // namespace

TEST_F(LinkBannerTest, ABurstOfCountsIsOneBannerDismissedTwoSecondsAfterTheLast) {
  show(1);
  ABLNotificationView* first = banner();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->messageLabel()->text(), "1 Link");
  EXPECT_EQ(first->frame(), (platform::Rect{0, 0, 736, 34})) << "sliding down to the top edge";
  ASSERT_NE(ABLNotificationView::notificationLayer(), nullptr);
  EXPECT_EQ(ABLNotificationView::notificationLayer()->superview(), window.get());
  EXPECT_FALSE(ABLNotificationView::notificationLayer()->isUserInteractionEnabled());
  ASSERT_TRUE(first->backgroundColor());
  EXPECT_EQ(*first->backgroundColor(), ABLNotificationView::bannerColor());
  backend->advance(0.4);  // in: the two seconds start
  EXPECT_TRUE(ABLNotificationView::hasPendingDismissal());
  backend->advance(0.3);
  show(2);
  backend->advance(0.3);
  show(3);
  EXPECT_EQ(banner(), first) << "one banner";
  EXPECT_EQ(first->messageLabel()->text(), "3 Links");
  backend->advance(1.9);
  EXPECT_EQ(banner(), first) << "two seconds from the last count";
  backend->advance(0.15);
  EXPECT_EQ(banner(), nullptr) << "leaving";
  backend->advance(0.3);
  EXPECT_TRUE(ABLNotificationView::notificationLayer()->isHidden());
  EXPECT_TRUE(ABLNotificationView::notificationLayer()->subviews().empty()) << "the banner is gone";
}

TEST_F(LinkBannerTest, NothingShowsWithNotificationsOffInTheBackgroundOrWithoutAWindow) {
  place.defaults().setBool(false, kABLNotificationEnabledKey);
  show(1);
  EXPECT_EQ(banner(), nullptr);
  place.defaults().setBool(true, kABLNotificationEnabledKey);
  backend->enterBackground();
  show(1);
  EXPECT_EQ(banner(), nullptr);
  backend->enterForeground();
  platform::Application::sharedApplication().setKeyWindow(nullptr);
  show(1);
  EXPECT_EQ(banner(), nullptr) << "no key window";
}

TEST_F(LinkBannerTest, ATopSafeAreaMakesTheBannerTallerAndACountWhileLeavingStartsANewOne) {
  window->setWindowSafeAreaInsets({44, 0, 0, 0});
  EXPECT_DOUBLE_EQ(ABLNotificationView::preferredNotificationHeight(), 78.0);
  show(0);
  ABLNotificationView* first = banner();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->frame().height(), 78.0);
  EXPECT_EQ(first->messageLabel()->text(), "No Links");
  backend->advance(2.4);
  ASSERT_EQ(banner(), nullptr);
  show(7);
  ASSERT_NE(banner(), nullptr);
  EXPECT_NE(banner(), first);
  EXPECT_EQ(banner()->messageLabel()->text(), "7 Links");
  backend->advance(0.3);
  EXPECT_FALSE(ABLNotificationView::notificationLayer()->isHidden()) << "kept for the new banner";
}
