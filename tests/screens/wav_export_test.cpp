#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_file_recorder.h"
#include "platform/ui/alert_view.h"
#include "screen_test_support.h"
#include "screens/export_wav_screen_controller.h"
#include "screens/wav_exporter.h"

namespace fs = std::filesystem;

namespace {

using platform::Rect;

class RecordingParent : public ExportWavScreenParent {
 public:
  void bounceCurrentPattern() override { ++bounces; }
  int bounces = 0;
};

// What the main screen does around a bounce, as calls in order; the
// Open-In menu hangs from a button of the window.
class FakeHost : public WavExporterHost {
 public:
  void disposeAllPopover(bool) override { calls.push_back("dispose"); }
  void prepareToBounce() override { calls.push_back("prepare"); }
  void bounceDidFinish() override { calls.push_back("finish"); }
  void sendNotificationMessage(const std::string& text, uint64_t time) override {
    banners.push_back(text);
    bannerTime = time;
  }
  platform::View* openInMenuAnchor() override { return anchor; }
  std::vector<std::string> calls;
  std::vector<std::string> banners;
  uint64_t bannerTime = 0;
  platform::View* anchor = nullptr;
};

// An engine that renders nothing, for the edges the real one never reaches.
class FakeEngine : public RecordingSource {
 public:
  float sampleRate() const override { return 44100.0f; }
  PatternRecord* currentPattern() override { return &record; }
  bool beginBounce() override {
    calls.push_back("begin");
    return beginWorks;
  }
  void endBounce() override { calls.push_back("end"); }
  uint32_t bounceLength() override { return length; }
  void startForBounce(uint64_t) override { calls.push_back("start"); }
  void stopPlayback(uint64_t) override { calls.push_back("stop"); }
  void renderBlock(AudioIO*, int16_t** ch, int32_t frames) override {
    for (int c = 0; c < 2; ++c) std::memset(ch[c], 0, sizeof(int16_t) * static_cast<size_t>(frames));
  }
  PatternRecord record = makeInitPattern();
  std::vector<std::string> calls;
  uint32_t length = 0;
  bool beginWorks = true;
};

// The frames of a 16-bit stereo WAV file, from its data chunk.
int64_t wavFrames(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
    return -1;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    uint32_t size;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (std::memcmp(bytes.data() + at, "data", 4) == 0) return size / 4;
    at += 8 + size + (size & 1);
  }
  return -1;
}

// The largest magnitude among the samples of frames [from, to) of a 16-bit
// stereo WAV file's data chunk; -1 when there is none.
int wavPeak(const fs::path& file, size_t from = 0, size_t to = SIZE_MAX) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t at = 12; at + 8 <= bytes.size();) {
    uint32_t size;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
      int peak = 0;
      const size_t end = std::min({bytes.size(), size_t{at} + 8 + size, to == SIZE_MAX ? SIZE_MAX : at + 8 + to * 4});
      for (size_t i = at + 8 + from * 4; i + 1 < end; i += 2) {
        int16_t v;
        std::memcpy(&v, bytes.data() + i, 2);
        peak = std::max(peak, std::abs(int{v}));
      }
      return peak;
    }
    at += 8 + size + (size & 1);
  }
  return -1;
}

std::vector<fs::path> wavsIn(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().extension() == ".wav") out.push_back(e.path());
  return out;
}

class WavExportTest : public screentest::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    exportDir = dir / "export";
    ::setenv("IGB_EXPORT_DIR", exportDir.c_str(), 1);
    mainScreen.anchor = host->anchor.get();
    // A pattern of one bar at 120 BPM with a few steps.
    PatternRecord r = makeInitPattern();
    r.sequencerParams.tempo = 1200;
    r.sequencerParams.length = 1;
    r.sequencerParams.lastStep = 16;
    std::memset(r.tagParams.name, 0, sizeof r.tagParams.name);
    std::memcpy(r.tagParams.name, "Bounce Me", 9);
    synth->setPatternRecord(&r);
    for (int s = 0; s < 16; s += 4) synth->setStep(4, s, true);
  }
  void TearDown() override {
    exporter.reset();
    while (platform::AlertView::visibleAlert()) platform::AlertView::visibleAlert()->dismissWithClickedButtonIndex(0, false);
    ::unsetenv("IGB_EXPORT_DIR");
    ScreenTest::TearDown();
  }
  std::shared_ptr<WavExporter> makeExporter(RecordingSource* engine, AudioFileRecorderEnvironment env = {}) {
    if (env.documentsDirectory.empty()) env.documentsDirectory = documents();
    exporter = std::make_shared<WavExporter>(engine, &mainScreen, std::move(env));
    return exporter;
  }

  fs::path exportDir;
  FakeHost mainScreen;
  std::shared_ptr<WavExporter> exporter;
};

TEST_F(WavExportTest, TheExportScreenShowsItsButtonAndHandsTheJobToItsParent) {
  auto parent = std::make_shared<RecordingParent>();
  auto screen = std::make_shared<ExportWavScreenController>(parent);
  host->presentAsPopover(screen, {280, 170});
  backend.runPass();
  window->layoutIfNeeded();
  EXPECT_EQ(screen->title(), "Export");
  EXPECT_EQ(screen->preferredContentSize(), (platform::Size{280, 110}));
  EXPECT_EQ(screen->popoverPresentationController()->popoverFrame().size, (platform::Size{280, 110}));
  EXPECT_EQ(screen->titleLabel()->text(), "Export Audio File");
  EXPECT_EQ(screen->titleLabel()->font().pointSize, 17.0);
  EXPECT_EQ(screen->titleLabel()->font().weight, platform::Font::Weight::Medium);
  EXPECT_EQ(screen->bounceButton()->titleForState(platform::ControlState::Normal), "Bounce Pattern");
  EXPECT_EQ(screen->baseView()->frame(), screen->view()->bounds());
  EXPECT_EQ(screen->titleLabel()->frame(), (Rect{20, 20, 240, 20}));
  EXPECT_EQ(screen->bounceButton()->frame(), (Rect{20, 50, 240, 40}));
  tap(*screen->bounceButton());
  EXPECT_EQ(parent->bounces, 1);
  // A parent that is gone: the button does nothing.
  parent.reset();
  tap(*screen->bounceButton());
  EXPECT_EQ(screen->parent(), nullptr);
}

TEST_F(WavExportTest, ABounceWritesOnePassOffersTheFileAndRemovesItWhenTheMenuCloses) {
  makeExporter(synth);
  const uint32_t length = synth->bounceLength();
  ASSERT_GT(length, 0u);
  exporter->bounceCurrentPattern();
  EXPECT_EQ(mainScreen.calls, (std::vector<std::string>{"dispose", "prepare", "finish"}));
  EXPECT_EQ(exporter->lastOutcome(), AudioFileRecorder::Outcome::Saved);
  // The report arrives from the main queue after the bounce returned.
  EXPECT_TRUE(mainScreen.banners.empty());
  backend.runPass();
  ASSERT_EQ(mainScreen.banners.size(), 1u);
  EXPECT_EQ(mainScreen.banners[0], "Saved as Bounce Me BPM120.wav.");
  EXPECT_EQ(mainScreen.bannerTime, 8u);
  const fs::path file = documents() / "Bounce Me BPM120.wav";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(wavFrames(file), static_cast<int64_t>(length));
  // Each of the four drum steps is in it, not silence.
  for (size_t q = 0; q < 4; ++q) EXPECT_GT(wavPeak(file, q * length / 4, (q + 1) * length / 4), 500) << q;
  EXPECT_FALSE(synth->isPlaying());
  // The Open-In menu follows a moment later.
  EXPECT_EQ(exporter->interactionViewController(), nullptr);
  backend.advance(0.05);
  platform::DocumentInteractionController* menu = exporter->interactionViewController();
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->isMenuVisible());
  EXPECT_EQ(menu->url(), file);
  // Saving a copy keeps the sound outside the documents folder.
  menu->selectItem(platform::DocumentInteractionController::kSaveCopy);
  EXPECT_FALSE(fs::exists(file));
  ASSERT_EQ(wavsIn(exportDir).size(), 1u);
  EXPECT_EQ(wavFrames(wavsIn(exportDir)[0]), static_cast<int64_t>(length));
}

TEST_F(WavExportTest, CancellingTheMenuDeletesTheFileAndASecondBounceReplacesTheMenu) {
  makeExporter(synth);
  exporter->bounceCurrentPattern();
  backend.advance(0.05);
  platform::DocumentInteractionController* first = exporter->interactionViewController();
  ASSERT_NE(first, nullptr);
  const fs::path file = first->url();
  first->selectItem(platform::DocumentInteractionController::kCancel);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(wavsIn(exportDir).empty());
  exporter->bounceCurrentPattern();
  backend.advance(0.05);
  ASSERT_NE(exporter->interactionViewController(), nullptr);
  EXPECT_NE(exporter->interactionViewController(), first);
  EXPECT_TRUE(exporter->interactionViewController()->isMenuVisible());
  EXPECT_EQ(mainScreen.banners.size(), 2u);
}

TEST_F(WavExportTest, ABounceStopsAPlayingSequencer) {
  makeExporter(synth);
  synth->startSequencer(0);
  int16_t l[256], r[256];
  int16_t* ch[2] = {l, r};
  synth->renderBlock(nullptr, ch, 256);
  ASSERT_TRUE(synth->isPlaying());
  exporter->bounceCurrentPattern();
  EXPECT_FALSE(synth->isPlaying());
  EXPECT_EQ(exporter->lastOutcome(), AudioFileRecorder::Outcome::Saved);
  // From the pattern's top, with its first step at the first frame.
  const fs::path file = documents() / "Bounce Me BPM120.wav";
  EXPECT_GT(wavPeak(file, 0, 256), 500);
}

TEST_F(WavExportTest, AFullDiskWarnsAfterTheBounceAndLeavesNothing) {
  AudioFileRecorderEnvironment env;
  env.freeDiskBytes = [](const fs::path&) -> uint64_t { return 1024; };
  makeExporter(synth, env);
  exporter->bounceCurrentPattern();
  EXPECT_EQ(mainScreen.calls, (std::vector<std::string>{"dispose", "prepare", "finish"}));
  EXPECT_FALSE(backend.alertVisible());
  backend.runPass();
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertTitle(), "Disk Space Warning");
  EXPECT_EQ(backend.alertMessage(), "There is not enough free space on the device.");
  EXPECT_EQ(backend.alertButtons(), (std::vector<std::string>{"OK"}));
  backend.advance(0.05);
  EXPECT_TRUE(mainScreen.banners.empty());
  EXPECT_EQ(exporter->interactionViewController(), nullptr);
  EXPECT_TRUE(wavsIn(documents()).empty());
}

TEST_F(WavExportTest, AFailedWriteIsReportedAndLeavesNothing) {
  AudioFileRecorderEnvironment env;
  env.writeBytes = [](int, const void*, size_t) -> ssize_t {
    errno = EIO;
    return -1;
  };
  makeExporter(synth, env);
  exporter->bounceCurrentPattern();
  backend.runPass();
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertTitle(), "Write Error");
  EXPECT_EQ(backend.alertMessage(), "iGROOVEBIX failed to write audio data.");
  backend.advance(0.05);
  EXPECT_TRUE(mainScreen.banners.empty());
  EXPECT_TRUE(wavsIn(documents()).empty());
}

TEST_F(WavExportTest, EmptyPatternsAndARefusedBegin) {
  FakeEngine engine;
  makeExporter(&engine);
  // Nothing to render: the engine passes through the bounce, no file.
  exporter->bounceCurrentPattern();
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"begin", "end"}));
  backend.advance(0.05);
  EXPECT_TRUE(mainScreen.banners.empty());
  EXPECT_FALSE(backend.alertVisible());
  EXPECT_TRUE(wavsIn(documents()).empty());
  // The live output does not let go: the user is told, nothing is written.
  engine.calls.clear();
  engine.length = 4410;
  engine.beginWorks = false;
  exporter->bounceCurrentPattern();
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"begin"}));
  EXPECT_TRUE(exporter->lastBeginFailed());
  EXPECT_EQ(mainScreen.calls.back(), "finish");
  backend.runPass();
  ASSERT_TRUE(backend.alertVisible());
  EXPECT_EQ(backend.alertTitle(), WavExporter::kBounceFailedTitle);
  EXPECT_TRUE(wavsIn(documents()).empty());
}

}  // namespace
