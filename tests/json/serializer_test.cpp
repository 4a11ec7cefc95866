#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "json/json_kit.h"
#include "json_test_util.h"

namespace {

using jk::Error;
using jk::JKSerializer;
using jk::Value;
using jktest::decode;
using jktest::encode;
using jktest::raised;

constexpr jk::JKSerializeOptionFlags kPretty = jk::JKSerializeOptionPretty;
constexpr jk::JKSerializeOptionFlags kEscapeNonASCII = jk::JKSerializeOptionEscapeNonASCII;
constexpr jk::JKSerializeOptionFlags kEscapeSlash = jk::JKSerializeOptionEscapeSlash;
constexpr jk::JKEncodeOptionType kAsString = jk::JKEncodeOptionAsString;

Value arr(std::initializer_list<Value> v) { return Value::arrayOf(v); }

struct EncodeCase {
  const char* name;
  Value object;
  jk::JKSerializeOptionFlags options;
  std::string expected;  // the text, or "<error: message>"
};

std::vector<EncodeCase> encodeCases() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::string finite = "<error: Floating point values must be finite.  JSON does not support NaN or Infinity.>";
  return {
      {"empty array", arr({}), 0, "[]"},
      {"empty array, pretty", arr({}), kPretty, "[\n  \n]"},
      {"empty array inside an array, pretty", arr({arr({})}), kPretty, "[\n  [\n    \n  ]\n]"},
      {"empty dictionary", Value::dictionaryOf({}), 0, "{}"},
      {"pretty dictionary sorts its keys",
       Value::dictionaryOf({{"b", Value::integer(1)}, {"a", arr({Value::boolean(true), Value::null()})}}), kPretty,
       "{\n  \"a\": [\n    true,\n    null\n  ],\n  \"b\": 1\n}"},
      {"compact nesting", Value::dictionaryOf({{"k", arr({Value::integer(1), Value::dictionaryOf({{"x", "y"}})})}}), 0,
       R"({"k":[1,{"x":"y"}]})"},
      {"literals", arr({Value::boolean(true), Value::boolean(false), Value::null()}), 0, "[true,false,null]"},

      {"tab, quote, backslash and slash", arr({"\t\"\\/"}), 0, R"(["\t\"\\/"])"},
      {"slash escaped on request", arr({"\t\"\\/"}), kEscapeSlash, R"(["\t\"\\\/"])"},
      {"short escapes", arr({"\b\f\n\r"}), 0, R"(["\b\f\n\r"])"},
      {"other control characters", arr({"\x01\x1f\x7f"}), 0, "[\"\\u0001\\u001f\x7f\"]"},
      {"non-ASCII written raw", arr({"\xC3\xA9\xF0\x9F\x98\x80"}), 0, "[\"\xC3\xA9\xF0\x9F\x98\x80\"]"},
      {"non-ASCII escaped", arr({"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"}), kEscapeNonASCII,
       R"(["\u00e9\u4e2d\ud83d\ude00"])"},
      {"noncharacter written raw", arr({"\xEF\xBF\xBE"}), 0, "[\"\xEF\xBF\xBE\"]"},
      {"noncharacter cannot be escaped", arr({"\xEF\xBF\xBE"}), kEscapeNonASCII, "<error: Error converting UTF8.>"},
      {"bytes that are not UTF-8", arr({"a\xFF"}), 0,
       "<error: An error occurred converting the contents of a NSString to UTF8.>"},
      {"bytes that are not UTF-8, escaping", arr({"a\xFF"}), kEscapeNonASCII, "<error: Error converting UTF8.>"},
      {"truncated UTF-8", arr({"\xE2\x82"}), 0,
       "<error: An error occurred converting the contents of a NSString to UTF8.>"},

      {"0.1 with 17 digits", arr({Value::real(0.1)}), 0, "[0.10000000000000001]"},
      {"integral double", arr({Value::real(1.0)}), 0, "[1]"},
      {"minus zero", arr({Value::real(-0.0)}), 0, "[-0]"},
      {"large double", arr({Value::real(1e300)}), 0, "[1.0000000000000001e+300]"},
      {"subnormal double", arr({Value::real(5e-324)}), 0, "[4.9406564584124654e-324]"},
      {"largest unsigned", arr({Value::unsignedInteger(UINT64_MAX)}), 0, "[18446744073709551615]"},
      {"unsigned above the signed range", arr({Value::unsignedInteger(9223372036854775808ULL)}), 0,
       "[9223372036854775808]"},
      {"signed extremes", arr({Value::integer(INT64_MIN), Value::integer(INT64_MAX), Value::integer(0)}), 0,
       "[-9223372036854775808,9223372036854775807,0]"},
      {"NaN", arr({Value::real(nan)}), 0, finite},
      {"infinity", arr({Value::real(inf)}), 0, finite},
      {"minus infinity", arr({Value::real(-inf)}), kPretty, finite},

      {"number as a key", Value::dictionaryOf({{Value::integer(1), "x"}}), 0, "<error: Key must be a string object.>"},
      {"number as a key, pretty", Value::dictionaryOf({{"a", "x"}, {Value::integer(1), "x"}}), kPretty,
       "<error: Key must be a string object.>"},
      {"date without a formatter", arr({Value::date(978307200.0)}), 0,
       "<error: Unable to serialize object class NSDate.>"},
      {"data without a formatter", Value::dictionaryOf({{"d", Value::data("x")}}), 0,
       "<error: Unable to serialize object class NSData.>"},
  };
}

TEST(JKSerializerTest, ObjectsAreWrittenAsTheRulesSay) {
  for (const EncodeCase& c : encodeCases()) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(encode(c.object, c.options), c.expected);
  }
}

TEST(JKSerializerTest, ResultIsDataOrStringAsAsked) {
  Value tree = arr({Value::integer(1)});
  Error error;
  Value data = JKSerializer::serializeObject(tree, 0, jk::JKEncodeOptionAsData, {}, nullptr, nullptr, &error);
  ASSERT_TRUE(data.isData());
  EXPECT_EQ(data.data()->view(), "[1]");
  Value string = JKSerializer::serializeObject(tree, 0, kAsString, {}, nullptr, nullptr, &error);
  ASSERT_TRUE(string.isString());
  EXPECT_EQ(string.stringView(), "[1]");
  for (jk::JKEncodeOptionType type : {0, 3, 7}) {
    EXPECT_FALSE(JKSerializer::serializeObject(tree, 0, type, {}, nullptr, nullptr, &error));
    EXPECT_EQ(error.localizedDescription, "Unknown encode as type.") << type;
    EXPECT_EQ(error.domain, "JKErrorDomain");
    EXPECT_EQ(error.code, -1);
    EXPECT_FALSE(error.atIndex);
  }
  // A later successful call clears the caller's error.
  EXPECT_TRUE(JKSerializer::serializeObject(tree, 0, kAsString, {}, nullptr, nullptr, &error));
  EXPECT_TRUE(error.domain.empty());
  EXPECT_TRUE(error.localizedDescription.empty());
}

TEST(JKSerializerTest, TopObjectKindsAreCheckedAgainstTheEncodeOption) {
  EXPECT_EQ(encode("text", 0, kAsString | jk::JKEncodeOptionCollectionObj),
            "<error: Unable to serialize object class NSString, expected a NSArray or NSDictionary.>");
  EXPECT_EQ(encode(decode("[1]"), 0, kAsString | jk::JKEncodeOptionStringObj),
            "<error: Unable to serialize object class JKArray, expected a NSString.>");
  EXPECT_EQ(encode("a\"b", 0, kAsString | jk::JKEncodeOptionStringObj), R"("a\"b")");
  EXPECT_EQ(encode("a\"b", 0, kAsString | jk::JKEncodeOptionStringObj | jk::JKEncodeOptionStringObjTrimQuotes),
            R"(a\"b)");
  // Without either check any object may stand at the top.
  EXPECT_EQ(encode(Value::integer(7)), "7");
}

TEST(JKSerializerTest, PreconditionsRaise) {
  const std::string assertion = "NSInternalInconsistencyException: Invalid parameter not satisfying: ";
  Error error;
  std::string r = raised([&] { JKSerializer::serializeObject(Value(), 0, kAsString, {}, nullptr, nullptr, &error); });
  EXPECT_EQ(r.rfind(assertion, 0), 0u) << r;
  r = raised([&] {
    JKSerializer::serializeObject(arr({}), 0, kAsString | jk::JKEncodeOptionCollectionObj | jk::JKEncodeOptionStringObj,
                                  {}, nullptr, nullptr, &error);
  });
  EXPECT_EQ(r.rfind(assertion, 0), 0u) << r;
  r = raised([&] {
    JKSerializer::serializeObject(arr({}), 0,
                                  kAsString | jk::JKEncodeOptionCollectionObj | jk::JKEncodeOptionStringObjTrimQuotes,
                                  {}, nullptr, nullptr, &error);
  });
  EXPECT_EQ(r.rfind(assertion, 0), 0u) << r;
}

class DescriptionDelegate : public jk::JKFormatterDelegate {
 public:
  std::function<Value(const Value&)> methodForSelector(const char* selector) override {
    if (std::string_view(selector) != "descriptionForObject:") return {};
    return [this](const Value& object) {
      ++calls;
      return Value(object.description());
    };
  }
  int calls = 0;
};

TEST(JKSerializerTest, UnsupportedObjectsGoThroughTheFormatter) {
  Value date = Value::date(978307200.0);
  Value tree = arr({date, "mid", date, date});
  int calls = 0;
  jk::JKSerializeBlock describe = [&](const Value& object) {
    ++calls;
    return Value(object.description());
  };
  Error error;
  Value text = JKSerializer::serializeObject(tree, 0, kAsString, describe, nullptr, nullptr, &error);
  ASSERT_TRUE(text) << error.localizedDescription;
  EXPECT_EQ(text.stringView(),
            R"(["2001-01-01 00:00:00 +0000","mid","2001-01-01 00:00:00 +0000","2001-01-01 00:00:00 +0000"])");
  EXPECT_EQ(calls, 1) << "the text written for the replacement is reused for the same object";

  DescriptionDelegate delegate;
  text = JKSerializer::serializeObject(tree, kPretty, kAsString, {}, &delegate, "descriptionForObject:", &error);
  ASSERT_TRUE(text) << error.localizedDescription;
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_EQ(decode(text.stringView())[2].stringView(), "2001-01-01 00:00:00 +0000");

  jk::JKSerializeBlock toData = [](const Value&) { return Value::data("raw"); };
  EXPECT_FALSE(JKSerializer::serializeObject(tree, 0, kAsString, toData, nullptr, nullptr, &error));
  EXPECT_EQ(error.localizedDescription,
            "Unable to serialize object class NSData that was returned by the unsupported class formatter.  Original "
            "object class was NSDate.");
  jk::JKSerializeBlock toNil = [](const Value&) { return Value(); };
  EXPECT_FALSE(JKSerializer::serializeObject(tree, 0, kAsString, toNil, nullptr, nullptr, &error));
  EXPECT_EQ(error.localizedDescription, "Unable to serialize object class NSDate.");
}

TEST(JKSerializerTest, DelegateMisuseRaises) {
  DescriptionDelegate delegate;
  Error error;
  EXPECT_EQ(raised([&] { JKSerializer::serializeObject(arr({}), 0, kAsString, {}, &delegate, nullptr, &error); }),
            "NSInvalidArgumentException: The delegate argument is not NULL, but the selector argument is NULL.");
  EXPECT_EQ(raised([&] { JKSerializer::serializeObject(arr({}), 0, kAsString, {}, &delegate, "other:", &error); }),
            "NSInvalidArgumentException: The serializeUnsupportedClassesUsingDelegate: delegate does not respond to "
            "the selector argument.");
  const std::string r = raised([&] {
    JKSerializer::serializeObject(arr({}), 0, kAsString, [](const Value& v) { return v; }, &delegate,
                                  "descriptionForObject:", &error);
  });
  EXPECT_EQ(r.rfind("NSInternalInconsistencyException: Invalid parameter not satisfying: ", 0), 0u) << r;
}

TEST(JKSerializerTest, ASerializerServesOneCallAtATime) {
  JKSerializer serializer;
  Error error;
  std::string inner;
  jk::JKSerializeBlock reenter = [&](const Value&) {
    inner = raised([&] { serializer.serialize(arr({}), 0, kAsString, {}, nullptr, nullptr, nullptr); });
    return Value("x");
  };
  Value text = serializer.serialize(arr({Value::date(0)}), 0, kAsString, reenter, nullptr, nullptr, &error);
  EXPECT_EQ(text.stringView(), R"(["x"])");
  EXPECT_EQ(inner, "NSInternalInconsistencyException: Invalid parameter not satisfying: encodeState == NULL");
  // One call after another is fine, and a formatter's exception leaves the serializer usable.
  EXPECT_EQ(serializer.serialize(arr({Value::integer(2)}), 0, kAsString, {}, nullptr, nullptr, &error).stringView(),
            "[2]");
  jk::JKSerializeBlock boom = [](const Value&) -> Value { throw std::runtime_error("formatter failed"); };
  EXPECT_THROW(serializer.serialize(arr({Value::date(0)}), 0, kAsString, boom, nullptr, nullptr, &error),
               std::runtime_error);
  EXPECT_EQ(serializer.serialize(arr({Value::integer(3)}), 0, kAsString, {}, nullptr, nullptr, &error).stringView(),
            "[3]");
}

TEST(JKSerializerTest, CyclesAndDeepNestingFailCleanly) {
  Value a = Value::mutableArrayOf({Value::integer(1)});
  a.array()->addObject(a);
  EXPECT_EQ(encode(a), "<error: Unable to serialize object class NSMutableArray: it contains itself.>");
  Value d = Value::mutableDictionaryOf({});
  Value inner = Value::mutableArrayOf({d});
  d.dictionary()->setObject(inner, "inner");
  EXPECT_EQ(encode(d, kPretty), "<error: Unable to serialize object class NSMutableDictionary: it contains itself.>");
  // Break the cycles so that the objects can be freed.
  a.array()->removeObjectAtIndex(1);
  d.dictionary()->removeObjectForKey("inner");

  // The same container twice side by side is not a cycle.
  Value shared = arr({Value::integer(1)});
  EXPECT_EQ(encode(arr({shared, shared})), "[[1],[1]]");

  auto nested = [](size_t depth) {
    Value v = arr({});
    for (size_t i = 1; i < depth; ++i) v = arr({v});
    return v;
  };
  Value deepest = nested(jk::kJKMaxNestingDepth);
  EXPECT_EQ(encode(deepest), std::string(jk::kJKMaxNestingDepth, '[') + std::string(jk::kJKMaxNestingDepth, ']'));
  EXPECT_EQ(encode(arr({deepest})),
            "<error: Unable to serialize arrays and dictionaries nested more than 4096 levels deep.>");
}

TEST(JKSerializerTest, LongOutputAndEscapeHeavyStringsStayInBounds) {
  // Every byte of this string becomes a six-byte escape.
  const std::string controls(5000, '\x01');
  std::string expected = "[\"";
  for (size_t i = 0; i < controls.size(); ++i) expected += "\\u0001";
  expected += "\"]";
  EXPECT_EQ(encode(arr({controls})), expected);

  std::vector<Value> many;
  std::string manyExpected = "[";
  for (int i = 0; i < 10000; ++i) {
    many.push_back(Value("item" + std::to_string(i)));
    manyExpected += (i ? ",\"item" : "\"item") + std::to_string(i) + "\"";
  }
  manyExpected += "]";
  EXPECT_EQ(encode(Value::arrayOf(many)), manyExpected);
}

TEST(JKSerializerTest, RepeatedObjectsAreCopiedCorrectlyWhateverTheCacheHolds) {
  // Far more distinct objects than cache slots, each written several times
  // in an interleaved order.
  std::vector<Value> strings, numbers;
  for (int i = 0; i < 3000; ++i) {
    strings.push_back(Value("s" + std::to_string(i)));
    numbers.push_back(Value::integer(i * 7));
  }
  std::vector<Value> items;
  std::string expected = "[";
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 3000; ++i) {
      const int j = (i * 13 + round * 101) % 3000;
      items.push_back(strings[j]);
      items.push_back(numbers[j]);
      expected += (items.size() > 2 ? ",\"s" : "\"s") + std::to_string(j) + "\"," + std::to_string(j * 7);
    }
  }
  expected += "]";
  EXPECT_EQ(encode(Value::arrayOf(items)), expected);
}

TEST(JKSerializerTest, AFormatterThatEmptiesTheCollectionCannotBreakTheWrite) {
  // The formatter runs caller code in the middle of the write; removing the
  // remaining elements from under the writer must not free them early.
  Value list = Value::mutableArrayOf({Value::date(0), Value("a"), Value("b" + std::string(40, 'b'))});
  jk::JKSerializeBlock clear = [&](const Value&) {
    while (list.count()) list.array()->removeObjectAtIndex(0);
    return Value("x");
  };
  Error error;
  Value text = JKSerializer::serializeObject(list, 0, kAsString, clear, nullptr, nullptr, &error);
  EXPECT_EQ(text.stringView(), "[\"x\",\"a\",\"b" + std::string(40, 'b') + "\"]");
  EXPECT_EQ(list.count(), 0u);
}

TEST(JKSerializerTest, FreshReplacementsNeverBorrowAnotherObjectsText) {
  // Each date is replaced by a new array holding a new string; the writer
  // keeps them alive, so no later object can reuse an address whose text
  // is remembered.
  std::vector<Value> dates;
  std::string expected = "[";
  for (int i = 0; i < 2000; ++i) {
    dates.push_back(Value::date(i));
    expected += (i ? ",[\"d" : "[\"d") + std::to_string(i) + "\"]";
  }
  expected += "]";
  jk::JKSerializeBlock wrap = [](const Value& object) {
    return Value::arrayOf({Value("d" + std::to_string(static_cast<int>(object.date()->secondsSince1970())))});
  };
  Error error;
  Value text = JKSerializer::serializeObject(Value::arrayOf(dates), 0, kAsString, wrap, nullptr, nullptr, &error);
  ASSERT_TRUE(text) << error.localizedDescription;
  EXPECT_EQ(text.stringView(), expected);
}

}  // namespace
