#include "library/backup/icloud_manager.h"

#include <algorithm>

#include "library/backup/backup_archive.h"
#include "library/backup/backup_creator.h"
#include "library/backup/backup_log.h"
#include "library/utilities.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

namespace fs = std::filesystem;

namespace {

std::mutex gManagerMutex;
std::shared_ptr<ICloudManager> gManager;

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

std::shared_ptr<ICloudManager> ICloudManager::sharedInstance() {
  std::lock_guard<std::mutex> lock(gManagerMutex);
  static bool registered = false;
  if (!gManager) {
    gManager = create(std::make_shared<platform::DirectoryCloudContainer>());
    if (!registered) {
      registered = true;
      platform::NotificationCenter::defaultCenter().addObserver(
          &gManager, kApplicationWillTerminateNotification, [](const platform::Notification&) { cleanup(); });
    }
  }
  return gManager;
}

void ICloudManager::cleanup() {
  std::shared_ptr<ICloudManager> dropped;
  std::lock_guard<std::mutex> lock(gManagerMutex);
  dropped.swap(gManager);
}

std::shared_ptr<ICloudManager> ICloudManager::create(std::shared_ptr<platform::CloudContainer> container) {
  std::shared_ptr<ICloudManager> manager(new ICloudManager(std::move(container)));
  manager->lookUp();
  return manager;
}

ICloudManager::ICloudManager(std::shared_ptr<platform::CloudContainer> container)
    : container_(std::move(container)) {}

ICloudManager::~ICloudManager() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  platform::NotificationQueue::defaultQueue().dequeue(kICloudManagerDidFinishedNotification);
  platform::NotificationQueue::defaultQueue().dequeue(kICloudManagerDidUpdateNotification);
}

void ICloudManager::lookUp() {
  gettingURL_.store(true);
  std::weak_ptr<ICloudManager> weak = weak_from_this();
  std::shared_ptr<platform::CloudContainer> container = container_;
  platform::dispatchAsyncGlobal([weak, container] {
    auto url = container->URLForUbiquityContainer();
    if (auto self = weak.lock()) {
      std::lock_guard<std::mutex> lock(self->urlMutex_);
      self->ubiquitousURL_ = url;
    }
    platform::dispatchAsyncMain([weak] {
      if (auto self = weak.lock()) self->containerKnown();
    });
  });
}

void ICloudManager::containerKnown() {
  gettingURL_.store(false);
  lookedUp_.store(true);
  if (!ubiquitousURL()) return;
  auto& center = platform::NotificationCenter::defaultCenter();
  query_ = std::make_unique<platform::MetadataQuery>(container_, "." + BackupFileNameCreator::dataExtension());
  const platform::MetadataQuery* query = query_.get();
  auto mine = [query](const platform::Notification& n) {
    const auto* sender = n.objectAs<platform::MetadataQuery*>();
    return sender && *sender == query;
  };
  center.addObserver(this, platform::kMetadataQueryDidUpdateNotification,
                     [this, mine](const platform::Notification& n) {
                       if (mine(n)) queryDidReceiveNotification(n);
                     });
  center.addObserver(this, platform::kMetadataQueryDidStartGatheringNotification,
                     [this, mine](const platform::Notification& n) {
                       if (mine(n)) queryDidStartedNotification(n);
                     });
  center.addObserver(this, platform::kMetadataQueryDidFinishGatheringNotification,
                     [this, mine](const platform::Notification& n) {
                       if (mine(n)) queryDidFinishedNotification(n);
                     });
  query_->startQuery();
}

int64_t ICloudManager::status() const {
  if (gettingURL_.load()) return 0;
  return ubiquitousURL() ? 1 : 2;
}

bool ICloudManager::isSearching() const { return query_ && query_->isGathering(); }

std::optional<platform::MetadataItem> ICloudManager::itemAt(size_t index) const {
  if (index >= results_.size()) return std::nullopt;
  return results_[index];
}

int64_t ICloudManager::indexOfURL(const fs::path& url) const {
  for (size_t i = 0; i < results_.size(); ++i)
    if (results_[i].url == url) return static_cast<int64_t>(i);
  return -1;
}

bool ICloudManager::isFileAvailable(const platform::MetadataItem& item) const {
  return item.downloadingStatus != platform::UbiquitousItemDownloadingStatus::NotDownloaded;
}

std::optional<fs::path> ICloudManager::ubiquitousURL() const {
  std::lock_guard<std::mutex> lock(urlMutex_);
  return ubiquitousURL_;
}

void ICloudManager::queryDidStartedNotification(const platform::Notification&) {}

void ICloudManager::queryDidFinishedNotification(const platform::Notification&) {
  refresh(kICloudManagerDidFinishedNotification);
}

void ICloudManager::queryDidReceiveNotification(const platform::Notification&) {
  refresh(kICloudManagerDidUpdateNotification);
}

void ICloudManager::refresh(const char* notificationName) {
  if (!query_) return;
  std::vector<platform::MetadataItem> items = query_->results();
  // Newest first; the query itself delivers them oldest first.
  std::stable_sort(items.begin(), items.end(), [](const platform::MetadataItem& a, const platform::MetadataItem& b) {
    return b.contentChangeDate.secondsSince1970 < a.contentChangeDate.secondsSince1970;
  });
  results_ = std::move(items);
  for (const platform::MetadataItem& item : results_) {
    if (item.downloadingStatus == platform::UbiquitousItemDownloadingStatus::NotDownloaded && !item.isDownloading)
      container_->startDownloadingUbiquitousItem(item.url);
  }
  auto& queue = platform::NotificationQueue::defaultQueue();
  queue.dequeue(notificationName);
  queue.enqueue(platform::Notification{notificationName, this, {}}, platform::PostingStyle::ASAP);
}

void ICloudManager::scheduleQueryUpdate() {
  std::weak_ptr<ICloudManager> weak = weak_from_this();
  platform::dispatchAsyncMain([weak] {
    if (auto self = weak.lock(); self && self->query_) self->query_->update();
  });
}

bool ICloudManager::removeFile(const fs::path& url) {
  std::string error;
  if (!container_->removeItem(url, &error)) {
    backupLog("cannot remove the cloud backup: " + error);
    return false;
  }
  scheduleQueryUpdate();
  return true;
}

bool ICloudManager::renameFile(const fs::path& url, const std::string& newName) {
  if (!isPlainFileName(newName)) return false;
  std::string error;
  if (!container_->moveItem(url, url.parent_path() / newName, &error)) {
    backupLog("cannot rename the cloud backup: " + error);
    return false;
  }
  scheduleQueryUpdate();
  return true;
}

bool ICloudManager::removeFileAt(size_t index) {
  if (index >= results_.size()) return false;
  return removeFile(results_[index].url);
}

bool ICloudManager::renameFileAt(size_t index, const std::string& newName) {
  if (index >= results_.size()) return false;
  return renameFile(results_[index].url, newName);
}

bool ICloudManager::moveToContainer(const fs::path& localFile) {
  const auto root = ubiquitousURL();
  if (!root) return false;
  std::string error;
  if (!container_->setUbiquitous(localFile, *root / "Documents" / localFile.filename(), &error)) {
    backupLog("cannot move " + localFile.filename().string() + " to the cloud: " + error);
    return false;
  }
  scheduleQueryUpdate();
  return true;
}

size_t ICloudManager::uploadLocalBackupFile() {
  if (!ubiquitousURL()) return 0;
  const auto docs = Utilities::applicationiTunesDocumentsDirectory();
  if (!docs) return 0;
  const std::string extension = "." + BackupFileNameCreator::dataExtension();
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(*docs, ec), end; !ec && it != end; it.increment(ec)) {
    if (!fs::is_regular_file(it->symlink_status(ec))) continue;
    if (it->path().extension().string() != extension) continue;
    files.push_back(it->path());
  }
  if (ec) return 0;
  std::sort(files.begin(), files.end());
  size_t moved = 0;
  for (const fs::path& file : files)
    if (moveToContainer(file)) ++moved;
  return moved;
}

void ICloudManager::scheduleUploadLocalBackupFile(double delay) {
  std::weak_ptr<ICloudManager> weak = weak_from_this();
  platform::dispatchAfterMain(delay, [weak] {
    if (auto self = weak.lock()) self->uploadLocalBackupFile();
  });
}
