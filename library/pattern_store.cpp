#include "library/pattern_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "engine/record/init_pattern.h"
#include "library/library_writes.h"
#include "library/pattern_file.h"
#include "library/pattern_name_creator.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kFirstUserBank = 9;
constexpr int32_t kLastUserBank = 12;

// The regular files of a folder by name, bytewise, so that a rebuilt table
// numbers the same files the same way on every machine. Hidden names (our
// own temporary files among them) are not patterns.
std::vector<std::string> patternFileNames(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code sec;
    if (!it->is_regular_file(sec)) continue;
    std::string name = it->path().filename().string();
    if (isPlainIdentifier(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder beside `target` to build a replacement in.
std::optional<fs::path> makeSiblingTempDir(const fs::path& target, const char* tag) {
  std::string tmpl = (target.parent_path() / ("." + target.filename().string() + tag + "XXXXXX")).string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) return std::nullopt;
  return fs::path(buf.data());
}

}  // namespace

Z31647PatternStore& Z31647PatternStore::getInstance() {
  static Z31647PatternStore* instance = new Z31647PatternStore();
  return *instance;
}

Z31647PatternStore::Z31647PatternStore() { table_.resetTable(); }

void Z31647PatternStore::setNotificationHandler(NotificationHandler handler) {
  std::lock_guard lock(callbackMutex_);
  notify_ = std::move(handler);
}

void Z31647PatternStore::setReporter(Reporter reporter) {
  std::lock_guard lock(callbackMutex_);
  reporter_ = std::move(reporter);
}

void Z31647PatternStore::setEditBufferNumberAccess(EditBufferNumberAccess access) {
  std::lock_guard lock(callbackMutex_);
  editBufferNumber_ = std::move(access);
}

void Z31647PatternStore::report(const std::string& problem) {
  std::lock_guard lock(callbackMutex_);
  problems_.push_back(problem);
  if (reporter_) reporter_(problem);
  else std::fprintf(stderr, "igroovebix: pattern library: %s\n", problem.c_str());
}

bool Z31647PatternStore::writeRefused(const std::string& what) {
  const std::optional<std::string> refusal = LibraryWrites::refusal();
  if (refusal) report(what + ": " + *refusal);
  return refusal.has_value();
}

void Z31647PatternStore::post(const char* name, platform::Dictionary userInfo) {
  NotificationHandler handler;
  {
    std::lock_guard lock(callbackMutex_);
    handler = notify_;
  }
  if (handler) handler(name, userInfo);
}

void Z31647PatternStore::setLibraryObserver(PatternLibraryObserver* observer) {
  std::lock_guard lock(callbackMutex_);
  libraryObserver_ = observer;
}

PatternLibraryObserver* Z31647PatternStore::libraryObserver() const {
  std::lock_guard lock(callbackMutex_);
  return libraryObserver_;
}

std::vector<std::string> Z31647PatternStore::problems() const {
  std::lock_guard lock(callbackMutex_);
  return problems_;
}

PatternIndicesTable Z31647PatternStore::indicesTable() const {
  std::lock_guard lock(mutex_);
  return table_;
}

void Z31647PatternStore::publishCount() { count_.store(table_.numberOfPatterns(), std::memory_order_relaxed); }

std::optional<fs::path> Z31647PatternStore::patternPath(const std::string& identifier) const {
  if (!isPlainIdentifier(identifier)) return std::nullopt;
  auto dir = Utilities::applicationPatternDirectory();
  if (!dir) return std::nullopt;
  return *dir / identifier;
}

// ---------------------------------------------------------------------------
// Reading

const PatternRecord& Z31647PatternStore::initPatternLocked() {
  if (initPattern_) return *initPattern_;
  const fs::path path = Utilities::bundleResourcePath() / "iGROOVEBIX_initPattern.dat";
  PatternRecord record = makeInitPattern();
  auto bytes = platform::readFile(path);
  if (!bytes) {
    report("cannot read the init pattern " + path.string() + "; a built-in one stands in");
  } else if (readPatternRecord(*bytes, &record) == kPatternFileUnusable) {
    report("the init pattern " + path.string() + " has " + std::to_string(bytes->size()) +
           " bytes, not a pattern; a built-in one stands in");
  }
  clampPatternRecord(&record);
  initPattern_ = record;
  return *initPattern_;
}

std::optional<PatternRecord> Z31647PatternStore::readPatternFileLocked(const std::string& identifier) {
  auto path = patternPath(identifier);
  if (!path) {
    report("the index table names \"" + identifier + "\", which is not a plain file name; the init pattern stands in");
    return std::nullopt;
  }
  std::error_code ec;
  if (!fs::exists(*path, ec)) return std::nullopt;
  auto bytes = platform::readFile(*path);
  PatternRecord record = PatternRecord::zeroed();
  if (!bytes || readPatternRecord(*bytes, &record) == kPatternFileUnusable) {
    report("pattern file " + path->string() + " is unreadable (" +
           (bytes ? std::to_string(bytes->size()) + " bytes" : std::string("cannot be read")) +
           "); the init pattern stands in");
    return std::nullopt;
  }
  if (clampPatternRecord(&record)) report("pattern file " + path->string() + " holds values out of range; clamped");
  return record;
}

void Z31647PatternStore::refreshAllLocked() {
  records_.clear();
  const int32_t n = table_.numberOfPatterns();
  for (int32_t i = 0; i < n; ++i) {
    const std::string id = table_.patternId(static_cast<uint64_t>(i));
    if (!records_.count(id)) {
      if (auto r = readPatternFileLocked(id)) records_.emplace(id, *r);
    }
    auto it = records_.find(id);
    table_.update(it != records_.end() ? it->second : initPatternLocked(), i);
  }
  publishCount();
}

PatternRecord Z31647PatternStore::patternAt(int32_t index) {
  std::lock_guard lock(mutex_);
  if (table_.numberOfPatterns() == 0) return initPatternLocked();
  // The table reads a number past the end as its last entry.
  const std::string id = table_.patternId(static_cast<uint64_t>(static_cast<int64_t>(index)));
  auto it = records_.find(id);
  return it != records_.end() ? it->second : initPatternLocked();
}

PatternRecord Z31647PatternStore::patternAt(int32_t slot, int32_t bank) { return patternAt(indexOf(slot, bank)); }

void Z31647PatternStore::initPattern(PatternRecord* record) {
  std::lock_guard lock(mutex_);
  *record = initPatternLocked();
}

int32_t Z31647PatternStore::numberOfBanks() {
  const int32_t n = numberOfPatterns();
  return n / kPatternsPerBank + (n % kPatternsPerBank != 0 ? 1 : 0);
}

int32_t Z31647PatternStore::numberOfPatternsInBank(int32_t bank) {
  const int32_t rest = numberOfPatterns() - bank * kPatternsPerBank;
  return rest > kPatternsPerBank - 1 ? kPatternsPerBank : rest;
}

void Z31647PatternStore::slotAndBankOf(int32_t index, int32_t* slot, int32_t* bank) {
  *slot = index % kPatternsPerBank;
  *bank = index / kPatternsPerBank;
}

std::string Z31647PatternStore::columnText(int32_t n, int32_t column) {
  if (column == 0) {
    if (n < 0) return {};
    char buf[32];
    const int number = n % kPatternsPerBank + 1;
    if (n < 64) std::snprintf(buf, sizeof buf, "%c%02d     [FACT]", 'A' + n / 32, number);
    else if (n < 256) std::snprintf(buf, sizeof buf, "%c%02d     [GQ-1]", 'A' + ((n + 192) / 32) % 8, number);
    else if (n < 288) std::snprintf(buf, sizeof buf, "%c%02d     [TEMP]", 'A', number);
    else std::snprintf(buf, sizeof buf, "%c%02d     [USER]", static_cast<char>('A' + (n / 32 - 9)), number);
    return buf;
  }
  std::lock_guard lock(mutex_);
  const auto i = static_cast<uint64_t>(static_cast<int64_t>(n));
  switch (column) {
    case 1: return table_.patternName(i);
    case 2: return table_.patternAuthor(i);
    case 3: return table_.patternTags(i);
    case 4: return table_.patternBPM(i);
    default: return {};
  }
}

// ---------------------------------------------------------------------------
// Storing

bool Z31647PatternStore::storePatternLocked(const PatternRecord& record, int32_t index) {
  if (!table_.entryAt(index)) {
    report("cannot store pattern " + std::to_string(index) + ": there is no such pattern number");
    return false;
  }
  if (writeRefused("cannot store pattern " + std::to_string(index))) return false;
  std::string id = table_.patternId(static_cast<uint64_t>(index));
  bool renewed = false;
  if (!isPlainIdentifier(id)) {
    // Never write under a name that could leave the pattern directory.
    id = table_.renewIdentifier(index, record);
    renewed = true;
  }
  auto path = patternPath(id);
  std::string error;
  if (!path || !writePatternFile(*path, record, &error)) {
    report("cannot store pattern " + std::to_string(index) + ": " + (path ? error : "no pattern directory"));
    return false;
  }
  PatternRecord kept = record;
  kept.versionParams.dataVersion = Version::dataVersion();
  kept.versionParams.allowableDevice = Version::allowableDevice();
  clampPatternRecord(&kept);
  records_.insert_or_assign(id, kept);
  table_.update(record, index);
  if (renewed) storeIndexTableLocked();
  return true;
}

bool Z31647PatternStore::storePattern(const PatternRecord& record, int32_t index) {
  bool ok;
  {
    std::lock_guard lock(mutex_);
    ok = storePatternLocked(record, index);
  }
  if (!ok) return false;
  if (PatternLibraryObserver* o = libraryObserver()) o->libraryStoredPattern(index);
  post(kPatternStorePatternStored, {{"patternNumber", platform::Value(index)}});
  return ok;
}

bool Z31647PatternStore::storePattern(const PatternRecord& record, int32_t slot, int32_t bank) {
  return storePattern(record, indexOf(slot, bank));
}

void Z31647PatternStore::initializePattern(int32_t slot, int32_t bank) {
  if (bank < kFirstUserBank || bank > kLastUserBank) return;
  const int32_t index = indexOf(slot, bank);
  PatternRecord record;
  initPattern(&record);
  // Observers are told twice, as they always have been; neither time when
  // nothing was written.
  if (storePattern(record, index)) post(kPatternStorePatternStored, {{"patternNumber", platform::Value(index)}});
}

bool Z31647PatternStore::storeTagInfo(const PatternRecord& record, int32_t index) {
  {
    std::lock_guard lock(mutex_);
    if (!table_.entryAt(index)) {
      report("cannot store the name and tags of pattern " + std::to_string(index) + ": there is no such pattern number");
      return false;
    }
    if (writeRefused("cannot store the name and tags of pattern " + std::to_string(index))) return false;
    std::string id = table_.patternId(static_cast<uint64_t>(index));
    bool renewed = false;
    if (!isPlainIdentifier(id)) {
      id = table_.renewIdentifier(index, record);
      renewed = true;
    }
    const auto where = patternPath(id);
    if (!where) {
      report("cannot store the name and tags of pattern " + std::to_string(index) + ": no pattern directory");
      return false;
    }
    const fs::path path = *where;
    std::error_code ec;
    PatternRecord updated = PatternRecord::zeroed();
    bool ok;
    std::string error;
    if (fs::exists(path, ec)) {
      // Only the texts change; every other byte of the file, header
      // included, stays as it is on disk.
      auto bytes = platform::readFile(path);
      const PatternFileVersion version =
          bytes ? readPatternRecord(*bytes, &updated) : kPatternFileUnusable;
      if (version == kPatternFileUnusable) {
        // An unreadable file is left for the user to recover, not overwritten.
        report("cannot store the name and tags of pattern " + std::to_string(index) + ": " + path.string() +
               " is unreadable");
        return false;
      }
      updated.tagParams = record.tagParams;
      ok = version == kPatternFileCurrent ? platform::writeFileAtomically(path, updated.toBytes(), &error)
                                          : writePatternFile(path, updated, &error);
    } else {
      // The pattern plays as the init pattern while its file is missing; the
      // texts are kept by writing that pattern with them, so they survive
      // the next load.
      updated = initPatternLocked();
      updated.tagParams = record.tagParams;
      ok = writePatternFile(path, updated, &error);
      updated.versionParams.dataVersion = Version::dataVersion();
      updated.versionParams.allowableDevice = Version::allowableDevice();
    }
    if (!ok) {
      report("cannot store the name and tags of pattern " + std::to_string(index) + ": " + error);
      return false;
    }
    clampPatternRecord(&updated);
    records_.insert_or_assign(id, updated);
    table_.update(record, index);
    if (renewed) storeIndexTableLocked();
  }
  // The texts are part of the record a waiting change will load.
  if (PatternLibraryObserver* o = libraryObserver()) o->libraryStoredPattern(index);
  post(kPatternStorePatternTagStored, {{"patternNumber", platform::Value(index)}});
  return true;
}

bool Z31647PatternStore::storeTagInfo(const PatternRecord& record, int32_t slot, int32_t bank) {
  return storeTagInfo(record, indexOf(slot, bank));
}

void Z31647PatternStore::movePatterns(int32_t fromSlot, int32_t fromBank, int32_t toSlot, int32_t toBank) {
  const int32_t from = indexOf(fromSlot, fromBank);
  int32_t to = indexOf(toSlot, toBank);
  if (fromBank < toBank) to -= 1;
  {
    std::lock_guard lock(mutex_);
    if (!table_.entryAt(from) || !table_.entryAt(to)) {
      report("cannot move pattern " + std::to_string(from) + " to " + std::to_string(to) + ": no such pattern number");
      return;
    }
    // The new order would live only in memory: nothing moves.
    if (writeRefused("cannot move pattern " + std::to_string(from) + " to " + std::to_string(to))) return;
    table_.insert(to, from);
    // A reorder is saved at once: otherwise a crash would lose it.
    storeIndexTableLocked();
  }
  if (PatternLibraryObserver* o = libraryObserver()) o->libraryMovedPattern(from, to);
  post(kPatternStorePatternOrderChanged,
       {{"range", platform::Value(platform::Dictionary{{"location", platform::Value(from)},
                                                        {"length", platform::Value(to)}})}});
}

// ---------------------------------------------------------------------------
// Edit buffer

bool Z31647PatternStore::editBufferExists() {
  auto path = Utilities::editBufferFilePath();
  std::error_code ec;
  return path && fs::exists(*path, ec);
}

void Z31647PatternStore::storeEditBuffer(const PatternRecord& record, int32_t index) {
  auto path = Utilities::editBufferFilePath();
  std::string error;
  if (!path || !platform::writeFileAtomically(*path, record.toBytes(), &error)) {
    report("cannot save the edit buffer: " + (path ? error : std::string("no data directory")));
    return;
  }
  std::function<void(int64_t)> set;
  {
    std::lock_guard lock(callbackMutex_);
    set = editBufferNumber_.set;
    if (!set) memoryEditBufferNumber_ = index;
  }
  if (set) set(index);
}

void Z31647PatternStore::loadEditBuffer(PatternRecord* record, int32_t* index) {
  auto path = Utilities::editBufferFilePath();
  std::optional<std::vector<uint8_t>> bytes;
  if (path) bytes = platform::readFile(*path);
  if (!bytes || bytes->size() != PatternRecord::kSize) {
    if (bytes) report("the edit buffer has " + std::to_string(bytes->size()) + " bytes; pattern 0 is loaded instead");
    *record = patternAt(0);
    *index = 0;
    return;
  }
  *record = PatternRecord::fromBytes(std::span<const uint8_t, PatternRecord::kSize>(bytes->data(), bytes->size()));
  if (clampPatternRecord(record)) report("the edit buffer holds values out of range; clamped");
  std::function<std::optional<int64_t>()> get;
  std::optional<int64_t> number;
  {
    std::lock_guard lock(callbackMutex_);
    get = editBufferNumber_.get;
    number = memoryEditBufferNumber_;
  }
  if (get) number = get();
  // The number must name the pattern the buffer came from: any pattern of
  // the library, never one past its end.
  const int64_t last = std::max<int64_t>(numberOfPatterns() - 1, 0);
  *index = static_cast<int32_t>(std::clamp<int64_t>(number.value_or(0), 0, last));
}

void Z31647PatternStore::removeEditBuffer() {
  auto path = Utilities::editBufferFilePath();
  std::error_code ec;
  if (path) fs::remove(*path, ec);
}

// ---------------------------------------------------------------------------
// Loading and installing

bool Z31647PatternStore::patternDirectoryExists() {
  auto dir = Utilities::applicationPatternDirectory();
  std::error_code ec;
  return dir && fs::is_directory(*dir, ec);
}

bool Z31647PatternStore::indexTableExists() {
  auto path = Utilities::applicationIndexTablePath();
  std::error_code ec;
  return path && fs::exists(*path, ec);
}

bool Z31647PatternStore::storeIndexTableLocked() {
  if (writeRefused("cannot save the index table")) return false;
  auto path = Utilities::applicationIndexTablePath();
  std::string error;
  if (!path || !table_.storeTableAt(*path, &error)) {
    report("cannot save the index table: " + (path ? error : std::string("no data directory")));
    return false;
  }
  return true;
}

bool Z31647PatternStore::storeIndexTable() {
  std::lock_guard lock(mutex_);
  return storeIndexTableLocked();
}

void Z31647PatternStore::upgradeLocked() {
  auto dir = Utilities::applicationPatternDirectory();
  // An older file reads converted all the same; it is rewritten by a start
  // that may write the library.
  if (!dir || LibraryWrites::refusal()) return;
  for (const std::string& name : patternFileNames(*dir)) {
    const fs::path path = *dir / name;
    std::error_code ec;
    if (fs::file_size(path, ec) != PatternRecord::kBodySize || ec) continue;
    auto bytes = platform::readFile(path);
    PatternRecord record = PatternRecord::zeroed();
    if (!bytes || readPatternRecord(*bytes, &record) != kPatternFileConverted) continue;
    std::string error;
    if (!writePatternFile(path, record, &error)) report("cannot convert the older pattern file " + path.string() + ": " + error);
  }
}

void Z31647PatternStore::upgradePatternFiles() {
  std::lock_guard lock(mutex_);
  upgradeLocked();
}

void Z31647PatternStore::rebuildLocked() {
  table_.resetTable();
  records_.clear();
  if (auto dir = Utilities::applicationPatternDirectory()) {
    for (const std::string& name : patternFileNames(*dir)) {
      std::error_code ec;
      if (fs::file_size(*dir / name, ec) != PatternRecord::kSize || ec) continue;
      auto record = readPatternFileLocked(name);
      if (!record) continue;
      table_.add(*record, name);
      records_.emplace(name, *record);
    }
  }
  publishCount();
}

void Z31647PatternStore::rebuildIndexTable() {
  {
    std::lock_guard lock(mutex_);
    rebuildLocked();
  }
  tellLibraryReplaced();
}

void Z31647PatternStore::tellLibraryReplaced() {
  if (PatternLibraryObserver* o = libraryObserver()) o->libraryReplacedPatterns();
}

void Z31647PatternStore::load() {
  loadTable();
  tellLibraryReplaced();
}

void Z31647PatternStore::loadTable() {
  {
    std::lock_guard lock(callbackMutex_);
    problems_.clear();
  }
  if (!patternDirectoryExists()) {
    installFactoryLibrary();
    return;
  }
  std::lock_guard lock(mutex_);
  upgradeLocked();
  auto tablePath = Utilities::applicationIndexTablePath();
  std::error_code ec;
  if (tablePath && fs::exists(*tablePath, ec)) {
    std::string error;
    if (table_.loadTableFrom(*tablePath, &error) && table_.numberOfPatterns() > 0) {
      refreshAllLocked();
      return;
    }
    report(error.empty() ? "the index table " + tablePath->string() + " is empty; rebuilt from the pattern files"
                         : "the index table is unreadable (" + error + "); rebuilt from the pattern files");
  }
  rebuildLocked();
}

bool Z31647PatternStore::installFactoryPatterns() {
  const bool installed = installFactoryLibrary();
  if (installed) tellLibraryReplaced();
  return installed;
}

bool Z31647PatternStore::installFactoryLibrary() {
  const fs::path bundle = Utilities::bundleResourcePath();
  const fs::path source = bundle / "patterns";
  const fs::path sourceTable = bundle / "patternIndicesTable.plist";
  auto dir = Utilities::applicationPatternDirectory();
  auto tablePath = Utilities::applicationIndexTablePath();
  if (writeRefused("cannot install the factory library")) return false;
  if (!dir || !tablePath) {
    report("cannot install the factory library: no data directory");
    return false;
  }
  std::error_code ec;
  if (!fs::is_directory(source, ec)) {
    report("cannot install the factory library: " + source.string() + " is missing");
    return false;
  }
  auto tableBytes = platform::readFile(sourceTable);
  PatternIndicesTable check;
  std::string error;
  if (!tableBytes || !check.loadTableFromBytes(*tableBytes, &error)) {
    report("cannot install the factory library: " + sourceTable.string() + " is " +
           (tableBytes ? "unreadable (" + error + ")" : std::string("missing")));
    return false;
  }

  std::lock_guard lock(mutex_);
  // The data directory is made on first use; it may have gone since.
  fs::create_directories(dir->parent_path(), ec);
  // Build the new library beside the old one, then swap: a copy that fails
  // part-way leaves the user's library as it was.
  auto staged = makeSiblingTempDir(*dir, ".install-");
  if (!staged) {
    report("cannot install the factory library: cannot create a folder beside " + dir->string());
    return false;
  }
  fs::copy(source, *staged, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  if (ec) {
    report("cannot install the factory library: copying " + source.string() + " failed: " + ec.message());
    fs::remove_all(*staged, ec);
    return false;
  }
  std::optional<fs::path> old;
  if (fs::exists(*dir, ec)) {
    old = makeSiblingTempDir(*dir, ".old-");
    if (!old) {
      report("cannot install the factory library: cannot set the old library aside");
      fs::remove_all(*staged, ec);
      return false;
    }
    fs::remove(*old, ec);
    fs::rename(*dir, *old, ec);
    if (ec) {
      report("cannot install the factory library: cannot set the old library aside: " + ec.message());
      fs::remove_all(*staged, ec);
      return false;
    }
  }
  auto restoreOld = [&] {
    std::error_code e;
    if (old) fs::rename(*old, *dir, e);
  };
  fs::rename(*staged, *dir, ec);
  if (ec) {
    report("cannot install the factory library: " + ec.message());
    restoreOld();
    fs::remove_all(*staged, ec);
    return false;
  }
  if (!platform::writeFileAtomically(*tablePath, *tableBytes, &error)) {
    report("cannot install the factory library's index table: " + error);
    std::error_code e;
    fs::rename(*dir, *staged, e);
    restoreOld();
    fs::remove_all(*staged, e);
    return false;
  }
  if (old) fs::remove_all(*old, ec);

  table_.loadTableFromBytes(*tableBytes);
  upgradeLocked();
  refreshAllLocked();
  return true;
}

template <typename F>
void Z31647PatternStore::sortAndSave(F sort) {
  // A sort renumbers: the engine's playing record and waiting changes must
  // follow their files, or the next save of the playing pattern would
  // overwrite whichever pattern took its old number.
  std::vector<int32_t> numberOf;
  {
    std::lock_guard lock(mutex_);
    // The new numbers would live only in memory: nothing is sorted.
    if (writeRefused("cannot sort the patterns")) return;
    std::unordered_map<std::string, int32_t> before;
    const int32_t count = table_.numberOfPatterns();
    for (int32_t i = 0; i < count; ++i) before.emplace(table_.patternId(i), i);
    sort(table_);
    storeIndexTableLocked();
    numberOf.resize(static_cast<size_t>(count));
    std::iota(numberOf.begin(), numberOf.end(), 0);
    for (int32_t i = 0; i < count; ++i) {
      auto it = before.find(table_.patternId(i));
      if (it != before.end()) numberOf[static_cast<size_t>(it->second)] = i;
    }
  }
  if (PatternLibraryObserver* o = libraryObserver()) o->libraryRenumberedPatterns(numberOf);
}

void Z31647PatternStore::sortByFavorite() {
  sortAndSave([](PatternIndicesTable& t) { t.sortByFavorite(); });
}
void Z31647PatternStore::sortByName() {
  sortAndSave([](PatternIndicesTable& t) { t.sortByName(); });
}
void Z31647PatternStore::sortByAuthor() {
  sortAndSave([](PatternIndicesTable& t) { t.sortByAuthor(); });
}
void Z31647PatternStore::sortByTags() {
  sortAndSave([](PatternIndicesTable& t) { t.sortByTags(); });
}
