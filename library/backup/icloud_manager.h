#pragma once
// The one object that knows the app's cloud container: it finds the
// container, keeps a live list of the backup archives in its "Documents"
// folder (newest first), starts their download, answers questions about each
// item, deletes and renames items, and moves backups from the local
// documents folder into the container.
//
// Status: 0 while the container look-up runs (on a global queue), then 1
// (available) or 2 (unavailable) for the rest of the process. With a
// container, a metadata query watches every name ending in "." +
// BackupFileNameCreator::dataExtension() (case-sensitive). Each gathering and
// each later change posts "ICloudManagerDidFinishedNotification" or
// "ICloudManagerDidUpdateNotification" (object: the manager, an
// ICloudManager*) through the default notification queue, as soon as
// possible; several within one pass of the run loop become one. With no
// container nothing is ever posted.
//
// Items are addressed by URL: the list re-sorts and grows while a screen
// shows it, so an index can name another backup by the time it is used. The
// index forms resolve the index against the list as it is at the call.
// Renames and moves never replace an existing file; a new name must be a
// plain file name.
//
// Main thread, except the look-up; the manager must be owned by a
// shared_ptr (create / sharedInstance), which the look-up holds weakly.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cloud/cloud_container.h"
#include "platform/cloud/metadata_query.h"

namespace platform {
struct Notification;
}

inline constexpr const char* kICloudManagerDidFinishedNotification = "ICloudManagerDidFinishedNotification";
inline constexpr const char* kICloudManagerDidUpdateNotification = "ICloudManagerDidUpdateNotification";

class ICloudManager : public std::enable_shared_from_this<ICloudManager> {
 public:
  // The manager of the process, over the directory that stands for the
  // container; dropped on the application's will-terminate notification.
  static std::shared_ptr<ICloudManager> sharedInstance();
  static void cleanup();
  // A manager over `container`; the look-up starts at once.
  static std::shared_ptr<ICloudManager> create(std::shared_ptr<platform::CloudContainer> container);

  ~ICloudManager();
  ICloudManager(const ICloudManager&) = delete;
  ICloudManager& operator=(const ICloudManager&) = delete;

  int64_t status() const;
  // The query is gathering its first results.
  bool isSearching() const;
  size_t count() const { return results_.size(); }
  // A copy of the item at `index`; nothing outside the list.
  std::optional<platform::MetadataItem> itemAt(size_t index) const;
  const std::vector<platform::MetadataItem>& results() const { return results_; }
  // The index of the item at `url` in the list now; -1 when absent.
  int64_t indexOfURL(const std::filesystem::path& url) const;

  std::string fileName(const platform::MetadataItem& item) const { return item.displayName; }
  uint64_t filesize(const platform::MetadataItem& item) const { return item.fileSize; }
  platform::Date fileUpdatedData(const platform::MetadataItem& item) const { return item.contentChangeDate; }
  std::filesystem::path fileURL(const platform::MetadataItem& item) const { return item.url; }
  bool isFileAvailable(const platform::MetadataItem& item) const;
  double filePercentDownloaded(const platform::MetadataItem& item) const { return item.percentDownloaded; }

  bool removeFile(const std::filesystem::path& url);
  bool renameFile(const std::filesystem::path& url, const std::string& newName);
  bool removeFileAt(size_t index);
  bool renameFileAt(size_t index, const std::string& newName);

  // Moves a local file to "Documents/<its name>" in the container (the
  // cloud flow's last step after a backup). False when unavailable or taken.
  bool moveToContainer(const std::filesystem::path& localFile);
  // Moves every top-level file of the documents folder whose extension is
  // exactly the backup extension into the container; returns how many.
  size_t uploadLocalBackupFile();
  // uploadLocalBackupFile on the main queue after `delay` seconds (the
  // application asks 30 s after start).
  void scheduleUploadLocalBackupFile(double delay = 30.0);

  std::optional<std::filesystem::path> ubiquitousURL() const;
  bool gettingUbiquitousURL() const { return gettingURL_.load(); }
  const platform::MetadataQuery* dataSource() const { return query_.get(); }
  platform::MetadataQuery* dataSource() { return query_.get(); }
  platform::CloudContainer& container() { return *container_; }

  void queryDidStartedNotification(const platform::Notification& notification);
  void queryDidFinishedNotification(const platform::Notification& notification);
  void queryDidReceiveNotification(const platform::Notification& notification);

 private:
  explicit ICloudManager(std::shared_ptr<platform::CloudContainer> container);
  void lookUp();
  void containerKnown();
  void refresh(const char* notificationName);
  // The next query update, on the next pass, so that an observer added
  // right after a change still sees it.
  void scheduleQueryUpdate();

  std::shared_ptr<platform::CloudContainer> container_;
  std::atomic<bool> gettingURL_{true};
  std::atomic<bool> lookedUp_{false};
  mutable std::mutex urlMutex_;
  std::optional<std::filesystem::path> ubiquitousURL_;
  std::unique_ptr<platform::MetadataQuery> query_;
  std::vector<platform::MetadataItem> results_;
};
