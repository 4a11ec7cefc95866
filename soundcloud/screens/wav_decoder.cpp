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

std::optional<WavLayout> parse(std::span<const uint8_t> bytes, std::string* why, bool complete) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    fail(why, "not a RIFF/WAVE file");
    return std::nullopt;
  }
  WavLayout l;
  bool haveFormat = false;
  bool haveData = false;
  size_t pos = 12;
  // Every size the header gives is measured against the bytes after it, so
  // no chunk is read past the end of the input whatever it claims.
  while (pos + 8 <= bytes.size()) {
    const uint8_t* chunk = bytes.data() + pos;
    const uint32_t size = le32(chunk + 4);
    const size_t available = bytes.size() - pos - 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || available < 16) {
        // A stream that has not all arrived may still bring the rest.
        if (!complete && size >= 16) return std::nullopt;
        fail(why, "format chunk too short");
        return std::nullopt;
      }
      l.format = le16(chunk + 8);
      l.channels = le16(chunk + 10);
      l.rate = le32(chunk + 12);
      l.bits = le16(chunk + 22);
      if (l.format == kFormatExtensible) {
        if (size < 40 || available < 40) {
          if (!complete && size >= 40) return std::nullopt;
          fail(why, "extensible format chunk too short");
          return std::nullopt;
        }
        l.format = le16(chunk + 32);  // the sub-format GUID starts with the format code
      }
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      l.dataOffset = pos + 8;
      l.dataSize = size;
      haveData = true;
      // While a stream arrives its samples follow: what comes after them
      // cannot be waited for.
      if (!complete && haveFormat) break;
    }
    pos += 8 + static_cast<size_t>(size) + (size & 1);
  }
  if (!complete && (!haveFormat || !haveData)) return std::nullopt;
  if (!haveFormat) {
    fail(why, "no format chunk");
    return std::nullopt;
  }
  if (!haveData) {
    fail(why, "no data chunk");
    return std::nullopt;
  }
  const bool intOk = l.format == kFormatPCM && (l.bits == 8 || l.bits == 16 || l.bits == 24 || l.bits == 32);
  const bool floatOk = l.format == kFormatFloat && (l.bits == 32 || l.bits == 64);
  if (!intOk && !floatOk) {
    fail(why, "unsupported sample format");
    return std::nullopt;
  }
  if (l.channels < kMinWavChannels || l.channels > kMaxWavChannels) {
    fail(why, "unsupported channel count (1 to 8 are played)");
    return std::nullopt;
  }
  // The rate decides how many frames come out of each frame that goes in:
  // a rate of a few hertz would turn a small file into gigabytes.
  if (l.rate < kMinWavSampleRate || l.rate > kMaxWavSampleRate) {
    fail(why, "unsupported sample rate (8,000 to 192,000 Hz are played)");
    return std::nullopt;
  }
  return l;
}

std::optional<DecodedAudio> decode(std::span<const uint8_t> bytes, std::string* why, size_t maxFrames) {
  auto layout = parse(bytes, why, true);
  if (!layout) return std::nullopt;
  // A file cut short plays what it holds.
  const size_t outFrames = layout->outputFrames(bytes.size());
  if (outFrames > maxFrames) {
    fail(why, "too long to play");
    return std::nullopt;
  }
  DecodedAudio out;
  out.samples.resize(outFrames * 2);
  convertWavFrames(*layout, bytes, bytes.size(), 0, outFrames, out.samples.data());
  return out;
}

}  // namespace

size_t WavLayout::inputFrames(size_t available) const {
  const size_t have = available > dataOffset ? std::min<size_t>(dataSize, available - dataOffset) : 0;
  return have / (static_cast<size_t>(bits / 8) * channels);
}

size_t WavLayout::outputFrames(size_t available) const {
  const size_t in = inputFrames(available);
  if (rate == static_cast<uint32_t>(kPlayerSampleRate) || in == 0) return in;
  // The output's size is known before anything is allocated; the input
  // frames are bounded by the input's length and the step by the rate.
  return static_cast<size_t>(std::floor((in - 1) / (rate / kPlayerSampleRate))) + 1;
}

std::optional<WavLayout> parseWavHeader(std::span<const uint8_t> bytes, bool complete, std::string* why) noexcept {
  try {
    return parse(bytes, why, complete);
  } catch (...) {
    fail(why, "cannot decode");
  }
  return std::nullopt;
}

void convertWavFrames(const WavLayout& l, std::span<const uint8_t> bytes, size_t available, size_t first, size_t count,
                      int16_t* out) {
  const size_t bytesPerSample = l.bits / 8;
  const size_t frameBytes = bytesPerSample * l.channels;
  const size_t inFrames = l.inputFrames(std::min(available, bytes.size()));
  if (inFrames == 0) return;
  const uint8_t* data = bytes.data() + l.dataOffset;
  auto left = [&](size_t i) { return sampleAt(data + i * frameBytes, l.format, l.bits); };
  auto right = [&](size_t i) {
    return sampleAt(data + i * frameBytes + (l.channels > 1 ? bytesPerSample : 0), l.format, l.bits);
  };
  if (l.rate == static_cast<uint32_t>(kPlayerSampleRate)) {
    for (size_t i = first; i < first + count && i < inFrames; ++i, out += 2) {
      out[0] = toInt16(left(i));
      out[1] = toInt16(right(i));
    }
    return;
  }
  const double step = l.rate / kPlayerSampleRate;
  for (size_t i = first; i < first + count; ++i, out += 2) {
    const double at = static_cast<double>(i) * step;
    const size_t a = std::min(static_cast<size_t>(at), inFrames - 1);
    const size_t b = std::min(a + 1, inFrames - 1);
    const double t = at - static_cast<double>(a);
    // A weighted sum of two values in [-1, 1] stays in [-1, 1].
    out[0] = toInt16(left(a) * (1.0 - t) + left(b) * t);
    out[1] = toInt16(right(a) * (1.0 - t) + right(b) * t);
  }
}

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
