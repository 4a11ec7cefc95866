#pragma once
// SHA-1 (FIPS 180-4), the digest the pattern library names new patterns by.
// Not for security: nothing here relies on collision resistance.
//
// Thread-safe (no shared state). Not real-time-safe.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

inline constexpr size_t kSha1Length = 20;
using Sha1Digest = std::array<uint8_t, kSha1Length>;

Sha1Digest sha1(std::span<const uint8_t> bytes);
Sha1Digest sha1(std::string_view text);

}  // namespace platform
