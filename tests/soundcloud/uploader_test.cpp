#include "soundcloud/ts_soundcloud_uploader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "tests/soundcloud/soundcloud_test_support.h"

using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::pumpMainLoopUntil;
using namespace tssc;

namespace {

struct RecordingUploaderDelegate : SoundCloudUploaderDelegate {
  std::vector<std::string> log;
  std::vector<float> progress;
  std::optional<platform::Error> error;
  std::chrono::steady_clock::time_point startedData;
  // How many progress reports had come when the attachment began.
  size_t progressAtStartData = 0;
  void soundCloudUploaderStartToUploadAudio(TSSoundCloudUploader&) override { log.push_back("start-audio"); }
  void soundCloudUploaderUploadedAudio(TSSoundCloudUploader&) override { log.push_back("uploaded-audio"); }
  void soundCloudUploaderStartToUploadData(TSSoundCloudUploader&) override {
    log.push_back("start-data");
    startedData = std::chrono::steady_clock::now();
    progressAtStartData = progress.size();
  }
  void soundCloudUploaderUploadedData(TSSoundCloudUploader&) override { log.push_back("uploaded-data"); }
  void soundCloudUploaderDidSendBytes(TSSoundCloudUploader&, float status) override {
    if (log.empty() || log.back() != "progress") log.push_back("progress");
    progress.push_back(status);
  }
  void soundCloudUploaderDidFailed(TSSoundCloudUploader&, const platform::Error& e) override {
    log.push_back("failed");
    error = e;
  }
  void soundCloudUploaderUpdatedTrack(TSSoundCloudUploader&) override { log.push_back("updated"); }
  bool ended() const {
    return !log.empty() && (log.back() == "failed" || log.back() == "uploaded-data" || log.back() == "uploaded-audio");
  }
};

class UploaderTest : public igbtest::SharingTest {
 protected:
  void SetUp() override {
    igbtest::SharingTest::SetUp();
    ASSERT_TRUE(signIn());
    audio_ = documents() / "Bounce 120 BPM.wav";
    data_ = documents() / "pattern.dat";
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 31));
    std::ofstream(audio_, std::ios::binary) << bytes;
    audioBytes_ = bytes;
    std::ofstream(data_, std::ios::binary) << std::string(5000, 'p');
    sc_.setScript([this](const HttpRequest& r) { return serve(r); });
  }
  HttpResponse serve(const HttpRequest& r) {
    if (r.path == "/tracks.json") return igbtest::FakeService::reply(trackStatus_, trackReply_);
    if (r.path == "/tracks/4294967296/attachments.json")
      return igbtest::FakeService::reply(attachmentStatus_, "{\"id\":5,\"href\":\"https://x/5\"}");
    return igbtest::FakeService::reply(404, "{}");
  }
  nxoauth2::NXOAuth2Parameters audioParams() {
    SoundCloudInformationObject info(true, true);
    info.fileURL = platform::URL::fileURLWithPath(audio_);
    info.title = "Bounce";
    info.tempo = 120.0;
    EXPECT_TRUE(info.isValid());
    return info.output();
  }
  nxoauth2::NXOAuth2Parameters dataParams() {
    return {{"attachment[asset_data]", platform::URL::fileURLWithPath(data_)}};
  }

  std::filesystem::path audio_, data_;
  std::string audioBytes_;
  int trackStatus_ = 201;
  int attachmentStatus_ = 201;
  std::string trackReply_ =
      "{\"id\":4294967296,\"permalink_url\":\"https://soundcloud.com/dj/bounce\",\"artwork_url\":null,"
      "\"user\":{\"avatar_url\":\"https://i1.sndcdn.com/avatar.jpg\"},\"title\":\"Bounce\",\"user_id\":9007199254740993}";
};

TEST_F(UploaderTest, AudioOnlyUploadsTheTrackAndKeepsTheFile) {
  auto uploader = TSSoundCloudUploader::make(audioParams(), std::nullopt);
  RecordingUploaderDelegate d;
  uploader->setDelegate(&d);
  EXPECT_FALSE(uploader->hasDataParam());
  uploader->upload();
  EXPECT_TRUE(uploader->connectionId());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.ended(); }));
  EXPECT_EQ(d.log, (std::vector<std::string>{"start-audio", "progress", "uploaded-audio"}));
  EXPECT_FALSE(uploader->connectionId());
  EXPECT_FLOAT_EQ(d.progress.back(), 1.0f);
  for (size_t i = 1; i < d.progress.size(); ++i) EXPECT_GE(d.progress[i], d.progress[i - 1]);
  EXPECT_EQ(uploader->uploadedTrackLink(), "https://soundcloud.com/dj/bounce");
  EXPECT_EQ(uploader->uploadedTrackImage(), "https://i1.sndcdn.com/avatar.jpg");  // no artwork: the avatar
  EXPECT_EQ(uploader->uploadedTrackTitle(), "Bounce");
  EXPECT_EQ(uploader->uploadedTrackId(), 4294967296LL);
  EXPECT_EQ(uploader->uploadedTrackUserId(), 9007199254740993LL);
  EXPECT_TRUE(std::filesystem::exists(audio_));

  // The request as the service sees it: one part per field, the file part binary and byte-identical.
  const auto reqs = sc_.apiRequests();
  ASSERT_EQ(reqs.size(), 1u);
  const HttpRequest& r = reqs[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.header("Authorization"), "OAuth tok-1");
  EXPECT_FALSE(r.chunked);
  EXPECT_EQ(r.header("Content-Length"), std::to_string(r.bodyLength));
  auto parts = igbtest::parseMultipart(r.body, *igbtest::boundaryOf(*r.header("Content-Type")));
  ASSERT_TRUE(parts);
  std::vector<std::string> names;
  for (auto& p : *parts) names.push_back(p.name.value_or("?"));
  EXPECT_EQ(names, (std::vector<std::string>{"track[asset_data]", "track[title]", "track[description]", "track[genre]",
                                             "track[sharing]", "track[bpm]", "track[track_type]", "track[license]",
                                             "track[tag_list]"}));
  const auto& file = (*parts)[0];
  EXPECT_EQ(file.fileName, "Bounce 120 BPM.wav");
  EXPECT_NE(file.headerBlock.find("Content-Transfer-Encoding: binary"), std::string::npos);
  EXPECT_NE(file.headerBlock.find("Content-Type: application/octet-stream"), std::string::npos);
  EXPECT_TRUE(file.content == audioBytes_);
  EXPECT_EQ((*parts)[5].content, "120.0");
}

TEST_F(UploaderTest, WithDataTheAttachmentFollowsAfterThePause) {
  auto uploader = TSSoundCloudUploader::make(audioParams(), dataParams());
  RecordingUploaderDelegate d;
  uploader->setDelegate(&d);
  uploader->upload();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.ended() && d.log.back() != "uploaded-audio"; }));
  std::vector<std::string> expected{"start-audio", "progress", "uploaded-audio", "start-data", "progress",
                                    "uploaded-data"};
  EXPECT_EQ(d.log, expected);
  const auto reqs = sc_.apiRequests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[1].method, "POST");
  EXPECT_EQ(reqs[1].path, "/tracks/4294967296/attachments.json");
  EXPECT_EQ(igbtest::fieldNames(reqs[1]), (std::vector<std::string>{"attachment[asset_data]"}));
  EXPECT_EQ(igbtest::formMap(reqs[1]).at("attachment[asset_data]"), std::string(5000, 'p'));
  // The user's own file stays.
  EXPECT_TRUE(std::filesystem::exists(audio_));
  // The attachment's progress starts again from the beginning: the track's
  // reports ended at 1, then the attachment's rise again to 1 for its own bytes.
  ASSERT_GT(d.progressAtStartData, 0u);
  ASSERT_LT(d.progressAtStartData, d.progress.size());
  EXPECT_FLOAT_EQ(d.progress[d.progressAtStartData - 1], 1.0f);
  // The body goes out a piece at a time (the part's header before its file),
  // so the first report covers only the header, a small share of the
  // attachment's own bytes; a count carried on from the track would start
  // near 1.
  EXPECT_LT(d.progress[d.progressAtStartData], 0.5f);
  EXPECT_GT(d.progress[d.progressAtStartData], 0.0f);
  for (size_t i = d.progressAtStartData + 1; i < d.progress.size(); ++i) EXPECT_GE(d.progress[i], d.progress[i - 1]);
  EXPECT_FLOAT_EQ(d.progress.back(), 1.0f);
}

TEST_F(UploaderTest, ATemporaryAudioCopyIsDeletedOnceTheTrackExists) {
  auto uploader = TSSoundCloudUploader::make(audioParams(), dataParams(), true);
  RecordingUploaderDelegate d;
  uploader->setDelegate(&d);
  uploader->upload();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return std::find(d.log.begin(), d.log.end(), "start-data") != d.log.end(); }));
  EXPECT_FALSE(std::filesystem::exists(audio_));
  EXPECT_TRUE(uploader->isPausing());
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.log.back() == "uploaded-data"; }));
  EXPECT_GE(std::chrono::steady_clock::now() - d.startedData, std::chrono::milliseconds(290));
}

TEST_F(UploaderTest, FailuresEndTheUpload) {
  const struct {
    const char* what;
    int trackStatus;
    std::string trackReply;
    int attachmentStatus;
    std::vector<std::string> log;
    int64_t code;
    size_t requests;
  } table[] = {
      {"track refused", 500, "{}", 201, {"start-audio", "progress", "failed"}, 500, 1},
      {"reply not JSON", 201, "<html>", 201, {"start-audio", "progress", "failed"}, -1, 1},
      {"reply without id", 201, "{\"title\":\"x\"}", 201, {"start-audio", "progress", "failed"}, -1, 1},
      {"attachment refused", 201, "", 422,
       {"start-audio", "progress", "uploaded-audio", "start-data", "progress", "failed"}, 422, 2},
  };
  const std::string goodReply = trackReply_;
  for (const auto& row : table) {
    SCOPED_TRACE(row.what);
    sc_.server().clearRequests();
    trackStatus_ = row.trackStatus;
    attachmentStatus_ = row.attachmentStatus;
    trackReply_ = row.trackReply.empty() ? goodReply : row.trackReply;
    auto uploader = TSSoundCloudUploader::make(audioParams(), dataParams());
    RecordingUploaderDelegate d;
    uploader->setDelegate(&d);
    uploader->upload();
    ASSERT_TRUE(pumpMainLoopUntil([&] { return !d.log.empty() && d.log.back() == "failed"; }));
    pumpMainLoopUntil([] { return false; }, 0.4);
    EXPECT_EQ(d.log, row.log);
    EXPECT_EQ(d.error->code, row.code);
    EXPECT_EQ(sc_.apiRequests().size(), row.requests);
    EXPECT_TRUE(std::filesystem::exists(audio_));
  }
}

TEST_F(UploaderTest, CancelDuringThePauseKeepsTheAttachmentBack) {
  auto uploader = TSSoundCloudUploader::make(audioParams(), dataParams());
  RecordingUploaderDelegate d;
  uploader->setDelegate(&d);
  uploader->upload();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return !d.log.empty() && d.log.back() == "start-data"; }));
  uploader->cancel();
  EXPECT_FALSE(uploader->isPausing());
  pumpMainLoopUntil([] { return false; }, 0.6);
  EXPECT_EQ(sc_.apiRequests().size(), 1u);
  EXPECT_EQ(d.log.back(), "start-data");

  // Cancelled while the track is sent: nothing more is heard.
  auto second = TSSoundCloudUploader::make(audioParams(), std::nullopt);
  RecordingUploaderDelegate e;
  second->setDelegate(&e);
  sc_.setScript([](const HttpRequest&) {
    HttpResponse r = igbtest::FakeService::reply(201, "{\"id\":1}");
    r.delay = std::chrono::milliseconds(300);
    return r;
  });
  second->upload();
  ASSERT_TRUE(waitForRequests(2));
  second->cancel();
  pumpMainLoopUntil([] { return false; }, 0.6);
  EXPECT_EQ(e.log.front(), "start-audio");
  EXPECT_EQ(std::count(e.log.begin(), e.log.end(), "uploaded-audio"), 0);
  EXPECT_EQ(std::count(e.log.begin(), e.log.end(), "failed"), 0);
}

TEST_F(UploaderTest, ArtworkWinsOverTheAvatarAndProgressIsAFraction) {
  trackReply_ = "{\"id\":7,\"artwork_url\":\"https://i1.sndcdn.com/art.jpg\",\"user\":{\"avatar_url\":\"a\"}}";
  auto uploader = TSSoundCloudUploader::make(audioParams(), std::nullopt);
  RecordingUploaderDelegate d;
  uploader->setDelegate(&d);
  uploader->soundCloudAPIDidSendBytes(0, 400, {});
  uploader->soundCloudAPIDidSendBytes(400, 400, {});
  uploader->soundCloudAPIDidSendBytes(0, 0, {});
  EXPECT_EQ(d.progress, (std::vector<float>{0.0f, 1.0f, 0.0f}));
  uploader->upload();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.ended(); }));
  EXPECT_EQ(uploader->uploadedTrackImage(), "https://i1.sndcdn.com/art.jpg");
  EXPECT_EQ(uploader->uploadedTrackLink(), "");
  EXPECT_FALSE(uploader->uploadedTrackUserId());
  // A track update's reply is reported as such.
  uploader->soundCloudAPIDidFinishWithData({}, {{"name", platform::Value("put_track")}});
  EXPECT_EQ(d.log.back(), "updated");
}

TEST_F(UploaderTest, ARefreshThatFailsForGoodEndsTheUploadWithItsError) {
  // The token expired long ago, so the request refreshes first; the refresh is refused.
  auto account = scsdk::SCSoundCloud::account();
  auto old = account->oauthAccount()->accessToken();
  account->oauthAccount()->oauthClient()->setAccessToken(nxoauth2::NXOAuth2AccessToken::make(
      old->accessToken(), old->refreshToken(), platform::Date{nxoauth2::nxoauth2_now().secondsSince1970 - 3600}));
  sc_.setRefreshStatus(400);
  auto uploader = TSSoundCloudUploader::make(audioParams(), dataParams());
  RecordingUploaderDelegate d;
  uploader->setDelegate(&d);
  uploader->upload();
  ASSERT_TRUE(pumpMainLoopUntil([&] { return d.ended(); }));
  EXPECT_EQ(d.log, (std::vector<std::string>{"start-audio", "failed"}));
  EXPECT_EQ(d.error->domain, "NXOAuth2ErrorDomain");
  EXPECT_EQ(d.error->code, -2001);
  EXPECT_TRUE(sc_.apiRequests().empty());  // the track never went out
}

TEST(SharingHelperTest, RemovesTheRecordsFilesWhenTheyExist) {
  igbtest::TempDir dir;
  SoundCloudInformationObject info(true, true);
  info.fileURL = platform::URL::fileURLWithPath(dir.path() / "a.wav");
  info.dataURL = platform::URL::fileURLWithPath(dir.path() / "a.dat");
  std::ofstream(dir.path() / "a.wav") << "a";
  std::ofstream(dir.path() / "a.dat") << "d";
  TSSoundCloudSharingHelper::removeAudioFile(info);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.wav"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "a.dat"));
  TSSoundCloudSharingHelper::removeSongDataFile(info);
  TSSoundCloudSharingHelper::removeSongDataFile(info);  // already gone: no error
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.dat"));
}

}  // namespace
