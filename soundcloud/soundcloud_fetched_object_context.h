#pragma once
// The model behind a paged list of SoundCloud tracks: it fetches pages of
// track records (25 at a time) from a resource path, keeps the parsed
// track dictionaries in arrival order, answers questions about the track at
// a row, runs the per-track operations (delete, update, favourite,
// unfavourite) and caches per track its comments, its attachment link and
// its waveform image, and per user the avatar.
//
// It never calls its users: every request is announced before it starts and
// after it ends ("SCFetchWillStart", "SCFetchDidFinish", "SCFetchDidFailed",
// object: the context as SoundCloudFetchedObjectContext*) with the
// request's descriptor ("name" and the ids concerned); a page reply carries
// "result_count", and 0 means no further page.
//
// Rows out of range answer nothing (a null value, nullopt, false or -1)
// instead of failing; replies are read with type checks; ids are 64-bit;
// the image caches are bounded (oldest entries go first). Starting a page
// cancels the page request before it, including its pending retries, so a
// stale page never arrives.
//
// Main thread only. Made shared (replies hold it weakly).

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/gfx/image.h"
#include "platform/net/url.h"
#include "platform/notify/notification_center.h"
#include "soundcloud/ts_downloader.h"
#include "soundcloud/ts_soundcloud_executor.h"

namespace tssc {

inline constexpr const char* SCFetchWillStart = "SCFetchWillStart";
inline constexpr const char* SCFetchDidFinish = "SCFetchDidFinish";
inline constexpr const char* SCFetchDidFailed = "SCFetchDidFailed";

class SoundCloudFetchedObjectContextObserver {
 public:
  virtual ~SoundCloudFetchedObjectContextObserver() = default;
  virtual void soundCloudFetchedObjectContextWillStartFetching(const platform::Notification& notification);
  virtual void soundCloudFetchedObjectContextDidFinishFetching(const platform::Notification& notification);
  virtual void soundCloudFetchedObjectContextDidFailedFetching(const platform::Notification& notification);
};

// One browsing request: what fetch() takes, and a state for the screen.
struct SCBrowserSearchContext {
  int64_t fetchState = 0;
  uint64_t page = 0;
  TSParameters parameters;
  std::string target;
};

class SoundCloudFetchedObjectContext : public TSSoundCloudAPIConnectionDelegate,
                                       public TSDownloaderDelegate,
                                       public std::enable_shared_from_this<SoundCloudFetchedObjectContext> {
 public:
  static constexpr uint64_t kPageSize = 25;
  static constexpr uint64_t kCommentLimit = 50;
  static constexpr size_t kMaxCachedImages = 256;

  static std::shared_ptr<SoundCloudFetchedObjectContext> make();
  ~SoundCloudFetchedObjectContext() override;

  void addObserver(SoundCloudFetchedObjectContextObserver* observer);
  void removeObserver(SoundCloudFetchedObjectContextObserver* observer);

  void fetch(const TSParameters& parameters, const std::string& target, uint64_t page);
  void clear() { tracks_.clear(); }
  void clearAll();
  void didReceiveMemoryWarning();

  size_t count() const { return tracks_.size(); }
  int64_t trackIndexFor(int64_t trackId) const;
  platform::Value trackObjectAt(size_t row) const;
  std::optional<int64_t> trackIdAt(size_t row) const;
  platform::Value trackNameAt(size_t row) const { return field(row, "title"); }
  platform::Value trackAuthorAt(size_t row) const;
  std::string trackGenreAt(size_t row) const;
  platform::Value trackPlaybackCountAt(size_t row) const { return field(row, "playback_count"); }
  platform::Value trackTagsAt(size_t row) const { return field(row, "tag_list"); }
  platform::Value trackDescriptionAt(size_t row) const { return field(row, "description"); }
  platform::Value trackCreateDateAt(size_t row) const { return field(row, "created_at"); }
  platform::Value trackDurationAt(size_t row) const { return field(row, "duration"); }
  std::optional<int64_t> trackUserIdAt(size_t row) const;
  bool isTrackReadyToPlayAt(size_t row) const;
  bool isTrackStreamableAt(size_t row) const;
  std::optional<std::string> trackStreamUrlAt(size_t row) const;
  bool isTrackCommentableAt(size_t row) const;
  bool isTrackCommentableFor(int64_t trackId) const;
  std::optional<int64_t> searchUserIdByName(const std::string& username) const;

  void removeTrackAt(size_t row);
  void updateTrackFor(int64_t trackId, const TSParameters& parameters);
  void favoriteTrackFor(int64_t trackId);
  void defavoriteTrackFor(int64_t trackId);

  std::optional<platform::URL> tryToRetrieveAttachmentHref(int64_t trackId);
  std::optional<platform::URL> trackAttachmentHrefAt(size_t row);
  platform::ImagePtr tryToRetrieveUserPictureAt(size_t row);
  platform::ImagePtr trackUserPictureAt(size_t row) { return tryToRetrieveUserPictureAt(row); }
  platform::ImagePtr trackUserPictureForUserId(int64_t userId) const;
  void tryToRetrieveWavImage(size_t row);
  platform::ImagePtr trackWavImageFor(int64_t trackId) const;
  void fetchCommentsFor(int64_t trackId);
  void fetchCommentsAt(size_t row);
  // The cached comments; nullopt while they are being fetched, or after
  // starting their request.
  std::optional<platform::Array> trackCommentsFor(int64_t trackId);
  std::optional<platform::Array> trackCommentsAt(size_t row);
  int64_t numberOfCommentsFor(int64_t trackId) const;
  bool isRetrievingComments() const { return isRetrievingComments_; }
  const TSRequestHandle& connectionId() const { return connectionId_; }
  void setConnectionId(TSRequestHandle handle) { connectionId_ = std::move(handle); }
  const std::vector<platform::Value>& tracks() const { return tracks_; }
  // Whether an attachment lookup is cached (a link, or none at all).
  bool hasAttachmentResult(int64_t trackId) const { return attachments_.count(trackId) > 0; }

  // TSSoundCloudAPIConnectionDelegate
  void soundCloudAPIDidFinishWithData(const platform::Data& data, const platform::Dictionary& userInfo) override;
  void soundCloudAPIDidFailWithError(const platform::Error& error, const platform::Dictionary& userInfo) override;
  // TSDownloaderDelegate
  void tsDownloaderDownloadStarted(TSDownloader& downloader) override;
  void tsDownloaderDownloadFinished(TSDownloader& downloader, const platform::Data& data) override;
  void tsDownloaderDownloadFailed(TSDownloader& downloader, const platform::Error& error) override;

 private:
  SoundCloudFetchedObjectContext() = default;
  platform::Value field(size_t row, const char* key) const;
  void notify(const char* name, platform::Dictionary userInfo);
  void download(const std::string& url, platform::Dictionary descriptor);
  void favorite(int64_t trackId, bool on);
  static void cache(std::map<int64_t, platform::ImagePtr>& images, std::deque<int64_t>& order, int64_t key,
                    platform::ImagePtr image);

  std::vector<platform::Value> tracks_;
  // nullopt: the track has no attachment.
  std::map<int64_t, std::optional<platform::URL>> attachments_;
  std::map<int64_t, platform::Array> comments_;
  std::map<int64_t, platform::ImagePtr> wavImage_;
  std::deque<int64_t> wavOrder_;
  std::map<int64_t, platform::ImagePtr> userImage_;
  std::deque<int64_t> userOrder_;
  bool isRetrievingComments_ = false;
  TSRequestHandle connectionId_;
  std::map<const void*, std::vector<platform::NotificationCenter::Token>> observers_;
  std::vector<std::weak_ptr<TSDownloader>> downloads_;
};

}  // namespace tssc
