// The audio output end to end on a JACK server of the test's own (the dummy
// driver): a pattern played live and recorded by another JACK client
// matches the off-line bounce of the same pattern; the server going away
// and coming back; the inter-app connection keeping the output alive in the
// background.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "audio/audio_file_recorder.h"
#include "audio/bounce.h"
#include "audio/fakes.h"
#include "audio/gbv_audio_session.h"
#include "audio/iphone_audio_io.h"
#include "platform/audio/jack_test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using audiotest::TestPattern;

namespace {

template <typename F>
bool waitFor(F condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

struct Onset {
  size_t frame;
  int peak;
};

// A burst starts at a sounding frame after at least 1,000 silent ones; its
// level is its highest absolute sample. A burst already under way when the
// recording starts, and one cut by its end, are left out.
std::vector<Onset> onsets(const std::vector<int16_t>& s) {
  std::vector<Onset> out;
  size_t zeros = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == 0) {
      ++zeros;
      continue;
    }
    if (zeros >= 1000) out.push_back({i, 0});
    zeros = 0;
    if (!out.empty()) out.back().peak = std::max(out.back().peak, std::abs(static_cast<int>(s[i])));
  }
  if (!out.empty() && s.size() - out.back().frame < TestPattern::kBurst) out.pop_back();
  return out;
}

class AudioJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<jacktest::Server>(jacktest::uniqueServerName("audio"));
    ASSERT_TRUE(server_->start()) << "jackd with the dummy driver did not start";
    jacktest::useServer(server_->name());
    GBVAudioSession::Environment env;
    env.session = &audioSession_;
    env.drivers = std::vector<platform::AudioDriver>{platform::AudioDriver::Jack};
    env.userDefaults = &defaults_;
    env.backgroundAudioEnabled = [] { return false; };
    session_ = std::make_shared<GBVAudioSession>(44100.0f, env);
    io_ = std::make_unique<IPhoneAudioIO>(session_);
    session_->setIo(io_.get());
    listener_ = std::make_unique<audiotest::PatternListener>();
    io_->setListener(listener_.get());
    session_->setEngine(&engine_);
  }
  void TearDown() override {
    io_.reset();
    session_.reset();
    if (server_) server_->stop();
  }

  std::unique_ptr<jacktest::Server> server_;
  platform::AudioSession audioSession_;
  MemoryUserDefaults defaults_;
  audiotest::FakeOutputEngine engine_;
  std::shared_ptr<GBVAudioSession> session_;
  std::unique_ptr<IPhoneAudioIO> io_;
  std::unique_ptr<audiotest::PatternListener> listener_;
};

}  // namespace

TEST_F(AudioJackTest, LivePatternMatchesTheOfflineBounce) {
  // The off-line render of the pattern, bounced to a WAV file.
  char tmpl[] = "/tmp/igb-audiojack-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  struct Cleanup {
    fs::path p;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(p, ec);
    }
  } cleanup{dir};
  audiotest::FakeRecordingSource source;
  AudioFileRecorder::Environment renv;
  renv.documentsDirectory = dir;
  AudioFileRecorder recorder(&source, 0, renv);
  recorder.setBounceMode(true);
  ASSERT_EQ(bounceCurrentPattern(source, recorder), BounceResult::Rendered);
  ASSERT_EQ(recorder.lastOutcome(), AudioFileRecorder::Outcome::Saved);
  SF_INFO info{};
  SNDFILE* f = sf_open(recorder.lastSavedPath().c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  const size_t period = TestPattern::kStep * TestPattern::kSteps;
  ASSERT_EQ(static_cast<size_t>(info.frames), period);
  std::vector<int16_t> interleaved(period * 2);
  ASSERT_EQ(sf_readf_short(f, interleaved.data(), info.frames), info.frames);
  sf_close(f);
  std::vector<int16_t> refLeft(period), refRight(period);
  for (size_t i = 0; i < period; ++i) {
    refLeft[i] = interleaved[i * 2];
    refRight[i] = interleaved[i * 2 + 1];
  }
  const std::vector<Onset> refOnsets = onsets(refLeft);
  ASSERT_EQ(refOnsets.size(), TestPattern::kSteps - 1) << "the first step starts the file, not after silence";

  // The same pattern played live through JACK and recorded by another client.
  ASSERT_TRUE(io_->open());
  ASSERT_EQ(session_->outputUnit().driver(), platform::AudioDriver::Jack);
  EXPECT_EQ(session_->latencyNanosec(), 2 * static_cast<uint64_t>(128.0 / 44100.0 * 1e9));
  ASSERT_TRUE(io_->start());
  const std::vector<std::string> ports = session_->outputUnit().jackPortNames();
  ASSERT_EQ(ports.size(), 2u);
  jacktest::Recorder capture("igbtest capture", 44100 * 3 / 2);
  ASSERT_TRUE(capture.ok());
  ASSERT_TRUE(capture.connectFrom(ports[0], 0));
  ASSERT_TRUE(capture.connectFrom(ports[1], 1));

  // Compares one capture with the bounce; empty when they agree.
  auto compare = [&](const std::vector<int16_t>& left, const std::vector<int16_t>& right) -> std::string {
    const std::vector<Onset> live = onsets(left);
    if (live.size() < 10) return "only " + std::to_string(live.size()) + " bursts in 1.5 s";
    // Align the start: the first live burst's level names its step.
    size_t step = TestPattern::kSteps;
    for (size_t s = 0; s < TestPattern::kSteps; ++s) {
      int peak = 0;
      for (size_t i = 0; i < TestPattern::kBurst; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(refLeft[s * TestPattern::kStep + 1 + i])));
      }
      if (peak == live[0].peak) step = s;
    }
    if (step == TestPattern::kSteps) return "the first live level " + std::to_string(live[0].peak) + " is no step's";
    // Same onsets and levels, burst after burst, around the loop.
    for (size_t n = 0; n < live.size(); ++n) {
      const size_t refFrame = ((step + n) % TestPattern::kSteps) * TestPattern::kStep + 1;
      if (live[n].frame != live[0].frame + n * TestPattern::kStep) {
        return "burst " + std::to_string(n) + " starts at " + std::to_string(live[n].frame);
      }
      int refPeak = 0;
      for (size_t i = 0; i < TestPattern::kBurst; ++i) {
        refPeak = std::max(refPeak, std::abs(static_cast<int>(refLeft[refFrame + i])));
      }
      if (live[n].peak != refPeak) {
        return "burst " + std::to_string(n) + " peaks at " + std::to_string(live[n].peak) + ", not " +
               std::to_string(refPeak);
      }
    }
    // And frame for frame: the path through JACK loses nothing.
    const size_t refStart = step * TestPattern::kStep + 1;
    size_t mismatches = 0;
    for (size_t i = live[0].frame; i < left.size(); ++i) {
      const size_t k = (refStart + (i - live[0].frame)) % period;
      mismatches += left[i] != refLeft[k] || right[i] != refRight[k];
    }
    return mismatches ? std::to_string(mismatches) + " frames differ" : "";
  };

  // A capture spoilt by an xrun (a busy machine) is taken again; a clean
  // one must match.
  std::string verdict = "no capture";
  for (int attempt = 0; attempt < 6; ++attempt) {
    capture.arm();
    ASSERT_TRUE(capture.waitForFrames(44100 * 3 / 2, 10s));
    const size_t n = capture.frames();
    verdict = compare(capture.channel(0, n), capture.channel(1, n));
    if (verdict.empty()) break;
    ASSERT_GT(capture.xruns(), 0) << "a clean capture differs from the bounce: " << verdict;
  }
  EXPECT_EQ(verdict, "") << "every capture had an xrun";
  // The engine was asked in chunks no larger than its buses.
  const int calls = std::min(listener_->calls.load(), audiotest::PatternListener::kMaxCalls);
  for (int i = 0; i < calls; ++i) ASSERT_LE(listener_->sizes[i], 1024);
}

TEST_F(AudioJackTest, ServerGoneIsAnInterruptionAndItsReturnResumes) {
  ASSERT_TRUE(io_->open());
  ASSERT_TRUE(io_->start());
  ASSERT_TRUE(waitFor([&] { return listener_->calls.load() > 10; }, 3s));
  server_->killHard();
  ASSERT_TRUE(waitFor([&] { return !io_->isRunning(); }, 5s)) << "the output still claims to run";
  EXPECT_TRUE(io_->isOpened());
  ASSERT_TRUE(server_->start());
  ASSERT_TRUE(waitFor([&] { return io_->isRunning(); }, 8s)) << "the output did not resume";
  const int before = listener_->calls.load();
  ASSERT_TRUE(waitFor([&] { return listener_->calls.load() > before + 20; }, 3s)) << "no sound after the resume";
  EXPECT_TRUE(audioSession_.isActive());
  // The ports came back with the sender port's names.
  EXPECT_EQ(session_->outputUnit().jackPortNames(),
            (std::vector<std::string>{"iGROOVEBIX for iPhone:iGROOVEBIX Output L",
                                      "iGROOVEBIX for iPhone:iGROOVEBIX Output R"}));
}

// Another program reading the output keeps it running in the background;
// when it lets go, the output is suspended, and a new reader resumes it.
TEST_F(AudioJackTest, InterAppConnectionDecidesTheBackground) {
  ASSERT_TRUE(io_->open());
  ASSERT_TRUE(io_->start());
  const std::vector<std::string> ports = session_->outputUnit().jackPortNames();
  ASSERT_EQ(ports.size(), 2u);
  auto controller = session_->audiobusController();
  ASSERT_NE(controller, nullptr);
  EXPECT_FALSE(controller->connected()) << "the sound card alone is no connection";

  // The session hears of connections through the controller's notices, which
  // come from JACK's thread a little after connected() turns true; observers
  // are told in the order they registered, so once this one has been told,
  // the session has been too, and a late notice cannot land after the move
  // to the background.
  std::atomic<int> notices{0};
  const int token = controller->addConnectionsChangedObserver([&] { notices.fetch_add(1); });

  jacktest::Recorder reader("igbtest reader", 16);
  ASSERT_TRUE(reader.ok());
  ASSERT_TRUE(reader.connectFrom(ports[0], 0));
  ASSERT_TRUE(waitFor([&] { return controller->connected() && notices.load() > 0; }, 3s));
  controller->removeConnectionsChangedObserver(token);
  session_->appHasGoneInBackground();
  EXPECT_TRUE(io_->isRunning()) << "kept for the reader";
  EXPECT_TRUE(engine_.calls().empty());

  ASSERT_TRUE(reader.disconnectFrom(ports[0], 0));
  ASSERT_TRUE(waitFor([&] { return !io_->isRunning(); }, 3s)) << "not suspended when the reader left";
  EXPECT_EQ(engine_.calls(), (std::vector<std::string>{"suspendLink", "stopPlayback 0"}));
  EXPECT_FALSE(audioSession_.isActive());

  engine_.clear();
  ASSERT_TRUE(reader.connectFrom(ports[1], 1));
  ASSERT_TRUE(waitFor([&] { return io_->isRunning(); }, 3s)) << "not resumed for the new reader";
  EXPECT_EQ(engine_.calls(), (std::vector<std::string>{"resumeLink", "resetSound", "stopPlayback 0"}));

  // In the foreground connections decide nothing.
  session_->appHasGoneForeground();
  ASSERT_TRUE(reader.disconnectFrom(ports[1], 1));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(io_->isRunning());
}
