#include "soundcloud-sdk/sc_soundcloud.h"

#include <gtest/gtest.h>

#include <mutex>

#include "json/json_kit.h"
#include "oauth2/nxoauth2_account_store.h"
#include "oauth2/nxoauth2_url_encoding.h"
#include "soundcloud-sdk/sc_request.h"
#include "tests/oauth2/oauth2_test_support.h"
#include "tests/platform/net/net_test_support.h"

using namespace scsdk;
using igbtest::HandlerResult;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestHttpServer;
using nxoauth2::NXOAuth2AccountStore;
using nxoauth2::NXOAuth2Parameters;
using platform::Notification;
using platform::URL;

namespace {

// A stand-in for the service on loopback: sign-in page, token endpoint and a
// few API resources. The sign-in enforces PKCE.
class FakeSoundCloud {
 public:
  FakeSoundCloud()
      : server_([this](const HttpRequest& r) { return handle(r); }) {}

  std::string url(const std::string& path) const { return server_.url(path); }
  TestHttpServer& server() { return server_; }
  void setRefreshStatus(int status) { refreshStatus_ = status; }
  void setDenySignIn(bool deny) { deny_ = deny; }

 private:
  HttpResponse handle(const HttpRequest& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (r.path == "/connect") {
      const auto q = nxoauth2::nxoauth2_parametersFromEncodedQueryString(r.query);
      const std::string state = nxoauth2::nxoauth2_URLEncodedString(q.count("state") ? q.at("state") : "");
      if (deny_) return HttpResponse::redirect(302, q.at("redirect_uri") + "?error=ACCESS_DENIED&state=" + state);
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
      if (grant == "refresh_token" && refreshStatus_ != 200) return HttpResponse::json(refreshStatus_, "{}");
      ++issued_;
      return HttpResponse::json(200, "{\"access_token\":\"tok-" + std::to_string(issued_) +
                                         "\",\"refresh_token\":\"ref\",\"expires_in\":21599,\"scope\":\"*\"}");
    }
    const auto auth = r.header("Authorization").value_or("");
    if (auth.rfind("OAuth tok-", 0) != 0) {
      HttpResponse res = HttpResponse::json(401, "{\"error\":\"401 - Unauthorized\"}");
      res.headers.emplace_back("WWW-Authenticate", "OAuth realm=\"SoundCloud\", error=\"invalid_token\"");
      return res;
    }
    if (r.path == "/me.json")
      return HttpResponse::json(200, "{\"id\":9007199254740993,\"username\":\"dj\",\"avatar_url\":null,"
                                     "\"permalink_url\":\"https://soundcloud.com/dj\"}");
    if (r.path == "/tracks.json" && r.method == "POST") {
      const auto f = igbtest::formMap(r);
      return HttpResponse::json(201, "{\"id\":4294967296,\"title\":\"" + f.at("track[title]") + "\",\"artwork_url\":null}");
    }
    return HttpResponse::json(200, "{\"method\":\"" + r.method + "\",\"query\":\"" + r.query + "\"}");
  }

  std::mutex mutex_;
  int issued_ = 0;
  int refreshStatus_ = 200;
  bool deny_ = false;
  igbtest::PkceAuthority pkce_;
  TestHttpServer server_;
};

class SoundCloudTest : public igbtest::OAuth2Test {
 protected:
  void SetUp() override {
    igbtest::OAuth2Test::SetUp();
    NXOAuth2AccountStore::resetSharedStoreForTesting();
    SCSoundCloud::setServiceEndpoints({*URL::withString(sc_.url("/connect")), *URL::withString(sc_.url("/oauth2/token")),
                                       *URL::withString(sc_.url("/")), *URL::withString(sc_.url("/sandbox/oauth2/token"))});
    SCSoundCloud::setClientID("consumer-key", "consumer-secret", redirect_);
    auto& c = platform::NotificationCenter::defaultCenter();
    c.addObserver(this, SCSoundCloudAccountDidChangeNotification, [this](const Notification& n) {
      ++changes_;
      EXPECT_EQ(*n.objectAs<SCSoundCloud*>(), &SCSoundCloud::shared());
    });
    c.addObserver(this, SCSoundCloudDidFailToRequestAccessNotification, [this](const Notification& n) {
      failures_.push_back(n.userInfo);
    });
    c.addObserver(this, SCAccountDidFailToGetAccessToken, [this](const Notification& n) {
      auto a = n.objectAs<std::shared_ptr<nxoauth2::NXOAuth2Account>>();
      tokenFailures_.push_back(a && *a ? (*a)->identifier() : "?");
    });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    NXOAuth2AccountStore::resetSharedStoreForTesting();
    SCSoundCloud::setServiceEndpoints(SCServiceEndpoints::standard());
    igbtest::OAuth2Test::TearDown();
  }

  std::shared_ptr<SCAccount> signInWithPassword() {
    const int before = changes_;
    SCSoundCloud::shared().requestAccessWithUsername("dj", "secret");
    if (!pumpMainLoopUntil([&] { return changes_ > before; })) return nullptr;
    return SCSoundCloud::account();
  }
  // Follows the sign-in page like a browser and returns where it sends us.
  std::optional<URL> followSignInPage(const URL& page) {
    igbtest::RecordingDelegate d;
    d.onRedirect = [](platform::URLRequest, const platform::HTTPURLResponse&) { return std::optional<platform::URLRequest>(); };
    auto c = platform::URLConnection::make(platform::URLRequest(page), &d);
    c->start();
    if (!pumpMainLoopUntil([&] { return d.done(); }) || !d.response) return std::nullopt;
    return URL::withString(d.response->valueForHTTPHeaderField("Location").value_or(""));
  }
  HandlerResult call(SCRequestMethod method, const std::string& path, std::optional<NXOAuth2Parameters> p,
                     const std::shared_ptr<SCAccount>& account) {
    HandlerResult r;
    SCRequest::performMethod(method, *URL::withString(sc_.url(path)), std::move(p), account, r.progressHandler(), r.handler());
    EXPECT_TRUE(pumpMainLoopUntil([&] { return r.done(); }));
    return r;
  }

  FakeSoundCloud sc_;
  const URL redirect_ = *URL::withString("x-igroovebix://soundcloud/callback");
  int changes_ = 0;
  std::vector<platform::Dictionary> failures_;
  std::vector<std::string> tokenFailures_;
};

TEST_F(SoundCloudTest, SignInWithPasswordMakesTheAccount) {
  EXPECT_EQ(SCSoundCloud::account(), nullptr);
  auto account = signInWithPassword();
  ASSERT_TRUE(account);
  EXPECT_EQ(changes_, 1);
  EXPECT_EQ(account->oauthAccount()->accountType(), kSCAccountType);
  EXPECT_EQ(account->oauthAccount()->accessToken()->accessToken(), "tok-1");
  // A new wrapper on every ask, for the same account.
  auto again = SCSoundCloud::account();
  EXPECT_NE(again.get(), account.get());
  EXPECT_EQ(again->identifier(), account->identifier());
  // Signing in again keeps the first account.
  ASSERT_TRUE(signInWithPassword());
  EXPECT_EQ(NXOAuth2AccountStore::sharedStore().accountsWithAccountType(kSCAccountType).size(), 2u);
}

TEST_F(SoundCloudTest, AWrongPasswordIsAnnouncedAsAFailedRequest) {
  SCSoundCloud::shared().requestAccessWithUsername("dj", "wrong");
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !failures_.empty(); }));
  EXPECT_EQ(failures_[0].at(nxoauth2::NXOAuth2AccountStoreAccountType).stringValue(), kSCAccountType);
  auto error = platform::Error::fromValue(failures_[0].at(nxoauth2::NXOAuth2AccountStoreErrorKey));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "NXOAuth2HTTPErrorDomain");
  EXPECT_EQ(error->code, 401);
  EXPECT_EQ(SCSoundCloud::account(), nullptr);
  EXPECT_EQ(changes_, 0);
}

TEST_F(SoundCloudTest, TheWebSignInSignsOutFirstThenExchangesTheCode) {
  ASSERT_TRUE(signInWithPassword());
  const int before = changes_;
  std::optional<URL> prepared;
  SCSoundCloud::requestAccessWithPreparedAuthorizationURLHandler([&](const URL& u) {
    // Already signed out when the page is handed over.
    EXPECT_EQ(SCSoundCloud::account(), nullptr);
    prepared = u;
  });
  EXPECT_EQ(changes_, before + 1);
  ASSERT_TRUE(prepared);
  EXPECT_EQ(prepared->absoluteString().rfind(
                sc_.url("/connect") + "?response_type=code&client_id=consumer-key&redirect_uri=x-igroovebix%3A%2F%2Fsoundcloud%2Fcallback", 0),
            0u);
  const std::optional<URL> landing = followSignInPage(*prepared);
  ASSERT_TRUE(landing);
  EXPECT_EQ(landing->absoluteString().rfind("x-igroovebix://soundcloud/callback?code=XYZ1&state=", 0), 0u);
  // Pages on the way to the redirect are not taken.
  EXPECT_FALSE(SCSoundCloud::handleRedirectURL(*prepared));
  EXPECT_TRUE(SCSoundCloud::handleRedirectURL(*landing));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return changes_ == before + 2; }));
  auto account = SCSoundCloud::account();
  ASSERT_TRUE(account);
  EXPECT_EQ(account->oauthAccount()->accessToken()->accessToken(), "tok-2");
  const auto reqs = sc_.server().requests();
  const auto& exchange = reqs.back();
  EXPECT_EQ(igbtest::formMap(exchange).at("grant_type"), "authorization_code");
  EXPECT_EQ(igbtest::formMap(exchange).at("redirect_uri"), "x-igroovebix://soundcloud/callback");
}

TEST_F(SoundCloudTest, ADeniedWebSignInIsAnnouncedWithTheServersError) {
  sc_.setDenySignIn(true);
  std::optional<URL> prepared;
  SCSoundCloud::requestAccessWithPreparedAuthorizationURLHandler([&](const URL& u) { prepared = u; });
  const std::optional<URL> landing = followSignInPage(*prepared);
  ASSERT_TRUE(landing);
  EXPECT_FALSE(SCSoundCloud::handleRedirectURL(*landing));
  ASSERT_EQ(failures_.size(), 1u);
  auto error = platform::Error::fromValue(failures_[0].at(nxoauth2::NXOAuth2AccountStoreErrorKey));
  EXPECT_EQ(error->domain, "NXOAuth2ErrorDomain");
  EXPECT_EQ(error->code, -1005);
  EXPECT_EQ(SCSoundCloud::account(), nullptr);
}

TEST_F(SoundCloudTest, CallsAreSignedAndTheirJSONKeeps64BitIds) {
  auto account = signInWithPassword();
  ASSERT_TRUE(account);
  HandlerResult me = call(SCRequestMethodGET, "/me.json", NXOAuth2Parameters{{"client_id", "consumer-key"}}, account);
  ASSERT_FALSE(me.error);
  const jk::Value json = jk::Value::data(me.body).data()->objectFromJSONData();
  ASSERT_TRUE(json.isDictionary());
  EXPECT_EQ(json["id"].int64Value(), 9007199254740993LL);  // not representable as a double
  EXPECT_EQ(json["username"].stringView(), "dj");
  EXPECT_TRUE(json["avatar_url"].isNull());
  const auto r = sc_.server().requests().back();
  EXPECT_EQ(r.target, "/me.json?client_id=consumer-key");
  EXPECT_EQ(r.header("Authorization"), "OAuth tok-1");

  HandlerResult upload = call(SCRequestMethodPOST, "/tracks.json", NXOAuth2Parameters{{"track[title]", "Bounce 120 BPM"}}, account);
  ASSERT_FALSE(upload.error);
  EXPECT_EQ(upload.response->statusCode, 201);
  const jk::Value track = jk::Value::data(upload.body).data()->objectFromJSONData();
  EXPECT_EQ(track["id"].int64Value(), 4294967296LL);
  EXPECT_EQ(track["title"].stringView(), "Bounce 120 BPM");
  EXPECT_FALSE(upload.progress.empty());
}

TEST_F(SoundCloudTest, MethodCodesBecomeHTTPMethods) {
  auto account = signInWithPassword();
  ASSERT_TRUE(account);
  const std::pair<SCRequestMethod, const char*> table[] = {
      {SCRequestMethodGET, "GET"},  {SCRequestMethodPOST, "POST"}, {SCRequestMethodPUT, "PUT"},
      {SCRequestMethodDELETE, "DELETE"}, {SCRequestMethodHEAD, "HEAD"}, {7, "GET"}, {-1, "GET"},
  };
  for (auto [code, method] : table) {
    SCOPED_TRACE(code);
    EXPECT_EQ(SCRequestMethodString(code), method);
    HandlerResult r = call(code, "/tracks/4294967296.json", NXOAuth2Parameters{{"track[genre]", "techno"}}, account);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(sc_.server().requests().back().method, method);
  }
  auto request = SCRequest::initWithMethod(SCRequestMethodDELETE, *URL::withString(sc_.url("/x")));
  EXPECT_EQ(request->requestMethod(), SCRequestMethodDELETE);
  request->setRequestMethod(SCRequestMethodPUT);
  EXPECT_EQ(request->oauthRequest()->requestMethod(), "PUT");
  request->oauthRequest()->setRequestMethod("post");
  EXPECT_EQ(request->requestMethod(), SCRequestMethodPOST);
  request->oauthRequest()->setRequestMethod("PATCH");
  EXPECT_EQ(request->requestMethod(), SCRequestMethodGET);
  EXPECT_EQ(request->account(), nullptr);
  request->setAccount(account);
  EXPECT_EQ(request->account()->identifier(), account->identifier());
  EXPECT_EQ(request->signedURLRequest().valueForHTTPHeaderField("Authorization"), "OAuth tok-1");
}

TEST_F(SoundCloudTest, CancellingHandlesOfEitherKindAndIgnoringOthers) {
  auto account = signInWithPassword();
  HandlerResult a, b;
  auto handle = SCRequest::performMethod(SCRequestMethodGET, *URL::withString(sc_.url("/a")), std::nullopt, account,
                                         nullptr, a.handler());
  auto wrapped = SCRequest::initWithMethod(SCRequestMethodGET, *URL::withString(sc_.url("/b")));
  wrapped->setAccount(account);
  wrapped->performRequestWithSendingProgressHandler(nullptr, b.handler());
  SCRequest::cancelRequest(std::string("not a request"));
  SCRequest::cancelRequest(42);
  SCRequest::cancelRequest(handle);
  SCRequest::cancelRequest(wrapped);
  pumpMainLoopUntil([] { return false; }, 0.3);
  EXPECT_EQ(a.calls, 0);
  EXPECT_EQ(b.calls, 0);
}

TEST_F(SoundCloudTest, ARefusedRefreshSignsOutAndIsAnnounced) {
  auto account = signInWithPassword();
  ASSERT_TRUE(account);
  const std::string id = account->identifier();
  // Expire the token long ago so the next call refreshes first.
  auto old = account->oauthAccount()->accessToken();
  account->oauthAccount()->oauthClient()->setAccessToken(nxoauth2::NXOAuth2AccessToken::make(
      old->accessToken(), old->refreshToken(), platform::Date{nxoauth2::nxoauth2_now().secondsSince1970 - 3600}));
  sc_.setRefreshStatus(401);
  const int before = changes_;
  HandlerResult r = call(SCRequestMethodGET, "/me.json", std::nullopt, account);
  ASSERT_TRUE(r.error);
  EXPECT_EQ(r.error->code, -2001);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return changes_ > before; }));
  EXPECT_EQ(SCSoundCloud::account(), nullptr);
  EXPECT_EQ(tokenFailures_, (std::vector<std::string>{id}));
}

TEST_F(SoundCloudTest, RemoveAccessSignsOutEveryAccountOfTheService) {
  ASSERT_TRUE(signInWithPassword());
  ASSERT_TRUE(signInWithPassword());
  auto& store = NXOAuth2AccountStore::sharedStore();
  store.setClientID("other", "s", *URL::withString(sc_.url("/connect")), *URL::withString(sc_.url("/oauth2/token")),
                    *URL::withString("x-other://cb"), "org.other.api");
  store.requestAccessToAccountWithType("org.other.api", "dj", "secret");
  ASSERT_TRUE(pumpMainLoopUntil([&] { return changes_ == 3; }));  // re-posted whatever the type
  SCSoundCloud::removeAccess();
  EXPECT_EQ(changes_, 5);
  EXPECT_EQ(SCSoundCloud::account(), nullptr);
  EXPECT_EQ(store.accountsWithAccountType("org.other.api").size(), 1u);
}

TEST_F(SoundCloudTest, TheConfigurationAndTheSandboxFlag) {
  platform::Dictionary c = SCSoundCloud::configuration();
  EXPECT_EQ(c.at(kSCConfigurationClientID).stringValue(), "consumer-key");
  EXPECT_EQ(c.at(kSCConfigurationSecret).stringValue(), "consumer-secret");
  EXPECT_EQ(c.at(kSCConfigurationRedirectURL).stringValue(), "x-igroovebix://soundcloud/callback");
  EXPECT_EQ(c.at(kSCConfigurationAuthorizeURL).stringValue(), sc_.url("/connect"));
  EXPECT_EQ(c.at(kSCConfigurationAPIURL).stringValue(), sc_.url("/"));
  EXPECT_EQ(c.at(kSCConfigurationSandbox), platform::Value(false));
  const SCServiceEndpoints e = SCSoundCloud::serviceEndpoints();
  SCSoundCloud::setServiceEndpoints({e.authorizeURL, e.sandboxTokenURL, e.apiURL, e.sandboxTokenURL});
  SCSoundCloud::setClientID("k", "s", redirect_);
  EXPECT_EQ(SCSoundCloud::configuration().at(kSCConfigurationSandbox), platform::Value(true));
  EXPECT_THROW(SCSoundCloud::setClientID("", "s", redirect_), std::invalid_argument);
  EXPECT_THROW(SCSoundCloud::setClientID("k", "", redirect_), std::invalid_argument);
  NXOAuth2AccountStore::resetSharedStoreForTesting();
  EXPECT_THROW(SCSoundCloud::configuration(), std::logic_error);
}

TEST_F(SoundCloudTest, StandardEndpointsAreTheServicesOverHttps) {
  const SCServiceEndpoints s = SCServiceEndpoints::standard();
  EXPECT_EQ(s.authorizeURL.absoluteString(), "https://soundcloud.com/connect");
  EXPECT_EQ(s.tokenURL.absoluteString(), "https://api.soundcloud.com/oauth2/token");
  EXPECT_EQ(s.apiURL.absoluteString(), "https://api.soundcloud.com/");
  EXPECT_EQ(s.sandboxTokenURL.scheme(), "https");
}

TEST_F(SoundCloudTest, UserInfoIsTheAccountsUserData) {
  auto account = signInWithPassword();
  ASSERT_TRUE(account);
  EXPECT_TRUE(account->userInfo().empty());
  account->setUserInfo({{"username", platform::Value("dj")}});
  EXPECT_EQ(SCSoundCloud::account()->userInfo().at("username").stringValue(), "dj");
  EXPECT_EQ(account->oauthAccount()->userData().find("username")->stringValue(), "dj");
}

}  // namespace
