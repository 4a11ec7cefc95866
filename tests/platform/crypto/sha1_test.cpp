#include "platform/crypto/sha1.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string hex(const platform::Sha1Digest& d) {
  std::string s;
  char buf[3];
  for (uint8_t b : d) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

TEST(Sha1, KnownVectors) {
  // FIPS 180-4 examples and the empty message.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
  };
  for (const auto& [message, digest] : cases) EXPECT_EQ(hex(platform::sha1(message)), digest) << message;
}

TEST(Sha1, MillionAsAndBinaryInput) {
  const std::string million(1000000, 'a');
  EXPECT_EQ(hex(platform::sha1(million)), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  // Bytes with zeros and high values go through the span form unchanged.
  const std::vector<uint8_t> bytes = {0x00, 0xff, 0x00, 0x80};
  const std::string same("\x00\xff\x00\x80", 4);
  EXPECT_EQ(platform::sha1(bytes), platform::sha1(same));
  EXPECT_NE(platform::sha1(bytes), platform::sha1(std::string_view("\x00\xff\x00\x81", 4)));
}

}  // namespace
