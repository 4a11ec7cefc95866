// The program's sound on a JACK server of the test's own (dummy driver): the
// headless panel's Play button starts the sequencer and the pattern is heard
// on the program's JACK ports; Stop brings silence back.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "app/headless_app.h"
#include "audio/iphone_audio_io.h"
#include "platform/audio/jack_test_support.h"

namespace {

struct Level {
  int peak = 0;
  double rms = 0.0;
};

Level levelOf(const std::vector<int16_t>& s) {
  Level l;
  double sum = 0.0;
  for (int16_t v : s) {
    l.peak = std::max(l.peak, std::abs(static_cast<int>(v)));
    sum += static_cast<double>(v) * v;
  }
  l.rms = s.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(s.size()));
  return l;
}

// Notes starting: 10 ms blocks whose level jumps to at least `floor` and
// to more than three times the block before.
int onsets(const std::vector<int16_t>& s, double floor) {
  constexpr size_t kBlock = 441;
  int n = 0;
  double previous = 0.0;
  for (size_t at = 0; at + kBlock <= s.size(); at += kBlock) {
    double sum = 0.0;
    for (size_t i = at; i < at + kBlock; ++i) sum += static_cast<double>(s[i]) * s[i];
    const double rms = std::sqrt(sum / kBlock);
    if (rms >= floor && rms > 3.0 * previous) ++n;
    previous = rms;
  }
  return n;
}

class SoundTest : public HeadlessAppTest {
 protected:
  void SetUp() override {
    HeadlessAppTest::SetUp();
    server = std::make_unique<jacktest::Server>(jacktest::uniqueServerName("app"));
    ASSERT_TRUE(server->start()) << "jackd with the dummy driver did not start";
    jacktest::useServer(server->name());
  }
  void TearDown() override {
    recorder.reset();
    HeadlessAppTest::TearDown();
    if (server) server->stop();
  }
  AppEnvironment environment() override {
    AppEnvironment env = HeadlessAppTest::environment();
    env.audioDrivers = std::vector<platform::AudioDriver>{platform::AudioDriver::Jack};
    return env;
  }

  // Records `seconds` of the program's output while the interface runs.
  std::vector<int16_t> capture(double seconds) {
    recorder->arm();
    const size_t frames = static_cast<size_t>(seconds * 44100);
    EXPECT_TRUE(pumpUntil([&] { return recorder->frames() >= frames; }, seconds + 5.0));
    return recorder->channel(0, frames);
  }

  std::unique_ptr<jacktest::Server> server;
  std::unique_ptr<jacktest::Recorder> recorder;
};

}  // namespace

TEST_F(SoundTest, PlayOnThePanelIsHeardOnTheOutputAndStopSilencesIt) {
  start();
  IPhoneAudioIO* io = audioIO();
  ASSERT_NE(io, nullptr);
  ASSERT_EQ(io->session().outputUnit().driver(), platform::AudioDriver::Jack);
  ASSERT_TRUE(io->isRunning());
  const std::vector<std::string> ports = io->session().outputUnit().jackPortNames();
  ASSERT_EQ(ports.size(), 2u);
  recorder = std::make_unique<jacktest::Recorder>("igbtest app capture", 44100 * 4);
  ASSERT_TRUE(recorder->ok());
  ASSERT_TRUE(recorder->connectFrom(ports[0], 0));
  ASSERT_TRUE(recorder->connectFrom(ports[1], 1));

  // Stopped: the output runs and carries silence.
  const Level idle = levelOf(capture(0.5));
  EXPECT_EQ(idle.peak, 0);

  // Play, from the panel.
  tap(centre(168, 212.5, 62.5, 48.5));
  ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }));
  const std::vector<int16_t> played = capture(2.0);
  const Level playing = levelOf(played);
  EXPECT_GT(playing.peak, 2000);
  EXPECT_GT(playing.rms, 200.0);
  // Two seconds of the pattern's steps: several separate notes, not a hum.
  EXPECT_GE(onsets(played, 500.0), 3);

  // Stop, from the panel; the tails die away.
  tap(centre(95.5, 212.5, 62.5, 48.5));
  ASSERT_TRUE(pumpUntil([&] { return !synth()->isPlaying(); }));
  pump(3.0);
  const Level after = levelOf(capture(0.5));
  EXPECT_LT(after.rms, playing.rms * 0.05);
  EXPECT_LT(after.peak, 100);
}
