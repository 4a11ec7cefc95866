#include "platform/foundation/property_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/foundation/atomic_file.h"

namespace fs = std::filesystem;
using platform::Array;
using platform::Data;
using platform::Date;
using platform::Dictionary;
using platform::Value;

namespace {

class PropertyListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-plist-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string runPython(const std::string& script) {
    const fs::path py = dir / "check.py";
    const fs::path out = dir / "out.txt";
    std::ofstream(py) << script;
    const std::string cmd = "python3 " + py.string() + " > " + out.string() + " 2>&1";
    const int rc = std::system(cmd.c_str());
    std::ifstream in(out);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(rc, 0) << ss.str();
    return ss.str();
  }

  fs::path dir;
};

Value sample() {
  Dictionary inner{{"name", Value("Deep & <House>")}, {"count", Value(42)}};
  return Value(Dictionary{
      {"flag", Value(true)},
      {"off", Value(false)},
      {"int", Value(-123456789012LL)},
      {"big", Value(4000000000LL)},
      {"real", Value(0.1)},
      {"text", Value("héllo\tworld")},
      {"empty", Value("")},
      {"bytes", Value(Data{0, 1, 2, 254, 255})},
      {"when", Value(Date{1700000000.0})},
      {"list", Value(Array{Value(1), Value("two"), Value(Array{}), Value(Dictionary{})})},
      {"inner", Value(inner)},
  });
}

TEST_F(PropertyListTest, XmlRoundTripKeepsEveryType) {
  const fs::path p = dir / "a.plist";
  std::string err;
  ASSERT_TRUE(platform::writePropertyList(p, sample(), &err)) << err;
  auto back = platform::readPropertyList(p);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, sample());
}

TEST_F(PropertyListTest, XmlDatesAreWholeSeconds) {
  auto xml = platform::propertyListToXML(Value(Array{Value(Date{1700000000.75})}));
  ASSERT_TRUE(xml);
  EXPECT_NE(xml->find("<date>2023-11-14T22:13:20Z</date>"), std::string::npos) << *xml;
}

TEST_F(PropertyListTest, BinaryIsReadToo) {
  auto bin = platform::propertyListToBinary(sample());
  ASSERT_TRUE(bin);
  ASSERT_GE(bin->size(), 8u);
  EXPECT_EQ(std::string(bin->begin(), bin->begin() + 8), "bplist00");
  const fs::path p = dir / "b.plist";
  ASSERT_TRUE(platform::writeFileAtomically(p, *bin));
  auto back = platform::readPropertyList(p);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, sample());
}

TEST_F(PropertyListTest, XmlHasThePlatformsShape) {
  auto xml = platform::propertyListToXML(Value(Dictionary{{"b", Value(1)}, {"a", Value(true)}}));
  ASSERT_TRUE(xml);
  EXPECT_EQ(*xml,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>a</key>\n"
            "\t<true/>\n"
            "\t<key>b</key>\n"
            "\t<integer>1</integer>\n"
            "</dict>\n"
            "</plist>\n");
}

TEST_F(PropertyListTest, PythonPlistlibReadsWhatWeWrite) {
  const fs::path p = dir / "c.plist";
  ASSERT_TRUE(platform::writePropertyList(p, sample()));
  const std::string out = runPython(
      "import plistlib, datetime\n"
      "d = plistlib.load(open('" + p.string() + "', 'rb'))\n"
      "assert d['flag'] is True and d['off'] is False\n"
      "assert d['int'] == -123456789012 and type(d['int']) is int\n"
      "assert d['big'] == 4000000000\n"
      "assert type(d['real']) is float and d['real'] == 0.1\n"
      "assert d['text'] == 'h\\u00e9llo\\tworld' and d['empty'] == ''\n"
      "assert d['bytes'] == bytes([0, 1, 2, 254, 255])\n"
      "assert isinstance(d['when'], datetime.datetime)\n"
      "assert abs(d['when'].replace(tzinfo=datetime.timezone.utc).timestamp() - 1700000000) <= 1\n"
      "assert d['list'] == [1, 'two', [], {}]\n"
      "assert d['inner'] == {'name': 'Deep & <House>', 'count': 42}\n"
      "print('ok')\n");
  EXPECT_EQ(out, "ok\n");
}

TEST_F(PropertyListTest, WeReadWhatPythonWrites) {
  const fs::path x = dir / "py.xml";
  const fs::path b = dir / "py.bin";
  runPython(
      "import plistlib\n"
      "v = {'k': [1, -2, 2.5, 'x', b'\\x00\\x01', True], 'n': {'deep': 'y'}}\n"
      "open('" + x.string() + "', 'wb').write(plistlib.dumps(v, fmt=plistlib.FMT_XML))\n"
      "open('" + b.string() + "', 'wb').write(plistlib.dumps(v, fmt=plistlib.FMT_BINARY))\n");
  const Value expected(Dictionary{
      {"k", Value(Array{Value(1), Value(-2), Value(2.5), Value("x"), Value(Data{0, 1}), Value(true)})},
      {"n", Value(Dictionary{{"deep", Value("y")}})}});
  for (const fs::path& p : {x, b}) {
    auto v = platform::readPropertyList(p);
    ASSERT_TRUE(v) << p;
    EXPECT_EQ(*v, expected) << p;
  }
}

TEST_F(PropertyListTest, BadInputIsRefusedWithAReason) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"garbage", "this is not a property list at all"},
      {"truncated xml", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><str"},
      {"truncated binary", "bplist00\xd1\x01\x02"},
  };
  for (const auto& [name, text] : cases) {
    const fs::path p = dir / "bad.plist";
    ASSERT_TRUE(platform::writeFileAtomically(p, text));
    std::string err;
    EXPECT_FALSE(platform::readPropertyList(p, &err)) << name;
    EXPECT_FALSE(err.empty()) << name;
  }
  std::string err;
  EXPECT_FALSE(platform::readPropertyList(dir / "missing.plist", &err));
  EXPECT_NE(err.find("missing.plist"), std::string::npos);
}

TEST_F(PropertyListTest, UnwritableValueLeavesTheOldFile) {
  const fs::path p = dir / "keep.plist";
  ASSERT_TRUE(platform::writePropertyList(p, Value(Dictionary{{"a", Value(1)}})));
  std::string err;
  EXPECT_FALSE(platform::writePropertyList(p, Value(Dictionary{{"a", Value(Array{Value()})}}), &err));
  EXPECT_NE(err.find("a[0]"), std::string::npos) << err;
  auto back = platform::readPropertyList(p);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, Value(Dictionary{{"a", Value(1)}}));
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}  // namespace
