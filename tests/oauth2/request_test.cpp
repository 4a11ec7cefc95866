#include "oauth2/nxoauth2_request.h"

#include <gtest/gtest.h>

#include "oauth2/nxoauth2_account_store.h"
#include "oauth2/nxoauth2_post_body_stream.h"
#include "tests/oauth2/oauth2_test_support.h"

using namespace nxoauth2;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestHttpServer;
using platform::URL;

namespace {

const char* kType = "org.example.api";

class RequestTest : public igbtest::OAuth2Test {
 protected:
  RequestTest()
      : server_([this](const HttpRequest& r) {
          if (r.path == "/oauth2/token") return HttpResponse::json(tokenStatus_.load(), igbtest::tokenReply("new"));
          HttpResponse res = HttpResponse::json(200, "{\"method\":\"" + r.method + "\"}");
          res.delay = std::chrono::milliseconds(delayMs_.load());
          return res;
        }) {}
  void SetUp() override {
    igbtest::OAuth2Test::SetUp();
    NXOAuth2AccountStore::resetSharedStoreForTesting();
    NXOAuth2AccountStore::sharedStore().setClientID("cid", "sec", *URL::withString(server_.url("/connect")),
                                                    *URL::withString(server_.url("/oauth2/token")),
                                                    *URL::withString("x-igroovebix://oauth"), kType);
  }
  void TearDown() override {
    NXOAuth2AccountStore::resetSharedStoreForTesting();
    igbtest::OAuth2Test::TearDown();
  }
  std::shared_ptr<NXOAuth2Account> account(std::shared_ptr<NXOAuth2AccessToken> token) {
    return NXOAuth2Account::initAccountWithAccessToken(std::move(token), kType);
  }
  URL url(const std::string& path) const { return *URL::withString(server_.url(path)); }

  std::atomic<int> tokenStatus_{200};
  std::atomic<int> delayMs_{0};
  TestHttpServer server_;
};

TEST_F(RequestTest, AFireAndForgetRequestDeliversItsResponseAndLetsGo) {
  igbtest::HandlerResult result;
  std::weak_ptr<NXOAuth2Request> weak = NXOAuth2Request::performMethod(
      "POST", url("/tracks/1/comments.json"), NXOAuth2Parameters{{"comment[body]", "nice"}},
      account(NXOAuth2AccessToken::make("tok")), result.progressHandler(), result.handler());
  EXPECT_FALSE(weak.expired());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.body, "{\"method\":\"POST\"}");
  EXPECT_FALSE(result.progress.empty());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return weak.expired(); }));
  const auto req = server_.requests().at(0);
  EXPECT_EQ(req.header("Authorization"), "OAuth tok");
  EXPECT_EQ(igbtest::formMap(req).at("comment[body]"), "nice");
}

TEST_F(RequestTest, ACancelledRequestCallsNothingAndLetsGo) {
  delayMs_ = 200;
  igbtest::HandlerResult result;
  auto request = NXOAuth2Request::initWithResource(url("/me.json"), "GET", std::nullopt);
  request->setAccount(account(NXOAuth2AccessToken::make("tok")));
  request->performRequestWithSendingProgressHandler(nullptr, result.handler());
  EXPECT_TRUE(request->isRetainingItself());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return server_.requestCount() == 1; }));
  request->cancel();
  EXPECT_FALSE(request->connection());
  std::weak_ptr<NXOAuth2Request> weak = request;
  request.reset();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return weak.expired(); }));
  pumpMainLoopUntil([] { return false; }, 0.4);
  EXPECT_EQ(result.calls, 0);
}

TEST_F(RequestTest, ARefreshThatFailsForGoodStillAnswersTheRequest) {
  tokenStatus_ = 400;
  igbtest::HandlerResult result;
  std::weak_ptr<NXOAuth2Request> weak = NXOAuth2Request::performMethod(
      "GET", url("/me.json"), std::nullopt,
      account(NXOAuth2AccessToken::make("stale", "ref", platform::Date{nxoauth2_now().secondsSince1970 - 60})), nullptr,
      result.handler());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain, "NXOAuth2ErrorDomain");
  EXPECT_EQ(result.error->code, -2001);
  EXPECT_EQ(result.calls, 1);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return weak.expired(); }));
  for (auto& r : server_.requests()) EXPECT_EQ(r.path, "/oauth2/token");
}

TEST_F(RequestTest, PerformingAgainReplacesTheFirstConnection) {
  delayMs_ = 150;
  igbtest::HandlerResult first, second;
  auto request = NXOAuth2Request::initWithResource(url("/me.json"), "GET", std::nullopt);
  request->performRequestWithSendingProgressHandler(nullptr, first.handler());
  request->performRequestWithSendingProgressHandler(nullptr, second.handler());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return second.done(); }));
  pumpMainLoopUntil([] { return false; }, 0.3);
  EXPECT_EQ(first.calls, 0);
  EXPECT_EQ(second.calls, 1);
}

TEST_F(RequestTest, SignedURLRequestsCarryTheTokenAndTheEncodedParameters) {
  auto get = NXOAuth2Request::initWithResource(url("/tracks.json"), "GET", NXOAuth2Parameters{{"limit", 50}});
  platform::URLRequest unsigned_ = get->signedURLRequest();
  EXPECT_FALSE(unsigned_.headers.contains("Authorization"));
  EXPECT_EQ(unsigned_.url.absoluteString(), server_.url("/tracks.json?limit=50"));

  // Expired long ago, yet nothing is refreshed on this path.
  get->setAccount(account(NXOAuth2AccessToken::make("tok", "ref", platform::Date{0}, std::nullopt, std::nullopt, "bearer")));
  get->account()->oauthClient()->setUserAgent("iGROOVEBIX");
  platform::URLRequest signed_ = get->signedURLRequest();
  EXPECT_EQ(signed_.valueForHTTPHeaderField("Authorization"), "Bearer tok");
  EXPECT_EQ(signed_.valueForHTTPHeaderField("User-Agent"), "iGROOVEBIX");
  EXPECT_EQ(signed_.httpMethod, "GET");

  auto post = NXOAuth2Request::initWithResource(url("/tracks.json"), "POST", NXOAuth2Parameters{{"track[title]", "t"}});
  platform::URLRequest body = post->signedURLRequest();
  EXPECT_EQ(body.url.absoluteString(), server_.url("/tracks.json"));
  EXPECT_EQ(body.valueForHTTPHeaderField("Content-Type").value_or("").rfind("multipart/form-data; boundary=", 0), 0u);
  ASSERT_TRUE(body.httpBodyStream);
  EXPECT_EQ(body.valueForHTTPHeaderField("Content-Length"),
            std::to_string(static_cast<NXOAuth2PostBodyStream&>(*body.httpBodyStream).length()));
  pumpMainLoopUntil([] { return false; }, 0.05);
  EXPECT_EQ(server_.requestCount(), 0u);
}

}  // namespace
