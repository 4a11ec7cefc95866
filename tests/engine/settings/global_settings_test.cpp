#include "engine/settings/global_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

class GlobalSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-settings-XXXXXX";
    root = mkdtemp(tmpl);
    data = root / ".igroovebix.d";
    docs = root;
    fs::create_directories(data);
  }
  void TearDown() override {
    destroyGlobalSettings();
    fs::remove_all(root);
  }

  // A global.dat with the given version word and values.
  void writeFile(uint32_t version, const std::vector<int32_t>& values, size_t extraBytes = 0) {
    std::vector<uint8_t> bytes;
    auto put = [&](uint32_t v) {
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put(version);
    for (int32_t v : values) put(static_cast<uint32_t>(v));
    bytes.insert(bytes.end(), extraBytes, 0xAB);
    std::ofstream(data / "global.dat", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                               static_cast<std::streamsize>(bytes.size()));
  }

  std::vector<uint8_t> readFile() {
    std::ifstream in(data / "global.dat", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::vector<int32_t> values(const GlobalSettings& g) {
    std::vector<int32_t> v;
    for (int i = 0; i < 9; ++i) v.push_back(g.get(i));
    return v;
  }

  fs::path root, data, docs;
  const std::vector<int32_t> defaults = {0, 1, 127, 0, 0, 1, 1, 1, 0};
};

TEST_F(GlobalSettingsTest, DefaultsWithoutAFile) {
  GlobalSettings g(data, docs);
  EXPECT_EQ(values(g), defaults);
  EXPECT_EQ(g.get(-1), 0);
  EXPECT_EQ(g.get(9), 0);
}

TEST_F(GlobalSettingsTest, EveryVersionLoadsItsValues) {
  // version, payload values; settings past the payload keep their defaults.
  const std::vector<int32_t> stored = {1, 0, 90, 33, 5, 0, 0, 0, 1};
  const size_t counts[] = {2, 4, 5, 6, 7, 8, 9};
  for (uint32_t version = 0; version <= 6; ++version) {
    const size_t n = counts[version];
    writeFile(version, std::vector<int32_t>(stored.begin(), stored.begin() + static_cast<long>(n)));
    GlobalSettings g(data, docs);
    for (size_t i = 0; i < 9; ++i)
      EXPECT_EQ(g.get(static_cast<int32_t>(i)), i < n ? stored[i] : defaults[i]) << "version " << version << " setting " << i;
  }
}

TEST_F(GlobalSettingsTest, ShortNewerAndTinyFilesAreIgnoredWhole) {
  struct Case { const char* what; uint32_t version; size_t values; };
  const Case cases[] = {
      {"version 3 one value short", 3, 5},
      {"version 6 one value short", 6, 8},
      {"version 7", 7, 9},
      {"version 0xFFFFFFFF", 0xFFFFFFFFu, 9},
  };
  for (const auto& c : cases) {
    writeFile(c.version, std::vector<int32_t>(c.values, 1));
    GlobalSettings g(data, docs);
    EXPECT_EQ(values(g), defaults) << c.what;
  }
  std::ofstream(data / "global.dat", std::ios::binary).write("\x01\x00", 2);
  GlobalSettings g(data, docs);
  EXPECT_EQ(values(g), defaults) << "two-byte file";
}

TEST_F(GlobalSettingsTest, OutOfRangeValuesAreClampedAndTrailingBytesIgnored) {
  writeFile(6, {5, -1, 200, -5, 9, 2, 3, 4, 100}, 7);
  GlobalSettings g(data, docs);
  EXPECT_EQ(values(g), (std::vector<int32_t>{1, 0, 127, 0, 7, 1, 1, 1, 1}));
  g.set(2, 300);
  EXPECT_EQ(g.get(2), 127);
  g.set(9, 1);  // ignored
  g.set(4, -2);
  EXPECT_EQ(g.get(4), 0);
}

TEST_F(GlobalSettingsTest, SaveWritesVersion6AndLoadsBack) {
  writeFile(7, std::vector<int32_t>(9, 1));
  {
    GlobalSettings g(data, docs);
    g.set(3, 90);
    ASSERT_TRUE(g.saveGlobalSettings());
  }
  const auto bytes = readFile();
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(bytes[0], 6);
  EXPECT_EQ(bytes[16], 90);  // setting 3 at offset 4 + 3 × 4
  EXPECT_EQ(bytes[12], 127);
  GlobalSettings again(data, docs);
  EXPECT_EQ(again.get(GlobalSettings::kTubeGain), 90);
}

TEST_F(GlobalSettingsTest, FailedSaveKeepsTheOldFile) {
  writeFile(6, {1, 0, 50, 60, 2, 0, 0, 0, 0});
  GlobalSettings g(data, docs);
  g.set(2, 10);
  // A folder in place of the temporary's rename target makes the write fail.
  const auto before = readFile();
  fs::rename(data / "global.dat", data / "kept.dat");
  fs::create_directories(data / "global.dat" / "blocker");
  EXPECT_FALSE(g.saveGlobalSettings());
  fs::remove_all(data / "global.dat");
  fs::rename(data / "kept.dat", data / "global.dat");
  EXPECT_EQ(readFile(), before);
  // No temporary left behind.
  for (const auto& e : fs::directory_iterator(data)) EXPECT_EQ(e.path().filename(), "global.dat");
}

TEST_F(GlobalSettingsTest, OlderFileIsMovedInOnce) {
  std::vector<uint8_t> bytes = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  std::ofstream(docs / "gbx_global.dat", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 12);
  fs::remove_all(data);
  GlobalSettings g(data, docs);
  EXPECT_EQ(g.get(0), 1);
  EXPECT_EQ(g.get(1), 0);
  EXPECT_EQ(g.get(2), 127);
  EXPECT_FALSE(fs::exists(docs / "gbx_global.dat"));
  EXPECT_TRUE(fs::exists(data / "global.dat"));

  // With a current file in place, the older one stays where it is.
  std::ofstream(docs / "gbx_global.dat", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 12);
  GlobalSettings h(data, docs);
  EXPECT_TRUE(fs::exists(docs / "gbx_global.dat"));
}

TEST_F(GlobalSettingsTest, NamesAndValueTexts) {
  EXPECT_EQ(GlobalSettings::name(0), "Tempo Lock");
  EXPECT_EQ(GlobalSettings::name(7), "Quilla2 Native Mode");
  EXPECT_EQ(GlobalSettings::name(9), "");
  struct Case { uint32_t index, value; const char* text; };
  const Case cases[] = {{2, 5, "005"}, {3, 127, "127"}, {4, 6, "12"}, {4, 7, "16"}, {4, 8, ""},
                        {0, 2, ""},    {0, 1, "On"},    {1, 0, "Linear"}, {1, 1, "Rotary"}, {8, 0, "Off"},
                        {9, 0, ""}};
  for (const auto& c : cases) EXPECT_EQ(GlobalSettings::valueTextFor(c.index, c.value), c.text) << c.index << "/" << c.value;
  GlobalSettings g(data, docs);
  EXPECT_EQ(g.valueText(1), "Rotary");
  EXPECT_EQ(g.valueText(-3), "Off");
}

TEST_F(GlobalSettingsTest, GlobalPointerLifeCycle) {
  EXPECT_EQ(globalSettings(), nullptr);
  GlobalSettings* g = createGlobalSettings(data, docs);
  EXPECT_EQ(globalSettings(), g);
  destroyGlobalSettings();
  EXPECT_EQ(globalSettings(), nullptr);
}

}  // namespace
