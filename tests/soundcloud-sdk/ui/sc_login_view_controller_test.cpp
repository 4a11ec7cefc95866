#include "soundcloud-sdk/ui/sc_login_view_controller.h"

#include <gtest/gtest.h>

#include <mutex>

#include "oauth2/nxoauth2_account_store.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/headless/headless_backend.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud-sdk/ui/sc_bundle.h"
#include "soundcloud-sdk/ui/sc_colors.h"
#include "soundcloud-sdk/ui/sc_ui_utils.h"
#include "tests/oauth2/oauth2_test_support.h"
#include "tests/platform/net/net_test_support.h"

using namespace scui;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using platform::Point;
using platform::URL;

namespace {

// The service on loopback: the sign-in pages and the token endpoint. Like
// a service that enforces PKCE, it refuses a sign-in page asked without an
// S256 challenge and a code exchanged without the matching verifier.
class FakeService {
 public:
  FakeService() : server_([this](const HttpRequest& r) { return handle(r); }) {}
  std::string url(const std::string& path) const { return server_.url(path); }
  std::vector<HttpRequest> tokenRequests() const {
    std::vector<HttpRequest> out;
    for (auto& r : server_.requests())
      if (r.path == "/oauth2/token") out.push_back(r);
    return out;
  }

 private:
  HttpResponse handle(const HttpRequest& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (r.path == "/connect" || r.path == "/connect/via/facebook") {
      const auto q = nxoauth2::nxoauth2_parametersFromEncodedQueryString(r.query);
      const std::string state = nxoauth2::nxoauth2_URLEncodedString(q.count("state") ? q.at("state") : "");
      const std::optional<std::string> code = pkce_.authorize(q);
      return HttpResponse::redirect(302, q.at("redirect_uri") + (code ? "?code=" + *code : "?error=invalid_request") +
                                             "&state=" + state);
    }
    if (r.path == "/oauth2/token") {
      const auto f = igbtest::formMap(r);
      const std::string grant = f.count("grant_type") ? f.at("grant_type") : "";
      if (grant == "password" && (f.at("username") != "dj" || f.at("password") != "secret"))
        return HttpResponse::json(401, "{\"error\":\"invalid_grant\"}");
      if (grant == "authorization_code" &&
          !pkce_.redeem(f.at("code"), f.count("code_verifier") ? std::optional(f.at("code_verifier")) : std::nullopt))
        return HttpResponse::json(400, "{\"error\":\"invalid_grant\"}");
      return HttpResponse::json(200, "{\"access_token\":\"tok\",\"refresh_token\":\"ref\",\"expires_in\":21599,\"scope\":\"*\"}");
    }
    return HttpResponse::json(404, "{}");
  }

  std::mutex mutex_;
  igbtest::PkceAuthority pkce_;
  igbtest::TestHttpServer server_;
};

class LoginScreenTest : public igbtest::OAuth2Test {
 protected:
  void SetUp() override {
    igbtest::OAuth2Test::SetUp();
    platform::Bundle::setMainBundlePath(std::filesystem::path(IGB_BUNDLE_DIR));
    SCBundle::forgetForTesting();
    nxoauth2::NXOAuth2AccountStore::resetSharedStoreForTesting();
    scsdk::SCSoundCloud::setServiceEndpoints({*URL::withString(sc_.url("/connect")), *URL::withString(sc_.url("/oauth2/token")),
                                              *URL::withString(sc_.url("/")), *URL::withString(sc_.url("/sandbox/oauth2/token"))});
    scsdk::SCSoundCloud::setClientID("consumer-key", "consumer-secret", *URL::withString(kRedirect));
    hb_ = std::make_unique<platform::HeadlessBackend>(platform::Size{320, 568}, 1.0);
    window_ = hb_->makeWindow();
    root_ = std::make_shared<platform::ViewController>();
    window_->setRootViewController(root_);
    hb_->runPass();
  }
  void TearDown() override {
    for (int i = 0; i < 10 && hb_->alertVisible(); ++i) hb_->answerAlert(0);
    hb_->advance(2.0);
    pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0);
    window_->setRootViewController(nullptr);
    hb_->runPass();
    login_.reset();
    root_.reset();
    window_.reset();
    hb_.reset();
    SCDevice::setOrientation(std::nullopt);
    nxoauth2::NXOAuth2AccountStore::resetSharedStoreForTesting();
    scsdk::SCSoundCloud::setServiceEndpoints(scsdk::SCServiceEndpoints::standard());
    platform::Bundle::setMainBundlePath(std::nullopt);
    SCBundle::forgetForTesting();
    igbtest::OAuth2Test::TearDown();
  }

  void present() {
    std::optional<URL> prepared;
    scsdk::SCSoundCloud::requestAccessWithPreparedAuthorizationURLHandler([&](const URL& u) { prepared = u; });
    ASSERT_TRUE(prepared);
    auto nav = SCLoginViewController::loginViewControllerWithPreparedURL(prepared, [this](const std::optional<platform::Error>& e) {
      results_.push_back(e);
    });
    login_ = std::dynamic_pointer_cast<SCLoginViewController>(nav->viewControllers().front());
    root_->presentViewController(nav, false, nullptr);
    hb_->advance(1.0);
    ASSERT_TRUE(login_->loginView());
    login_->view()->layoutIfNeeded();
  }
  Point centre(platform::View& v) { return v.convertPointTo({v.bounds().midX(), v.bounds().midY()}, nullptr); }
  void type(platform::View& field, const std::string& text) {
    hb_->tap(centre(field));
    hb_->typeText(text);
  }
  bool screenShown() const { return root_->presentedViewController() != nullptr; }
  SCCredentialsView& credentials() { return login_->loginView()->credentialsView(); }

  static constexpr const char* kRedirect = "x-igroovebix://soundcloud/callback";
  FakeService sc_;
  std::unique_ptr<platform::HeadlessBackend> hb_;
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::ViewController> root_;
  std::shared_ptr<SCLoginViewController> login_;
  std::vector<std::optional<platform::Error>> results_;
};

TEST_F(LoginScreenTest, ReturnOnThePasswordSignsInAndTheScreenGoes) {
  present();
  EXPECT_TRUE(screenShown());
  EXPECT_TRUE(login_->navigationController()->isNavigationBarHidden());
  type(credentials().usernameField(), "dj");
  hb_->pressReturn();
  EXPECT_TRUE(credentials().passwordField().isFirstResponder());
  hb_->typeText("secret");
  hb_->pressReturn();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !results_.empty(); }));
  EXPECT_EQ(results_[0], std::nullopt);
  hb_->advance(1.0);
  EXPECT_FALSE(screenShown());
  ASSERT_TRUE(scsdk::SCSoundCloud::account());
  const auto f = igbtest::formMap(sc_.tokenRequests().back());
  EXPECT_EQ(f.at("grant_type"), "password");
  EXPECT_EQ(f.at("username"), "dj");
  EXPECT_EQ(results_.size(), 1u);
}

TEST_F(LoginScreenTest, TheLoginButtonSendsWhatThePasswordFieldHoldsWhileEdited) {
  present();
  type(credentials().usernameField(), "dj");
  type(credentials().passwordField(), "secret");
  ASSERT_TRUE(credentials().passwordField().isFirstResponder());
  hb_->tap(centre(login_->loginView()->loginButton()));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !results_.empty(); }));
  EXPECT_EQ(results_[0], std::nullopt);
  EXPECT_EQ(igbtest::formMap(sc_.tokenRequests().back()).at("password"), "secret");
}

TEST_F(LoginScreenTest, MissingCredentialsShowTheAlertAndSendNothing) {
  present();
  type(credentials().usernameField(), "dj");
  hb_->pressReturn();
  hb_->pressReturn();  // Return on the empty password
  ASSERT_TRUE(hb_->alertVisible());
  EXPECT_EQ(hb_->alertTitle(), SCLocalizedString("credentials_error"));
  EXPECT_EQ(hb_->alertMessage(), SCLocalizedString("credentials_error_message"));
  EXPECT_EQ(hb_->alertButtons(), (std::vector<std::string>{SCLocalizedString("alert_ok")}));
  hb_->answerAlert(0);
  hb_->advance(0.5);
  hb_->tap(centre(login_->loginView()->loginButton()));
  EXPECT_TRUE(hb_->alertVisible());
  hb_->advance(0.5);
  EXPECT_TRUE(sc_.tokenRequests().empty());
  EXPECT_TRUE(results_.empty());
}

TEST_F(LoginScreenTest, ARefusedSignInReportsTheErrorStaysAndCancelReportsAgain) {
  present();
  type(credentials().usernameField(), "dj");
  type(credentials().passwordField(), "wrong");
  hb_->pressReturn();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !results_.empty(); }));
  ASSERT_TRUE(results_[0]);
  EXPECT_EQ(results_[0]->domain, "NXOAuth2HTTPErrorDomain");
  EXPECT_EQ(results_[0]->code, 401);
  hb_->runPass();
  ASSERT_TRUE(hb_->alertVisible());
  EXPECT_EQ(hb_->alertTitle(), SCLocalizedString("auth_error"));
  EXPECT_EQ(hb_->alertMessage(), SCLocalizedString("auth_error_message"));
  hb_->answerAlert(0);
  hb_->advance(0.5);
  EXPECT_TRUE(screenShown());
  // The title bar's cancel button reaches the controller up the chain.
  hb_->tap(centre(login_->scTitleView()->cancelButton()));
  ASSERT_EQ(results_.size(), 2u);
  ASSERT_TRUE(results_[1]);
  EXPECT_EQ(results_[1]->domain, SCUIErrorDomain);
  EXPECT_EQ(results_[1]->code, 100);
  EXPECT_EQ(results_[1]->localizedDescription(), "Canceled by user.");
  hb_->advance(1.0);
  EXPECT_FALSE(screenShown());
}

TEST_F(LoginScreenTest, TheWebSignInOpensTheBrowserAndTakesThePastedRedirect) {
  present();
  hb_->tap(centre(login_->loginView()->fbButton()));
  ASSERT_EQ(hb_->openedURLs().size(), 1u);
  const std::string page = hb_->openedURLs()[0];
  const std::string expected = sc_.url("/connect") + "/via/facebook?client_id=consumer-key&redirect_uri=" + kRedirect +
                               "&display=popup&response_type=code&state=";
  EXPECT_EQ(page.rfind(expected, 0), 0u) << page;
  // The page carries the challenge of the verifier the code exchange sends.
  const URL pageURL = *URL::withString(page);
  const std::optional<URL>& prepared = login_->preparedURL();
  ASSERT_TRUE(prepared);
  EXPECT_EQ(nxoauth2::nxoauth2_valueForQueryParameterKey(pageURL, "code_challenge_method"), "S256");
  EXPECT_EQ(nxoauth2::nxoauth2_valueForQueryParameterKey(pageURL, "code_challenge"),
            nxoauth2::nxoauth2_valueForQueryParameterKey(*prepared, "code_challenge"));
  hb_->advance(1.0);
  SCLoginView& form = *login_->loginView();
  EXPECT_FALSE(form.webSignInPanel().isHidden());
  EXPECT_EQ(form.webSignInPanel().alpha(), 1.0);
  // What the browser does: the page sends it to the redirect address.
  igbtest::RecordingDelegate d;
  d.onRedirect = [](platform::URLRequest, const platform::HTTPURLResponse&) { return std::optional<platform::URLRequest>(); };
  auto c = platform::URLConnection::make(platform::URLRequest(*URL::withString(page)), &d);
  c->start();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.done(); }));
  const std::string landing = d.response->valueForHTTPHeaderField("Location").value_or("");
  ASSERT_EQ(landing.rfind(std::string(kRedirect) + "?code=XYZ", 0), 0u) << landing;
  // An address that is not the redirect is refused with the alert.
  type(form.redirectField(), "https://example.com/elsewhere");
  hb_->tap(centre(form.redirectDoneButton()));
  ASSERT_TRUE(hb_->alertVisible());
  hb_->answerAlert(0);
  hb_->advance(0.5);
  EXPECT_TRUE(results_.empty());
  form.redirectField().setText("");
  type(form.redirectField(), landing);
  hb_->tap(centre(form.redirectDoneButton()));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !results_.empty(); }));
  EXPECT_EQ(results_[0], std::nullopt);
  EXPECT_EQ(igbtest::formMap(sc_.tokenRequests().back()).at("grant_type"), "authorization_code");
  hb_->advance(1.0);
  EXPECT_FALSE(screenShown());
}

TEST_F(LoginScreenTest, TermsLinksAskBeforeOpeningAndTheCreateButtonOpensTheHomePage) {
  present();
  OHAttributedLabel& tos = login_->loginView()->tosLabel();
  ASSERT_EQ(tos.customLinks().size(), 2u);
  EXPECT_EQ(tos.customLinks()[0].url, SCLoginView::kTermsOfUseURL);
  const auto rects = tos.highlightRects(tos.customLinks()[1]);
  ASSERT_FALSE(rects.empty());
  hb_->tap(tos.convertPointTo({rects[0].midX(), rects[0].midY()}, nullptr));
  EXPECT_TRUE(hb_->openedURLs().empty());
  ASSERT_TRUE(hb_->alertVisible());
  EXPECT_EQ(hb_->alertTitle(), SCLocalizedString("open_in_safari_title"));
  hb_->answerAlert(0);  // cancel
  hb_->advance(0.5);
  EXPECT_TRUE(hb_->openedURLs().empty());
  hb_->tap(tos.convertPointTo({rects[0].midX(), rects[0].midY()}, nullptr));
  hb_->answerAlert(1);
  hb_->advance(0.5);
  EXPECT_EQ(hb_->openedURLs(), (std::vector<std::string>{SCLoginView::kPrivacyPolicyURL}));
  // Another link in the terms text is neither followed nor offered.
  OHLink other{{0, 2}, "https://example.com/other"};
  EXPECT_EQ(login_->loginView()->attributedLabelShouldFollowLink(tos, other), false);
  EXPECT_FALSE(hb_->alertVisible());
  hb_->tap(centre(login_->loginView()->createButton()));
  EXPECT_EQ(hb_->openedURLs().back(), SCLoginView::kHomePageURL);
}

TEST_F(LoginScreenTest, LayoutAndDrawing) {
  present();
  SCLoginView& form = *login_->loginView();
  EXPECT_EQ(login_->scTitleView()->frame(), (platform::Rect{0, 0, 320, 44}));
  EXPECT_EQ(form.frame(), (platform::Rect{0, 44, 320, 524}));
  EXPECT_EQ(form.credentialsView().frame(), (platform::Rect{13, 218, 293, 97}));
  EXPECT_EQ(form.fbButton().frame(), (platform::Rect{13, 69, 293, 43}));
  EXPECT_EQ(form.createButton().frame(), (platform::Rect{13, 122, 293, 43}));
  EXPECT_EQ(form.loginButton().frame(), (platform::Rect{13, 336, 293, 43}));
  EXPECT_EQ(form.tosLabel().frame(), (platform::Rect{13, 396, 300, 80}));
  EXPECT_EQ(form.fbButton().titleEdgeInsets().left, -30);
  EXPECT_EQ(form.credentialsView().usernameField().frame().size.height, 48.5);
  EXPECT_EQ(form.titleLabel().textColor(), SCColors::soundCloudGrey());
  auto img = hb_->render();
  // The title bar's gradient, the black strip under it, the grey form and
  // its two rule lines.
  EXPECT_NEAR(img->pixel(200, 2).r, 56, 3);
  EXPECT_EQ(img->pixel(200, 43).r, 0);
  EXPECT_NEAR(img->pixel(5, 44 + 100).r, 242, 2);
  EXPECT_NEAR(img->pixel(5, 44 + 178).r, 204, 12);
  // The white rule, lighter than the grey around it.
  EXPECT_GT(img->pixel(5, 44 + 179).r, 247);
  EXPECT_GT(img->pixel(5, 44 + 180).r, 245);
  // The Facebook button's gradient: blue at the top.
  const auto fb = img->pixel(150, 44 + 71);
  EXPECT_GT(fb.b, 150);
  EXPECT_LT(fb.r, 40);
}

TEST_F(LoginScreenTest, FocusScrollsTheFormOnlyWhereTheKeyboardWouldCoverIt) {
  present();
  SCLoginView& form = *login_->loginView();
  // A tall phone held upright: nothing moves.
  type(credentials().usernameField(), "dj");
  hb_->advance(1.0);
  EXPECT_EQ(form.contentOffset().y, 0);
  scResignFirstResponderOfAllSubviews(form);
  // In landscape the focused field's top goes to the top of the form (as far
  // as the content reaches), and back when nothing is focused.
  SCDevice::setOrientation(SCDevice::Orientation::LandscapeLeft);
  // Room to scroll on this screen, as on a phone turned sideways.
  form.setContentSize({1, 1000});
  type(credentials().usernameField(), "x");
  hb_->advance(1.0);
  EXPECT_EQ(form.contentOffset().y, 218);
  scResignFirstResponderOfAllSubviews(form);
  hb_->advance(1.0);
  EXPECT_EQ(form.contentOffset().y, 0);
  EXPECT_FALSE(SCLoginViewController::shouldAutorotateToInterfaceOrientation(SCDevice::Orientation::LandscapeLeft));
  EXPECT_TRUE(SCLoginViewController::shouldAutorotateToInterfaceOrientation(SCDevice::Orientation::PortraitUpsideDown));
}

}  // namespace
