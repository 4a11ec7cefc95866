#include "library/pattern_indices_table.h"

#include <gtest/gtest.h>

#include <functional>

#include "library/keyed_archive.h"
#include "platform/foundation/property_list_input.h"
#include "library/library_fixture.h"
#include "support/keyed_archive_layouts.h"

namespace {

using IndexTableTest = LibraryTest;

// Identifiers are decimal digits; these are short, for readable checks.
std::string idOf(int i) { return "900" + std::to_string(i); }

PatternIndicesTable tableOf(int n) {
  PatternIndicesTable t;
  t.resetTable();
  for (int i = 0; i < n; ++i) t.add(testRecord(i, ("A" + std::to_string(i)).c_str()), idOf(i));
  return t;
}

std::string names(const PatternIndicesTable& t) {
  std::string s;
  for (int i = 0; i < t.numberOfPatterns(); ++i) s += (i ? " " : "") + t.patternName(i);
  return s;
}

TEST(PatternIndicesTable, AddFillsFromTheRecord) {
  PatternIndicesTable t;
  EXPECT_EQ(t.numberOfPatterns(), 0);
  PatternRecord r = testRecord(1);
  // Texts of the longest allowed lengths, each closed by a zero byte.
  std::memset(r.tagParams.name, 'n', 15);
  r.tagParams.name[15] = 0;
  std::memset(r.tagParams.author, 'a', 15);
  r.tagParams.author[15] = 0;
  std::memset(r.tagParams.tags, 't', 255);
  r.tagParams.tags[255] = 0;
  r.sequencerParams.tempo = 1205;
  t.add(r, "first");
  ASSERT_EQ(t.numberOfPatterns(), 1);
  EXPECT_EQ(t.patternName(0), std::string(15, 'n'));
  EXPECT_EQ(t.patternAuthor(0), std::string(15, 'a'));
  EXPECT_EQ(t.patternTags(0), std::string(255, 't'));
  EXPECT_EQ(t.patternBPM(0), "120.5");
  EXPECT_EQ(t.patternId(0), "first");
  EXPECT_EQ(t.entryAt(0)->favorite(), 0u);
}

TEST(PatternIndicesTable, TextWithoutZeroStopsAtItsField) {
  PatternRecord r = testRecord(1);
  std::memset(r.tagParams.name, 'x', 16);
  std::memset(r.tagParams.author, 'y', 16);
  std::memset(r.tagParams.tags, 'z', 256);
  PatternIndicesTable t;
  t.add(r, "id");
  EXPECT_EQ(t.patternName(0), std::string(16, 'x'));
  EXPECT_EQ(t.patternAuthor(0), std::string(16, 'y'));
  EXPECT_EQ(t.patternTags(0), std::string(256, 'z'));
}

TEST(PatternIndicesTable, BpmText) {
  PatternIndicesTable t;
  for (int tempo : {600, 6000, 905, 200}) t.add("n", "a", "t", tempo);
  EXPECT_EQ(t.patternBPM(0), " 60.0");
  EXPECT_EQ(t.patternBPM(1), "600.0");
  EXPECT_EQ(t.patternBPM(2), " 90.5");
  EXPECT_EQ(t.patternBPM(3), " 20.0");
}

TEST(PatternIndicesTable, ReadersClampFromAboveAndEmptyReadsNothing) {
  PatternIndicesTable t = tableOf(3);
  EXPECT_EQ(t.patternName(2), "A2");
  EXPECT_EQ(t.patternName(99), "A2");
  EXPECT_EQ(t.patternId(static_cast<uint64_t>(-1)), idOf(2));
  PatternIndicesTable empty;
  EXPECT_EQ(empty.patternName(0), "");
  EXPECT_EQ(empty.patternId(static_cast<uint64_t>(-1)), "");
}

TEST(PatternIndicesTable, InsertMovesOneEntry) {
  PatternIndicesTable a = tableOf(10);
  a.insert(3, 7);
  EXPECT_EQ(names(a), "A0 A1 A2 A7 A3 A4 A5 A6 A8 A9");
  PatternIndicesTable b = tableOf(10);
  b.insert(7, 3);
  EXPECT_EQ(names(b), "A0 A1 A2 A4 A5 A6 A7 A3 A8 A9");
  PatternIndicesTable c = tableOf(4);
  c.insert(2, 2);
  c.insert(9, 0);
  c.insert(0, -1);
  EXPECT_EQ(names(c), "A0 A1 A2 A3");
}

TEST(PatternIndicesTable, SortsAndFavoriteOrder) {
  PatternIndicesTable t;
  t.add("beta", "Zed", "b", 1200);
  t.add("Alpha", "amy", "C", 1200);
  t.add("gamma", "Bob", "a", 1200);
  t.sortByName();
  EXPECT_EQ(names(t), "Alpha beta gamma");
  t.sortByAuthor();
  EXPECT_EQ(t.patternAuthor(0) + t.patternAuthor(1) + t.patternAuthor(2), "amyBobZed");
  t.sortByTags();
  EXPECT_EQ(t.patternTags(0) + t.patternTags(1) + t.patternTags(2), "abC");
  t.sortByFavorite();
  EXPECT_EQ(names(t), "beta Alpha gamma");
}

TEST(PatternIndicesTable, UpdateKeepsIdentifierAndSetsFavorite) {
  PatternIndicesTable t = tableOf(3);
  t.insert(0, 2);
  t.update(testRecord(9, "new"), 0);
  EXPECT_EQ(t.patternName(0), "new");
  EXPECT_EQ(t.patternId(0), idOf(2));
  EXPECT_EQ(t.entryAt(0)->favorite(), 0u);
  t.update(testRecord(9, "ignored"), 3);  // past the end: nothing
  EXPECT_EQ(t.numberOfPatterns(), 3);
  t.removeAt(1);
  EXPECT_EQ(names(t), "new A1");
}

TEST(PatternIndicesTable, RenewIdentifierGivesAFreshDigitName) {
  PatternIndicesTable t = tableOf(2);
  const std::string id = t.renewIdentifier(1, testRecord(1));
  EXPECT_EQ(t.patternId(1), id);
  EXPECT_NE(id, idOf(1));
  EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(t.renewIdentifier(5, testRecord(1)), "");
}

TEST_F(IndexTableTest, ArchiveRoundTripKeepsOnlyIdentifiers) {
  PatternIndicesTable t = tableOf(5);
  const auto path = root / "patternIndicesTable.plist";
  ASSERT_TRUE(t.storeTableAt(path));
  PatternIndicesTable back;
  ASSERT_TRUE(back.loadTableFrom(path));
  ASSERT_EQ(back.numberOfPatterns(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(back.patternId(i), idOf(i));
    EXPECT_EQ(back.patternName(i), "");
    EXPECT_EQ(back.patternAuthor(i), "");
    EXPECT_EQ(back.patternTags(i), "");
    EXPECT_EQ(back.entryAt(i)->patternTempo(), 0);
    EXPECT_EQ(back.entryAt(i)->favorite(), 0u);
  }
}

TEST_F(IndexTableTest, PlistlibReadsTheKeyedArchive) {
  PatternIndicesTable t = tableOf(3);
  const auto path = root / "patternIndicesTable.plist";
  ASSERT_TRUE(t.storeTableAt(path));
  const auto bytes = readBytes(path);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "bplist00");
  const std::string out = runPython(
      "import plistlib\n"
      "a = plistlib.load(open('" + path.string() + "', 'rb'))\n"
      "assert a['$archiver'] == 'NSKeyedArchiver' and a['$version'] == 100000\n"
      "objs = a['$objects']\n"
      "assert objs[0] == '$null'\n"
      "root = objs[a['$top']['root'].data]\n"
      "assert objs[root['$class'].data]['$classname'] == 'NSMutableArray'\n"
      "ids = []\n"
      "for ref in root['NS.objects']:\n"
      "    assert isinstance(ref, plistlib.UID)\n"
      "    e = objs[ref.data]\n"
      "    cls = objs[e['$class'].data]\n"
      "    assert cls['$classname'] == 'PatternBibliographicInformation'\n"
      "    assert cls['$classes'][-1] == 'NSObject'\n"
      "    assert set(e.keys()) == {'identifier', '$class'}\n"
      "    ident = objs[e['identifier'].data]\n"
      "    assert type(ident) is str\n"
      "    ids.append(ident)\n"
      "print(' '.join(ids))\n");
  EXPECT_EQ(out, idOf(0) + " " + idOf(1) + " " + idOf(2) + "\n");
}

TEST_F(IndexTableTest, ReadsAnArchiveBuiltByHand) {
  // An XML archive as another writer might lay it out: NSArray, the entry
  // class with a longer chain and an extra key, references as CF$UID.
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>$archiver</key><string>NSKeyedArchiver</string>"
      "<key>$version</key><integer>100000</integer>"
      "<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>1</integer></dict></dict>"
      "<key>$objects</key><array>"
      "<string>$null</string>"
      "<dict><key>NS.objects</key><array><dict><key>CF$UID</key><integer>3</integer></dict></array>"
      "<key>$class</key><dict><key>CF$UID</key><integer>2</integer></dict></dict>"
      "<dict><key>$classname</key><string>NSArray</string><key>$classes</key><array><string>NSArray</string><string>NSObject</string></array></dict>"
      "<dict><key>identifier</key><dict><key>CF$UID</key><integer>4</integer></dict>"
      "<key>extra</key><integer>5</integer>"
      "<key>$class</key><dict><key>CF$UID</key><integer>5</integer></dict></dict>"
      "<string>12345678</string>"
      "<dict><key>$classname</key><string>PatternBibliographicInformation</string><key>$classes</key><array><string>PatternBibliographicInformation</string><string>NSObject</string></array></dict>"
      "</array></dict></plist>\n";
  PatternIndicesTable t;
  std::string error;
  ASSERT_TRUE(t.loadTableFromBytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(xml.data()), xml.size()), &error)) << error;
  ASSERT_EQ(t.numberOfPatterns(), 1);
  EXPECT_EQ(t.patternId(0), "12345678");
}

TEST_F(IndexTableTest, BadArchivesLeaveNoTable) {
  const auto good = tableOf(2).archivedBytes();
  // A root that is not an array, and an entry whose identifier is a number.
  const auto notArray = keyedArchive(ArchivedObject::makeString("hello"));
  ArchivedObject numberId;
  numberId.kind = ArchivedObject::Kind::Integer;
  numberId.integer = 5;
  const auto badId = keyedArchive(ArchivedObject::makeArray(
      {ArchivedObject::makeObject("PatternBibliographicInformation", {{"identifier", numberId}})}));
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"garbage", std::vector<uint8_t>(100, 0x41)},
      {"truncated", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)},
      {"plain plist", std::vector<uint8_t>{'b', 'p', 'l', 'i', 's', 't', '0', '0'}},
      {"root not array", notArray},
      {"identifier not text", badId},
  };
  for (const auto& [name, bytes] : cases) {
    PatternIndicesTable t = tableOf(3);
    std::string error;
    EXPECT_FALSE(t.loadTableFromBytes(bytes, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_EQ(t.numberOfPatterns(), 0) << name;
    EXPECT_FALSE(t.hasTable()) << name;
  }
  PatternIndicesTable missing = tableOf(1);
  EXPECT_FALSE(missing.loadTableFrom(root / "nothing.plist"));
  EXPECT_EQ(missing.numberOfPatterns(), 0);
}

// Archives that are small as property lists and grow only as their
// references are followed: the decoded objects are costed as they are
// made, against the bound the file's size earns.
struct Sharing {
  const char* label;
  std::function<std::vector<uint8_t>()> make;
  const char* reason;  // nullptr: read
  int entries = 0;     // when read
};

void PrintTo(const Sharing& c, std::ostream* os) { *os << c.label; }

class SharedEntries : public ::testing::TestWithParam<Sharing> {};

TEST_P(SharedEntries, AreCostedAsTheyAreDecoded) {
  const Sharing& c = GetParam();
  const std::vector<uint8_t> bytes = c.make();
  std::string error;
  ASSERT_TRUE(platform::propertyListWithinBounds(bytes, &error)) << error;
  PatternIndicesTable t = tableOf(2);
  const bool read = t.loadTableFromBytes(bytes, &error);
  if (c.reason) {
    EXPECT_FALSE(read);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_FALSE(t.hasTable());
  } else {
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(t.numberOfPatterns(), c.entries);
    for (int i = 0; i < c.entries; ++i) EXPECT_EQ(t.patternId(i), std::string(60, '7')) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SharedEntries,
    ::testing::Values(
        Sharing{"one_entry_64_times", [] { return test_support::sharedEntryTable(64, std::string(60, '7')); }, nullptr, 64},
        // 40,000 entries past 40,000 other objects: read in time in
        // proportion to both, not their product.
        Sharing{"one_entry_far_down_the_objects",
                [] { return test_support::farEntryTable(40000, 40000, std::string(60, '7'), 3 << 19); }, nullptr, 40000},
        // 1.3 MB of file; 64 GiB of identifiers once decoded.
        Sharing{"a_long_identifier_65535_times",
                [] { return test_support::sharedEntryTable(65535, std::string(1 << 20, '7')); },
                "keyed archive would expand to more than"},
        // Every entry copies its class's chain of 20,000 names.
        Sharing{"a_long_class_chain",
                [] { return test_support::sharedEntryTable(1000, std::string(60, '7'), 20000); },
                "keyed archive would expand to more than"},
        // Every entry is 20,000 fields, inline, so never a reference.
        Sharing{"a_wide_entry", [] { return test_support::sharedEntryTable(1000, std::string(60, '7'), 2, 20000); },
                "keyed archive would expand to more than"}),
    [](const ::testing::TestParamInfo<Sharing>& info) { return std::string(info.param.label); });

}  // namespace
