#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "json/jk_utf8.h"
#include "json/json_kit.h"
#include "json_test_util.h"

namespace {

using jk::Error;
using jk::Value;
using jktest::decode;
using jktest::encode;

const jk::JKSerializeOptionFlags kForms[] = {
    jk::JKSerializeOptionNone,
    jk::JKSerializeOptionPretty,
    jk::JKSerializeOptionEscapeNonASCII | jk::JKSerializeOptionEscapeSlash,
    jk::JKSerializeOptionPretty | jk::JKSerializeOptionEscapeNonASCII,
};

// Decode, then serialize in every form, then decode again: an equal tree.
void expectRoundTrip(const Value& tree) {
  for (jk::JKSerializeOptionFlags form : kForms) {
    SCOPED_TRACE(form);
    const std::string text = encode(tree, form);
    ASSERT_NE(text.rfind("<error", 0), 0u) << text;
    Error error;
    Value again = decode(text, 0, &error);
    ASSERT_TRUE(again) << error.localizedDescription << " in " << text;
    EXPECT_EQ(again, tree) << text;
    Value mutableAgain = decode(text, 0, &error, true);
    EXPECT_EQ(mutableAgain, tree);
  }
}

TEST(JSONRoundTripTest, ADocumentWithEveryFeatureSurvives) {
  const std::string doc = R"({
    "collection": [
      {"id": 4294967296123, "user_id": 9223372036854775807, "plays": 18446744073709551615,
       "bpm": 120.5, "gain": -0, "ratio": 1e-300, "big": 1.7976931348623157e308,
       "title": "Loop \"one\" \\ slash/ tab\t? \u00e9\u4e2d\ud83d\ude00 \u0001",
       "tags": ["a", "", "a"], "artwork_url": null, "streamable": true, "downloadable": false,
       "user": {"avatar_url": "https://example.invalid/a.png", "nested": [[[]], {}, [{}]]}}
    ],
    "next_href": "https://example.invalid/tracks?offset=25"
  })";
  Error error;
  Value tree = decode(doc, 0, &error);
  ASSERT_TRUE(tree) << error.localizedDescription;
  expectRoundTrip(tree);
  // Pretty output sorts keys, so it is the same text for the tree it decodes to.
  const std::string pretty = encode(tree, jk::JKSerializeOptionPretty);
  EXPECT_EQ(encode(decode(pretty), jk::JKSerializeOptionPretty), pretty);
}

class RandomTrees {
 public:
  explicit RandomTrees(uint64_t seed) : rng_(seed) {}

  Value tree() { return rng_() % 2 ? array(0) : dictionary(0); }

 private:
  uint64_t below(uint64_t n) { return rng_() % n; }

  std::string text() {
    std::string s;
    const size_t n = below(12);
    for (size_t i = 0; i < n; ++i) {
      uint32_t cp;
      switch (below(5)) {
        // Control characters; not NUL, which the decoder refuses even escaped.
        case 0: cp = static_cast<uint32_t>(1 + below(0x1F)); break;
        case 1: cp = static_cast<uint32_t>(0x20 + below(0x60)); break;   // ASCII
        case 2: cp = static_cast<uint32_t>(0x80 + below(0x780)); break;  // two bytes
        case 3: cp = static_cast<uint32_t>(0x800 + below(0xF800)); break;
        default: cp = static_cast<uint32_t>(0x10000 + below(0x100000)); break;
      }
      // Surrogates and noncharacters are not text the decoder accepts.
      if ((cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) cp = '?';
      unsigned char buf[4];
      s.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(jk::jk_utf8_encode(cp, buf)));
    }
    return s;
  }

  Value scalar() {
    switch (below(8)) {
      case 0: return Value::null();
      case 1: return Value::boolean(below(2));
      case 2: return Value::integer(static_cast<int64_t>(rng_()));
      case 3: return Value::unsignedInteger(rng_() | (1ULL << 63));
      case 4: {
        double d;
        do {
          const uint64_t bits = rng_();
          std::memcpy(&d, &bits, sizeof d);
        } while (!std::isfinite(d));
        return Value::real(d);
      }
      case 5: return Value::real(static_cast<double>(static_cast<int64_t>(rng_() % 2000000) - 1000000) / 8.0);
      default: return Value(text());
    }
  }

  Value any(int depth) {
    if (depth >= 5 || below(3)) return scalar();
    return below(2) ? array(depth + 1) : dictionary(depth + 1);
  }

  Value array(int depth) {
    std::vector<Value> items;
    for (size_t i = below(6); i > 0; --i) items.push_back(any(depth));
    return Value::arrayOf(items);
  }

  Value dictionary(int depth) {
    Value d = Value::mutableDictionaryOf({});
    for (size_t i = below(6); i > 0; --i) d.dictionary()->setObject(any(depth), Value(text()));
    return d->copy();
  }

  std::mt19937_64 rng_;
};

TEST(JSONRoundTripTest, RandomTreesSurviveEveryForm) {
  RandomTrees trees(20240601);
  for (int i = 0; i < 300; ++i) {
    SCOPED_TRACE(i);
    expectRoundTrip(trees.tree());
    if (HasFatalFailure()) return;
  }
}

}  // namespace
