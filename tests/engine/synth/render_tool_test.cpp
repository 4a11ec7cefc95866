// The off-line renderer: its WAV files as sox and libsndfile read them, the
// three pattern sources, the factory library's first pattern, the failures
// it reports, and the resident memory of a long bounce.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/provider/memory_data_provider.h"
#include "engine/synth/synth.h"
#include "engine/voices/drum_data.h"
#include "synth_test_support.h"
#include "tools/render/dense_pattern.h"
#include "tools/render/offline_render.h"

namespace fs = std::filesystem;

namespace {

class RenderTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-render-test-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    Synth::destroyInstance();
    destroyDrumData();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path path(const std::string& name) const { return dir_ / name; }

  // Runs a command; returns its exit status and its standard output.
  int run(const std::string& command, std::string* output = nullptr) {
    const fs::path out = path("stdout.txt");
    const int status = std::system((command + " > " + out.string() + " 2> " + path("stderr.txt").string()).c_str());
    std::ifstream in(out);
    std::stringstream ss;
    ss << in.rdbuf();
    if (output) *output = ss.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int render(const std::string& args, std::string* output = nullptr) {
    return run(std::string(IGB_RENDER_TOOL) + " --bundle " + IGB_BUNDLE_DIR + " " + args, output);
  }
  // `sox --i` with one option: -b bits, -c channels, -r rate, -s samples.
  std::string soxInfo(const fs::path& wav, const char* option) {
    std::string out;
    EXPECT_EQ(run(std::string("sox --i ") + option + " " + wav.string(), &out), 0);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
  }
  static synthtest::Stereo readWav(const fs::path& wav) {
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
    synthtest::Stereo s;
    if (!f) return s;
    std::vector<int16_t> data(static_cast<size_t>(info.frames) * 2);
    sf_readf_short(f, data.data(), info.frames);
    sf_close(f);
    for (sf_count_t i = 0; i < info.frames; ++i) {
      s.left.push_back(data[static_cast<size_t>(2 * i)]);
      s.right.push_back(data[static_cast<size_t>(2 * i + 1)]);
    }
    return s;
  }
  // The engine's own bounce of a record, in this process.
  static synthtest::Stereo bounceInProcess(const PatternRecord& r, uint32_t loops, uint32_t* length = nullptr) {
    createDrumData(IGB_BUNDLE_DIR);
    MemoryDataProvider provider;
    Synth* synth = Synth::getInstance(44100.0f);
    synth->setDataProvider(&provider);
    synth->setPatternRecord(&r);
    if (length) *length = synth->bounceLength();
    StereoBuffer out;
    EXPECT_TRUE(bouncePattern(*synth, loops, &out));
    Synth::destroyInstance();
    destroyDrumData();
    return synthtest::Stereo{out.left, out.right};
  }
  void writeBytes(const fs::path& p, const uint8_t* data, size_t n) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
  }

 private:
  fs::path dir_;
};

TEST_F(RenderTool, DensePatternIsA16BitStereo44100WavOfTheExpectedLength) {
  const fs::path wav = path("dense.wav");
  std::string out;
  ASSERT_EQ(render("--dense --loops 2 " + wav.string(), &out), 0);
  // Four bars at 120 BPM, twice: 2 × 64 × 5,512.5 frames.
  EXPECT_EQ(out, "705600 frames\n");
  EXPECT_EQ(soxInfo(wav, "-b"), "16");
  EXPECT_EQ(soxInfo(wav, "-c"), "2");
  EXPECT_EQ(soxInfo(wav, "-r"), "44100");
  EXPECT_EQ(soxInfo(wav, "-s"), "705600");
  EXPECT_EQ(soxInfo(wav, "-e"), "Signed Integer PCM");

  // What is in the file is the engine's bounce, sample for sample.
  const synthtest::Stereo file = readWav(wav);
  const synthtest::Stereo engine = bounceInProcess(makeDensePattern(), 2);
  ASSERT_EQ(file.frames(), 705600u);
  EXPECT_EQ(file.left, engine.left);
  EXPECT_EQ(file.right, engine.right);
}

TEST_F(RenderTool, FactoryPatternZeroPlays) {
  std::string error;
  const std::optional<PatternRecord> p0 = factoryPattern(0, IGB_BUNDLE_DIR, &error);
  ASSERT_TRUE(p0) << error;
  uint32_t length = 0;
  const synthtest::Stereo engine = bounceInProcess(*p0, 1, &length);
  ASSERT_GT(length, 44100u);

  const fs::path wav = path("p0.wav");
  ASSERT_EQ(render("--number 0 " + wav.string()), 0);
  EXPECT_EQ(soxInfo(wav, "-b"), "16");
  EXPECT_EQ(soxInfo(wav, "-c"), "2");
  EXPECT_EQ(soxInfo(wav, "-r"), "44100");
  EXPECT_EQ(soxInfo(wav, "-s"), std::to_string(length));
  const synthtest::Stereo file = readWav(wav);
  EXPECT_EQ(file.left, engine.left);
  // Non-silent all the way through: every quarter of the pattern sounds.
  for (size_t q = 0; q < 4; ++q) {
    const size_t from = q * file.frames() / 4;
    const size_t to = (q + 1) * file.frames() / 4;
    EXPECT_GT(synthtest::rms(file.left, from, to), 300.0) << "quarter " << q;
    EXPECT_GT(synthtest::peak(file.right, from, to), 2000) << "quarter " << q;
  }
  // The temporary library is gone again.
  EXPECT_EQ(std::getenv("IGROOVEBIX_HOME"), nullptr);
}

TEST_F(RenderTool, PatternFilesOfBothSizesRenderTheSame) {
  PatternRecord r = synthtest::quietPattern();
  r.sequencerParams.tempo = 1400;
  r.sequencerParams.length = 2;
  for (int s = 0; s < 32; s += 3) r.sequencerParams.trigger[s % 8][s] = 1;
  const auto bytes = r.toBytes();
  writeBytes(path("current.pat"), bytes.data(), bytes.size());
  writeBytes(path("older.pat"), bytes.data() + PatternRecord::kHeaderSize, PatternRecord::kBodySize);

  ASSERT_EQ(render("--file " + path("current.pat").string() + " " + path("a.wav").string()), 0);
  ASSERT_EQ(render("--file " + path("older.pat").string() + " " + path("b.wav").string()), 0);
  uint32_t length = 0;
  const synthtest::Stereo engine = bounceInProcess(r, 1, &length);
  EXPECT_EQ(length, 151200u);  // 32 steps of 4,725 frames at 140 BPM
  const synthtest::Stereo a = readWav(path("a.wav"));
  const synthtest::Stereo b = readWav(path("b.wav"));
  EXPECT_EQ(a.frames(), length);
  EXPECT_EQ(a.left, engine.left);
  EXPECT_EQ(b.left, a.left);
  EXPECT_EQ(b.right, a.right);
  EXPECT_GT(synthtest::peak(a.left), 0);
}

// Ten minutes of the dense pattern (75 loops of 352,800 frames): a file of
// about 106 MB, which the tool must write as it renders. Its peak resident
// size (getrusage's, taken by a small program that starts it) stays near
// what a one-loop bounce needs; the whole bounce in memory would pass
// 100 MB.
TEST_F(RenderTool, TenMinuteBounceKeepsItsResidentMemoryBounded) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's shadow memory and freed-block quarantine come on top.
  constexpr long kMaxResidentKiB = 96 * 1024;
#else
  constexpr long kMaxResidentKiB = 30 * 1024;
#endif
  const fs::path wav = path("ten-minutes.wav");
  std::string out;
  ASSERT_EQ(run(std::string(IGB_PEAK_RSS) + " " + IGB_RENDER_TOOL + " --bundle " + IGB_BUNDLE_DIR +
                    " --dense --loops 75 " + wav.string(),
                &out),
            0);
  // The tool's own line, then the figures.
  const std::string toolLine = "26460000 frames\n";
  ASSERT_EQ(out.rfind(toolLine, 0), 0u) << out;
  long residentKiB = 0;
  int status = -1;
  ASSERT_EQ(std::sscanf(out.c_str() + toolLine.size(), "%ld %d", &residentKiB, &status), 2) << out;
  ASSERT_EQ(status, 0);

  EXPECT_EQ(soxInfo(wav, "-s"), "26460000");
  EXPECT_GT(residentKiB, 0);
  EXPECT_LT(residentKiB, kMaxResidentKiB);
  // Only the finished file is left: no part file of the recorder.
  for (const auto& entry : fs::directory_iterator(wav.parent_path()))
    EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(RenderTool, ReportsWhatItCannotRender) {
  const std::vector<uint8_t> shortFile(1000, 0);
  writeBytes(path("short.pat"), shortFile.data(), shortFile.size());
  struct Case {
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"--file " + path("short.pat").string() + " " + path("x.wav").string(), 1},
      {"--file " + path("missing.pat").string() + " " + path("x.wav").string(), 1},
      {"--number 416 " + path("x.wav").string(), 1},
      {"--dense " + path("no-such-dir/x.wav").string(), 1},
      {"--dense", 2},
      {"--loops 0 " + path("x.wav").string(), 2},
      {"--number abc " + path("x.wav").string(), 2},
      {"--effect 8 " + path("x.wav").string(), 2},
      {"--frobnicate " + path("x.wav").string(), 2},
  };
  for (const Case& c : cases) EXPECT_EQ(render(c.args), c.status) << c.args;
  EXPECT_FALSE(fs::exists(path("x.wav")));
}

}  // namespace
