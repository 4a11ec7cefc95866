#include "screens/ta_info_view_controller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/preferred_languages.h"
#include "platform/ui/navigation_controller.h"
#include "screen_test_support.h"
#include "screens/help_web_view_controller.h"

namespace {

using platform::IndexPath;


class TAInfoTest : public screentest::ScreenTest {
 protected:
  void TearDown() override {
    platform::setPreferredLanguagesOverride(std::nullopt);
    ScreenTest::TearDown();
  }
  std::shared_ptr<TAInfoViewController> open(bool content = true) {
    auto info = std::make_shared<TAInfoViewController>();
    if (content) {
      platform::beginImageContext({57, 57}, false, 2.0);
      info->setAppIcon(platform::imageFromCurrentImageContext());
      platform::endImageContext();
      info->setAppDescription("A groovebox");
      info->setAppWebLink("https://igroovebix.example/product");
      info->setAppFAQLink("https://igroovebix.example/faq");
      info->setAppManualLink("https://igroovebix.example/manual");
      info->setAppCopyrightString("Copyright 2026");
    }
    host->presentViewController(info, false, {});
    backend.runPass();
    window->layoutIfNeeded();
    return info;
  }
  platform::TableViewCell* cell(TAInfoViewController& info, int64_t section, int64_t row) {
    info.tableView()->scrollToRowAtIndexPath({section, row}, platform::TableView::ScrollPosition::Top, false);
    window->layoutIfNeeded();
    return info.tableView()->cellForRowAtIndexPath({section, row});
  }
  HelpWebViewController* webScreen(TAInfoViewController& info) {
    auto* nav = dynamic_cast<platform::NavigationController*>(info.presentedViewController());
    return nav ? dynamic_cast<HelpWebViewController*>(nav->topViewController()) : nullptr;
  }
};

TEST_F(TAInfoTest, TheHeaderPanelAndTheTable) {
  auto info = open();
  EXPECT_EQ(info->appsTable(), (std::vector<int64_t>{0, 2, 1, 3, 4, 5, 6}));
  EXPECT_EQ(info->navigationItem().title(), "Information");
  EXPECT_EQ(info->appNameLabel()->text(), "TESK iGROOVEBIX");
  EXPECT_EQ(info->appDescLabel()->text(), "A groovebox");
  EXPECT_EQ(info->appVersionLabel()->text().rfind("Version ", 0), 0u);
  EXPECT_EQ(info->appImageView()->frame(), (platform::Rect{15, 64, 57, 57}));
  EXPECT_EQ(info->appCopyrightLabel()->frame().origin, (platform::Point{15, 57 + 70}));
  EXPECT_EQ(info->productButton()->titleForState(platform::ControlState::Normal), "Product Page");
  // On its own 300-point page (shown full screen the buttons follow the right edge).
  auto page = std::make_shared<TAInfoViewController>();
  page->view();
  EXPECT_EQ(page->hpButton()->frame(), (platform::Rect{160, 99, 125, 25}));
  EXPECT_EQ(page->tableView()->frame(), (platform::Rect{0, 248, 300, 250}));
  EXPECT_EQ(info->hpButton()->frame().maxX(), info->view()->bounds().maxX() - 15);
  EXPECT_EQ(info->faqButton()->titleForState(platform::ControlState::Normal), "FAQ");
  EXPECT_EQ(info->tableView()->rowHeight(), 78.0);
  EXPECT_EQ(info->tableView()->numberOfSections(), 2);
  EXPECT_EQ(info->tableView()->numberOfRowsInSection(0), 3);
  EXPECT_EQ(info->tableView()->numberOfRowsInSection(1), 7);
  EXPECT_EQ(info->titleForHeaderInSection(0), "Latest News");
  EXPECT_EQ(info->titleForHeaderInSection(1), "TESK app");
  EXPECT_EQ(info->titleForHeaderInSection(5), "");
  EXPECT_EQ(info->viewForHeaderInSection(1)->title()->text(), "TESK app");
  platform::TableViewCell* link = cell(*info, 0, 0);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->textLabel().text(), "TESK app Newsletter");
  EXPECT_EQ(link->detailTextLabel()->text(), "Subscribe Us");
  EXPECT_TRUE(static_cast<TeskiAppTableViewCell*>(link)->button_()->isHidden());
}

TEST_F(TAInfoTest, WithoutContentTheIconIsEmptyAndTheCopyrightMovesUp) {
  auto info = open(false);
  EXPECT_EQ(info->appImageView()->frame().size.width, 0.0);
  EXPECT_EQ(info->appCopyrightLabel()->frame().origin.y, 70.0);
  EXPECT_EQ(info->appDescLabel()->text(), "");
  // A header button without its page opens a web screen with no page.
  info->webButtonPushed(info->faqButton());
  backend.advance(0.5);
  HelpWebViewController* web = webScreen(*info);
  ASSERT_NE(web, nullptr);
  EXPECT_TRUE(web->pageUrls().empty());
}

TEST_F(TAInfoTest, AppRowsShowInstalledOrAppStore) {
  auto info = open();
  const struct {
    int64_t row;
    int64_t code;
  } rows[] = {{0, 0}, {1, 2}, {6, 6}};
  for (const auto& r : rows) {
    auto* c = static_cast<TeskiAppTableViewCell*>(cell(*info, 1, r.row));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->textLabel().text(), TAInfoViewController::kApps[r.code].name);
    EXPECT_EQ(c->button_()->tag(), r.row);
    // No app of the maker is installed here, and code 6 never asks.
    EXPECT_EQ(c->button_()->titleForState(platform::ControlState::Normal), "App Store");
    EXPECT_TRUE(c->button_()->isEnabled());
    EXPECT_EQ(c->selectionStyle(), platform::TableViewCell::SelectionStyle::None);
    // Highlighting the row leaves the button alone.
    c->setHighlighted(true, false);
    EXPECT_FALSE(c->button_()->isHighlighted());
    c->setSelected(true, false);
    EXPECT_FALSE(c->button_()->isSelected());
  }
  platform::Button installed(platform::Button::Type::System);
  TAInfoViewController::configureJumpButton(installed, true);
  EXPECT_FALSE(installed.isEnabled());
  EXPECT_EQ(installed.titleForState(platform::ControlState::Disabled), "Installed");
  EXPECT_FALSE(TAInfoViewController::appInstalled(nullptr));
  EXPECT_FALSE(TAInfoViewController::appInstalled("beatsketch://"));
  EXPECT_TRUE(TAInfoViewController::appInstalled("https://"));
  // The button of row 1 (code 2) opens that app's store page.
  auto* second = static_cast<TeskiAppTableViewCell*>(cell(*info, 1, 1));
  info->appButtonPushed(*second->button_());
  ASSERT_FALSE(backend.openedURLs().empty());
  EXPECT_EQ(backend.openedURLs().back(),
            std::string("https://") + TAInfoViewController::kAppStoreHost + "/app/id" + TAInfoViewController::kApps[2].storeId);
}

TEST_F(TAInfoTest, JapaneseTextsFollowTheFirstPreferredLanguage) {
  const struct {
    std::vector<std::string> langs;
    const char* header;
    const char* newsletter;
    const char* title;
  } cases[] = {{{"ja-JP", "en"}, "最新情報", "TESK app ニュースレター", "TESK appのニュースレターを購読しよう"},
               {{"ja"}, "最新情報", "TESK app ニュースレター", "TESK appのニュースレターを購読しよう"},
               {{"en-JP", "ja"}, "Latest News", "TESK app Newsletter", "Subscribe TESK app Newsletter"},
               {{"de"}, "Latest News", "TESK app Newsletter", "Subscribe TESK app Newsletter"}};
  for (const auto& c : cases) {
    platform::setPreferredLanguagesOverride(c.langs);
    auto info = open();
    EXPECT_EQ(info->titleForHeaderInSection(0), c.header);
    platform::TableViewCell* link = cell(*info, 0, 0);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->textLabel().text(), c.newsletter);
    EXPECT_EQ(cell(*info, 0, 1)->textLabel().text(), "TESK app Facebook");
    info->selectFollowUsCell(0);
    backend.advance(0.5);
    HelpWebViewController* web = webScreen(*info);
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->titles(), (std::vector<std::string>{c.title}));
    EXPECT_EQ(web->pageUrls(), (std::vector<std::string>{TAInfoViewController::kNewsletterURL}));
    info->webViewDoneButtonPushed();
    backend.advance(0.5);
    host->dismissViewControllerAnimated(false, {});
    backend.runPass();
  }
}

TEST_F(TAInfoTest, HeaderButtonsOpenTheirPagesFullScreen) {
  auto info = open();
  const struct {
    platform::Button* button;
    const char* url;
    const char* title;
  } cases[] = {{info->productButton(), "https://igroovebix.example/product", TAInfoViewController::kMakerDomain},
               {info->faqButton(), "https://igroovebix.example/faq", "FAQ"},
               {info->hpButton(), "https://igroovebix.example/manual", "Manual"}};
  for (const auto& c : cases) {
    const bool hiddenBefore = TAInfoViewController::applicationStatusBarHidden();
    tap(*c.button);
    backend.advance(0.5);
    auto* nav = dynamic_cast<platform::NavigationController*>(info->presentedViewController());
    ASSERT_NE(nav, nullptr) << c.title;
    EXPECT_EQ(nav->modalPresentationStyle(), platform::ModalPresentationStyle::FullScreen);
    auto* web = dynamic_cast<TESHelpWebViewController*>(nav->topViewController());
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->webView()->url(), c.url);
    EXPECT_EQ(web->navigationItem().title(), c.title);
    // Hidden while the page is up, put back afterwards.
    EXPECT_EQ(info->statusBarHidden(), hiddenBefore);
    EXPECT_TRUE(TAInfoViewController::applicationStatusBarHidden());
    web->navigationItem().rightBarButtonItem()->trigger();
    backend.advance(0.5);
    EXPECT_EQ(info->presentedViewController(), nullptr);
    EXPECT_EQ(TAInfoViewController::applicationStatusBarHidden(), hiddenBefore);
  }
  // Any other sender does nothing.
  info->webButtonPushed(nullptr);
  EXPECT_EQ(info->presentedViewController(), nullptr);
}

}  // namespace
