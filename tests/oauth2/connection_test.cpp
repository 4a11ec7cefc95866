#include "oauth2/nxoauth2_connection.h"

#include <gtest/gtest.h>

#include <regex>

#include "oauth2/nxoauth2_client.h"
#include "tests/oauth2/oauth2_test_support.h"

using namespace nxoauth2;
using igbtest::HandlerResult;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using igbtest::TestHttpServer;
using platform::URL;
using platform::URLRequest;

namespace {

class ConnectionTest : public igbtest::OAuth2Test {
 protected:
  std::shared_ptr<NXOAuth2Client> makeClient(TestHttpServer& server, std::shared_ptr<NXOAuth2AccessToken> token) {
    return NXOAuth2Client::make("cid", "secret", *URL::withString(server.url("/connect")),
                                *URL::withString(server.url("/oauth2/token")), std::move(token), std::nullopt, false,
                                &delegate_);
  }
  static URLRequest request(const std::string& url, const std::string& method = "GET") {
    URLRequest r(*URL::withString(url));
    r.httpMethod = method;
    return r;
  }
  std::shared_ptr<NXOAuth2Connection> send(URLRequest r, std::optional<NXOAuth2Parameters> p,
                                           std::shared_ptr<NXOAuth2Client> client, HandlerResult& result) {
    auto c = NXOAuth2Connection::make(std::move(r), std::move(p), std::move(client), result.progressHandler(),
                                      result.handler());
    EXPECT_TRUE(pumpMainLoopUntil([&] { return result.done(); }));
    return c;
  }
  static std::vector<HttpRequest> at(const TestHttpServer& s, const std::string& path) {
    std::vector<HttpRequest> out;
    for (auto& r : s.requests())
      if (r.path == path) out.push_back(r);
    return out;
  }

  igbtest::RecordingClientDelegate delegate_;
};

HttpResponse echo(const HttpRequest& r) { return HttpResponse::json(200, "{\"path\":\"" + r.path + "\"}"); }

TEST_F(ConnectionTest, AGetSignsAndAppendsTheEncodedParametersToTheQuery) {
  TestHttpServer server(echo);
  auto client = makeClient(server, NXOAuth2AccessToken::make("tok"));
  client->setUserAgent("iGROOVEBIX/1.0");
  HandlerResult result;
  URLRequest r = request(server.url("/tracks.json?created_with_app_id=7"));
  r.headers.set("Accept", "text/html");
  auto c = send(r, NXOAuth2Parameters{{"limit", 25}, {"q", "a b&c"}}, client, result);
  EXPECT_FALSE(result.error);
  EXPECT_EQ(c->statusCode(), 200);
  EXPECT_EQ(result.body, "{\"path\":\"/tracks.json\"}");
  EXPECT_EQ(c->data(), platform::Data(result.body.begin(), result.body.end()));
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].target, "/tracks.json?created_with_app_id=7&limit=25&q=a%20b%26c");
  EXPECT_EQ(reqs[0].header("Authorization"), "OAuth tok");
  EXPECT_EQ(reqs[0].header("Accept"), "application/json");
  EXPECT_EQ(reqs[0].headerCount("Accept"), 1u);
  EXPECT_EQ(reqs[0].header("User-Agent"), "iGROOVEBIX/1.0");
  EXPECT_EQ(reqs[0].bodyLength, 0u);
}

TEST_F(ConnectionTest, PostAndPutSendAStreamedMultipartBodyAndNoQuery) {
  TestHttpServer server(echo);
  auto client = makeClient(server, NXOAuth2AccessToken::make("tok", std::nullopt, std::nullopt, std::nullopt,
                                                             std::nullopt, "bearer"));
  for (const char* method : {"POST", "put"}) {
    SCOPED_TRACE(method);
    server.clearRequests();
    HandlerResult result;
    send(request(server.url("/tracks.json"), method),
         NXOAuth2Parameters{{"track[title]", "Bounce"}, {"track[sharing]", "private"}}, client, result);
    EXPECT_FALSE(result.error);
    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, std::string(method) == "put" ? "put" : "POST");
    EXPECT_EQ(reqs[0].target, "/tracks.json");
    EXPECT_EQ(reqs[0].header("Authorization"), "Bearer tok");
    const std::string type = reqs[0].header("Content-Type").value_or("");
    EXPECT_TRUE(std::regex_match(type, std::regex("multipart/form-data; boundary=------------nx-oauth2[0-9]+"))) << type;
    EXPECT_FALSE(reqs[0].chunked);
    EXPECT_EQ(reqs[0].header("Content-Length"), std::to_string(reqs[0].bodyLength));
    EXPECT_EQ(igbtest::formFields(reqs[0]),
              (std::vector<std::pair<std::string, std::string>>{{"track[title]", "Bounce"}, {"track[sharing]", "private"}}));
    ASSERT_FALSE(result.progress.empty());
    EXPECT_EQ(result.progress.back(), std::make_pair(reqs[0].bodyLength, reqs[0].bodyLength));
  }
}

TEST_F(ConnectionTest, OnlyATokenLongExpiredWithARefreshTokenIsRefreshedFirst) {
  TestHttpServer server([](const HttpRequest& r) {
    if (r.path == "/oauth2/token") return HttpResponse::json(200, igbtest::tokenReply("fresh", "r2"));
    return echo(r);
  });
  struct Row {
    const char* what;
    double expiredAgo;
    bool refreshToken;
    const char* sentWith;
  } rows[] = {
      {"5 s ago, with refresh token", 5, true, "OAuth stale"},
      {"11 s ago, with refresh token", 11, true, "OAuth fresh"},
      {"11 s ago, no refresh token", 11, false, "OAuth stale"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    server.clearRequests();
    auto token = NXOAuth2AccessToken::make(
        "stale", row.refreshToken ? std::optional<std::string>("r1") : std::nullopt,
        platform::Date{nxoauth2_now().secondsSince1970 - row.expiredAgo});
    auto client = makeClient(server, token);
    HandlerResult result;
    send(request(server.url("/me.json")), std::nullopt, client, result);
    EXPECT_FALSE(result.error);
    const auto me = at(server, "/me.json");
    ASSERT_EQ(me.size(), 1u);
    EXPECT_EQ(me[0].header("Authorization"), row.sentWith);
    const auto refreshes = at(server, "/oauth2/token");
    EXPECT_EQ(refreshes.size(), std::string(row.sentWith) == "OAuth fresh" ? 1u : 0u);
    if (!refreshes.empty()) {
      EXPECT_EQ(igbtest::formMap(refreshes[0]).at("refresh_token"), "r1");
      // The refresh itself is never signed.
      EXPECT_FALSE(refreshes[0].header("Authorization"));
    }
  }
}

TEST_F(ConnectionTest, A401WithInvalidTokenDropsTheTokenAndReportsTheStatus) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse r = HttpResponse::json(401, "{\"error\":\"401 - Unauthorized\"}");
    r.headers.emplace_back("WWW-Authenticate", "OAuth realm=\"SoundCloud\", error=\"invalid_token\"");
    return r;
  });
  auto client = makeClient(server, NXOAuth2AccessToken::make("tok", "ref"));
  HandlerResult result;
  send(request(server.url("/me.json")), std::nullopt, client, result);
  EXPECT_EQ(result.calls, 1);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain, "NXOAuth2HTTPErrorDomain");
  EXPECT_EQ(result.error->code, 401);
  EXPECT_EQ(result.error->localizedDescription(), "HTTP Error: 401");
  EXPECT_EQ(result.body, "{\"error\":\"401 - Unauthorized\"}");
  EXPECT_EQ(result.response->statusCode, 401);
  EXPECT_EQ(client->currentAccessToken(), nullptr);
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"lost"}));
}

TEST_F(ConnectionTest, OtherErrorStatusesKeepTheToken) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse r = HttpResponse::json(401, "{}");
    r.headers.emplace_back("WWW-Authenticate", "OAuth realm=\"x\"");
    return r;
  });
  auto client = makeClient(server, NXOAuth2AccessToken::make("tok", "ref"));
  HandlerResult result;
  send(request(server.url("/me.json")), std::nullopt, client, result);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code, 401);
  EXPECT_NE(client->currentAccessToken(), nullptr);
  EXPECT_TRUE(delegate_.events.empty());
}

TEST_F(ConnectionTest, AnExpiredTokenChallengeRefreshesAndRetriesWithoutReporting) {
  std::atomic<int> resourceCalls{0};
  TestHttpServer server([&](const HttpRequest& r) {
    if (r.path == "/oauth2/token") return HttpResponse::json(200, igbtest::tokenReply("new", ""));
    if (resourceCalls++ == 0) {
      HttpResponse res = HttpResponse::json(401, "{}");
      res.headers.emplace_back("WWW-Authenticate", "OAuth realm=\"x\", error=\"expired_token\"");
      return res;
    }
    return HttpResponse::json(200, "{\"ok\":true}");
  });
  auto client = makeClient(server, NXOAuth2AccessToken::make("old", "ref"));
  igbtest::ConnectionNotifications notes;
  HandlerResult result;
  auto c = send(request(server.url("/me.json")), std::nullopt, client, result);
  EXPECT_EQ(result.calls, 1);
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.body, "{\"ok\":true}");
  const auto me = at(server, "/me.json");
  ASSERT_EQ(me.size(), 2u);
  EXPECT_EQ(me[0].header("Authorization"), "OAuth old");
  EXPECT_EQ(me[1].header("Authorization"), "OAuth new");
  // The new reply had no refresh token: the old one is kept.
  EXPECT_EQ(client->currentAccessToken()->refreshToken(), "ref");
  EXPECT_EQ(delegate_.events, (std::vector<std::string>{"refreshed"}));
  EXPECT_EQ(notes.of(c.get()), (std::vector<std::string>{"start", "end", "start", "end"}));
}

TEST_F(ConnectionTest, AnExpiredTokenChallengeWithoutRefreshTokenIsReported) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse res = HttpResponse::json(401, "{}");
    res.headers.emplace_back("WWW-Authenticate", "OAuth error=\"expired_token\"");
    return res;
  });
  auto client = makeClient(server, NXOAuth2AccessToken::make("old"));
  HandlerResult result;
  send(request(server.url("/me.json")), std::nullopt, client, result);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->code, 401);
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(ConnectionTest, RedirectsKeepTheTokenOnlyOnTheSameHostWithoutDowngrade) {
  TestHttpServer other(echo);
  TestHttpServer server([&](const HttpRequest& r) {
    if (r.path == "/same") return HttpResponse::redirect(302, "/landed");
    if (r.path == "/elsewhere") return HttpResponse::redirect(302, "http://localhost:" + std::to_string(other.port()) + "/landed");
    return echo(r);
  });
  auto client = makeClient(server, NXOAuth2AccessToken::make("tok"));
  struct RedirectRecorder : NXOAuth2ConnectionDelegate {
    std::vector<std::string> urls;
    bool finished = false;
    void oauthConnectionDidReceiveRedirectToURL(NXOAuth2Connection&, const URL& url) override {
      urls.push_back(url.absoluteString());
    }
    void oauthConnectionDidFinishWithData(NXOAuth2Connection&, const platform::Data&) override { finished = true; }
  };
  {
    HandlerResult result;
    auto c = send(request(server.url("/same")), std::nullopt, client, result);
    EXPECT_FALSE(result.error);
    const auto landed = at(server, "/landed");
    ASSERT_EQ(landed.size(), 1u);
    EXPECT_EQ(landed[0].header("Authorization"), "OAuth tok");
  }
  {
    RedirectRecorder recorder;
    auto c = NXOAuth2Connection::make(request(server.url("/elsewhere")), std::nullopt, client, &recorder);
    ASSERT_TRUE(pumpMainLoopUntil([&] { return recorder.finished; }));
    EXPECT_EQ(recorder.urls, (std::vector<std::string>{"http://localhost:" + std::to_string(other.port()) + "/landed"}));
    ASSERT_EQ(other.requests().size(), 1u);
    EXPECT_FALSE(other.requests()[0].header("Authorization"));
  }
}

TEST_F(ConnectionTest, ARedirectedPostKeepsItsMethodAndBody) {
  TestHttpServer server([](const HttpRequest& r) {
    if (r.path == "/tracks") return HttpResponse::redirect(303, "/tracks.json");
    return echo(r);
  });
  auto client = makeClient(server, NXOAuth2AccessToken::make("tok"));
  HandlerResult result;
  send(request(server.url("/tracks"), "POST"), NXOAuth2Parameters{{"track[title]", "x"}}, client, result);
  EXPECT_FALSE(result.error);
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[1].method, "POST");
  EXPECT_EQ(reqs[1].path, "/tracks.json");
  EXPECT_EQ(igbtest::formMap(reqs[1]).at("track[title]"), "x");
  EXPECT_EQ(reqs[1].header("Authorization"), "OAuth tok");
}

TEST_F(ConnectionTest, CancelCallsNothingAndEndsOnce) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse r = HttpResponse::json(200, "{}");
    r.delay = std::chrono::milliseconds(300);
    return r;
  });
  igbtest::ConnectionNotifications notes;
  HandlerResult result;
  auto c = NXOAuth2Connection::make(request(server.url("/slow")), std::nullopt, nullptr, nullptr, result.handler());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return server.requestCount() == 1; }));
  c->cancel();
  c->cancel();
  pumpMainLoopUntil([] { return false; }, 0.6);
  EXPECT_EQ(result.calls, 0);
  EXPECT_EQ(notes.of(c.get()), (std::vector<std::string>{"start", "end"}));
  const NXOAuth2Connection* address = c.get();
  c.reset();
  EXPECT_EQ(notes.of(address), (std::vector<std::string>{"start", "end"}));
}

TEST_F(ConnectionTest, DestroyingARunningConnectionEndsIt) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse r = HttpResponse::json(200, "{}");
    r.delay = std::chrono::milliseconds(200);
    return r;
  });
  igbtest::ConnectionNotifications notes;
  const NXOAuth2Connection* address;
  {
    auto c = NXOAuth2Connection::make(request(server.url("/slow")), std::nullopt, nullptr, nullptr);
    address = c.get();
  }
  EXPECT_EQ(notes.of(address), (std::vector<std::string>{"start", "end"}));
  pumpMainLoopUntil([] { return false; }, 0.4);
}

TEST_F(ConnectionTest, ARepliesBodyIsCappedInsteadOfFillingMemory) {
  TestHttpServer server([](const HttpRequest&) {
    HttpResponse r;
    r.body.assign(NXOAuth2Connection::kMaxResponseBodyBytes + 1, 'x');
    return r;
  });
  HandlerResult result;
  send(request(server.url("/huge")), std::nullopt, nullptr, result);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain, platform::kNSURLErrorDomain);
  EXPECT_EQ(result.error->code, platform::NSURLErrorDataLengthExceedsMaximum);
  EXPECT_EQ(result.calls, 1);
}

TEST_F(ConnectionTest, WithoutSavingDataTheBodyOnlyPassesThrough) {
  TestHttpServer server([](const HttpRequest&) { return HttpResponse::json(200, std::string(100000, 'd')); });
  struct Pieces : NXOAuth2ConnectionDelegate {
    size_t bytes = 0;
    bool finished = false;
    size_t finishedWith = 99;
    void oauthConnectionDidReceiveData(NXOAuth2Connection&, std::span<const uint8_t> d) override { bytes += d.size(); }
    void oauthConnectionDidFinishWithData(NXOAuth2Connection&, const platform::Data& d) override {
      finished = true;
      finishedWith = d.size();
    }
  } pieces;
  auto c = NXOAuth2Connection::make(request(server.url("/stream")), std::nullopt, nullptr, &pieces);
  c->setSavesData(false);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return pieces.finished; }));
  EXPECT_EQ(pieces.bytes, 100000u);
  EXPECT_EQ(pieces.finishedWith, 0u);
  EXPECT_TRUE(c->data().empty());
  EXPECT_EQ(c->expectedContentLength(), 100000);
}

TEST_F(ConnectionTest, TransferErrorsPassThroughUnchanged) {
  HandlerResult result;
  send(request("http://127.0.0.1:1/closed"), std::nullopt, nullptr, result);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain, platform::kNSURLErrorDomain);
  EXPECT_EQ(result.error->code, platform::NSURLErrorCannotConnectToHost);
  EXPECT_FALSE(result.response);
}

TEST(ConnectionDescriptionTest, RequestsAreDescribedByURLAndRange) {
  URLRequest r(*URL::withString("https://api.example.com/tracks/1/stream"));
  EXPECT_EQ(NXOAuth2Connection::descriptionForRequest(r), "https://api.example.com/tracks/1/stream");
  r.headers.set("Range", "bytes=0-99");
  EXPECT_EQ(NXOAuth2Connection::descriptionForRequest(r), "https://api.example.com/tracks/1/stream [bytes=0-99]");
}

// "Any certificate" counts as the system's check; the delegate's
// certificates are asked for only when a mode pins.
TEST(ConnectionTrustTest, ModesMapToPolicies) {
  using Kind = platform::ServerTrustPolicy::Kind;
  const platform::Data pin{1, 2, 3};
  int asked = 0;
  auto certificates = [&] {
    ++asked;
    return std::vector<platform::Data>{pin};
  };
  constexpr NXOAuth2TrustMode kAny = NXOAuth2TrustModeAnyCertificate;
  constexpr NXOAuth2TrustMode kSystem = NXOAuth2TrustModeSystemDefault;
  constexpr NXOAuth2TrustMode kPinned = NXOAuth2TrustModeSpecificCertificate;
  const std::pair<NXOAuth2TrustMode, Kind> table[] = {
      {0, Kind::Reject},
      {kAny, Kind::SystemDefault},
      {kSystem, Kind::SystemDefault},
      {kAny | kSystem, Kind::SystemDefault},
      {kPinned, Kind::Pinned},
      {kSystem | kPinned, Kind::SystemOrPinned},
      {kAny | kPinned, Kind::SystemOrPinned},
      {kAny | kSystem | kPinned, Kind::SystemOrPinned},
  };
  for (auto [mode, kind] : table) {
    SCOPED_TRACE(mode);
    const platform::ServerTrustPolicy p = NXOAuth2Connection::trustPolicyForMode(mode, certificates);
    EXPECT_EQ(p.kind, kind);
    EXPECT_EQ(p.pinnedCertificates,
              (kind == Kind::Pinned || kind == Kind::SystemOrPinned) ? std::vector<platform::Data>{pin}
                                                                      : std::vector<platform::Data>{});
  }
  EXPECT_EQ(asked, 4);
}

}  // namespace
