#pragma once
// The traditional PKWARE zip encryption ("ZipCrypto"): three 32-bit keys
// stirred by CRC-32 and a linear congruence, a keystream byte per data byte.
//
// The system writes it itself because Debian's minizip is built without
// decryption and its encrypting writer does not interoperate; minizip only
// carries the enciphered bytes (raw mode). It is a weak cipher kept for
// compatibility with standard unzip tools, not for secrecy.
//
// An enciphered entry starts with a 12-byte header: 11 random bytes and a
// check byte (the high byte of the entry's CRC-32, or of its DOS time when
// the sizes follow in a data descriptor), all enciphered with the data.
//
// Not thread-safe: one object per stream.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

class ZipCrypto {
 public:
  static constexpr size_t kHeaderSize = 12;

  // Keys initialised from the password's bytes.
  explicit ZipCrypto(std::string_view password);

  uint8_t encrypt(uint8_t plain);
  uint8_t decrypt(uint8_t cipher);
  void encrypt(std::span<uint8_t> bytes);
  void decrypt(std::span<uint8_t> bytes);

  // The enciphered header for an entry whose check byte is `checkByte`;
  // `random` supplies the first 11 bytes.
  void encryptHeader(std::span<const uint8_t, 11> random, uint8_t checkByte, std::span<uint8_t, kHeaderSize> out);
  // Deciphers a header; true when its check byte equals `checkByte` (a wrong
  // password passes this test once in 256 times; the CRC catches the rest).
  bool decryptHeader(std::span<const uint8_t, kHeaderSize> header, uint8_t checkByte);

 private:
  uint8_t streamByte() const;
  void updateKeys(uint8_t plain);

  uint32_t keys_[3];
};
