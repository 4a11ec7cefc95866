#include "soundcloud/screens/wav_decoder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace tssc;

namespace {

// A WAV image of raw sample bytes in the given format code and layout.
std::vector<uint8_t> wavOf(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits,
                           const std::vector<uint8_t>& data, bool extensible = false) {
  std::vector<uint8_t> out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto put16 = [&](uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  const uint32_t fmtSize = extensible ? 40 : 16;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put32(4 + 8 + fmtSize + 8 + static_cast<uint32_t>(data.size()));
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(fmtSize);
  put16(extensible ? 0xFFFE : format);
  put16(channels);
  put32(rate);
  put32(rate * channels * bits / 8);
  put16(static_cast<uint16_t>(channels * bits / 8));
  put16(bits);
  if (extensible) {
    put16(22);
    put16(bits);
    put32(3);
    put16(format);
    for (int i = 0; i < 14; ++i) out.push_back(0);
  }
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

template <typename T>
std::vector<uint8_t> bytesOf(std::vector<T> values) {
  std::vector<uint8_t> b(values.size() * sizeof(T));
  std::memcpy(b.data(), values.data(), b.size());
  return b;
}

}  // namespace

TEST(WavDecoder, ReadsEveryFormatIntoStereoSixteenBit) {
  struct Case {
    const char* name;
    std::vector<uint8_t> wav;
    std::vector<int16_t> expected;
  } cases[] = {
      {"16-bit stereo", encodeWav16({100, -100, 32767, -32768}, 2, 44100), {100, -100, 32767, -32768}},
      {"16-bit mono", encodeWav16({5, -7}, 1, 44100), {5, 5, -7, -7}},
      {"8-bit mono", wavOf(1, 1, 44100, 8, {128, 192, 0}), {0, 0, 16384, 16384, -32768, -32768}},
      {"24-bit stereo", wavOf(1, 2, 44100, 24, {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0}), {16384, -16384}},
      {"32-bit int", wavOf(1, 2, 44100, 32, bytesOf<int32_t>({1 << 30, -(1 << 30)})), {16384, -16384}},
      {"32-bit float", wavOf(3, 2, 44100, 32, bytesOf<float>({0.5f, -2.0f})), {16384, -32768}},
      {"64-bit float", wavOf(3, 1, 44100, 64, bytesOf<double>({0.25})), {8192, 8192}},
      {"extensible 16-bit", wavOf(1, 2, 44100, 16, bytesOf<int16_t>({3, 4}), true), {3, 4}},
      {"four channels", wavOf(1, 4, 44100, 16, bytesOf<int16_t>({1, 2, 3, 4})), {1, 2}},
  };
  for (const Case& c : cases) {
    std::string why;
    auto d = decodeWav(c.wav, &why);
    ASSERT_TRUE(d.has_value()) << c.name << ": " << why;
    EXPECT_EQ(d->samples, c.expected) << c.name;
  }
}

TEST(WavDecoder, ResamplesOtherRatesLinearly) {
  // 22,050 Hz: every input frame gives two output frames, the second halfway.
  auto d = decodeWav(encodeWav16({0, 0, 1000, -1000, 2000, -2000}, 2, 22050));
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->samples, (std::vector<int16_t>{0, 0, 500, -500, 1000, -1000, 1500, -1500, 2000, -2000}));
  auto up = decodeWav(encodeWav16(std::vector<int16_t>(2 * 88200, 7), 2, 88200));
  ASSERT_TRUE(up.has_value());
  EXPECT_EQ(up->frames(), 44100u);
}

TEST(WavDecoder, RefusesWhatItCannotRead) {
  // A whole header and format chunk, then an information chunk where the
  // data chunk would be: only the missing data chunk is wrong with it.
  std::vector<uint8_t> noData = wavOf(1, 2, 44100, 16, {});
  noData.resize(noData.size() - 8);  // the empty data chunk's header
  noData.insert(noData.end(), {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'});
  const uint32_t riffSize = static_cast<uint32_t>(noData.size() - 8);
  for (int i = 0; i < 4; ++i) noData[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
  // The same bytes with a data chunk after the information chunk decode.
  std::vector<uint8_t> withData = noData;
  withData.insert(withData.end(), {'d', 'a', 't', 'a', 4, 0, 0, 0, 1, 0, 2, 0});
  ASSERT_TRUE(decodeWav(withData).has_value());

  std::vector<uint8_t> shortFormat = encodeWav16({1, 2}, 2, 44100);
  shortFormat.resize(20);  // cut inside the format chunk's header
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* why;
  } cases[] = {
      {"empty", {}, "not a RIFF/WAVE file"},
      {"not riff", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, "not a RIFF/WAVE file"},
      {"format chunk cut short", shortFormat, "format chunk too short"},
      {"no format", {'R', 'I', 'F', 'F', 12, 0, 0, 0, 'W', 'A', 'V', 'E', 'd', 'a', 't', 'a', 0, 0, 0, 0},
       "no format chunk"},
      {"no data", noData, "no data chunk"},
      {"adpcm", wavOf(2, 2, 44100, 4, {1, 2, 3, 4}), "unsupported sample format"},
      {"12-bit", wavOf(1, 2, 44100, 12, {1, 2, 3}), "unsupported sample format"},
      {"no channels", wavOf(1, 0, 44100, 16, {1, 2}), "unsupported channel count (1 to 8 are played)"},
      {"zero rate", wavOf(1, 2, 0, 16, {1, 2, 3, 4}), "unsupported sample rate (8,000 to 192,000 Hz are played)"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(decodeWav(c.bytes, &why).has_value()) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
}

TEST(WavDecoder, AFileCutShortPlaysWhatItHolds) {
  auto wav = encodeWav16({1, 2, 3, 4, 5, 6}, 2, 44100);
  wav.resize(wav.size() - 3);  // the last frame is incomplete
  auto d = decodeWav(wav);
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->samples, (std::vector<int16_t>{1, 2, 3, 4}));
}

namespace {

// What a decode did in a child process of its own: a crash, an escaped
// exception or a runaway allocation there cannot take the test down, and
// the child's peak memory is its own.
struct ChildDecode {
  bool exitedNormally = false;
  bool decoded = false;
  std::string why;
  size_t frames = 0;
  long peakGrowthKiB = 0;  // the child's maximum resident size, beyond what it started with
};

ChildDecode decodeInChild(const std::vector<uint8_t>& wav, size_t maxFrames = kMaxDecodedFrames) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    std::string why;
    const auto d = decodeWav(wav, &why, maxFrames);
    ::getrusage(RUSAGE_SELF, &after);
    const std::string report = std::to_string(d.has_value()) + "\n" + std::to_string(d ? d->frames() : 0) + "\n" +
                               std::to_string(after.ru_maxrss - before.ru_maxrss) + "\n" + why;
    if (::write(fds[1], report.data(), report.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string report;
  char buf[256];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ChildDecode r;
  r.exitedNormally = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!r.exitedNormally) return r;
  size_t a = report.find('\n'), b = report.find('\n', a + 1), c = report.find('\n', b + 1);
  r.decoded = report.substr(0, a) == "1";
  r.frames = std::stoul(report.substr(a + 1, b - a - 1));
  r.peakGrowthKiB = std::stol(report.substr(b + 1, c - b - 1));
  r.why = report.substr(c + 1);
  return r;
}

void setLe32(std::vector<uint8_t>& wav, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) wav[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TEST(WavDecoder, HostileHeadersAreRefusedOrReadWithinTheirBytes) {
  const std::string badRate = "unsupported sample rate (8,000 to 192,000 Hz are played)";
  const std::string badChannels = "unsupported channel count (1 to 8 are played)";
  const std::vector<uint8_t> sixteenK(16384, 0x11);
  // A data chunk that claims 4 GB but holds 400 bytes (100 stereo frames).
  std::vector<uint8_t> hugeData = wavOf(1, 2, 44100, 16, std::vector<uint8_t>(400, 1));
  setLe32(hugeData, 40, 0xFFFFFFFFu);
  // A format chunk that claims to run past the end: it is read, the rest
  // of the file is inside it, so there is no data chunk.
  std::vector<uint8_t> hugeFormat = wavOf(1, 2, 44100, 16, {1, 2, 3, 4});
  setLe32(hugeFormat, 16, 0xFFFFFFF0u);
  struct Case {
    const char* name;
    std::vector<uint8_t> wav;
    bool decodes;
    size_t frames;
    std::string why;
  } cases[] = {
      // 4,096 frames at 1 Hz would be 180 million frames at 44,100 Hz.
      {"1 Hz", wavOf(1, 2, 1, 16, sixteenK), false, 0, badRate},
      {"7,999 Hz", wavOf(1, 1, 7999, 8, sixteenK), false, 0, badRate},
      {"192,001 Hz", wavOf(1, 2, 192001, 16, sixteenK), false, 0, badRate},
      {"4 GHz", wavOf(1, 2, 0xFFFFFFFFu, 16, sixteenK), false, 0, badRate},
      {"nine channels", wavOf(1, 9, 44100, 16, sixteenK), false, 0, badChannels},
      {"65,535 channels", wavOf(1, 0xFFFF, 44100, 16, sixteenK), false, 0, badChannels},
      {"8,000 Hz, 8-bit mono", wavOf(1, 1, 8000, 8, sixteenK), true, 90312, ""},
      {"192,000 Hz, eight channels", wavOf(1, 8, 192000, 16, sixteenK), true, 235, ""},
      {"data size beyond the file", hugeData, true, 100, ""},
      {"format size beyond the file", hugeFormat, false, 0, "no data chunk"},
  };
  for (const Case& c : cases) {
    const ChildDecode r = decodeInChild(c.wav);
    ASSERT_TRUE(r.exitedNormally) << c.name << ": the decoder crashed or threw";
    EXPECT_EQ(r.decoded, c.decodes) << c.name << ": " << r.why;
    EXPECT_EQ(r.frames, c.frames) << c.name;
    EXPECT_EQ(r.why, c.why) << c.name;
    // The largest of them decodes to 360 KB.
    EXPECT_LT(r.peakGrowthKiB, 16 * 1024) << c.name;
  }
}

TEST(WavDecoder, TheDecodedLengthIsBoundedBeforeAnythingIsAllocated) {
  // A minute at 22,050 Hz is 2,645,999 frames out (10.6 MB): the last
  // input frame is the last output frame.
  const std::vector<uint8_t> minute = encodeWav16(std::vector<int16_t>(2 * 1323000, 3), 2, 22050);
  ASSERT_EQ(decodeWav(minute, nullptr, 2645999)->frames(), 2645999u);
  const ChildDecode r = decodeInChild(minute, 2645998);
  ASSERT_TRUE(r.exitedNormally);
  EXPECT_FALSE(r.decoded);
  EXPECT_EQ(r.why, "too long to play");
  // Refused before the output is made.
  EXPECT_LT(r.peakGrowthKiB, 4 * 1024);
  // The default bound is two hours at the players' rate.
  EXPECT_EQ(kMaxDecodedFrames, 7200u * 44100u);
}

TEST(WavDecoder, FloatSamplesOfAnyValueBecomeSamples) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double big = 1.7e308;
  struct Case {
    const char* name;
    std::vector<uint8_t> wav;
    std::vector<int16_t> expected;
  } cases[] = {
      // At the players' rate: each value on its own.
      {"64-bit extremes", wavOf(3, 1, 44100, 64, bytesOf<double>({big, -big, inf, -inf, nan, 4.9e-324})),
       {32767, 32767, -32768, -32768, 32767, 32767, -32768, -32768, 0, 0, 0, 0}},
      {"32-bit extremes", wavOf(3, 2, 44100, 32, bytesOf<float>({3.4e38f, -3.4e38f, std::nanf(""), -INFINITY})),
       {32767, -32768, 0, -32768}},
      // Resampled from 22,050 Hz: every second output frame is halfway
      // between two input frames, the others are exactly on one. The
      // difference of the two extremes is beyond every double.
      {"64-bit extremes resampled", wavOf(3, 1, 22050, 64, bytesOf<double>({big, -big, big})),
       {32767, 32767, 0, 0, -32768, -32768, 0, 0, 32767, 32767}},
      {"NaN between values resampled", wavOf(3, 1, 22050, 64, bytesOf<double>({0.5, nan, -inf})),
       {16384, 16384, 8192, 8192, 0, 0, -16384, -16384, -32768, -32768}},
  };
  for (const Case& c : cases) {
    std::string why;
    auto d = decodeWav(c.wav, &why);
    ASSERT_TRUE(d.has_value()) << c.name << ": " << why;
    EXPECT_EQ(d->samples, c.expected) << c.name;
  }
}
