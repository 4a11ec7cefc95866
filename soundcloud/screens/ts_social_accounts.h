#pragma once
// Where the sharing screen finds the accounts of the social networks it
// posts to ("Twitter", "Facebook"), asks for permission to use them and
// posts a track's link.
//
// The desktop has no system-wide account store, so the standing one is the
// signed-in SoundCloud user's own connections: the accounts are the
// connections of type "twitter" and "facebook_profile" (named by their
// display names), access is granted while the connection exists, and a
// post goes through the service's request layer as the service's sharing
// of the new track to that connection ("tracks/<id>/shared-to/connections"
// with "connections[][id]" and the message as "sharing_note"). The
// endpoint path the screen names is for stores that talk to the networks
// themselves; this one does not use it. A failed post is shown as an error
// alert.
//
// Main thread only; answers come on a later pass of the main run loop.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace tssc {

inline constexpr const char* kTSServiceTwitter = "Twitter";
inline constexpr const char* kTSServiceFacebook = "Facebook";
// Keys of the access options.
inline constexpr const char* kTSFacebookAppIdKey = "facebook_app_id";
inline constexpr const char* kTSFacebookPermissionsKey = "facebook_permissions";
inline constexpr const char* kTSFacebookAudienceKey = "facebook_audience";
inline constexpr const char* kTSFacebookAudienceFriends = "friends";

class TSSocialAccountStore {
 public:
  using AccessCompletion = std::function<void(bool granted)>;
  virtual ~TSSocialAccountStore() = default;

  virtual bool hasAccount(const std::string& service) const = 0;
  // The user names of the service's accounts, first one first.
  virtual std::vector<std::string> accountNames(const std::string& service) const = 0;
  // `completion` runs later on the main run loop.
  virtual void requestAccess(const std::string& service, const platform::Dictionary& options,
                             AccessCompletion completion) = 0;
  // Posts `parameters` (as the screen builds them for the service's
  // endpoint `path`) about the uploaded track `trackId`.
  virtual void post(const std::string& service, const std::string& path, const platform::Dictionary& parameters,
                    std::optional<int64_t> trackId) = 0;

  // The store the sharing screens use; the SoundCloud connections unless
  // one was set (tests).
  static std::shared_ptr<TSSocialAccountStore> shared();
  static void setShared(std::shared_ptr<TSSocialAccountStore> store);
};

class TSSoundCloudConnectionAccountStore : public TSSocialAccountStore {
 public:
  // The connection type of a service name; nullopt for other names.
  static std::optional<std::string> connectionType(const std::string& service);

  bool hasAccount(const std::string& service) const override;
  std::vector<std::string> accountNames(const std::string& service) const override;
  void requestAccess(const std::string& service, const platform::Dictionary& options,
                     AccessCompletion completion) override;
  void post(const std::string& service, const std::string& path, const platform::Dictionary& parameters,
            std::optional<int64_t> trackId) override;

 private:
  std::vector<platform::Value> connections(const std::string& service) const;
};

}  // namespace tssc
