#pragma once
// Reads a RIFF/WAVE file into the players' one format: interleaved stereo
// signed 16-bit at 44,100 Hz. Integer PCM of 8, 16, 24 and 32 bits and
// IEEE float of 32 and 64 bits (plain or in the extensible format), mono
// (copied to both sides) or up to eight channels (the first two are kept),
// at 8,000 to 192,000 Hz (resampled linearly). Anything else is refused
// with a reason.
//
// The input is untrusted (files from other programs, network bodies): no
// size in its header is believed beyond the bytes that are there, the
// output is bounded before it is allocated, and no exception leaves.
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
inline constexpr uint32_t kMinWavSampleRate = 8000;
inline constexpr uint32_t kMaxWavSampleRate = 192000;
inline constexpr uint16_t kMinWavChannels = 1;
inline constexpr uint16_t kMaxWavChannels = 8;
// Two hours at the players' rate, the longest file the recorder writes
// (1.27 GB decoded); longer audio is refused rather than allocated.
inline constexpr size_t kMaxDecodedFrames = size_t{7200} * 44100;

struct DecodedAudio {
  std::vector<int16_t> samples;  // interleaved left, right
  size_t frames() const { return samples.size() / 2; }
};

// `maxFrames` bounds the decoded length (output frames).
std::optional<DecodedAudio> decodeWav(std::span<const uint8_t> bytes, std::string* why = nullptr,
                                      size_t maxFrames = kMaxDecodedFrames) noexcept;
std::optional<DecodedAudio> decodeWavFile(const std::filesystem::path& path, std::string* why = nullptr,
                                          size_t maxFrames = kMaxDecodedFrames) noexcept;

// The layout of a WAV file's header, for decoding it in pieces: a stream
// still arriving, a long file played as it is read.
struct WavLayout {
  uint16_t format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  size_t dataOffset = 0;
  size_t dataSize = 0;  // as the header claims
  // Whole input frames within the first `available` bytes of the file.
  size_t inputFrames(size_t available) const;
  // Output frames (at the players' rate) those input frames give.
  size_t outputFrames(size_t available) const;
};
// The header of a file of which `bytes` arrived; with `complete` false, a
// header not yet whole answers nullopt with no reason (wait for more), and
// the chunks after the samples are not looked for.
std::optional<WavLayout> parseWavHeader(std::span<const uint8_t> bytes, bool complete, std::string* why = nullptr) noexcept;
// Output frames [first, first + count) from the first `available` bytes of
// the file in `bytes`, interleaved stereo into `out`; frames beyond what
// the bytes hold are left as they are.
void convertWavFrames(const WavLayout& layout, std::span<const uint8_t> bytes, size_t available, size_t first,
                      size_t count, int16_t* out);

// A canonical 16-bit PCM WAV image of interleaved samples (tests, tools).
std::vector<uint8_t> encodeWav16(const std::vector<int16_t>& samples, uint16_t channels, uint32_t sampleRate);

}  // namespace tssc
