#pragma once
// The nine device settings that do not belong to a pattern, kept in
// "global.dat" in the data directory.
//
// Every value is a sequentially consistent atomic: the audio, MIDI and main
// threads read them without a lock. get() and set() are thread-safe and
// real-time-safe; load and save do file I/O and run on the main thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

struct GlobalSettingInfo {
  const char* name;
  int32_t min;
  int32_t max;
};

class GlobalSettings {
 public:
  enum Index : uint32_t {
    kTempoLock = 0,
    kKnobMode = 1,
    kMasterVolume = 2,
    kTubeGain = 3,
    kPatternChangeGrid = 4,
    kShowTips = 5,
    kPreviewSounds = 6,
    kNativeMode = 7,
    kBackgroundAudioEnabled = 8,
  };
  static constexpr uint32_t kCount = 9;
  static constexpr uint32_t kFileVersion = 6;
  static const GlobalSettingInfo kInfo[kCount];

  // `dataDirectory` holds "global.dat"; `documentsDirectory` is where an
  // older layout kept "gbx_global.dat". Moves the older file, sets the
  // defaults, then loads.
  GlobalSettings(std::filesystem::path dataDirectory, std::filesystem::path documentsDirectory);

  int32_t get(int32_t index) const;
  void set(uint32_t index, int32_t value);
  static std::string name(uint32_t index);
  std::string valueText(int32_t index) const;
  static std::string valueTextFor(uint32_t index, uint32_t value);

  void loadGlobalSettings();
  // True when the whole file reached the disk; a failed save keeps the old file.
  bool saveGlobalSettings();
  void migrateGlobalSettingsFile();

  std::filesystem::path path() const { return dataDirectory_ / "global.dat"; }

 private:
  void setDefaults();

  std::filesystem::path dataDirectory_;
  std::filesystem::path documentsDirectory_;
  std::array<std::atomic<int32_t>, kCount> values_{};
};

// The one instance, reachable from every subsystem; nullptr outside start-up
// to termination.
GlobalSettings* globalSettings();
GlobalSettings* createGlobalSettings(const std::filesystem::path& dataDirectory,
                                     const std::filesystem::path& documentsDirectory);
void destroyGlobalSettings();
