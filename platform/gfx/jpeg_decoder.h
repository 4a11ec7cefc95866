#pragma once
// JPEG pictures (avatars and artwork from the network) decoded with
// libjpeg-turbo into 32-bit pixels in Cairo's ARGB32 byte order (B, G, R,
// A in memory on this little-endian machine), opaque.
//
// The input is untrusted: the size in the header is bounded before
// anything is allocated, a warning (a file cut short, a damaged scan) is a
// refusal as much as an error, progressive files are held to a bounded
// number of scans, and nothing throws.
//
// Pure functions; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// Four megapixels (2048 × 2048): more than any picture the service serves
// (its largest artwork is 500 × 500); a header claiming more is refused
// rather than allocated and decoded.
inline constexpr int64_t kMaxJPEGPixels = 4 * 1024 * 1024;

struct DecodedPixels {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;  // width × 4 bytes a row, rows top to bottom
};

bool looksLikeJPEG(std::span<const uint8_t> bytes);
std::optional<DecodedPixels> decodeJPEG(std::span<const uint8_t> bytes, std::string* why = nullptr,
                                        int64_t maxPixels = kMaxJPEGPixels) noexcept;
// A baseline JPEG of the pixels at a quality of 1 to 100 (tests, tools);
// empty when the encoder refuses.
std::vector<uint8_t> encodeJPEG(const DecodedPixels& pixels, int quality);

}  // namespace platform
