#include "engine/provider/memory_data_provider.h"

#include <cstdio>
#include <cstring>

#include "engine/record/init_pattern.h"

MemoryDataProvider::MemoryDataProvider(int32_t numberOfBanks)
    : init_(makeInitPattern()),
      patterns_(static_cast<size_t>(numberOfBanks > 0 ? numberOfBanks : 0) * kPatternsPerBank, init_),
      count_(static_cast<int32_t>(patterns_.size())) {}

PatternRecord MemoryDataProvider::patternAt(int32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  return valid(index) ? patterns_[static_cast<size_t>(index)] : init_;
}

PatternRecord MemoryDataProvider::patternAt(int32_t slot, int32_t bank) { return patternAt(indexOf(slot, bank)); }

int32_t MemoryDataProvider::numberOfPatternsInBank(int32_t bank) {
  return (bank >= 0 && bank < numberOfBanks()) ? kPatternsPerBank : 0;
}

void MemoryDataProvider::initializePattern(int32_t slot, int32_t bank) {
  const int32_t i = indexOf(slot, bank);
  storePattern(init_, i);  // checks the number
}

void MemoryDataProvider::movePatterns(int32_t fromSlot, int32_t fromBank, int32_t toSlot, int32_t toBank) {
  const int32_t from = indexOf(fromSlot, fromBank);
  const int32_t to = indexOf(toSlot, toBank);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid(from) || !valid(to) || from == to) return;
    const PatternRecord moving = patterns_[static_cast<size_t>(from)];
    patterns_.erase(patterns_.begin() + from);
    patterns_.insert(patterns_.begin() + to, moving);
  }
  if (observer_) observer_->libraryMovedPattern(from, to);
}

void MemoryDataProvider::replacePatterns(const PatternRecord& record, int32_t banks) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    patterns_.assign(static_cast<size_t>(banks > 0 ? banks : 0) * kPatternsPerBank, record);
    count_.store(static_cast<int32_t>(patterns_.size()), std::memory_order_relaxed);
  }
  if (observer_) observer_->libraryReplacedPatterns();
}

bool MemoryDataProvider::storePattern(const PatternRecord& record, int32_t slot, int32_t bank) {
  return storePattern(record, indexOf(slot, bank));
}

bool MemoryDataProvider::storePattern(const PatternRecord& record, int32_t index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid(index)) return false;
    patterns_[static_cast<size_t>(index)] = record;
  }
  if (observer_) observer_->libraryStoredPattern(index);
  return true;
}

bool MemoryDataProvider::storeTagInfo(const PatternRecord& record, int32_t slot, int32_t bank) {
  return storeTagInfo(record, indexOf(slot, bank));
}

bool MemoryDataProvider::storeTagInfo(const PatternRecord& record, int32_t index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid(index)) return false;
    patterns_[static_cast<size_t>(index)].tagParams = record.tagParams;
  }
  if (observer_) observer_->libraryStoredPattern(index);
  return true;
}

void MemoryDataProvider::slotAndBankOf(int32_t index, int32_t* slot, int32_t* bank) {
  if (slot) *slot = index % kPatternsPerBank;
  if (bank) *bank = index / kPatternsPerBank;
}

std::string MemoryDataProvider::columnText(int32_t index, int32_t column) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!valid(index)) return {};
  const PatternRecord& r = patterns_[static_cast<size_t>(index)];
  auto field = [](const char* s, size_t n) { return std::string(s, strnlen(s, n)); };
  switch (column) {
    case 0: {
      char label[16];
      std::snprintf(label, sizeof label, "%03d", index + 1);
      return label;
    }
    case 1: return field(r.tagParams.name, sizeof r.tagParams.name);
    case 2: return field(r.tagParams.author, sizeof r.tagParams.author);
    case 3: return field(r.tagParams.tags, sizeof r.tagParams.tags);
    case 4: return std::to_string(r.sequencerParams.tempo / 10);
    default: return {};
  }
}

void MemoryDataProvider::loadEditBuffer(PatternRecord* record, int32_t* index) {
  if (!editBuffer_) return;
  if (record) *record = editBuffer_->first;
  if (index) *index = editBuffer_->second;
}

void MemoryDataProvider::storeEditBuffer(const PatternRecord& record, int32_t index) {
  editBuffer_ = std::make_pair(record, index);
}
