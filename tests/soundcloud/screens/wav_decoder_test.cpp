#include "soundcloud/screens/wav_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

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
      {"no channels", wavOf(1, 0, 44100, 16, {1, 2}), "bad channel count or sample rate"},
      {"zero rate", wavOf(1, 2, 0, 16, {1, 2, 3, 4}), "bad channel count or sample rate"},
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
