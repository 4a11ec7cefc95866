#pragma once
// Names of the SoundCloud request layer: its account type, notifications
// and configuration keys.

namespace scsdk {

// The service's one account type in the account store (stored with every
// account, so it must never change).
inline constexpr const char* kSCAccountType = "com.soundcloud.api";

// Object: the shared SCSoundCloud (SCSoundCloud*). No user info.
inline constexpr const char* SCSoundCloudAccountDidChangeNotification = "SCSoundCloudAccountDidChangeNotification";
// Object: the shared SCSoundCloud; user info: the store's (account type,
// error).
inline constexpr const char* SCSoundCloudDidFailToRequestAccessNotification =
    "SCSoundCloudDidFailToRequestAccessNotification";
// Object: the NXOAuth2Account whose token request failed
// (std::shared_ptr<nxoauth2::NXOAuth2Account>). No user info.
inline constexpr const char* SCAccountDidFailToGetAccessToken = "SCAccountDidFailToGetAccessToken";

// The configuration's own key in the store (beside the store's keys).
inline constexpr const char* kSCConfigurationAPIURL = "kSCConfigurationAPIURL";
// Keys of SCSoundCloud::configuration().
inline constexpr const char* kSCConfigurationClientID = "kSCConfigurationClientID";
inline constexpr const char* kSCConfigurationSecret = "kSCConfigurationSecret";
inline constexpr const char* kSCConfigurationRedirectURL = "kSCConfigurationRedirectURL";
inline constexpr const char* kSCConfigurationAuthorizeURL = "kSCConfigurationAuthorizeURL";
inline constexpr const char* kSCConfigurationSandbox = "kSCConfigurationSandbox";

}  // namespace scsdk
