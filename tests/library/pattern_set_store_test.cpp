#include "library/pattern_set_store.h"

#include <gtest/gtest.h>

#include <functional>

#include "library/library_fixture.h"
#include "library/library_writes.h"

namespace fs = std::filesystem;

namespace {

class PatternSetStoreTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    store.setReporter([this](const std::string& p) { reported.push_back(p); });
  }
  fs::path setFile() const { return data() / "iGROOVEBIX_patternSet.plist"; }
  void writeGrid(const fs::path& p, int offset) {
    platform::Array grid;
    for (int i = 0; i < 64; ++i) grid.emplace_back(offset + i);
    ASSERT_TRUE(platform::writePropertyList(p, platform::Value(grid)));
  }

  PatternSetStore store;
  std::vector<std::string> reported;
};

TEST_F(PatternSetStoreTest, WithoutAFileTheBundleGridIsLoadedAndStoreCreatesTheFile) {
  makeBundle(0);
  EXPECT_FALSE(store.hasGrid());
  EXPECT_EQ(store.patternIndex(0, 0), 0u);
  ASSERT_TRUE(store.load());
  EXPECT_EQ(store.patternIndex(15, 3), 126u);  // element 63
  EXPECT_EQ(store.patternIndex(1, 0), 2u);
  EXPECT_EQ(store.patternIndex(0, 1), 32u);    // element 16
  EXPECT_FALSE(fs::exists(setFile()));
  store.replace(2, 1, 300);
  EXPECT_TRUE(store.patternEqual(2, 1, 300));
  EXPECT_TRUE(store.patternEqual(18, 300));
  EXPECT_FALSE(store.patternEqual(2, 1, 301));
  ASSERT_TRUE(store.store());
  const std::string out = runPython(
      "import plistlib\n"
      "a = plistlib.load(open('" + setFile().string() + "', 'rb'))\n"
      "assert type(a) is list and len(a) == 64\n"
      "assert all(type(x) is int for x in a)\n"
      "print(a[18], a[63])\n");
  EXPECT_EQ(out, "300 126\n");
  PatternSetStore fresh;
  ASSERT_TRUE(fresh.load());
  EXPECT_EQ(fresh.patternIndex(2, 1), 300u);
}

TEST_F(PatternSetStoreTest, LayoutAndBounds) {
  makeBundle(0);
  ASSERT_TRUE(store.load());
  EXPECT_EQ(store.numberOfBanks(), 4u);
  EXPECT_EQ(store.numberOfSlotsPerBank(), 16u);
  EXPECT_TRUE(store.exists(0, 0));
  EXPECT_TRUE(store.exists(99, -4));
  // Outside the grid look-ups read 0 and replacements do nothing.
  EXPECT_EQ(store.patternIndex(16, 3), 0u);
  EXPECT_EQ(store.patternIndex(-1, 0), 0u);
  store.replace(64, 5);
  store.replace(-1, 5);
  EXPECT_FALSE(store.patternEqual(64, 5));
  store.append(9);  // the grid is full
  EXPECT_EQ(store.count(), 64u);
  EXPECT_EQ(&PatternSetStore::sharedInstance(), &PatternSetStore::sharedInstance());
}

TEST_F(PatternSetStoreTest, OlderFileInTheDocumentsFolderIsMovedIn) {
  makeBundle(0);
  writeGrid(docs / "iGROOVEBIX_patternSet.plist", 1000);
  ASSERT_TRUE(store.load());
  EXPECT_EQ(store.patternIndex(0, 0), 1000u);
  EXPECT_TRUE(fs::exists(setFile()));
  EXPECT_FALSE(fs::exists(docs / "iGROOVEBIX_patternSet.plist"));
  // With a file already in place, the older one is left where it is.
  writeGrid(docs / "iGROOVEBIX_patternSet.plist", 2000);
  ASSERT_TRUE(store.load());
  EXPECT_EQ(store.patternIndex(0, 0), 1000u);
  EXPECT_TRUE(fs::exists(docs / "iGROOVEBIX_patternSet.plist"));
}

// A restore that is pending puts a missing pattern-set file back by its
// identity; the older file is not moved in meanwhile, only read from the
// bundle's.
TEST_F(PatternSetStoreTest, OlderFileStaysWhileLibraryWritesAreRefused) {
  makeBundle(0);
  writeGrid(docs / "iGROOVEBIX_patternSet.plist", 1000);
  LibraryWrites::refuse("a restore is pending");
  ASSERT_TRUE(store.load());
  EXPECT_NE(store.patternIndex(0, 0), 1000u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(setFile())));
  EXPECT_TRUE(fs::exists(docs / "iGROOVEBIX_patternSet.plist"));
  // Allowed again, the next load moves it in.
  LibraryWrites::allow();
  ASSERT_TRUE(store.load());
  EXPECT_EQ(store.patternIndex(0, 0), 1000u);
  EXPECT_FALSE(fs::exists(docs / "iGROOVEBIX_patternSet.plist"));
}

std::vector<uint8_t> xmlOf(const platform::Value& v) {
  auto s = *platform::propertyListToXML(v);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A damaged pattern-sets file and the grid the store makes of it: what the
// file holds where it can be read, the bundle's number (2 × element) where
// it cannot.
struct Damaged {
  const char* label;
  std::function<std::vector<uint8_t>()> bytes;
  std::function<uint32_t(size_t element)> expected;
};

void PrintTo(const Damaged& d, std::ostream* os) { *os << d.label; }

uint32_t bundleNumber(size_t element) { return static_cast<uint32_t>(element * 2); }

class DamagedPatternSets : public PatternSetStoreTest, public ::testing::WithParamInterface<Damaged> {};

TEST_P(DamagedPatternSets, KeepWhatCanBeReadAndACopyBeforeTheNextSave) {
  makeBundle(0);
  const auto original = GetParam().bytes();
  writeBytes(setFile(), original);
  ASSERT_TRUE(store.load());
  EXPECT_FALSE(reported.empty());
  ASSERT_EQ(store.count(), 64u);
  for (size_t i = 0; i < 64; ++i)
    EXPECT_EQ(store.patternIndex(static_cast<int32_t>(i % 16), static_cast<int32_t>(i / 16)), GetParam().expected(i))
        << "element " << i;
  const fs::path copy = data() / "iGROOVEBIX_patternSet.plist.damaged";
  ASSERT_TRUE(fs::is_regular_file(copy));
  EXPECT_EQ(readBytes(copy), original);
  EXPECT_EQ(readBytes(setFile()), original) << "the damaged file is left until the next save";

  // The save writes the whole grid; the copy stays, and a start with the
  // saved file finds nothing to keep.
  ASSERT_TRUE(store.store());
  EXPECT_EQ(readBytes(copy), original);
  PatternSetStore fresh;
  reported.clear();
  fresh.setReporter([this](const std::string& p) { reported.push_back(p); });
  ASSERT_TRUE(fresh.load());
  EXPECT_TRUE(reported.empty()) << reported.front();
  for (size_t i = 0; i < 64; ++i)
    EXPECT_EQ(fresh.patternIndex(static_cast<int32_t>(i % 16), static_cast<int32_t>(i / 16)), GetParam().expected(i));
  EXPECT_FALSE(fs::exists(data() / "iGROOVEBIX_patternSet.plist.damaged-2"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedPatternSets,
    ::testing::Values(
        Damaged{"short_array",
                [] {
                  platform::Array a;
                  for (int i = 0; i < 10; ++i) a.emplace_back(500 + i);
                  return xmlOf(platform::Value(a));
                },
                [](size_t i) { return i < 10 ? static_cast<uint32_t>(500 + i) : bundleNumber(i); }},
        Damaged{"long_array",
                [] {
                  platform::Array a;
                  for (int i = 0; i < 70; ++i) a.emplace_back(700 + i);
                  return xmlOf(platform::Value(a));
                },
                [](size_t i) { return static_cast<uint32_t>(700 + i); }},
        Damaged{"empty_array", [] { return xmlOf(platform::Value(platform::Array{})); }, bundleNumber},
        Damaged{"bad_elements",
                [] {
                  platform::Array a;
                  for (int i = 0; i < 64; ++i) a.emplace_back(300 + i);
                  a[5] = platform::Value("3");
                  a[6] = platform::Value(-1);
                  a[7] = platform::Value(static_cast<long long>(UINT32_MAX) + 1);
                  return xmlOf(platform::Value(a));
                },
                [](size_t i) { return i >= 5 && i <= 7 ? bundleNumber(i) : static_cast<uint32_t>(300 + i); }},
        Damaged{"empty_file", [] { return std::vector<uint8_t>{}; }, bundleNumber},
        Damaged{"garbage", [] { return std::vector<uint8_t>(300, 'q'); }, bundleNumber},
        Damaged{"truncated",
                [] {
                  auto full = xmlOf(platform::Value(platform::Array(64, platform::Value(7))));
                  return std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(full.size() / 2));
                },
                bundleNumber},
        Damaged{"not_an_array", [] { return xmlOf(platform::Value(platform::Dictionary{{"a", platform::Value(1)}})); },
                bundleNumber}),
    [](const ::testing::TestParamInfo<Damaged>& info) { return std::string(info.param.label); });

TEST_F(PatternSetStoreTest, EarlierCopiesAreNeverOverwritten) {
  makeBundle(0);
  const fs::path copy = data() / "iGROOVEBIX_patternSet.plist.damaged";
  writeBytes(copy, std::vector<uint8_t>(5, 'a'));
  writeBytes(setFile(), std::vector<uint8_t>(7, 'b'));
  ASSERT_TRUE(store.load());
  EXPECT_EQ(readBytes(copy), std::vector<uint8_t>(5, 'a'));
  EXPECT_EQ(readBytes(data() / "iGROOVEBIX_patternSet.plist.damaged-2"), std::vector<uint8_t>(7, 'b'));
  // Loaded again before any save: the same bytes are kept only once.
  ASSERT_TRUE(store.load());
  EXPECT_FALSE(fs::exists(data() / "iGROOVEBIX_patternSet.plist.damaged-3"));
}

TEST_F(PatternSetStoreTest, DamagedFileIsNotOverwrittenWhileNoCopyCanBeKept) {
  makeBundle(0);
  // Larger than the file-size limit below; the grid's file is smaller.
  const std::vector<uint8_t> original(6000, 'z');
  writeBytes(setFile(), original);
  {
    FileSizeLimit limit(4000);
    ASSERT_TRUE(store.load());
    EXPECT_FALSE(store.store());
    // "Load Factory Presets" leaves the damaged file just as unsaved.
    ASSERT_TRUE(store.loadFromPath(PatternSetStore::patternSetInitialDataPath()));
    EXPECT_FALSE(store.store());
  }
  EXPECT_EQ(readBytes(setFile()), original);
  EXPECT_FALSE(fs::exists(data() / "iGROOVEBIX_patternSet.plist.damaged"));
  // Once a copy can be written, the save keeps it first.
  ASSERT_TRUE(store.store());
  EXPECT_EQ(readBytes(data() / "iGROOVEBIX_patternSet.plist.damaged"), original);
  EXPECT_EQ(store.patternIndex(15, 3), 126u);
  PatternSetStore fresh;
  ASSERT_TRUE(fresh.loadFromPath(setFile()));
  EXPECT_EQ(fresh.patternIndex(15, 3), 126u);
}

TEST_F(PatternSetStoreTest, NoGridAtAllReadsZeroAndStoresNothing) {
  writeBytes(setFile(), std::vector<uint8_t>(20, 'x'));
  EXPECT_FALSE(store.load());
  EXPECT_FALSE(store.hasGrid());
  EXPECT_EQ(store.patternIndex(3, 0), 0u);
  store.replace(3, 0, 5);
  store.append(5);
  EXPECT_EQ(store.patternIndex(3, 0), 0u);
  EXPECT_FALSE(store.store());
  EXPECT_EQ(readBytes(setFile()), std::vector<uint8_t>(20, 'x'));
}

TEST_F(PatternSetStoreTest, StoreIsRefusedWhileLibraryWritesAre) {
  makeBundle(0);
  ASSERT_TRUE(store.load());
  ASSERT_TRUE(store.store());
  const auto before = readBytes(setFile());
  store.replace(int64_t{5}, 99);
  LibraryWrites::refuse("a restore is pending");
  EXPECT_FALSE(store.store());
  EXPECT_EQ(readBytes(setFile()), before);
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.back(), "cannot save the pattern sets: a restore is pending");
  LibraryWrites::allow();
  EXPECT_TRUE(store.store());
  PatternSetStore fresh;
  ASSERT_TRUE(fresh.load());
  EXPECT_EQ(fresh.patternIndex(5, 0), 99u);
}

TEST_F(PatternSetStoreTest, FailedStoreLeavesTheOldFile) {
  makeBundle(0);
  ASSERT_TRUE(store.load());
  ASSERT_TRUE(store.store());
  const auto before = readBytes(setFile());
  store.replace(0, 0, 123456);
  {
    FileSizeLimit limit(100);
    EXPECT_FALSE(store.store());
  }
  EXPECT_EQ(readBytes(setFile()), before);
}

}  // namespace
