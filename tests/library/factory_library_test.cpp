// The factory library the generator writes into the bundle.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "engine/record/init_pattern.h"
#include "library/library_fixture.h"
#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "library/pattern_name_creator.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"

namespace fs = std::filesystem;

namespace {

class FactoryLibraryTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    Utilities::setBundleResourcePath(fs::path(IGB_BUNDLE_DIR));
  }
  static fs::path realBundle() { return fs::path(IGB_BUNDLE_DIR); }

  std::vector<PatternRecord> bundleRecords(std::vector<std::string>* ids = nullptr) {
    PatternIndicesTable t;
    std::string error;
    EXPECT_TRUE(t.loadTableFrom(realBundle() / "patternIndicesTable.plist", &error)) << error;
    std::vector<PatternRecord> out;
    for (int i = 0; i < t.numberOfPatterns(); ++i) {
      const auto bytes = readBytes(realBundle() / "patterns" / t.patternId(i));
      PatternRecord r = PatternRecord::zeroed();
      EXPECT_EQ(readPatternRecord(bytes, &r), kPatternFileCurrent) << i;
      out.push_back(r);
      if (ids) ids->push_back(t.patternId(i));
    }
    return out;
  }
};

TEST_F(FactoryLibraryTest, BundleHoldsTheWholeLibraryInTheFileFormats) {
  std::vector<std::string> ids;
  const auto records = bundleRecords(&ids);
  ASSERT_EQ(records.size(), 416u);
  std::set<std::string> unique(ids.begin(), ids.end());
  EXPECT_EQ(unique.size(), 416u);
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(realBundle() / "patterns")) {
    ++files;
    const auto bytes = readBytes(e.path());
    ASSERT_EQ(bytes.size(), 29320u) << e.path();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 6), (std::vector<uint8_t>{0, 0, 0, 1, 0, 0}));
    EXPECT_TRUE(unique.count(e.path().filename().string())) << e.path();
  }
  EXPECT_EQ(files, 416u);
  for (const std::string& id : ids) {
    EXPECT_TRUE(isPlainIdentifier(id));
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;
  }
  for (const PatternRecord& r : records) {
    PatternRecord copy = r;
    EXPECT_FALSE(clampPatternRecord(&copy)) << r.tagParams.name;
  }
  PatternRecord init = PatternRecord::zeroed();
  ASSERT_EQ(readPatternRecord(readBytes(realBundle() / "iGROOVEBIX_initPattern.dat"), &init), kPatternFileCurrent);
  EXPECT_EQ(init, makeInitPattern());

  PatternSetStore sets;
  ASSERT_TRUE(sets.load());
  for (int bank = 0; bank < 4; ++bank)
    for (int slot = 0; slot < 16; ++slot) EXPECT_LT(sets.patternIndex(slot, bank), 416u);
}

TEST_F(FactoryLibraryTest, InstallsOnFirstStartIntoAnEmptyRoot) {
  ASSERT_FALSE(fs::exists(data()));
  Z31647PatternStore store;
  std::vector<std::string> problems;
  store.setReporter([&](const std::string& p) { problems.push_back(p); });
  store.load();
  EXPECT_TRUE(problems.empty()) << problems.front();
  ASSERT_EQ(store.numberOfPatterns(), 416);
  EXPECT_EQ(store.numberOfBanks(), 13);
  EXPECT_EQ(store.columnText(0, 0), "A01     [FACT]");
  EXPECT_EQ(store.columnText(0, 1), "House 1");
  EXPECT_EQ(store.columnText(64, 2), "GQ-1 Collection");
  EXPECT_EQ(store.columnText(288, 1), "Init Pattern");
  EXPECT_EQ(std::distance(fs::directory_iterator(patterns()), fs::directory_iterator()), 416);
  const PatternRecord first = store.patternAt(0);
  int steps = 0;
  for (const auto& row : first.sequencerParams.trigger)
    for (uint8_t b : row) steps += b;
  EXPECT_GT(steps, 8);
  // The same library comes back through the saved table on the next start.
  ASSERT_TRUE(store.storeIndexTable());
  const std::string out = runPython(
      "import plistlib\n"
      "a = plistlib.load(open('" + (data() / "patternIndicesTable.plist").string() + "', 'rb'))\n"
      "o = a['$objects']\n"
      "root = o[a['$top']['root'].data]\n"
      "ids = [o[o[r.data]['identifier'].data] for r in root['NS.objects']]\n"
      "assert all(type(i) is str for i in ids)\n"
      "print(len(ids), ids[0], ids[415])\n");
  const PatternIndicesTable saved = store.indicesTable();
  EXPECT_EQ(out, "416 " + saved.patternId(0) + " " + saved.patternId(415) + "\n");
  Z31647PatternStore again;
  again.load();
  EXPECT_EQ(again.numberOfPatterns(), 416);
  EXPECT_EQ(again.patternAt(100), store.patternAt(100));
}

TEST_F(FactoryLibraryTest, PatternsAreNamedTaggedAndVaried) {
  const auto records = bundleRecords();
  ASSERT_EQ(records.size(), 416u);
  std::set<int> tempos, swings, lengths, lastSteps, effects;
  std::set<std::string> names;
  int withMotion = 0, withEffectMotion = 0, withBassLine = 0;
  for (int i = 0; i < 256; ++i) {
    const PatternRecord& r = records[i];
    const std::string name = tagText(r.tagParams.name, 16);
    EXPECT_FALSE(name.empty()) << i;
    EXPECT_LE(name.size(), 15u) << i;
    names.insert(name);
    EXPECT_FALSE(tagText(r.tagParams.tags, 256).empty()) << i;
    EXPECT_FALSE(tagText(r.tagParams.author, 16).empty()) << i;
    const seqParams& q = r.sequencerParams;
    tempos.insert(q.tempo);
    swings.insert(q.swing);
    lengths.insert(q.length);
    lastSteps.insert(q.lastStep);
    if (r.effectParams[0].trigger) effects.insert(r.effectParams[0].type);
    int partsPlaying = 0;
    for (int p = 0; p < kNumParts; ++p) {
      int n = 0;
      for (int s = 0; s < kNumSteps; ++s) n += q.trigger[p][s];
      if (n) ++partsPlaying;
    }
    int kicks = 0;
    for (int s = 0; s < kNumSteps; ++s) kicks += q.trigger[0][s];
    EXPECT_GT(kicks, 0) << name;
    EXPECT_GE(partsPlaying, 4) << name;
    bool motion = false;
    for (int id = 0; id < kNumParamIds; ++id) motion |= r.motionParams[id].enabled != 0;
    withMotion += motion;
    withEffectMotion += r.motionParams[133].enabled || r.motionParams[135].enabled;
    withBassLine += r.motionParams[16].enabled && r.synthParams[1].motionType != 0;
  }
  EXPECT_EQ(names.size(), 256u);
  EXPECT_GE(tempos.size(), 40u);
  EXPECT_LE(*tempos.begin(), 800);
  EXPECT_GE(*tempos.rbegin(), 1600);
  EXPECT_TRUE(swings.count(50));
  EXPECT_GE(*swings.rbegin(), 62);
  EXPECT_EQ(lengths, (std::set<int>{1, 2, 4}));
  EXPECT_EQ(lastSteps, (std::set<int>{12, 16}));
  EXPECT_EQ(effects.size(), 8u);
  EXPECT_GE(withMotion, 200);
  EXPECT_GE(withEffectMotion, 30);
  EXPECT_GE(withBassLine, 200);
  for (int i = 256; i < 288; ++i) EXPECT_EQ(tagText(records[i].tagParams.author, 16), "Template") << i;
  for (int i = 288; i < 416; ++i) EXPECT_EQ(records[i], makeInitPattern()) << i;
}

}  // namespace
