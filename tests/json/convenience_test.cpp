#include <gtest/gtest.h>

#include <string>

#include "json/json_kit.h"
#include "json_test_util.h"

namespace {

using jk::Error;
using jk::Value;
using jktest::raised;

const jk::String& str(const Value& v) { return *v.string(); }
const jk::Data& data(const Value& v) { return *v.data(); }

TEST(JSONConvenienceTest, DataParsesToImmutableOrMutableTrees) {
  Value body = Value::data(R"([{"id":4294967296123,"title":"Loop"}])");
  Value tracks = data(body).objectFromJSONData();
  ASSERT_TRUE(tracks.isArray());
  EXPECT_FALSE(tracks.array()->isMutable());
  EXPECT_EQ(tracks[0]["id"].int64Value(), 4294967296123) << "64-bit ids stay exact";
  EXPECT_EQ(tracks[0]["title"].stringView(), "Loop");

  Value mutableTracks = data(body).mutableObjectFromJSONData();
  EXPECT_TRUE(mutableTracks.array()->isMutable());
  EXPECT_TRUE(mutableTracks[0].dictionary()->isMutable());
  EXPECT_EQ(mutableTracks, tracks);

  EXPECT_TRUE(data(Value::data("[1]x")).objectFromJSONDataWithParseOptions(jk::JKParseOptionAllowTrailingText));
  EXPECT_TRUE(data(Value::data("[1]x")).mutableObjectFromJSONDataWithParseOptions(jk::JKParseOptionAllowTrailingText));
}

TEST(JSONConvenienceTest, BodiesThatAreNotJSONGiveNilWithoutRaising) {
  Value html = Value::data("<html><body>Service Unavailable</body></html>");
  EXPECT_FALSE(data(html).objectFromJSONData());
  Error error;
  EXPECT_FALSE(data(html).objectFromJSONDataWithParseOptions(0, &error));
  EXPECT_EQ(error.localizedDescription,
            "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.");
  EXPECT_EQ(error.atIndex, 0u);
  EXPECT_FALSE(data(html).mutableObjectFromJSONDataWithParseOptions(0, &error));
}

TEST(JSONConvenienceTest, StringsParseWithTheirOptions) {
  Value text = Value::string("// listing\n{\"a\":[1,2]}");
  Error error;
  EXPECT_FALSE(str(text).objectFromJSONString());
  Value v = str(text).objectFromJSONStringWithParseOptions(jk::JKParseOptionAllowComments, &error);
  ASSERT_TRUE(v);
  EXPECT_FALSE(v.dictionary()->isMutable());
  Value m = str(text).mutableObjectFromJSONStringWithParseOptions(jk::JKParseOptionAllowComments, &error);
  EXPECT_TRUE(m.dictionary()->isMutable());
  EXPECT_TRUE(m["a"].array()->isMutable());
  EXPECT_EQ(m, v);
  EXPECT_TRUE(str(Value("{}")).mutableObjectFromJSONString().dictionary()->isMutable());
  EXPECT_TRUE(str(Value("[]")).objectFromJSONStringWithParseOptions(0));
  EXPECT_TRUE(str(Value("[]")).mutableObjectFromJSONStringWithParseOptions(0));

  EXPECT_FALSE(str(Value("[1,]")).objectFromJSONStringWithParseOptions(0, &error));
  EXPECT_EQ(error.localizedDescription, "Unexpected ']'.");
}

TEST(JSONConvenienceTest, ParseOptionsOfSixteenOrMoreRaise) {
  Error error;
  EXPECT_EQ(raised([&] { str(Value("[]")).objectFromJSONStringWithParseOptions(16, &error); }),
            "NSInvalidArgumentException: Invalid parse options.");
  EXPECT_EQ(raised([&] { data(Value::data("[]")).mutableObjectFromJSONDataWithParseOptions(31); }),
            "NSInvalidArgumentException: Invalid parse options.");
}

TEST(JSONConvenienceTest, StringsWriteWithOrWithoutQuotes) {
  Value s = Value::string("a\"b");
  EXPECT_EQ(str(s).JSONString().stringView(), "\"a\\\"b\"");
  EXPECT_EQ(str(s).JSONString().stringView().size(), 6u);
  Error error;
  EXPECT_EQ(str(s).JSONStringWithOptions(0, false, &error).stringView(), "a\\\"b");
  EXPECT_EQ(str(s).JSONData().data()->view(), "\"a\\\"b\"");
  EXPECT_EQ(str(s).JSONDataWithOptions(0, false, &error).data()->view(), "a\\\"b");
  EXPECT_EQ(str(Value("a/\xC3\xA9")).JSONStringWithOptions(jk::JKSerializeOptionEscapeSlash |
                                                               jk::JKSerializeOptionEscapeNonASCII,
                                                           true, &error)
                .stringView(),
            R"("a\/\u00e9")");
}

TEST(JSONConvenienceTest, CollectionsWriteDataOrStrings) {
  Value tree = Value::dictionaryOf({{"list", Value::arrayOf({Value::integer(1), Value::real(2.5)})}});
  const jk::Collection& c = *tree.dictionary();
  EXPECT_EQ(c.JSONString().stringView(), R"({"list":[1,2.5]})");
  EXPECT_EQ(c.JSONData().data()->view(), R"({"list":[1,2.5]})");
  Error error;
  EXPECT_EQ(c.JSONStringWithOptions(jk::JKSerializeOptionPretty, &error).stringView(),
            "{\n  \"list\": [\n    1,\n    2.5\n  ]\n}");
  EXPECT_EQ(c.JSONDataWithOptions(jk::JKSerializeOptionPretty, &error).data()->view(),
            "{\n  \"list\": [\n    1,\n    2.5\n  ]\n}");
  EXPECT_EQ(tree["list"].array()->JSONString().stringView(), "[1,2.5]");
}

class UppercaseDelegate : public jk::JKFormatterDelegate {
 public:
  std::function<Value(const Value&)> methodForSelector(const char* selector) override {
    if (std::string_view(selector) != "jsonValue:") return {};
    return [](const Value& object) { return Value("DATA:" + std::string(object.data()->view())); };
  }
};

TEST(JSONConvenienceTest, UnsupportedObjectsNeedABlockOrADelegate) {
  Value tree = Value::dictionaryOf({{"payload", Value::data("xyz")}});
  const jk::Collection& c = *tree.dictionary();
  EXPECT_FALSE(c.JSONData());
  EXPECT_FALSE(c.JSONString());
  Error error;
  EXPECT_FALSE(c.JSONStringWithOptions(0, &error));
  EXPECT_EQ(error.localizedDescription, "Unable to serialize object class NSData.");

  jk::JKSerializeBlock block = [](const Value& object) { return Value(std::string(object.data()->view())); };
  EXPECT_EQ(c.JSONDataWithOptions(0, block, &error).data()->view(), R"({"payload":"xyz"})");
  EXPECT_EQ(c.JSONStringWithOptions(0, block, &error).stringView(), R"({"payload":"xyz"})");

  UppercaseDelegate delegate;
  EXPECT_EQ(c.JSONStringWithOptions(0, &delegate, "jsonValue:", &error).stringView(), R"({"payload":"DATA:xyz"})");
  EXPECT_EQ(c.JSONDataWithOptions(0, &delegate, "jsonValue:", &error).data()->view(), R"({"payload":"DATA:xyz"})");
}

}  // namespace
