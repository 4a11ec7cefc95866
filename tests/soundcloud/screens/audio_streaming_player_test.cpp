#include "soundcloud/screens/audio_streaming_player.h"

#include "platform/net/url_connection.h"
#include "tests/soundcloud/screens/players_test_support.h"

using namespace tssc;
using igbtest::HttpRequest;
using igbtest::HttpResponse;
using igbtest::PlayerTest;

namespace {

std::string asString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class StreamTest : public PlayerTest {
 protected:
  StreamTest()
      : server([this](const HttpRequest& r) {
          if (r.path == "/stream.wav") {
            HttpResponse res;
            res.body = wav;
            return res;
          }
          if (r.path == "/stream.mp3") {
            HttpResponse res;
            res.body = "ID3\x03\x00 not a wave";
            return res;
          }
          return HttpResponse::json(404, "{}");
        }) {}
  void TearDown() override {
    player.reset();
    EXPECT_TRUE(igbtest::pumpMainLoopUntil([] { return platform::URLConnection::activeConnectionCount() == 0; }, 5.0));
    PlayerTest::TearDown();
  }
  std::unique_ptr<AudioStreamingPlayer> make() {
    auto p = std::make_unique<AudioStreamingPlayer>(std::make_shared<ListBrowserTrack>(),
                                                    std::vector<platform::AudioDriver>{platform::AudioDriver::Null});
    p->setDelegate(delegate);
    return p;
  }
  platform::URL url(const std::string& path) { return *platform::URL::withString(server.url(path)); }

  std::string wav = asString(encodeWav16(igbtest::rampFrames(8820), 2, 44100));  // 0.2 s
  igbtest::TestHttpServer server;
  std::unique_ptr<AudioStreamingPlayer> player;
};

}  // namespace

TEST_F(StreamTest, AttachFetchesTheStreamAndPlayAskedMeanwhileStartsItWhenReady) {
  player = make();
  EXPECT_EQ(player->parameter(0), 100);
  player->attach(url("/stream.wav"), 200);
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"finished", "accepted"}));
  EXPECT_FALSE(player->isPlaying());
  EXPECT_EQ(player->totalLength(), 200u);
  player->play();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return player->isPlaying(); }, 5.0));
  EXPECT_EQ(player->status(), AudioStreamingPlayer::Status::ReadyToPlay);
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(server.requests()[0].method, "GET");
  // It plays to its end: the rate falls to 0 and the locator reached the end.
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return delegate->count("pause") == 1; }, 5.0));
  EXPECT_FALSE(player->isPlaying());
  EXPECT_EQ(player->rate(), 0.0f);
  EXPECT_EQ(player->mediaPlayer()->framesPlayed(), 8820u);
  EXPECT_FLOAT_EQ(player->locator(), 1.0f);
  // It stays there through the periodic observer's later readings.
  igbtest::pumpMainLoopUntil([] { return false; }, 2 * AudioStreamingPlayer::kTimeObserverInterval);
  EXPECT_FLOAT_EQ(player->locator(), 1.0f);
  EXPECT_EQ(player->position(), 200u);
  EXPECT_EQ(delegate->told,
            (std::vector<std::string>{"finished", "accepted", "accepted", "start", "pause"}));
  player->forceStop();
  EXPECT_EQ(delegate->told.back(), "finished");
  EXPECT_FALSE(player->hasMediaPlayer());
}

TEST_F(StreamTest, PauseKeepsThePositionAndTheVolumeReachesTheMediaPlayer) {
  player = make();
  player->setParameter(0, 64);
  player->setParameter(2, 10);  // ignored
  EXPECT_EQ(player->parameter(0), 64);
  EXPECT_EQ(player->parameter(2), -1);
  player->attach(url("/stream.wav"), 200);
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return player->status() != AudioStreamingPlayer::Status::Unknown; }, 5.0));
  EXPECT_EQ(player->mediaPlayer()->parameter(0), 64);
  player->seekTo(0.5f, false);
  EXPECT_EQ(player->lastSeekSeconds(), 0.1);
  EXPECT_EQ(player->mediaPlayer()->readFrame(), 4410u);
  EXPECT_EQ(player->position(), 100u);
  player->play();
  EXPECT_TRUE(player->isPlaying());
  player->pause();
  EXPECT_FALSE(player->isPlaying());
  EXPECT_GE(player->position(), 100u);
  EXPECT_LT(player->position(), 200u);
}

TEST_F(StreamTest, SeekIsAFractionOfTheGivenLength) {
  player = make();
  player->attach(url("/stream.wav"), 200000);
  player->seekTo(0.5f, true);
  EXPECT_EQ(player->lastSeekSeconds(), 100.0);
  EXPECT_EQ(player->position(), 100000u);
}

TEST_F(StreamTest, AStreamThatCannotPlayIsReportedOnce) {
  for (const char* path : {"/stream.mp3", "/missing.wav"}) {
    delegate->told.clear();
    player = make();
    player->attach(url(path), 1000);
    player->play();
    ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return delegate->count("failed") > 0; }, 5.0)) << path;
    igbtest::pumpMainLoopUntil([] { return false; }, 0.2);
    EXPECT_EQ(delegate->count("failed"), 1u) << path;
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(delegate->count("start"), 0u);
  }
}

TEST_F(StreamTest, DescribesVolumeAndControlCodesAndStopDoesNothing) {
  player = make();
  EXPECT_EQ(player->parameterDescription(0), (ListBrowserPlayerParameterDescription{0, 127, 100}));
  EXPECT_FALSE(player->parameterDescription(1).has_value());
  EXPECT_TRUE(player->canControl(1001));
  EXPECT_FALSE(player->canControl(1003));
  EXPECT_FALSE(player->hasMediaPlayer());
  player->stop();
  player->pause();
  EXPECT_TRUE(delegate->told.empty());
}
