// The audio output's own rules, on the null device (no server needed):
// chunks and host times, "audio_latency", latency, buffer size changes,
// background and foreground, interruptions, the play/stop trigger, the
// notice queue and the singleton.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "audio/gbv_audio_session.h"
#include "audio/iphone_audio_io.h"
#include "audio/fakes.h"
#include "platform/audio/audio_test_support.h"
#include "platform/foundation/host_time.h"

using namespace std::chrono_literals;
using platform::AudioDriver;

namespace {

template <typename F>
bool waitFor(F condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

uint64_t expectedLatency(uint32_t frames) {
  return 2 * static_cast<uint64_t>(static_cast<double>(frames) / 44100.0 * 1e9);
}

class SessionTest : public ::testing::Test {
 protected:
  GBVAudioSession::Environment environment() {
    GBVAudioSession::Environment env;
    env.session = &audioSession_;
    env.drivers = std::vector<AudioDriver>{AudioDriver::Null};
    env.userDefaults = &defaults_;
    env.backgroundAudioEnabled = [this] { return backgroundAudio_.load(); };
    return env;
  }
  std::unique_ptr<GBVAudioSession> make() { return std::make_unique<GBVAudioSession>(44100.0f, environment()); }

  platform::AudioSession audioSession_;
  MemoryUserDefaults defaults_;
  std::atomic<bool> backgroundAudio_{false};
  audiotest::FakeOutputEngine engine_;
};

}  // namespace

// A request larger than a chunk reaches the listener in chunks of at most
// 1,024 frames, each with the host time of its first frame, and comes back
// interleaved.
TEST_F(SessionTest, RenderCutsRequestsIntoChunksWithTheirHostTimes) {
  auto session = std::shared_ptr<GBVAudioSession>(make());
  IPhoneAudioIO io(session);
  session->setIo(&io);
  auto listener = std::make_unique<audiotest::PatternListener>();
  session->setListener(listener.get());
  std::vector<int16_t> buffer(5000 * 2, 0x5555);
  platform::AudioTimeStamp ts;
  ts.hostTime = 1'000'000'000'000ull;
  ts.hostTimeValid = true;
  ASSERT_EQ(session->Render(&ts, 0, 5000, buffer.data()), 0);

  ASSERT_EQ(listener->calls.load(), 5);
  const int32_t sizes[] = {1024, 1024, 1024, 1024, 904};
  const uint64_t advance = static_cast<uint64_t>(1024.0f * 1e9f / 44100.0f);
  EXPECT_NEAR(static_cast<double>(advance), 1024.0 / 44100.0 * 1e9, 10.0);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(listener->sizes[i], sizes[i]);
    EXPECT_EQ(listener->hostTimes[i], ts.hostTime + static_cast<uint64_t>(i) * advance) << "chunk " << i;
  }
  for (uint64_t f = 0; f < 5000; ++f) {
    ASSERT_EQ(buffer[f * 2], audiotest::TestPattern::left(f)) << f;
    ASSERT_EQ(buffer[f * 2 + 1], audiotest::TestPattern::right(f)) << f;
  }
}

TEST_F(SessionTest, WithoutAValidStampTheHostTimeIsNowPlusTheLatency) {
  defaults_.setObject(platform::Value(int64_t{512}), "audio_latency");
  auto session = std::shared_ptr<GBVAudioSession>(make());
  IPhoneAudioIO io(session);
  session->setIo(&io);
  auto listener = std::make_unique<audiotest::PatternListener>();
  session->setListener(listener.get());
  std::vector<int16_t> buffer(256 * 2);
  const uint64_t before = platform::hostTime();
  platform::AudioTimeStamp invalid;  // hostTimeValid is false
  session->Render(&invalid, 0, 256, buffer.data());
  session->Render(nullptr, 0, 256, buffer.data());
  const uint64_t after = platform::hostTime();
  ASSERT_EQ(listener->calls.load(), 2);
  const uint64_t latency = session->latencyNanosec();
  EXPECT_EQ(latency, expectedLatency(512));
  for (int i = 0; i < 2; ++i) {
    EXPECT_GE(listener->hostTimes[i], before + latency);
    EXPECT_LE(listener->hostTimes[i], after + latency);
  }
}

TEST_F(SessionTest, RenderWithoutListenerLeavesTheBufferAlone) {
  auto session = make();
  std::vector<int16_t> buffer(64 * 2, 1234);
  EXPECT_EQ(session->Render(nullptr, 0, 64, buffer.data()), 0);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](int16_t s) { return s == 1234; }));
  EXPECT_GT(session->hostTime(), 0u) << "the host time is kept even so";
}

TEST_F(SessionTest, BuffersAreSetUpAsTheOutputExpects) {
  auto session = make();
  EXPECT_EQ(session->bufferLength(), 1024u);
  EXPECT_EQ(session->numberOfOutputBus(), 2u);
  EXPECT_FALSE(session->enableAudioIn());
  EXPECT_FLOAT_EQ(session->sampleRate(), 44100.0f);
  EXPECT_TRUE(audioSession_.isActive());
  EXPECT_EQ(audioSession_.category(), platform::AudioSessionCategory::Playback);
  EXPECT_EQ(audioSession_.categoryOptions(), platform::kAudioSessionCategoryOptionMixWithOthers);
  EXPECT_FALSE(session->isOpened());
  EXPECT_FALSE(session->close()) << "nothing to close";
  EXPECT_FALSE(session->start());
  EXPECT_EQ(session->retrieveCPULoad(), 0.0f);
}

TEST(AudioLatencyDefault, StoredValuesAndTheirResults) {
  struct Case {
    std::optional<platform::Value> stored;
    uint32_t used;
    platform::Value storedAfter;
    int writes;
  };
  const Case cases[] = {
      {std::nullopt, 128, platform::Value(int64_t{128}), 1},
      {platform::Value(int64_t{300}), 128, platform::Value(int64_t{300}), 0},
      {platform::Value(int64_t{512}), 512, platform::Value(int64_t{512}), 0},
      {platform::Value(int64_t{256}), 256, platform::Value(int64_t{256}), 0},
      {platform::Value(int64_t{128}), 128, platform::Value(int64_t{128}), 0},
      {platform::Value(int64_t{0}), 128, platform::Value(int64_t{0}), 0},
      {platform::Value(int64_t{-256}), 128, platform::Value(int64_t{-256}), 0},
      {platform::Value(256.7), 256, platform::Value(256.7), 0},
      {platform::Value("512"), 512, platform::Value("512"), 0},
      {platform::Value(" 256 frames"), 256, platform::Value(" 256 frames"), 0},
      {platform::Value("fast"), 128, platform::Value("fast"), 0},
  };
  for (const Case& c : cases) {
    platform::AudioSession audioSession;
    MemoryUserDefaults defaults;
    if (c.stored) defaults.setObject(*c.stored, "audio_latency");
    const int writesBefore = defaults.writes();
    GBVAudioSession::Environment env;
    env.session = &audioSession;
    env.drivers = std::vector<AudioDriver>{AudioDriver::Null};
    env.userDefaults = &defaults;
    GBVAudioSession session(44100.0f, env);
    const std::string label = c.stored ? "stored value" : "absent";
    EXPECT_EQ(session.ioBufferSize(), c.used) << label;
    EXPECT_DOUBLE_EQ(audioSession.preferredIOBufferDuration(), c.used / 44100.0) << label;
    EXPECT_EQ(session.latencyNanosec(), expectedLatency(c.used)) << label;
    ASSERT_TRUE(defaults.objectForKey("audio_latency").has_value());
    EXPECT_EQ(*defaults.objectForKey("audio_latency"), c.storedAfter) << label;
    EXPECT_EQ(defaults.writes() - writesBefore, c.writes) << label;
    EXPECT_EQ(defaults.synchronizations(), c.writes) << label;
  }
}

TEST(AudioLatencyDefault, WrittenBackToThePlatformDefaults) {
  char tmpl[] = "/tmp/igb-defaults-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::filesystem::path file = std::filesystem::path(tmpl) / "UserDefaults.plist";
  {
    platform::UserDefaults stored(file);
    PlatformUserDefaultsAccess access(stored);
    platform::AudioSession audioSession;
    GBVAudioSession::Environment env;
    env.session = &audioSession;
    env.drivers = std::vector<AudioDriver>{AudioDriver::Null};
    env.userDefaults = &access;
    GBVAudioSession session(44100.0f, env);
    EXPECT_EQ(session.ioBufferSize(), 128u);
  }
  // A fresh read of the file finds the value written back.
  platform::UserDefaults reread(file);
  EXPECT_EQ(reread.integerForKey("audio_latency"), 128);
  reread.setInteger(512, "audio_latency");
  PlatformUserDefaultsAccess access(reread);
  platform::AudioSession audioSession;
  GBVAudioSession::Environment env;
  env.session = &audioSession;
  env.drivers = std::vector<AudioDriver>{AudioDriver::Null};
  env.userDefaults = &access;
  GBVAudioSession session(44100.0f, env);
  EXPECT_EQ(session.ioBufferSize(), 512u);
  std::error_code ec;
  std::filesystem::remove_all(tmpl, ec);
}

TEST(AudioLatencyDefault, ValidSizesAreTheThreeBufferSizes) {
  for (int64_t v : {-1, 0, 64, 127, 129, 255, 384, 511, 513, 1024}) EXPECT_EQ(GBVAudioSession::validateBufferSize(v), 128u) << v;
  for (int64_t v : {128, 256, 512}) EXPECT_EQ(GBVAudioSession::validateBufferSize(v), static_cast<uint32_t>(v));
  EXPECT_EQ(GBVAudioSession::defaultAudioBufferSizeByDevice(), 128u);
}

TEST_F(SessionTest, OpenOnTheNullDeviceAndTheLatencyFollowsTheBuffer) {
  defaults_.setObject(platform::Value(int64_t{256}), "audio_latency");
  auto session = make();
  auto listener = std::make_unique<audiotest::PatternListener>();
  session->setListener(listener.get());
  ASSERT_TRUE(session->open());
  EXPECT_TRUE(session->open()) << "already open";
  EXPECT_TRUE(session->isOpened());
  EXPECT_EQ(session->outputUnit().driver(), AudioDriver::Null);
  EXPECT_EQ(session->latencyNanosec(), expectedLatency(256));
  EXPECT_EQ(session->outputLatencyNanosec(), 0u);
  ASSERT_TRUE(session->start());
  EXPECT_TRUE(session->isRunning());
  ASSERT_TRUE(waitFor([&] { return listener->calls.load() > 5; }, 2s));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(listener->sizes[i], 256);

  // Running: the new size stops and restarts the output with it.
  session->setBufferSize(512);
  EXPECT_EQ(session->ioBufferSize(), 512u);
  EXPECT_TRUE(session->isRunning());
  EXPECT_TRUE(audioSession_.isActive());
  EXPECT_EQ(session->latencyNanosec(), expectedLatency(512));
  const int before = listener->calls.load();
  ASSERT_TRUE(waitFor([&] { return listener->calls.load() > before + 3; }, 2s));
  EXPECT_EQ(listener->sizes[before + 2], 512);

  // Stopped: only stored, for the next start.
  ASSERT_TRUE(session->stop());
  session->setBufferSize(128);
  EXPECT_FALSE(session->isRunning());
  EXPECT_EQ(session->latencyNanosec(), expectedLatency(128));
  EXPECT_TRUE(session->close());
  EXPECT_FALSE(session->isOpened());
}

TEST_F(SessionTest, LatencyIsRefreshedAboutOnceASecondOffTheRenderThread) {
  auto session = make();
  auto listener = std::make_unique<audiotest::PatternListener>();
  session->setListener(listener.get());
  std::vector<int16_t> buffer(1024 * 2);
  for (int i = 0; i < 43; ++i) session->Render(nullptr, 0, 1024, buffer.data());
  EXPECT_EQ(session->counterForUpdatingLatency(), 43u * 1024u) << "not yet above the rate";
  // Change what the session would report, then cross a second of frames.
  audioSession_.setPreferredIOBufferDuration(512.0 / 44100.0);
  session->Render(nullptr, 0, 1024, buffer.data());
  EXPECT_EQ(session->counterForUpdatingLatency(), 0u);
  EXPECT_TRUE(waitFor([&] { return session->latencyNanosec() == expectedLatency(512); }, 2s));
}

struct BackgroundCase {
  bool backgroundAudio;
  bool linkEnabled;
  bool playing;
  bool keepsRunning;
};

void PrintTo(const BackgroundCase& c, std::ostream* os) {
  *os << (c.backgroundAudio ? "background audio" : "no background audio") << (c.linkEnabled ? ", Link" : "")
      << (c.playing ? ", playing" : ", stopped");
}

class BackgroundTest : public SessionTest, public ::testing::WithParamInterface<BackgroundCase> {};

TEST_P(BackgroundTest, GoingToTheBackground) {
  const BackgroundCase c = GetParam();
  backgroundAudio_ = c.backgroundAudio;
  engine_.linkEnabled = c.linkEnabled;
  engine_.playing = c.playing;
  auto session = make();
  session->setEngine(&engine_);
  ASSERT_TRUE(session->open());
  ASSERT_TRUE(session->start());
  session->appHasGoneInBackground();
  EXPECT_TRUE(session->isInBackground());
  EXPECT_EQ(session->isRunning(), c.keepsRunning);
  EXPECT_EQ(audioSession_.isActive(), c.keepsRunning);
  const std::vector<std::string> expected =
      c.keepsRunning ? std::vector<std::string>{} : std::vector<std::string>{"suspendLink", "stopPlayback 0"};
  EXPECT_EQ(engine_.calls(), expected);

  // Back in the foreground the output runs again either way.
  engine_.clear();
  session->appHasGoneForeground();
  EXPECT_FALSE(session->isInBackground());
  EXPECT_TRUE(session->isRunning());
  EXPECT_TRUE(audioSession_.isActive());
  const std::vector<std::string> resumed =
      c.keepsRunning ? std::vector<std::string>{"resumeLink"}
                     : std::vector<std::string>{"resumeLink", "resetSound", "stopPlayback 0"};
  EXPECT_EQ(engine_.calls(), resumed);
}

INSTANTIATE_TEST_SUITE_P(Rules, BackgroundTest,
                         ::testing::Values(BackgroundCase{false, false, false, false},
                                           BackgroundCase{true, false, false, true},
                                           BackgroundCase{false, true, true, true},
                                           BackgroundCase{false, true, false, false},
                                           BackgroundCase{false, false, true, false},
                                           BackgroundCase{true, true, true, true}),
                         [](const ::testing::TestParamInfo<BackgroundCase>& info) {
                           const BackgroundCase& c = info.param;
                           return std::string(c.backgroundAudio ? "BackgroundAudio" : "NoBackgroundAudio") +
                                  (c.linkEnabled ? "_Link" : "_NoLink") + (c.playing ? "_Playing" : "_Stopped");
                         });

TEST_F(SessionTest, SuspendWhileStoppedOnlySuspendsLink) {
  auto session = make();
  session->setEngine(&engine_);
  ASSERT_TRUE(session->open());
  session->suspendAudioIO();
  EXPECT_EQ(engine_.calls(), (std::vector<std::string>{"suspendLink"}));
  EXPECT_TRUE(audioSession_.isActive());
}

TEST_F(SessionTest, ForegroundReloadsTheBufferSizeFromTheDefaults) {
  auto session = make();
  ASSERT_TRUE(session->open());
  ASSERT_TRUE(session->start());
  EXPECT_EQ(session->ioBufferSize(), 128u);
  session->appHasGoneInBackground();
  EXPECT_FALSE(session->isRunning());
  // Changed from outside the program meanwhile.
  defaults_.setObject(platform::Value(int64_t{256}), "audio_latency");
  session->appHasGoneForeground();
  EXPECT_EQ(session->ioBufferSize(), 256u);
  EXPECT_TRUE(session->isRunning());
  EXPECT_EQ(session->latencyNanosec(), expectedLatency(256));
}

TEST_F(SessionTest, InterruptionStopsAndItsEndStartsAgain) {
  auto session = make();
  ASSERT_TRUE(session->open());
  ASSERT_TRUE(session->start());
  audioSession_.postInterruption(platform::AudioSessionInterruptionType::Began);
  EXPECT_FALSE(session->isRunning());
  audioSession_.setActive(false);
  audioSession_.postInterruption(platform::AudioSessionInterruptionType::Ended);
  EXPECT_TRUE(session->isRunning());
  EXPECT_TRUE(audioSession_.isActive());
}

TEST_F(SessionTest, RouteChangeAsksForTheBufferAgain) {
  auto session = make();
  audioSession_.setPreferredIOBufferDuration(0.05);
  audioSession_.postRouteChange();
  EXPECT_DOUBLE_EQ(audioSession_.preferredIOBufferDuration(), 128.0 / 44100.0);
  EXPECT_EQ(session->latencyNanosec(), expectedLatency(128));
}

TEST_F(SessionTest, NoticesRunWhereTheQueueRunsThem) {
  auto session = make();
  ASSERT_TRUE(session->open());
  ASSERT_TRUE(session->start());
  std::vector<std::function<void()>> queued;
  session->setNoticeQueue([&](std::function<void()> f) { queued.push_back(std::move(f)); });
  audioSession_.postInterruption(platform::AudioSessionInterruptionType::Began);
  EXPECT_TRUE(session->isRunning()) << "not handled before the queue runs it";
  ASSERT_EQ(queued.size(), 1u);
  queued[0]();
  EXPECT_FALSE(session->isRunning());

  // A notice still queued when the session goes is dropped, not run.
  audioSession_.postInterruption(platform::AudioSessionInterruptionType::Ended);
  ASSERT_EQ(queued.size(), 2u);
  session.reset();
  queued[1]();
}

TEST_F(SessionTest, PlayStopTriggerTogglesTheSequencer) {
  auto session = make();
  ASSERT_TRUE(session->open());
  std::shared_ptr<platform::ABTrigger> trigger = session->playStopTrigger();
  ASSERT_NE(trigger, nullptr);
  EXPECT_EQ(trigger->systemType(), 2);

  trigger->press();  // no engine: nothing happens
  EXPECT_EQ(trigger->state(), platform::ABTrigger::ABTriggerStateNormal);

  session->setEngine(&engine_);
  struct Case {
    bool playing;
    bool link;
    const char* call;
    int state;
  };
  const Case cases[] = {
      {true, false, "stopSequencer", platform::ABTrigger::ABTriggerStateNormal},
      {false, false, "startSequencer", platform::ABTrigger::ABTriggerStateSelected},
      {true, true, "linkStop", platform::ABTrigger::ABTriggerStateNormal},
      {false, true, "linkStart", platform::ABTrigger::ABTriggerStateSelected},
  };
  for (const Case& c : cases) {
    engine_.clear();
    engine_.playing = c.playing;
    engine_.linkEnabled = c.link;
    trigger->setState(c.state == 0 ? 1 : 0);
    const uint64_t before = platform::hostTime();
    trigger->press();
    EXPECT_EQ(engine_.calls(), (std::vector<std::string>{c.call}));
    EXPECT_EQ(trigger->state(), c.state) << c.call;
    EXPECT_GE(engine_.lastTime(), before) << "stamped now";
    EXPECT_LE(engine_.lastTime(), platform::hostTime());
  }
}

TEST_F(SessionTest, SenderPortIsPublishedAtOpen) {
  auto session = make();
  EXPECT_EQ(session->audiobusController(), nullptr);
  ASSERT_TRUE(session->open());
  auto controller = session->audiobusController();
  auto port = session->auWrapper();
  ASSERT_NE(controller, nullptr);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(std::string(GBVAudioSession::kAudiobusApiKey).size(), 401u);
  EXPECT_EQ(controller->apiKey(), GBVAudioSession::kAudiobusApiKey);
  const std::string key = controller->apiKey();
  const size_t colon = key.find(':');
  ASSERT_NE(colon, std::string::npos);
  EXPECT_EQ(key.find(':', colon + 1), std::string::npos) << "one colon";
  for (size_t i = 0; i < key.size(); ++i) {
    if (i == colon) continue;
    const char ch = key[i];
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(ch)) || ch == '+' || ch == '/' || ch == '=') << i;
  }
  EXPECT_EQ(port->name(), "iGROOVEBIX for iPhone");
  EXPECT_EQ(port->title(), "iGROOVEBIX Output");
  EXPECT_EQ(port->audioComponentDescription().componentType, platform::fourCharCode("aurg"));
  EXPECT_EQ(port->audioComponentDescription().componentSubType, platform::fourCharCode("gbdi"));
  EXPECT_EQ(port->audioComponentDescription().componentManufacturer, platform::fourCharCode("tesk"));
  EXPECT_EQ(port->audioUnit(), &session->outputUnit());
}

// --- the adapter and the singleton ---

TEST(IPhoneAudioIO, SingletonForwardsToItsSession) {
  platform::AudioSession audioSession;
  MemoryUserDefaults defaults;
  GBVAudioSession::Environment env;
  env.session = &audioSession;
  env.drivers = std::vector<AudioDriver>{AudioDriver::Null};
  env.userDefaults = &defaults;
  ASSERT_EQ(audioIO(), nullptr);
  IPhoneAudioIO* io = createAudioIO(44100.0f, env);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(createAudioIO(22050.0f), io) << "made once";
  EXPECT_EQ(audioIO(), io);
  EXPECT_EQ(io->session().io(), io);
  EXPECT_FLOAT_EQ(io->session().sampleRate(), 44100.0f);

  auto listener = std::make_unique<audiotest::PatternListener>();
  io->setListener(listener.get());
  EXPECT_EQ(io->listener, listener.get());
  EXPECT_EQ(io->session().listener(), listener.get());
  EXPECT_EQ(io->cpuLoad(), 0.0f);
  ASSERT_TRUE(io->open());
  EXPECT_TRUE(io->isOpened());
  ASSERT_TRUE(io->start());
  EXPECT_TRUE(io->isRunning());
  ASSERT_TRUE(waitFor([&] { return listener->calls.load() > 3; }, 2s));
  EXPECT_EQ(listener->ios[0], io) << "the listener is called with the adapter";
  EXPECT_EQ(io->latencyNanosec(), io->session().latencyNanosec());
  EXPECT_EQ(io->outputLatencyNanosec(), io->session().outputLatencyNanosec());
  EXPECT_TRUE(io->stop());
  EXPECT_FALSE(io->isRunning());

  destroyAudioIO();
  EXPECT_EQ(audioIO(), nullptr);
  IPhoneAudioIO* again = createAudioIO(44100.0f, env);
  ASSERT_NE(again, nullptr);
  destroyAudioIO();
}

// With no audio server at all the program's output starts on the null
// device, says so once, and the engine is asked for frames at the
// real-time pace.
TEST(IPhoneAudioIO, NoServerAtAllPlaysToTheNullDeviceInRealTime) {
  audiotest::LogCapture log;
  platform::AudioSession audioSession;
  MemoryUserDefaults defaults;
  GBVAudioSession::Environment env;
  env.session = &audioSession;
  env.drivers = audiotest::driversWithNoServer();
  env.userDefaults = &defaults;
  IPhoneAudioIO* io = createAudioIO(44100.0f, env);
  auto listener = std::make_unique<audiotest::PatternListener>();
  io->setListener(listener.get());
  ASSERT_TRUE(io->open());
  ASSERT_TRUE(io->start());
  EXPECT_EQ(io->session().outputUnit().driver(), AudioDriver::Null);
  EXPECT_EQ(log.count("null device"), 1);
  std::this_thread::sleep_for(100ms);
  const auto t0 = std::chrono::steady_clock::now();
  const uint64_t f0 = listener->frames.load();
  std::this_thread::sleep_for(600ms);
  const uint64_t f1 = listener->frames.load();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double pace = static_cast<double>(f1 - f0) / seconds / 44100.0;
  EXPECT_GT(pace, 0.6);
  EXPECT_LT(pace, 1.4);
  const int calls = std::min(listener->calls.load(), audiotest::PatternListener::kMaxCalls);
  for (int i = 1; i < calls; ++i) {
    EXPECT_LE(listener->sizes[i], 1024);
    EXPECT_GT(listener->hostTimes[i], listener->hostTimes[i - 1]);
  }
  // Closed and opened again (a return from the background): still once.
  io->stop();
  io->close();
  ASSERT_TRUE(io->open());
  EXPECT_EQ(log.count("null device"), 1);
  destroyAudioIO();
}
