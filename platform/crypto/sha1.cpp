#include "platform/crypto/sha1.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace platform {

Sha1Digest sha1(std::span<const uint8_t> bytes) {
  Sha1Digest out{};
  unsigned int len = 0;
  // The one-shot call needs no context object; SHA-1 is always built into
  // libcrypto, so a failure here means the library itself is broken.
  if (EVP_Digest(bytes.data(), bytes.size(), out.data(), &len, EVP_sha1(), nullptr) != 1 ||
      len != kSha1Length) {
    std::abort();
  }
  return out;
}

Sha1Digest sha1(std::string_view text) {
  return sha1(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace platform
