#pragma once
// Pattern sets: a grid of 4 banks × 16 slots, each slot holding a pattern
// number, stored as "iGROOVEBIX_patternSet.plist" (an array of 64 integers,
// bank-major) in the data directory.
//
// The grid is a fixed table of atomics: the MIDI input thread looks slots up
// while the main thread may load or edit, so a look-up sees the old or the
// new number of a slot, never a torn or freed one. Edits and file work are
// main-thread only.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class PatternSetStore {
 public:
  static constexpr uint64_t kNumberOfBanks = 4;
  static constexpr uint64_t kNumberOfSlotsPerBank = 16;
  static constexpr size_t kNumberOfElements = kNumberOfBanks * kNumberOfSlotsPerBank;

  using Reporter = std::function<void(const std::string& problem)>;

  // The one store of the application, created on first call.
  static PatternSetStore& sharedInstance();
  // A separate store (tools and tests); it has no grid until a load.
  PatternSetStore();

  uint64_t numberOfBanks() const { return kNumberOfBanks; }
  uint64_t numberOfSlotsPerBank() const { return kNumberOfSlotsPerBank; }
  // Whether a grid is loaded; without one look-ups read 0 and edits do nothing.
  bool hasGrid() const { return size_.load(std::memory_order_acquire) > 0; }
  size_t count() const { return size_.load(std::memory_order_acquire); }

  // The number in slot + 16 × bank; 0 outside the grid. Safe on any thread.
  uint32_t patternIndex(int32_t slot, int32_t bank) const;
  bool exists(int32_t slot, int32_t bank) const;
  bool patternEqual(int32_t slot, int32_t bank, uint32_t number) const;
  bool patternEqual(int64_t element, uint32_t number) const;
  // Adds an element after the last one while the grid has room.
  void append(uint32_t number);
  void replace(int32_t slot, int32_t bank, uint32_t number);
  void replace(int64_t element, uint32_t number);

  static std::optional<std::filesystem::path> patternSetDataPath();
  static std::filesystem::path patternSetInitialDataPath();

  // loadFromPath(patternSetDataPath()).
  bool load();
  // Moves an older file from the documents folder to `path` when nothing is
  // there yet; reads `path`, or the bundle's grid when it does not exist.
  // What can be kept of a damaged file is kept: an array longer than 64 is
  // cut to 64, a shorter one is filled up from the bundle's grid, and an
  // element that is not a pattern number takes the bundle's number of its
  // slot (0 for all when the bundle's grid cannot be read). A file that is
  // not an array at all gives the bundle's grid. Either way it is reported,
  // and a copy of the file as it was is kept beside it
  // ("iGROOVEBIX_patternSet.plist.damaged", "-2", ... when taken) before
  // anything may overwrite it. False only when no grid is left.
  bool loadFromPath(const std::filesystem::path& path);
  // Writes the grid to patternSetDataPath() atomically; false when it could
  // not be written (the old file then stays), there is no grid, or
  // LibraryWrites refuses writes of the library.
  bool store();
  // The same to `path`. A damaged file loaded from `path` whose copy could
  // not be kept yet is copied first; while that fails nothing is written.
  bool storeToPath(const std::filesystem::path& path, std::string* error = nullptr);

  void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }

 private:
  using Grid = std::array<uint32_t, kNumberOfElements>;
  // The grid of a file, or empty with the reason. With `defaults`, what the
  // file lacks or holds wrongly is taken from them and `repaired` says what;
  // without, only a whole grid is read.
  static std::optional<Grid> readGrid(const std::filesystem::path& path, std::string* error,
                                      const Grid* defaults = nullptr, std::string* repaired = nullptr);
  // Copies the file at mustKeep_ beside it; true when kept (or none is due).
  bool keepDamagedFile();
  void setGrid(const Grid& grid);
  void report(const std::string& problem) const;
  static bool validElement(int64_t element) { return element >= 0 && element < static_cast<int64_t>(kNumberOfElements); }

  std::array<std::atomic<uint32_t>, kNumberOfElements> grid_{};
  std::atomic<size_t> size_{0};
  Reporter reporter_;
  // A damaged file that was loaded and whose copy is not kept yet.
  std::optional<std::filesystem::path> mustKeep_;
};
