#include "platform/foundation/property_list_input.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/property_list.h"
#include "support/binary_plist_builder.h"
#include "support/costly_property_lists.h"

using platform::Value;
using test_support::BinaryPlistBuilder;

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string xml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

std::string nestedXml(int levels) {
  std::string s;
  for (int i = 0; i < levels; ++i) s += "<array>";
  for (int i = 0; i < levels; ++i) s += "</array>";
  return xml(s);
}

std::vector<uint8_t> nestedBinary(int levels) {
  BinaryPlistBuilder b(2);
  for (int i = 0; i + 1 < levels; ++i) b.array({static_cast<uint64_t>(i + 1)});
  b.array({});
  return b.bytes(0);
}

// 2^(levels + 1) - 1 elements once expanded, from levels + 1 objects.
std::vector<uint8_t> doubledBinary(int levels) {
  BinaryPlistBuilder b(1);
  for (int i = 0; i < levels; ++i) b.array({static_cast<uint64_t>(i + 1), static_cast<uint64_t>(i + 1)});
  b.integer(3);
  return b.bytes(0);
}

std::vector<uint8_t> flatBinary(int64_t count) {
  platform::Array a;
  for (int64_t i = 0; i < count; ++i) a.emplace_back(i);
  return *platform::propertyListToBinary(Value(std::move(a)));
}

bool countsUp(const Value& v, int64_t count) {
  if (!v.array() || v.array()->size() != static_cast<size_t>(count)) return false;
  for (int64_t i = 0; i < count; ++i)
    if ((*v.array())[static_cast<size_t>(i)] != Value(i)) return false;
  return true;
}

int depthOf(const Value& v) {
  int deepest = 0;
  if (const auto* a = v.array())
    for (const Value& item : *a) deepest = std::max(deepest, depthOf(item));
  else if (const auto* d = v.dictionary())
    for (const auto& [k, item] : *d) deepest = std::max(deepest, depthOf(item));
  else
    return 0;
  return deepest + 1;
}

struct Bound {
  const char* label;
  std::function<std::vector<uint8_t>()> make;
  const char* reason;  // nullptr: read, with `check` true of the value
  std::function<bool(const Value&)> check = nullptr;
};

void PrintTo(const Bound& b, std::ostream* os) { *os << b.label; }

class PropertyListBounds : public ::testing::TestWithParam<Bound> {};

TEST_P(PropertyListBounds, HoldOnBothSides) {
  const Bound& c = GetParam();
  const std::vector<uint8_t> bytes = c.make();
  std::string error;
  const bool within = platform::propertyListWithinBounds(bytes, &error);
  const auto value = platform::propertyListFromBytes(bytes, &error);
  if (c.reason) {
    EXPECT_FALSE(within);
    EXPECT_FALSE(value);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  } else {
    EXPECT_TRUE(within) << error;
    ASSERT_TRUE(value) << error;
    EXPECT_TRUE(c.check(*value));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PropertyListBounds,
    ::testing::Values(
        Bound{"xml_64_deep", [] { return bytesOf(nestedXml(64)); }, nullptr,
              [](const Value& v) { return depthOf(v) == 64; }},
        Bound{"xml_65_deep", [] { return bytesOf(nestedXml(65)); }, "nests deeper than 64 levels"},
        Bound{"xml_dictionaries_count_too",
              [] {
                std::string s;
                for (int i = 0; i < 65; ++i) s += "<dict><key>k</key>";
                s += "<true/>";
                for (int i = 0; i < 65; ++i) s += "</dict>";
                return bytesOf(xml(s));
              },
              "nests deeper than 64 levels"},
        // Empty containers written as one tag open nothing, and tags in a
        // comment are not elements.
        Bound{"xml_self_closed_and_commented",
              [] {
                std::string s = "<array><!--";
                for (int i = 0; i < 100; ++i) s += "<array>";
                s += "-->";
                for (int i = 0; i < 100; ++i) s += "<array/><dict/>";
                return bytesOf(xml(s + "</array>"));
              },
              nullptr, [](const Value& v) { return v.array() && v.array()->size() == 200 && depthOf(v) == 2; }},
        Bound{"xml_nul_byte",
              [] { return bytesOf(xml("<dict><key>a</key><string>x" + std::string(1, '\0') + "y</string></dict>")); },
              "NUL"},
        Bound{"binary_64_deep", [] { return nestedBinary(64); }, nullptr,
              [](const Value& v) { return depthOf(v) == 64; }},
        Bound{"binary_65_deep", [] { return nestedBinary(65); }, "nests deeper than 64 levels"},
        Bound{"binary_shared_within_bound", [] { return doubledBinary(15); }, nullptr,
              [](const Value& v) { return depthOf(v) == 15; }},
        Bound{"binary_shared_past_bound", [] { return doubledBinary(16); }, "would expand to more than 8388608 bytes"},
        // One data object of 1 MiB, 65,535 times in one array: 1.1 MB of
        // file, 64 GiB once parsed.
        Bound{"binary_shared_payload", [] { return test_support::sharedPayload(65535, 1 << 20); },
              "would expand to more than"},
        Bound{"binary_nested_shared_payload", test_support::nestedSharedPayload, "would expand to more than"},
        // The same 100 KB of file each way: 100,000 ASCII characters 64
        // times are 6.4 MB, 50,000 16-bit units 64 times up to 9.6 MB of
        // UTF-8, past the floor.
        Bound{"binary_shared_ascii_within_bound",
              [] { return test_support::sharedLeaf(64, [](BinaryPlistBuilder& b) { return b.ascii(std::string(100000, 'a')); }); },
              nullptr,
              [](const Value& v) {
                return v.array() && v.array()->size() == 64 && v.array()->back() == Value(std::string(100000, 'a'));
              }},
        Bound{"binary_shared_utf16_at_three_bytes_a_unit",
              [] { return test_support::sharedLeaf(64, [](BinaryPlistBuilder& b) { return b.utf16(std::u16string(50000, u'\u20ac')); }); },
              "would expand to more than 8388608 bytes"},
        // Keys cost what they hold: 200 dictionaries of one 50,000-byte key.
        Bound{"binary_shared_key",
              [] {
                return test_support::sharedLeaf(200, [](BinaryPlistBuilder& b) {
                  const uint64_t dict = b.dict({2}, {3});
                  b.ascii(std::string(50000, 'k'));
                  b.integer(1);
                  return dict;
                });
              },
              "would expand to more than 8388608 bytes"},
        // 22 references to 3 MiB: past the ceiling, whatever the file's size.
        Bound{"binary_past_the_ceiling",
              [] { return test_support::sharedPayload(22, 3 << 20); },
              "would expand to more than 67108864 bytes"},
        // Numbers none shared, more than the floor, within what the file's
        // size earns: as the program's writer lays them out, and 400,000 of
        // them laid out here (libplist's writer takes seconds over so many).
        Bound{"binary_flat_array_of_65536_numbers", [] { return flatBinary(65536); }, nullptr,
              [](const Value& v) { return countsUp(v, 65536); }},
        Bound{"binary_flat_array_of_400000_numbers",
              [] { return test_support::flatArrayOfNumbers(400000, 400000); }, nullptr,
              [](const Value& v) { return countsUp(v, 400000); }},
        Bound{"binary_data_past_the_objects",
              [] {
                BinaryPlistBuilder b(1);
                auto bytes = b.bytes(b.data("abc"));
                bytes[8] = 0x4E;  // its marker: 14 bytes
                return bytes;
              },
              "malformed binary property list"},
        // A grid of one repeated number is two objects and many elements.
        Bound{"binary_repeated_number",
              [] {
                BinaryPlistBuilder b(1);
                b.array(std::vector<uint64_t>(64, 1));
                b.integer(0);
                return b.bytes(0);
              },
              nullptr, [](const Value& v) { return v.array() && v.array()->size() == 64 && (*v.array())[63] == Value(0); }},
        Bound{"binary_utf16_text",
              [] {
                BinaryPlistBuilder b(1);
                const uint64_t key = b.ascii("name");
                return b.bytes(b.dict({key}, {b.utf16(u"\u00c4\u20ac")}));
              },
              nullptr,
              [](const Value& v) { return v.dictionary() && v.dictionary()->at("name") == Value("\xc3\x84\xe2\x82\xac"); }},
        Bound{"binary_utf16_key_with_nul",
              [] {
                BinaryPlistBuilder b(1);
                const uint64_t key = b.utf16(std::u16string(u"k\0", 2));
                return b.bytes(b.dict({key}, {b.integer(1)}));
              },
              "string with a NUL character"},
        Bound{"binary_ascii_with_nul",
              [] {
                BinaryPlistBuilder b(1);
                return b.bytes(b.array({b.ascii(std::string("a\0b", 3))}));
              },
              "string with a NUL character"},
        Bound{"binary_array_holding_itself",
              [] {
                BinaryPlistBuilder b(1);
                b.array({1});
                b.array({0});
                return b.bytes(0);
              },
              "refers to itself"},
        Bound{"binary_reference_past_the_table",
              [] {
                BinaryPlistBuilder b(1);
                return b.bytes(b.array({9}));
              },
              "malformed binary property list"},
        Bound{"binary_table_past_the_end",
              [] {
                auto bytes = nestedBinary(3);
                bytes[bytes.size() - 1] = 0xF0;  // the offset table's offset
                return bytes;
              },
              "malformed binary property list"}),
    [](const ::testing::TestParamInfo<Bound>& info) { return std::string(info.param.label); });

TEST(PropertyListCostBound, ScalesWithTheFileBetweenFloorAndCeiling) {
  const struct {
    uint64_t fileSize, bound;
  } cases[] = {
      {0, platform::kPropertyListMinCost},
      {40, platform::kPropertyListMinCost},
      {platform::kPropertyListMinCost / platform::kPropertyListCostPerByte, platform::kPropertyListMinCost},
      {1 << 20, 32ull << 20},
      {(2 << 20) + 1, platform::kPropertyListMaxCost},
      {4 << 20, platform::kPropertyListMaxCost},
      {UINT64_MAX / 2, platform::kPropertyListMaxCost},  // no overflow on the way
      {UINT64_MAX, platform::kPropertyListMaxCost},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::propertyListCostBound(c.fileSize), c.bound) << c.fileSize;
}

TEST(PlistStringValue, ReadsStringNodesOnly) {
  plist_t plain = plist_new_string("digits 0123");
  EXPECT_EQ(platform::plistStringValue(plain), "digits 0123");
  plist_free(plain);
  plist_t number = plist_new_uint(5);
  EXPECT_FALSE(platform::plistStringValue(number));
  plist_free(number);
  EXPECT_FALSE(platform::plistStringValue(nullptr));
}

}  // namespace
