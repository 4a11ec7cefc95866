#include "soundcloud-sdk/ui/sc_add_connection_view_controller.h"

#include <gtest/gtest.h>

#include <mutex>

#include "oauth2/nxoauth2_account_store.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/headless/headless_backend.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "tests/oauth2/oauth2_test_support.h"
#include "tests/platform/net/net_test_support.h"

using namespace scui;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using platform::URL;

namespace {

class Recorder : public SCAddConnectionViewControllerDelegate {
 public:
  void addConnectionControllerDidFinish(SCAddConnectionViewController&, const std::string& service, bool success) override {
    results.emplace_back(service, success);
  }
  std::vector<std::pair<std::string, bool>> results;
};

class AddConnectionTest : public igbtest::OAuth2Test {
 protected:
  AddConnectionTest() : server_([this](const HttpRequest& r) { return handle(r); }) {}
  HttpResponse handle(const HttpRequest& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (r.path == "/oauth2/token")
      return HttpResponse::json(200, "{\"access_token\":\"tok\",\"refresh_token\":\"ref\",\"expires_in\":21599,\"scope\":\"*\"}");
    if (r.path == "/me/connections.json") return HttpResponse::json(status_, reply_);
    return HttpResponse::json(404, "{}");
  }
  void SetUp() override {
    igbtest::OAuth2Test::SetUp();
    platform::Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
    SCBundle::forgetForTesting();
    nxoauth2::NXOAuth2AccountStore::resetSharedStoreForTesting();
    scsdk::SCSoundCloud::setServiceEndpoints({*URL::withString(server_.url("/connect")),
                                              *URL::withString(server_.url("/oauth2/token")),
                                              *URL::withString(server_.url("/")),
                                              *URL::withString(server_.url("/sandbox/oauth2/token"))});
    scsdk::SCSoundCloud::setClientID("consumer-key", "consumer-secret", *URL::withString("x-igroovebix://soundcloud/callback"));
    hb_ = std::make_unique<platform::HeadlessBackend>(platform::Size{320, 480}, 1.0);
    window_ = hb_->makeWindow();
    hb_->runPass();
  }
  void TearDown() override {
    for (int i = 0; i < 10 && hb_->alertVisible(); ++i) hb_->answerAlert(0);
    hb_->advance(2.0);
    pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0);
    window_->setRootViewController(nullptr);
    hb_->runPass();
    window_.reset();
    hb_.reset();
    nxoauth2::NXOAuth2AccountStore::resetSharedStoreForTesting();
    scsdk::SCSoundCloud::setServiceEndpoints(scsdk::SCServiceEndpoints::standard());
    platform::Bundle::setMainBundlePath(std::nullopt);
    SCBundle::forgetForTesting();
    igbtest::OAuth2Test::TearDown();
  }
  std::shared_ptr<scsdk::SCAccount> signIn() {
    int changes = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        this, scsdk::SCSoundCloudAccountDidChangeNotification, [&](const platform::Notification&) { ++changes; });
    scsdk::SCSoundCloud::shared().requestAccessWithUsername("dj", "secret");
    EXPECT_TRUE(pumpMainLoopUntil([&] { return changes > 0; }));
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    return scsdk::SCSoundCloud::account();
  }
  void setReply(int status, std::string body) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = status;
    reply_ = std::move(body);
  }
  std::vector<HttpRequest> connectionRequests() {
    std::vector<HttpRequest> out;
    for (auto& r : server_.requests())
      if (r.path == "/me/connections.json") out.push_back(r);
    return out;
  }

  std::mutex mutex_;
  int status_ = 201;
  std::string reply_ = "{\"authorize_url\":\"https://soundcloud.com/connect/twitter?x=1\"}";
  igbtest::TestHttpServer server_;
  std::unique_ptr<platform::HeadlessBackend> hb_;
  std::shared_ptr<platform::Window> window_;
  Recorder recorder_;
};

TEST_F(AddConnectionTest, AsksForTheAuthorizePageAndShowsIt) {
  auto account = signIn();
  ASSERT_TRUE(account);
  EXPECT_EQ(SCAddConnectionViewController::withServiceAccount("", account, &recorder_), nullptr);
  auto c = SCAddConnectionViewController::withServiceAccount("twitter", account, &recorder_);
  ASSERT_TRUE(c);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return c->authorizeURL().has_value(); }));
  EXPECT_EQ(*c->authorizeURL(), "https://soundcloud.com/connect/twitter?x=1");
  const auto reqs = connectionRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "POST");
  EXPECT_EQ(reqs[0].header("Authorization").value_or(""), "OAuth tok");
  const auto form = igbtest::formMap(reqs[0]);
  EXPECT_EQ(form.at("service"), "twitter");
  EXPECT_EQ(form.at("redirect_uri"), "x-soundcloud://connection");
  EXPECT_EQ(form.at("display"), "touch");
  // Known before the view loads: loaded when it does.
  window_->setRootViewController(c);
  hb_->advance(0.5);
  ASSERT_TRUE(c->webView());
  EXPECT_EQ(c->webView()->url(), "https://soundcloud.com/connect/twitter?x=1");
  // Set afterwards: loaded at once.
  c->setAuthorizeURL("https://soundcloud.com/connect/facebook");
  EXPECT_EQ(c->webView()->url(), "https://soundcloud.com/connect/facebook");
  EXPECT_TRUE(c->webView()->openInBrowser());
  EXPECT_EQ(hb_->openedURLs().back(), "https://soundcloud.com/connect/facebook");
}

TEST_F(AddConnectionTest, AFailedRequestShowsTheAlertAndAnUnusableReplyNothing) {
  auto account = signIn();
  setReply(200, "{\"authorize\":\"x\"}");
  auto quiet = SCAddConnectionViewController::withServiceAccount("twitter", account, &recorder_);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return connectionRequests().size() == 1; }));
  hb_->advance(0.5);
  pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0);
  hb_->runPass();
  EXPECT_FALSE(quiet->authorizeURL());
  EXPECT_FALSE(hb_->alertVisible());
  setReply(500, "");
  auto failing = SCAddConnectionViewController::withServiceAccount("twitter", account, &recorder_);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return hb_->alertVisible(); }));
  EXPECT_EQ(hb_->alertTitle(), SCLocalizedString("connection_faild"));
  EXPECT_FALSE(hb_->alertMessage().empty());
  EXPECT_EQ(hb_->alertButtons(), (std::vector<std::string>{SCLocalizedString("connection_error_ok")}));
  EXPECT_FALSE(failing->authorizeURL());
}

TEST_F(AddConnectionTest, TheCallbackReportsTheResultAndDoesNotLoad) {
  auto c = SCAddConnectionViewController::withService("facebook", &recorder_);
  ASSERT_TRUE(c);
  EXPECT_EQ(SCAddConnectionViewController::withService("", &recorder_), nullptr);
  struct Case {
    const char* url;
    bool allowed;
    std::optional<bool> success;
  } cases[] = {
      {"x-soundcloud://connection?success=1", false, true},
      {"x-soundcloud://connection?success=0", false, false},
      {"x-soundcloud://connection", false, false},
      {"x-soundcloud://connection?success=yes&x=1", false, false},
      {"https://soundcloud.com/connect?success=1", true, std::nullopt},
  };
  for (const auto& k : cases) {
    recorder_.results.clear();
    EXPECT_EQ(c->decideNavigation(k.url), k.allowed) << k.url;
    if (k.success) {
      ASSERT_EQ(recorder_.results.size(), 1u) << k.url;
      EXPECT_EQ(recorder_.results[0], std::make_pair(std::string("facebook"), *k.success)) << k.url;
    } else {
      EXPECT_TRUE(recorder_.results.empty()) << k.url;
    }
  }
  // The pasted address goes the same way.
  window_->setRootViewController(c);
  hb_->advance(0.5);
  recorder_.results.clear();
  c->callbackField()->setText("x-soundcloud://connection?success=1");
  hb_->tap(c->callbackDoneButton()->convertPointTo({20, 20}, nullptr));
  ASSERT_EQ(recorder_.results.size(), 1u);
  EXPECT_TRUE(recorder_.results[0].second);
  EXPECT_TRUE(c->webView()->url().empty());
}

TEST_F(AddConnectionTest, DecorativeViewsDraw) {
  auto line = std::make_shared<SCHorizontalLineView>(platform::Rect{0, 0, 40, 2});
  EXPECT_EQ(line->autoresizingMask(), platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleBottomMargin);
  auto img = hb_->renderView(*line);
  EXPECT_EQ(img->pixel(10, 0), (platform::Image::RGBA{0, 0, 0, 255}));
  EXPECT_LT(img->pixel(10, 1).a, 20);
  EXPECT_GT(img->pixel(10, 1).a, 0);
  auto cover = std::make_shared<SCCoverImageButton>(platform::Rect{0, 0, 60, 60});
  cover->setBackgroundColor(platform::Color::whiteColor());
  EXPECT_TRUE(cover->clipsToBounds());
  EXPECT_EQ(cover->layer().cornerRadius(), 3);
  img = hb_->renderView(*cover);
  // The light shade over the middle, the dark frame along the edge.
  const auto mid = img->pixel(30, 30);
  EXPECT_NEAR(mid.r, 204, 3);
  EXPECT_LT(img->pixel(30, 0).r, 140);
}

}  // namespace
