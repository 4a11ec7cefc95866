#include "library/backup/backup_creator.h"

#include "library/backup/backup_archive.h"
#include "library/backup/backup_log.h"
#include "library/library_writes.h"
#include "library/utilities.h"
#include "platform/notify/notification_center.h"

namespace fs = std::filesystem;

namespace {

class StandardBackgroundTasks final : public BackgroundTaskHost {
 public:
  Identifier beginBackgroundTask(std::function<void()>) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const Identifier id = next_++;
    open_.push_back(id);
    return id;
  }
  void endBackgroundTask(Identifier task) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(open_, task);
  }
  size_t openCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
  }

 private:
  mutable std::mutex mutex_;
  Identifier next_ = 1;
  std::vector<Identifier> open_;
};

StandardBackgroundTasks& standardTasks() {
  static StandardBackgroundTasks tasks;
  return tasks;
}

// The data directory computed without the (main-thread only) path caches,
// so a restore on a global queue can ask for it.
std::optional<fs::path> dataDirectory() {
  auto docs = Utilities::applicationiTunesDocumentsDirectory();
  if (!docs) return std::nullopt;
  return *docs / ".igroovebix.d";
}

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

BackgroundTaskHost& BackgroundTaskHost::standard() { return standardTasks(); }
size_t BackgroundTaskHost::openStandardTasks() { return standardTasks().openCount(); }

// ---------------------------------------------------------------------------

BackupCreator::BackupCreator() = default;
BackupCreator::~BackupCreator() = default;

std::string BackupCreator::lastError() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return lastError_;
}

void BackupCreator::setLastError(std::string error) {
  std::lock_guard<std::mutex> lock(errorMutex_);
  lastError_ = std::move(error);
}

std::optional<fs::path> BackupCreator::createWithName(std::optional<std::string> name) {
  if (creating_.exchange(true)) return std::nullopt;
  const std::string fileName = name ? *name : BackupFileNameCreator::create();
  const auto docs = Utilities::applicationiTunesDocumentsDirectory();
  if (!isPlainFileName(fileName) || !docs) {
    setLastError(!docs ? "no documents folder" : "\"" + fileName + "\" is not a plain file name");
    creating_.store(false);
    return std::nullopt;
  }
  std::error_code ec;
  fs::create_directories(*docs, ec);
  const fs::path target = BackupArchive::uniquePath(*docs, fileName);
  setLastError({});
  preprocess();
  const bool ok = backupProcess(target);
  postprocess();
  if (!ok) return std::nullopt;
  return target;
}

void BackupCreator::preprocess() {
  BackgroundTaskHost* host = host_ ? host_ : &BackgroundTaskHost::standard();
  // Out of time: the task ends now and postprocess finds none left to end.
  const BackgroundTaskHost::Identifier id = host->beginBackgroundTask([this, host] {
    const BackgroundTaskHost::Identifier task = bgTask_.exchange(BackgroundTaskHost::kInvalid);
    if (task != BackgroundTaskHost::kInvalid) host->endBackgroundTask(task);
  });
  bgTask_.store(id);
  creating_.store(true);
}

void BackupCreator::postprocess() {
  creating_.store(false);
  platform::NotificationCenter::defaultCenter().post(kBackupCreatorDidFinishedBackup, this);
  BackgroundTaskHost& host = host_ ? *host_ : BackgroundTaskHost::standard();
  const BackgroundTaskHost::Identifier id = bgTask_.exchange(BackgroundTaskHost::kInvalid);
  if (id != BackgroundTaskHost::kInvalid) host.endBackgroundTask(id);
}

// ---------------------------------------------------------------------------

BackupRestorer::BackupRestorer() = default;
BackupRestorer::~BackupRestorer() = default;

bool BackupRestorer::restoreData(const fs::path& url, std::string* error) {
  if (working_.exchange(true)) {
    if (error) *error = "busy: a restore is running";
    return false;
  }
  running_.fetch_add(1);
  preprocess();
  std::string why;
  const bool ok = restoreProcess(url, &why);
  // A failed restore leaves the library as it was, or half swapped with
  // writes refused: nothing to read back (the memory keeps the old one).
  if (ok) awaitingReload_.store(true);
  running_.fetch_sub(1);
  postprocess();
  // A restore that went through may still say what it left behind.
  if (error) *error = why;
  return ok;
}

void BackupRestorer::preprocess() {
  BackgroundTaskHost* host = host_ ? host_ : &BackgroundTaskHost::standard();
  // Out of time: the task ends now and postprocess finds none left to end.
  const BackgroundTaskHost::Identifier id = host->beginBackgroundTask([this, host] {
    const BackgroundTaskHost::Identifier task = bgTask_.exchange(BackgroundTaskHost::kInvalid);
    if (task != BackgroundTaskHost::kInvalid) host->endBackgroundTask(task);
  });
  bgTask_.store(id);
  working_.store(true);
}

void BackupRestorer::postprocess() {
  working_.store(false);
  platform::NotificationCenter::defaultCenter().post(kRestoreDidFinishedNotification, this);
  BackgroundTaskHost& host = host_ ? *host_ : BackgroundTaskHost::standard();
  const BackgroundTaskHost::Identifier id = bgTask_.exchange(BackgroundTaskHost::kInvalid);
  if (id != BackgroundTaskHost::kInvalid) host.endBackgroundTask(id);
}

// ---------------------------------------------------------------------------
// The product's singletons

namespace {

std::mutex gSingletonMutex;
std::shared_ptr<iGROOVEBIXBackupCreator> gCreator;
std::shared_ptr<iGROOVEBIXBackupRestorer> gRestorer;

// Registers `cleanup` for the application's end, once per singleton.
void observeTermination(const void* owner, bool* registered, void (*cleanup)()) {
  if (*registered) return;
  *registered = true;
  platform::NotificationCenter::defaultCenter().addObserver(
      owner, kApplicationWillTerminateNotification, [cleanup](const platform::Notification&) { cleanup(); });
}

}  // namespace

std::shared_ptr<iGROOVEBIXBackupCreator> iGROOVEBIXBackupCreator::sharedInstance() {
  std::lock_guard<std::mutex> lock(gSingletonMutex);
  static bool registered = false;
  if (!gCreator) {
    gCreator = std::make_shared<iGROOVEBIXBackupCreator>();
    observeTermination(&gCreator, &registered, &iGROOVEBIXBackupCreator::cleanup);
  }
  return gCreator;
}

void iGROOVEBIXBackupCreator::cleanup() {
  std::shared_ptr<iGROOVEBIXBackupCreator> dropped;
  std::lock_guard<std::mutex> lock(gSingletonMutex);
  dropped.swap(gCreator);
}

bool iGROOVEBIXBackupCreator::shouldBackup(const std::string& relativePath) const {
  return BackupArchive::shouldBackup(relativePath);
}

bool iGROOVEBIXBackupCreator::backupProcess(const fs::path& target) {
  const auto data = dataDirectory();
  if (!data) {
    setLastError("no data directory");
    return false;
  }
  std::string error;
  if (!BackupArchive::write(*data, target, Utilities::createDataPassword(), storeData_, &error)) {
    backupLog("backup " + target.filename().string() + " failed: " + error);
    setLastError(error);
    return false;
  }
  return true;
}

std::shared_ptr<iGROOVEBIXBackupRestorer> iGROOVEBIXBackupRestorer::sharedInstance() {
  std::lock_guard<std::mutex> lock(gSingletonMutex);
  static bool registered = false;
  if (!gRestorer) {
    gRestorer = std::make_shared<iGROOVEBIXBackupRestorer>();
    observeTermination(&gRestorer, &registered, &iGROOVEBIXBackupRestorer::cleanup);
  }
  return gRestorer;
}

void iGROOVEBIXBackupRestorer::cleanup() {
  std::shared_ptr<iGROOVEBIXBackupRestorer> dropped;
  std::lock_guard<std::mutex> lock(gSingletonMutex);
  dropped.swap(gRestorer);
}

const std::vector<std::string>& iGROOVEBIXBackupRestorer::requiredFilesToRestore() const {
  return BackupArchive::requiredFilesToRestore();
}

bool iGROOVEBIXBackupRestorer::containsFilesToNeed(const fs::path& folder, std::string* error) const {
  return BackupArchive::containsFilesToNeed(folder, error);
}

bool iGROOVEBIXBackupRestorer::restoreProcess(const fs::path& url, std::string* error) {
  const auto data = dataDirectory();
  if (!data) {
    if (error) *error = "no data directory";
    return false;
  }
  bool halfSwapped = false;
  if (!BackupArchive::restore(url, *data, Utilities::createDataPassword(), error, &halfSwapped)) {
    // The library on disk is partly the archive's until the next start
    // finishes the swap by the items' identity; a save meanwhile would put
    // a file there that no start can place.
    if (halfSwapped) LibraryWrites::refuseUntilRecovered(error ? *error : std::string("a restore stopped half way"));
    return false;
  }
  // The restore first finished whatever an interrupted one had left, so
  // nothing is pending that a save could spoil.
  LibraryWrites::allow();
  return true;
}
