// The export screen's bounce in the whole program (menu bar, export screen,
// exporter, recorder, file): the saved file sounds exactly as the off-line
// renderer's bounce of the same factory pattern, sample for sample, whether
// the pattern was stopped or playing, when a stop or a pattern change was
// asked for just before the bounce, and while MIDI notes arrive during it.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "controls/ti_button.h"
#include "engine/synth/engine_event_queue.h"
#include "platform/foundation/host_time.h"
#include "main_screen_menu_fixture.h"
#include "screens/export_wav_screen_controller.h"

namespace fs = std::filesystem;

namespace {

struct Wav {
  bool ok = false;
  SF_INFO info{};
  std::vector<int16_t> samples;  // interleaved stereo
};

Wav readWav(const fs::path& file) {
  Wav w;
  SNDFILE* f = sf_open(file.c_str(), SFM_READ, &w.info);
  if (!f) return w;
  w.samples.resize(static_cast<size_t>(w.info.frames) * static_cast<size_t>(w.info.channels));
  w.ok = sf_readf_short(f, w.samples.data(), w.info.frames) == w.info.frames;
  sf_close(f);
  return w;
}

double peakOf(const Wav& w) {
  int peak = 0;
  for (int16_t s : w.samples) peak = std::max(peak, std::abs(int{s}));
  return peak / 32768.0;
}

// What happens on the panel just before "Bounce Pattern" is tapped.
enum class Before {
  Stopped,                   // nothing: the first pattern at rest
  Playing,                   // the pattern plays
  StopAskedFor,              // playing, and Stop pressed just before
  PatternChangeWhileStopped, // Program + pressed just before, at rest
  PatternChangeWhilePlaying, // Program + pressed just before, while playing
  NotesDuringTheBounce,      // a MIDI keyboard plays all through the bounce
};

struct BounceCase {
  const char* name;
  Before before;
  int pattern;  // the factory pattern the file must sound like
};

class MainScreenBounceTest : public screentest::MainScreenMenuTest,
                             public ::testing::WithParamInterface<BounceCase> {
 protected:
  // The off-line renderer's bounce of factory pattern `number` at the
  // engine's defaults, read back.
  Wav reference(int number) {
    const fs::path out = root / ("reference-" + std::to_string(number) + ".wav");
    const std::string command = std::string(IGB_RENDER_TOOL) + " --bundle " + IGB_BUNDLE_DIR + " --number " +
                                std::to_string(number) + " " + out.string() + " > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readWav(out);
  }

  void play() {
    tapView(*ctl()->playButton());
    ASSERT_TRUE(pumpUntil([&] { return synth()->isPlaying(); }));
    // Into the pattern, so the bounce starts from anywhere but its top.
    ASSERT_TRUE(pumpUntil([&] { return ctl()->currentStepTwice() >= 6; }));
  }
};

TEST_P(MainScreenBounceTest, TheFileSoundsAsTheRendererBouncesThePattern) {
  const BounceCase& c = GetParam();
  const bool playing = c.before != Before::Stopped && c.before != Before::PatternChangeWhileStopped;
  if (playing) {
    ASSERT_NO_FATAL_FAILURE(play());
  }

  tapView(*bar().exportButton());
  ExportWavScreenController* screen = presented<ExportWavScreenController>();
  ASSERT_NE(screen, nullptr);
  // Asked for through the buttons' own actions (a touch beside the open
  // popover would only close it), with no pump after it: the live output
  // has had at most a buffer or two to take it before the bounce does.
  if (c.before == Before::StopAskedFor) {
    ctl()->stopButtonDown(ctl()->stopButton());
    ctl()->stopButtonUp(ctl()->stopButton());
  }
  if (c.before == Before::PatternChangeWhileStopped || c.before == Before::PatternChangeWhilePlaying) {
    ctl()->programButtonPushed(ctl()->programIncButton());
  }
  // Another thread plays notes on every part, as the MIDI input does,
  // before, during and after the bounce.
  std::atomic<bool> keysDown{c.before == Before::NotesDuringTheBounce};
  std::thread keyboard([&] {
    for (uint32_t n = 0; keysDown.load(); ++n) {
      synth()->pushMidiEvent(platform::hostTime(), EngineEventQueueEntry::kMidiNote, n % 8, 127);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  tapView(*screen->bounceButton());
  keysDown.store(false);
  keyboard.join();

  ASSERT_TRUE(pumpUntil([&] { return wavs(docs).size() == 1; }));
  const fs::path file = wavs(docs)[0];
  EXPECT_FALSE(synth()->isPlaying());
  const Wav got = readWav(file);
  const Wav want = reference(c.pattern);
  ASSERT_TRUE(got.ok);
  ASSERT_TRUE(want.ok);
  EXPECT_EQ(got.info.channels, 2);
  EXPECT_EQ(got.info.samplerate, 44100);
  ASSERT_EQ(got.info.frames, want.info.frames);
  // Not silence, and not just any sound: the renderer's, sample for sample.
  EXPECT_GT(peakOf(got), 0.05);
  size_t differing = 0;
  size_t first = got.samples.size();
  for (size_t i = 0; i < got.samples.size(); ++i) {
    if (got.samples[i] != want.samples[i]) {
      if (differing++ == 0) first = i;
    }
  }
  EXPECT_EQ(differing, 0u) << "first differing sample " << first / 2 << " (channel " << first % 2 << ")";
  // The file is named after the pattern that was bounced.
  const PatternRecord* record = synth()->currentPattern();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(file.filename().string().rfind(AudioFileRecorder::baseName(*record), 0), 0u) << file.filename();
  EXPECT_EQ(synth()->currentPatternIndex(), c.pattern);
}

INSTANTIATE_TEST_SUITE_P(Panel, MainScreenBounceTest,
                         ::testing::Values(BounceCase{"stopped", Before::Stopped, 0},
                                           BounceCase{"playing", Before::Playing, 0},
                                           BounceCase{"stop_just_before", Before::StopAskedFor, 0},
                                           BounceCase{"pattern_change_stopped", Before::PatternChangeWhileStopped, 1},
                                           BounceCase{"pattern_change_playing", Before::PatternChangeWhilePlaying, 1},
                                           BounceCase{"notes_during_the_bounce", Before::NotesDuringTheBounce, 0}),
                         [](const ::testing::TestParamInfo<BounceCase>& i) { return std::string(i.param.name); });

}  // namespace
