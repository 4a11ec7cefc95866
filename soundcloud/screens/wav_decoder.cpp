#include "soundcloud/screens/wav_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace tssc {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

constexpr uint16_t kFormatPCM = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// One sample as a value in [-1, 1).
double sampleAt(const uint8_t* p, uint16_t format, uint16_t bits) {
  if (format == kFormatFloat) {
    if (bits == 32) {
      float f;
      std::memcpy(&f, p, 4);
      return std::isfinite(f) ? f : 0.0;
    }
    double d;
    std::memcpy(&d, p, 8);
    return std::isfinite(d) ? d : 0.0;
  }
  switch (bits) {
    case 8: return (static_cast<int>(p[0]) - 128) / 128.0;
    case 16: return static_cast<int16_t>(le16(p)) / 32768.0;
    case 24: {
      int32_t v = static_cast<int32_t>((p[0] << 8) | (p[1] << 16) | (static_cast<uint32_t>(p[2]) << 24)) >> 8;
      return v / 8388608.0;
    }
    default: return static_cast<int32_t>(le32(p)) / 2147483648.0;
  }
}

int16_t toInt16(double v) {
  const double s = std::round(v * 32768.0);
  return static_cast<int16_t>(std::clamp(s, -32768.0, 32767.0));
}

}  // namespace

std::optional<DecodedAudio> decodeWav(std::span<const uint8_t> bytes, std::string* why) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    fail(why, "not a RIFF/WAVE file");
    return std::nullopt;
  }
  uint16_t format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  bool haveFormat = false;
  const uint8_t* data = nullptr;
  size_t dataSize = 0;
  size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const uint8_t* chunk = bytes.data() + pos;
    const uint32_t size = le32(chunk + 4);
    const size_t available = bytes.size() - pos - 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || available < 16) {
        fail(why, "format chunk too short");
        return std::nullopt;
      }
      format = le16(chunk + 8);
      channels = le16(chunk + 10);
      rate = le32(chunk + 12);
      bits = le16(chunk + 22);
      if (format == kFormatExtensible) {
        if (size < 40 || available < 40) {
          fail(why, "extensible format chunk too short");
          return std::nullopt;
        }
        format = le16(chunk + 32);  // the sub-format GUID starts with the format code
      }
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      data = chunk + 8;
      // A file cut short plays what it holds.
      dataSize = std::min<size_t>(size, available);
    }
    pos += 8 + static_cast<size_t>(size) + (size & 1);
  }
  if (!haveFormat) {
    fail(why, "no format chunk");
    return std::nullopt;
  }
  if (!data) {
    fail(why, "no data chunk");
    return std::nullopt;
  }
  const bool intOk = format == kFormatPCM && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  const bool floatOk = format == kFormatFloat && (bits == 32 || bits == 64);
  if (!intOk && !floatOk) {
    fail(why, "unsupported sample format");
    return std::nullopt;
  }
  if (channels == 0 || rate == 0 || rate > 1'000'000) {
    fail(why, "bad channel count or sample rate");
    return std::nullopt;
  }
  const size_t bytesPerSample = bits / 8;
  const size_t frameBytes = bytesPerSample * channels;
  const size_t inFrames = dataSize / frameBytes;
  std::vector<double> left(inFrames), right(inFrames);
  for (size_t i = 0; i < inFrames; ++i) {
    const uint8_t* f = data + i * frameBytes;
    left[i] = sampleAt(f, format, bits);
    right[i] = channels > 1 ? sampleAt(f + bytesPerSample, format, bits) : left[i];
  }
  DecodedAudio out;
  if (rate == static_cast<uint32_t>(kPlayerSampleRate)) {
    out.samples.resize(inFrames * 2);
    for (size_t i = 0; i < inFrames; ++i) {
      out.samples[2 * i] = toInt16(left[i]);
      out.samples[2 * i + 1] = toInt16(right[i]);
    }
    return out;
  }
  const double step = rate / kPlayerSampleRate;
  const size_t outFrames = inFrames == 0 ? 0 : static_cast<size_t>(std::floor((inFrames - 1) / step)) + 1;
  out.samples.resize(outFrames * 2);
  for (size_t i = 0; i < outFrames; ++i) {
    const double at = i * step;
    const size_t a = static_cast<size_t>(at);
    const size_t b = std::min(a + 1, inFrames - 1);
    const double t = at - static_cast<double>(a);
    out.samples[2 * i] = toInt16(left[a] + (left[b] - left[a]) * t);
    out.samples[2 * i + 1] = toInt16(right[a] + (right[b] - right[a]) * t);
  }
  return out;
}

std::optional<DecodedAudio> decodeWavFile(const std::filesystem::path& path, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fail(why, "cannot open the file");
    return std::nullopt;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return decodeWav(bytes, why);
}

std::vector<uint8_t> encodeWav16(const std::vector<int16_t>& samples, uint16_t channels, uint32_t sampleRate) {
  std::vector<uint8_t> out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto put16 = [&](uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put32(36 + dataBytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(16);
  put16(1);
  put16(channels);
  put32(sampleRate);
  put32(sampleRate * channels * 2);
  put16(static_cast<uint16_t>(channels * 2));
  put16(16);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(dataBytes);
  for (int16_t s : samples) put16(static_cast<uint16_t>(s));
  return out;
}

}  // namespace tssc
