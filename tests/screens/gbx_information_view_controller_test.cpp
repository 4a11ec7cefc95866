#include "screens/gbx_information_view_controller.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/foundation/bundle.h"
#include "platform/ui/navigation_controller.h"
#include "screen_test_support.h"
#include "screens/help_web_view_controller.h"

namespace {

using platform::Rect;

class InformationScreenTest : public screentest::ScreenTest {
 protected:
  void open() {
    info = std::make_shared<GBXInformationViewController>();
    host->presentAsPopover(info, {280, 250});
    backend.runPass();
    window->layoutIfNeeded();
  }
  static std::string infoString(const char* key) {
    return platform::Bundle::mainBundle().objectForInfoDictionaryKey(key)->stringValue();
  }
  std::shared_ptr<GBXInformationViewController> info;
};

TEST_F(InformationScreenTest, ShowsNameVersionAndTheTwoPageButtons) {
  open();
  GBXInformationViewController& s = *info;
  EXPECT_EQ(s.preferredContentSize(), (platform::Size{280, 220}));
  EXPECT_EQ(s.popoverPresentationController()->popoverFrame().size, (platform::Size{280, 220}));
  EXPECT_EQ(s.appNameLabel()->text(), "TESK " + infoString("CFBundleDisplayName"));
  EXPECT_EQ(s.appNameLabel()->text(), "TESK iGROOVEBIX");
  EXPECT_EQ(s.appVersionLabel()->text(), "Version " + infoString("CFBundleShortVersionString"));
  EXPECT_EQ(s.appDescLabel()->text(), "Dovodo Vivizu Dezadid");
  EXPECT_FALSE(s.appCopyrightLabel()->text().empty());
  EXPECT_EQ(s.appCopyrightLabel()->numberOfLines(), 0);
  EXPECT_EQ(s.productPageButton()->titleForState(platform::ControlState::Normal), "Product Page");
  EXPECT_EQ(s.helpCenterButton()->titleForState(platform::ControlState::Normal), "Help Center");
  const struct {
    platform::View* v;
    Rect frame;
  } frames[] = {{s.appIconImageView(), {15, 15, 50, 50}},  {s.appNameLabel(), {80, 15, 170, 24}},
                {s.appDescLabel(), {80, 34, 170, 24}},     {s.productPageButton(), {15, 80, 250, 40}},
                {s.helpCenterButton(), {15, 130, 250, 40}}, {s.appVersionLabel(), {15, 180, 150, 20}},
                {s.appCopyrightLabel(), {15, 195, 176, 20}}};
  for (const auto& f : frames) {
    EXPECT_EQ(f.v->frame(), f.frame);
    EXPECT_EQ(f.v->superview(), s.view());
  }
  EXPECT_TRUE(s.appIconImageView()->clipsToBounds());
  ASSERT_TRUE(s.appIconImageView()->image());
  EXPECT_EQ(s.appIconImageView()->image()->size(), (platform::Size{50, 50}));
  EXPECT_DOUBLE_EQ(s.productPageButton()->layer().cornerRadius(), 10.0);
}

TEST_F(InformationScreenTest, TheBundleCarriesItsOwnHelpPages) {
  for (const auto& url : {GBXInformationViewController::productPageURL(), GBXInformationViewController::helpCenterURL()}) {
    ASSERT_TRUE(url.has_value());
    ASSERT_EQ(url->rfind("file:///", 0), 0u) << *url;
    std::ifstream in(url->substr(7));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("<html"), std::string::npos) << *url;
    EXPECT_NE(text.str().find("iGROOVEBIX"), std::string::npos) << *url;
  }
  EXPECT_NE(GBXInformationViewController::productPageURL(), GBXInformationViewController::helpCenterURL());
  // A bundle in a folder with a blank: the address is still one that opens.
  const std::filesystem::path bundle = dir / "my bundle";
  std::filesystem::create_directories(bundle / "help");
  std::ofstream(bundle / "help" / "index.html") << "<html></html>";
  platform::Bundle::setMainBundlePath(bundle);
  const std::optional<std::string> spaced = GBXInformationViewController::productPageURL();
  platform::Bundle::setMainBundlePath(std::nullopt);
  ASSERT_TRUE(spaced.has_value());
  EXPECT_NE(spaced->find("/my%20bundle/help/index.html"), std::string::npos) << *spaced;
  EXPECT_TRUE(HelpWebViewController::isValidURL(*spaced));
}

TEST_F(InformationScreenTest, EachButtonOpensItsPageFullScreenWithDone) {
  open();
  const struct {
    bool product;
    std::string title;
    std::optional<std::string> url;
  } cases[] = {{true, GBXInformationViewController::kProductPageTitle, GBXInformationViewController::productPageURL()},
               {false, "Help Center", GBXInformationViewController::helpCenterURL()}};
  size_t opened = 0;
  for (const auto& c : cases) {
    tap(c.product ? *info->productPageButton() : *info->helpCenterButton());
    backend.advance(0.5);
    auto* nav = dynamic_cast<platform::NavigationController*>(info->presentedViewController());
    ASSERT_NE(nav, nullptr) << c.title;
    EXPECT_EQ(nav->modalPresentationStyle(), platform::ModalPresentationStyle::FullScreen);
    auto* web = dynamic_cast<GBXHelpWebViewController*>(nav->topViewController());
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->navigationItem().title(), c.title);
    EXPECT_EQ(web->webView()->url(), *c.url);
    ASSERT_TRUE(web->navigationItem().rightBarButtonItem());
    EXPECT_EQ(web->navigationItem().rightBarButtonItem()->systemItem(), platform::BarButtonItem::SystemItem::Done);
    // Action: the page goes to the desktop's browser.
    web->navigationItem().leftBarButtonItem()->trigger();
    ASSERT_EQ(backend.openedURLs().size(), ++opened);
    EXPECT_EQ(backend.openedURLs().back(), *c.url);
    // Done closes it and the information screen is back.
    web->navigationItem().rightBarButtonItem()->trigger();
    backend.advance(0.5);
    EXPECT_EQ(info->presentedViewController(), nullptr);
    EXPECT_EQ(host->presentedViewController(), info.get());
  }
}

TEST_F(InformationScreenTest, TheLongerFormsAddTheirPagesInOrder) {
  open();
  info->presentWebView("https://a.example/1", "One", "https://a.example/2", std::nullopt, "https://a.example/3", "Three");
  backend.advance(0.5);
  auto* nav = dynamic_cast<platform::NavigationController*>(info->presentedViewController());
  ASSERT_NE(nav, nullptr);
  auto* web = dynamic_cast<HelpWebViewController*>(nav->topViewController());
  ASSERT_NE(web, nullptr);
  EXPECT_EQ(web->pageUrls(), (std::vector<std::string>{"https://a.example/1", "https://a.example/2", "https://a.example/3"}));
  EXPECT_EQ(web->titles(), (std::vector<std::string>{"One", "", "Three"}));
  ASSERT_NE(web->segmentedControl(), nullptr);
  info->webViewDoneButtonPushed();
  backend.advance(0.5);
  EXPECT_EQ(info->presentedViewController(), nullptr);
}

}  // namespace
