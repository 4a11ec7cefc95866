#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "json/json_kit.h"
#include "json_test_util.h"

namespace {

using jk::Error;
using jk::JSONDecoder;
using jk::Value;
using jktest::bytesOf;
using jktest::decode;
using jktest::raised;

const std::string kUnexpectedToken =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";
const std::string kTrailing =
    "A valid JSON object was parsed but there were additional non-white-space characters remaining.";
const std::string kReplacement = "\xEF\xBF\xBD";

constexpr jk::JKParseOptionFlags kComments = jk::JKParseOptionAllowComments;
constexpr jk::JKParseOptionFlags kLineBreaks = jk::JKParseOptionUnicodeLineBreaks;
constexpr jk::JKParseOptionFlags kReplace = jk::JKParseOptionReplaceInvalidUnicode;
constexpr jk::JKParseOptionFlags kTrailingText = jk::JKParseOptionAllowTrailingText;

struct DecodeCase {
  const char* name;
  std::string input;
  jk::JKParseOptionFlags options;
  // Either an error with its position...
  std::string error;
  size_t atIndex = 0;
  size_t line = 1;
  // ...or the tree the input decodes to.
  std::optional<Value> expected;
};

DecodeCase fails(const char* name, std::string input, jk::JKParseOptionFlags options, std::string error,
                 size_t atIndex, size_t line = 1) {
  return DecodeCase{name, std::move(input), options, std::move(error), atIndex, line, std::nullopt};
}

DecodeCase gives(const char* name, std::string input, jk::JKParseOptionFlags options, Value expected) {
  return DecodeCase{name, std::move(input), options, "", 0, 1, std::move(expected)};
}

Value arr(std::initializer_list<Value> v) { return Value::arrayOf(v); }
Value num(int64_t v) { return Value::integer(v); }

std::vector<DecodeCase> decodeCases() {
  return {
      // The top level.
      fails("number at the top", "123 ", 0, "Expected either '[' or '{'.", 3),
      fails("string at the top", "\"abc\"", 0, "Expected either '[' or '{'.", 5),
      fails("literal at the top", "true ", 0, "Expected either '[' or '{'.", 4),
      fails("empty input", "", 0, "Reached the end of the buffer.", 0),
      fails("white space only", "  \n ", 0, kUnexpectedToken, 4, 2),
      fails("literal with no byte after it", "[true", 0, kUnexpectedToken, 1),
      fails("misspelt literal", "[tru]", 0, kUnexpectedToken, 1),
      fails("unterminated array", "[1,", 0, "Reached the end of the buffer.", 3),

      // Arrays.
      fails("trailing comma", "[1,]", 0, "Unexpected ']'.", 4),
      fails("leading comma", "[,1]", 0, "Unexpected ','.", 2),
      fails("two values without a comma", "[1 2]", 0, "Unexpected value.", 4),
      fails("colon in an array", "[1:2]", 0, "Expected a comma or a ']', not ':'", 3),
      fails("brace closing an array", "[}", 0, "Expected a value or a ']', not '}'", 2),

      // Objects.
      fails("number as a key", "{1:2}", 0, "Expected a \"STRING\" or a '}', not '1'", 2),
      fails("key without a colon", "{\"a\" 1}", 0, "Expected ':'.", 6),
      fails("first member without a value", "{\"a\":}", 0, "Expected a value or a '}', not '}'", 6),
      fails("member after a comma without a value", "{\"a\":1,\"b\":}", 0, "Expected a value, not '}'", 12),
      fails("two members without a comma", "{\"a\":1 \"b\":2}", 0, "Unexpected string.", 10),
      fails("trailing comma in an object", "{\"a\":1,}", 0, "Unexpected '}'.", 8),
      gives("repeated key keeps the second value", "{\"a\":1,\"a\":2}", 0, Value::dictionaryOf({{"a", num(2)}})),

      // Numbers.
      fails("leading zero", "[01]", 0, "Unexpected value.", 3),
      fails("lone minus", "[-]", 0, "Invalid number.", 3),
      fails("number ending in a point", "[1.]", 0, "Invalid number.", 4),
      fails("exponent without digits", "[1e]", 0, "Invalid number.", 4),
      fails("number running into the end", "[1", 0, "Invalid number.", 2),
      gives("largest unsigned", "[18446744073709551615]", 0, arr({Value::unsignedInteger(UINT64_MAX)})),
      fails("one above the largest unsigned", "[18446744073709551616]", 0,
            "The value '18446744073709551616' exceeded the maximum value that could be represented: "
            "18446744073709551615.",
            21),
      fails("one below the smallest signed", "[-9223372036854775809]", 0,
            "The value '-9223372036854775809' exceeded the minimum value that could be represented: "
            "-9223372036854775808.",
            21),
      fails("exponent overflow", "[1e400]", 0,
            "The value '1e400' could not be represented as a 'double' due to overflow.", 6),
      fails("exponent underflow", "[1e-400]", 0,
            "The value '1e-400' could not be represented as a 'double' due to underflow.", 7),
      gives("number forms", "[0, -7, 1.5e3, 0.1, 1E2, 2e+1]", 0,
            arr({num(0), num(-7), Value::real(1500.0), Value::real(0.1), Value::real(100.0), Value::real(20.0)})),

      // Strings.
      gives("empty string", "[\"\"]", 0, arr({""})),
      fails("escaped code point 0", "[\"\\u0000\"]", 0, "Illegal \\u Unicode escape sequence.", 1),
      gives("escaped code point 0 replaced", "[\"\\u0000\"]", kReplace, arr({Value(kReplacement)})),
      gives("surrogate pair", "[\"\\ud83d\\ude00\"]", 0, arr({"\xF0\x9F\x98\x80"})),
      fails("lone high surrogate", "[\"\\ud83d\"]", 0,
            "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.", 1),
      gives("lone high surrogate replaced, quote scanned again", "[\"\\ud83d\"]", kReplace, arr({Value(kReplacement)})),
      gives("high surrogate before another escape, replaced", "[\"\\ud83d\\n\"]", kReplace,
            arr({Value(kReplacement + "\n")})),
      gives("high surrogate before a letter, replaced", "[\"\\ud83dx\"]", kReplace, arr({Value(kReplacement + "x")})),
      fails("high surrogate before a non-low escape", "[\"\\ud83d\\u0041\"]", 0, "Illegal \\u Unicode escape sequence.",
            1),
      gives("high surrogate before a non-low escape, replaced", "[\"\\ud83d\\u0041\"]", kReplace,
            arr({Value(kReplacement)})),
      fails("lone low surrogate", "[\"\\udc00\"]", 0, "Illegal \\u Unicode escape sequence.", 1),
      fails("noncharacter U+FDD0", "[\"\\ufdd0\"]", 0, "Illegal \\u Unicode escape sequence.", 1),
      fails("noncharacter U+FFFF", "[\"\\uffff\"]", 0, "Illegal \\u Unicode escape sequence.", 1),
      fails("noncharacter U+1FFFF as a pair", "[\"\\ud83f\\udfff\"]", 0, "Illegal \\u Unicode escape sequence.", 1),
      fails("raw tab", "[\"a\tb\"]", 0, "Invalid character < 0x20 found in string: 0x09.", 1),
      fails("unknown escape", "[\"\\x\"]", 0, "Invalid escape sequence found in \"\" string.", 1),
      fails("bad hex digit", "[\"\\u12G4\"]", 0,
            "Unexpected character found in \\u Unicode escape sequence.  Found 'G', expected [0-9a-fA-F].", 1),
      gives("simple escapes", "[\"\\b\\f\\n\\r\\t\\\"\\\\\\/\"]", 0, arr({"\b\f\n\r\t\"\\/"})),
      gives("BMP escapes", "[\"\\u00e9\\u4E2D\"]", 0, arr({"\xC3\xA9\xE4\xB8\xAD"})),
      fails("unterminated string", "[\"abc", 0, "Invalid string.", 1),
      fails("illegal UTF-8", "[\"\xC3(\"]", 0, "Illegal UTF8 sequence found in \"\" string.", 1),
      gives("illegal UTF-8 replaced", "[\"\xC3(\"]", kReplace, arr({Value(kReplacement + "(")})),
      fails("UTF-8 cut off by the end", "[\"\xE2\x82", 0, "End of buffer reached while parsing UTF8 in \"\" string.", 1),
      fails("UTF-8 cut off by the end, replacing", "[\"\xE2\x82", kReplace,
            "End of buffer reached while parsing UTF8 in \"\" string.", 1),
      fails("overlong UTF-8", "[\"\xC0\x80\"]", 0, "Illegal UTF8 sequence found in \"\" string.", 1),
      fails("UTF-8 surrogate", "[\"\xED\xA0\x80\"]", 0, "Illegal UTF8 sequence found in \"\" string.", 1),
      gives("UTF-8 surrogate replaced as one", "[\"\xED\xA0\x80!\"]", kReplace, arr({Value(kReplacement + "!")})),
      fails("UTF-8 noncharacter", "[\"\xEF\xBF\xBE\"]", 0, "Illegal UTF8 sequence found in \"\" string.", 1),
      gives("raw four-byte UTF-8", "[\"\xF0\x9F\x98\x80\"]", 0, arr({"\xF0\x9F\x98\x80"})),

      // Trailing text, white space, comments and lines.
      fails("stray letter after the document", "[1]x", 0, kTrailing, 3),
      gives("stray letter allowed", "[1]x", kTrailingText, arr({num(1)})),
      gives("spaces after the document", "[1]   \n", 0, arr({num(1)})),
      fails("block comment without the option", "[1/*c*/]", 0, kUnexpectedToken, 2),
      gives("block comment skipped", "[1/*c*/]", kComments, arr({num(1)})),
      gives("line comment skipped", "[1, // two\n 2]", kComments, arr({num(1), num(2)})),
      fails("comment open at the end", "[1 /* open", kComments, kUnexpectedToken, 10),
      fails("lone slash at the end", "[1/", kComments, kUnexpectedToken, 2),
      fails("comment lines are counted", "[1, // a\n/* b\n c */ ]", kComments, "Unexpected ']'.", 21, 3),
      fails("CR LF is one newline", "[\r\n1,\r\n]", 0, "Unexpected ']'.", 8, 3),
      fails("CR CR is two newlines", "[\r\r1,]", 0, "Unexpected ']'.", 6, 3),
      fails("error on the third line", "[\n\n  1 2]", 0, "Unexpected value.", 8, 3),
      fails("U+2028 without the option", "[1,\xE2\x80\xA8 2]", 0, kUnexpectedToken, 3),
      gives("U+2028 as white space", "[1,\xE2\x80\xA8 2]", kLineBreaks, arr({num(1), num(2)})),
      fails("U+0085 advances the line", "[\xC2\x85 1,]", kLineBreaks, "Unexpected ']'.", 7, 2),
      gives("U+2029 as white space", "[\xE2\x80\xA9]", kLineBreaks, arr({})),
      fails("form feed is not white space", "[\f1]", 0, kUnexpectedToken, 1),
      fails("NUL is not white space", std::string("[\0" "1]", 4), 0, kUnexpectedToken, 1),

      // Literals.
      gives("literals", "[true,false,null]", 0, arr({Value::boolean(true), Value::boolean(false), Value::null()})),
  };
}

TEST(JSONDecoderTest, EdgeCasesGiveTheirResultsOrErrors) {
  for (const DecodeCase& c : decodeCases()) {
    SCOPED_TRACE(c.name);
    Error error;
    Value result = decode(c.input, c.options, &error);
    if (c.expected) {
      ASSERT_TRUE(result) << error.localizedDescription;
      EXPECT_EQ(result, *c.expected);
      EXPECT_TRUE(error.domain.empty()) << "a successful parse leaves the error alone";
    } else {
      EXPECT_FALSE(result) << result.description();
      EXPECT_EQ(error.localizedDescription, c.error);
      EXPECT_EQ(error.domain, "JKErrorDomain");
      EXPECT_EQ(error.code, -1);
      EXPECT_EQ(error.atIndex, c.atIndex);
      EXPECT_EQ(error.lineNumber, c.line);
    }
  }
}

TEST(JSONDecoderTest, NumbersKeepTheirForm) {
  Value v = decode("[9223372036854775807, 9223372036854775808, -9223372036854775808, -0, 0.1, 5e-324, 12]");
  ASSERT_TRUE(v);
  using T = jk::Number::Type;
  const std::pair<T, const char*> forms[] = {{T::Int64, "q"}, {T::UInt64, "Q"}, {T::Int64, "q"}, {T::Double, "d"},
                                             {T::Double, "d"}, {T::Double, "d"}, {T::Int64, "q"}};
  ASSERT_EQ(v.count(), std::size(forms));
  for (size_t i = 0; i < std::size(forms); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(v[i].number());
    EXPECT_EQ(v[i].number()->type(), forms[i].first);
    EXPECT_STREQ(v[i].number()->objCType(), forms[i].second);
  }
  EXPECT_EQ(v[0].int64Value(), INT64_MAX);
  EXPECT_EQ(v[1].uint64Value(), 9223372036854775808ULL);
  EXPECT_EQ(v[2].int64Value(), INT64_MIN);
  EXPECT_EQ(v[3].doubleValue(), 0.0);
  EXPECT_TRUE(std::signbit(v[3].doubleValue())) << "minus zero is a negative double zero";
  EXPECT_EQ(v[4].doubleValue(), 0.1);
  // A subnormal is representable and kept, not refused as an overflow.
  EXPECT_EQ(v[5].doubleValue(), 4.9406564584124654e-324);
}

TEST(JSONDecoderTest, EmptyStringIsTheSharedConstant) {
  Value v = decode("[\"\", {\"\": \"\"}]");
  ASSERT_TRUE(v);
  EXPECT_EQ(v[0].get(), &jk::String::emptyString());
  EXPECT_EQ(v[1].dictionary()->allKeys()[0].get(), &jk::String::emptyString());
  EXPECT_EQ(v[1][""].get(), &jk::String::emptyString());
}

TEST(JSONDecoderTest, EqualScalarsShareOneObjectPerDecoder) {
  JSONDecoder decoder;
  const std::string doc = R"([{"name":"abc","id":12345},{"name":"a\u0062c","id":12345},2.5,2.5])";
  Value first = decoder.objectWithUTF8String(bytesOf(doc), doc.size());
  ASSERT_TRUE(first);
  // Within one document, with or without escapes.
  EXPECT_TRUE(first[0]["name"].same(first[1]["name"]));
  EXPECT_TRUE(first[0]["id"].same(first[1]["id"]));
  EXPECT_TRUE(first[2].same(first[3]));
  // Keys are shared too.
  auto keyObject = [](const Value& dict, std::string_view name) {
    for (const Value& k : dict.dictionary()->allKeys())
      if (k.stringView() == name) return k;
    return Value();
  };
  EXPECT_TRUE(keyObject(first[0], "name").same(keyObject(first[1], "name")));
  // Across documents parsed by the same decoder.
  Value second = decoder.objectWithUTF8String(bytesOf(doc), doc.size());
  EXPECT_TRUE(first[0]["name"].same(second[0]["name"]));
  // A different decoder makes its own objects.
  Value other = decode(doc);
  EXPECT_FALSE(first[0]["name"].same(other[0]["name"]));
  EXPECT_EQ(first[0]["name"], other[0]["name"]);
  // Numbers of different forms are different cache entries even when equal.
  const std::string formsDoc = "[5, 5.0, -0, 0.0]";
  Value forms = decoder.objectWithUTF8String(bytesOf(formsDoc), formsDoc.size());
  ASSERT_TRUE(forms);
  EXPECT_FALSE(forms[0].same(forms[1]));
  EXPECT_FALSE(forms[2].same(forms[3]));

  EXPECT_GT(decoder.cachedObjectCount(), 0u);
  decoder.clearCache();
  EXPECT_EQ(decoder.cachedObjectCount(), 0u);
  Value third = decoder.objectWithUTF8String(bytesOf(doc), doc.size());
  EXPECT_FALSE(first[0]["name"].same(third[0]["name"])) << "a cleared cache makes new objects";
  EXPECT_EQ(first, third);
}

TEST(JSONDecoderTest, CacheSurvivesManyDistinctValues) {
  // Far more distinct scalars than cache slots: the cache replaces entries
  // and every value still comes out right.
  std::string doc = "[";
  for (int i = 0; i < 5000; ++i) doc += (i ? "," : "") + std::string("\"s") + std::to_string(i % 3000) + "\"";
  doc += "]";
  JSONDecoder decoder;
  Value v = decoder.objectWithUTF8String(bytesOf(doc), doc.size());
  ASSERT_TRUE(v);
  ASSERT_EQ(v.count(), 5000u);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(v[i].stringView(), "s" + std::to_string(i % 3000)) << i;
  EXPECT_LE(decoder.cachedObjectCount(), 1024u);
}

TEST(JSONDecoderTest, OrdinaryParseGivesImmutableContainers) {
  Value v = decode(R"({"list":[1,2],"map":{"k":"v"}})");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->className(), "JKDictionary");
  EXPECT_EQ(v["list"]->className(), "JKArray");
  EXPECT_FALSE(v.dictionary()->isMutable());
  EXPECT_EQ(raised([&] { v.dictionary()->setObject(Value::integer(1), "x"); }),
            "NSInternalInconsistencyException: *** -[JKDictionary setObject:forKey:]: mutating method sent to "
            "immutable object");
  EXPECT_EQ(raised([&] { v["list"].array()->addObject(Value::integer(3)); }),
            "NSInternalInconsistencyException: *** -[JKArray insertObject:atIndex:]: mutating method sent to immutable "
            "object");
  EXPECT_EQ(raised([&] { v["map"].dictionary()->removeObjectForKey("k"); }),
            "NSInternalInconsistencyException: *** -[JKDictionary removeObjectForKey:]: mutating method sent to "
            "immutable object");
}

TEST(JSONDecoderTest, MutableParseGivesMutableContainersAtEveryLevel) {
  Value v = decode(R"({"list":[1,2],"map":{"k":"v"}})", 0, nullptr, true);
  ASSERT_TRUE(v);
  EXPECT_TRUE(v.dictionary()->isMutable());
  v["list"].array()->addObject(Value::integer(3));
  v["map"].dictionary()->setObject("w", "k2");
  v.dictionary()->removeObjectForKey("list");
  EXPECT_EQ(v, Value::dictionaryOf({{"map", Value::dictionaryOf({{"k", "v"}, {"k2", "w"}})}}));
}

TEST(JSONDecoderTest, NestingIsBoundedWithItsOwnError) {
  auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  Value deepest = decode(nested(jk::kJKMaxNestingDepth));
  ASSERT_TRUE(deepest);
  Error error;
  EXPECT_FALSE(decode(nested(jk::kJKMaxNestingDepth + 1), 0, &error));
  EXPECT_EQ(error.localizedDescription, "The document nests arrays and objects more than 4096 levels deep.");
  EXPECT_EQ(error.atIndex, jk::kJKMaxNestingDepth + 1);
  // A hundred thousand opening brackets fail cleanly instead of running off the stack.
  error = Error{};
  EXPECT_FALSE(decode(std::string(100000, '['), 0, &error));
  EXPECT_EQ(error.localizedDescription, "The document nests arrays and objects more than 4096 levels deep.");
  // Objects count as levels as well.
  std::string objects;
  for (size_t i = 0; i <= jk::kJKMaxNestingDepth; ++i) objects += "{\"a\":";
  error = Error{};
  EXPECT_FALSE(decode(objects, 0, &error));
  EXPECT_EQ(error.localizedDescription, "The document nests arrays and objects more than 4096 levels deep.");
}

TEST(JSONDecoderTest, LargeDocumentsOutgrowTheLentBuffers) {
  // More pending children than the lent object stack holds, a string longer
  // than the lent token buffer that needs decoding, and many keys.
  std::string doc = "{\"list\":[";
  for (int i = 0; i < 5000; ++i) doc += (i ? "," : "") + std::to_string(i);
  doc += "],\"text\":\"";
  std::string expectedText;
  for (int i = 0; i < 3000; ++i) {
    doc += "\\u00e9\\n";
    expectedText += "\xC3\xA9\n";
  }
  doc += "\",\"map\":{";
  for (int i = 0; i < 3000; ++i) doc += (i ? "," : "") + std::string("\"k") + std::to_string(i) + "\":" + std::to_string(i);
  doc += "}}";
  Value v = decode(doc);
  ASSERT_TRUE(v);
  ASSERT_EQ(v["list"].count(), 5000u);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(v["list"][i].int64Value(), i);
  EXPECT_EQ(v["text"].stringView(), expectedText);
  ASSERT_EQ(v["map"].count(), 3000u);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(v["map"]["k" + std::to_string(i)].int64Value(), i) << i;
}

TEST(JSONDecoderTest, MisuseRaises) {
  EXPECT_EQ(raised([] { JSONDecoder decoder(16); }), "NSInvalidArgumentException: Invalid parse options.");
  EXPECT_EQ(raised([] { JSONDecoder::decoderWithParseOptions(255); }),
            "NSInvalidArgumentException: Invalid parse options.");
  EXPECT_EQ(JSONDecoder::decoderWithParseOptions(15)->parseOptionFlags(), 15u);
  JSONDecoder decoder;
  EXPECT_EQ(raised([&] { decoder.objectWithUTF8String(nullptr, 0); }),
            "NSInvalidArgumentException: The string argument is NULL.");
  EXPECT_EQ(raised([&] { decoder.mutableObjectWithData(nullptr); }),
            "NSInvalidArgumentException: The jsonData argument is NULL.");
  decoder.releaseState();
  EXPECT_EQ(raised([&] { decoder.parseUTF8String(bytesOf("[]"), 2); }),
            "NSInternalInconsistencyException: parseState is NULL.");
}

TEST(JSONDecoderTest, DataEntryPointsParseTheDataBytes) {
  JSONDecoder decoder;
  Value data = Value::data("[1,\"two\"]");
  Value v = decoder.objectWithData(data.data());
  EXPECT_EQ(v, Value::arrayOf({Value::integer(1), "two"}));
  EXPECT_FALSE(v.array()->isMutable());
  Value m = decoder.mutableObjectWithData(data.data());
  EXPECT_TRUE(m.array()->isMutable());
  EXPECT_EQ(decoder.parseJSONData(data.data()), v);
  Error error;
  EXPECT_FALSE(decoder.objectWithData(Value::data("").data(), &error));
  EXPECT_EQ(error.localizedDescription, "Reached the end of the buffer.");
}

TEST(JSONDecoderTest, ErrorCarriesItsUserInfo) {
  Error error;
  ASSERT_FALSE(decode("[1,\n2,]", 0, &error));
  Value info = error.userInfo();
  EXPECT_EQ(info[jk::NSLocalizedDescriptionKey].stringView(), "Unexpected ']'.");
  ASSERT_TRUE(info[jk::JKAtIndexKey].number());
  EXPECT_EQ(info[jk::JKAtIndexKey].number()->type(), jk::Number::Type::UInt64);
  EXPECT_EQ(info[jk::JKAtIndexKey].uint64Value(), 7u);
  EXPECT_EQ(info[jk::JKLineNumberKey].uint64Value(), 2u);
}

TEST(JSONDecoderTest, DecoderIsReusableAfterAFailure) {
  JSONDecoder decoder;
  Error error;
  const std::string bad = R"({"a":[1,{"b":"x")", good = R"({"a":[1,{"b":"x"}]})";
  EXPECT_FALSE(decoder.objectWithUTF8String(bytesOf(bad), bad.size(), &error));
  Error second;
  Value v = decoder.objectWithUTF8String(bytesOf(good), good.size(), &second);
  ASSERT_TRUE(v);
  EXPECT_TRUE(second.domain.empty());
  EXPECT_EQ(v["a"][1]["b"].stringView(), "x");
  // A failure deep in a string reports the string's own message, at its quote.
  const std::string deep = "[[[\"ok\", \"bad\\q\"]]]";
  EXPECT_FALSE(decoder.objectWithUTF8String(bytesOf(deep), deep.size(), &error));
  EXPECT_EQ(error.localizedDescription, "Invalid escape sequence found in \"\" string.");
  EXPECT_EQ(error.atIndex, 9u);
}

TEST(JSONDecoderTest, FailedParsesReleaseWhatTheyCollected) {
  // The collected children of a failed parse are released; a value shared
  // through the cache keeps only the cache's and the caller's references.
  JSONDecoder decoder;
  const std::string good = R"(["shared"])";
  Value kept = decoder.objectWithUTF8String(bytesOf(good), good.size());
  ASSERT_TRUE(kept);
  const size_t before = kept[0]->retainCount();
  const std::string bad = R"([["shared","shared",{"shared":"shared"}], 1 2])";
  EXPECT_FALSE(decoder.objectWithUTF8String(bytesOf(bad), bad.size()));
  EXPECT_EQ(kept[0]->retainCount(), before);
}

}  // namespace
