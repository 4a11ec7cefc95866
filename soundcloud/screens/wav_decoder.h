#pragma once
// Reads a RIFF/WAVE file into the players' one format: interleaved stereo
// signed 16-bit at 44,100 Hz. Integer PCM of 8, 16, 24 and 32 bits and
// IEEE float of 32 and 64 bits (plain or in the extensible format), mono
// (copied to both sides) or more channels (the first two are kept), at any
// sample rate (resampled linearly). Anything else is refused with a reason.
//
// Pure functions; any thread (but not the render thread: they allocate).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tssc {

inline constexpr double kPlayerSampleRate = 44100.0;

struct DecodedAudio {
  std::vector<int16_t> samples;  // interleaved left, right
  size_t frames() const { return samples.size() / 2; }
};

std::optional<DecodedAudio> decodeWav(std::span<const uint8_t> bytes, std::string* why = nullptr);
std::optional<DecodedAudio> decodeWavFile(const std::filesystem::path& path, std::string* why = nullptr);

// A canonical 16-bit PCM WAV image of interleaved samples (tests, tools).
std::vector<uint8_t> encodeWav16(const std::vector<int16_t>& samples, uint16_t channels, uint32_t sampleRate);

}  // namespace tssc
