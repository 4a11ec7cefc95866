#include "engine/record/pattern_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/foundation/atomic_file.h"

namespace {

struct OffsetCase {
  const char* member;
  size_t actual;
  size_t expected;
};

#define FIELD_OFFSET(expr) \
  static_cast<size_t>(reinterpret_cast<const uint8_t*>(&(expr)) - reinterpret_cast<const uint8_t*>(&r))

TEST(PatternRecord, SizeAndMemberOffsets) {
  static const PatternRecord r = PatternRecord::zeroed();
  const OffsetCase cases[] = {
      {"versionParams.dataVersion", FIELD_OFFSET(r.versionParams.dataVersion), 0},
      {"versionParams.allowableDevice", FIELD_OFFSET(r.versionParams.allowableDevice), 4},
      {"tagParams.name", FIELD_OFFSET(r.tagParams.name), 8},
      {"tagParams.author", FIELD_OFFSET(r.tagParams.author), 24},
      {"tagParams.tags", FIELD_OFFSET(r.tagParams.tags), 40},
      {"effectParams[0].type", FIELD_OFFSET(r.effectParams[0].type), 296},
      {"effectParams[0].edit1", FIELD_OFFSET(r.effectParams[0].edit1), 300},
      {"effectParams[0].edit2", FIELD_OFFSET(r.effectParams[0].edit2), 304},
      {"effectParams[0].trigger", FIELD_OFFSET(r.effectParams[0].trigger), 308},
      {"synthParams[0].pitch", FIELD_OFFSET(r.synthParams[0].pitch), 312},
      {"synthParams[1].pitch", FIELD_OFFSET(r.synthParams[1].pitch), 364},
      {"synthParams[7].accentStatus", FIELD_OFFSET(r.synthParams[7].accentStatus), 312 + 7 * 52 + 48},
      {"motionParams[0].motionId", FIELD_OFFSET(r.motionParams[0].motionId), 728},
      {"motionParams[0].value", FIELD_OFFSET(r.motionParams[0].value), 732},
      {"motionParams[0].trigger", FIELD_OFFSET(r.motionParams[0].trigger), 860},
      {"motionParams[0].enabled", FIELD_OFFSET(r.motionParams[0].enabled), 924},
      {"motionParams[135].motionId", FIELD_OFFSET(r.motionParams[135].motionId), 728 + 135 * 200},
      {"sequencerParams.tempo", FIELD_OFFSET(r.sequencerParams.tempo), 28728},
      {"sequencerParams.swing", FIELD_OFFSET(r.sequencerParams.swing), 28730},
      {"sequencerParams.length", FIELD_OFFSET(r.sequencerParams.length), 28732},
      {"sequencerParams.lastStep", FIELD_OFFSET(r.sequencerParams.lastStep), 28734},
      {"sequencerParams.accentLevel", FIELD_OFFSET(r.sequencerParams.accentLevel), 28736},
      {"sequencerParams.accentMotionType", FIELD_OFFSET(r.sequencerParams.accentMotionType), 28738},
      {"sequencerParams.crossRingMod", FIELD_OFFSET(r.sequencerParams.crossRingMod), 28740},
      {"sequencerParams.dummy", FIELD_OFFSET(r.sequencerParams.dummy), 28742},
      {"sequencerParams.trigger[0][0]", FIELD_OFFSET(r.sequencerParams.trigger[0][0]), 28744},
      {"sequencerParams.trigger[3][17]", FIELD_OFFSET(r.sequencerParams.trigger[3][17]), 28744 + 3 * 64 + 17},
      {"sequencerParams.accent[0]", FIELD_OFFSET(r.sequencerParams.accent[0]), 29256},
      {"sequencerParams.accent[63]", FIELD_OFFSET(r.sequencerParams.accent[63]), 29319},
  };
  EXPECT_EQ(sizeof(PatternRecord), 29320u);
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.member;
}

PatternRecord sampleRecord() {
  PatternRecord r = PatternRecord::zeroed();
  r.versionParams.dataVersion = PatternRecord::kDataVersion;
  r.versionParams.allowableDevice = 0x0102;
  std::strncpy(r.tagParams.name, "Night Drive", sizeof r.tagParams.name);
  std::strncpy(r.tagParams.author, "tester", sizeof r.tagParams.author);
  std::strncpy(r.tagParams.tags, "house,dark", sizeof r.tagParams.tags);
  r.effectParams[0] = {3, 100, -5, 1};
  for (int p = 0; p < kNumParts; ++p)
    for (int i = 0; i < kNumPartParams; ++i) r.synthParams[p][i] = p * 100 + i - 7;
  r.motionParams[17].motionId = -1;
  r.motionParams[17].value[63] = -12345;
  r.motionParams[17].trigger[5] = 1;
  r.motionParams[17].enabled = 1;
  r.sequencerParams.tempo = 1285;
  r.sequencerParams.swing = 62;
  r.sequencerParams.length = 4;
  r.sequencerParams.lastStep = 13;
  r.sequencerParams.accentLevel = 90;
  r.sequencerParams.accentMotionType = 2;
  r.sequencerParams.crossRingMod = 1;
  r.sequencerParams.trigger[3][17] = 1;
  r.sequencerParams.accent[63] = 1;
  return r;
}

TEST(PatternRecord, BytesAreLittleEndianAtTheirOffsets) {
  const auto bytes = sampleRecord().toBytes();
  // dataVersion 0x01000000 is stored low byte first.
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(bytes[4], 0x02);
  EXPECT_EQ(bytes[5], 0x01);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[8])), "Night Drive");
  // edit2 = -5 at 304.
  EXPECT_EQ(bytes[304], 0xFB);
  EXPECT_EQ(bytes[307], 0xFF);
  // tempo 1285 = 0x0505 at 28728.
  EXPECT_EQ(bytes[28728], 0x05);
  EXPECT_EQ(bytes[28729], 0x05);
  // motion slot 17, value[63] = -12345 = 0xCFC7.
  const size_t v = 728 + 17 * 200 + 4 + 63 * 2;
  EXPECT_EQ(bytes[v], 0xC7);
  EXPECT_EQ(bytes[v + 1], 0xCF);
  EXPECT_EQ(bytes[28744 + 3 * 64 + 17], 1);
  EXPECT_EQ(bytes[29319], 1);
}

TEST(PatternRecord, ByteRoundTripKeepsEveryField) {
  const PatternRecord r = sampleRecord();
  const auto bytes = r.toBytes();
  const PatternRecord back = PatternRecord::fromBytes(bytes);
  EXPECT_TRUE(back == r);
  EXPECT_EQ(back.synthParams[7][12], 7 * 100 + 12 - 7);
  EXPECT_EQ(back.motionParams[17].value[63], -12345);
  EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
}

TEST(PatternRecord, BodyFormLeavesOutTheHeader) {
  const PatternRecord r = sampleRecord();
  std::array<uint8_t, PatternRecord::kBodySize> body{};
  r.bodyToBytes(body);
  const PatternRecord back = PatternRecord::fromBodyBytes(body);
  EXPECT_EQ(back.versionParams.dataVersion, 0u);
  EXPECT_EQ(std::string(back.tagParams.name), "Night Drive");
  EXPECT_EQ(back.sequencerParams.tempo, 1285);
}

TEST(PatternRecord, ZeroedIsAllZero) {
  const PatternRecord r = PatternRecord::zeroed();
  const auto bytes = r.toBytes();
  for (uint8_t b : bytes) ASSERT_EQ(b, 0);
}

TEST(PatternRecord, FileWrittenAndReadBack) {
  const auto dir = std::filesystem::temp_directory_path() / ("igb-record-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "pattern.dat";
  const PatternRecord r = sampleRecord();
  const auto bytes = r.toBytes();
  std::string error;
  ASSERT_TRUE(platform::writeFileAtomically(path, bytes, &error)) << error;
  EXPECT_EQ(std::filesystem::file_size(path), 29320u);
  const auto read = platform::readFile(path);
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), PatternRecord::kSize);
  const PatternRecord back = PatternRecord::fromBytes(std::span<const uint8_t, PatternRecord::kSize>(read->data(), PatternRecord::kSize));
  EXPECT_TRUE(back == r);
  std::filesystem::remove_all(dir);
}

}  // namespace
