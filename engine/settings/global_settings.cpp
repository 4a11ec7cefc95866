#include "engine/settings/global_settings.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/foundation/atomic_file.h"

const GlobalSettingInfo GlobalSettings::kInfo[kCount] = {
    {"Tempo Lock", 0, 1},
    {"Knob Mode", 0, 1},
    {"Master Volume", 0, 127},
    {"Tube Gain", 0, 127},
    {"Pattern Change Grid", 0, 7},
    {"Show Tips", 0, 1},
    {"Preview Sounds", 0, 1},
    {"Quilla2 Native Mode", 0, 1},
    {"Background Audio Enabled", 0, 1},
};

namespace {

constexpr int32_t kDefaults[GlobalSettings::kCount] = {0, 1, 127, 0, 0, 1, 1, 1, 0};
const char* const kOffOn[] = {"Off", "On"};
const char* const kKnobModes[] = {"Linear", "Rotary"};
const char* const kGrids[] = {"Off", "2", "3", "4", "6", "8", "12", "16"};

GlobalSettings* gSettings = nullptr;

uint32_t readLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void writeLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

GlobalSettings::GlobalSettings(std::filesystem::path dataDirectory, std::filesystem::path documentsDirectory)
    : dataDirectory_(std::move(dataDirectory)), documentsDirectory_(std::move(documentsDirectory)) {
  for (auto& v : values_) v.store(0);
  migrateGlobalSettingsFile();
  setDefaults();
  loadGlobalSettings();
}

void GlobalSettings::setDefaults() {
  for (uint32_t i = 0; i < kCount; ++i) values_[i].store(kDefaults[i]);
}

int32_t GlobalSettings::get(int32_t index) const {
  if (index < 0 || index >= static_cast<int32_t>(kCount)) return 0;
  return values_[static_cast<size_t>(index)].load();
}

void GlobalSettings::set(uint32_t index, int32_t value) {
  if (index >= kCount) return;
  values_[index].store(std::clamp(value, kInfo[index].min, kInfo[index].max));
}

std::string GlobalSettings::name(uint32_t index) { return index < kCount ? kInfo[index].name : ""; }

std::string GlobalSettings::valueText(int32_t index) const {
  if (index < 0 || index >= static_cast<int32_t>(kCount)) return valueTextFor(0, 0);
  return valueTextFor(static_cast<uint32_t>(index), static_cast<uint32_t>(get(index)));
}

std::string GlobalSettings::valueTextFor(uint32_t index, uint32_t value) {
  switch (index) {
    case kKnobMode: return value <= 1 ? kKnobModes[value] : "";
    case kMasterVolume:
    case kTubeGain: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%03u", value);
      return buf;
    }
    case kPatternChangeGrid: return value <= 7 ? kGrids[value] : "";
    case kTempoLock:
    case kShowTips:
    case kPreviewSounds:
    case kNativeMode:
    case kBackgroundAudioEnabled: return value <= 1 ? kOffOn[value] : "";
    default: return "";
  }
}

void GlobalSettings::loadGlobalSettings() {
  std::ifstream in(path(), std::ios::binary);
  if (!in) return;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 4) return;
  const uint32_t version = readLE32(bytes.data());
  if (version > kFileVersion) return;
  // Versions 0-6 hold 2, 4, 5, 6, 7, 8, 9 values.
  const size_t count = version == 0 ? 2 : version + 3;
  if (bytes.size() - 4 < count * 4) return;
  for (size_t i = 0; i < count; ++i) {
    const int32_t v = static_cast<int32_t>(readLE32(bytes.data() + 4 + i * 4));
    set(static_cast<uint32_t>(i), v);
  }
}

bool GlobalSettings::saveGlobalSettings() {
  std::array<uint8_t, 4 + 4 * kCount> buffer{};
  writeLE32(buffer.data(), kFileVersion);
  for (uint32_t i = 0; i < kCount; ++i) writeLE32(buffer.data() + 4 + i * 4, static_cast<uint32_t>(get(static_cast<int32_t>(i))));
  std::error_code ec;
  std::filesystem::create_directories(dataDirectory_, ec);
  // Written through a temporary and a rename: a failed save leaves the
  // previous file as it was, never an empty or partial one.
  std::string error;
  if (!platform::writeFileAtomically(path(), buffer, &error)) {
    std::fprintf(stderr, "global settings not saved: %s\n", error.c_str());
    return false;
  }
  return true;
}

void GlobalSettings::migrateGlobalSettingsFile() {
  const auto older = documentsDirectory_ / "gbx_global.dat";
  std::error_code ec;
  if (!std::filesystem::exists(older, ec)) return;
  if (std::filesystem::exists(path(), ec)) return;  // never replace the current file
  std::filesystem::create_directories(dataDirectory_, ec);
  std::filesystem::rename(older, path(), ec);
}

GlobalSettings* globalSettings() { return gSettings; }

GlobalSettings* createGlobalSettings(const std::filesystem::path& dataDirectory,
                                     const std::filesystem::path& documentsDirectory) {
  delete gSettings;
  gSettings = new GlobalSettings(dataDirectory, documentsDirectory);
  return gSettings;
}

void destroyGlobalSettings() {
  delete gSettings;
  gSettings = nullptr;
}
