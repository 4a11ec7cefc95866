#pragma once
// Where the engine fetches and stores pattern records without knowing where
// they live. The pattern store implements it; tests use MemoryDataProvider.
//
// Threads: numberOfPatterns() must be safe to call from the audio thread.
// Everything else runs on the thread that asks (never the audio thread: a
// pending pattern change is fetched when it is queued).

#include <cstdint>
#include <string>

#include "engine/interfaces/pattern_library_observer.h"
#include "engine/record/pattern_record.h"

class DataProvider {
 public:
  // A complete record always; the init pattern when the pattern cannot be read.
  virtual PatternRecord patternAt(int32_t index) = 0;
  virtual PatternRecord patternAt(int32_t slot, int32_t bank) = 0;
  virtual int32_t numberOfPatterns() = 0;
  virtual int32_t numberOfBanks() = 0;
  virtual int32_t numberOfPatternsInBank(int32_t bank) = 0;
  virtual void initializePattern(int32_t slot, int32_t bank) = 0;
  virtual void movePatterns(int32_t fromSlot, int32_t fromBank, int32_t toSlot, int32_t toBank) = 0;
  virtual bool storePattern(const PatternRecord& record, int32_t slot, int32_t bank) = 0;
  virtual bool storePattern(const PatternRecord& record, int32_t index) = 0;
  virtual bool storeTagInfo(const PatternRecord& record, int32_t slot, int32_t bank) = 0;
  virtual bool storeTagInfo(const PatternRecord& record, int32_t index) = 0;
  virtual int32_t indexOf(int32_t slot, int32_t bank) = 0;
  virtual void slotAndBankOf(int32_t index, int32_t* slot, int32_t* bank) = 0;
  // Column 0-4 of the pattern's row in the library; empty for another column.
  virtual std::string columnText(int32_t index, int32_t column) = 0;
  virtual bool editBufferExists() = 0;
  virtual void loadEditBuffer(PatternRecord* record, int32_t* index) = 0;
  virtual void storeEditBuffer(const PatternRecord& record, int32_t index) = 0;
  virtual void removeEditBuffer() = 0;
  // Overwrites the whole record, header included, with the init pattern.
  virtual void initPattern(PatternRecord* record) = 0;
  // Who hears of saves, inits, moves and replacements (the engine; null:
  // nobody). A provider that never changes its patterns may ignore it.
  virtual void setLibraryObserver(PatternLibraryObserver* /*observer*/) {}
  virtual ~DataProvider() = default;
};

inline constexpr int32_t kPatternsPerBank = 32;
