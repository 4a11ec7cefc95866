#include "oauth2/nxoauth2_client.h"

#include <gtest/gtest.h>

#include "oauth2/nxoauth2_url_encoding.h"
#include "platform/keychain/keychain.h"
#include "tests/oauth2/oauth2_test_support.h"

using namespace nxoauth2;
using igbtest::HandlerResult;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestHttpServer;
using platform::URL;

namespace {

using Fields = std::vector<std::string>;

std::string queryValue(const URL& url, const std::string& key) {
  return nxoauth2_valueForQueryParameterKey(url, key).value_or("<none>");
}

class ClientTest : public igbtest::OAuth2Test {
 protected:
  ClientTest()
      : server_([this](const HttpRequest& r) {
          std::lock_guard<std::mutex> lock(mutex_);
          if (r.path == "/oauth2/token" && !tokenReplies_.empty()) {
            HttpResponse res = tokenReplies_.front();
            if (tokenReplies_.size() > 1) tokenReplies_.erase(tokenReplies_.begin());
            return res;
          }
          return HttpResponse::json(200, "{\"path\":\"" + r.path + "\"}");
        }) {}

  void replyToTokenRequests(std::vector<HttpResponse> replies) {
    std::lock_guard<std::mutex> lock(mutex_);
    tokenReplies_ = std::move(replies);
  }
  std::shared_ptr<NXOAuth2Client> makeClient(std::shared_ptr<NXOAuth2AccessToken> token = nullptr) {
    return NXOAuth2Client::make("cid", "sec", *URL::withString(server_.url("/connect")),
                                *URL::withString(server_.url("/oauth2/token")), std::move(token), std::nullopt, false,
                                &delegate_);
  }
  std::vector<HttpRequest> tokenRequests() const {
    std::vector<HttpRequest> out;
    for (auto& r : server_.requests())
      if (r.path == "/oauth2/token") out.push_back(r);
    return out;
  }
  bool waitForEvents(size_t n) { return pumpMainLoopUntil([&] { return delegate_.events.size() >= n; }); }
  static std::shared_ptr<NXOAuth2AccessToken> expiredToken(const std::string& refresh = "r1") {
    return NXOAuth2AccessToken::make("stale", refresh, platform::Date{nxoauth2_now().secondsSince1970 - 30});
  }
  std::shared_ptr<NXOAuth2Connection> resource(const std::shared_ptr<NXOAuth2Client>& client, HandlerResult& result,
                                               const std::string& path = "/me.json") {
    return NXOAuth2Connection::make(platform::URLRequest(*URL::withString(server_.url(path))), std::nullopt, client,
                                    nullptr, result.handler());
  }

  std::mutex mutex_;
  std::vector<HttpResponse> tokenReplies_{HttpResponse::json(200, igbtest::tokenReply("fresh", "r2"))};
  TestHttpServer server_;
  igbtest::RecordingClientDelegate delegate_;
  const URL redirect_ = *URL::withString("x-igroovebix://oauth");
};

TEST_F(ClientTest, TheAuthorizationURLCarriesTheGrantKeysThenStateAndChallenge) {
  auto client = makeClient();
  client->setDesiredScope({"upload", "non-expiring"});
  client->setAdditionalAuthenticationParameters({{"display", "popup"}});
  const URL url = client->authorizationURLWithRedirectURL(redirect_);
  const std::string prefix = server_.url("/connect") +
                             "?response_type=code&client_id=cid&redirect_uri=x-igroovebix%3A%2F%2Foauth"
                             "&display=popup&scope=non-expiring%20upload&state=";
  EXPECT_EQ(url.absoluteString().substr(0, prefix.size()), prefix);
  EXPECT_EQ(queryValue(url, "code_challenge_method"), "S256");
  EXPECT_EQ(queryValue(url, "code_challenge").size(), 43u);
  EXPECT_GE(queryValue(url, "state").size(), 22u);
  const URL again = client->authorizationURLWithRedirectURL(redirect_);
  EXPECT_NE(queryValue(again, "state"), queryValue(url, "state"));
  EXPECT_NE(queryValue(again, "code_challenge"), queryValue(url, "code_challenge"));
}

TEST(PkceChallengeTest, MatchesTheRfcExampleAndTheTestServersOwnDigest) {
  // RFC 7636, appendix B.
  const std::string verifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
  const std::string challenge = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
  EXPECT_EQ(nxoauth2_pkceS256Challenge(verifier), challenge);
  EXPECT_EQ(igbtest::pkceS256(verifier), challenge);
  // A digest whose base64 has "+" and "/": the URL alphabet, no padding.
  EXPECT_EQ(nxoauth2_pkceS256Challenge(""), "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU");
  EXPECT_EQ(igbtest::pkceS256(""), "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU");
}

TEST(PkceChallengeTest, TheEnforcingTestServerRefusesWhatItShould) {
  igbtest::PkceAuthority authority;
  const std::string verifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
  const std::string challenge = nxoauth2_pkceS256Challenge(verifier);
  EXPECT_FALSE(authority.authorize({{"state", "s"}}));
  EXPECT_FALSE(authority.authorize({{"code_challenge", verifier}, {"code_challenge_method", "plain"}}));
  EXPECT_FALSE(authority.authorize({{"code_challenge", challenge}}));
  const auto code = authority.authorize({{"code_challenge", challenge}, {"code_challenge_method", "S256"}});
  const auto other = authority.authorize({{"code_challenge", challenge}, {"code_challenge_method", "S256"}});
  const auto third = authority.authorize({{"code_challenge", challenge}, {"code_challenge_method", "S256"}});
  ASSERT_TRUE(code && other && third);
  EXPECT_FALSE(authority.redeem(*other, challenge));
  EXPECT_FALSE(authority.redeem(*third, std::nullopt));
  EXPECT_FALSE(authority.redeem("unknown", verifier));
  EXPECT_TRUE(authority.redeem(*code, verifier));
  EXPECT_FALSE(authority.redeem(*code, verifier));  // spent
}

TEST_F(ClientTest, ARedirectWithItsCodeExchangesItWithTheVerifier) {
  auto client = makeClient();
  client->setAdditionalAuthenticationParameters({{"display", "popup"}});
  const URL auth = client->authorizationURLWithRedirectURL(redirect_);
  const URL back = *URL::withString("x-igroovebix://oauth?code=XYZ%2F1&state=" + queryValue(auth, "state"));
  EXPECT_TRUE(client->openRedirectURL(back));
  EXPECT_TRUE(client->isAuthenticating());
  ASSERT_TRUE(waitForEvents(1));
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"got"}));
  EXPECT_FALSE(client->isAuthenticating());
  EXPECT_EQ(client->currentAccessToken()->accessToken(), "fresh");
  EXPECT_EQ(client->currentAccessToken()->scope(), (std::set<std::string>{"non-expiring"}));
  const auto reqs = tokenRequests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "POST");
  EXPECT_EQ(reqs[0].header("Accept"), "application/json");
  EXPECT_FALSE(reqs[0].header("Authorization"));
  EXPECT_EQ(igbtest::fieldNames(reqs[0]),
            (Fields{"grant_type", "client_id", "client_secret", "redirect_uri", "code", "code_verifier", "display"}));
  const auto f = igbtest::formMap(reqs[0]);
  EXPECT_EQ(f.at("grant_type"), "authorization_code");
  EXPECT_EQ(f.at("client_id"), "cid");
  EXPECT_EQ(f.at("client_secret"), "sec");
  EXPECT_EQ(f.at("redirect_uri"), "x-igroovebix://oauth");
  EXPECT_EQ(f.at("code"), "XYZ/1");
  // A verifier is 43 to 128 unreserved characters.
  const std::string& verifier = f.at("code_verifier");
  EXPECT_GE(verifier.size(), 43u);
  EXPECT_LE(verifier.size(), 128u);
  EXPECT_EQ(verifier.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~"),
            std::string::npos)
      << verifier;
  EXPECT_EQ(igbtest::pkceS256(verifier), queryValue(auth, "code_challenge"));
  // The state is spent: the same redirect again is not taken.
  EXPECT_FALSE(client->openRedirectURL(back));
}

TEST_F(ClientTest, ACodeWinsOverAnError) {
  auto client = makeClient();
  const std::string state = queryValue(client->authorizationURLWithRedirectURL(redirect_), "state");
  EXPECT_TRUE(client->openRedirectURL(*URL::withString("x-igroovebix://oauth?error=access_denied&code=c&state=" + state)));
  ASSERT_TRUE(waitForEvents(1));
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"got"}));
}

TEST_F(ClientTest, ErrorNamesMapToTheirCodesWithoutRegardToCase) {
  const std::pair<const char*, int64_t> table[] = {
      {"invalid_request", -1001}, {"invalid_client", -1002},   {"unauthorized_client", -1003},
      {"redirect_uri_mismatch", -1004}, {"ACCESS_DENIED", -1005}, {"Unsupported_Response_Type", -1006},
      {"invalid_scope", -1007},
  };
  for (auto [name, code] : table) {
    SCOPED_TRACE(name);
    delegate_.events.clear();
    delegate_.errors.clear();
    auto client = makeClient();
    const std::string state = queryValue(client->authorizationURLWithRedirectURL(redirect_), "state");
    EXPECT_FALSE(client->openRedirectURL(*URL::withString(std::string("x-igroovebix://oauth?error=") + name + "&state=" + state)));
    ASSERT_EQ(delegate_.errors.size(), 1u);
    EXPECT_EQ(delegate_.errors[0].domain, "NXOAuth2ErrorDomain");
    EXPECT_EQ(delegate_.errors[0].code, code);
  }
  EXPECT_EQ(delegate_.errors[0].localizedDescription(), "Invalid scope");
  auto client = makeClient();
  const std::string state = queryValue(client->authorizationURLWithRedirectURL(redirect_), "state");
  delegate_.events.clear();
  EXPECT_FALSE(client->openRedirectURL(*URL::withString("x-igroovebix://oauth?error=server_error&state=" + state)));
  EXPECT_FALSE(client->openRedirectURL(*URL::withString("x-igroovebix://oauth?state=" + state)));
  EXPECT_TRUE(delegate_.events.empty());
  EXPECT_TRUE(tokenRequests().empty());
}

TEST_F(ClientTest, RedirectsThatThisClientDidNotAskForAreIgnored) {
  auto fresh = makeClient();
  EXPECT_FALSE(fresh->openRedirectURL(*URL::withString("x-igroovebix://oauth?code=forged")));
  auto client = makeClient();
  client->authorizationURLWithRedirectURL(redirect_);
  EXPECT_FALSE(client->openRedirectURL(*URL::withString("x-igroovebix://oauth?code=forged")));
  EXPECT_FALSE(client->openRedirectURL(*URL::withString("x-igroovebix://oauth?code=forged&state=guess")));
  EXPECT_FALSE(client->openRedirectURL(*URL::withString("x-igroovebix://oauth?error=access_denied&state=guess")));
  pumpMainLoopUntil([] { return false; }, 0.1);
  EXPECT_TRUE(tokenRequests().empty());
  EXPECT_TRUE(delegate_.events.empty());
}

TEST_F(ClientTest, ReservedKeysCannotBeAdditionalParameters) {
  auto client = makeClient();
  for (const char* key : {"grant_type", "client_id", "client_secret", "username", "password", "redirect_uri", "code",
                          "assertion_type", "assertion"}) {
    try {
      client->setAdditionalAuthenticationParameters({{"display", "popup"}, {key, "x"}});
      ADD_FAILURE() << key << " was accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + key + "' is not allowed as a key for additionalAuthenticationParameters");
    }
  }
  EXPECT_TRUE(client->additionalAuthenticationParameters().empty());
  client->setAdditionalAuthenticationParameters({{"display", "popup"}});
  EXPECT_TRUE(client->additionalAuthenticationParameters().contains("display"));
}

TEST_F(ClientTest, GrantsSendTheirParametersInTableOrder) {
  replyToTokenRequests({HttpResponse::json(200, igbtest::tokenReply("t", "r"))});
  auto client = makeClient();
  client->setAdditionalAuthenticationParameters({{"display", "popup"}});
  client->setDesiredScope({"non-expiring"});
  client->authenticateWithUsername("user@example.com", "p&ss word");
  ASSERT_TRUE(waitForEvents(1));
  client->authenticateWithClientCredentials();
  ASSERT_TRUE(waitForEvents(2));
  client->authenticateWithAssertionType(*URL::withString("urn:ietf:params:oauth:grant-type:saml2-bearer"), "assert");
  ASSERT_TRUE(waitForEvents(3));
  client->refreshAccessToken();
  ASSERT_TRUE(waitForEvents(4));
  const auto reqs = tokenRequests();
  ASSERT_EQ(reqs.size(), 4u);
  EXPECT_EQ(igbtest::fieldNames(reqs[0]),
            (Fields{"grant_type", "client_id", "client_secret", "username", "password", "scope", "display"}));
  EXPECT_EQ(igbtest::formMap(reqs[0]).at("password"), "p&ss word");
  EXPECT_EQ(igbtest::formMap(reqs[0]).at("scope"), "non-expiring");
  EXPECT_EQ(igbtest::fieldNames(reqs[1]), (Fields{"grant_type", "client_id", "client_secret", "scope"}));
  EXPECT_EQ(igbtest::formMap(reqs[1]).at("grant_type"), "client_credentials");
  EXPECT_EQ(igbtest::fieldNames(reqs[2]),
            (Fields{"grant_type", "client_id", "client_secret", "assertion_type", "assertion", "scope"}));
  EXPECT_EQ(igbtest::formMap(reqs[2]).at("assertion_type"), "urn:ietf:params:oauth:grant-type:saml2-bearer");
  EXPECT_EQ(igbtest::fieldNames(reqs[3]), (Fields{"grant_type", "client_id", "client_secret", "refresh_token", "scope"}));
  EXPECT_EQ(igbtest::formMap(reqs[3]).at("refresh_token"), "r");
  // The first grant had no token to sign with; later grants are signed
  // with the token held, the refresh never.
  EXPECT_FALSE(reqs[0].header("Authorization"));
  EXPECT_EQ(reqs[1].header("Authorization"), "OAuth t");
  EXPECT_FALSE(reqs[3].header("Authorization"));
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"got", "refreshed", "refreshed", "refreshed"}));
}

TEST_F(ClientTest, AReplyWithoutATokenLosesTheHeldOneOrFailsTheSignIn) {
  replyToTokenRequests({HttpResponse::json(200, "{\"error\":\"nothing\"}")});
  {
    auto client = makeClient();
    client->authenticateWithUsername("u", "p");
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(delegate_.events, (std::vector<std::string>{"failed NXOAuth2ErrorDomain -2002"}));
    EXPECT_FALSE(client->isAuthenticating());
  }
  delegate_.events.clear();
  {
    auto client = makeClient(NXOAuth2AccessToken::make("held"));
    client->authenticateWithUsername("u", "p");
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(delegate_.events, (std::vector<std::string>{"lost"}));
    EXPECT_EQ(client->currentAccessToken(), nullptr);
  }
}

TEST_F(ClientTest, A401FromTheTokenEndpointDropsTheToken) {
  replyToTokenRequests({HttpResponse::json(401, "{\"error\":\"invalid_grant\"}")});
  auto client = makeClient(NXOAuth2AccessToken::make("held", "r"));
  client->authenticateWithUsername("u", "wrong");
  ASSERT_TRUE(waitForEvents(2));
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"lost", "failed NXOAuth2HTTPErrorDomain 401"}));
  EXPECT_EQ(client->currentAccessToken(), nullptr);
}

TEST_F(ClientTest, ConnectionsWaitingForOneRefreshAreRetriedInQueueOrder) {
  HttpResponse slow = HttpResponse::json(200, igbtest::tokenReply("fresh"));
  slow.delay = std::chrono::milliseconds(150);
  replyToTokenRequests({slow});
  auto client = makeClient(expiredToken());
  igbtest::ConnectionNotifications notes;
  HandlerResult a, b;
  auto ca = resource(client, a, "/a.json");
  auto cb = resource(client, b, "/b.json");
  EXPECT_EQ(client->waitingConnectionCount(), 2u);
  ASSERT_TRUE(client->authConnection());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a.done() && b.done(); }));
  EXPECT_FALSE(a.error);
  EXPECT_FALSE(b.error);
  EXPECT_EQ(tokenRequests().size(), 1u);
  EXPECT_EQ(client->waitingConnectionCount(), 0u);
  for (auto& r : server_.requests()) {
    if (r.path != "/oauth2/token") {
      EXPECT_EQ(r.header("Authorization"), "OAuth fresh") << r.path;
    }
  }
  std::vector<const NXOAuth2Connection*> starts;
  for (auto& [name, c] : notes.log)
    if (name == "start" && (c == ca.get() || c == cb.get())) starts.push_back(c);
  EXPECT_EQ(starts, (std::vector<const NXOAuth2Connection*>{ca.get(), cb.get()}));
  EXPECT_EQ(client->currentAccessToken()->refreshToken(), "r1");  // kept from the old token
}

TEST_F(ClientTest, ServerErrorsOnARefreshAreRetriedFourTimesASecondApartThenFail) {
  replyToTokenRequests({HttpResponse::json(503, "{}")});
  auto clock = std::make_shared<platform::VirtualClock>();
  platform::RunLoop::main().setClock(clock);
  auto client = makeClient(expiredToken());
  HandlerResult result;
  auto c = resource(client, result);
  std::vector<double> sentAt;
  for (size_t n = 1; n <= 5; ++n) {
    ASSERT_TRUE(pumpMainLoopUntil([&] { return tokenRequests().size() == n; })) << n;
    sentAt.push_back(clock->now());
    if (n < 5) {
      ASSERT_TRUE(pumpMainLoopUntil([&] { return client->refreshConnectionDidRetryCount() == static_cast<int64_t>(n); }));
      platform::RunLoop::main().advanceBy(0.95);
      pumpMainLoopUntil([] { return false; }, 0.05);
      EXPECT_EQ(tokenRequests().size(), n) << "retried early";
      platform::RunLoop::main().advanceBy(0.05);
    }
  }
  ASSERT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
  for (size_t i = 1; i < sentAt.size(); ++i) EXPECT_NEAR(sentAt[i] - sentAt[i - 1], 1.0, 1e-9);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain, "NXOAuth2ErrorDomain");
  EXPECT_EQ(result.error->code, -2001);
  EXPECT_EQ(result.error->localizedDescription(), "Access token could not be refreshed");
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"failed NXOAuth2HTTPErrorDomain 503"}));
  EXPECT_NE(client->currentAccessToken(), nullptr);
  EXPECT_EQ(result.calls, 1);
  // Nobody asked for /me.json with a token the server would refuse.
  for (auto& r : server_.requests()) EXPECT_EQ(r.path, "/oauth2/token");
}

TEST_F(ClientTest, ARefusedRefreshFailsTheQueueAndLosesTheToken) {
  replyToTokenRequests({HttpResponse::json(401, "{}")});
  auto client = makeClient(expiredToken());
  HandlerResult result;
  auto c = resource(client, result);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
  EXPECT_EQ(result.error->code, -2001);
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"lost", "failed NXOAuth2HTTPErrorDomain 401"}));
  EXPECT_EQ(tokenRequests().size(), 1u);
}

TEST_F(ClientTest, ARefreshAnsweredWithAnExpiredTokenChallengeFailsInsteadOfWaitingForItself) {
  HttpResponse challenge = HttpResponse::json(401, "{}");
  challenge.headers.emplace_back("WWW-Authenticate", "OAuth error=\"expired_token\"");
  replyToTokenRequests({challenge});
  auto client = makeClient(expiredToken());
  HandlerResult result;
  auto c = resource(client, result);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
  EXPECT_EQ(result.error->code, -2001);
  EXPECT_EQ(tokenRequests().size(), 1u);
}

TEST_F(ClientTest, RequestAccessAsksTheDelegateOnlyWithoutAToken) {
  makeClient()->requestAccess();
  makeClient(NXOAuth2AccessToken::make("t"))->requestAccess();
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"needs"}));
}

TEST_F(ClientTest, APersistentClientKeepsItsTokenInTheKeychain) {
  auto client = NXOAuth2Client::make("cid", "sec", *URL::withString(server_.url("/connect")),
                                     *URL::withString(server_.url("/oauth2/token")), NXOAuth2AccessToken::make("kept", "r"),
                                     std::string("group"), true, &delegate_);
  EXPECT_EQ(client->providerName(), "group");
  const std::string service = NXOAuth2AccessToken::serviceNameWithProvider("group");
  ASSERT_TRUE(platform::Keychain::defaultKeychain().copyItem(service));
  auto second = NXOAuth2Client::make("cid", "sec", *URL::withString(server_.url("/connect")),
                                     *URL::withString(server_.url("/oauth2/token")), nullptr, std::string("group"), true,
                                     &delegate_);
  ASSERT_TRUE(second->accessToken());
  EXPECT_EQ(second->accessToken()->accessToken(), "kept");
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"got"}));
  second->setPersistent(false);
  EXPECT_FALSE(platform::Keychain::defaultKeychain().copyItem(service));
  client->setAccessToken(NXOAuth2AccessToken::make("next"));
  ASSERT_TRUE(platform::Keychain::defaultKeychain().copyItem(service));
  client->setAccessToken(nullptr);
  EXPECT_FALSE(platform::Keychain::defaultKeychain().copyItem(service));
  // Without a keychain group the token endpoint's host names the item.
  EXPECT_EQ(makeClient()->providerName(), "127.0.0.1");
}

TEST_F(ClientTest, DestroyingTheClientCancelsItsTokenRequest) {
  HttpResponse slow = HttpResponse::json(200, igbtest::tokenReply("t"));
  slow.delay = std::chrono::milliseconds(200);
  replyToTokenRequests({slow});
  {
    auto client = makeClient();
    client->authenticateWithUsername("u", "p");
    ASSERT_TRUE(pumpMainLoopUntil([&] { return tokenRequests().size() == 1; }));
  }
  pumpMainLoopUntil([] { return false; }, 0.4);
  EXPECT_TRUE(delegate_.events.empty());
}

TEST_F(ClientTest, ASecondGrantReplacesTheFirst) {
  HttpResponse slow = HttpResponse::json(200, igbtest::tokenReply("first"));
  slow.delay = std::chrono::milliseconds(250);
  replyToTokenRequests({slow, HttpResponse::json(200, igbtest::tokenReply("second"))});
  auto client = makeClient();
  client->authenticateWithUsername("u", "one");
  ASSERT_TRUE(pumpMainLoopUntil([&] { return tokenRequests().size() == 1; }));
  client->authenticateWithUsername("u", "two");
  ASSERT_TRUE(waitForEvents(1));
  pumpMainLoopUntil([] { return false; }, 0.4);
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"got"}));
  EXPECT_EQ(client->currentAccessToken()->accessToken(), "second");
}

}  // namespace
