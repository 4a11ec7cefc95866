#include "library/pattern_set_store.h"

#include <gtest/gtest.h>

#include "library/library_fixture.h"

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

TEST_F(PatternSetStoreTest, BadFilesFallBackToTheBundleGrid) {
  makeBundle(0);
  platform::Array shortArray(10, platform::Value(1));
  platform::Array strings(64, platform::Value("3"));
  platform::Array negative(64, platform::Value(-1));
  auto xml = [](const platform::Value& v) {
    auto s = *platform::propertyListToXML(v);
    return std::vector<uint8_t>(s.begin(), s.end());
  };
  auto full = xml(platform::Value(platform::Array(64, platform::Value(7))));
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"garbage", std::vector<uint8_t>(300, 'q')},
      {"truncated", std::vector<uint8_t>(full.begin(), full.begin() + full.size() / 2)},
      {"not an array", xml(platform::Value(platform::Dictionary{{"a", platform::Value(1)}}))},
      {"short array", xml(platform::Value(shortArray))},
      {"strings", xml(platform::Value(strings))},
      {"negative", xml(platform::Value(negative))},
  };
  for (const auto& [what, bytes] : cases) {
    writeBytes(setFile(), bytes);
    reported.clear();
    ASSERT_TRUE(store.load()) << what;
    EXPECT_FALSE(reported.empty()) << what;
    EXPECT_EQ(store.patternIndex(15, 3), 126u) << what;
    // The damaged file itself is left until the next store.
    EXPECT_EQ(readBytes(setFile()), bytes) << what;
  }
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
