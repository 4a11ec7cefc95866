#include "soundcloud/screens/wav_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <new>

namespace tssc {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool fail(std::string* why, const char* text) noexcept {
  try {
    if (why) *why = text;
  } catch (...) {
    // No memory even for the reason: the refusal itself still stands.
  }
  return false;
}

constexpr uint16_t kFormatPCM = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// One sample as a value in [-1, 1]. Float files may hold anything: values
// beyond full scale clip, infinities clip to their side and NaN is silence,
// so that everything after this works on finite values of at most 1.
double sampleAt(const uint8_t* p, uint16_t format, uint16_t bits) {
  if (format == kFormatFloat) {
    double d;
    if (bits == 32) {
      float f;
      std::memcpy(&f, p, 4);
      d = f;
    } else {
      std::memcpy(&d, p, 8);
    }
    if (std::isnan(d)) return 0.0;
    return std::clamp(d, -1.0, 1.0);
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

// Total over all doubles: the cast itself is undefined for NaN and for
// anything outside int16's range, so neither may reach it.
int16_t toInt16(double v) {
  if (std::isnan(v)) return 0;
  const double s = std::round(v * 32768.0);
  return static_cast<int16_t>(std::clamp(s, -32768.0, 32767.0));
}

std::optional<DecodedAudio> decode(std::span<const uint8_t> bytes, std::string* why, size_t maxFrames) {
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
  // Every size the header gives is measured against the bytes after it, so
  // no chunk is read past the end of the input whatever it claims.
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
  if (channels < kMinWavChannels || channels > kMaxWavChannels) {
    fail(why, "unsupported channel count (1 to 8 are played)");
    return std::nullopt;
  }
  // The rate decides how many frames come out of each frame that goes in:
  // a rate of a few hertz would turn a small file into gigabytes.
  if (rate < kMinWavSampleRate || rate > kMaxWavSampleRate) {
    fail(why, "unsupported sample rate (8,000 to 192,000 Hz are played)");
    return std::nullopt;
  }
  const size_t bytesPerSample = bits / 8;
  const size_t frameBytes = bytesPerSample * channels;
  const size_t inFrames = dataSize / frameBytes;
  const bool resample = rate != static_cast<uint32_t>(kPlayerSampleRate);
  const double step = rate / kPlayerSampleRate;
  // The output's size is known before anything is allocated; inFrames is
  // bounded by the input's length and step by the rate, so this is finite.
  const size_t outFrames = !resample      ? inFrames
                           : inFrames == 0 ? 0
                                           : static_cast<size_t>(std::floor((inFrames - 1) / step)) + 1;
  if (outFrames > maxFrames) {
    fail(why, "too long to play");
    return std::nullopt;
  }
  auto left = [&](size_t i) { return sampleAt(data + i * frameBytes, format, bits); };
  auto right = [&](size_t i) {
    return sampleAt(data + i * frameBytes + (channels > 1 ? bytesPerSample : 0), format, bits);
  };
  DecodedAudio out;
  out.samples.resize(outFrames * 2);
  if (!resample) {
    for (size_t i = 0; i < outFrames; ++i) {
      out.samples[2 * i] = toInt16(left(i));
      out.samples[2 * i + 1] = toInt16(right(i));
    }
    return out;
  }
  for (size_t i = 0; i < outFrames; ++i) {
    const double at = static_cast<double>(i) * step;
    const size_t a = std::min(static_cast<size_t>(at), inFrames - 1);
    const size_t b = std::min(a + 1, inFrames - 1);
    const double t = at - static_cast<double>(a);
    // A weighted sum of two values in [-1, 1] stays in [-1, 1].
    out.samples[2 * i] = toInt16(left(a) * (1.0 - t) + left(b) * t);
    out.samples[2 * i + 1] = toInt16(right(a) * (1.0 - t) + right(b) * t);
  }
  return out;
}

}  // namespace

// Untrusted bytes from files and the network come through here: whatever
// they hold, the caller gets audio or a reason, never an exception.
std::optional<DecodedAudio> decodeWav(std::span<const uint8_t> bytes, std::string* why, size_t maxFrames) noexcept {
  try {
    return decode(bytes, why, maxFrames);
  } catch (const std::bad_alloc&) {
    fail(why, "not enough memory to decode");
  } catch (...) {
    fail(why, "cannot decode");
  }
  return std::nullopt;
}

std::optional<DecodedAudio> decodeWavFile(const std::filesystem::path& path, std::string* why,
                                          size_t maxFrames) noexcept {
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      fail(why, "cannot open the file");
      return std::nullopt;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decodeWav(bytes, why, maxFrames);
  } catch (const std::bad_alloc&) {
    fail(why, "not enough memory to decode");
  } catch (...) {
    fail(why, "cannot read the file");
  }
  return std::nullopt;
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
