#include "screens/help_web_view_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/window.h"

namespace {

using platform::Rect;

class HelpWebViewTest : public ::testing::Test {
 protected:
  void SetUp() override { window = backend.makeWindow(); }
  // The screen inside a navigation controller as the window's root.
  template <typename T>
  std::shared_ptr<T> show(std::optional<std::string> url, std::optional<std::string> title) {
    auto web = std::make_shared<T>(std::move(url), std::move(title));
    return web;
  }
  void put(std::shared_ptr<HelpWebViewController> web) {
    nav = std::make_shared<platform::NavigationController>(web);
    window->setRootViewController(nav);
    backend.runPass();
    window->layoutIfNeeded();
  }

  platform::HeadlessBackend backend;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::NavigationController> nav;
};

TEST_F(HelpWebViewTest, OnePageFillsTheSafeAreaWithItsTitle) {
  auto web = show<GBXHelpWebViewController>("https://igroovebix.example/help", "Help Center");
  put(web);
  ASSERT_TRUE(web->isViewLoaded());
  EXPECT_EQ(web->segmentedControl(), nullptr);
  EXPECT_EQ(web->navigationItem().title(), "Help Center");
  EXPECT_EQ(web->webView()->url(), "https://igroovebix.example/help");
  // The web view got the safe area when the view loaded (it is not laid
  // out again).
  EXPECT_EQ(web->webView()->frame().origin, web->view()->bounds().origin);
  EXPECT_EQ(web->webView()->frame().size.width, web->view()->bounds().size.width);
  EXPECT_EQ(web->retrieveSegmentedControlAreaFrame().size.height, 0.0);
  ASSERT_TRUE(web->navigationItem().leftBarButtonItem());
  EXPECT_EQ(web->navigationItem().leftBarButtonItem()->systemItem(), platform::BarButtonItem::SystemItem::Action);
  EXPECT_FALSE(web->view()->backgroundColor() && web->view()->backgroundColor()->alpha() > 0);
  // The Action button hands the page to the desktop.
  web->navigationItem().leftBarButtonItem()->trigger();
  ASSERT_EQ(backend.openedURLs().size(), 1u);
  EXPECT_EQ(backend.openedURLs()[0], "https://igroovebix.example/help");
}

TEST_F(HelpWebViewTest, MissingTitlesAndAddressesAndBadAddresses) {
  const struct {
    std::optional<std::string> url;
    std::optional<std::string> title;
    size_t pages;
    const char* navTitle;
    const char* loaded;
  } cases[] = {
      {"file:///tmp/a.html", std::nullopt, 1, "", "file:///tmp/a.html"},
      {std::nullopt, "Ignored", 0, "", ""},
      {"not an address", "Bad", 1, "Bad", ""},
      {":nothing", "Bad", 1, "Bad", ""},
  };
  for (const auto& c : cases) {
    auto web = std::make_shared<TESHelpWebViewController>(c.url, c.title);
    web->view();
    EXPECT_EQ(web->pageUrls().size(), c.pages);
    EXPECT_EQ(web->titles().size(), c.pages);
    EXPECT_EQ(web->navigationItem().title(), c.navTitle);
    EXPECT_EQ(web->webView()->url(), c.loaded);
    web->webViewDoneButtonPushed();
  }
  // Only the good address reached the desktop.
  ASSERT_EQ(backend.openedURLs().size(), 1u);
  EXPECT_EQ(backend.openedURLs()[0], "file:///tmp/a.html");
  // An index past the pages loads and opens nothing.
  auto web = std::make_shared<TESHelpWebViewController>("https://a.example/", "A");
  web->setUrlIndex(3);
  web->view();
  EXPECT_EQ(web->webView()->url(), "");
  web->webViewDoneButtonPushed();
  EXPECT_EQ(backend.openedURLs().size(), 1u);
  // Hidden Action button.
  auto hidden = std::make_shared<GBXHelpWebViewController>("https://a.example/", "A");
  hidden->setOpenButtonHidden(true);
  hidden->view();
  EXPECT_FALSE(hidden->navigationItem().leftBarButtonItem());
}

TEST_F(HelpWebViewTest, SeveralPagesGetASwitch) {
  auto web = show<GBXHelpWebViewController>("https://a.example/1", "One");
  web->addUrl("https://a.example/2", "Two");
  web->addUrl(std::nullopt, "Never");
  web->addUrl("https://a.example/3", std::nullopt);
  put(web);
  platform::SegmentedControl* seg = web->segmentedControl();
  ASSERT_NE(seg, nullptr);
  EXPECT_EQ(seg->numberOfSegments(), 3);
  EXPECT_EQ(seg->titleForSegmentAtIndex(2), "");
  EXPECT_EQ(seg->selectedSegmentIndex(), 0);
  EXPECT_EQ(web->navigationItem().titleView().get(), seg);
  EXPECT_EQ(seg->frame().size.width, 240.0);  // widened by 80 per page
  // The web view starts below the switch's strip.
  const Rect safe = web->retrieveSafeArea();
  EXPECT_EQ(web->webView()->frame().origin, (platform::Point{safe.minX(), safe.minY() + 38}));
  EXPECT_EQ(web->webView()->frame().size.width, safe.size.width);
  // Switching loads the chosen page and the Action button follows it.
  seg->setSelectedSegmentIndex(1);
  web->segmentedControlAction(*seg);
  EXPECT_EQ(web->urlIndex(), 1u);
  EXPECT_EQ(web->webView()->url(), "https://a.example/2");
  web->webViewDoneButtonPushed();
  ASSERT_EQ(backend.openedURLs().size(), 1u);
  EXPECT_EQ(backend.openedURLs()[0], "https://a.example/2");
}

TEST_F(HelpWebViewTest, TheSecondScreenSizesItsSegmentsToTheSafeArea) {
  const struct {
    double width;
    int pages;
    double segment;
    double control;
  } cases[] = {{300, 3, 94, 282}, {568, 2, 100, 200}, {300, 2, 100, 200}, {200, 4, 46, 184}};
  for (const auto& c : cases) {
    auto web = std::make_shared<TESHelpWebViewController>("https://a.example/0", "P0");
    for (int i = 1; i < c.pages; ++i) web->addUrl("https://a.example/" + std::to_string(i), "P" + std::to_string(i));
    web->view()->setFrame({0, 0, c.width, 500});
    web->viewWillLayoutSubviews();
    platform::SegmentedControl* seg = web->segmentedControl();
    ASSERT_NE(seg, nullptr);
    EXPECT_EQ(seg->frame().size.width, c.control) << c.width << " " << c.pages;
    EXPECT_EQ(seg->frame().size.width / c.pages, c.segment);
    EXPECT_EQ(seg->frame().origin.x, (8 + (c.width - 16) / 2) - c.control / 2);
    EXPECT_EQ(seg->frame().origin.y, 4.0);
    EXPECT_EQ(seg->frame().size.height, 30.0);
    // The web view always covers the whole safe area, also after a resize.
    EXPECT_EQ(web->webView()->frame(), (Rect{0, 0, c.width, 500}));
    web->view()->setFrame({0, 0, c.width + 100, 300});
    web->viewWillLayoutSubviews();
    EXPECT_EQ(web->webView()->frame(), (Rect{0, 0, c.width + 100, 300}));
    EXPECT_EQ(web->view()->backgroundColor(), platform::Color::whiteColor());
  }
  // The first screen keeps the frame it got at load.
  auto gbx = std::make_shared<GBXHelpWebViewController>("https://a.example/0", "P0");
  gbx->view()->setFrame({0, 0, 400, 300});
  gbx->viewWillLayoutSubviews();
  const Rect before = gbx->webView()->frame();
  gbx->view()->setFrame({0, 0, 600, 200});
  gbx->viewWillLayoutSubviews();
  EXPECT_EQ(gbx->webView()->frame(), before);
}

}  // namespace
