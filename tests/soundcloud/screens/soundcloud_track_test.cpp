#include "soundcloud/screens/soundcloud_track.h"

#include "controls/file_browser_drawing.h"
#include "soundcloud/screens/audio_streaming_player.h"
#include "soundcloud/screens/sc_multiple_info_top_view_controller.h"
#include "soundcloud/screens/soundcloud_comment_view_controller.h"
#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"
#include "tests/soundcloud/screens/players_test_support.h"
#include "tests/soundcloud/screens/sharing_screens_fixture.h"

using namespace tssc;
using platform::Value;

namespace {

constexpr int64_t kId = 4294967296LL;

platform::Dictionary trackDictionary() {
  return {{"id", Value(kId)},
          {"title", Value("Groove")},
          {"genre", Value()},
          {"tag_list", Value("house deep")},
          {"created_at", Value("2026/12/01 10:00:00 +0000")},
          {"description", Value("made on the box")},
          {"track_type", Value("loop")},
          {"license", Value("cc-by")},
          {"sharing", Value("private")},
          {"user", Value(platform::Dictionary{{"id", Value(7)}, {"username", Value("dj")}})},
          {"bpm", Value(128.5)},
          {"duration", Value(200000)},
          {"commentable", Value(true)},
          {"state", Value("finished")},
          {"streamable", Value(true)},
          {"stream_url", Value("https://api.soundcloud.com/tracks/4294967296/stream")}};
}

Value with(std::initializer_list<std::pair<const char*, std::optional<Value>>> changes) {
  platform::Dictionary d = trackDictionary();
  for (auto& [k, v] : changes) {
    if (v) d[k] = *v;
    else d.erase(k);
  }
  return Value(d);
}

class TrackRecordTest : public SharingScreensTest {
 protected:
  void SetUp() override {
    SharingScreensTest::SetUp();
    context = SoundCloudFetchedObjectContext::make();
  }
  void TearDown() override {
    context.reset();
    SharingScreensTest::TearDown();
  }
  // The list holds two of the user's tracks.
  void loadList() {
    setReply("GET /me/tracks.json", 200,
             "[{\"id\":4294967296,\"title\":\"Groove\",\"user\":{\"id\":7,\"username\":\"dj\"}},"
             "{\"id\":4294967297,\"title\":\"Other\",\"user\":{\"id\":7,\"username\":\"dj\"}}]");
    context->fetch({}, "me/tracks", 0);
    ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return context->count() == 2; }));
  }
  size_t requestsTo(const std::string& line) {
    auto lines = requestLines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
  }
  std::shared_ptr<SoundCloudFetchedObjectContext> context;
};

}  // namespace

TEST_F(TrackRecordTest, AnswersEachInformationKeyFromItsDictionary) {
  auto track = SoundCloudTrack::trackWithTrackInfo(Value(trackDictionary()), context);
  struct Case {
    int32_t key;
    std::optional<Value> expected;
  } cases[] = {{0, Value(kId)},
               {1, Value("https://api.soundcloud.com/tracks/4294967296/stream?consumer_key=consumer-key")},
               {2, Value("Groove")},
               {3, Value("")},  // JSON null
               {4, Value("house deep")},
               {5, Value("2026/12/01 10:00:00 +0000")},
               {6, Value("made on the box")},
               {7, Value("loop")},
               {8, Value("cc-by")},
               {9, Value("private")},
               {10, Value(7)},
               {11, Value("dj")},
               {12, std::nullopt},  // no picture cached
               {13, Value(128.5)},
               {14, Value(200000)},
               {15, Value(true)},
               {16, std::nullopt},
               {-1, std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(track->information(c.key), c.expected) << c.key;
  auto noGenre = SoundCloudTrack::trackWithTrackInfo(with({{"genre", std::nullopt}}), context);
  EXPECT_FALSE(noGenre->information(3).has_value());
  EXPECT_EQ(track->picture(), nullptr);
}

TEST_F(TrackRecordTest, OnlyAFinishedStreamableTrackWithAStreamUrlHasOne) {
  struct Case {
    const char* name;
    Value info;
    bool hasURL;
  } cases[] = {{"processing", with({{"state", Value("processing")}}), false},
               {"not streamable", with({{"streamable", Value(false)}}), false},
               {"no url", with({{"stream_url", std::nullopt}}), false},
               {"null url", with({{"stream_url", Value()}}), false},
               {"with a query", with({{"stream_url", Value("https://x.test/s?a=1")}}), true}};
  for (const Case& c : cases) {
    auto track = SoundCloudTrack::trackWithTrackInfo(c.info, context);
    EXPECT_EQ(track->information(1).has_value(), c.hasURL) << c.name;
  }
  auto queried = SoundCloudTrack::trackWithTrackInfo(cases[4].info, context);
  EXPECT_EQ(queried->information(1)->stringValue(), "https://x.test/s?a=1&consumer_key=consumer-key");
}

TEST_F(TrackRecordTest, EachKindPerformsItsOwnActions) {
  const Value info(trackDictionary());
  std::shared_ptr<SoundCloudTrack> kinds[] = {SoundCloudTrack::trackWithTrackInfo(info, context),
                                              MySoundCloudTrack::trackWithTrackInfo(info, context),
                                              FavoriteSoundCloudTrack::trackWithTrackInfo(info, context)};
  const std::vector<int32_t> sets[] = {{2, 5, 6, 7, 10, 11}, {1, 2, 3, 5, 6, 7, 11}, {2, 5, 6, 8, 11}};
  for (int k = 0; k < 3; ++k)
    for (int32_t a = -1; a <= 13; ++a)
      EXPECT_EQ(kinds[k]->canPerform(a), std::count(sets[k].begin(), sets[k].end(), a) == 1) << k << " " << a;
  for (auto& track : kinds)
    for (int32_t a : {6, 10, 11, 0, 99}) EXPECT_EQ(track->perform(a), nullptr);
}

TEST_F(TrackRecordTest, InformationAndEditScreensGetARecordFilledFromTheTrack) {
  auto track = MySoundCloudTrack::trackWithTrackInfo(Value(trackDictionary()), context);
  auto page = std::dynamic_pointer_cast<SCMultipleInfoTopViewController>(track->perform(2));
  ASSERT_NE(page, nullptr);
  auto record = page->informationObject();
  ASSERT_NE(record, nullptr);
  EXPECT_FALSE(record->enabledToTrackUpload());
  EXPECT_FALSE(record->enabledToAttach());
  EXPECT_EQ(record->title, std::optional<std::string>("Groove"));
  EXPECT_EQ(record->genre, std::optional<std::string>(""));
  EXPECT_EQ(record->tags, std::optional<std::string>("house deep"));
  EXPECT_EQ(record->description, std::optional<std::string>("made on the box"));
  EXPECT_EQ(record->tempo, std::optional<double>(128.5));
  EXPECT_EQ(record->username, std::optional<std::string>("dj"));
  EXPECT_EQ(record->updatedDate, std::optional<std::string>("2026/12/01 10:00:00 +0000"));
  EXPECT_EQ(record->licenseType, SoundCloudInformationObject::translateStringIntoLicenseType(Value("cc-by")));
  EXPECT_EQ(record->shareType, SoundCloudInformationObject::translateStringIntoSharingType(Value("private")));
  EXPECT_EQ(record->trackType, SoundCloudInformationObject::translateStringIntoTrackType(Value("loop")));
  EXPECT_EQ(record->track_id, 0u);

  auto nav = std::dynamic_pointer_cast<platform::NavigationController>(track->perform(3));
  ASSERT_NE(nav, nullptr);
  EXPECT_EQ(nav->navigationBar().backgroundColor(), fileBrowserTintColor());
  auto* editor = dynamic_cast<SoundCloudInfoEditViewController*>(nav->topViewController());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->fetchedObjectContext(), context);
}

TEST_F(TrackRecordTest, CommentsScreenIsTitledWithTheTrackInANavigationController) {
  auto track = SoundCloudTrack::trackWithTrackInfo(Value(trackDictionary()), context);
  auto nav = std::dynamic_pointer_cast<platform::NavigationController>(track->perform(5));
  ASSERT_NE(nav, nullptr);
  auto* screen = dynamic_cast<SoundCloudCommentViewController*>(nav->topViewController());
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->title(), "Comments : Groove");
  EXPECT_EQ(screen->track(), track);
}

TEST_F(TrackRecordTest, DeleteFavouriteAndUnfavouriteGoThroughTheList) {
  signInAndLoad();
  loadList();
  setReply("DELETE /tracks/4294967296.json", 200, "{}");
  setReply("PUT /me/favorites/4294967296.json", 200, "{}");
  setReply("DELETE /me/favorites/4294967297.json", 200, "{}");
  auto mine = MySoundCloudTrack::trackWithTrackInfo(Value(trackDictionary()), context);
  EXPECT_EQ(mine->perform(1), nullptr);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return context->count() == 1; }));
  EXPECT_EQ(requestsTo("DELETE /tracks/4294967296.json"), 1u);
  // No longer listed: nothing is sent.
  EXPECT_EQ(mine->perform(1), nullptr);
  igbtest::pumpMainLoopUntil([] { return false; }, 0.2);
  EXPECT_EQ(requestsTo("DELETE /tracks/4294967296.json"), 1u);

  auto plain = SoundCloudTrack::trackWithTrackInfo(Value(trackDictionary()), context);
  EXPECT_EQ(plain->perform(7), nullptr);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return requestsTo("PUT /me/favorites/4294967296.json") == 1; }));
  EXPECT_EQ(plain->perform(8), nullptr);  // a plain track has no unfavourite
  platform::Dictionary second = trackDictionary();
  second["id"] = Value(kId + 1);
  auto favourite = FavoriteSoundCloudTrack::trackWithTrackInfo(Value(second), context);
  EXPECT_EQ(favourite->perform(8), nullptr);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return context->count() == 0; }));
  EXPECT_EQ(requestsTo("DELETE /me/favorites/4294967297.json"), 1u);
  EXPECT_EQ(requestsTo("DELETE /me/favorites/4294967296.json"), 0u);
}

TEST_F(TrackRecordTest, ItsPlayerStreamsTheTrackWithItsDuration) {
  const std::string wav = [] {
    auto b = encodeWav16(igbtest::rampFrames(441), 2, 44100);
    return std::string(b.begin(), b.end());
  }();
  igbtest::TestHttpServer streams([&](const igbtest::HttpRequest&) {
    igbtest::HttpResponse r;
    r.body = wav;
    return r;
  });
  auto track = SoundCloudTrack::trackWithTrackInfo(
      with({{"stream_url", Value(streams.url("/tracks/1/stream"))}, {"duration", Value(10)}}), context);
  track->setPlayerDrivers({platform::AudioDriver::Null});
  auto delegate = std::make_shared<igbtest::RecordingPlayerDelegate>();
  auto player = std::dynamic_pointer_cast<AudioStreamingPlayer>(track->createPlayerWithDelegate(delegate));
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->totalLength(), 10u);
  EXPECT_EQ(player->track(), track);
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"finished", "accepted"}));
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return player->status() == AudioStreamingPlayer::Status::ReadyToPlay; }));
  auto requests = streams.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/tracks/1/stream?consumer_key=consumer-key");
  player->forceStop();
  // A track without a stream gets a player with nothing attached.
  auto silent = SoundCloudTrack::trackWithTrackInfo(with({{"state", Value("failed")}}), context);
  auto none = std::dynamic_pointer_cast<AudioStreamingPlayer>(silent->createPlayerWithDelegate(delegate));
  ASSERT_NE(none, nullptr);
  EXPECT_FALSE(none->hasMediaPlayer());
}
