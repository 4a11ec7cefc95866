#include "library/backup/zip_crypto.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> hex(const std::string& h) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
  return out;
}

// Known answers from an independent implementation: Python 3.11's
// zipfile._ZipDecrypter(password) applied to `cipher` gave `plain`.
struct Vector {
  std::string password;
  std::string cipher;
  std::string plain;
};

const Vector kVectors[] = {
    {"secret", "3a9107c455ee102b9964d00148656c6c6f", "f2fc269959bc120a328fc8a8ae34037b1a"},
    {"p\xe4ss", "c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7",
     "e3b072031af5e2012826c698666f3ff02d9c29c276000fc0927f09364cdf69d5"},
    {"", "0000000000000000", "abdb044b12ce7c66"},
};

class ZipCryptoVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(ZipCryptoVectors, DecryptsAndEncryptsLikeTheReference) {
  const Vector& v = GetParam();
  const auto cipher = hex(v.cipher);
  const auto plain = hex(v.plain);
  ASSERT_EQ(cipher.size(), plain.size());

  std::vector<uint8_t> d = cipher;
  ZipCrypto(v.password).decrypt(d);
  EXPECT_EQ(d, plain);

  // The keystream depends on the plain text, so encrypting the reference's
  // plain text must give back exactly its cipher text.
  std::vector<uint8_t> e = plain;
  ZipCrypto(v.password).encrypt(e);
  EXPECT_EQ(e, cipher);
}

INSTANTIATE_TEST_SUITE_P(Reference, ZipCryptoVectors, ::testing::ValuesIn(kVectors));

TEST(ZipCrypto, HeaderCarriesTheCheckByte) {
  const std::array<uint8_t, 11> random = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  std::array<uint8_t, ZipCrypto::kHeaderSize> header{};
  ZipCrypto writer("library");
  writer.encryptHeader(random, 0xA7, header);
  // The header is enciphered, not stored in the clear.
  EXPECT_NE(std::vector<uint8_t>(header.begin(), header.begin() + 11), std::vector<uint8_t>(random.begin(), random.end()));

  EXPECT_TRUE(ZipCrypto("library").decryptHeader(header, 0xA7));
  EXPECT_FALSE(ZipCrypto("library").decryptHeader(header, 0xA6));
  EXPECT_FALSE(ZipCrypto("librarz").decryptHeader(header, 0xA7));
}

TEST(ZipCrypto, StreamContinuesAfterTheHeader) {
  const std::array<uint8_t, 11> random = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
  const std::string text = "every pattern of the library";
  std::array<uint8_t, ZipCrypto::kHeaderSize> header{};
  std::vector<uint8_t> body(text.begin(), text.end());
  ZipCrypto writer("pw");
  writer.encryptHeader(random, 0x42, header);
  writer.encrypt(body);

  ZipCrypto reader("pw");
  ASSERT_TRUE(reader.decryptHeader(header, 0x42));
  reader.decrypt(body);
  EXPECT_EQ(std::string(body.begin(), body.end()), text);

  // Without the header the keys are in another state: the body is garbage.
  std::vector<uint8_t> again(text.begin(), text.end());
  ZipCrypto w2("pw");
  w2.encryptHeader(random, 0x42, header);
  w2.encrypt(again);
  ZipCrypto skipping("pw");
  skipping.decrypt(again);
  EXPECT_NE(std::string(again.begin(), again.end()), text);
}

}  // namespace
