#include "library/pattern_file.h"

#include <gtest/gtest.h>

#include "engine/record/init_pattern.h"
#include "library/library_fixture.h"

namespace {

using PatternFileTest = LibraryTest;

TEST_F(PatternFileTest, WriterStampsTheHeaderAndKeepsTheReservedBytes) {
  PatternRecord r = testRecord(3);
  r.versionParams.dataVersion = 0xdeadbeef;
  r.versionParams.allowableDevice = 7;
  r.versionParams.alignment = 0x0201;
  const auto path = root / "p";
  ASSERT_TRUE(writePatternFile(path, r));
  const auto bytes = readBytes(path);
  ASSERT_EQ(bytes.size(), 29320u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x02}));
  // The body is the record's, and the caller's record is unchanged.
  const auto expected = bytesOf(r);
  EXPECT_TRUE(std::equal(bytes.begin() + 8, bytes.end(), expected.begin() + 8));
  EXPECT_EQ(r.versionParams.dataVersion, 0xdeadbeefu);
}

TEST_F(PatternFileTest, OlderBodyIsConverted) {
  PatternRecord r = testRecord(4);
  r.versionParams.alignment = 0xffff;
  std::vector<uint8_t> body(PatternRecord::kBodySize);
  r.bodyToBytes(std::span<uint8_t, PatternRecord::kBodySize>(body.data(), body.size()));
  PatternRecord out = PatternRecord::zeroed();
  ASSERT_EQ(readPatternRecord(body, &out), kPatternFileConverted);
  const auto bytes = bytesOf(out);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(std::equal(body.begin(), body.end(), bytes.begin() + 8));
}

TEST_F(PatternFileTest, CurrentFileIsTakenAsItIs) {
  PatternRecord r = testRecord(5);
  r.versionParams.dataVersion = 42;  // nothing reads the header back
  PatternRecord out = PatternRecord::zeroed();
  ASSERT_EQ(readPatternRecord(bytesOf(r), &out), kPatternFileCurrent);
  EXPECT_EQ(out, r);
}

TEST_F(PatternFileTest, OtherSizesAreUnusableAndLeaveTheRecord) {
  const PatternRecord before = testRecord(6);
  for (size_t size : {size_t(0), size_t(1), size_t(29311), size_t(29313), size_t(29319), size_t(29321), size_t(30000)}) {
    PatternRecord r = before;
    std::vector<uint8_t> data(size, 0x55);
    EXPECT_EQ(readPatternRecord(data, &r), kPatternFileUnusable) << size;
    EXPECT_EQ(r, before) << size;
  }
}

TEST_F(PatternFileTest, FailedWriteLeavesTheOldFile) {
  const auto path = root / "sub" / "p";
  std::filesystem::create_directories(path.parent_path());
  ASSERT_TRUE(writePatternFile(path, testRecord(1)));
  const auto old = readBytes(path);
  std::string error;
  {
    FileSizeLimit limit(10000);
    EXPECT_FALSE(writePatternFile(path, testRecord(2), &error));
  }
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(readBytes(path), old);
  // No half-written temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()),
                          std::filesystem::directory_iterator()), 1);
}

TEST(ClampPatternRecord, BringsFieldsIntoRange) {
  PatternRecord r = makeInitPattern();
  EXPECT_FALSE(clampPatternRecord(&r));
  r.effectParams[0] = fxParams{12, -5, 300, 9};
  r.synthParams[2].waveform = 9;
  r.synthParams[5].pitch = -3;
  r.synthParams[7].accentStatus = 2;
  r.motionParams[10].motionId = 5000;
  r.motionParams[11].value[3] = 999;
  r.motionParams[11].trigger[3] = 7;
  r.sequencerParams.tempo = 9000;
  r.sequencerParams.swing = 10;
  r.sequencerParams.length = 0;
  r.sequencerParams.lastStep = 40;
  r.sequencerParams.crossRingMod = 3;
  r.sequencerParams.trigger[4][63] = 200;
  EXPECT_TRUE(clampPatternRecord(&r));
  EXPECT_EQ(r.effectParams[0].type, 7);
  EXPECT_EQ(r.effectParams[0].edit1, 0);
  EXPECT_EQ(r.effectParams[0].edit2, 127);
  EXPECT_EQ(r.effectParams[0].trigger, 1);
  EXPECT_EQ(r.synthParams[2].waveform, 3);
  EXPECT_EQ(r.synthParams[5].pitch, 0);
  EXPECT_EQ(r.synthParams[7].accentStatus, 1);
  EXPECT_EQ(r.motionParams[10].motionId, -1);
  EXPECT_EQ(r.motionParams[11].value[3], 127);
  EXPECT_EQ(r.motionParams[11].trigger[3], 1);
  EXPECT_EQ(r.sequencerParams.tempo, 6000);
  EXPECT_EQ(r.sequencerParams.swing, 50);
  EXPECT_EQ(r.sequencerParams.length, 1);
  EXPECT_EQ(r.sequencerParams.lastStep, 16);
  EXPECT_EQ(r.sequencerParams.crossRingMod, 2);
  EXPECT_EQ(r.sequencerParams.trigger[4][63], 1);
  EXPECT_FALSE(clampPatternRecord(&r));
}

}  // namespace
