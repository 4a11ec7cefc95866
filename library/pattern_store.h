#pragma once
// The one object through which the system reads and writes stored patterns:
// the engine's DataProvider over the pattern directory and the index table.
// It installs the factory library on first start, converts older pattern
// files, maps numbers to banks (32 a bank: 0-1 factory, 2-7 the GQ-1
// collection, 8 templates, 9-12 user), stores patterns with their name,
// author and tags, and keeps the edit buffer.
//
// Records are served from memory: every usable pattern file is read when the
// library loads and kept up to date by every store, so patternAt never
// touches the disk. Whatever a file holds is clamped into the engine's ranges
// before anyone sees it.
//
// Threads: numberOfPatterns() reads an atomic and is safe anywhere, the
// audio thread included. Every other operation takes the store's mutex and
// is meant for the main thread or the thread that prefetches a pending
// pattern (never the audio thread). Notifications are delivered on the
// calling thread after the mutex is released.

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/interfaces/data_provider.h"
#include "library/pattern_indices_table.h"
#include "platform/foundation/value.h"

inline constexpr const char* kPatternStorePatternStored = "PatternStorePatternStored";
inline constexpr const char* kPatternStorePatternTagStored = "PatternStorePatternTagStored";
inline constexpr const char* kPatternStorePatternOrderChanged = "PatternStorePatternOrderChanged";

class Z31647PatternStore : public DataProvider {
 public:
  // Receives every notification: its name and user info ("patternNumber", or
  // "range" as {"location", "length"}).
  using NotificationHandler = std::function<void(const std::string& name, const platform::Dictionary& userInfo)>;
  // Receives a sentence for every problem found in the library's files.
  using Reporter = std::function<void(const std::string& problem)>;
  // The user default "EditBufferPatternNumber": read (empty when absent) and write.
  struct EditBufferNumberAccess {
    std::function<std::optional<int64_t>()> get;
    std::function<void(int64_t)> set;
  };

  // The store of the whole run, created on first call and never deleted.
  static Z31647PatternStore& getInstance();

  // A store over the locations of Utilities and the bundle resource path.
  // Until an accessor is given, the edit-buffer number is kept in memory.
  Z31647PatternStore();

  void setNotificationHandler(NotificationHandler handler);
  void setReporter(Reporter reporter);
  void setEditBufferNumberAccess(EditBufferNumberAccess access);

  // DataProvider
  PatternRecord patternAt(int32_t index) override;
  PatternRecord patternAt(int32_t slot, int32_t bank) override;
  int32_t numberOfPatterns() override { return count_.load(std::memory_order_relaxed); }
  int32_t numberOfBanks() override;
  int32_t numberOfPatternsInBank(int32_t bank) override;
  void initializePattern(int32_t slot, int32_t bank) override;
  void movePatterns(int32_t fromSlot, int32_t fromBank, int32_t toSlot, int32_t toBank) override;
  bool storePattern(const PatternRecord& record, int32_t slot, int32_t bank) override;
  bool storePattern(const PatternRecord& record, int32_t index) override;
  bool storeTagInfo(const PatternRecord& record, int32_t slot, int32_t bank) override;
  bool storeTagInfo(const PatternRecord& record, int32_t index) override;
  int32_t indexOf(int32_t slot, int32_t bank) override { return slot + bank * kPatternsPerBank; }
  void slotAndBankOf(int32_t index, int32_t* slot, int32_t* bank) override;
  std::string columnText(int32_t index, int32_t column) override;
  bool editBufferExists() override;
  void loadEditBuffer(PatternRecord* record, int32_t* index) override;
  void storeEditBuffer(const PatternRecord& record, int32_t index) override;
  void removeEditBuffer() override;
  void initPattern(PatternRecord* record) override;
  // The engine hears of every save, init, move and replacement here, on the
  // calling thread, after the change and before the store's notifications.
  void setLibraryObserver(PatternLibraryObserver* observer) override;

  // Start-up: install the factory library when there is no pattern
  // directory; otherwise convert older files and load the index table,
  // rebuilding it from the files when it is missing, unreadable or empty.
  void load();
  // Replaces the whole library (user patterns included) by the bundle's. The
  // new library is copied into place before the old one is removed; when the
  // bundle's library is missing or cannot be copied nothing changes and the
  // result is false.
  bool installFactoryPatterns();
  // Rewrites every 29,312-byte pattern file in the current form.
  void upgradePatternFiles();
  // A new table from the pattern files of exactly 29,320 bytes, by name.
  void rebuildIndexTable();
  bool patternDirectoryExists();
  bool indexTableExists();
  // Writes the index table (atomically); false when it could not be written.
  bool storeIndexTable();
  // Every operation above that writes the library (stores, moves, sorts,
  // the factory install, the conversion of older files) is refused,
  // reported, while LibraryWrites refuses writes: nothing changes then, on
  // disk or in memory.

  // Sorting renumbers the patterns; each saves the table.
  void sortByFavorite();
  void sortByName();
  void sortByAuthor();
  void sortByTags();

  // A copy of the table as it is now.
  PatternIndicesTable indicesTable() const;
  // Every problem reported since the last load.
  std::vector<std::string> problems() const;

 private:
  std::optional<std::filesystem::path> patternPath(const std::string& identifier) const;
  std::optional<PatternRecord> readPatternFileLocked(const std::string& identifier);
  void refreshAllLocked();
  void rebuildLocked();
  void upgradeLocked();
  const PatternRecord& initPatternLocked();
  bool storePatternLocked(const PatternRecord& record, int32_t index);
  bool storeIndexTableLocked();
  void report(const std::string& problem);
  // Reports `what` with the reason when the library may not be written now
  // (see LibraryWrites).
  bool writeRefused(const std::string& what);
  void post(const char* name, platform::Dictionary userInfo);
  PatternLibraryObserver* libraryObserver() const;
  void tellLibraryReplaced();
  // load and installFactoryPatterns without telling the engine.
  void loadTable();
  bool installFactoryLibrary();
  void publishCount();
  template <typename F>
  void sortAndSave(F sort);

  mutable std::mutex mutex_;
  PatternIndicesTable table_;
  std::unordered_map<std::string, PatternRecord> records_;
  std::optional<PatternRecord> initPattern_;
  std::atomic<int32_t> count_{0};
  std::vector<std::string> problems_;

  mutable std::mutex callbackMutex_;
  NotificationHandler notify_;
  Reporter reporter_;
  EditBufferNumberAccess editBufferNumber_;
  PatternLibraryObserver* libraryObserver_ = nullptr;
  std::optional<int64_t> memoryEditBufferNumber_;
};
