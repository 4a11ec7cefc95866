#include "library/backup/zip_crypto.h"

#include <zlib.h>

namespace {

uint32_t crc32Byte(uint32_t crc, uint8_t b) {
  static const z_crc_t* table = get_crc_table();
  return static_cast<uint32_t>(table[(crc ^ b) & 0xff]) ^ (crc >> 8);
}

}  // namespace

ZipCrypto::ZipCrypto(std::string_view password) : keys_{0x12345678u, 0x23456789u, 0x34567890u} {
  for (char c : password) updateKeys(static_cast<uint8_t>(c));
}

void ZipCrypto::updateKeys(uint8_t plain) {
  keys_[0] = crc32Byte(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813u + 1u;
  keys_[2] = crc32Byte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

uint8_t ZipCrypto::streamByte() const {
  const uint32_t t = (keys_[2] | 2u) & 0xffffu;
  return static_cast<uint8_t>((t * (t ^ 1u)) >> 8);
}

uint8_t ZipCrypto::encrypt(uint8_t plain) {
  const uint8_t c = plain ^ streamByte();
  updateKeys(plain);
  return c;
}

uint8_t ZipCrypto::decrypt(uint8_t cipher) {
  const uint8_t p = cipher ^ streamByte();
  updateKeys(p);
  return p;
}

void ZipCrypto::encrypt(std::span<uint8_t> bytes) {
  for (uint8_t& b : bytes) b = encrypt(b);
}

void ZipCrypto::decrypt(std::span<uint8_t> bytes) {
  for (uint8_t& b : bytes) b = decrypt(b);
}

void ZipCrypto::encryptHeader(std::span<const uint8_t, 11> random, uint8_t checkByte,
                              std::span<uint8_t, kHeaderSize> out) {
  for (size_t i = 0; i < 11; ++i) out[i] = encrypt(random[i]);
  out[11] = encrypt(checkByte);
}

bool ZipCrypto::decryptHeader(std::span<const uint8_t, kHeaderSize> header, uint8_t checkByte) {
  uint8_t last = 0;
  for (uint8_t b : header) last = decrypt(b);
  return last == checkByte;
}
