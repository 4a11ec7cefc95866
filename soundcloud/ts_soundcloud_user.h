#pragma once
// The signed-in SoundCloud user: name, numeric id, avatar picture, the
// social-network connections of the account, and the activity feed store
// with its count of new activities. The facade owns one; it loads when an
// account signs in and clears the feed when it signs out. The feed is
// restored from Documents/.misc/dravelund_activities.plist on creation and
// saved there on destruction (a non-empty feed only).
//
// Notifications: "SCUserConnectionOK" (object: this record, as
// TSSoundCloudUser*) after the connections arrived; "SCUserOK",
// "SCUserFailed" (user info "AuthInfoError": the error as
// platform::Error::toValue()) and "SCNewActivities", whose object is the
// sender given at creation (the facade).
//
// Replies are read with type checks: a field of another type counts as
// absent. Main thread only. Made shared (requests hold it weakly).

#include <any>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/user_defaults.h"
#include "platform/gfx/image.h"
#include "platform/notify/notification_center.h"
#include "soundcloud/ts_downloader.h"
#include "soundcloud/ts_soundcloud_executor.h"
#include "soundcloud/ts_soundcloud_fetched_activities_store.h"

namespace tssc {

inline constexpr const char* SCUserConnectionOK = "SCUserConnectionOK";
inline constexpr const char* SCAuthChanged = "SCAuthChanged";
inline constexpr const char* SCUserOK = "SCUserOK";
inline constexpr const char* SCUserFailed = "SCUserFailed";
inline constexpr const char* SCNewActivities = "SCNewActivities";
inline constexpr const char* kAuthInfoError = "AuthInfoError";

// Reads one connection record of the service.
class TSSoundCloudConnectionGetter {
 public:
  static platform::Value identifier(const platform::Value& connection) { return member(connection, "id"); }
  static platform::Value created_at(const platform::Value& connection) { return member(connection, "created_at"); }
  static platform::Value name(const platform::Value& connection) { return member(connection, "display_name"); }
  static bool isReadyToPost(const platform::Value& connection) { return member(connection, "post_publish").boolValue(); }
  static platform::Value uri(const platform::Value& connection) { return member(connection, "uri"); }

 private:
  static platform::Value member(const platform::Value& connection, const char* key) {
    const platform::Value* v = connection.find(key);
    return v ? *v : platform::Value();
  }
};

class TSSoundCloudUserListener {
 public:
  virtual ~TSSoundCloudUserListener() = default;
  virtual void soundCloudApiDidLoadedUserConnectionInfo(const platform::Notification& notification) = 0;
};

class TSSoundCloudUser : public TSSoundCloudAPIConnectionDelegate,
                         public TSDownloaderDelegate,
                         public TSSoundCloudFetchedActivitiesStoreObserver,
                         public std::enable_shared_from_this<TSSoundCloudUser> {
 public:
  static constexpr double kReloadAfterAvatar = 20.0;
  static constexpr double kReloadAfterProfile = 0.1;

  // `sender` is the object of the facade's notifications; `defaults` keeps
  // the feed's links (the standard user defaults when none is given).
  static std::shared_ptr<TSSoundCloudUser> make(std::any sender = {}, platform::UserDefaults* defaults = nullptr);
  ~TSSoundCloudUser() override;

  void load();
  void loadConnection();
  // Sign-out: the feed goes, with its file.
  void clearActivities();
  // Sign-out: the profile goes too, so nothing of the old account shows.
  void clearProfile();
  void updateProfile(const TSParameters& parameters);

  // 0 Facebook, 1 Twitter; nullopt for other kinds or when not connected.
  std::optional<platform::Value> connection(int32_t kind) const;
  std::optional<platform::Value> facebookConnection() const { return firstOfType("facebook_profile"); }
  std::optional<platform::Value> twitterConnection() const { return firstOfType("twitter"); }

  void addListener(TSSoundCloudUserListener* listener);
  void removeListener(TSSoundCloudUserListener* listener);

  const std::optional<std::string>& username() const { return username_; }
  const std::optional<int64_t>& userID() const { return userID_; }
  const platform::ImagePtr& picture() const { return picture_; }
  const platform::Array& connections() const { return connections_; }
  const std::shared_ptr<TSSoundCloudFetchedActivitiesStore>& store() const { return store_; }
  int64_t numberOfNewActivities() const { return numberOfNewActivities_; }
  void setNumberOfNewActivities(int64_t n);
  bool authenticated() const;

  // TSSoundCloudAPIConnectionDelegate
  void soundCloudAPIDidFinishWithData(const platform::Data& data, const platform::Dictionary& userInfo) override;
  void soundCloudAPIDidFailWithError(const platform::Error& error, const platform::Dictionary& userInfo) override;
  // TSDownloaderDelegate
  void tsDownloaderDownloadStarted(TSDownloader& downloader) override;
  void tsDownloaderDownloadFinished(TSDownloader& downloader, const platform::Data& data) override;
  void tsDownloaderDownloadFailed(TSDownloader& downloader, const platform::Error& error) override;
  // TSSoundCloudFetchedActivitiesStoreObserver
  void soundCloudFetchedActivitiesStoreDidFinishFetching(const platform::Notification& notification) override;

 private:
  TSSoundCloudUser(std::any sender, platform::UserDefaults* defaults);
  std::optional<platform::Value> firstOfType(const std::string& type) const;
  void post(const char* name, platform::Dictionary userInfo = {});

  std::any sender_;
  std::optional<std::string> username_;
  platform::ImagePtr picture_;
  platform::Array connections_;
  std::optional<int64_t> userID_;
  std::shared_ptr<TSSoundCloudFetchedActivitiesStore> store_;
  int64_t numberOfNewActivities_ = 0;
  std::vector<std::weak_ptr<TSDownloader>> downloads_;
  std::map<const void*, platform::NotificationCenter::Token> listeners_;
};

}  // namespace tssc
