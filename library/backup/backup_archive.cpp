#include "library/backup/backup_archive.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sstream>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/record/pattern_record.h"
#include "library/backup/backup_log.h"
#include "library/backup/zip_archive.h"
#include "library/pattern_indices_table.h"
#include "library/pattern_name_creator.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kIndexTableName = "patternIndicesTable.plist";
constexpr const char* kPatternSetName = "iGROOVEBIX_patternSet.plist";
constexpr const char* kPatternDirectoryName = "patterns";
constexpr size_t kPatternSetElements = 64;
constexpr const char* kJournalName = ".restore.journal";
constexpr const char* kJournalHeading = "igroovebix restore journal 2";
// The heading of a journal that names the new items only.
constexpr const char* kFirstJournalHeading = "igroovebix restore journal 1";
constexpr const char* kStagingPrefix = ".restore-";
constexpr const char* kLockName = ".library.lock";
// The most files an archive may unpack to: ten thousand is 24 times the
// 416 patterns the banks hold.
constexpr uint64_t kMaxRestoreEntries = 10000;
// The longest entry name (a path relative to the data directory) a restore
// takes.
constexpr size_t kMaxRestoreNameLength = 1024;

std::mutex gNameMutex;
std::optional<std::string> gDeviceName;
BackupFileNameCreator::Clock gClock;

std::mutex gLibraryMutex;
std::atomic<bool> gBusy{false};

std::mutex gHookMutex;
BackupArchive::StepHook gStepHook;
std::atomic<bool> gExchangeUnavailable{false};
std::optional<std::string> gFailingMove;
std::optional<std::string> gFailingLookup;

void step(const std::string& name) {
  BackupArchive::StepHook hook;
  {
    std::lock_guard<std::mutex> lock(gHookMutex);
    hook = gStepHook;
  }
  if (hook) hook(name);
}

void setError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// Holds the exclusion of backups and restores of one data directory, if
// free: within the process a mutex, between processes an flock on a lock
// file in the data directory (so a second instance can neither finish nor
// remove the swap of a running restore). The lock file goes when the lock
// is given up; whoever locks a file that is no longer under the name tries
// again, so two holders never lock two different files.
class LibraryLock {
 public:
  enum class State { Held, Busy, Failed, NoDirectory };

  explicit LibraryLock(const fs::path& dataDir) : lock_(gLibraryMutex, std::try_to_lock) {
    if (!lock_.owns_lock()) {
      state_ = State::Busy;
      return;
    }
    gBusy.store(true);
    path_ = dataDir / kLockName;
    for (int attempt = 0; attempt < 100; ++attempt) {
      fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (fd_ < 0) {
        state_ = errno == ENOENT ? State::NoDirectory : State::Failed;
        why_ = std::strerror(errno);
        return;
      }
      int rc;
      while ((rc = ::flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
      }
      if (rc != 0) {
        state_ = errno == EWOULDBLOCK ? State::Busy : State::Failed;
        why_ = std::strerror(errno);
        closeFd();
        return;
      }
      struct stat held {}, named {};
      if (::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
          held.st_dev == named.st_dev) {
        state_ = State::Held;
        return;
      }
      closeFd();  // its holder removed it meanwhile
    }
    state_ = State::Failed;
    why_ = "the lock file keeps changing";
  }
  ~LibraryLock() {
    if (state_ == State::Held) ::unlink(path_.c_str());
    closeFd();
    if (lock_.owns_lock()) gBusy.store(false);
  }
  LibraryLock(const LibraryLock&) = delete;
  LibraryLock& operator=(const LibraryLock&) = delete;

  State state() const { return state_; }
  bool owns() const { return state_ == State::Held; }
  // Why the lock is not held, for the caller's error.
  std::string refusal() const {
    if (state_ == State::Busy) return "busy: another backup or restore is running";
    return "cannot lock " + path_.string() + ": " + why_;
  }

 private:
  void closeFd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::unique_lock<std::mutex> lock_;
  fs::path path_;
  int fd_ = -1;
  State state_ = State::Failed;
  std::string why_;
};

bool isRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(p, ec));
}

bool isRealDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(p, ec));
}

void syncPath(const fs::path& p, int flags) {
  const int fd = ::open(p.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string firstComponent(const std::string& relative) {
  const size_t slash = relative.find('/');
  return slash == std::string::npos ? relative : relative.substr(0, slash);
}

// Collects the wrapper's last error text for the caller's message.
class ErrorCollector : public ZipArchiveDelegate {
 public:
  void ErrorMessage(const std::string& message) override { last = message; }
  std::string last;
};

}  // namespace

// ---------------------------------------------------------------------------
// Names

void BackupFileNameCreator::setDeviceName(std::optional<std::string> name) {
  std::lock_guard<std::mutex> lock(gNameMutex);
  gDeviceName = std::move(name);
}

void BackupFileNameCreator::setClock(Clock clock) {
  std::lock_guard<std::mutex> lock(gNameMutex);
  gClock = std::move(clock);
}

std::string BackupFileNameCreator::sanitizedName(std::string_view name) {
  std::string s;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7f)
      s += '-';
    else
      s += c;
  }
  const size_t first = s.find_first_not_of(" .");
  if (first == std::string::npos) return "iGROOVEBIX";
  s.erase(0, first);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (s.size() > 64) {
    size_t cut = 64;
    // Never end inside a multi-byte character.
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s.resize(cut);
    while (!s.empty() && s.back() == ' ') s.pop_back();
  }
  return s.empty() ? "iGROOVEBIX" : s;
}

std::string BackupFileNameCreator::dataBasename() {
  std::optional<std::string> configured;
  {
    std::lock_guard<std::mutex> lock(gNameMutex);
    configured = gDeviceName;
  }
  if (configured) return sanitizedName(*configured);
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return sanitizedName(host);
}

std::string BackupFileNameCreator::dataExtension() {
  auto info = platform::readPropertyList(Utilities::bundleResourcePath() / "Info.plist");
  if (info) {
    if (const platform::Value* v = info->find("TSBackupFileExtension")) {
      const std::string ext = v->stringValue();
      const bool plain = !ext.empty() && ext.size() <= 16 &&
                         std::all_of(ext.begin(), ext.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                         });
      if (plain) return ext;
    }
  }
  backupLog("TSBackupFileExtension is not assigned. Please define it at Info.plist");
  return kBackupFileExtension;
}

std::string BackupFileNameCreator::dateText(std::chrono::system_clock::time_point time) {
  const time_t t = std::chrono::system_clock::to_time_t(time);
  struct tm local {};
  localtime_r(&t, &local);
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H.%M.%S", &local);
  return buf;
}

namespace {
std::chrono::system_clock::time_point nameTime() {
  BackupFileNameCreator::Clock clock;
  {
    std::lock_guard<std::mutex> lock(gNameMutex);
    clock = gClock;
  }
  return clock ? clock() : std::chrono::system_clock::now();
}
}  // namespace

std::string BackupFileNameCreator::create() {
  return dataBasename() + "_" + dateText(nameTime()) + "." + dataExtension();
}

std::string BackupFileNameCreator::createLocal() {
  return "iGROOVEBIX_" + dateText(nameTime()) + "_DATA." + kBackupFileExtension;
}

// ---------------------------------------------------------------------------
// Archive

const std::vector<std::string>& BackupArchive::requiredFilesToRestore() {
  static const std::vector<std::string> names = {kIndexTableName, kPatternSetName, kPatternDirectoryName};
  return names;
}

bool BackupArchive::shouldBackup(const std::string& relativePath) {
  const std::string first = firstComponent(relativePath);
  const auto& names = requiredFilesToRestore();
  return std::find(names.begin(), names.end(), first) != names.end();
}

bool BackupArchive::isBusy() { return gBusy.load(); }

const char* BackupArchive::lockFileName() { return kLockName; }

ZipArchiveLimits BackupArchive::restoreLimits() {
  ZipArchiveLimits limits;
  limits.maxEntries = kMaxRestoreEntries;
  limits.maxEntrySize = kIndexTableSizeBound;
  limits.maxTotalSize = kIndexTableSizeBound + kPatternSetSizeBound + kMaxRestoreEntries * PatternRecord::kSize;
  limits.maxNameLength = kMaxRestoreNameLength;
  limits.entryBound = [](std::string_view path) { return entrySizeBound(std::string(path)); };
  return limits;
}

void BackupArchive::setExchangeUnavailableForTesting(bool unavailable) { gExchangeUnavailable.store(unavailable); }

void BackupArchive::setFailingMoveForTesting(std::optional<std::string> item) {
  std::lock_guard<std::mutex> lock(gHookMutex);
  gFailingMove = std::move(item);
}

void BackupArchive::setFailingLookupForTesting(std::optional<std::string> name) {
  std::lock_guard<std::mutex> lock(gHookMutex);
  gFailingLookup = std::move(name);
}

void BackupArchive::setStepHookForTesting(StepHook hook) {
  std::lock_guard<std::mutex> lock(gHookMutex);
  gStepHook = std::move(hook);
}

uint64_t BackupArchive::entrySizeBound(const std::string& relativePath) {
  const std::string first = firstComponent(relativePath);
  if (first == kIndexTableName && first == relativePath) return kIndexTableSizeBound;
  if (first == kPatternSetName && first == relativePath) return kPatternSetSizeBound;
  return PatternRecord::kSize;
}

std::optional<std::vector<std::string>> BackupArchive::listDirectory(const fs::path& dataDir, std::string* error) {
  std::error_code ec;
  fs::recursive_directory_iterator it(dataDir, ec);
  if (ec) {
    setError(error, "cannot list " + dataDir.string() + ": " + ec.message());
    return std::nullopt;
  }
  std::vector<std::string> paths;
  for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    paths.push_back(it->path().lexically_relative(dataDir).generic_string());
  }
  if (ec) {
    setError(error, "cannot list " + dataDir.string() + ": " + ec.message());
    return std::nullopt;
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

fs::path BackupArchive::uniquePath(const fs::path& folder, const std::string& name) {
  const fs::path plain = folder / name;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(plain, ec))) return plain;
  const fs::path n(name);
  const std::string ext = n.extension().string();
  const std::string stem = ext.empty() ? name : name.substr(0, name.size() - ext.size());
  for (int i = 2; i < 10000; ++i) {
    const fs::path candidate = folder / (stem + "-" + std::to_string(i) + ext);
    if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
  }
  return plain;  // the no-replace rename then refuses it
}

bool BackupArchive::write(const fs::path& dataDir, const fs::path& target, const std::string& password,
                          const std::function<void()>& beforeListing, std::string* error) {
  LibraryLock lock(dataDir);
  if (!lock.owns()) {
    setError(error, lock.refusal());
    return false;
  }
  if (beforeListing) beforeListing();

  auto listing = listDirectory(dataDir, error);
  if (!listing) return false;
  // A backup the restore would refuse is no backup: it is held to the
  // restore's own limits.
  const ZipArchiveLimits limits = restoreLimits();
  std::vector<std::string> entries;
  std::set<std::string> present;
  for (const std::string& rel : *listing) {
    if (!shouldBackup(rel) || !isRegularFile(dataDir / rel)) continue;
    if (rel.size() > limits.maxNameLength) {
      if (firstComponent(rel) != kPatternDirectoryName) {
        setError(error, rel + " has a longer name than any library holds");
        return false;
      }
      backupLog("left " + rel + " out of the backup: its name is longer than a restore takes");
      continue;
    }
    std::error_code sizeError;
    const uintmax_t size = fs::file_size(dataDir / rel, sizeError);
    if (!sizeError && size > std::min(limits.maxEntrySize, limits.entryBound(rel))) {
      // A backup the restore would refuse is no backup: a stray large file
      // in the pattern directory stays out, an oversized table fails it.
      if (firstComponent(rel) != kPatternDirectoryName) {
        setError(error, rel + " is larger than any library can hold");
        return false;
      }
      backupLog("left " + rel + " out of the backup: it is larger than any pattern file");
      continue;
    }
    entries.push_back(rel);
    present.insert(firstComponent(rel) == kPatternDirectoryName ? std::string(kPatternDirectoryName) : rel);
  }
  for (const std::string& name : requiredFilesToRestore()) {
    if (!present.count(name)) {
      setError(error, "the library has no " + name);
      return false;
    }
  }
  if (entries.size() > limits.maxEntries) {
    setError(error, "the library holds " + std::to_string(entries.size()) + " files, more than the " +
                        std::to_string(limits.maxEntries) + " a restore takes");
    return false;
  }

  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec))) {
    setError(error, target.string() + " exists");
    return false;
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string stem = target.stem().string();
  std::replace(stem.begin(), stem.end(), '.', '_');
  std::string tmpl = (folder / ("." + stem + ".XXXXXX")).string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  const int fd = ::mkstemp(buf.data());
  if (fd < 0) {
    setError(error, "cannot create a file in " + folder.string() + ": " + std::strerror(errno));
    return false;
  }
  ::fchmod(fd, 0644);
  ::close(fd);
  const fs::path tmp(buf.data());
  auto fail = [&](const std::string& why) {
    ::unlink(tmp.c_str());
    setError(error, why);
    return false;
  };

  ZipArchive zip;
  if (!zip.CreateZipFile2(tmp, password)) return fail("cannot create the archive " + tmp.string());
  for (const std::string& rel : entries) {
    if (!zip.addFileToZip(dataDir / rel, rel)) {
      zip.CloseZipFile2();
      return fail("cannot add " + rel + " to the archive");
    }
  }
  if (!zip.CloseZipFile2()) return fail("cannot finish the archive " + tmp.string());
  syncPath(tmp, O_RDONLY);
  if (!Utilities::moveWithoutReplacing(tmp, target)) return fail("cannot name the archive " + target.string());
  syncPath(folder, O_RDONLY | O_DIRECTORY);
  return true;
}

bool BackupArchive::containsFilesToNeed(const fs::path& folder, std::string* error) {
  const auto& required = requiredFilesToRestore();
  std::error_code ec;
  std::set<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (std::find(required.begin(), required.end(), name) == required.end()) {
      setError(error, "the archive holds \"" + name + "\", which does not belong to a library");
      return false;
    }
    names.insert(name);
  }
  if (ec) {
    setError(error, "cannot list " + folder.string() + ": " + ec.message());
    return false;
  }
  for (const std::string& name : required) {
    if (!names.count(name)) {
      setError(error, "the archive has no " + name);
      return false;
    }
  }

  const fs::path table = folder / kIndexTableName;
  const fs::path sets = folder / kPatternSetName;
  const fs::path patterns = folder / kPatternDirectoryName;
  if (!isRegularFile(table) || fs::file_size(table, ec) == 0) {
    setError(error, "the index table is empty");
    return false;
  }
  PatternIndicesTable indices;
  std::string why;
  if (!indices.loadTableFrom(table, &why)) {
    setError(error, "the index table is unreadable: " + why);
    return false;
  }
  if (indices.numberOfPatterns() == 0) {
    setError(error, "the index table lists no pattern");
    return false;
  }

  if (!isRegularFile(sets) || fs::file_size(sets, ec) == 0) {
    setError(error, "the pattern sets are empty");
    return false;
  }
  auto grid = platform::readPropertyList(sets, &why);
  const platform::Array* array = grid ? grid->array() : nullptr;
  if (!array || array->size() != kPatternSetElements) {
    setError(error, "the pattern sets are not an array of 64 pattern numbers");
    return false;
  }
  for (const platform::Value& v : *array) {
    if (!v.isInteger() || v.integerValue() < 0 || v.integerValue() > UINT32_MAX) {
      setError(error, "the pattern sets hold something that is not a pattern number");
      return false;
    }
  }

  if (!isRealDirectory(patterns)) {
    setError(error, "patterns is not a folder");
    return false;
  }
  bool anyFile = false;
  for (fs::recursive_directory_iterator it(patterns, ec), end; !ec && it != end; it.increment(ec)) {
    if (isRegularFile(it->path())) {
      anyFile = true;
      break;
    }
  }
  if (!anyFile) {
    setError(error, "the pattern folder is empty");
    return false;
  }
  size_t found = 0;
  for (int32_t i = 0; i < indices.numberOfPatterns(); ++i) {
    const std::string id = indices.entryAt(i)->identifier();
    if (!isPlainIdentifier(id)) {
      setError(error, "the index table names \"" + id + "\", which is not a plain file name");
      return false;
    }
    const fs::path file = patterns / id;
    if (!fs::exists(fs::symlink_status(file, ec))) continue;
    const uintmax_t size = isRegularFile(file) ? fs::file_size(file, ec) : 0;
    if (size != PatternRecord::kSize && size != PatternRecord::kBodySize) {
      setError(error, "the pattern file " + id + " is not a pattern");
      return false;
    }
    ++found;
  }
  if (found == 0) {
    setError(error, "no pattern of the index table is in the archive");
    return false;
  }
  return true;
}

namespace {

// The identity of a file or folder, which a rename keeps: its inode. The
// device number is not part of it, as it may change across a restart (a
// btrfs subvolume, LVM, NFS); the staging folder and the data directory are
// one file system, so the inode alone tells the items apart.
struct ItemId {
  uint64_t inode = 0;
  bool operator==(const ItemId&) const = default;
};

// lstat of an item of a restore or a recovery; tests can make it fail with
// EIO for one name.
int lookUp(const fs::path& p, struct stat* st) {
  {
    std::lock_guard<std::mutex> lock(gHookMutex);
    if (gFailingLookup && p.filename() == *gFailingLookup) {
      errno = EIO;
      return -1;
    }
  }
  return ::lstat(p.c_str(), st);
}

std::optional<ItemId> itemId(const fs::path& p) {
  struct stat st {};
  if (lookUp(p, &st) != 0) return std::nullopt;
  return ItemId{static_cast<uint64_t>(st.st_ino)};
}

bool isItem(const fs::path& p, const ItemId& id) {
  const auto found = itemId(p);
  return found && *found == id;
}

// Whether something is at `p`. Only ENOENT says it is not; any other
// failure of lstat (errno is kept) says nothing either way.
enum class Presence { Present, Absent, Unknown };

Presence presence(const fs::path& p, struct stat* st = nullptr) {
  struct stat own {};
  if (lookUp(p, st ? st : &own) == 0) return Presence::Present;
  return errno == ENOENT ? Presence::Absent : Presence::Unknown;
}

bool isPresent(const fs::path& p) { return presence(p) == Presence::Present; }

// What a restore is about to do: the staging folder (a name in the data
// directory) and, in the order of requiredFilesToRestore(), the identity of
// each new item and of the live item it replaces (none where there was
// none). A journal of the first format names the new items only; `old` is
// then empty, and nothing tells an old item from one written since.
struct Journal {
  std::string staging;
  std::vector<ItemId> items;
  std::vector<std::optional<ItemId>> old;
  bool knowsOld() const { return !old.empty(); }
};

std::string journalText(const Journal& j) {
  std::string text = std::string(kJournalHeading) + "\nstaging " + j.staging + "\n";
  const auto& names = BackupArchive::requiredFilesToRestore();
  for (size_t i = 0; i < names.size(); ++i)
    text += "item " + names[i] + " new " + std::to_string(j.items[i].inode) + " old " +
            (j.old[i] ? std::to_string(j.old[i]->inode) : std::string("none")) + "\n";
  return text;
}

std::optional<uint64_t> inodeNumber(const std::string& text) {
  uint64_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return n;
}

// One item line of a journal into `j`; false when it is not the line of
// `name`.
bool parseItemLine(const std::string& line, const std::string& name, bool firstFormat, Journal* j) {
  std::istringstream fields(line);
  std::string word, itemName;
  if (!(fields >> word >> itemName) || word != "item" || itemName != name) return false;
  std::vector<std::string> rest;
  for (std::string f; fields >> f;) rest.push_back(f);
  if (firstFormat) {
    // "item <name> <inode>"; a journal of an earlier version has the
    // device number before the inode, which is read past.
    if (rest.size() != 1 && rest.size() != 2) return false;
    std::optional<uint64_t> inode;
    for (const std::string& f : rest)
      if (!(inode = inodeNumber(f))) return false;
    j->items.push_back(ItemId{*inode});
    return true;
  }
  // "item <name> new <inode> old <inode or none>"
  if (rest.size() != 4 || rest[0] != "new" || rest[2] != "old") return false;
  const auto fresh = inodeNumber(rest[1]);
  const auto old = rest[3] == "none" ? std::optional<uint64_t>() : inodeNumber(rest[3]);
  if (!fresh || (!old && rest[3] != "none")) return false;
  j->items.push_back(ItemId{*fresh});
  j->old.push_back(old ? std::optional<ItemId>(ItemId{*old}) : std::nullopt);
  return true;
}

std::optional<Journal> parseJournal(const std::string& text, std::string* why) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || (line != kJournalHeading && line != kFirstJournalHeading)) {
    *why = "unknown heading";
    return std::nullopt;
  }
  const bool firstFormat = line == kFirstJournalHeading;
  Journal j;
  if (!std::getline(in, line) || line.rfind("staging ", 0) != 0) {
    *why = "no staging folder";
    return std::nullopt;
  }
  j.staging = line.substr(8);
  if (j.staging.rfind(kStagingPrefix, 0) != 0 || j.staging.find('/') != std::string::npos ||
      j.staging.size() <= std::strlen(kStagingPrefix)) {
    *why = "the staging folder \"" + j.staging + "\" is not one of ours";
    return std::nullopt;
  }
  for (const std::string& name : BackupArchive::requiredFilesToRestore()) {
    if (!std::getline(in, line)) {
      *why = "no line for " + name;
      return std::nullopt;
    }
    if (!parseItemLine(line, name, firstFormat, &j)) {
      *why = "a bad line for " + name;
      return std::nullopt;
    }
  }
  if (std::getline(in, line)) {
    *why = "more than it should hold";
    return std::nullopt;
  }
  return j;
}

// Every rename of a swap, of its undoing and of a recovery: renameat2 with
// `flags` (0, RENAME_NOREPLACE or RENAME_EXCHANGE). Tests can take the
// exchange away, to run the path of a file system without it, or make the
// moves of one item fail.
int moveItem(const fs::path& from, const fs::path& to, unsigned flags) {
  if (flags == RENAME_EXCHANGE && gExchangeUnavailable.load()) {
    errno = EINVAL;
    return -1;
  }
  {
    std::lock_guard<std::mutex> lock(gHookMutex);
    if (gFailingMove && (from.filename() == *gFailingMove || to.filename() == *gFailingMove)) {
      errno = EIO;
      return -1;
    }
  }
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
}

int exchange(const fs::path& a, const fs::path& b) { return moveItem(a, b, RENAME_EXCHANGE); }

// One item put in place during a restore, and how to undo it.
struct SwapStep {
  enum Kind { Exchanged, MovedAside, MovedIn } kind;
  fs::path staged;  // where the restored item was
  fs::path live;    // where it is now
  fs::path aside;   // MovedAside: the old item
};

// How a swap of one item went: done; failed with the item as it was; or
// failed with the old item moved aside and neither it nor the new one back
// in place (only the staging folder holds the old one then).
enum class Swap { Done, Failed, Stranded };

Swap swapIn(const fs::path& staged, const fs::path& live, std::vector<SwapStep>* done, std::string* error) {
  if (!isPresent(live)) {
    if (moveItem(staged, live, RENAME_NOREPLACE) == 0) {
      done->push_back({SwapStep::MovedIn, staged, live, {}});
      return Swap::Done;
    }
    setError(error, "cannot move " + staged.string() + " into place: " + std::strerror(errno));
    return Swap::Failed;
  }
  if (exchange(staged, live) == 0) {
    done->push_back({SwapStep::Exchanged, staged, live, {}});
    return Swap::Done;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    setError(error, "cannot exchange " + live.string() + ": " + std::strerror(errno));
    return Swap::Failed;
  }
  // No exchange on this file system: the old item steps aside first. A
  // crash between the two renames leaves no live item, which the recovery
  // fills from the staging folder.
  const fs::path aside = staged.string() + ".old";
  if (moveItem(live, aside, 0) != 0) {
    setError(error, "cannot move " + live.string() + " aside: " + std::strerror(errno));
    return Swap::Failed;
  }
  step("moved aside " + live.filename().string());
  if (moveItem(staged, live, 0) != 0) {
    const std::string why = "cannot move " + staged.string() + " into place: " + std::strerror(errno);
    if (moveItem(aside, live, 0) == 0) {
      setError(error, why);
      return Swap::Failed;
    }
    setError(error, why + ", nor " + aside.string() + " back: " + std::strerror(errno));
    return Swap::Stranded;
  }
  done->push_back({SwapStep::MovedAside, staged, live, aside});
  return Swap::Done;
}

// Puts the old item back where the new one of `live` came from; true when
// every rename succeeded.
bool putBack(const fs::path& staged, const fs::path& live, const fs::path& aside) {
  if (isPresent(staged)) {
    if (exchange(staged, live) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A crash between these two renames leaves no live item; the recovery
    // then takes the old one from the staging folder.
    const fs::path parked = staged.string() + ".new";
    return moveItem(live, parked, 0) == 0 && moveItem(staged, live, 0) == 0;
  }
  if (isPresent(aside)) return moveItem(live, staged, 0) == 0 && moveItem(aside, live, 0) == 0;
  return moveItem(live, staged, 0) == 0;  // there was no old item
}

bool undo(const std::vector<SwapStep>& done) {
  bool ok = true;
  for (auto it = done.rbegin(); it != done.rend(); ++it)
    ok = putBack(it->staged, it->live, it->kind == SwapStep::MovedAside ? it->aside : fs::path()) && ok;
  return ok;
}

// The journal goes only once every rename of the swap (or of its undoing)
// is on disk, in the staging folder and in the data directory, and its
// removal is on disk before anything else happens. False, with `why`, when
// it cannot be removed.
bool removeJournal(const fs::path& dataDir, const fs::path& staging, std::string* why) {
  platform::syncDirectory(staging);
  step("synced staging");
  platform::syncDirectory(dataDir);
  step("synced data directory");
  const fs::path journal = dataDir / kJournalName;
  if (::unlink(journal.c_str()) != 0 && errno != ENOENT) {
    *why = "cannot remove the restore journal " + journal.string() + ": " + std::strerror(errno);
    return false;
  }
  platform::syncDirectory(dataDir);
  step("synced data directory");
  step("journal removed");
  return true;
}

// The swap (or its undoing) is on disk: the journal goes, then the staging
// folder (the library that was not kept). The folder goes also when the
// journal cannot: the journal is then stale, names nothing left to take
// back, and the next start removes it, whatever was saved meanwhile.
bool finishSwap(const fs::path& dataDir, const fs::path& staging, std::string* why) {
  const bool removed = removeJournal(dataDir, staging, why);
  std::error_code ec;
  fs::remove_all(staging, ec);
  return removed;
}

// Staging folders without a journal (a restore that stopped before its
// swap, or after it had finished) and the journal's own temporary files.
void removeLeftovers(const fs::path& dataDir) {
  const std::string journalTemporary = platform::temporaryNamePrefix(dataDir / kJournalName);
  std::error_code ec;
  std::vector<fs::path> gone;
  for (fs::directory_iterator it(dataDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if ((name.rfind(kStagingPrefix, 0) == 0 && isRealDirectory(it->path())) ||
        (name.rfind(journalTemporary, 0) == 0 && isRegularFile(it->path())))
      gone.push_back(it->path());
  }
  for (const fs::path& p : gone) {
    backupLog("removed " + p.filename().string() + ", left by an interrupted restore");
    fs::remove_all(p, ec);
  }
}

// Puts back the old item of `name` when the live one is missing (a crash
// between the two renames of a swap or of its undoing): the staged item
// when it is not the new one, else the one moved aside.
bool refillLive(const fs::path& staging, const fs::path& live, const ItemId& newItem, std::string* why) {
  const fs::path staged = staging / live.filename();
  const fs::path aside = staged.string() + ".old";
  const fs::path& old = isPresent(staged) && !isItem(staged, newItem) ? staged : aside;
  if (!isPresent(old)) {
    *why = "neither the new nor the old " + live.filename().string() + " is left";
    return false;
  }
  if (moveItem(old, live, RENAME_NOREPLACE) != 0) {
    *why = "cannot put " + live.string() + " back: " + std::strerror(errno);
    return false;
  }
  return true;
}

// Whether the library a recovery went for is wholly in place, so that the
// staging folder holds nothing of the library kept: going forward, every
// live item is the new one; going back, every live item is the old one (and
// absent where there was none). A journal that does not know the old items
// cannot tell them from items saved since; going back by it, the staging
// folder may go only when it holds nothing but new items.
bool settled(const fs::path& dataDir, const fs::path& staging, const Journal& j, bool forward, std::string* why) {
  const auto& names = BackupArchive::requiredFilesToRestore();
  for (size_t i = 0; i < names.size(); ++i) {
    const fs::path live = dataDir / names[i];
    if (forward) {
      if (!isItem(live, j.items[i])) {
        *why = live.string() + (isPresent(live) ? " is not the restored one" : " is missing");
        return false;
      }
    } else if (j.knowsOld()) {
      if (j.old[i] ? !isItem(live, *j.old[i]) : isPresent(live)) {
        *why = live.string() + (isPresent(live) ? " is not the one the restore replaced" : " is missing");
        return false;
      }
    } else if (!isPresent(live)) {
      *why = live.string() + " is missing";
      return false;
    }
  }
  if (forward || j.knowsOld()) return true;
  std::error_code ec;
  for (fs::directory_iterator it(staging, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    bool isNew = false;
    for (size_t i = 0; i < names.size(); ++i)
      isNew = isNew || ((entry == names[i] || entry == names[i] + ".new") && isItem(it->path(), j.items[i]));
    if (!isNew) {
      *why = it->path().string() + " may be part of the library the restore replaced";
      return false;
    }
  }
  if (ec) {
    *why = "cannot list " + staging.string() + ": " + ec.message();
    return false;
  }
  return true;
}

// The recovery under a held lock (see recoverInterruptedRestore).
bool recoverLocked(const fs::path& dataDir, std::string* error) {
  const fs::path journalPath = dataDir / kJournalName;
  if (isPresent(journalPath)) {
    auto refuse = [&](const std::string& text) {
      backupLog(text);
      setError(error, text);
      return false;
    };
    std::string why;
    const auto bytes = isRegularFile(journalPath) ? platform::readFile(journalPath) : std::nullopt;
    const auto journal = bytes ? parseJournal(std::string(bytes->begin(), bytes->end()), &why) : std::nullopt;
    if (!journal)
      return refuse("the restore journal is unreadable" + (why.empty() ? std::string() : ": " + why));
    const fs::path staging = dataDir / journal->staging;
    const auto& names = BackupArchive::requiredFilesToRestore();
    auto cannotLook = [&](const fs::path& p) {
      const std::string text = std::strerror(errno);
      return refuse("cannot look for " + p.string() + ", which the restore journal names: " + text +
                    "; the journal is left as it is");
    };
    struct stat stagingStat {};
    const Presence stagingState = presence(staging, &stagingStat);
    if (stagingState == Presence::Unknown) return cannotLook(staging);
    // Whatever stands there was not made by a restore: a link is not
    // followed, and neither it nor the journal is removed.
    if (stagingState == Presence::Present && !S_ISDIR(stagingStat.st_mode))
      return refuse("the restore journal names " + staging.string() +
                    " as its staging folder, which is not a folder; it and the journal are left as they are");
    if (stagingState == Presence::Absent) {
      // Without its staging folder a journal has nothing to take back (its
      // removal failed after the swap, or someone took the folder away): it
      // is stale. An item that is missing stays missing whatever the
      // journal says, and the library does without it as it does without
      // any missing file; kept, the journal would refuse every start.
      std::string missing;
      for (const std::string& name : names) {
        const Presence state = presence(dataDir / name);
        if (state == Presence::Unknown) return cannotLook(dataDir / name);
        if (state == Presence::Absent) missing += (missing.empty() ? "" : ", ") + name;
      }
      if (!removeJournal(dataDir, staging, &why)) return refuse("cannot remove a stale restore journal: " + why);
      backupLog("removed a stale restore journal: its staging folder " + journal->staging + " is gone and " +
                (missing.empty() ? std::string("every item of the library is in place")
                                 : "the library is without " + missing));
      removeLeftovers(dataDir);
      return true;
    }
    // Forward when every new item is still there, in place or staged.
    bool forward = true, anyFound = false;
    for (size_t i = 0; i < names.size(); ++i) {
      const bool found = isItem(dataDir / names[i], journal->items[i]) || isItem(staging / names[i], journal->items[i]);
      forward = forward && found;
      anyFound = anyFound || found;
    }
    // A journal that matches nothing is not understood: rolling back by it
    // would take the staging folder, which may hold half of the library.
    if (!anyFound)
      return refuse("the restore journal names no item that is in " + dataDir.string() + "; it and " +
                    journal->staging + " are left as they are");
    // An item that is neither the old nor the new one was written after the
    // restore stopped (a save of the half-swapped library): which library
    // it belongs to is unknown, so nothing is moved.
    for (size_t i = 0; journal->knowsOld() && i < names.size(); ++i) {
      const fs::path live = dataDir / names[i];
      const auto& old = journal->old[i];
      if (isPresent(live) && !isItem(live, journal->items[i]) && !(old && isItem(live, *old)))
        return refuse("cannot recover an interrupted restore: " + live.string() +
                      " was written after the restore stopped; it and " + journal->staging + " are left as they are");
    }
    for (size_t i = 0; i < names.size(); ++i) {
      const fs::path live = dataDir / names[i];
      const bool inPlace = isItem(live, journal->items[i]);
      bool ok = true;
      if (forward && !inPlace) {
        std::vector<SwapStep> done;
        ok = swapIn(staging / names[i], live, &done, &why) == Swap::Done;
      } else if (!forward && inPlace) {
        ok = putBack(staging / names[i], live, staging.string() + "/" + names[i] + ".old");
        if (!ok) why = "cannot put " + live.string() + " back: " + std::strerror(errno);
      } else if (!forward && !isPresent(live) && !(journal->knowsOld() && !journal->old[i])) {
        ok = refillLive(staging, live, journal->items[i], &why);
      } else {
        continue;
      }
      if (!ok) return refuse("cannot recover an interrupted restore: " + why);
      step("swapped " + names[i]);
    }
    if (!settled(dataDir, staging, *journal, forward, &why))
      return refuse("cannot recover an interrupted restore: " + why + "; " + journal->staging +
                    " and the journal are kept");
    backupLog(forward ? "finished an interrupted restore" : "rolled back an interrupted restore");
    if (!finishSwap(dataDir, staging, &why))
      return refuse("the library is whole, but " + why + "; the next start removes it");
  }
  removeLeftovers(dataDir);
  return true;
}

}  // namespace

bool BackupArchive::restore(const fs::path& archive, const fs::path& dataDir, const std::string& password,
                            std::string* error, bool* halfSwapped) {
  if (halfSwapped) *halfSwapped = false;
  LibraryLock lock(dataDir);
  if (!lock.owns()) {
    setError(error, lock.refusal());
    return false;
  }
  // A restore that a crash interrupted is finished (or rolled back) first:
  // its journal is the only record of which library is in place.
  {
    std::string why;
    if (!recoverLocked(dataDir, &why)) {
      if (halfSwapped) *halfSwapped = true;
      setError(error, "an interrupted restore is pending and cannot be finished: " + why);
      return false;
    }
  }
  // Staged inside the data directory: the swap is then a rename on one
  // file system, and nothing is ever written outside it.
  std::string tmpl = (dataDir / (std::string(kStagingPrefix) + "XXXXXX")).string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) {
    setError(error, "cannot create a folder in " + dataDir.string() + ": " + std::strerror(errno));
    return false;
  }
  const fs::path staging(buf.data());
  bool keepStaging = false;
  auto fail = [&](const std::string& why) {
    std::error_code ec;
    // Kept whenever an old item may be in it (the user's library): a swap
    // that stranded one, an undo that could not put one back. The names
    // in it prove nothing, as the archive chose them.
    if (!keepStaging) fs::remove_all(staging, ec);
    backupLog("restore of " + archive.filename().string() + " refused: " + why);
    setError(error, why);
    return false;
  };

  ZipArchive zip;
  ErrorCollector errors;
  zip.setDelegate(&errors);
  zip.setLimits(restoreLimits());
  if (!zip.UnzipOpenFile(archive, password)) {
    zip.UnzipCloseFile();
    return fail("cannot open the archive");
  }
  const bool unpacked = zip.UnzipFileTo(staging, true);
  zip.UnzipCloseFile();
  if (!unpacked) return fail("cannot unpack the archive: " + errors.last);
  std::string why;
  if (!containsFilesToNeed(staging, &why)) return fail(why);
  step("checked");

  // The new files are on disk before the journal commits to them.
  if (const int fd = ::open(staging.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
    ::syncfs(fd);
    ::close(fd);
  }
  Journal journal{staging.filename().string(), {}, {}};
  for (const std::string& name : requiredFilesToRestore()) {
    const auto id = itemId(staging / name);
    if (!id) return fail("cannot read " + (staging / name).string());
    journal.items.push_back(*id);
    // An item that cannot be looked at is not taken for one that is not
    // there: a rollback would then leave it out.
    struct stat live {};
    const Presence there = presence(dataDir / name, &live);
    if (there == Presence::Unknown) {
      const std::string text = std::strerror(errno);
      return fail("cannot look for " + (dataDir / name).string() + ": " + text);
    }
    journal.old.push_back(there == Presence::Present
                              ? std::optional<ItemId>(ItemId{static_cast<uint64_t>(live.st_ino)})
                              : std::nullopt);
  }
  const fs::path journalPath = dataDir / kJournalName;
  if (!platform::writeFileAtomically(journalPath, journalText(journal), &why))
    return fail("cannot write the restore journal: " + why);
  step("journal written");

  std::vector<SwapStep> done;
  for (const std::string& name : requiredFilesToRestore()) {
    const Swap swapped = swapIn(staging / name, dataDir / name, &done, &why);
    if (swapped != Swap::Done) {
      // A stranded old item is in the staging folder only, beside the new
      // one, out of reach of the undo: the next start finishes the swap.
      if (swapped == Swap::Failed && undo(done)) {
        // The old library is back; a journal left beside it is stale once
        // the staging folder goes, and the next start removes it.
        std::string left;
        if (!removeJournal(dataDir, staging, &left)) why += "; " + left + ", which the next start removes";
      } else {
        // Half swapped: the journal and the staging folder stay, so that
        // the next start finishes the restore.
        keepStaging = true;
        if (halfSwapped) *halfSwapped = true;
        why += "; the restore is finished at the next start";
      }
      return fail(why);
    }
    step("swapped " + name);
  }
  if (!finishSwap(dataDir, staging, &why)) {
    const std::string text = "restored " + archive.filename().string() + ", but " + why + "; the next start removes it";
    backupLog(text);
    setError(error, text);
  }
  return true;
}

bool BackupArchive::recoverInterruptedRestore(const fs::path& dataDir, std::string* error) {
  LibraryLock lock(dataDir);
  if (lock.state() == LibraryLock::State::NoDirectory) return true;  // no library yet
  if (!lock.owns()) {
    const std::string text = "cannot look for an interrupted restore: " + lock.refusal();
    backupLog(text);
    setError(error, text);
    return false;
  }
  return recoverLocked(dataDir, error);
}
