#include "platform/foundation/value.h"

#include <gtest/gtest.h>

using platform::Value;

TEST(Value, TypesAndNumericConversions) {
  EXPECT_TRUE(Value().isNull());
  EXPECT_TRUE(Value(true).isBool());
  EXPECT_TRUE(Value(3).isInteger());
  EXPECT_TRUE(Value(2.5).isReal());
  EXPECT_TRUE(Value("x").isString());
  EXPECT_EQ(Value(true).integerValue(), 1);
  EXPECT_EQ(Value(2.9).integerValue(), 2);
  EXPECT_EQ(Value(-2.9).integerValue(), -2);
  EXPECT_EQ(Value(1e300).integerValue(), INT64_MAX);
  EXPECT_EQ(Value(-1e300).integerValue(), INT64_MIN);
  EXPECT_DOUBLE_EQ(Value(7).realValue(), 7.0);
  EXPECT_EQ(Value("12").integerValue(99), 99);
  EXPECT_FALSE(Value(0).boolValue(true));
  EXPECT_TRUE(Value().boolValue(true));
}

TEST(Value, DictionaryAndArrayAccess) {
  platform::Dictionary d;
  d["partId"] = 3;
  d["list"] = platform::Array{Value(1), Value("two")};
  const Value v(d);
  ASSERT_NE(v.find("partId"), nullptr);
  EXPECT_EQ(v.find("partId")->integerValue(), 3);
  EXPECT_EQ(v.find("missing"), nullptr);
  EXPECT_EQ(v.find("list")->at(1)->stringValue(), "two");
  EXPECT_EQ(v.find("list")->at(2), nullptr);
  EXPECT_EQ(Value(5).find("x"), nullptr);
  EXPECT_TRUE(Value(d) == v);
  EXPECT_FALSE(Value(1) == Value(1.0));
}
