#include "library/pattern_indices_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "library/keyed_archive.h"
#include "library/pattern_name_creator.h"
#include "platform/foundation/atomic_file.h"

namespace {

constexpr const char* kEntryClass = "PatternBibliographicInformation";

int compareCaseInsensitive(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// The text in quotes, shortened, with every byte that is not printable
// ASCII written as \xNN: it may be anything a hostile file holds.
std::string quotedForMessage(std::string_view text) {
  constexpr size_t kShown = 64;
  std::string out = "\"";
  for (unsigned char c : text.substr(0, kShown)) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  out += text.size() > kShown ? "\"..." : "\"";
  return out;
}

}  // namespace

std::string tagText(const char* field, size_t size) {
  const void* end = std::memchr(field, 0, size);
  return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

std::string PatternBibliographicInformation::patternBpm() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%3d.%1d", static_cast<int>(tempo_ / 10), static_cast<int>(tempo_ % 10));
  return buf;
}

void PatternBibliographicInformation::fillFrom(const PatternRecord& record) {
  name_ = tagText(record.tagParams.name, sizeof record.tagParams.name);
  author_ = tagText(record.tagParams.author, sizeof record.tagParams.author);
  tags_ = tagText(record.tagParams.tags, sizeof record.tagParams.tags);
  tempo_ = record.sequencerParams.tempo;
}

int PatternBibliographicInformation::sortByName(const PatternBibliographicInformation& o) const {
  return compareCaseInsensitive(name_, o.name_);
}
int PatternBibliographicInformation::sortByAuthor(const PatternBibliographicInformation& o) const {
  return compareCaseInsensitive(author_, o.author_);
}
int PatternBibliographicInformation::sortByTags(const PatternBibliographicInformation& o) const {
  return compareCaseInsensitive(tags_, o.tags_);
}
int PatternBibliographicInformation::sortByFavorite(const PatternBibliographicInformation& o) const {
  if (favorite_ == o.favorite_) return 0;
  return favorite_ < o.favorite_ ? -1 : 1;
}

const PatternBibliographicInformation* PatternIndicesTable::clamped(uint64_t index) const {
  if (!table_ || table_->empty()) return nullptr;
  return &(*table_)[std::min<uint64_t>(index, table_->size() - 1)];
}

std::string PatternIndicesTable::patternName(uint64_t index) const {
  const auto* e = clamped(index);
  return e ? e->patternName() : std::string();
}
std::string PatternIndicesTable::patternAuthor(uint64_t index) const {
  const auto* e = clamped(index);
  return e ? e->patternAuthor() : std::string();
}
std::string PatternIndicesTable::patternTags(uint64_t index) const {
  const auto* e = clamped(index);
  return e ? e->patternTags() : std::string();
}
std::string PatternIndicesTable::patternBPM(uint64_t index) const {
  const auto* e = clamped(index);
  return e ? e->patternBpm() : std::string();
}
std::string PatternIndicesTable::patternId(uint64_t index) const {
  const auto* e = clamped(index);
  return e ? e->identifier() : std::string();
}

const PatternBibliographicInformation* PatternIndicesTable::entryAt(int64_t index) const {
  if (!table_ || index < 0 || static_cast<uint64_t>(index) >= table_->size()) return nullptr;
  return &(*table_)[static_cast<size_t>(index)];
}

void PatternIndicesTable::add(const PatternRecord& record, const std::string& identifier) {
  if (!table_) resetTable();
  PatternBibliographicInformation e;
  e.setIdentifier(identifier);
  e.fillFrom(record);
  e.setFavorite(table_->size());
  table_->push_back(std::move(e));
}

void PatternIndicesTable::add(const std::string& name, const std::string& author, const std::string& tags,
                              int32_t tempo) {
  if (!table_) resetTable();
  PatternBibliographicInformation e;
  e.setPatternName(name);
  e.setPatternAuthor(author);
  e.setPatternTags(tags);
  e.setPatternTempo(tempo);
  e.setFavorite(table_->size());
  table_->push_back(std::move(e));
}

void PatternIndicesTable::update(const PatternRecord& record, int64_t index) {
  if (!entryAt(index)) return;
  auto& e = (*table_)[static_cast<size_t>(index)];
  e.fillFrom(record);
  e.setFavorite(static_cast<uint64_t>(index));
}

void PatternIndicesTable::removeAt(int64_t index) {
  if (!entryAt(index)) return;
  table_->erase(table_->begin() + index);
}

void PatternIndicesTable::insert(int32_t insert, int32_t from) {
  if (!entryAt(insert) || !entryAt(from) || insert == from) return;
  auto& t = *table_;
  // Removing and re-inserting is the same as exchanging neighbours one by one.
  if (from < insert) std::rotate(t.begin() + from, t.begin() + from + 1, t.begin() + insert + 1);
  else std::rotate(t.begin() + insert, t.begin() + from, t.begin() + from + 1);
}

std::string PatternIndicesTable::renewIdentifier(int64_t index, const PatternRecord& record) {
  if (!entryAt(index)) return {};
  std::string id = Z31647PatternNameCreator::create(&record);
  (*table_)[static_cast<size_t>(index)].setIdentifier(id);
  return id;
}

void PatternIndicesTable::resetTable() {
  table_.emplace();
  table_->reserve(128);
}

std::vector<uint8_t> PatternIndicesTable::archivedBytes() const {
  std::vector<ArchivedObject> items;
  if (table_) {
    items.reserve(table_->size());
    for (const auto& e : *table_)
      items.push_back(ArchivedObject::makeObject(kEntryClass, {{"identifier", ArchivedObject::makeString(e.identifier())}}));
  }
  return keyedArchive(ArchivedObject::makeArray(std::move(items)));
}

bool PatternIndicesTable::storeTableAt(const std::filesystem::path& path, std::string* error) const {
  return platform::writeFileAtomically(path, archivedBytes(), error);
}

bool PatternIndicesTable::loadTableFrom(const std::filesystem::path& path, std::string* error) {
  auto bytes = platform::readFile(path);
  if (!bytes) {
    table_.reset();
    if (error) *error = "cannot read " + path.string();
    return false;
  }
  std::string why;
  const bool ok = loadTableFromBytes(*bytes, &why);
  if (!ok && error) *error = path.string() + ": " + why;
  return ok;
}

bool PatternIndicesTable::loadTableFromBytes(std::span<const uint8_t> bytes, std::string* error) {
  table_.reset();
  std::string why;
  auto root = keyedUnarchive(bytes, &why);
  auto fail = [&](const std::string& reason) {
    if (error) *error = reason;
    return false;
  };
  if (!root) return fail(why);
  if (root->kind != ArchivedObject::Kind::Array) return fail("the archive's root is not an array");
  std::vector<PatternBibliographicInformation> entries;
  entries.reserve(std::max<size_t>(root->items.size(), 128));
  for (const ArchivedObject& item : root->items) {
    const ArchivedObject* id = item.kind == ArchivedObject::Kind::Object ? item.field("identifier") : nullptr;
    if (!id || id->kind != ArchivedObject::Kind::String)
      return fail("an entry of the archive has no identifier text");
    if (!isPatternIdentifier(id->string))
      return fail("entry " + std::to_string(entries.size()) + " of the archive names " + quotedForMessage(id->string) +
                  ", which is not an identifier (decimal digits)");
    PatternBibliographicInformation e;
    e.setIdentifier(id->string);
    entries.push_back(std::move(e));
  }
  table_ = std::move(entries);
  return true;
}

namespace {
template <typename Cmp>
void sortTable(std::optional<std::vector<PatternBibliographicInformation>>& table, Cmp cmp) {
  if (!table) return;
  std::stable_sort(table->begin(), table->end(), [&](const auto& a, const auto& b) { return cmp(a, b) < 0; });
}
}  // namespace

void PatternIndicesTable::sortByName() {
  sortTable(table_, [](const auto& a, const auto& b) { return a.sortByName(b); });
}
void PatternIndicesTable::sortByAuthor() {
  sortTable(table_, [](const auto& a, const auto& b) { return a.sortByAuthor(b); });
}
void PatternIndicesTable::sortByTags() {
  sortTable(table_, [](const auto& a, const auto& b) { return a.sortByTags(b); });
}
void PatternIndicesTable::sortByFavorite() {
  sortTable(table_, [](const auto& a, const auto& b) { return a.sortByFavorite(b); });
}
