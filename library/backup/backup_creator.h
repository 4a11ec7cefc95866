#pragma once
// A backup or a restore as one unit of work: a base class runs the three
// steps (preprocess, the product's process step, postprocess) inside a
// background task, and the product's creator and restorer write and read
// the backup archive of the pattern library (see backup_archive.h).
//
// The creator names a new archive (BackupFileNameCreator::create) in the
// documents folder, saves the application's state first (the injected
// storeData), and returns the path, or nothing when it is busy or anything
// failed: a backup that was not fully written is never reported as made.
// "BackupCreatorDidFinishedBackup" is posted after every run that started.
//
// The restorer replaces the library by an archive; a restore that fails
// leaves the library as it was, or, when it stopped half way, refuses
// library writes until the next start finishes it. A restore that went through lets the
// library be written again (see LibraryWrites): it finished any restore an
// earlier crash had left pending first. "RestoreDidFinishedNotification" is posted
// after every run that started. A second restore (or a backup) while one
// runs is refused at once without a notification. While restoring() is true
// the application must not save its in-memory library state (it would
// overwrite the restored files with the old state) and must reload the
// library afterwards.
//
// Notifications go to the default notification centre on the calling
// thread, with the creator or restorer (a BackupCreator* / BackupRestorer*)
// as object. The singletons are dropped on the application's will-terminate
// notification; holders of a shared pointer keep theirs alive.
//
// Thread-safe: the busy flags are atomic; a restore may run on a global
// queue while the interface reads restoring().

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kBackupCreatorDidFinishedBackup = "BackupCreatorDidFinishedBackup";
inline constexpr const char* kRestoreDidFinishedNotification = "RestoreDidFinishedNotification";
// Posted by the application shell when the process is about to end.
inline constexpr const char* kApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";

// The platform's background tasks: work that keeps the process alive while
// it finishes after the application left the foreground. The standard host
// counts open tasks (a shutdown waits for them to end); its expiration
// handlers never fire, since a desktop process is not suspended.
class BackgroundTaskHost {
 public:
  using Identifier = uint64_t;
  static constexpr Identifier kInvalid = 0;

  virtual ~BackgroundTaskHost() = default;
  virtual Identifier beginBackgroundTask(std::function<void()> expirationHandler) = 0;
  virtual void endBackgroundTask(Identifier task) = 0;

  static BackgroundTaskHost& standard();
  // Tasks begun and not yet ended on the standard host.
  static size_t openStandardTasks();
};

class BackupCreator {
 public:
  BackupCreator();
  virtual ~BackupCreator();

  // Runs one backup into the documents folder under `name` (nothing: the
  // name of BackupFileNameCreator::create); a taken name gets a "-2" suffix.
  // The full path of the new archive, or nothing when busy, when `name` is
  // not a plain file name, or when the backup failed.
  std::optional<std::filesystem::path> createWithName(std::optional<std::string> name = std::nullopt);
  bool isCreating() const { return creating_.load(); }
  BackgroundTaskHost::Identifier bgTask() const { return bgTask_.load(); }

  void setBackgroundTaskHost(BackgroundTaskHost* host) { host_ = host; }
  // Why the last run failed (empty after a success).
  std::string lastError() const;

 protected:
  virtual void preprocess();
  virtual bool backupProcess(const std::filesystem::path& target) = 0;
  virtual void postprocess();
  void setLastError(std::string error);

 private:
  std::atomic<bool> creating_{false};
  std::atomic<BackgroundTaskHost::Identifier> bgTask_{BackgroundTaskHost::kInvalid};
  BackgroundTaskHost* host_ = nullptr;
  mutable std::mutex errorMutex_;
  std::string lastError_;
};

class BackupRestorer {
 public:
  BackupRestorer();
  virtual ~BackupRestorer();

  // Runs one restore of the archive at `url`; false with `error` set when it
  // was refused or failed. After a restore that went through, `error` is
  // empty, or says what it left behind (see BackupArchive::restore).
  bool restoreData(const std::filesystem::path& url, std::string* error = nullptr);
  bool restoring() const { return working_.load(); }
  // Whether the library's files are being replaced, or were replaced and
  // not yet read back. What saves the in-memory library asks this: a
  // restore may run on another queue, and a save meanwhile (or before the
  // reload) would put the old state back over the restored files.
  static bool libraryBeingReplaced() { return running_.load() > 0 || awaitingReload_.load(); }
  // The interface read the restored library back into memory.
  static void libraryReloaded() { awaitingReload_.store(false); }
  BackgroundTaskHost::Identifier bgTask() const { return bgTask_.load(); }

  void setBackgroundTaskHost(BackgroundTaskHost* host) { host_ = host; }

 protected:
  virtual void preprocess();
  virtual bool restoreProcess(const std::filesystem::path& url, std::string* error) = 0;
  virtual void postprocess();

 private:
  std::atomic<bool> working_{false};
  static inline std::atomic<int> running_{0};
  static inline std::atomic<bool> awaitingReload_{false};
  std::atomic<BackgroundTaskHost::Identifier> bgTask_{BackgroundTaskHost::kInvalid};
  BackgroundTaskHost* host_ = nullptr;
};

class iGROOVEBIXBackupCreator : public BackupCreator {
 public:
  static std::shared_ptr<iGROOVEBIXBackupCreator> sharedInstance();
  static void cleanup();

  // The application delegate's storeData: saves the edit buffer, the index
  // table, the pattern sets and the global settings before the data
  // directory is listed.
  void setStoreData(std::function<void()> storeData) { storeData_ = std::move(storeData); }

  bool shouldBackup(const std::string& relativePath) const;

 protected:
  bool backupProcess(const std::filesystem::path& target) override;

 private:
  std::function<void()> storeData_;
};

class iGROOVEBIXBackupRestorer : public BackupRestorer {
 public:
  static std::shared_ptr<iGROOVEBIXBackupRestorer> sharedInstance();
  static void cleanup();

  const std::vector<std::string>& requiredFilesToRestore() const;
  bool containsFilesToNeed(const std::filesystem::path& folder, std::string* error = nullptr) const;

 protected:
  bool restoreProcess(const std::filesystem::path& url, std::string* error) override;
};
