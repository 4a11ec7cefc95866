#include "soundcloud/ts_soundcloud_executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>

#include "soundcloud/ts_json.h"
#include "tests/soundcloud/soundcloud_test_support.h"

using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using namespace tssc;
using platform::Value;

namespace {

struct RecordingContext : TSSoundCloudAPIConnectionDelegate {
  std::vector<std::string> events;
  std::vector<platform::Dictionary> infos;
  std::string body;
  std::optional<platform::Error> error;
  std::vector<std::pair<uint64_t, uint64_t>> progress;
  void soundCloudAPIDidFinishWithData(const platform::Data& d, const platform::Dictionary& info) override {
    events.push_back("finish");
    infos.push_back(info);
    body.assign(d.begin(), d.end());
  }
  void soundCloudAPIDidFailWithError(const platform::Error& e, const platform::Dictionary& info) override {
    events.push_back("fail");
    infos.push_back(info);
    error = e;
  }
  void soundCloudAPIDidSendBytes(uint64_t sent, uint64_t total, const platform::Dictionary&) override {
    progress.emplace_back(sent, total);
  }
  bool done() const { return !events.empty(); }
};

class ExecutorTest : public igbtest::SharingTest {};

TEST_F(ExecutorTest, EveryRequestOfTheTableGoesOutAsTheServiceExpects) {
  ASSERT_TRUE(signIn());
  auto ctx = std::make_shared<RecordingContext>();
  TSResponseHandler ignore = [](auto&&...) {};
  const std::string big = "9007199254740993";  // beyond a double's exact integers
  struct Row {
    const char* what;
    std::function<void()> issue;
    const char* method;
    std::string path;
    std::map<std::string, std::string> query;  // GET and DELETE
    std::vector<std::string> form;             // POST and PUT: field names in order
    bool isSigned = true;
  };
  const TSParameters body{{"track[title]", "Beat"}};
  const Row table[] = {
      {"putProfile", [&] { TSSoundCloudExecutor::putProfile({{"user[full_name]", "DJ"}}, ignore); }, "PUT", "/me.json", {},
       {"user[full_name]"}},
      {"postTrack", [&] { TSSoundCloudExecutor::postTrack(body, ctx); }, "POST", "/tracks.json", {}, {"track[title]"}},
      {"deleteTrack", [&] { TSSoundCloudExecutor::deleteTrack(Value(9007199254740993LL), ignore); }, "DELETE",
       "/tracks/" + big + ".json", {}, {}},
      {"putTrack#", [&] { TSSoundCloudExecutor::putTrack(body, uint64_t{4294967296ULL}, ctx); }, "PUT",
       "/tracks/4294967296.json", {}, {"track[title]"}},
      {"putTrack@", [&] { TSSoundCloudExecutor::putTrack(body, Value("77"), ignore); }, "PUT", "/tracks/77.json", {},
       {"track[title]"}},
      {"getTrack", [&] { TSSoundCloudExecutor::getTrack(Value(5), ignore); }, "GET", "/tracks/5.json",
       {{"client_id", "consumer-key"}}, {}},
      {"getTrack ctx", [&] { TSSoundCloudExecutor::getTrack(Value(6), TSContext(ctx)); }, "GET", "/tracks/6.json",
       {{"client_id", "consumer-key"}}, {}},
      {"getTracks ctx", [&] { TSSoundCloudExecutor::getTracks({{"q", "a b"}}, "me/tracks/", TSRange{50, 25}, ctx); },
       "GET", "/me/tracks.json",
       {{"q", "a b"}, {"limit", "25"}, {"offset", "50"}, {"created_with_app_id", "4242"}, {"client_id", "consumer-key"}},
       {}},
      {"getTracks range", [&] { TSSoundCloudExecutor::getTracks({{"ids", "1,2"}}, "tracks", TSRange{0, 10}, ignore); },
       "GET", "/tracks.json", {{"ids", "1,2"}, {"limit", "10"}, {"offset", "0"}, {"client_id", "consumer-key"}}, {}},
      {"getTracks", [&] { TSSoundCloudExecutor::getTracks(std::nullopt, "me/favorites", ignore); }, "GET",
       "/me/favorites.json", {{"created_with_app_id", "4242"}, {"client_id", "consumer-key"}}, {}},
      {"getUserWithContext", [&] { TSSoundCloudExecutor::getUserWithContext(ctx); }, "GET", "/me.json", {}, {}},
      {"getUserConnection", [&] { TSSoundCloudExecutor::getUserConnectionWithContext(ctx); }, "GET",
       "/me/connections.json", {}, {}},
      {"postUserConnection",
       [&] { TSSoundCloudExecutor::postUserConnection({{"service", "twitter"}, {"display", "touch"}}, ctx); }, "POST",
       "/me/connections.json", {}, {"service", "display"}},
      {"getUsers", [&] { TSSoundCloudExecutor::getUsers(std::nullopt, "users/3/followers/", TSRange{5, 6}, ignore); },
       "GET", "/users/3/followers.json", {{"limit", "6"}, {"offset", "5"}}, {}},
      {"getUsersWithHref",
       [&] { TSSoundCloudExecutor::getUsersWithHref(sc_.url("/users/3/followings?cursor=x"), ignore); }, "GET",
       "/users/3/followings.json", {{"cursor", "x"}, {"client_id", "consumer-key"}}, {}},
      {"getMyFollowers", [&] { TSSoundCloudExecutor::getMyFollowers(TSRange{1, 2}, ignore); }, "GET",
       "/me/followers.json", {{"limit", "2"}, {"offset", "1"}, {"client_id", "consumer-key"}}, {}},
      {"getFollowingUser", [&] { TSSoundCloudExecutor::getFollowingUser(Value(12), ctx); }, "GET",
       "/me/followings/12.json", {}, {}},
      {"getLikedTrack", [&] { TSSoundCloudExecutor::getLikedTrack(Value(13), ignore); }, "GET", "/me/favorites/13.json",
       {}, {}},
      {"putFollowing", [&] { TSSoundCloudExecutor::putFollowing(Value(14), ignore); }, "PUT", "/me/followings/14.json",
       {}, {"client_id"}},
      {"deleteFollowing", [&] { TSSoundCloudExecutor::deleteFollowing(Value(15), ignore); }, "DELETE",
       "/me/followings/15.json", {{"client_id", "consumer-key"}}, {}},
      {"putFavorite", [&] { TSSoundCloudExecutor::putFavorite(4294967297LL, ignore); }, "PUT",
       "/me/favorites/4294967297.json", {}, {"client_id"}},
      {"deleteFavorite", [&] { TSSoundCloudExecutor::deleteFavorite(17, ignore); }, "DELETE", "/me/favorites/17.json",
       {{"client_id", "consumer-key"}}, {}},
      {"getComments", [&] { TSSoundCloudExecutor::getComments(2147483648LL, TSRange{0, 50}, ctx); }, "GET",
       "/tracks/2147483648/comments.json", {{"limit", "50"}, {"offset", "0"}, {"client_id", "consumer-key"}}, {}},
      {"postComment", [&] { TSSoundCloudExecutor::postComment(19, {{"comment[body]", "nice"}}, ctx); }, "POST",
       "/tracks/19/comments.json", {}, {"comment[body]"}},
      {"postAttachment", [&] { TSSoundCloudExecutor::postAttachment({{"attachment[asset_data]", "x"}}, 20, ctx); },
       "POST", "/tracks/20/attachments.json", {}, {"attachment[asset_data]"}},
      {"getAttachments", [&] { TSSoundCloudExecutor::getAttachments(21, ignore); }, "GET", "/tracks/21/attachments.json",
       {{"client_id", "consumer-key"}}, {}},
      {"getAttachments ctx", [&] { TSSoundCloudExecutor::getAttachments(Value(22), TSContext(ctx)); }, "GET",
       "/tracks/22/attachments.json", {{"client_id", "consumer-key"}}, {}},
      {"getUser ctx", [&] { TSSoundCloudExecutor::getUser(Value(23), TSContext(ctx)); }, "GET", "/users/23.json",
       {{"client_id", "consumer-key"}}, {}, false},
      {"getUser", [&] { TSSoundCloudExecutor::getUser(Value(24), ignore); }, "GET", "/users/24.json",
       {{"client_id", "consumer-key"}}, {}, false},
      {"getActivitiesWithHref",
       [&] { TSSoundCloudExecutor::getActivitiesWithHref(sc_.url("/me/activities/all/own.json?limit=50"), ignore); },
       "GET", "/me/activities/all/own.json", {{"limit", "50"}, {"client_id", "consumer-key"}}, {}},
      {"getActivities", [&] { TSSoundCloudExecutor::getActivities({}, "me/activities/all/own", -1, ctx); }, "GET",
       "/me/activities/all/own.json",
       {{"limit", "-1"}, {"created_with_app_id", "4242"}, {"client_id", "consumer-key"}}, {}},
      {"getLikee", [&] { TSSoundCloudExecutor::getLikee(Value(26), ignore); }, "GET", "/tracks/26/favoriters.json",
       {{"client_id", "consumer-key"}}, {}},
  };
  size_t seen = sc_.apiRequests().size();
  for (const Row& row : table) {
    SCOPED_TRACE(row.what);
    row.issue();
    ASSERT_TRUE(waitForRequests(seen + 1));
    const HttpRequest r = sc_.apiRequests().back();
    seen = sc_.apiRequests().size();
    EXPECT_EQ(r.method, row.method);
    EXPECT_EQ(r.path, row.path);
    EXPECT_EQ(query(r), row.query);
    EXPECT_EQ(igbtest::fieldNames(r), row.form);
    if (row.isSigned)
      EXPECT_EQ(r.header("Authorization"), "OAuth tok-1");
    else
      EXPECT_FALSE(r.header("Authorization"));
  }
  pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; });
}

TEST_F(ExecutorTest, ContextRepliesCarryTheRequestsNameAndIds) {
  ASSERT_TRUE(signIn());
  sc_.setScript([](const HttpRequest& r) {
    if (r.path == "/tracks/404.json") return igbtest::FakeService::reply(404, "{\"error\":\"nope\"}");
    return igbtest::FakeService::reply(200, "{\"path\":\"" + r.path + "\"}");
  });
  const struct {
    std::function<TSRequestHandle(TSContext)> issue;
    platform::Dictionary info;
    const char* event;
  } table[] = {
      {[](TSContext c) { return TSSoundCloudExecutor::getUserWithContext(c); }, {{"name", Value("get_me")}}, "finish"},
      {[](TSContext c) { return TSSoundCloudExecutor::putTrack({{"track[title]", "x"}}, uint64_t{4294967296ULL}, c); },
       {{"name", Value("put_track")}, {"track_id", Value(4294967296LL)}},
       "finish"},
      {[](TSContext c) { return TSSoundCloudExecutor::getTrack(Value("404"), c); },
       {{"name", Value("get_track")}, {"track_id", Value("404")}},
       "fail"},
      {[](TSContext c) { return TSSoundCloudExecutor::getFollowingUser(Value(8), c); },
       {{"name", Value("get_a_following")}, {"user_id", Value(8)}},
       "finish"},
      {[](TSContext c) { return TSSoundCloudExecutor::getComments(9, TSRange{0, 50}, c); },
       {{"name", Value("get_comments")}, {"track_id", Value(9)}},
       "finish"},
      {[](TSContext c) { return TSSoundCloudExecutor::getActivities({}, "me/activities", 50, c); },
       {{"name", Value("get_all_activities")}},
       "finish"},
  };
  for (const auto& row : table) {
    auto ctx = std::make_shared<RecordingContext>();
    row.issue(ctx);
    ASSERT_TRUE(pumpMainLoopUntil([&] { return ctx->done(); }));
    EXPECT_EQ(ctx->events, (std::vector<std::string>{row.event}));
    EXPECT_EQ(ctx->infos.at(0), row.info);
    if (std::string(row.event) == "fail") {
      EXPECT_EQ(ctx->error->domain, "NXOAuth2HTTPErrorDomain");
      EXPECT_EQ(ctx->error->code, 404);
    } else {
      EXPECT_NE(ctx->body.find("\"path\""), std::string::npos);
      EXPECT_TRUE(ctx->progress.empty());  // only uploads report progress
    }
  }
}

TEST_F(ExecutorTest, UploadsReportProgressToTheContextUpToTheWholeBody) {
  ASSERT_TRUE(signIn());
  const std::filesystem::path file = documents() / "Bounce 128 BPM.wav";
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(300000, 'w');
  }
  auto ctx = std::make_shared<RecordingContext>();
  TSSoundCloudExecutor::postTrack({{"track[title]", "Bounce"}, {"track[asset_data]", platform::URL::fileURLWithPath(file)}},
                                  ctx);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return ctx->done(); }));
  EXPECT_EQ(ctx->events, (std::vector<std::string>{"finish"}));
  ASSERT_FALSE(ctx->progress.empty());
  for (size_t i = 1; i < ctx->progress.size(); ++i) EXPECT_GE(ctx->progress[i].first, ctx->progress[i - 1].first);
  const HttpRequest r = sc_.apiRequests().back();
  EXPECT_EQ(ctx->progress.back().first, r.bodyLength);
  EXPECT_EQ(ctx->progress.back().second, r.bodyLength);
  auto parts = igbtest::parseMultipart(r.body, *igbtest::boundaryOf(*r.header("Content-Type")));
  ASSERT_TRUE(parts);
  ASSERT_EQ(parts->size(), 2u);
  EXPECT_EQ((*parts)[1].fileName, "Bounce 128 BPM.wav");
  EXPECT_EQ((*parts)[1].content.size(), 300000u);
}

TEST_F(ExecutorTest, PathsAndLinksBecomeJSONResources) {
  const std::string base = sc_.url("/");
  const struct {
    std::string in;
    bool href;
    std::string out;
  } table[] = {
      {"me/tracks/", false, base + "me/tracks.json"},
      {"me/tracks", false, base + "me/tracks.json"},
      {"/users/3", false, base + "users/3.json"},
      {base + "me/activities/all/own.json?cursor=a", true, base + "me/activities/all/own.json?cursor=a"},
      {base + "me/activities/all/own?cursor=a&limit=50", true, base + "me/activities/all/own.json?cursor=a&limit=50"},
      {base + "users/3/followers/", true, base + "users/3/followers.json"},
      {"me/activities/all/own.json?limit=50", true, base + "me/activities/all/own.json?limit=50"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.in);
    auto u = row.href ? TSSoundCloudExecutor::resourceURLForHref(row.in) : TSSoundCloudExecutor::resourceURLForPath(row.in);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->absoluteString(), row.out);
  }
  // The caller's own values stay.
  TSParameters own{{"client_id", "mine"}, {"created_with_app_id", "7"}};
  TSParameters p = TSSoundCloudExecutor::appendConsumerKey(TSSoundCloudExecutor::appendAppScope(own));
  EXPECT_EQ(p, own);
  TSParameters added = TSSoundCloudExecutor::appendConsumerKey(std::nullopt);
  EXPECT_EQ(*added.find("client_id")->string(), "consumer-key");
}

TEST_F(ExecutorTest, AGoneContextIsNotToldAndACancelledRequestAnswersNothing) {
  ASSERT_TRUE(signIn());
  sc_.setScript([](const HttpRequest&) {
    HttpResponse r = HttpResponse::json(200, "{}");
    r.delay = std::chrono::milliseconds(200);
    return r;
  });
  std::weak_ptr<RecordingContext> weak;
  {
    auto ctx = std::make_shared<RecordingContext>();
    weak = ctx;
    TSSoundCloudExecutor::getUserWithContext(ctx);
  }
  EXPECT_TRUE(weak.expired());
  auto kept = std::make_shared<RecordingContext>();
  TSRequestHandle h = TSSoundCloudExecutor::getUserWithContext(kept);
  int handlerCalls = 0;
  TSRequestHandle h2 = TSSoundCloudExecutor::getTrack(Value(1), [&](auto&&...) { ++handlerCalls; });
  h->cancel();
  h2->cancel();
  EXPECT_TRUE(h->isCancelled());
  ASSERT_TRUE(waitForRequests(1));
  pumpMainLoopUntil([] { return false; }, 0.5);
  EXPECT_TRUE(kept->events.empty());
  EXPECT_EQ(handlerCalls, 0);
}

TEST_F(ExecutorTest, WithoutAnAccountSignedRequestsGoOutUnsigned) {
  auto ctx = std::make_shared<RecordingContext>();
  TSSoundCloudExecutor::getUser(Value(3), TSContext(ctx));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return ctx->done(); }));
  EXPECT_EQ(ctx->events, (std::vector<std::string>{"finish"}));
  EXPECT_FALSE(sc_.apiRequests().back().header("Authorization"));
}

// The retry waits run on the virtual clock; the transfers are real.
class PagedRetryTest : public igbtest::SharingTest {
 protected:
  void SetUp() override {
    igbtest::SharingTest::SetUp();
    ASSERT_TRUE(signIn());
    clock_ = std::make_shared<platform::VirtualClock>();
    platform::RunLoop::main().setClock(clock_);
    sc_.setScript([this](const HttpRequest&) {
      if (unavailable_ > 0) {
        --unavailable_;
        return igbtest::FakeService::reply(503, "{}");
      }
      return igbtest::FakeService::reply(200, "[{\"id\":1}]");
    });
  }
  TSRequestHandle fetch(const std::shared_ptr<RecordingContext>& ctx) {
    return TSSoundCloudExecutor::getTracks({}, "tracks", TSRange{0, 25}, ctx);
  }
  // Waits for the n-th attempt to reach the server and its 503 to come back.
  void expectAttempts(size_t n) {
    ASSERT_TRUE(waitForRequests(n));
    ASSERT_TRUE(pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }));
    platform::RunLoop::main().drain();
    EXPECT_EQ(sc_.apiRequests().size(), n);
  }
  std::shared_ptr<platform::VirtualClock> clock_;
  std::atomic<int> unavailable_{0};
};

TEST_F(PagedRetryTest, FiveUnavailableRepliesAreRetriedAfterGrowingWaitsThenTheReplyComes) {
  unavailable_ = 5;
  auto ctx = std::make_shared<RecordingContext>();
  TSRequestHandle h = fetch(ctx);
  const double waits[] = {0.1, 0.2, 0.6, 2.4, 12.0};
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    expectAttempts(i + 1);
    EXPECT_TRUE(ctx->events.empty());
    platform::RunLoop::main().advanceBy(waits[i] * 0.9);
    pumpMainLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(sc_.apiRequests().size(), i + 1);  // not yet
    platform::RunLoop::main().advanceBy(waits[i] * 0.1 + 0.001);
  }
  ASSERT_TRUE(pumpMainLoopUntil([&] { return ctx->done(); }));
  EXPECT_EQ(ctx->events, (std::vector<std::string>{"finish"}));
  EXPECT_EQ(ctx->body, "[{\"id\":1}]");
  EXPECT_EQ(h->attempts(), 6);
  EXPECT_EQ(sc_.apiRequests().size(), 6u);

  // The next 503 starts again at 0.1 s.
  unavailable_ = 1;
  auto again = std::make_shared<RecordingContext>();
  fetch(again);
  expectAttempts(7);
  platform::RunLoop::main().advanceBy(0.101);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return again->done(); }));
  EXPECT_EQ(again->events, (std::vector<std::string>{"finish"}));
}

TEST_F(PagedRetryTest, ASixthUnavailableReplyIsAFailure) {
  unavailable_ = 6;
  auto ctx = std::make_shared<RecordingContext>();
  fetch(ctx);
  // Each step moves just past its own wait, so a quick reply cannot have
  // its next wait run out inside the same step.
  const double waits[] = {0.1, 0.2, 0.6, 2.4, 12.0};
  for (size_t i = 0; i < 5; ++i) {
    expectAttempts(i + 1);
    platform::RunLoop::main().advanceBy(waits[i] + 0.001);
  }
  ASSERT_TRUE(pumpMainLoopUntil([&] { return ctx->done(); }));
  EXPECT_EQ(ctx->events, (std::vector<std::string>{"fail"}));
  EXPECT_EQ(ctx->error->code, 503);
  EXPECT_EQ(ctx->infos[0].at("name").stringValue(), "get_tracks");
}

TEST_F(PagedRetryTest, CancellingDuringTheWaitStopsTheRetries) {
  unavailable_ = 3;
  auto ctx = std::make_shared<RecordingContext>();
  TSRequestHandle h = fetch(ctx);
  expectAttempts(1);
  h->cancel();
  platform::RunLoop::main().advanceBy(20.0);
  pumpMainLoopUntil([] { return false; }, 0.2);
  EXPECT_EQ(sc_.apiRequests().size(), 1u);
  EXPECT_TRUE(ctx->events.empty());
}

TEST_F(PagedRetryTest, ConcurrentListsKeepTheirOwnCounts) {
  unavailable_ = 2;
  auto a = std::make_shared<RecordingContext>();
  auto b = std::make_shared<RecordingContext>();
  fetch(a);
  fetch(b);
  expectAttempts(2);  // both unavailable once
  // Each waits its own first 0.1 s, not 0.1 then 0.2.
  platform::RunLoop::main().advanceBy(0.101);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return a->done() && b->done(); }));
  EXPECT_EQ(a->events, (std::vector<std::string>{"finish"}));
  EXPECT_EQ(b->events, (std::vector<std::string>{"finish"}));
}

}  // namespace
