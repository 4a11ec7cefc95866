#include "soundcloud/screens/audio_file_player.h"

#include <chrono>
#include <thread>

#include "tests/soundcloud/screens/players_test_support.h"

using namespace tssc;
using igbtest::PlayerTest;

namespace {

std::unique_ptr<AudioFilePlayer> nullPlayer(const std::shared_ptr<igbtest::RecordingPlayerDelegate>& d) {
  auto p = std::make_unique<AudioFilePlayer>(std::make_shared<ListBrowserTrack>(),
                                             std::vector<platform::AudioDriver>{platform::AudioDriver::Null});
  p->setDelegate(d);
  return p;
}

// Renders `frames` through the player's render work, from a zeroed block.
std::vector<int16_t> renderBlock(AudioFilePlayer& p, uint32_t frames) {
  std::vector<int16_t> out(frames * 2, 0);
  p.audioProcess(0, frames, out.data());
  return out;
}

// Decoding runs on its own thread: renders by hand wait for the decoded
// frames they read.
void waitForDecoded(AudioFilePlayer& p, size_t frames) {
  ASSERT_TRUE(igbtest::pumpMainLoopUntil(
      [&] { return p.bufferedFrames() >= std::min(frames, p.fileFrames() - p.readFrame()); }, 5.0));
}

// The gain after `frames` frames of smoothing from `g` towards `t`.
int32_t smoothed(int32_t g, int32_t t, int frames) {
  for (int i = 0; i < frames; ++i) g = (t * 984 + g * 31783) >> 15;
  return g;
}

}  // namespace

TEST_F(PlayerTest, FilePlayerDescribesVolumeAndControlCodes) {
  auto p = nullPlayer(delegate);
  EXPECT_EQ(p->parameterDescription(0), (ListBrowserPlayerParameterDescription{0, 127, 100}));
  EXPECT_FALSE(p->parameterDescription(1).has_value());
  EXPECT_EQ(p->parameter(0), 100);
  EXPECT_EQ(p->parameter(3), 0);
  for (int32_t code : {1000, 1001, 1002}) EXPECT_TRUE(p->canControl(code));
  for (int32_t code : {999, 1003, 0}) EXPECT_FALSE(p->canControl(code));
  EXPECT_EQ(p->driver(), platform::AudioDriver::Null);
}

TEST_F(PlayerTest, VolumeGivesTheSquaredTargetGain) {
  auto p = nullPlayer(delegate);
  struct { int32_t volume, gain, kept; } cases[] = {{100, 20312, 100}, {127, 32762, 127}, {0, 0, 0},
                                                   {64, 8320, 64}, {500, 32762, 127}, {-5, 0, 0}};
  for (auto c : cases) {
    p->setParameter(0, c.volume);
    EXPECT_EQ(p->targetGain(), c.gain) << c.volume;
    EXPECT_EQ(p->parameter(0), c.kept) << c.volume;
  }
  p->setParameter(1, 30);  // only the volume exists
  EXPECT_EQ(p->parameter(0), 0);
}

TEST_F(PlayerTest, ANewPlayerFadesInFromSilenceAndSettlesJustBelowItsTarget) {
  auto p = nullPlayer(delegate);
  ASSERT_TRUE(p->attach(igbtest::writeRampWav(folder.path() / "long.wav", 30000)));
  EXPECT_EQ(p->currentGain(), 0);
  waitForDecoded(*p, 30000);
  auto out = renderBlock(*p, 100);
  EXPECT_EQ(out[0], 0);  // the first frame is still at gain 0
  EXPECT_EQ(p->currentGain(), 19319);
  EXPECT_EQ(out[2 * 99], static_cast<int16_t>((smoothed(0, 20312, 99) * (1000 + 99)) >> 15));
  renderBlock(*p, 20000);
  EXPECT_EQ(p->currentGain(), 20259);
  p->setParameter(0, 127);
  renderBlock(*p, 5000);
  EXPECT_EQ(p->currentGain(), 32696);
}

TEST_F(PlayerTest, AShortFileWritesOnlyItsFramesAndThenStopsOnTheMainThreadOnce) {
  auto p = nullPlayer(delegate);
  ASSERT_TRUE(p->attach(igbtest::writeRampWav(folder.path() / "ten.wav", 10)));
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"accepted"}));
  waitForDecoded(*p, 10);
  p->setParameter(0, 127);
  delegate->told.clear();
  // Rendered by hand while stopped: only this call renders.
  std::vector<int16_t> out(512 * 2, 0);
  p->audioProcess(0, 512, out.data());
  EXPECT_EQ(p->framesPlayed(), 10u);
  EXPECT_EQ(p->readFrame(), 10u);
  EXPECT_NE(out[2 * 9], 0);
  for (size_t i = 20; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
  // Nothing acts on the end while stopped; once playing, the main thread
  // stops at the end, which the device reaches at once.
  EXPECT_TRUE(delegate->told.empty());
  p->play();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !p->isPlaying(); }, 5.0));
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"start", "stop"}));
  EXPECT_EQ(p->framesPlayed(), 10u);
  EXPECT_EQ(p->readFrame(), 0u);
  EXPECT_EQ(p->position(), 0u);
}

TEST_F(PlayerTest, PlaysExactlyTheFilesFramesThroughTheNullDevice) {
  auto p = nullPlayer(delegate);
  ASSERT_TRUE(p->attach(igbtest::writeRampWav(folder.path() / "tenth.wav", 4410)));
  EXPECT_EQ(p->totalLength(), 100u);
  p->play();
  EXPECT_TRUE(p->unitRunning());
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !p->isPlaying(); }, 5.0));
  EXPECT_EQ(p->framesPlayed(), 4410u);
  EXPECT_FALSE(p->unitRunning());
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"accepted", "start", "stop"}));
  // Stopped at the end: play starts again from the beginning.
  p->play();
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return !p->isPlaying(); }, 5.0));
  EXPECT_EQ(p->framesPlayed(), 8820u);
}

TEST_F(PlayerTest, PauseKeepsThePositionStopRewindsAndSeekMovesIt) {
  auto p = nullPlayer(delegate);
  ASSERT_TRUE(p->attach(igbtest::writeRampWav(folder.path() / "second.wav", 44100)));
  EXPECT_EQ(p->totalLength(), 1000u);
  p->seekTo(0.5f, false);
  EXPECT_EQ(p->readFrame(), 22050u);
  EXPECT_EQ(p->position(), 500u);
  EXPECT_FALSE(p->isPlaying());
  waitForDecoded(*p, 4);
  auto out = renderBlock(*p, 4);
  EXPECT_EQ(p->readFrame(), 22054u);
  p->seekTo(2.0f, false);  // held to the end
  EXPECT_EQ(p->readFrame(), 44100u);
  p->seekTo(0.25f, true);
  EXPECT_TRUE(p->isPlaying());
  // The device plays on from the seek.
  ASSERT_TRUE(igbtest::pumpMainLoopUntil([&] { return p->readFrame() > 11025u + 512u; }, 5.0));
  p->pause();
  const size_t paused = p->readFrame();
  EXPECT_GT(paused, 11025u);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(p->readFrame(), paused);
  p->play();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  p->stop();
  EXPECT_EQ(p->readFrame(), 0u);
  EXPECT_EQ(delegate->told, (std::vector<std::string>{"accepted", "start", "pause", "start", "stop"}));
  p->stop();  // only while playing
  p->pause();
  EXPECT_EQ(delegate->count("stop"), 1u);
}

TEST_F(PlayerTest, AFileThatCannotBeReadLeavesThePlayerWithoutOne) {
  auto p = nullPlayer(delegate);
  igbtest::writeBytes(folder.path() / "text.wav", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_FALSE(p->attach(folder.path() / "text.wav"));
  EXPECT_FALSE(p->attach(folder.path() / "missing.wav"));
  EXPECT_FALSE(p->hasFile());
  p->play();
  EXPECT_FALSE(p->isPlaying());
  EXPECT_TRUE(delegate->told.empty());
  auto out = renderBlock(*p, 64);  // silence, nothing read
  for (int16_t s : out) ASSERT_EQ(s, 0);
}
