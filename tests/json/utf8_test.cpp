#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "json/jk_utf8.h"

namespace {

using jk::ConvertSingleCodePointInUTF8;

struct Utf8Case {
  const char* name;
  std::string bytes;
  int result;
  uint32_t codePoint;
  size_t consumed;  // bytes the next position skips
};

TEST(ConvertSingleCodePointInUTF8Test, SequencesDecodeOrFailAsTheRulesSay) {
  const Utf8Case cases[] = {
      {"two bytes", "\xC3\xA9", 0, 0xE9, 2},
      {"three bytes", "\xE4\xB8\xAD", 0, 0x4E2D, 3},
      {"four bytes", "\xF0\x9F\x98\x80", 0, 0x1F600, 4},
      {"largest code point", "\xF4\x8F\xBF\xBD", 0, 0x10FFFD, 4},
      {"followed by more", "\xC3\xA9z", 0, 0xE9, 2},
      {"overlong two bytes", "\xC0\x80", 3, 0xFFFD, 2},
      {"overlong C1", "\xC1\xBF", 3, 0xFFFD, 2},
      {"overlong three bytes", "\xE0\x80\x80", 3, 0xFFFD, 3},
      {"overlong four bytes", "\xF0\x80\x80\x80", 3, 0xFFFD, 4},
      {"surrogate", "\xED\xA0\x80", 3, 0xFFFD, 3},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 3, 0xFFFD, 4},
      {"lead F5", "\xF5\x80\x80\x80", 3, 0xFFFD, 4},
      {"lone continuation byte", "\x80z", 3, 0xFFFD, 1},
      {"five-byte lead", "\xF8\x88\x80\x80\x80", 3, 0xFFFD, 1},
      {"continuation missing", "\xE4\xB8z", 3, 0xFFFD, 2},
      {"cut off by the end", "\xE4\xB8", 1, 0xFFFD, 2},
      {"lead alone at the end", "\xF0", 1, 0xFFFD, 1},
      {"noncharacter U+FFFE", "\xEF\xBF\xBE", 3, 0xFFFD, 3},
      {"noncharacter U+FDD0", "\xEF\xB7\x90", 3, 0xFFFD, 3},
      {"noncharacter U+10FFFF", "\xF4\x8F\xBF\xBF", 3, 0xFFFD, 4},
      {"U+FDEF", "\xEF\xB7\xAF", 3, 0xFFFD, 3},
      {"U+FDF0 is fine", "\xEF\xB7\xB0", 0, 0xFDF0, 3},
  };
  for (const Utf8Case& c : cases) {
    SCOPED_TRACE(c.name);
    // An exactly sized copy, so a read past the end shows under the sanitizers.
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[c.bytes.size()]);
    std::memcpy(bytes.get(), c.bytes.data(), c.bytes.size());
    const unsigned char* next = nullptr;
    uint32_t cp = 0;
    EXPECT_EQ(ConvertSingleCodePointInUTF8(bytes.get(), bytes.get() + c.bytes.size(), &next, &cp), c.result);
    EXPECT_EQ(cp, c.codePoint);
    EXPECT_EQ(static_cast<size_t>(next - bytes.get()), c.consumed);
  }
}

TEST(ConvertSingleCodePointInUTF8Test, EncodeIsTheInverseForEveryScalarValue) {
  for (uint32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    unsigned char buf[4];
    const int n = jk::jk_utf8_encode(cp, buf);
    const unsigned char* next = nullptr;
    uint32_t decoded = 0;
    const int r = ConvertSingleCodePointInUTF8(buf, buf + n, &next, &decoded);
    const bool noncharacter = (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
    ASSERT_EQ(next, buf + n) << cp;
    ASSERT_EQ(jk::jk_utf8_wellFormedLength(buf, buf + n), n) << cp;
    if (noncharacter) {
      ASSERT_EQ(r, 3) << cp;
    } else {
      ASSERT_EQ(r, 0) << cp;
      ASSERT_EQ(decoded, cp);
    }
  }
}

}  // namespace
