#include "soundcloud/ts_soundcloud_fetched_activities_store.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/foundation/property_list.h"
#include "soundcloud/soundcloud_information_object.h"
#include "tests/soundcloud/soundcloud_test_support.h"

using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using namespace tssc;
using platform::Value;
using Store = TSSoundCloudFetchedActivitiesStore;

namespace {

struct Heard : TSSoundCloudFetchedActivitiesStoreObserver {
  std::vector<std::pair<std::string, platform::Dictionary>> log;
  void soundCloudFetchedActivitiesStoreWillStartFetching(const platform::Notification& n) override {
    log.emplace_back("start", n.userInfo);
  }
  void soundCloudFetchedActivitiesStoreDidFinishFetching(const platform::Notification& n) override {
    log.emplace_back("finish", n.userInfo);
  }
  void soundCloudFetchedActivitiesStoreDidFailedFetching(const platform::Notification& n) override {
    log.emplace_back("fail", n.userInfo);
  }
  size_t count(const std::string& what) const {
    size_t n = 0;
    for (auto& [w, i] : log) n += w == what;
    return n;
  }
  const platform::Dictionary* last(const std::string& what) const {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->first == what) return &it->second;
    return nullptr;
  }
};

std::string user(int id, const std::string& avatar = "null") {
  return "{\"id\":" + std::to_string(id) + ",\"username\":\"user" + std::to_string(id) + "\",\"avatar_url\":" + avatar + "}";
}
std::string comment(int id, int track, int userId, const std::string& date, const std::string& avatar = "null") {
  return "{\"type\":\"comment\",\"created_at\":\"" + date + "\",\"origin\":{\"id\":" + std::to_string(id) +
         ",\"body\":\"nice " + std::to_string(id) + "\",\"track\":{\"id\":" + std::to_string(track) +
         ",\"title\":\"T" + std::to_string(track) + "\"},\"user\":" + user(userId, avatar) + "}}";
}
std::string favoriting(int track, int userId, const std::string& date) {
  return "{\"type\":\"favoriting\",\"created_at\":\"" + date + "\",\"origin\":{\"track\":{\"id\":" + std::to_string(track) +
         ",\"title\":\"T" + std::to_string(track) + "\"},\"user\":" + user(userId) + "}}";
}

class ActivitiesStoreTest : public igbtest::SharingTest {
 protected:
  void SetUp() override {
    igbtest::SharingTest::SetUp();
    ASSERT_TRUE(signIn());
    defaults_ = std::make_unique<platform::UserDefaults>(documents() / "UserDefaults.plist");
    sc_.setScript([this](const HttpRequest& r) { return serve(r); });
  }
  void TearDown() override {
    store_.reset();
    igbtest::SharingTest::TearDown();
  }
  std::shared_ptr<Store> makeStore() {
    auto s = Store::make(defaults_.get());
    s->addObserver(&heard_);
    return s;
  }
  HttpResponse serve(const HttpRequest& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (r.path.rfind("/tracks/", 0) == 0) {
      const std::string id = r.path.substr(8, r.path.size() - 8 - 5);
      if (id == "404") return igbtest::FakeService::reply(404, "{}");
      const std::string app = foreignTracks_.count(id) ? "999" : "4242";
      return igbtest::FakeService::reply(200, "{\"id\":" + id + ",\"created_with\":{\"id\":" + app + "}}");
    }
    if (r.path == "/users/7.json") return igbtest::FakeService::reply(200, "{\"id\":7,\"country\":\"Japan\"}");
    if (r.path == "/users/8.json") return igbtest::FakeService::reply(200, "{\"id\":8,\"country\":null}");
    if (r.path == "/avatar.png") {
      HttpResponse res;
      res.body.assign(png_.begin(), png_.end());
      return res;
    }
    auto it = feeds_.find(r.target.substr(0, r.target.find("&client_id")));
    if (it != feeds_.end()) return it->second;
    return igbtest::FakeService::reply(404, "{}");
  }
  void feed(const std::string& target, const std::vector<std::string>& items, const std::string& next,
            const std::string& future) {
    std::string body = "{\"collection\":[";
    for (size_t i = 0; i < items.size(); ++i) body += (i ? "," : "") + items[i];
    body += "]";
    if (!next.empty()) body += ",\"next_href\":\"" + sc_.url(next) + "\"";
    if (!future.empty()) body += ",\"future_href\":\"" + sc_.url(future) + "\"";
    body += "}";
    std::lock_guard<std::mutex> lock(mutex_);
    feeds_[target] = igbtest::FakeService::reply(200, body);
  }
  void feedReply(const std::string& target, HttpResponse response) {
    std::lock_guard<std::mutex> lock(mutex_);
    feeds_[target] = std::move(response);
  }
  bool waitIdle(const std::shared_ptr<Store>& s) {
    return pumpMainLoopUntil([&] { return !s->isFetching(); });
  }
  std::vector<std::string> trackRequests() {
    std::vector<std::string> out;
    for (auto& r : sc_.apiRequests())
      if (r.path.rfind("/tracks/", 0) == 0) out.push_back(r.path);
    return out;
  }
  std::vector<std::string> rows(const Store& s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.count(); ++i)
      out.push_back(s.typeAt(i).stringValue() + " " + std::to_string(s.trackIdAt(i).integerValue()) + " " +
                    std::to_string(s.userIdAt(i).integerValue()));
    return out;
  }

  std::mutex mutex_;
  std::map<std::string, HttpResponse> feeds_;
  std::set<std::string> foreignTracks_;
  platform::Data png_ = platform::Image::create(2, 2)->pngData();
  std::unique_ptr<platform::UserDefaults> defaults_;
  Heard heard_;
  std::shared_ptr<Store> store_;
  const std::string first_ = "/me/activities/all/own.json?limit=50";
};

TEST_F(ActivitiesStoreTest, APageKeepsOnlyThisAppsTracksFlatSortedAndWithoutDuplicates) {
  foreignTracks_ = {"30"};
  feed(first_,
       {comment(1, 10, 7, "2026/12/01 10:00:00 +0000"), comment(1, 10, 7, "2026/12/01 10:00:00 +0000"),
        favoriting(10, 7, "2026/12/02 10:00:00 +0000"), favoriting(20, 8, "2026/12/03 10:00:00 +0000"),
        favoriting(20, 8, "2026/12/03 11:00:00 +0000"), comment(2, 30, 9, "2026/12/04 10:00:00 +0000"),
        comment(3, 404, 9, "2026/12/05 10:00:00 +0000"),
        comment(4, 20, 9, "2026/12/06 10:00:00 +0000", "\"" + std::string("https://i1.sndcdn.com/a.jpg") + "\"")},
       "/me/activities/all/own?cursor=2", "/me/activities/all/own?uuid=f1");
  store_ = makeStore();
  store_->setLimitDate(*Store::parseDate("2026/01/01 00:00:00 +0000"));
  store_->fetch();
  EXPECT_TRUE(store_->isFetching());
  ASSERT_EQ(heard_.log.size(), 1u);
  EXPECT_EQ(heard_.log[0], (std::pair<std::string, platform::Dictionary>{"start", {{"name", Value("get_tracks")}}}));
  ASSERT_TRUE(waitIdle(store_));
  EXPECT_EQ(rows(*store_), (std::vector<std::string>{"comment 20 9", "favoriting 20 8", "comment 10 7"}));
  // One check per track, whatever the number of activities about it.
  auto checks = trackRequests();
  std::sort(checks.begin(), checks.end());
  EXPECT_EQ(checks, (std::vector<std::string>{"/tracks/10.json", "/tracks/20.json", "/tracks/30.json", "/tracks/404.json"}));
  EXPECT_EQ(*heard_.last("finish"), (platform::Dictionary{{"name", Value("get_all_activities")}, {"result_count", Value(8)}}));
  EXPECT_EQ(store_->searchSize(), 8);
  // The flat record.
  const platform::Dictionary& top = store_->activities()[0];
  EXPECT_EQ(top, (platform::Dictionary{{"type", Value("comment")},
                                        {"created_at", Value("2026/12/06 10:00:00 +0000")},
                                        {"comment_id", Value(4)},
                                        {"body", Value("nice 4")},
                                        {"track_id", Value(20)},
                                        {"track_title", Value("T20")},
                                        {"user_id", Value(9)},
                                        {"user_name", Value("user9")},
                                        {"user_avatar", Value("https://i1.sndcdn.com/a.jpg")}}));
  EXPECT_EQ(store_->bodyAt(1), "");
  EXPECT_EQ(store_->bodyAt(0), "nice 4");
  EXPECT_TRUE(store_->typeAt(99).isNull());
  // The links, kept in the user defaults.
  EXPECT_EQ(store_->nextHref(), sc_.url("/me/activities/all/own?cursor=2"));
  EXPECT_EQ(defaults_->stringForKey(kDravelundActivityNextHref), sc_.url("/me/activities/all/own?cursor=2"));
  EXPECT_EQ(defaults_->stringForKey(kDravelundActivityFutureHref), sc_.url("/me/activities/all/own?uuid=f1"));

  // The next page follows the link, as a JSON resource with the consumer key.
  feed("/me/activities/all/own.json?cursor=2", {favoriting(10, 7, "2026/11/01 10:00:00 +0000")}, "", "");
  store_->fetch();
  ASSERT_TRUE(waitIdle(store_));
  const HttpRequest page2 = [&] {
    for (auto& r : sc_.apiRequests())
      if (r.path == "/me/activities/all/own.json" && r.query.find("cursor=2") != std::string::npos) return r;
    return HttpRequest{};
  }();
  EXPECT_EQ(query(page2), (std::map<std::string, std::string>{{"cursor", "2"}, {"client_id", "consumer-key"}}));
  EXPECT_EQ(page2.header("Authorization"), "OAuth tok-1");
  // Favouriting by a user who already commented on the track: not shown twice.
  EXPECT_EQ(store_->count(), 3u);
  // No next link: the end.
  EXPECT_EQ(heard_.last("finish")->at("result_count"), Value(0));
  EXPECT_FALSE(store_->nextHref());
  EXPECT_FALSE(defaults_->objectForKey(kDravelundActivityNextHref));
}

TEST_F(ActivitiesStoreTest, AnOldPageEndsTheFeedAndLaterFetchesAnswerFromTheQueue) {
  feed(first_, {comment(1, 10, 7, "2020/01/01 10:00:00 +0000")}, "/me/activities/all/own?cursor=2", "");
  store_ = makeStore();
  store_->fetch();
  ASSERT_TRUE(waitIdle(store_));
  EXPECT_TRUE(store_->shouldBeFinished());
  EXPECT_EQ(heard_.last("finish")->at("result_count"), Value(0));
  const size_t requests = sc_.apiRequests().size();
  const size_t heardBefore = heard_.log.size();
  store_->fetch();
  EXPECT_EQ(heard_.log.size(), heardBefore);  // after the call returns
  platform::RunLoop::main().runOnce(0);
  ASSERT_EQ(heard_.log.size(), heardBefore + 1);
  EXPECT_EQ(heard_.log.back(),
            (std::pair<std::string, platform::Dictionary>{
                "finish", {{"name", Value("get_all_activities")}, {"result_count", Value(0)}}}));
  EXPECT_EQ(sc_.apiRequests().size(), requests);
}

TEST_F(ActivitiesStoreTest, APageOfForeignTracksAddsNothingButReportsItsSize) {
  foreignTracks_ = {"10", "11"};
  feed(first_, {comment(1, 10, 7, "2026/12/01 10:00:00 +0000"), comment(2, 11, 7, "2026/12/01 10:00:00 +0000")},
       "/me/activities/all/own?cursor=2", "");
  store_ = makeStore();
  store_->setLimitDate(0);
  store_->fetch();
  store_->fetch();  // ignored while the first runs
  ASSERT_TRUE(waitIdle(store_));
  EXPECT_EQ(store_->count(), 0u);
  EXPECT_EQ(heard_.count("start"), 1u);
  EXPECT_EQ(heard_.last("finish")->at("result_count"), Value(2));
}

TEST_F(ActivitiesStoreTest, NewerActivitiesCountWhatTheyAddAndKeepTheOlderLink) {
  feed(first_, {comment(1, 10, 7, "2026/12/01 10:00:00 +0000")}, "/me/activities/all/own?cursor=2",
       "/me/activities/all/own?uuid=f1");
  store_ = makeStore();
  store_->setLimitDate(0);
  store_->fetchLatest();  // no link yet: nothing
  EXPECT_FALSE(store_->isFetching());
  store_->fetch();
  ASSERT_TRUE(waitIdle(store_));
  const auto next = store_->nextHref();

  feed("/me/activities/all/own.json?uuid=f1", {}, "", "/me/activities/all/own?uuid=f2");
  store_->fetchLatest();
  ASSERT_TRUE(waitIdle(store_));
  EXPECT_EQ(*heard_.last("finish"), (platform::Dictionary{{"name", Value("get_future_activities")}, {"result_count", Value(0)}}));
  EXPECT_EQ(store_->nextHref(), next);
  EXPECT_EQ(store_->futureHref(), sc_.url("/me/activities/all/own?uuid=f2"));

  feed("/me/activities/all/own.json?uuid=f2",
       {comment(5, 10, 8, "2026/12/09 10:00:00 +0000"), comment(1, 10, 7, "2026/12/01 10:00:00 +0000"),
        favoriting(10, 9, "2026/12/08 10:00:00 +0000")},
       "", "/me/activities/all/own?uuid=f3");
  store_->fetchLatest();
  ASSERT_TRUE(waitIdle(store_));
  EXPECT_EQ(heard_.last("finish")->at("result_count"), Value(2));
  EXPECT_EQ(rows(*store_), (std::vector<std::string>{"comment 10 8", "favoriting 10 9", "comment 10 7"}));
  EXPECT_EQ(store_->nextHref(), next);
}

TEST_F(ActivitiesStoreTest, FailedAndUnreadableFeedsAreAnnouncedAndEndTheFetch) {
  const struct {
    const char* what;
    HttpResponse reply;
  } table[] = {
      {"refused", igbtest::FakeService::reply(500, "{}")},
      {"not JSON", igbtest::FakeService::reply(200, "<html>")},
      {"not a page", igbtest::FakeService::reply(200, "[1,2]")},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.what);
    feedReply(first_, row.reply);
    heard_.log.clear();
    store_ = makeStore();
    store_->fetch();
    ASSERT_TRUE(waitIdle(store_));
    EXPECT_EQ(heard_.log.back(), (std::pair<std::string, platform::Dictionary>{"fail", {{"name", Value("get_all_activities")}}}));
    EXPECT_EQ(store_->count(), 0u);
    store_.reset();
  }
}

TEST_F(ActivitiesStoreTest, CancellingEndsTheFetchSoTheNextOneRuns) {
  HttpResponse slow = igbtest::FakeService::reply(200, "{\"collection\":[]}");
  slow.delay = std::chrono::milliseconds(300);
  feedReply(first_, slow);
  store_ = makeStore();
  store_->fetch();
  ASSERT_TRUE(waitForRequests(1));
  store_->cancelFetch();
  EXPECT_FALSE(store_->isFetching());
  pumpMainLoopUntil([] { return false; }, 0.5);
  EXPECT_EQ(heard_.count("finish"), 0u);
  feed(first_, {comment(1, 10, 7, "2026/12/01 10:00:00 +0000")}, "", "");
  store_->setLimitDate(0);
  store_->fetch();
  ASSERT_TRUE(waitIdle(store_));
  EXPECT_EQ(store_->count(), 1u);

  // Cancelled while the tracks are checked: none of them is added later.
  HttpResponse page = igbtest::FakeService::reply(
      200, "{\"collection\":[" + comment(2, 11, 7, "2026/12/02 10:00:00 +0000") + "],\"next_href\":\"" + sc_.url("/x") + "\"}");
  store_->clearActivities();
  feedReply(first_, page);
  sc_.setScript([this](const HttpRequest& r) {
    if (r.path.rfind("/tracks/", 0) == 0) {
      HttpResponse res = igbtest::FakeService::reply(200, "{\"created_with\":{\"id\":4242}}");
      res.delay = std::chrono::milliseconds(300);
      return res;
    }
    return serve(r);
  });
  store_->fetch();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return store_->numberOfBufferedActivities() == 1; }));
  store_->cancelFetch();
  pumpMainLoopUntil([] { return false; }, 0.6);
  EXPECT_EQ(store_->count(), 0u);
  EXPECT_FALSE(store_->isFetching());
}

TEST_F(ActivitiesStoreTest, TheListRoundTripsThroughItsFileAndSignOutForgetsTheLinks) {
  feed(first_, {comment(1, 10, 7, "2013/05/01 10:00:00 +0000"), favoriting(11, 8, "2013/04/30 23:59:59 +0000")},
       "/me/activities/all/own?cursor=2", "/me/activities/all/own?uuid=f");
  store_ = makeStore();
  store_->setLimitDate(0);
  store_->fetch();
  ASSERT_TRUE(waitIdle(store_));
  ASSERT_EQ(rows(*store_), (std::vector<std::string>{"comment 10 7", "favoriting 11 8"}));  // May first
  const auto file = documents() / ".misc" / "dravelund_activities.plist";
  std::filesystem::create_directories(file.parent_path());
  ASSERT_TRUE(store_->saveActivities(file));

  auto restored = Store::make(defaults_.get());
  ASSERT_TRUE(restored->restoreActivities(file));
  EXPECT_EQ(restored->activities(), store_->activities());
  // The links came back from the user defaults too.
  EXPECT_EQ(restored->nextHref(), sc_.url("/me/activities/all/own?cursor=2"));

  // An empty list never overwrites the file.
  auto empty = Store::make(defaults_.get());
  EXPECT_FALSE(empty->saveActivities(file));
  EXPECT_TRUE(restored->restoreActivities(file));
  EXPECT_EQ(restored->count(), 2u);

  restored->clearActivities();
  EXPECT_EQ(restored->count(), 0u);
  EXPECT_FALSE(restored->nextHref());
  EXPECT_FALSE(defaults_->objectForKey(kDravelundActivityNextHref));
  EXPECT_FALSE(defaults_->objectForKey(kDravelundActivityFutureHref));

  EXPECT_FALSE(restored->restoreActivities(documents() / "missing.plist"));
  EXPECT_EQ(restored->count(), 0u);
}

TEST_F(ActivitiesStoreTest, ARestoredFileKeepsOnlyWellFormedRecords) {
  const auto file = documents() / "feed.plist";
  platform::Dictionary good{{"type", Value("favoriting")}, {"created_at", Value("2013/05/01 10:00:00 +0000")},
                            {"track_id", Value(1)},         {"track_title", Value("T")},
                            {"user_id", Value(2)},          {"user_name", Value("u")},
                            {"user_avatar", Value("")}};
  platform::Dictionary noBody = good;
  noBody["type"] = Value("comment");
  noBody["comment_id"] = Value(3);
  platform::Dictionary wrongType = good;
  wrongType["track_id"] = Value("1");
  platform::Dictionary otherKind = good;
  otherKind["type"] = Value("track");
  ASSERT_TRUE(platform::writePropertyList(
      file, Value(platform::Array{Value(good), Value(noBody), Value(wrongType), Value(otherKind), Value("junk")})));
  auto s = Store::make(defaults_.get());
  ASSERT_TRUE(s->restoreActivities(file));
  ASSERT_EQ(s->count(), 1u);
  EXPECT_EQ(s->activities()[0], good);
  // A file that is not a list restores nothing.
  ASSERT_TRUE(platform::writePropertyList(file, Value(good)));
  EXPECT_FALSE(s->restoreActivities(file));
  EXPECT_EQ(s->count(), 0u);
}

TEST_F(ActivitiesStoreTest, AvatarsAndCountriesAreFetchedOnceAndCached) {
  feed(first_,
       {comment(1, 10, 7, "2026/12/01 10:00:00 +0000", "\"" + sc_.url("/avatar.png") + "\""),
        comment(2, 10, 8, "2026/11/01 10:00:00 +0000", "\"" + sc_.url("/missing.png") + "\"")},
       "", "");
  store_ = makeStore();
  store_->setLimitDate(0);
  store_->fetch();
  ASSERT_TRUE(waitIdle(store_));
  heard_.log.clear();
  EXPECT_FALSE(store_->avatarAt(0));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 1; }));
  const platform::Dictionary descriptor{{"name", Value("userPicture")}, {"user_id", Value(7)}, {"track_row_index", Value(0)}};
  EXPECT_EQ(heard_.log[0], (std::pair<std::string, platform::Dictionary>{"start", descriptor}));
  EXPECT_EQ(heard_.log[1], (std::pair<std::string, platform::Dictionary>{"finish", descriptor}));
  auto image = store_->avatarAt(0);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 2);

  EXPECT_FALSE(store_->avatarAt(1));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("fail") == 1; }));
  EXPECT_EQ(heard_.last("fail")->at("user_id"), Value(8));

  EXPECT_FALSE(store_->userCountryAt(0));
  EXPECT_FALSE(store_->userCountryAt(0));  // asked once while it runs
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 2; }));
  EXPECT_EQ(*heard_.last("finish"), (platform::Dictionary{{"name", Value("get_user")}, {"user_id", Value(7)}}));
  EXPECT_EQ(store_->userCountryAt(0), "Japan");
  EXPECT_FALSE(store_->userCountryForUserId(8));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 3; }));
  const size_t requests = sc_.apiRequests().size();
  EXPECT_FALSE(store_->userCountryForUserId(8));  // JSON null: no new request
  pumpMainLoopUntil([] { return false; }, 0.1);
  EXPECT_EQ(sc_.apiRequests().size(), requests);
  size_t userRequests = 0;
  for (auto& r : sc_.apiRequests()) userRequests += r.path == "/users/7.json";
  EXPECT_EQ(userRequests, 1u);
  EXPECT_EQ(store_->cachedUserCount(), 2u);
  store_->didReceiveMemoryWarning();
  EXPECT_EQ(store_->cachedUserCount(), 0u);
  EXPECT_FALSE(store_->avatarAt(0));
}

TEST(ActivitiesDatesTest, TheFeedsDateTextParsesWithItsZone) {
  EXPECT_EQ(Store::parseDate("1970/01/01 00:00:00 +0000"), 0.0);
  EXPECT_EQ(Store::parseDate("1970/01/01 09:00:00 +0900"), 0.0);
  EXPECT_EQ(Store::parseDate("1969/12/31 19:00:00 -0500"), 0.0);
  EXPECT_GT(*Store::parseDate("2013/05/01 10:00:00 +0000"), *Store::parseDate("2013/04/30 23:59:59 +0000"));
  for (const char* bad : {"", "2013-05-01 10:00:00 +0000", "2013/05/01 10:00:00", "2013/13/01 10:00:00 +0000",
                          "2013/05/01 10:00:00 +0000 extra"})
    EXPECT_FALSE(Store::parseDate(bad)) << bad;
}

}  // namespace
