#include "engine/provider/memory_data_provider.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/record/init_pattern.h"

namespace {

PatternRecord named(const char* name, int16_t tempo) {
  PatternRecord r = makeInitPattern();
  std::memset(r.tagParams.name, 0, sizeof r.tagParams.name);
  std::strncpy(r.tagParams.name, name, sizeof r.tagParams.name);
  r.sequencerParams.tempo = tempo;
  return r;
}

TEST(InitPattern, IsAPlayableEmptyPattern) {
  const PatternRecord r = makeInitPattern();
  EXPECT_EQ(r.versionParams.dataVersion, PatternRecord::kDataVersion);
  EXPECT_EQ(r.sequencerParams.tempo, 1200);
  EXPECT_EQ(r.sequencerParams.swing, 50);
  EXPECT_EQ(r.sequencerParams.length, 1);
  EXPECT_EQ(r.sequencerParams.lastStep, 16);
  for (int p = 0; p < kNumParts; ++p)
    for (int s = 0; s < kNumSteps; ++s) ASSERT_EQ(r.sequencerParams.trigger[p][s], 0);
  for (const auto& m : r.motionParams) {
    EXPECT_EQ(m.motionId, -1);
    EXPECT_EQ(m.enabled, 0);
  }
}

TEST(MemoryDataProvider, StoresAndFetches) {
  MemoryDataProvider p(2);
  EXPECT_EQ(p.numberOfPatterns(), 64);
  EXPECT_EQ(p.numberOfBanks(), 2);
  EXPECT_EQ(p.numberOfPatternsInBank(1), 32);
  EXPECT_EQ(p.numberOfPatternsInBank(2), 0);
  EXPECT_EQ(p.indexOf(3, 1), 35);
  int32_t slot = -1, bank = -1;
  p.slotAndBankOf(35, &slot, &bank);
  EXPECT_EQ(slot, 3);
  EXPECT_EQ(bank, 1);

  ASSERT_TRUE(p.storePattern(named("Alpha", 1300), 35));
  EXPECT_EQ(std::string(p.patternAt(3, 1).tagParams.name), "Alpha");
  EXPECT_EQ(p.columnText(35, 1), "Alpha");
  EXPECT_EQ(p.columnText(35, 4), "130");
  EXPECT_EQ(p.columnText(35, 5), "");
  EXPECT_FALSE(p.storePattern(named("Beyond", 1000), 64));
  EXPECT_FALSE(p.storePattern(named("Below", 1000), -1));
  // Out of range reads still yield a whole record: the init pattern.
  EXPECT_TRUE(p.patternAt(999) == makeInitPattern());

  PatternRecord tags = named("Renamed", 999);
  ASSERT_TRUE(p.storeTagInfo(tags, 35));
  EXPECT_EQ(std::string(p.patternAt(35).tagParams.name), "Renamed");
  EXPECT_EQ(p.patternAt(35).sequencerParams.tempo, 1300);  // only the tags changed

  p.initializePattern(3, 1);
  EXPECT_TRUE(p.patternAt(35) == makeInitPattern());
}

TEST(MemoryDataProvider, MovesAndEditBuffer) {
  MemoryDataProvider p(1);
  p.storePattern(named("A", 1000), 0);
  p.storePattern(named("B", 1000), 1);
  p.storePattern(named("C", 1000), 2);
  p.movePatterns(0, 0, 2, 0);
  EXPECT_EQ(p.columnText(0, 1), "B");
  EXPECT_EQ(p.columnText(1, 1), "C");
  EXPECT_EQ(p.columnText(2, 1), "A");

  EXPECT_FALSE(p.editBufferExists());
  p.storeEditBuffer(named("Edit", 1111), 7);
  ASSERT_TRUE(p.editBufferExists());
  PatternRecord r = PatternRecord::zeroed();
  int32_t index = -1;
  p.loadEditBuffer(&r, &index);
  EXPECT_EQ(index, 7);
  EXPECT_EQ(r.sequencerParams.tempo, 1111);
  p.removeEditBuffer();
  EXPECT_FALSE(p.editBufferExists());

  PatternRecord blank = PatternRecord::zeroed();
  p.initPattern(&blank);
  EXPECT_TRUE(blank == makeInitPattern());
}

}  // namespace
