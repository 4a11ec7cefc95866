// The output unit without any sound server: driver choice, the paced null
// device, buffer sizes, CPU load, and the session's figures and notices.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/audio/audio_output_unit.h"
#include "platform/audio/audio_session.h"
#include "platform/foundation/host_time.h"
#include "platform/audio/audio_test_support.h"
#include "platform/audio/render_probe.h"

using platform::AudioDriver;
using platform::AudioOutputUnit;
using platform::AudioSession;
using namespace std::chrono_literals;

namespace {

struct EnvGuard {
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v, had_ = true;
  }
  ~EnvGuard() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  const char* name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace

TEST(AudioDrivers, ConfiguredOrderComesFromTheEnvironment) {
  EnvGuard guard("IGROOVEBIX_AUDIO_DRIVERS");
  audiotest::LogCapture log;
  const std::vector<AudioDriver> standard{AudioDriver::Jack, AudioDriver::Pulse, AudioDriver::Alsa};
  struct Case {
    const char* value;  // nullptr: unset
    std::vector<AudioDriver> expected;
    bool complains;
  };
  const Case cases[] = {
      {nullptr, standard, false},
      {"", standard, false},
      {"pulse,alsa", {AudioDriver::Pulse, AudioDriver::Alsa}, false},
      {" alsa , jack ", {AudioDriver::Alsa, AudioDriver::Jack}, false},
      {"null", {AudioDriver::Null}, false},
      {"pulseaudio,pulse", {AudioDriver::Pulse}, false},
      {"jack,oss", standard, true},
  };
  for (const Case& c : cases) {
    if (c.value) {
      setenv("IGROOVEBIX_AUDIO_DRIVERS", c.value, 1);
    } else {
      unsetenv("IGROOVEBIX_AUDIO_DRIVERS");
    }
    const int before = log.count("IGROOVEBIX_AUDIO_DRIVERS");
    EXPECT_EQ(platform::configuredAudioDrivers(), c.expected) << (c.value ? c.value : "(unset)");
    EXPECT_EQ(log.count("IGROOVEBIX_AUDIO_DRIVERS") - before, c.complains ? 1 : 0) << (c.value ? c.value : "");
  }
}

TEST(AudioDrivers, NamesRoundTrip) {
  for (AudioDriver d : {AudioDriver::Jack, AudioDriver::Pulse, AudioDriver::Alsa, AudioDriver::Null}) {
    ASSERT_TRUE(platform::audioDriverFromName(platform::audioDriverName(d)).has_value());
    EXPECT_EQ(*platform::audioDriverFromName(platform::audioDriverName(d)), d);
  }
  EXPECT_FALSE(platform::audioDriverFromName("coreaudio").has_value());
}

// With no server at all the unit plays to the null device, says so once,
// and asks for buffers at the real-time pace with a host time for each.
TEST(NullDevice, StandsInWhenNoServerAnswersAndKeepsTheRealTimePace) {
  EnvGuard g1("JACK_DEFAULT_SERVER"), g2("JACK_NO_START_SERVER"), g3("PULSE_SERVER");
  audiotest::LogCapture log;
  AudioSession session;
  session.setPreferredIOBufferDuration(256.0 / 44100.0);
  AudioOutputUnit unit(session);
  unit.setDrivers(audiotest::driversWithNoServer());
  auto probe = std::make_unique<audiotest::RenderProbe>();
  unit.setRenderCallback(&audiotest::RenderProbe::render, probe.get());

  ASSERT_TRUE(unit.initialize());
  EXPECT_EQ(unit.driver(), AudioDriver::Null);
  EXPECT_EQ(log.count("null device"), 1);
  EXPECT_EQ(unit.bufferFrames(), 256u);
  EXPECT_DOUBLE_EQ(session.IOBufferDuration(), 256.0 / 44100.0);

  ASSERT_TRUE(unit.start());
  EXPECT_TRUE(unit.isRunning());
  const auto t0 = std::chrono::steady_clock::now();
  const uint64_t f0 = probe->frames.load();
  std::this_thread::sleep_for(600ms);
  const uint64_t f1 = probe->frames.load();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_TRUE(unit.stop());
  const double pace = static_cast<double>(f1 - f0) / seconds / 44100.0;
  EXPECT_GT(pace, 0.6) << "frames per second of wall time, as a share of 44,100";
  EXPECT_LT(pace, 1.4);

  const int calls = std::min(probe->calls.load(), audiotest::RenderProbe::kMaxRecords);
  ASSERT_GT(calls, 20);
  for (int i = 0; i < calls; ++i) {
    EXPECT_EQ(probe->size[i], 256u);
    EXPECT_TRUE(probe->valid[i]);
    EXPECT_TRUE(probe->zeroed[i]);
    EXPECT_LE(probe->stamp[i], probe->entered[i]);
    if (i > 0) {
      EXPECT_GT(probe->stamp[i], probe->stamp[i - 1]);
    }
  }

  // Taken again later (a return from the background): no second notice.
  ASSERT_TRUE(unit.uninitialize());
  ASSERT_TRUE(unit.initialize());
  EXPECT_EQ(unit.driver(), AudioDriver::Null);
  EXPECT_EQ(log.count("null device"), 1);
}

TEST(NullDevice, ConfiguredOnItsOwnSaysSo) {
  audiotest::LogCapture log;
  AudioSession session;
  AudioOutputUnit unit(session);
  unit.setDrivers({AudioDriver::Null});
  ASSERT_TRUE(unit.initialize());
  EXPECT_EQ(unit.driver(), AudioDriver::Null);
  EXPECT_EQ(log.count("no sound device configured"), 1);
}

TEST(NullDevice, NewPreferredBufferTakesEffectAtTheNextStart) {
  AudioSession session;
  session.setPreferredIOBufferDuration(128.0 / 44100.0);
  AudioOutputUnit unit(session);
  unit.setDrivers({AudioDriver::Null});
  auto probe = std::make_unique<audiotest::RenderProbe>();
  unit.setRenderCallback(&audiotest::RenderProbe::render, probe.get());
  ASSERT_TRUE(unit.initialize());
  ASSERT_TRUE(unit.start());
  while (probe->calls.load() < 3) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(unit.bufferFrames(), 128u);

  ASSERT_TRUE(unit.stop());
  session.setPreferredIOBufferDuration(512.0 / 44100.0);
  // Stopped: the figure is already what the next start will use.
  EXPECT_EQ(unit.bufferFrames(), 512u);
  EXPECT_DOUBLE_EQ(session.IOBufferDuration(), 512.0 / 44100.0);
  const int before = probe->calls.load();
  ASSERT_TRUE(unit.start());
  while (probe->calls.load() < before + 3) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(unit.stop());
  const int after = std::min(probe->calls.load(), audiotest::RenderProbe::kMaxRecords);
  for (int i = 0; i < before; ++i) EXPECT_EQ(probe->size[i], 128u);
  for (int i = before; i < after; ++i) EXPECT_EQ(probe->size[i], 512u);
}

TEST(NullDevice, CpuLoadIsTheShareOfTheBufferTheCallbackTakes) {
  AudioSession session;
  session.setPreferredIOBufferDuration(256.0 / 44100.0);
  AudioOutputUnit unit(session);
  unit.setDrivers({AudioDriver::Null});
  auto probe = std::make_unique<audiotest::RenderProbe>();
  probe->busyFraction = 0.4;
  unit.setRenderCallback(&audiotest::RenderProbe::render, probe.get());
  EXPECT_EQ(unit.cpuLoad(), 0.0f);
  ASSERT_TRUE(unit.initialize());
  ASSERT_TRUE(unit.start());
  while (probe->calls.load() < 80) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(unit.stop());
  // Each buffer took at least 40 % of its duration, so neither figure can
  // be lower; the smoothed one has had 80 buffers to get there.
  EXPECT_GE(unit.cpuLoad(), 0.38f);
  EXPECT_GE(unit.maxCpuLoad(), 0.4f);
  // The highest figure starts again after it was read.
  EXPECT_EQ(unit.maxCpuLoad(), 0.0f);
}

TEST(OutputUnit, LifecycleAnswers) {
  AudioSession session;
  AudioOutputUnit unit(session);
  unit.setDrivers({AudioDriver::Null});
  EXPECT_FALSE(unit.isInitialized());
  EXPECT_FALSE(unit.start());
  EXPECT_FALSE(unit.stop());
  EXPECT_FALSE(unit.uninitialize());
  ASSERT_TRUE(unit.initialize());
  EXPECT_TRUE(unit.initialize()) << "already initialised";
  EXPECT_TRUE(unit.isInitialized());
  EXPECT_FALSE(unit.isRunning());
  EXPECT_TRUE(unit.stop()) << "stopping a stopped unit succeeds";
  EXPECT_TRUE(unit.start());
  EXPECT_TRUE(unit.start()) << "already running";
  EXPECT_TRUE(unit.uninitialize());
  EXPECT_FALSE(unit.isRunning());
  EXPECT_FALSE(unit.isInitialized());
  // No JACK here: the JACK questions have empty answers.
  EXPECT_TRUE(unit.jackPortNames().empty());
  EXPECT_TRUE(unit.jackConnections().empty());
  EXPECT_FALSE(unit.jackTransportRolling().has_value());
}

// --- the session ---

namespace {

struct NoticeLog : platform::AudioSessionObserver {
  std::vector<int> interruptions;
  int routeChanges = 0;
  std::function<void()> onNotice;
  void sessionInterruption(platform::AudioSessionInterruptionType type) override {
    interruptions.push_back(static_cast<int>(type));
    if (onNotice) onNotice();
  }
  void sessionRouteChange() override {
    ++routeChanges;
    if (onNotice) onNotice();
  }
};

}  // namespace

TEST(AudioSession, FiguresComeFromTheUnitWhileOneIsAttached) {
  AudioSession session;
  EXPECT_DOUBLE_EQ(session.IOBufferDuration(), AudioSession::kDefaultIOBufferDuration);
  EXPECT_FALSE(session.setPreferredIOBufferDuration(0.0));
  EXPECT_FALSE(session.setPreferredIOBufferDuration(-1.0));
  ASSERT_TRUE(session.setPreferredIOBufferDuration(512.0 / 44100.0));
  EXPECT_DOUBLE_EQ(session.IOBufferDuration(), 512.0 / 44100.0);
  EXPECT_DOUBLE_EQ(session.sampleRate(), 44100.0);
  EXPECT_DOUBLE_EQ(session.outputLatency(), 0.0);
  {
    AudioOutputUnit unit(session);
    unit.setDrivers({AudioDriver::Null});
    unit.setStreamFormat(22050.0, 2);
    ASSERT_TRUE(unit.initialize());
    EXPECT_DOUBLE_EQ(session.sampleRate(), 22050.0);
    EXPECT_EQ(unit.bufferFrames(), 256u) << "512 / 44100 s at 22,050 Hz";
    EXPECT_DOUBLE_EQ(session.IOBufferDuration(), 256.0 / 22050.0);
  }
  // The unit let go of the session when it went.
  EXPECT_DOUBLE_EQ(session.sampleRate(), 44100.0);
}

TEST(AudioSession, SettingsAreKept) {
  AudioSession session;
  EXPECT_FALSE(session.isActive());
  session.setActive(true);
  EXPECT_TRUE(session.isActive());
  session.setCategory(platform::AudioSessionCategory::PlayAndRecord, platform::kAudioSessionCategoryOptionMixWithOthers);
  EXPECT_EQ(session.category(), platform::AudioSessionCategory::PlayAndRecord);
  EXPECT_EQ(session.categoryOptions(), 1u);
}

TEST(AudioSession, NoticesReachObserversUntilRemoved) {
  AudioSession session;
  NoticeLog a, b;
  session.addObserver(&a);
  session.addObserver(&b);
  session.addObserver(&a);  // once only
  session.postInterruption(platform::AudioSessionInterruptionType::Began);
  session.postRouteChange();
  EXPECT_EQ(a.interruptions, (std::vector<int>{1}));
  EXPECT_EQ(b.interruptions, (std::vector<int>{1}));
  EXPECT_EQ(a.routeChanges, 1);

  // An observer may remove another (and itself) from inside a notice.
  a.onNotice = [&] {
    session.removeObserver(&b);
    session.removeObserver(&a);
  };
  session.postInterruption(platform::AudioSessionInterruptionType::Ended);
  EXPECT_EQ(a.interruptions, (std::vector<int>{1, 0}));
  EXPECT_EQ(b.interruptions, (std::vector<int>{1})) << "removed before its turn";
  session.postRouteChange();
  EXPECT_EQ(a.routeChanges, 1);
  EXPECT_EQ(b.routeChanges, 1);
}
