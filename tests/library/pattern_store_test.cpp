#include "library/pattern_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "library/library_fixture.h"
#include "library/library_writes.h"
#include "library/pattern_file.h"
#include "library/pattern_name_creator.h"

namespace fs = std::filesystem;

namespace {

struct Posted {
  std::string name;
  platform::Dictionary info;
};

class PatternStoreTest : public LibraryTest {
 protected:
  // A fresh store on the test's folder, recording what it posts and reports.
  std::unique_ptr<Z31647PatternStore> freshStore() {
    auto s = std::make_unique<Z31647PatternStore>();
    s->setNotificationHandler([this](const std::string& n, const platform::Dictionary& d) { posted.push_back({n, d}); });
    s->setReporter([this](const std::string& p) { reported.push_back(p); });
    return s;
  }
  std::unique_ptr<Z31647PatternStore> loadedStore() {
    auto s = freshStore();
    s->load();
    return s;
  }
  int64_t postedNumber(size_t i) const { return posted.at(i).info.at("patternNumber").integerValue(); }
  bool reportedSomething(const std::string& part) const {
    for (const auto& r : reported)
      if (r.find(part) != std::string::npos) return true;
    return false;
  }
  std::string name(Z31647PatternStore& s, int i) { return s.columnText(i, 1); }

  std::vector<Posted> posted;
  std::vector<std::string> reported;
};

PatternRecord named(int seed, const char* n) { return testRecord(seed, n); }

TEST_F(PatternStoreTest, FirstStartInstallsTheBundleLibrary) {
  makeBundle(6);
  auto s = loadedStore();
  ASSERT_EQ(s->numberOfPatterns(), 6);
  EXPECT_TRUE(fs::is_directory(patterns()));
  EXPECT_TRUE(fs::exists(data() / "patternIndicesTable.plist"));
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(readBytes(patterns() / factoryId(i)).size(), 29320u);
    EXPECT_EQ(name(*s, i), "Factory" + std::to_string(i));
    EXPECT_EQ(s->indicesTable().entryAt(i)->favorite(), static_cast<uint64_t>(i));
  }
  EXPECT_EQ(s->columnText(2, 4), "100.2");
  EXPECT_EQ(s->columnText(1, 2), "author1");
  EXPECT_EQ(s->columnText(1, 3), "tag1");
  // No staging folders are left behind.
  for (const auto& e : fs::directory_iterator(data()))
    EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
  // The second start reads the table instead of installing.
  fs::remove_all(bundle / "patterns");
  auto again = loadedStore();
  EXPECT_EQ(again->numberOfPatterns(), 6);
  EXPECT_EQ(name(*again, 5), "Factory5");
  EXPECT_EQ(again->patternAt(3), s->patternAt(3));
}

TEST_F(PatternStoreTest, MissingBundleInstallsNothingAndKeepsTheLibrary) {
  auto s = loadedStore();
  EXPECT_EQ(s->numberOfPatterns(), 0);
  EXPECT_TRUE(reportedSomething("cannot install the factory library"));
  // An empty library still serves the init pattern, never an entry at -1.
  PatternRecord init;
  s->initPattern(&init);
  EXPECT_EQ(s->patternAt(0), init);
  EXPECT_EQ(s->patternAt(-1), init);
  EXPECT_EQ(s->columnText(0, 1), "");

  makeBundle(3);
  auto lib = loadedStore();
  ASSERT_TRUE(lib->storePattern(named(40, "Mine"), 1));
  fs::remove_all(bundle / "patterns");
  EXPECT_FALSE(lib->installFactoryPatterns());
  EXPECT_EQ(name(*lib, 1), "Mine");
  EXPECT_EQ(name(*loadedStore(), 1), "Mine");
}

TEST_F(PatternStoreTest, LoadFactoryPresetsReplacesTheLibrary) {
  makeBundle(3);
  auto s = loadedStore();
  ASSERT_TRUE(s->storePattern(named(40, "Mine"), 1));
  writeBytes(patterns() / "stray", bytesOf(named(41, "Stray")));
  ASSERT_TRUE(s->installFactoryPatterns());
  EXPECT_EQ(name(*s, 1), "Factory1");
  EXPECT_FALSE(fs::exists(patterns() / "stray"));
  EXPECT_EQ(name(*loadedStore(), 1), "Factory1");
}

TEST_F(PatternStoreTest, ColumnZeroLabels) {
  makeBundle(0, 416);
  auto s = loadedStore();
  const std::vector<std::pair<int, std::string>> cases = {
      {0, "A01     [FACT]"},   {31, "A32     [FACT]"},  {63, "B32     [FACT]"},  {64, "A01     [GQ-1]"},
      {96, "B01     [GQ-1]"},  {255, "F32     [GQ-1]"}, {256, "A01     [TEMP]"}, {287, "A32     [TEMP]"},
      {288, "A01     [USER]"}, {290, "A03     [USER]"}, {415, "D32     [USER]"},
  };
  for (const auto& [n, text] : cases) EXPECT_EQ(s->columnText(n, 0), text) << n;
  EXPECT_EQ(s->columnText(0, 5), "");
  EXPECT_EQ(s->columnText(0, -1), "");
}

TEST_F(PatternStoreTest, BankCounts) {
  const std::vector<std::tuple<int, int, int, int>> cases = {
      // patterns, banks, bank asked, patterns in it
      {416, 13, 12, 32}, {416, 13, 13, 0}, {417, 14, 13, 1}, {40, 2, 1, 8}, {40, 2, 2, -24},
  };
  for (const auto& [count, banks, bank, inBank] : cases) {
    fs::remove_all(data());
    fs::remove_all(bundle);
    makeBundle(0, count);
    auto s = loadedStore();
    ASSERT_EQ(s->numberOfPatterns(), count);
    EXPECT_EQ(s->numberOfBanks(), banks) << count;
    EXPECT_EQ(s->numberOfPatternsInBank(bank), inBank) << count << " " << bank;
  }
  Z31647PatternStore s;
  int32_t slot = 0, bank = 0;
  s.slotAndBankOf(291, &slot, &bank);
  EXPECT_EQ(slot, 3);
  EXPECT_EQ(bank, 9);
  EXPECT_EQ(s.indexOf(3, 9), 291);
}

TEST_F(PatternStoreTest, StoreRoundTripsThroughAFreshStore) {
  makeBundle(4);
  auto s = loadedStore();
  PatternRecord r = named(77, "Stored");
  r.versionParams.dataVersion = 5;
  r.versionParams.alignment = 0x0403;
  ASSERT_TRUE(s->storePattern(r, 0, 0));
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].name, "PatternStorePatternStored");
  EXPECT_EQ(postedNumber(0), 0);
  const auto bytes = readBytes(patterns() / factoryId(0));
  ASSERT_EQ(bytes.size(), 29320u);
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(bytes[6], 0x03);

  PatternRecord expected = r;
  expected.versionParams.dataVersion = 0x01000000;
  EXPECT_EQ(s->patternAt(0), expected);
  auto fresh = loadedStore();
  EXPECT_EQ(fresh->patternAt(0), expected);
  EXPECT_EQ(name(*fresh, 0), "Stored");
  EXPECT_EQ(fresh->columnText(0, 4), "107.7");
}

TEST_F(PatternStoreTest, RenameAndRetagRewriteOnlyTheTexts) {
  makeBundle(4);
  loadedStore();
  // A file as another version may leave it: a stale track number in a slot
  // without motion and an effect type past the table. Clamped in memory,
  // but renaming must not rewrite them on disk.
  PatternRecord quirky = named(2, "Quirky");
  quirky.motionParams[3].motionId = 17;
  quirky.effectParams[0].type = 40;
  quirky.versionParams.dataVersion = 0x02000000;
  writeBytes(patterns() / factoryId(2), bytesOf(quirky));
  auto s = loadedStore();
  EXPECT_EQ(s->patternAt(2).effectParams[0].type, 7);
  const auto before = readBytes(patterns() / factoryId(2));
  PatternRecord tags = named(99, "Renamed");
  std::snprintf(tags.tagParams.tags, sizeof tags.tagParams.tags, "house, deep");
  ASSERT_TRUE(s->storeTagInfo(tags, 2, 0));
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].name, "PatternStorePatternTagStored");
  EXPECT_EQ(postedNumber(0), 2);
  const auto after = readBytes(patterns() / factoryId(2));
  ASSERT_EQ(after.size(), 29320u);
  const auto tagBytes = bytesOf(tags);
  for (size_t i = 0; i < after.size(); ++i) {
    if (i >= 8 && i < 296) ASSERT_EQ(after[i], tagBytes[i]) << i;
    else ASSERT_EQ(after[i], before[i]) << i;
  }
  auto fresh = loadedStore();
  EXPECT_EQ(name(*fresh, 2), "Renamed");
  EXPECT_EQ(fresh->columnText(2, 3), "house, deep");
  EXPECT_EQ(fresh->columnText(2, 2), "author99");
  // The rest of the pattern is still the one it was.
  EXPECT_EQ(fresh->patternAt(2).sequencerParams.tempo, 1002);
  EXPECT_EQ(fresh->patternAt(2).effectParams[0].type, 7);
}

TEST_F(PatternStoreTest, TagsOfAPatternWithoutFileAreKept) {
  makeBundle(1, 3);
  auto s = loadedStore();
  PatternRecord init;
  s->initPattern(&init);
  EXPECT_EQ(name(*s, 2), "Bundle Init");
  EXPECT_EQ(s->patternAt(2), init);
  ASSERT_TRUE(s->storeTagInfo(named(5, "Named Later"), 2));
  EXPECT_EQ(posted.back().name, "PatternStorePatternTagStored");
  ASSERT_EQ(readBytes(patterns() / factoryId(2)).size(), 29320u);
  auto fresh = loadedStore();
  EXPECT_EQ(name(*fresh, 2), "Named Later");
  PatternRecord got = fresh->patternAt(2);
  EXPECT_EQ(got.sequencerParams.tempo, init.sequencerParams.tempo);
  EXPECT_EQ(std::memcmp(got.synthParams, init.synthParams, sizeof got.synthParams), 0);
}

TEST_F(PatternStoreTest, InitializeOnlyTouchesUserBanks) {
  makeBundle(0, 320);
  auto s = loadedStore();
  s->initializePattern(3, 8);
  EXPECT_TRUE(posted.empty());
  EXPECT_FALSE(fs::exists(patterns() / factoryId(259)));
  s->initializePattern(3, 9);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(postedNumber(0), 291);
  EXPECT_EQ(postedNumber(1), 291);
  EXPECT_EQ(posted[1].name, "PatternStorePatternStored");
  PatternRecord init;
  s->initPattern(&init);
  EXPECT_EQ(loadedStore()->patternAt(291), init);
}

TEST_F(PatternStoreTest, MovesRenumberAndAreSaved) {
  struct Case {
    int fromSlot, fromBank, toSlot, toBank, from, to;
  };
  const std::vector<Case> cases = {{5, 9, 2, 10, 293, 321}, {2, 9, 6, 9, 290, 294}, {0, 10, 31, 9, 320, 319}};
  for (const Case& c : cases) {
    fs::remove_all(data());
    fs::remove_all(bundle);
    posted.clear();
    makeBundle(0, 352);
    auto s = loadedStore();
    const std::string moved = s->indicesTable().patternId(c.from);
    s->movePatterns(c.fromSlot, c.fromBank, c.toSlot, c.toBank);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].name, "PatternStorePatternOrderChanged");
    const platform::Value& range = posted[0].info.at("range");
    EXPECT_EQ(range.find("location")->integerValue(), c.from);
    EXPECT_EQ(range.find("length")->integerValue(), c.to);
    EXPECT_EQ(s->indicesTable().patternId(c.to), moved);
    // The new order survives without an explicit save.
    EXPECT_EQ(loadedStore()->indicesTable().patternId(c.to), moved);
  }
}

// The engine hears of each change to what a number holds before the
// store's own notification goes out, so that whoever handles the
// notification finds the engine's waiting change already in line.
TEST_F(PatternStoreTest, TheEngineHearsOfSavesInitsMovesAndReplacementsFirst) {
  struct Recorder : PatternLibraryObserver {
    std::vector<std::string>* log;
    void libraryStoredPattern(int32_t index) override { log->push_back("stored " + std::to_string(index)); }
    void libraryMovedPattern(int32_t from, int32_t to) override {
      log->push_back("moved " + std::to_string(from) + " " + std::to_string(to));
    }
    void libraryRenumberedPatterns(const std::vector<int32_t>&) override { log->push_back("renumbered"); }
    void libraryReplacedPatterns() override { log->push_back("replaced"); }
  };
  makeBundle(0, 352);
  std::vector<std::string> log;
  Recorder recorder;
  recorder.log = &log;
  auto s = freshStore();
  s->setNotificationHandler([&](const std::string& n, const platform::Dictionary&) { log.push_back(n); });
  s->setLibraryObserver(&recorder);
  s->load();
  ASSERT_TRUE(s->storePattern(named(3, "Saved"), 290));
  s->initializePattern(3, 9);
  ASSERT_TRUE(s->storeTagInfo(named(4, "Tagged"), 292));
  s->movePatterns(5, 9, 2, 10);
  s->sortByName();
  ASSERT_TRUE(s->installFactoryPatterns());
  // A number that does not exist changes nothing, and nobody hears of it.
  EXPECT_FALSE(s->storePattern(named(4, "Nowhere"), 5000));
  s->setLibraryObserver(nullptr);
  s->storePattern(named(3, "Unheard"), 290);
  const std::vector<std::string> expected = {"replaced",
                                             "stored 290",
                                             "PatternStorePatternStored",
                                             "stored 291",
                                             "PatternStorePatternStored",
                                             "PatternStorePatternStored",
                                             "stored 292",
                                             "PatternStorePatternTagStored",
                                             "moved 293 321",
                                             "PatternStorePatternOrderChanged",
                                             "renumbered",
                                             "replaced",
                                             "PatternStorePatternStored"};
  EXPECT_EQ(log, expected);
}

// A sort renumbers patterns; the engine is told each pattern's new number,
// so that a save of the playing pattern still goes to its own file.
TEST_F(PatternStoreTest, ASortTellsTheEngineEveryPatternsNewNumber) {
  struct Recorder : PatternLibraryObserver {
    std::vector<int32_t> numberOf;
    int calls = 0;
    void libraryStoredPattern(int32_t) override {}
    void libraryMovedPattern(int32_t, int32_t) override {}
    void libraryRenumberedPatterns(const std::vector<int32_t>& n) override {
      numberOf = n;
      ++calls;
    }
    void libraryReplacedPatterns() override {}
  };
  makeBundle(40);
  auto s = loadedStore();
  // Names in an order a name sort changes: "Z…" first, "A…" last.
  for (int32_t i = 0; i < 40; ++i) {
    const std::string letter(1, static_cast<char>('Z' - i % 26));
    ASSERT_TRUE(s->storePattern(named(i, letter.c_str()), i));
  }
  std::vector<std::string> before;
  for (int32_t i = 0; i < s->numberOfPatterns(); ++i) before.push_back(s->indicesTable().patternId(i));
  Recorder recorder;
  s->setLibraryObserver(&recorder);
  s->sortByName();
  s->setLibraryObserver(nullptr);
  ASSERT_EQ(recorder.calls, 1);
  ASSERT_EQ(recorder.numberOf.size(), before.size());
  bool anyMoved = false;
  for (size_t n = 0; n < before.size(); ++n) {
    EXPECT_EQ(s->indicesTable().patternId(static_cast<uint64_t>(recorder.numberOf[n])), before[n]) << "pattern " << n;
    anyMoved = anyMoved || recorder.numberOf[n] != static_cast<int32_t>(n);
  }
  EXPECT_TRUE(anyMoved);
}

TEST_F(PatternStoreTest, OlderFileIsConvertedAtStartUp) {
  makeBundle(2);
  auto s = loadedStore();
  PatternRecord old = named(12, "Old Form");
  std::vector<uint8_t> body(PatternRecord::kBodySize);
  old.bodyToBytes(std::span<uint8_t, PatternRecord::kBodySize>(body.data(), body.size()));
  writeBytes(patterns() / factoryId(1), body);
  ASSERT_EQ(readBytes(patterns() / factoryId(1)).size(), 29312u);
  auto fresh = loadedStore();
  const auto bytes = readBytes(patterns() / factoryId(1));
  ASSERT_EQ(bytes.size(), 29320u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_TRUE(std::equal(body.begin(), body.end(), bytes.begin() + 8));
  EXPECT_EQ(name(*fresh, 1), "Old Form");
}

// While a recovery is pending nothing writes the library: every operation
// that would is refused and reported with the reason, and neither the files
// nor the store's view of them change.
TEST_F(PatternStoreTest, RefusedWritesChangeNothingAndSayWhy) {
  makeBundle(4);
  auto s = loadedStore();
  ASSERT_TRUE(s->storeIndexTable());
  auto files = [&] {
    std::map<std::string, std::vector<uint8_t>> out;
    for (const auto& e : fs::recursive_directory_iterator(data()))
      if (e.is_regular_file()) out[e.path().lexically_relative(data()).string()] = readBytes(e.path());
    return out;
  };
  auto names = [&] {
    std::string out;
    for (int i = 0; i < s->numberOfPatterns(); ++i) out += name(*s, i) + "|";
    return out;
  };
  const auto filesBefore = files();
  const auto namesBefore = names();
  const PatternRecord first = s->patternAt(1);
  LibraryWrites::refuse("a restore is pending");

  struct Case {
    const char* label;
    std::function<bool(Z31647PatternStore&)> run;  // false when refused
    const char* report;
  };
  const std::vector<Case> cases = {
      {"store", [](Z31647PatternStore& st) { return st.storePattern(named(50, "Refused"), 1); },
       "cannot store pattern 1: a restore is pending"},
      {"tags", [](Z31647PatternStore& st) { return st.storeTagInfo(named(51, "Refused"), 1); },
       "cannot store the name and tags of pattern 1: a restore is pending"},
      {"table", [](Z31647PatternStore& st) { return st.storeIndexTable(); },
       "cannot save the index table: a restore is pending"},
      {"move",
       [](Z31647PatternStore& st) {
         st.movePatterns(0, 0, 3, 0);
         return false;
       },
       "cannot move pattern 0 to 3: a restore is pending"},
      {"sort",
       [](Z31647PatternStore& st) {
         st.sortByName();
         return false;
       },
       "cannot sort the patterns: a restore is pending"},
      {"factory", [](Z31647PatternStore& st) { return st.installFactoryPatterns(); },
       "cannot install the factory library: a restore is pending"},
  };
  for (const Case& c : cases) {
    reported.clear();
    EXPECT_FALSE(c.run(*s)) << c.label;
    EXPECT_TRUE(reportedSomething(c.report)) << c.label;
    EXPECT_EQ(files(), filesBefore) << c.label;
    EXPECT_EQ(names(), namesBefore) << c.label;
    EXPECT_EQ(s->patternAt(1), first) << c.label;
  }
  EXPECT_TRUE(posted.empty());

  // An older pattern file stays as it is until the library may be written.
  std::vector<uint8_t> body(PatternRecord::kBodySize);
  named(12, "Old Form").bodyToBytes(std::span<uint8_t, PatternRecord::kBodySize>(body.data(), body.size()));
  writeBytes(patterns() / factoryId(2), body);
  EXPECT_EQ(name(*loadedStore(), 2), "Old Form");
  EXPECT_EQ(readBytes(patterns() / factoryId(2)), body);

  LibraryWrites::allow();
  EXPECT_TRUE(s->storePattern(named(50, "Allowed"), 1));
  EXPECT_EQ(name(*loadedStore(), 1), "Allowed");
}

TEST_F(PatternStoreTest, RebuildsFromFilesWhenTheTableIsMissing) {
  fs::create_directories(patterns());
  writeBytes(patterns() / "b", bytesOf(named(1, "Bee")));
  writeBytes(patterns() / "a", bytesOf(named(2, "Ay")));
  writeBytes(patterns() / "c-short", std::vector<uint8_t>(100, 1));
  writeBytes(patterns() / ".b.tmp123", bytesOf(named(3, "Temp")));
  auto s = loadedStore();
  ASSERT_EQ(s->numberOfPatterns(), 2);
  EXPECT_EQ(name(*s, 0), "Ay");
  EXPECT_EQ(name(*s, 1), "Bee");
  EXPECT_EQ(s->indicesTable().patternId(0), "a");
  EXPECT_TRUE(fs::exists(patterns() / "c-short"));
}

TEST_F(PatternStoreTest, UnreadableOrEmptyTableIsReportedAndRebuilt) {
  makeBundle(3);
  loadedStore();
  const auto good = readBytes(data() / "patternIndicesTable.plist");
  PatternIndicesTable empty;
  empty.resetTable();
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty file", {}},
      {"garbage", std::vector<uint8_t>(64, 0x7f)},
      {"truncated", std::vector<uint8_t>(good.begin(), good.begin() + good.size() - 20)},
      {"no entries", empty.archivedBytes()},
  };
  for (const auto& [what, bytes] : cases) {
    writeBytes(data() / "patternIndicesTable.plist", bytes);
    reported.clear();
    auto s = loadedStore();
    EXPECT_FALSE(reported.empty()) << what;
    ASSERT_EQ(s->numberOfPatterns(), 3) << what;
    EXPECT_EQ(name(*s, 0), "Factory0") << what;
    EXPECT_EQ(name(*s, 2), "Factory2") << what;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(readBytes(patterns() / factoryId(i)).size(), 29320u) << what;
  }
}

TEST_F(PatternStoreTest, BadPatternFilesGiveTheInitPatternAndStayOnDisk) {
  makeBundle(4);
  loadedStore();
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> damage = {
      {factoryId(0), {}},                                   // empty
      {factoryId(1), std::vector<uint8_t>(5000, 0xee)},     // garbage
      {factoryId(2), std::vector<uint8_t>(29319, 0)},       // truncated by a byte
  };
  for (const auto& [id, bytes] : damage) writeBytes(patterns() / id, bytes);
  auto s = loadedStore();
  PatternRecord init;
  s->initPattern(&init);
  ASSERT_EQ(s->numberOfPatterns(), 4);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(s->patternAt(i), init) << i;
    EXPECT_TRUE(reportedSomething(factoryId(i))) << i;
  }
  EXPECT_EQ(name(*s, 3), "Factory3");
  // Naming a damaged pattern does not overwrite what is left of it.
  EXPECT_FALSE(s->storeTagInfo(named(1, "x"), 1));
  EXPECT_EQ(readBytes(patterns() / factoryId(1)), std::vector<uint8_t>(5000, 0xee));
  // Storing a whole pattern replaces it.
  ASSERT_TRUE(s->storePattern(named(50, "Fixed"), 1));
  EXPECT_EQ(name(*loadedStore(), 1), "Fixed");
}

TEST_F(PatternStoreTest, ValuesOutOfRangeAreClampedBeforeTheEngineSeesThem) {
  makeBundle(2);
  loadedStore();
  PatternRecord wild = named(3, "Wild");
  wild.effectParams[0].type = 40;
  wild.synthParams[1].waveform = -7;
  wild.sequencerParams.tempo = 32000;
  wild.motionParams[7].motionId = 123456;
  writeBytes(patterns() / factoryId(1), bytesOf(wild));
  auto s = loadedStore();
  const PatternRecord got = s->patternAt(1);
  EXPECT_EQ(got.effectParams[0].type, 7);
  EXPECT_EQ(got.synthParams[1].waveform, 0);
  EXPECT_EQ(got.sequencerParams.tempo, 6000);
  EXPECT_EQ(got.motionParams[7].motionId, -1);
  EXPECT_EQ(name(*s, 1), "Wild");
}

TEST_F(PatternStoreTest, IdentifiersThatAreNotPlainNamesAreNeverFileNames) {
  makeBundle(2);
  loadedStore();
  writeBytes(root / "outside", bytesOf(named(9, "Outside")));
  const auto outsideBefore = readBytes(root / "outside");
  for (const char* hostile : {"../../outside", "/etc/passwd", "..", "A\xd2\x01" "B"}) {
    PatternIndicesTable t;
    t.resetTable();
    t.add(named(0, ""), factoryId(0));
    t.add(named(0, ""), hostile);
    ASSERT_TRUE(t.storeTableAt(data() / "patternIndicesTable.plist"));
    reported.clear();
    // The table is refused as a whole; the library is what its files are.
    auto s = loadedStore();
    EXPECT_TRUE(reportedSomething("which is not an identifier")) << hostile;
    ASSERT_EQ(s->numberOfPatterns(), 2) << hostile;
    EXPECT_EQ(s->indicesTable().patternId(0), factoryId(0));
    EXPECT_EQ(s->indicesTable().patternId(1), factoryId(1));
    EXPECT_EQ(name(*s, 0), "Factory0");
    ASSERT_TRUE(s->storePattern(named(10, "Safe"), 1));
    EXPECT_TRUE(isPlainIdentifier(s->indicesTable().patternId(1)));
    EXPECT_EQ(readBytes(root / "outside"), outsideBefore) << hostile;
    EXPECT_EQ(name(*loadedStore(), 1), "Safe");
  }
}

TEST_F(PatternStoreTest, FailedSaveLeavesTheOldFileAndTheTable) {
  makeBundle(3);
  auto s = loadedStore();
  const auto before = readBytes(patterns() / factoryId(1));
  const PatternRecord beforeRecord = s->patternAt(1);
  {
    FileSizeLimit limit(4096);
    EXPECT_FALSE(s->storePattern(named(60, "Lost"), 1));
    EXPECT_FALSE(s->storeTagInfo(named(61, "Lost too"), 1));
  }
  EXPECT_TRUE(posted.empty());
  EXPECT_EQ(readBytes(patterns() / factoryId(1)), before);
  EXPECT_EQ(name(*s, 1), "Factory1");
  EXPECT_EQ(s->patternAt(1), beforeRecord);
  EXPECT_EQ(name(*loadedStore(), 1), "Factory1");
  EXPECT_FALSE(s->storePattern(named(1, "x"), 3));  // no such number
  EXPECT_FALSE(s->storePattern(named(1, "x"), -1));
}

TEST_F(PatternStoreTest, SortsAreSavedAndFavoriteOrderComesBack) {
  makeBundle(0, 3);
  auto s = loadedStore();
  ASSERT_TRUE(s->storePattern(named(1, "charlie"), 0));
  ASSERT_TRUE(s->storePattern(named(2, "Alpha"), 1));
  ASSERT_TRUE(s->storePattern(named(3, "bravo"), 2));
  s->sortByName();
  EXPECT_EQ(name(*s, 0) + name(*s, 1) + name(*s, 2), "Alphabravocharlie");
  EXPECT_EQ(name(*loadedStore(), 0), "Alpha");
  s->sortByFavorite();
  EXPECT_EQ(name(*s, 0), "charlie");
}

TEST_F(PatternStoreTest, EditBufferKeepsRecordAndNumber) {
  makeBundle(0, 320);
  auto s = loadedStore();
  std::optional<int64_t> stored;
  s->setEditBufferNumberAccess({[&] { return stored; }, [&](int64_t v) { stored = v; }});
  EXPECT_FALSE(s->editBufferExists());
  PatternRecord r = named(8, "Editing");
  r.versionParams.dataVersion = 77;  // kept as it is in memory, not stamped
  s->storeEditBuffer(r, 300);
  EXPECT_TRUE(s->editBufferExists());
  EXPECT_EQ(stored, 300);
  EXPECT_EQ(readBytes(data() / "gbx_editBuffer.dat"), bytesOf(r));
  PatternRecord back;
  int32_t number = -1;
  s->loadEditBuffer(&back, &number);
  EXPECT_EQ(back, r);
  EXPECT_EQ(number, 300);

  const std::vector<std::pair<std::optional<int64_t>, int32_t>> numbers = {
      {-5, 0}, {std::nullopt, 0}, {319, 319}, {5000, 319}};
  for (const auto& [value, expected] : numbers) {
    stored = value;
    s->loadEditBuffer(&back, &number);
    EXPECT_EQ(number, expected);
  }
  s->removeEditBuffer();
  EXPECT_FALSE(s->editBufferExists());
  s->removeEditBuffer();  // nothing to remove: no harm
}

TEST_F(PatternStoreTest, WrongSizedEditBufferGivesPatternZero) {
  makeBundle(2);
  auto s = loadedStore();
  s->setEditBufferNumberAccess({[] { return std::optional<int64_t>(1); }, [](int64_t) {}});
  for (size_t size : {size_t(0), size_t(29312), size_t(30000)}) {
    writeBytes(data() / "gbx_editBuffer.dat", std::vector<uint8_t>(size, 3));
    PatternRecord back = PatternRecord::zeroed();
    int32_t number = -1;
    s->loadEditBuffer(&back, &number);
    EXPECT_EQ(number, 0) << size;
    EXPECT_EQ(back, s->patternAt(0)) << size;
  }
}

TEST_F(PatternStoreTest, FailedEditBufferSaveKeepsTheNumber) {
  makeBundle(2);
  auto s = loadedStore();
  std::optional<int64_t> stored = 1;
  s->setEditBufferNumberAccess({[&] { return stored; }, [&](int64_t v) { stored = v; }});
  s->storeEditBuffer(named(1, "first"), 1);
  const auto before = readBytes(data() / "gbx_editBuffer.dat");
  {
    FileSizeLimit limit(1000);
    s->storeEditBuffer(named(2, "second"), 0);
  }
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(readBytes(data() / "gbx_editBuffer.dat"), before);
}

TEST_F(PatternStoreTest, InitPatternComesFromTheBundleOrABuiltInOne) {
  makeBundle(1);
  auto s = loadedStore();
  PatternRecord init = PatternRecord::zeroed();
  s->initPattern(&init);
  EXPECT_STREQ(init.tagParams.name, "Bundle Init");

  fs::remove(bundle / "iGROOVEBIX_initPattern.dat");
  Z31647PatternStore other;
  other.setReporter([this](const std::string& p) { reported.push_back(p); });
  other.initPattern(&init);
  EXPECT_STREQ(init.tagParams.name, "Init Pattern");
  EXPECT_TRUE(reportedSomething("init pattern"));
}

}  // namespace

namespace {

// A prefetching thread reads while the main thread stores and reorders:
// every record it gets is whole, one of those the library ever held.
TEST_F(PatternStoreTest, ReadsFromAnotherThreadSeeWholeRecords) {
  makeBundle(8);
  auto s = loadedStore();
  std::vector<PatternRecord> known;
  for (int i = 0; i < 8; ++i) known.push_back(s->patternAt(i));
  for (int i = 0; i < 8; ++i) {
    PatternRecord r = named(100 + i, "Stored");
    r.versionParams.dataVersion = PatternRecord::kDataVersion;
    known.push_back(r);
  }
  std::atomic<bool> done{false};
  std::atomic<int> bad{0}, reads{0};
  std::thread reader([&] {
    while (!done.load()) {
      const PatternRecord r = s->patternAt(reads.load() % 8);
      if (std::find(known.begin(), known.end(), r) == known.end()) ++bad;
      if (s->numberOfPatterns() != 8) ++bad;
      ++reads;
    }
  });
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(s->storePattern(known[8 + round % 8], round % 8));
    s->movePatterns(round % 8, 0, (round + 3) % 8, 0);
  }
  while (reads.load() < 50) std::this_thread::yield();
  done = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
