#include "engine/voices/drum_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/record/drum_sample_info.h"
#include "engine/voices/bundle_resource.h"
#include "engine/voices/pcm_part.h"
#include "voice_test_support.h"

namespace fs = std::filesystem;

namespace {

class DrumDataFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "igb-drumdata-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    destroyDrumData();
    fs::remove_all(dir);
  }
  void write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream f(dir / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  // Loads and returns the number of log lines written.
  int loadCountingLogLines(DrumData& data, const std::string& path, DrumDataStatus& status) {
    ::testing::internal::CaptureStderr();
    status = loadDrumData(data, path);
    const std::string log = ::testing::internal::GetCapturedStderr();
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
  }
  fs::path dir;
};

std::vector<uint8_t> bigEndian(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b;
  for (int16_t s : samples) {
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
  }
  return b;
}

TEST(DrumDataTable, NeedsEveryRowOfTheTable) {
  EXPECT_EQ(drumDataRequiredSamples(), 363336u);
}

TEST_F(DrumDataFiles, ReadsBigEndianSamplesIntoHostOrder) {
  std::vector<int16_t> samples(drumDataRequiredSamples(), 0);
  samples[0] = 0x1234;
  samples[1] = -2;
  samples[2] = INT16_MIN;
  samples[363335] = 32767;
  write("drumdata.bin", bigEndian(samples));
  DrumData data;
  DrumDataStatus status;
  EXPECT_EQ(loadCountingLogLines(data, (dir / "drumdata.bin").string(), status), 0);
  EXPECT_EQ(status, DrumDataStatus::kLoaded);
  ASSERT_EQ(data.count(), 363336u);
  EXPECT_EQ(data.words[0], 0x1234);
  EXPECT_EQ(data.sample(1), -2);
  EXPECT_EQ(data.sample(2), -32768);
  EXPECT_EQ(data.sample(363335), 32767);
  EXPECT_EQ(data.sample(363336), 0);
  EXPECT_EQ(data.sample(static_cast<size_t>(-1)), 0);
}

TEST_F(DrumDataFiles, MissingFileGivesEmptyMemoryAndOneLogLine) {
  DrumData data;
  data.words.assign(10, 7);
  DrumDataStatus status;
  EXPECT_EQ(loadCountingLogLines(data, (dir / "absent.bin").string(), status), 1);
  EXPECT_EQ(status, DrumDataStatus::kMissing);
  EXPECT_EQ(data.count(), 0u);
  EXPECT_EQ(data.sample(0), 0);
}

TEST_F(DrumDataFiles, ShortFileKeepsWhatIsThereAndSilencesTheRest) {
  // Three bytes: one sample and an odd byte that is ignored.
  write("short.bin", {0x01, 0x02, 0x03});
  DrumData data;
  DrumDataStatus status;
  EXPECT_EQ(loadCountingLogLines(data, (dir / "short.bin").string(), status), 1);
  EXPECT_EQ(status, DrumDataStatus::kShort);
  ASSERT_EQ(data.count(), 1u);
  EXPECT_EQ(data.words[0], 0x0102);
  EXPECT_EQ(data.sample(1), 0);

  // A file that ends inside row 8 plays rows 0-7 and leaves the rest silent.
  std::vector<int16_t> samples(drumSampleInfo(8).start + 100, 5000);
  write("partial.bin", bigEndian(samples));
  EXPECT_EQ(loadCountingLogLines(data, (dir / "partial.bin").string(), status), 1);
  EXPECT_EQ(status, DrumDataStatus::kShort);
  PcmPart cymbal(8, 44100.0f, &data);
  cymbal.setParameter(kWave, 1);  // "Cymbal 2", wholly beyond the file
  cymbal.setParameter(kFxSend, 0);
  voicetest::Buses buses(4096);
  cymbal.noteOn(127);
  cymbal.render(buses.at(0), 1024);
  cymbal.render(buses.at(1024), 1024);
  EXPECT_EQ(voicetest::peak(voicetest::toDouble(buses.bus(0))), 0.0);
  PcmPart hat(4, 44100.0f, &data);
  hat.setParameter(kFxSend, 0);
  voicetest::Buses hatBuses(1024);
  hat.noteOn(127);
  hat.render(hatBuses.at(0), 1024);
  EXPECT_GT(voicetest::peak(voicetest::toDouble(hatBuses.bus(0))), 1000.0);
}

TEST_F(DrumDataFiles, EmptyFileAndFolderAreSilent) {
  write("empty.bin", {});
  DrumData data;
  DrumDataStatus status;
  EXPECT_EQ(loadCountingLogLines(data, (dir / "empty.bin").string(), status), 1);
  EXPECT_EQ(status, DrumDataStatus::kShort);
  EXPECT_EQ(data.count(), 0u);
  fs::create_directory(dir / "folder.bin");
  EXPECT_EQ(loadCountingLogLines(data, (dir / "folder.bin").string(), status), 1);
  EXPECT_NE(status, DrumDataStatus::kLoaded);
  EXPECT_EQ(data.count(), 0u);
}

TEST_F(DrumDataFiles, CreateLoadsTheBundleResourceAndDestroyClearsIt) {
  std::vector<int16_t> samples(drumDataRequiredSamples(), 0);
  samples[10] = 1234;
  write("drumdata.bin", bigEndian(samples));
  const DrumData* created = createDrumData(dir.string());
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(drumData(), created);
  EXPECT_EQ(drumData()->sample(10), 1234);
  destroyDrumData();
  EXPECT_EQ(drumData(), nullptr);
}

TEST_F(DrumDataFiles, CreateWithoutAResourceGivesAnEmptyMemory) {
  ::testing::internal::CaptureStderr();
  const DrumData* created = createDrumData(dir.string());
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->count(), 0u);
  EXPECT_NE(log.find("drumdata"), std::string::npos);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
}

TEST(BundleResource, ExplicitFolderThenEnvironment) {
  EXPECT_EQ(bundleResourcePath("drumdata", "bin", "/some/bundle"), "/some/bundle/drumdata.bin");
  const char* old = std::getenv("IGB_BUNDLE_DIR");
  const std::string saved = old ? old : "";
  ::setenv("IGB_BUNDLE_DIR", "/from/env", 1);
  EXPECT_EQ(bundleResourcePath("drumdata", "bin"), "/from/env/drumdata.bin");
  ::setenv("IGB_BUNDLE_DIR", "", 1);
  EXPECT_EQ(bundleDirectory(), (fs::read_symlink("/proc/self/exe").parent_path() / "bundle").string());
  if (old) {
    ::setenv("IGB_BUNDLE_DIR", saved.c_str(), 1);
  } else {
    ::unsetenv("IGB_BUNDLE_DIR");
  }
}

}  // namespace
