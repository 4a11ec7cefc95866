#include "json/jk_utf8.h"

#include <cstddef>

namespace jk {

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

int sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC0) return -1;  // a continuation byte cannot lead
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return -1;
}

// Whether the `len` bytes at `p` (all present) form a well-formed sequence.
bool wellFormed(const unsigned char* p, int len) {
  const unsigned char lead = p[0];
  if (lead < 0xC2 || lead > 0xF4) return false;
  for (int i = 1; i < len; ++i) {
    if (!isContinuation(p[i])) return false;
  }
  const unsigned char second = p[1];
  switch (lead) {
    case 0xE0: return second >= 0xA0;
    case 0xED: return second <= 0x9F;
    case 0xF0: return second >= 0x90;
    case 0xF4: return second <= 0x8F;
    default: return true;
  }
}

uint32_t decode(const unsigned char* p, int len) {
  switch (len) {
    case 2: return (uint32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
    case 3: return (uint32_t(p[0] & 0x0F) << 12) | (uint32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    default:
      return (uint32_t(p[0] & 0x07) << 18) | (uint32_t(p[1] & 0x3F) << 12) | (uint32_t(p[2] & 0x3F) << 6) |
             (p[3] & 0x3F);
  }
}

}  // namespace

int ConvertSingleCodePointInUTF8(const unsigned char* sourceStart, const unsigned char* sourceEnd,
                                 const unsigned char** nextUTF8, uint32_t* convertedCodePoint) {
  const unsigned char* p = sourceStart;
  const size_t available = static_cast<size_t>(sourceEnd - p);
  const int len = sequenceLength(p[0]);
  if (len == 1) {
    *nextUTF8 = p + 1;
    *convertedCodePoint = p[0];
    return JKConversionOK;
  }
  if (len < 0) {
    *nextUTF8 = p + 1;
    *convertedCodePoint = kReplacementCharacter;
    return JKConversionSourceIllegal;
  }
  const size_t expected = static_cast<size_t>(len);
  if (expected > available || !wellFormed(p, len)) {
    // Skip the lead byte and the continuation bytes that belong to it.
    const size_t limit = expected < available ? expected : available;
    size_t n = 1;
    while (n < limit && isContinuation(p[n])) ++n;
    *nextUTF8 = p + n;
    *convertedCodePoint = kReplacementCharacter;
    return expected > available ? JKConversionSourceExhausted : JKConversionSourceIllegal;
  }
  const uint32_t cp = decode(p, len);
  *nextUTF8 = p + len;
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) {
    *convertedCodePoint = kReplacementCharacter;
    return JKConversionSourceIllegal;
  }
  *convertedCodePoint = cp;
  return JKConversionOK;
}

int jk_utf8_wellFormedLength(const unsigned char* p, const unsigned char* end) {
  const int len = sequenceLength(p[0]);
  if (len == 1) return 1;
  if (len < 0 || static_cast<size_t>(len) > static_cast<size_t>(end - p) || !wellFormed(p, len)) return 0;
  return len;
}

int jk_utf8_encode(uint32_t cp, unsigned char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<unsigned char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace jk
