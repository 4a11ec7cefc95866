#include "soundcloud/soundcloud_fetched_object_context.h"

#include <gtest/gtest.h>

#include "tests/soundcloud/soundcloud_test_support.h"

using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using namespace tssc;
using platform::Value;
using Context = SoundCloudFetchedObjectContext;

namespace {

struct Heard : SoundCloudFetchedObjectContextObserver {
  std::vector<std::pair<std::string, platform::Dictionary>> log;
  void soundCloudFetchedObjectContextWillStartFetching(const platform::Notification& n) override {
    log.emplace_back("start", n.userInfo);
  }
  void soundCloudFetchedObjectContextDidFinishFetching(const platform::Notification& n) override {
    log.emplace_back("finish", n.userInfo);
  }
  void soundCloudFetchedObjectContextDidFailedFetching(const platform::Notification& n) override {
    log.emplace_back("fail", n.userInfo);
  }
  size_t count(const std::string& what, const std::string& name = "") const {
    size_t n = 0;
    for (auto& [w, i] : log) n += w == what && (name.empty() || (i.count("name") && i.at("name").stringValue() == name));
    return n;
  }
  const platform::Dictionary* last(const std::string& what) const {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->first == what) return &it->second;
    return nullptr;
  }
};

std::string track(long long id, const std::string& extra = "") {
  return "{\"id\":" + std::to_string(id) + ",\"title\":\"T" + std::to_string(id) +
         "\",\"user\":{\"id\":" + std::to_string(id % 100) + ",\"username\":\"u" + std::to_string(id % 100) +
         "\",\"avatar_url\":\"AVATAR\"},\"genre\":null,\"state\":\"finished\",\"streamable\":true,"
         "\"stream_url\":\"https://api.soundcloud.com/tracks/" + std::to_string(id) +
         "/stream\",\"commentable\":true,\"waveform_url\":\"WAVE\"" + extra + "}";
}

std::string page(long long first, int n) {
  std::string s = "[";
  for (int i = 0; i < n; ++i) s += (i ? "," : "") + track(first + i);
  return s + "]";
}

class FetchedContextTest : public igbtest::SharingTest {
 protected:
  void SetUp() override {
    igbtest::SharingTest::SetUp();
    ASSERT_TRUE(signIn());
    context_ = Context::make();
    context_->addObserver(&heard_);
    sc_.setScript([this](const HttpRequest& r) { return serve(r); });
  }
  void TearDown() override {
    context_.reset();
    igbtest::SharingTest::TearDown();
  }
  HttpResponse serve(const HttpRequest& r) {
    auto q = query(r);
    std::string body;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (replies_.count(r.method + " " + r.path)) return replies_.at(r.method + " " + r.path);
    }
    if (r.path == "/me/tracks.json") {
      const int offset = std::stoi(q["offset"]);
      HttpResponse res = igbtest::FakeService::reply(200, page(4294967296LL + offset, offset == 0 ? 3 : 7));
      if (offset == 0) res.delay = std::chrono::milliseconds(slowFirstPage_ ? 400 : 0);
      return res;
    }
    if (r.path == "/wave.png" || r.path == "/avatar.png") {
      HttpResponse res;
      res.body.assign(png_.begin(), png_.end());
      return res;
    }
    if (r.path == "/missing.png") return igbtest::FakeService::reply(404, "{}");
    return igbtest::FakeService::reply(200, "[]");
  }
  void reply(const std::string& key, HttpResponse response) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[key] = std::move(response);
  }
  void loadFirstPage() {
    context_->fetch({}, "me/tracks", 0);
    ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "get_tracks") > 0; }));
  }
  size_t requestsTo(const std::string& method, const std::string& path) {
    size_t n = 0;
    for (auto& r : sc_.apiRequests()) n += r.method == method && r.path == path;
    return n;
  }

  std::mutex mutex_;
  std::map<std::string, HttpResponse> replies_;
  bool slowFirstPage_ = false;
  platform::Data png_ = platform::Image::create(4, 2)->pngData();
  std::shared_ptr<Context> context_;
  Heard heard_;
};

TEST_F(FetchedContextTest, PagesAreTwentyFiveRecordsAtTheirOffsetAndAppend) {
  context_->fetch({{"q", "loop"}}, "me/tracks/", 2);
  EXPECT_EQ(heard_.log.at(0), (std::pair<std::string, platform::Dictionary>{"start", {{"name", Value("get_tracks")}}}));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 1; }));
  const HttpRequest r = sc_.apiRequests().back();
  EXPECT_EQ(r.path, "/me/tracks.json");
  EXPECT_EQ(query(r), (std::map<std::string, std::string>{{"q", "loop"},
                                                          {"limit", "25"},
                                                          {"offset", "50"},
                                                          {"created_with_app_id", "4242"},
                                                          {"client_id", "consumer-key"}}));
  EXPECT_EQ(*heard_.last("finish"), (platform::Dictionary{{"name", Value("get_tracks")}, {"result_count", Value(7)}}));
  EXPECT_EQ(context_->count(), 7u);
  EXPECT_EQ(context_->trackIdAt(0), 4294967296LL + 50);
  context_->fetch({}, "me/tracks", 1);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 2; }));
  EXPECT_EQ(context_->count(), 14u);  // appended; the caller clears for a new start
  context_->clear();
  EXPECT_EQ(context_->count(), 0u);

  const struct {
    const char* body;
    int64_t resultCount;
  } table[] = {{"[]", 0}, {"<html>", 0}, {"{\"collection\":[]}", 0}, {"[1, {\"id\":5}]", 2}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.body);
    reply("GET /empty.json", igbtest::FakeService::reply(200, row.body));
    const size_t before = heard_.count("finish");
    const size_t rows = context_->count();
    context_->fetch({}, "empty", 0);
    ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == before + 1; }));
    EXPECT_EQ(heard_.last("finish")->at("result_count"), Value(row.resultCount));
    EXPECT_LE(context_->count() - rows, 1u);  // only dictionaries become rows
  }
}

TEST_F(FetchedContextTest, ANewPageCancelsTheOneBefore) {
  slowFirstPage_ = true;
  context_->fetch({}, "me/tracks", 0);
  context_->fetch({}, "me/tracks", 1);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 1; }));
  pumpMainLoopUntil([] { return false; }, 0.6);
  EXPECT_EQ(heard_.count("finish"), 1u);
  EXPECT_EQ(context_->count(), 7u);
  EXPECT_EQ(context_->trackIdAt(0), 4294967296LL + 25);
}

TEST_F(FetchedContextTest, RowQuestionsReadTheRecordsSafely) {
  reply("GET /mixed.json",
        igbtest::FakeService::reply(
            200, "[" + track(1) + "," + track(2, ",\"genre\":\"Techno\",\"state\":\"processing\"") + "," +
                     track(3, ",\"streamable\":false,\"commentable\":false") + "," +
                     track(9007199254740993LL) + "]"));
  context_->fetch({}, "mixed", 0);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 1; }));
  ASSERT_EQ(context_->count(), 4u);
  EXPECT_EQ(context_->trackGenreAt(0), "");  // JSON null
  EXPECT_EQ(context_->trackNameAt(1), Value("T2"));
  EXPECT_EQ(context_->trackAuthorAt(0), Value("u1"));
  EXPECT_EQ(context_->trackUserIdAt(2), 3);
  EXPECT_EQ(context_->trackStreamUrlAt(0), "https://api.soundcloud.com/tracks/1/stream?consumer_key=consumer-key");
  EXPECT_FALSE(context_->trackStreamUrlAt(1));  // not finished
  EXPECT_FALSE(context_->trackStreamUrlAt(2));  // not streamable
  EXPECT_TRUE(context_->isTrackCommentableFor(1));
  EXPECT_FALSE(context_->isTrackCommentableFor(3));
  EXPECT_FALSE(context_->isTrackCommentableFor(77));
  EXPECT_EQ(context_->trackIndexFor(9007199254740993LL), 3);
  EXPECT_EQ(context_->trackIndexFor(77), -1);
  EXPECT_EQ(context_->searchUserIdByName("u2"), 2);
  EXPECT_FALSE(context_->searchUserIdByName("nobody"));
  // Rows beyond the list answer nothing.
  EXPECT_FALSE(context_->trackIdAt(4));
  EXPECT_TRUE(context_->trackObjectAt(4).isNull());
  EXPECT_EQ(context_->trackGenreAt(99), "");
  EXPECT_FALSE(context_->trackStreamUrlAt(99));
  EXPECT_FALSE(context_->trackCommentsAt(99));
  EXPECT_FALSE(context_->tryToRetrieveUserPictureAt(99));
  const size_t before = sc_.apiRequests().size();
  context_->removeTrackAt(99);
  context_->tryToRetrieveWavImage(99);
  pumpMainLoopUntil([] { return false; }, 0.1);
  EXPECT_EQ(sc_.apiRequests().size(), before);
}

TEST_F(FetchedContextTest, AttachmentsAreLookedUpOnceAndNoneIsRemembered) {
  reply("GET /tracks/4294967296/attachments.json", igbtest::FakeService::reply(200, "[]"));
  reply("GET /tracks/4294967297/attachments.json",
        igbtest::FakeService::reply(200, "[{\"href\":\"https://x/old\"},{\"href\":\"https://x/new\"}]"));
  reply("GET /tracks/4294967298/attachments.json", igbtest::FakeService::reply(200, "{\"not\":\"a list\"}"));
  loadFirstPage();
  for (size_t row = 0; row < 3; ++row) EXPECT_FALSE(context_->trackAttachmentHrefAt(row));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "get_attachments") == 3; }));
  EXPECT_EQ(heard_.count("start", "get_attachments"), 3u);
  EXPECT_TRUE(context_->hasAttachmentResult(4294967296LL));
  EXPECT_FALSE(context_->trackAttachmentHrefAt(0));
  EXPECT_EQ(context_->trackAttachmentHrefAt(1)->absoluteString(), "https://x/new");
  EXPECT_FALSE(context_->trackAttachmentHrefAt(2));
  pumpMainLoopUntil([] { return false; }, 0.1);
  EXPECT_EQ(requestsTo("GET", "/tracks/4294967296/attachments.json"), 1u);
  EXPECT_EQ(requestsTo("GET", "/tracks/4294967298/attachments.json"), 1u);
}

TEST_F(FetchedContextTest, CommentsAreGatedWhileTheyLoadAndForgottenOnAMemoryWarning) {
  reply("GET /tracks/4294967296/comments.json",
        [] {
          HttpResponse r = igbtest::FakeService::reply(200, "[{\"id\":1,\"body\":\"a\"},{\"id\":2,\"body\":\"b\"}]");
          r.delay = std::chrono::milliseconds(200);
          return r;
        }());
  loadFirstPage();
  EXPECT_FALSE(context_->trackCommentsAt(0));
  EXPECT_TRUE(context_->isRetrievingComments());
  EXPECT_FALSE(context_->trackCommentsAt(0));  // nothing new is sent meanwhile
  EXPECT_FALSE(context_->trackCommentsAt(1));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !context_->isRetrievingComments(); }));
  EXPECT_EQ(requestsTo("GET", "/tracks/4294967296/comments.json"), 1u);
  EXPECT_EQ(requestsTo("GET", "/tracks/4294967297/comments.json"), 0u);
  const HttpRequest r = [&] {
    for (auto& x : sc_.apiRequests())
      if (x.path == "/tracks/4294967296/comments.json") return x;
    return HttpRequest{};
  }();
  EXPECT_EQ(query(r).at("limit"), "50");
  EXPECT_EQ(query(r).at("offset"), "0");
  auto comments = context_->trackCommentsAt(0);
  ASSERT_TRUE(comments);
  EXPECT_EQ(comments->size(), 2u);
  EXPECT_EQ(context_->numberOfCommentsFor(4294967296LL), 2);
  EXPECT_EQ(heard_.count("start", "get_comments"), 1u);

  context_->didReceiveMemoryWarning();
  EXPECT_EQ(context_->count(), 3u);
  EXPECT_EQ(context_->numberOfCommentsFor(4294967296LL), 0);
  EXPECT_FALSE(context_->trackCommentsAt(0));  // fetched again
  ASSERT_TRUE(pumpMainLoopUntil([&] { return requestsTo("GET", "/tracks/4294967296/comments.json") == 2; }));

  // A failed comments request ends the gate too.
  reply("GET /tracks/4294967297/comments.json", igbtest::FakeService::reply(500, "{}"));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !context_->isRetrievingComments(); }));
  context_->fetchCommentsAt(1);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("fail", "get_comments") == 1; }));
  EXPECT_FALSE(context_->isRetrievingComments());
}

TEST_F(FetchedContextTest, WaveformsAndAvatarsDownloadOnceThenAnswerFromTheCache) {
  reply("GET /list.json",
        igbtest::FakeService::reply(
            200, "[" + track(5, ",\"waveform_url\":\"" + sc_.url("/wave.png") + "\",\"user\":{\"id\":6,\"username\":"
                                  "\"u6\",\"avatar_url\":\"" + sc_.url("/avatar.png") + "\"}") +
                     "," + track(7, ",\"waveform_url\":\"" + sc_.url("/missing.png") + "\"") + "]"));
  context_->fetch({}, "list", 0);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish") == 1; }));
  context_->tryToRetrieveWavImage(0);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "waveImage") == 1; }));
  EXPECT_EQ(*heard_.last("finish"), (platform::Dictionary{{"name", Value("waveImage")}, {"track_id", Value(5)}}));
  ASSERT_TRUE(context_->trackWavImageFor(5));
  EXPECT_EQ(context_->trackWavImageFor(5)->pixelWidth(), 4);
  // Cached: announced before the call returns, without a download.
  const size_t requests = sc_.server().requests().size();
  context_->tryToRetrieveWavImage(0);
  EXPECT_EQ(heard_.count("finish", "waveImage"), 2u);
  EXPECT_EQ(sc_.server().requests().size(), requests);

  context_->tryToRetrieveWavImage(1);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("fail", "waveImage") == 1; }));
  EXPECT_FALSE(context_->trackWavImageFor(7));

  EXPECT_FALSE(context_->tryToRetrieveUserPictureAt(0));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "userPicture") == 1; }));
  EXPECT_EQ(*heard_.last("finish"),
            (platform::Dictionary{{"name", Value("userPicture")}, {"user_id", Value(6)}, {"track_row_index", Value(0)}}));
  EXPECT_TRUE(context_->tryToRetrieveUserPictureAt(0));
  EXPECT_TRUE(context_->trackUserPictureForUserId(6));
  context_->didReceiveMemoryWarning();
  EXPECT_FALSE(context_->trackUserPictureForUserId(6));
  EXPECT_FALSE(context_->trackWavImageFor(5));
}

TEST_F(FetchedContextTest, DeleteUpdateAndFavouritesChangeTheListAsTheServiceAnswers) {
  loadFirstPage();
  ASSERT_EQ(context_->count(), 3u);
  // Delete: the row goes once the service agrees.
  context_->removeTrackAt(1);
  EXPECT_EQ(heard_.log.back(), (std::pair<std::string, platform::Dictionary>{
                                   "start", {{"name", Value("delete_track")}, {"track_id", Value(4294967297LL)}}}));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "delete_track") == 1; }));
  EXPECT_EQ(requestsTo("DELETE", "/tracks/4294967297.json"), 1u);
  EXPECT_EQ(context_->count(), 2u);
  EXPECT_EQ(context_->trackIndexFor(4294967297LL), -1);
  // A refused delete leaves the list alone.
  reply("DELETE /tracks/4294967296.json", igbtest::FakeService::reply(403, "{}"));
  context_->removeTrackAt(0);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("fail", "delete_track") == 1; }));
  EXPECT_EQ(context_->count(), 2u);

  // Update: the reply replaces the row.
  reply("PUT /tracks/4294967298.json", igbtest::FakeService::reply(200, track(4294967298LL, ",\"title\":\"Renamed\"")));
  context_->updateTrackFor(4294967298LL, {{"track[title]", "Renamed"}});
  EXPECT_EQ(heard_.log.back().second.at("name"), Value("put_track"));
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "put_track") == 1; }));
  EXPECT_EQ(context_->trackNameAt(1), Value("Renamed"));
  EXPECT_EQ(heard_.last("finish")->at("track_id"), Value(4294967298LL));
  const auto put = [&] {
    for (auto& x : sc_.apiRequests())
      if (x.method == "PUT") return x;
    return HttpRequest{};
  }();
  EXPECT_EQ(igbtest::formMap(put).at("track[title]"), "Renamed");

  // Favourite leaves the list; unfavourite removes the row.
  context_->favoriteTrackFor(4294967296LL);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "put_favorite") == 1; }));
  EXPECT_EQ(requestsTo("PUT", "/me/favorites/4294967296.json"), 1u);
  EXPECT_EQ(context_->count(), 2u);
  context_->defavoriteTrackFor(4294967296LL);
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "delete_favorite") == 1; }));
  EXPECT_EQ(requestsTo("DELETE", "/me/favorites/4294967296.json"), 1u);
  EXPECT_EQ(context_->count(), 1u);
  context_->defavoriteTrackFor(12345);  // not listed: the list stays
  ASSERT_TRUE(pumpMainLoopUntil([&] { return heard_.count("finish", "delete_favorite") == 2; }));
  EXPECT_EQ(context_->count(), 1u);
  context_->clearAll();
  EXPECT_EQ(context_->count(), 0u);
}

}  // namespace
