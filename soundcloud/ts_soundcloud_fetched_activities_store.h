#pragma once
// The signed-in user's activity feed: comments other users wrote on the
// user's tracks and favouritings of them. The store pages backwards through
// the feed of the user's own tracks ("me/activities/all/own"), checks each
// activity's track and keeps only tracks uploaded with this application,
// flattens every survivor into a small record, drops duplicates, keeps the
// list newest first, fetches newer activities on request, caches avatars and
// user records, keeps the feed's paging links in the user defaults and
// loads and saves the list as a property-list file.
//
// Flat record keys: "type" ("comment" / "favoriting"), "created_at" (text
// "yyyy/MM/dd HH:mm:ss Z"), "comment_id" and "body" (comments only),
// "track_id", "track_title", "user_id", "user_name", "user_avatar" (""
// when the service has none).
//
// Announcements (object: the store, as TSSoundCloudFetchedActivitiesStore*):
// "SoundCloudFetchedActivitiesStore{WillStart,DidFinish,DidFailed}Fetching"
// with the request's descriptor; a page reply carries "result_count", and
// 0 means no older page will come.
//
// Where this differs from the letter of the feed's first design, on purpose:
// - a track is checked once per page however many activities concern it;
// - cancelFetch also cancels the outstanding track checks and ends the
//   fetch (isFetching false), so later fetches are not refused for good;
// - clearActivities (sign-out) also forgets the paging links and the
//   finished mark, so the next account does not page from the last one's;
// - the list is written atomically, and a restored file is checked record
//   by record (anything malformed is left out);
// - the avatar and user caches are bounded (oldest entries go first), and a
//   user record is asked for once while its request runs.
//
// Main thread only. Made shared (replies hold it weakly).

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/user_defaults.h"
#include "platform/foundation/value.h"
#include "platform/gfx/image.h"
#include "platform/notify/notification_center.h"
#include "soundcloud/ts_downloader.h"
#include "soundcloud/ts_soundcloud_executor.h"

namespace tssc {

inline constexpr const char* SoundCloudFetchedActivitiesStoreWillStartFetching =
    "SoundCloudFetchedActivitiesStoreWillStartFetching";
inline constexpr const char* SoundCloudFetchedActivitiesStoreDidFinishFetching =
    "SoundCloudFetchedActivitiesStoreDidFinishFetching";
inline constexpr const char* SoundCloudFetchedActivitiesStoreDidFailedFetching =
    "SoundCloudFetchedActivitiesStoreDidFailedFetching";
inline constexpr const char* kDravelundActivityNextHref = "Dravelund_Activity_Next_Href";
inline constexpr const char* kDravelundActivityFutureHref = "Dravelund_Activity_Future_Href";

class TSSoundCloudFetchedActivitiesStoreObserver {
 public:
  virtual ~TSSoundCloudFetchedActivitiesStoreObserver() = default;
  virtual void soundCloudFetchedActivitiesStoreWillStartFetching(const platform::Notification& notification);
  virtual void soundCloudFetchedActivitiesStoreDidFinishFetching(const platform::Notification& notification);
  virtual void soundCloudFetchedActivitiesStoreDidFailedFetching(const platform::Notification& notification);
};

class TSSoundCloudFetchedActivitiesStore : public TSDownloaderDelegate,
                                           public std::enable_shared_from_this<TSSoundCloudFetchedActivitiesStore> {
 public:
  static constexpr int64_t kDefaultPageSize = 50;
  static constexpr double kFeedAge = 15552000.0;  // 180 days
  static constexpr size_t kMaxCachedUsers = 256;

  // Links come from (and go back to) `defaults`; the standard user
  // defaults when none is given.
  static std::shared_ptr<TSSoundCloudFetchedActivitiesStore> make(platform::UserDefaults* defaults = nullptr);
  ~TSSoundCloudFetchedActivitiesStore() override;

  void addObserver(TSSoundCloudFetchedActivitiesStoreObserver* observer);
  void removeObserver(TSSoundCloudFetchedActivitiesStoreObserver* observer);

  // The next older page; the arguments are not used.
  void fetch(const platform::Dictionary& parameters = {}, const std::string& target = {}, uint64_t page = 0);
  void fetchLatest();
  void cancelFetch();
  void clearActivities();
  void clear();
  void didReceiveMemoryWarning() { clear(); }

  size_t count() const { return activities_.size(); }
  // Fields of the record at a row; a null value for a row out of range.
  platform::Value typeAt(size_t row) const { return field(row, "type"); }
  platform::Value trackIdAt(size_t row) const { return field(row, "track_id"); }
  platform::Value trackTitleAt(size_t row) const { return field(row, "track_title"); }
  platform::Value dateAt(size_t row) const { return field(row, "created_at"); }
  platform::Value usernameAt(size_t row) const { return field(row, "user_name"); }
  platform::Value userIdAt(size_t row) const { return field(row, "user_id"); }
  std::string bodyAt(size_t row) const;
  platform::ImagePtr avatarAt(size_t row);
  std::optional<std::string> userCountryForUserId(int64_t userId);
  std::optional<std::string> userCountryAt(size_t row);

  bool restoreActivities(const std::filesystem::path& path);
  // Writes a non-empty list (atomically); answers whether the file holds it.
  bool saveActivities(const std::filesystem::path& path) const;

  // Flatten and add one raw activity of the feed.
  void retrieveContent(const platform::Value& activity);
  void retrieveComment(const platform::Value& activity);
  void retrieveFavorite(const platform::Value& activity);

  const std::vector<platform::Dictionary>& activities() const { return activities_; }
  bool isFetching() const { return isFetching_; }
  bool shouldBeFinished() const { return shouldBeFinished_; }
  const TSRequestHandle& connectionId() const { return connectionId_; }
  const std::optional<std::string>& nextHref() const { return nextHref_; }
  const std::optional<std::string>& futureHref() const { return futureHref_; }
  void setNextHref(std::optional<std::string> href);
  void setFutureHref(std::optional<std::string> href);
  int64_t pageSize() const { return pageSize_; }
  void setPageSize(int64_t size) { pageSize_ = size; }
  int64_t target() const { return target_; }
  void setTarget(int64_t target) { target_ = target; }
  // Seconds since 1970.
  double limitDate() const { return limitDate_; }
  void setLimitDate(double date) { limitDate_ = date; }
  int64_t searchSize() const { return searchSize_; }
  int64_t searchFutureSize() const { return searchFutureSize_; }
  size_t numberOfBufferedActivities() const { return backward_.remaining; }
  size_t numberOfBufferedFutureActivities() const { return future_.remaining; }
  size_t cachedUserCount() const { return users_.size(); }

  // "yyyy/MM/dd HH:mm:ss Z" → seconds since 1970; nullopt when malformed.
  static std::optional<double> parseDate(const std::string& text);
  // The flat record of a raw activity; nullopt when a value is missing.
  static std::optional<platform::Dictionary> flatten(const platform::Value& activity);

  // TSDownloaderDelegate
  void tsDownloaderDownloadStarted(TSDownloader& downloader) override;
  void tsDownloaderDownloadFinished(TSDownloader& downloader, const platform::Data& data) override;
  void tsDownloaderDownloadFailed(TSDownloader& downloader, const platform::Error& error) override;

 private:
  // One feed reply waiting for its track checks.
  struct Batch {
    std::map<int, platform::Value> buffered;  // position → raw activity
    size_t remaining = 0;
    std::vector<TSRequestHandle> checks;
    bool future = false;
    size_t countBefore = 0;
  };

  explicit TSSoundCloudFetchedActivitiesStore(platform::UserDefaults& defaults);
  platform::Value field(size_t row, const char* key) const;
  void notify(const char* name, platform::Dictionary userInfo);
  void startFeedRequest(const std::string& link, bool future);
  void feedArrived(bool future, const std::optional<platform::HTTPURLResponse>& response, const platform::Data& data,
                   const std::optional<platform::Error>& error);
  void trackChecked(bool future, int64_t trackId, const std::vector<int>& positions, const platform::Data& data,
                    const std::optional<platform::Error>& error);
  void finishBatchIfDone(bool future);
  void sortActivities();
  void cacheImage(int64_t userId, platform::ImagePtr image);
  void writeLinks();

  platform::UserDefaults& defaults_;
  std::vector<platform::Dictionary> activities_;
  std::map<int64_t, platform::ImagePtr> userImage_;
  std::deque<int64_t> userImageOrder_;
  std::map<int64_t, platform::Value> users_;
  std::deque<int64_t> usersOrder_;
  std::set<int64_t> pendingUsers_;
  bool isFetching_ = false;
  bool shouldBeFinished_ = false;
  TSRequestHandle connectionId_;
  std::optional<std::string> nextHref_;
  std::optional<std::string> futureHref_;
  int64_t pageSize_ = kDefaultPageSize;
  int64_t target_ = 0;
  double limitDate_ = 0;
  int64_t searchSize_ = 0;
  int64_t searchFutureSize_ = 0;
  Batch backward_;
  Batch future_;
  std::map<const void*, std::vector<platform::NotificationCenter::Token>> observers_;
  std::vector<std::weak_ptr<TSDownloader>> downloads_;
};

}  // namespace tssc
