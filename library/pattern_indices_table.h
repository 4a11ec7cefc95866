#pragma once
// The ordered list of all stored patterns: a pattern's number is its position
// here. Each entry names the pattern's file and caches its name, author, tags
// and tempo for the browser.
//
// Stored as the keyed archive "patternIndicesTable.plist" whose root is the
// array of entries, each encoding only "identifier"; the rest is refilled
// from the pattern files after every load.
//
// Not thread-safe: the pattern store guards its table.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/record/pattern_record.h"

class PatternBibliographicInformation {
 public:
  uint64_t favorite() const { return favorite_; }
  void setFavorite(uint64_t v) { favorite_ = v; }
  const std::string& patternName() const { return name_; }
  void setPatternName(std::string v) { name_ = std::move(v); }
  const std::string& patternAuthor() const { return author_; }
  void setPatternAuthor(std::string v) { author_ = std::move(v); }
  const std::string& patternTags() const { return tags_; }
  void setPatternTags(std::string v) { tags_ = std::move(v); }
  int64_t patternTempo() const { return tempo_; }
  void setPatternTempo(int64_t v) { tempo_ = v; }
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string v) { identifier_ = std::move(v); }
  // "%3d.%1d" of tempo / 10 and tempo % 10: 1205 gives "120.5", 905 " 90.5".
  std::string patternBpm() const;

  // Name, author, tags and tempo from the record.
  void fillFrom(const PatternRecord& record);

  // Case-insensitive comparisons (<0, 0, >0) and the favourite order.
  int sortByName(const PatternBibliographicInformation& other) const;
  int sortByAuthor(const PatternBibliographicInformation& other) const;
  int sortByTags(const PatternBibliographicInformation& other) const;
  int sortByFavorite(const PatternBibliographicInformation& other) const;

 private:
  uint64_t favorite_ = 0;
  std::string name_, author_, tags_;
  int64_t tempo_ = 0;
  std::string identifier_;
};

class PatternIndicesTable {
 public:
  // Readers by pattern number; a number past the end reads the last entry.
  // On an empty table they read empty texts (never an entry at -1).
  std::string patternName(uint64_t index) const;
  std::string patternAuthor(uint64_t index) const;
  std::string patternTags(uint64_t index) const;
  std::string patternBPM(uint64_t index) const;
  std::string patternId(uint64_t index) const;
  int32_t numberOfPatterns() const { return table_ ? static_cast<int32_t>(table_->size()) : 0; }
  // The entry itself; nullptr outside the table.
  const PatternBibliographicInformation* entryAt(int64_t index) const;
  bool hasTable() const { return table_.has_value(); }

  void add(const PatternRecord& record, const std::string& identifier);
  void add(const std::string& name, const std::string& author, const std::string& tags, int32_t tempo);
  // Refreshes an existing entry from the record (keeps its identifier);
  // favourite := index. Does nothing for an index outside the table.
  void update(const PatternRecord& record, int64_t index);
  void removeAt(int64_t index);
  // Moves the entry at `from` to position `insert`; out-of-range numbers do nothing.
  void insert(int32_t insert, int32_t from);
  // A fresh identifier for the entry, made from the record; the file stored
  // under the old identifier keeps its name. Empty for an index outside.
  std::string renewIdentifier(int64_t index, const PatternRecord& record);
  void resetTable();

  // The keyed archive of the table, and writing it atomically.
  std::vector<uint8_t> archivedBytes() const;
  bool storeTableAt(const std::filesystem::path& path, std::string* error = nullptr) const;
  // Replaces the table by the archive at `path`. A missing or unreadable file
  // leaves no table (count 0) and returns false with the reason.
  bool loadTableFrom(const std::filesystem::path& path, std::string* error = nullptr);
  bool loadTableFromBytes(std::span<const uint8_t> bytes, std::string* error = nullptr);

  void sortByName();
  void sortByAuthor();
  void sortByTags();
  void sortByFavorite();

 private:
  const PatternBibliographicInformation* clamped(uint64_t index) const;

  std::optional<std::vector<PatternBibliographicInformation>> table_;
};

// A text field of the record's tagParams, read up to its first zero byte and
// never past the field's end.
std::string tagText(const char* field, size_t size);
