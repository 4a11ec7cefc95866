// The WAV recorder: names, free space and limits, silence skipping, the
// file format (checked with libsndfile, sox and the bytes themselves), the
// failure paths, the real-time mode's hand-off, and the bounce.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/audio_file_recorder.h"
#include "audio/bounce.h"
#include "audio/documents.h"
#include "audio/fakes.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Outcome = AudioFileRecorder::Outcome;
using audiotest::TestPattern;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

class Messages : public AudioFileRecorderDelegate {
 public:
  void alertDiskFull() override { add("alertDiskFull", ""); }
  void bounceFileSaved(const std::string& p) override { add("bounceFileSaved", p); }
  void realTimeRecAudioFileSaved(const std::string& p) override { add("realTimeRecAudioFileSaved", p); }
  void audioFileSaveFailed(const std::string& p) override { add("audioFileSaveFailed", p); }

  std::vector<std::pair<std::string, std::string>> all() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::vector<std::string> kinds() {
    std::vector<std::string> out;
    for (const auto& m : all()) out.push_back(m.first);
    return out;
  }
  bool waitFor(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return messages_.size() >= n; });
  }

 private:
  void add(const std::string& kind, const std::string& path) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.emplace_back(kind, path);
    }
    cv_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::pair<std::string, std::string>> messages_;
};

struct Wav {
  SF_INFO info{};
  std::vector<int16_t> samples;  // interleaved
  bool ok = false;
};

Wav readWav(const fs::path& path) {
  Wav w;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
  if (!f) return w;
  w.samples.resize(static_cast<size_t>(w.info.frames * w.info.channels));
  w.ok = sf_readf_short(f, w.samples.data(), w.info.frames) == w.info.frames;
  sf_close(f);
  return w;
}

std::string run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[512];
  while (fgets(buf, sizeof(buf), p)) out += buf;
  pclose(p);
  return out;
}

std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The pattern's frames [from, from + n) as two channel buffers.
struct Block {
  std::vector<int16_t> left, right;
  Block(uint64_t from, uint32_t n) : left(n), right(n) {
    for (uint32_t i = 0; i < n; ++i) {
      left[i] = TestPattern::left(from + i);
      right[i] = TestPattern::right(from + i);
    }
  }
};

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-recorder-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    messages_ = std::make_shared<Messages>();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  AudioFileRecorder::Environment env() {
    AudioFileRecorder::Environment e;
    e.documentsDirectory = dir_;
    e.freeDiskBytes = [this](const fs::path&) { return freeBytes_; };
    e.now = [this] { return now_; };
    return e;
  }
  std::unique_ptr<AudioFileRecorder> make(int mode, AudioFileRecorder::Environment e) {
    auto r = std::make_unique<AudioFileRecorder>(&source_, mode, std::move(e));
    r->setDelegate(messages_);
    r->setBounceMode(mode == 0);
    return r;
  }
  std::unique_ptr<AudioFileRecorder> make(int mode) { return make(mode, env()); }

  // Writes the pattern's first `frames` in blocks of `block`.
  static void writePattern(AudioFileRecorder& r, uint64_t frames, uint32_t block) {
    for (uint64_t at = 0; at < frames; at += block) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(block, frames - at));
      Block b(at, n);
      r.write(b.left.data(), b.right.data(), n);
    }
  }

  fs::path dir_;
  uint64_t freeBytes_ = 1024 * kMiB;
  std::time_t now_ = 1700000000;
  audiotest::FakeRecordingSource source_;
  std::shared_ptr<Messages> messages_;
};

}  // namespace

// --- names ---

TEST(RecorderNames, BaseNameFromThePatternNameAndTempo) {
  struct Case {
    std::string name;
    int16_t tempo;
    std::string base;
  };
  const Case cases[] = {
      {"A/B:C", 1200, "A_B_C BPM120"},
      {"", 1200, "No Name BPM120"},
      {".x", 1200, "_x BPM120"},
      {"..", 1200, "_. BPM120"},
      {"Slow", 985, "Slow BPM98.5"},
      {"Fast", 6000, "Fast BPM600"},
      {"Odd", 1234, "Odd BPM123.4"},
      {"Low", 200, "Low BPM20"},
      {"/", 1200, "_ BPM120"},
  };
  for (const Case& c : cases) {
    audiotest::FakeRecordingSource s(c.name, c.tempo);
    EXPECT_EQ(AudioFileRecorder::baseName(*s.currentPattern()), c.base) << c.name;
  }
}

TEST(RecorderNames, NameStaysInsideItsSixteenBytes) {
  audiotest::FakeRecordingSource s("0123456789abcdef", 1200);  // no NUL in the field
  std::memcpy(s.currentPattern()->tagParams.author, "AUTHOR", 7);
  EXPECT_EQ(AudioFileRecorder::baseName(*s.currentPattern()), "0123456789abcdef BPM120");
  // A two-byte character cut after its first byte is dropped.
  audiotest::FakeRecordingSource cut("0123456789abcde\xC3\xA9", 1200);
  EXPECT_EQ(AudioFileRecorder::baseName(*cut.currentPattern()), "0123456789abcde BPM120");
  audiotest::FakeRecordingSource whole("caf\xC3\xA9", 1200);
  EXPECT_EQ(AudioFileRecorder::baseName(*whole.currentPattern()), "caf\xC3\xA9 BPM120");
}

TEST(RecorderNames, NumberedNames) {
  EXPECT_EQ(AudioFileRecorder::bounceFileName("X BPM120", 0), "X BPM120.wav");
  EXPECT_EQ(AudioFileRecorder::bounceFileName("X BPM120", 1), "X BPM120 - 1.wav");
  EXPECT_EQ(AudioFileRecorder::bounceFileName("X BPM120", 12), "X BPM120 - 12.wav");
  setenv("TZ", "UTC", 1);
  tzset();
  // 2024-12-30 is in the first week of 2025: the name keeps the calendar year.
  EXPECT_EQ(AudioFileRecorder::realTimeFileName(1735516800, 0), "2024-12-30 00.00.00.wav");
  EXPECT_EQ(AudioFileRecorder::realTimeFileName(1735516800 + 3723, 2), "2024-12-30 01.02.03 2.wav");
}

TEST(RecorderNames, DocumentsFolderFromTheEnvironment) {
  const char* oldHome = std::getenv("IGROOVEBIX_HOME");
  const std::string saved = oldHome ? oldHome : "";
  setenv("IGROOVEBIX_HOME", "/tmp/igb-docs", 1);
  EXPECT_EQ(audio::documentsDirectory(), fs::path("/tmp/igb-docs"));
  EXPECT_EQ(audio::documentsPathForFileName("a.wav"), fs::path("/tmp/igb-docs/a.wav"));
  unsetenv("IGROOVEBIX_HOME");
  setenv("XDG_DATA_HOME", "/tmp/igb-xdg", 1);
  EXPECT_EQ(audio::documentsDirectory(), fs::path("/tmp/igb-xdg/igroovebix/Documents"));
  setenv("XDG_DATA_HOME", "relative", 1);
  setenv("HOME", "/tmp/igb-home", 1);
  EXPECT_EQ(audio::documentsDirectory(), fs::path("/tmp/igb-home/.local/share/igroovebix/Documents"));
  if (oldHome) setenv("IGROOVEBIX_HOME", saved.c_str(), 1);
}

// --- bounce files ---

TEST_F(RecorderTest, SuccessiveBouncesGetNumberedFiles) {
  source_.setName("A/B:C");
  for (int i = 0; i < 3; ++i) {
    auto r = make(0);
    ASSERT_EQ(bounceCurrentPattern(source_, *r), BounceResult::Rendered);
  }
  EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"A_B_C BPM120 - 1.wav", "A_B_C BPM120 - 2.wav",
                                                     "A_B_C BPM120.wav"}));
  const auto m = messages_->all();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0], std::make_pair(std::string("bounceFileSaved"), (dir_ / "A_B_C BPM120.wav").string()));
  EXPECT_EQ(m[1].second, (dir_ / "A_B_C BPM120 - 1.wav").string());
  EXPECT_EQ(m[2].second, (dir_ / "A_B_C BPM120 - 2.wav").string());
}

TEST_F(RecorderTest, AnExistingFileIsNeverReplaced) {
  {
    std::ofstream keep(dir_ / "Test Pattern BPM120.wav");
    keep << "keep me";
  }
  auto r = make(0);
  r->open(false);
  ASSERT_TRUE(r->isOpen());
  EXPECT_EQ(r->fileName(), "Test Pattern BPM120 - 1.wav");
  writePattern(*r, 1000, 500);
  // Someone takes the name while the file is written: it moves on to the next.
  {
    std::ofstream other(dir_ / "Test Pattern BPM120 - 1.wav");
    other << "other";
  }
  r->close();
  EXPECT_EQ(r->lastOutcome(), Outcome::Saved);
  EXPECT_EQ(r->fileName(), "Test Pattern BPM120 - 2.wav");
  EXPECT_EQ(messages_->all().back().second, (dir_ / "Test Pattern BPM120 - 2.wav").string());
  std::ifstream keep(dir_ / "Test Pattern BPM120.wav");
  std::string text;
  std::getline(keep, text);
  EXPECT_EQ(text, "keep me");
  EXPECT_EQ(readWav(dir_ / "Test Pattern BPM120 - 2.wav").info.frames, 1000);
}

TEST_F(RecorderTest, TheBounceRendersThePatternInTheCallingOrder) {
  source_.length = 3 * 1024 + 500;
  auto r = make(0);
  ASSERT_EQ(bounceCurrentPattern(source_, *r), BounceResult::Rendered);
  std::vector<std::string> expected{"beginBounce", "startForBounce 0", "render", "render", "render", "render",
                                    "stopPlayback 0", "render", "endBounce"};
  EXPECT_EQ(source_.calls, expected);
  EXPECT_EQ(source_.blockSizes, (std::vector<int32_t>{1024, 1024, 1024, 500, 1}));
  const Wav w = readWav(dir_ / "Test Pattern BPM120.wav");
  ASSERT_TRUE(w.ok);
  ASSERT_EQ(w.info.frames, 3 * 1024 + 500);
  for (uint64_t k = 0; k < static_cast<uint64_t>(w.info.frames); ++k) {
    ASSERT_EQ(w.samples[k * 2], TestPattern::left(k)) << k;
    ASSERT_EQ(w.samples[k * 2 + 1], TestPattern::right(k)) << k;
  }
  EXPECT_EQ(messages_->kinds(), (std::vector<std::string>{"bounceFileSaved"}));
}

TEST_F(RecorderTest, BounceRefusedByTheEngineWritesNothing) {
  source_.acceptBounce = false;
  auto r = make(0);
  EXPECT_EQ(bounceCurrentPattern(source_, *r), BounceResult::Refused);
  EXPECT_EQ(source_.calls, (std::vector<std::string>{"beginBounce"}));
  EXPECT_TRUE(filesIn(dir_).empty());
  EXPECT_TRUE(messages_->all().empty());
}

TEST_F(RecorderTest, AnEmptyPatternPassesThroughTheBounceAndMakesNoFile) {
  source_.length = 0;
  auto r = make(0);
  EXPECT_EQ(bounceCurrentPattern(source_, *r), BounceResult::Empty);
  EXPECT_EQ(source_.calls, (std::vector<std::string>{"beginBounce", "endBounce"}));
  EXPECT_EQ(r->lastOutcome(), Outcome::None);
  EXPECT_TRUE(filesIn(dir_).empty());
  EXPECT_TRUE(messages_->all().empty());
}

// --- free space and limits ---

TEST_F(RecorderTest, ThirtyTwoMebibytesFreeIsTooLittle) {
  for (uint64_t free : {uint64_t{0}, 32 * kMiB - 1, 32 * kMiB, 32 * kMiB + 3}) {
    freeBytes_ = free;
    auto r = make(0);
    EXPECT_EQ(r->freeBytes(), free);
    r->open(false);
    EXPECT_FALSE(r->isOpen()) << free;
    EXPECT_EQ(r->frameLimit(), 0u);
    EXPECT_EQ(r->lastOutcome(), Outcome::DiskFull);
    EXPECT_TRUE(filesIn(dir_).empty());
  }
  EXPECT_EQ(messages_->kinds(), std::vector<std::string>(4, "alertDiskFull"));
}

TEST_F(RecorderTest, TheFrameLimitComesFromFreeSpaceAndTwoHours) {
  freeBytes_ = 1024 * kMiB * 1024;  // a terabyte: the two hours decide
  auto big = make(0);
  big->open(false);
  EXPECT_EQ(big->maxFrames(), 44100u * 7200u);
  EXPECT_EQ(big->frameLimit(), 44100u * 7200u);
  big->close();

  freeBytes_ = 32 * kMiB + 4 * 1500 + 2;
  auto r = make(0);
  r->open(false);
  ASSERT_TRUE(r->isOpen());
  EXPECT_EQ(r->frameLimit(), 1500u);
  Block b(0, 1024);
  r->write(b.left.data(), b.right.data(), 1024);
  EXPECT_TRUE(r->isOpen());
  // This block passes the limit: it is written whole and the file closed.
  Block c(1024, 1024);
  r->write(c.left.data(), c.right.data(), 1024);
  EXPECT_FALSE(r->isOpen());
  EXPECT_EQ(r->lastOutcome(), Outcome::Saved);
  EXPECT_EQ(readWav(dir_ / "Test Pattern BPM120.wav").info.frames, 2048);
  r->write(c.left.data(), c.right.data(), 1024);  // after the close: ignored
  EXPECT_EQ(readWav(dir_ / "Test Pattern BPM120.wav").info.frames, 2048);
}

TEST_F(RecorderTest, FreeSpaceIsMeasuredOnceAtConstruction) {
  int measured = 0;
  auto e = env();
  e.freeDiskBytes = [&](const fs::path& p) {
    ++measured;
    EXPECT_EQ(p, dir_);
    return 64 * kMiB;
  };
  auto r = make(0, e);
  r->open(false);
  r->close();
  r->open(false);
  r->close();
  EXPECT_EQ(measured, 1);
  EXPECT_GT(AudioFileRecorder::freeDiskBytes(dir_), 0u) << "statfs of a real folder";
  EXPECT_EQ(AudioFileRecorder::freeDiskBytes(dir_ / "missing"), 0u);
}

// --- silence and empty files ---

TEST_F(RecorderTest, LeadingSilenceIsSkippedToTheFirstSoundingFrame) {
  for (int mode : {0, 1}) {
    auto r = make(mode);
    r->open(true);
    ASSERT_TRUE(r->isOpen());
    const std::vector<int16_t> zero(512, 0);
    for (int i = 0; i < 3; ++i) r->write(zero.data(), zero.data(), 512);
    // Then 100 silent frames and the pattern (whose frame 0 is itself 0).
    Block b(0, 1000);
    std::vector<int16_t> l(100, 0), rr(100, 0);
    l.insert(l.end(), b.left.begin(), b.left.end());
    rr.insert(rr.end(), b.right.begin(), b.right.end());
    r->write(l.data(), rr.data(), static_cast<uint32_t>(l.size()));
    Block more(1000, 700);
    r->write(more.left.data(), more.right.data(), 700);  // silence inside is kept
    r->close();
    ASSERT_EQ(r->lastOutcome(), Outcome::Saved) << mode;
    const Wav w = readWav(r->lastSavedPath());
    ASSERT_TRUE(w.ok);
    // The pattern's first sounding frame is frame 1 (sin 0 = 0).
    ASSERT_EQ(w.info.frames, 1700 - 1) << mode;
    for (uint64_t k = 1; k < 1700; ++k) ASSERT_EQ(w.samples[(k - 1) * 2], TestPattern::left(k)) << k;
    now_ += 1;
  }
}

TEST_F(RecorderTest, AFileWithNoFramesIsDeletedQuietly) {
  for (int mode : {0, 1}) {
    auto r = make(mode);
    r->open(true);
    ASSERT_TRUE(r->isOpen());
    const std::vector<int16_t> zero(256, 0);
    r->write(zero.data(), zero.data(), 256);  // all silence, all skipped
    r->close();
    EXPECT_EQ(r->lastOutcome(), Outcome::Removed);
    EXPECT_FALSE(r->isOpen());
    auto plain = make(mode);
    plain->open(false);
    plain->close();
    EXPECT_EQ(plain->lastOutcome(), Outcome::Removed);
  }
  EXPECT_TRUE(filesIn(dir_).empty());
  EXPECT_TRUE(messages_->all().empty());
}

// --- the format ---

TEST_F(RecorderTest, FilesOfBothModesAreStereo16BitWavAt44100) {
  setenv("TZ", "UTC", 1);
  tzset();
  now_ = 1735516800;
  for (int mode : {0, 1}) {
    auto r = make(mode);
    r->open(false);
    ASSERT_TRUE(r->isOpen());
    writePattern(*r, 10000, 1024);
    r->close();
    ASSERT_EQ(r->lastOutcome(), Outcome::Saved);
  }
  EXPECT_EQ(messages_->kinds(), (std::vector<std::string>{"bounceFileSaved", "realTimeRecAudioFileSaved"}));
  for (const std::string name : {"Test Pattern BPM120.wav", "2024-12-30 00.00.00.wav"}) {
    const fs::path path = dir_ / name;
    SCOPED_TRACE(name);
    const Wav w = readWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(w.info.channels, 2);
    EXPECT_EQ(w.info.samplerate, 44100);
    EXPECT_EQ(w.info.frames, 10000);
    for (uint64_t k = 0; k < 10000; ++k) {
      ASSERT_EQ(w.samples[k * 2], TestPattern::left(k));
      ASSERT_EQ(w.samples[k * 2 + 1], TestPattern::right(k));
    }

    const std::string sox = run("sox --i \"" + path.string() + "\" 2>&1");
    EXPECT_NE(sox.find("Channels       : 2"), std::string::npos) << sox;
    EXPECT_NE(sox.find("Sample Rate    : 44100"), std::string::npos) << sox;
    EXPECT_NE(sox.find("Precision      : 16-bit"), std::string::npos) << sox;
    EXPECT_NE(sox.find("= 10000 samples"), std::string::npos) << sox;
    EXPECT_NE(sox.find("16-bit Signed Integer PCM"), std::string::npos) << sox;

    // The chunks themselves: RIFF/WAVE, PCM format 1, byte rate and block
    // alignment, and the data size.
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 44u);
    auto u32 = [&](size_t at) {
      return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
             uint32_t(bytes[at + 3]) << 24;
    };
    auto u16 = [&](size_t at) { return uint16_t(bytes[at] | bytes[at + 1] << 8); };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "WAVE");
    std::map<std::string, std::pair<size_t, uint32_t>> chunks;
    for (size_t at = 12; at + 8 <= bytes.size();) {
      const std::string id(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 4);
      const uint32_t size = u32(at + 4);
      chunks[id] = {at + 8, size};
      at += 8 + size + (size & 1);
    }
    ASSERT_TRUE(chunks.count("fmt "));
    ASSERT_TRUE(chunks.count("data"));
    const size_t fmt = chunks["fmt "].first;
    EXPECT_EQ(u16(fmt), 1) << "PCM";
    EXPECT_EQ(u16(fmt + 2), 2);
    EXPECT_EQ(u32(fmt + 4), 44100u);
    EXPECT_EQ(u32(fmt + 8), 176400u);
    EXPECT_EQ(u16(fmt + 12), 4);
    EXPECT_EQ(u16(fmt + 14), 16);
    EXPECT_EQ(chunks["data"].second, 10000u * 4u);
  }
}

// --- failures ---

namespace {

enum class Fault { WriteFails, DiskFills, SyncFails, HeaderRewriteFails };

struct FaultCase {
  int mode;
  Fault fault;
  const char* message;
  Outcome outcome;
};

class RecorderFaultTest : public RecorderTest, public ::testing::WithParamInterface<FaultCase> {};

std::string describe(const FaultCase& c) {
  static const char* const names[] = {"WriteFails", "DiskFills", "SyncFails", "HeaderRewriteFails"};
  return std::string(c.mode == 0 ? "Bounce_" : "RealTime_") + names[static_cast<int>(c.fault)];
}
std::string faultCaseName(const ::testing::TestParamInfo<FaultCase>& info) { return describe(info.param); }
void PrintTo(const FaultCase& c, std::ostream* os) { *os << describe(c); }

}  // namespace

// A failed write, a full disk or a failed close: a failure is reported, no
// "saved", and nothing is left in the folder, neither under the final name
// nor the temporary one.
TEST_P(RecorderFaultTest, FailureIsReportedAndNothingIsLeft) {
  const FaultCase c = GetParam();
  std::atomic<size_t> bytes{0};
  std::atomic<bool> closing{false};
  auto e = env();
  e.writeBytes = [&](int fd, const void* data, size_t n) -> ssize_t {
    const size_t before = bytes.fetch_add(n);
    if (c.fault == Fault::WriteFails && before > 20000) {
      errno = EIO;
      return -1;
    }
    if (c.fault == Fault::DiskFills && before + n > 30000) {
      errno = ENOSPC;
      return before < 30000 ? static_cast<ssize_t>(::write(fd, data, 30000 - before)) : -1;
    }
    if (c.fault == Fault::HeaderRewriteFails && closing.load()) {
      errno = EIO;
      return -1;
    }
    return ::write(fd, data, n);
  };
  e.syncFile = [&](int fd) {
    if (c.fault == Fault::SyncFails) {
      errno = EIO;
      return -1;
    }
    return ::fsync(fd);
  };
  auto r = make(c.mode, e);
  r->open(false);
  ASSERT_TRUE(r->isOpen());
  const std::string finalName = r->fileName();
  writePattern(*r, 20000, 1000);
  if (c.mode != 0) std::this_thread::sleep_for(50ms);  // let the writer catch up
  closing = true;
  r->close();
  EXPECT_FALSE(r->isOpen());
  EXPECT_EQ(r->lastOutcome(), c.outcome);
  const auto m = messages_->all();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].first, c.message);
  if (c.outcome == Outcome::Failed) {
    EXPECT_EQ(m[0].second, (dir_ / finalName).string());
  }
  EXPECT_TRUE(filesIn(dir_).empty()) << "left: " << (filesIn(dir_).empty() ? "" : filesIn(dir_)[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RecorderFaultTest,
    ::testing::Values(FaultCase{0, Fault::WriteFails, "audioFileSaveFailed", Outcome::Failed},
                      FaultCase{0, Fault::DiskFills, "alertDiskFull", Outcome::DiskFull},
                      FaultCase{0, Fault::SyncFails, "audioFileSaveFailed", Outcome::Failed},
                      FaultCase{0, Fault::HeaderRewriteFails, "audioFileSaveFailed", Outcome::Failed},
                      FaultCase{1, Fault::WriteFails, "audioFileSaveFailed", Outcome::Failed},
                      FaultCase{1, Fault::DiskFills, "alertDiskFull", Outcome::DiskFull},
                      FaultCase{1, Fault::SyncFails, "audioFileSaveFailed", Outcome::Failed},
                      FaultCase{1, Fault::HeaderRewriteFails, "audioFileSaveFailed", Outcome::Failed}),
    faultCaseName);

// A recorder in a child process that ends in the middle of a file, as a
// crash would: its part file stays behind, with nobody to finish it.
void crashWhileRecording(AudioFileRecorder::Environment e, audiotest::FakeRecordingSource& source, bool bounce) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    AudioFileRecorder r(&source, bounce ? 0 : 1, std::move(e));
    r.setBounceMode(bounce);
    r.open(false);
    Block b(0, 500);
    r.write(b.left.data(), b.right.data(), 500);
    if (!bounce) std::this_thread::sleep_for(50ms);  // the writer thread has the frames
    ::_exit(r.isOpen() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(RecorderTest, PartFilesNobodyIsWritingAreRemovedAndFreeTheirNames) {
  const std::string part = ".Test Pattern BPM120.wav.part";
  enum class Left { CrashedBounce, CrashedRecording, PlainFile, LiveRecorder };
  const struct Case {
    const char* label;
    Left left;
    std::string savedAs;
    std::vector<std::string> remaining;  // after the new file is saved
  } cases[] = {
      {"a bounce that crashed", Left::CrashedBounce, "Test Pattern BPM120.wav", {"Test Pattern BPM120.wav"}},
      {"a recording that crashed, of another name", Left::CrashedRecording, "Test Pattern BPM120.wav",
       {"Test Pattern BPM120.wav"}},
      {"an unlocked part file of another name", Left::PlainFile, "Test Pattern BPM120.wav",
       {"Test Pattern BPM120.wav"}},
      // A recorder that is still writing keeps its part file and its name.
      {"a live recorder", Left::LiveRecorder, "Test Pattern BPM120 - 1.wav", {part, "Test Pattern BPM120 - 1.wav"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::unique_ptr<AudioFileRecorder> live;
    switch (c.left) {
      case Left::CrashedBounce:
        crashWhileRecording(env(), source_, true);
        ASSERT_EQ(filesIn(dir_), std::vector<std::string>{part});
        break;
      case Left::CrashedRecording:
        crashWhileRecording(env(), source_, false);
        ASSERT_EQ(filesIn(dir_), std::vector<std::string>{"." + AudioFileRecorder::realTimeFileName(now_, 0) + ".part"});
        break;
      case Left::PlainFile: std::ofstream(dir_ / ".Other BPM90.wav.part") << "left over"; break;
      case Left::LiveRecorder:
        live = make(0);
        live->open(false);
        ASSERT_TRUE(live->isOpen());
        writePattern(*live, 300, 300);
        break;
    }
    auto r = make(0);
    ASSERT_EQ(bounceCurrentPattern(source_, *r), BounceResult::Rendered);
    EXPECT_EQ(r->lastSavedPath(), (dir_ / c.savedAs).string());
    EXPECT_EQ(filesIn(dir_), c.remaining);
    if (live) {
      live->close();
      EXPECT_EQ(live->lastSavedPath(), (dir_ / "Test Pattern BPM120.wav").string());
      EXPECT_EQ(readWav(dir_ / "Test Pattern BPM120.wav").info.frames, 300);
    }
  }
}

TEST_F(RecorderTest, OnlyUnlockedPartFilesAreRemoved) {
  // Names and kinds that are not a recorder's part file stay as they are.
  fs::create_directories(dir_ / "target");
  std::ofstream(dir_ / "target" / "keep.wav") << "target";
  std::ofstream(dir_ / ".hidden.wav") << "x";
  std::ofstream(dir_ / "visible.wav.part") << "x";
  std::ofstream(dir_ / ".notes.part") << "x";
  fs::create_directories(dir_ / ".folder.wav.part");
  fs::create_symlink(dir_ / "target" / "keep.wav", dir_ / ".link.wav.part");
  // A part file some other program holds locked is in use.
  std::ofstream(dir_ / ".held.wav.part") << "x";
  const int held = ::open((dir_ / ".held.wav.part").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_SH), 0);
  auto r = make(0);
  ASSERT_EQ(bounceCurrentPattern(source_, *r), BounceResult::Rendered);
  ::close(held);
  EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{".folder.wav.part", ".held.wav.part", ".hidden.wav",
                                                     ".link.wav.part", ".notes.part", "Test Pattern BPM120.wav",
                                                     "target", "visible.wav.part"}));
  EXPECT_TRUE(fs::exists(dir_ / "target" / "keep.wav"));
}

TEST_F(RecorderTest, FileThatCannotBeCreatedIsNoFileAndNoMessage) {
  auto e = env();
  e.documentsDirectory = dir_ / "not-a-folder";
  { std::ofstream blocker(dir_ / "not-a-folder"); }
  auto r = make(0, e);
  r->open(false);
  EXPECT_FALSE(r->isOpen());
  EXPECT_EQ(r->lastOutcome(), Outcome::NotOpened);
  EXPECT_TRUE(messages_->all().empty());
}

// A real file system that fills up, when this machine lets the test mount
// a small one.
TEST_F(RecorderTest, RealFullDiskTakesTheDiskFullPath) {
  const fs::path mnt = dir_ / "small";
  fs::create_directory(mnt);
  if (run("mount -t tmpfs -o size=256k tmpfs '" + mnt.string() + "' 2>&1; echo $?").find("0\n") == std::string::npos ||
      AudioFileRecorder::freeDiskBytes(mnt) > 300 * 1024) {
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  }
  struct Unmount {
    fs::path p;
    ~Unmount() { run("umount '" + p.string() + "'"); }
  } unmount{mnt};
  auto e = env();
  e.documentsDirectory = mnt;
  e.freeDiskBytes = [](const fs::path&) { return 64 * kMiB; };  // the measurement is too hopeful
  auto r = make(0, e);
  r->open(false);
  ASSERT_TRUE(r->isOpen());
  writePattern(*r, 100000, 1024);  // 400 kB into 256 kB
  r->close();
  EXPECT_EQ(r->lastOutcome(), Outcome::DiskFull);
  EXPECT_EQ(messages_->kinds(), (std::vector<std::string>{"alertDiskFull"}));
  EXPECT_TRUE(filesIn(mnt).empty());
}

// --- the real-time mode ---

TEST_F(RecorderTest, RealTimeWritesNeverWaitForTheDisk) {
  const std::thread::id mainThread = std::this_thread::get_id();
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  std::atomic<bool> writerBlocked{false};
  auto e = env();
  e.writeBytes = [&](int fd, const void* data, size_t n) -> ssize_t {
    if (std::this_thread::get_id() != mainThread) {
      // The file writer is held here until the render side is done.
      writerBlocked = true;
      std::unique_lock<std::mutex> lock(m);
      cv.wait_for(lock, 10s, [&] { return release; });
    }
    return ::write(fd, data, n);
  };
  auto r = make(1, e);
  r->open(false);
  ASSERT_TRUE(r->isOpen());
  std::atomic<bool> renderDone{false};
  bool blockedWhileRendering = false;
  std::thread render([&] {
    Block first(0, 256);
    r->write(first.left.data(), first.right.data(), 256);
    for (int i = 0; i < 5000 && !writerBlocked.load(); ++i) std::this_thread::sleep_for(1ms);
    for (uint64_t at = 256; at < 200 * 256; at += 256) {
      Block b(at, 256);
      r->write(b.left.data(), b.right.data(), 256);
    }
    blockedWhileRendering = writerBlocked.load();
    renderDone = true;
  });
  render.join();
  EXPECT_TRUE(renderDone.load());
  EXPECT_TRUE(blockedWhileRendering);
  EXPECT_EQ(r->framesWritten(), 200u * 256u) << "every frame was taken while the disk was stuck";
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  r->close();
  ASSERT_EQ(r->lastOutcome(), Outcome::Saved);
  const Wav w = readWav(r->lastSavedPath());
  ASSERT_EQ(w.info.frames, 200 * 256);
  for (uint64_t k = 0; k < 200 * 256; ++k) ASSERT_EQ(w.samples[k * 2], TestPattern::left(k)) << k;
}

TEST_F(RecorderTest, RealTimeFramesDroppedOnAFullRingAreAFailure) {
  const std::thread::id mainThread = std::this_thread::get_id();
  std::atomic<bool> release{false};
  auto e = env();
  e.ringFrames = 2048;
  e.writeBytes = [&](int fd, const void* data, size_t n) -> ssize_t {
    while (std::this_thread::get_id() != mainThread && !release.load()) std::this_thread::sleep_for(1ms);
    return ::write(fd, data, n);
  };
  auto r = make(1, e);
  r->open(false);
  writePattern(*r, 10 * 1024, 1024);
  release = true;
  r->close();
  EXPECT_EQ(r->lastOutcome(), Outcome::Failed);
  EXPECT_EQ(messages_->kinds(), (std::vector<std::string>{"audioFileSaveFailed"}));
  EXPECT_TRUE(filesIn(dir_).empty());
}

TEST_F(RecorderTest, RealTimeFileEndsByItselfAtTheLimit) {
  freeBytes_ = 32 * kMiB + 4 * 3000;
  std::vector<std::function<void()>> queued;
  std::mutex qm;
  auto e = env();
  e.mainQueue = [&](std::function<void()> f) {
    std::lock_guard<std::mutex> lock(qm);
    queued.push_back(std::move(f));
  };
  auto r = make(1, e);
  r->open(false);
  ASSERT_EQ(r->frameLimit(), 3000u);
  std::thread render([&] { writePattern(*r, 4 * 1024, 1024); });
  render.join();
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (r->isOpen() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
  EXPECT_FALSE(r->isOpen()) << "the writer closes the file once past the limit";
  EXPECT_EQ(r->lastOutcome(), Outcome::Saved);
  // The message waits for the main queue.
  EXPECT_TRUE(messages_->all().empty());
  {
    std::lock_guard<std::mutex> lock(qm);
    ASSERT_EQ(queued.size(), 1u);
    queued[0]();
  }
  EXPECT_EQ(messages_->kinds(), (std::vector<std::string>{"realTimeRecAudioFileSaved"}));
  EXPECT_EQ(readWav(r->lastSavedPath()).info.frames, 3072) << "the block that passed the limit is whole";
  r->close();  // nothing more to do
  EXPECT_EQ(messages_->all().size(), 1u);
  // And it can record again, to a new name.
  now_ += 1;
  r->open(false);
  EXPECT_TRUE(r->isOpen());
  r->close();
}

TEST_F(RecorderTest, RealTimeContentIsExactWhateverTheBlockSizes) {
  auto r = make(1);
  r->open(false);
  std::thread render([&] {
    uint64_t at = 0;
    for (uint32_t n : {1u, 7u, 300u, 1024u, 4096u, 13u, 999u}) {
      for (int rep = 0; rep < 5; ++rep) {
        Block b(at, n);
        r->write(b.left.data(), b.right.data(), n);
        at += n;
      }
    }
  });
  render.join();
  r->close();
  const uint64_t total = 5 * (1 + 7 + 300 + 1024 + 4096 + 13 + 999);
  const Wav w = readWav(r->lastSavedPath());
  ASSERT_EQ(static_cast<uint64_t>(w.info.frames), total);
  for (uint64_t k = 0; k < total; ++k) {
    ASSERT_EQ(w.samples[k * 2], TestPattern::left(k)) << k;
    ASSERT_EQ(w.samples[k * 2 + 1], TestPattern::right(k)) << k;
  }
}
