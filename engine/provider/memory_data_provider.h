#pragma once
// A pattern provider that keeps everything in memory: for tests, tools and
// running the engine without a pattern library.
//
// Not thread-safe except numberOfPatterns(), which reads an atomic and may
// be called from the audio thread.

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/interfaces/data_provider.h"

class MemoryDataProvider : public DataProvider {
 public:
  explicit MemoryDataProvider(int32_t numberOfBanks = 1);

  PatternRecord patternAt(int32_t index) override;
  PatternRecord patternAt(int32_t slot, int32_t bank) override;
  int32_t numberOfPatterns() override { return count_.load(std::memory_order_relaxed); }
  int32_t numberOfBanks() override { return numberOfPatterns() / kPatternsPerBank; }
  int32_t numberOfPatternsInBank(int32_t bank) override;
  void initializePattern(int32_t slot, int32_t bank) override;
  void movePatterns(int32_t fromSlot, int32_t fromBank, int32_t toSlot, int32_t toBank) override;
  bool storePattern(const PatternRecord& record, int32_t slot, int32_t bank) override;
  bool storePattern(const PatternRecord& record, int32_t index) override;
  bool storeTagInfo(const PatternRecord& record, int32_t slot, int32_t bank) override;
  bool storeTagInfo(const PatternRecord& record, int32_t index) override;
  int32_t indexOf(int32_t slot, int32_t bank) override { return bank * kPatternsPerBank + slot; }
  void slotAndBankOf(int32_t index, int32_t* slot, int32_t* bank) override;
  std::string columnText(int32_t index, int32_t column) override;
  bool editBufferExists() override { return editBuffer_.has_value(); }
  void loadEditBuffer(PatternRecord* record, int32_t* index) override;
  void storeEditBuffer(const PatternRecord& record, int32_t index) override;
  void removeEditBuffer() override { editBuffer_.reset(); }
  void initPattern(PatternRecord* record) override { *record = init_; }
  void setLibraryObserver(PatternLibraryObserver* observer) override { observer_ = observer; }
  // Replaces every pattern (a restore, a factory reset) by `banks` banks of
  // copies of `record`.
  void replacePatterns(const PatternRecord& record, int32_t banks);

 private:
  bool valid(int32_t index) const { return index >= 0 && static_cast<size_t>(index) < patterns_.size(); }

  PatternRecord init_;
  // Read by posting threads (a MIDI program change fetches its record), so
  // guarded; observers are told outside it.
  std::mutex mutex_;
  std::vector<PatternRecord> patterns_;
  std::atomic<int32_t> count_;
  std::optional<std::pair<PatternRecord, int32_t>> editBuffer_;
  PatternLibraryObserver* observer_ = nullptr;
};
