#pragma once
// Names the OAuth2 layer shares with its callers: error domains and codes,
// notification names, user-info keys and configuration keys.

#include <cstdint>

namespace nxoauth2 {

inline constexpr const char* NXOAuth2ErrorDomain = "NXOAuth2ErrorDomain";
inline constexpr const char* NXOAuth2HTTPErrorDomain = "NXOAuth2HTTPErrorDomain";

// The authorization server's error names (in a redirect), as codes.
inline constexpr int64_t NXOAuth2InvalidRequestErrorCode = -1001;
inline constexpr int64_t NXOAuth2InvalidClientErrorCode = -1002;
inline constexpr int64_t NXOAuth2UnauthorizedClientErrorCode = -1003;
inline constexpr int64_t NXOAuth2RedirectURIMismatchErrorCode = -1004;
inline constexpr int64_t NXOAuth2AccessDeniedErrorCode = -1005;
inline constexpr int64_t NXOAuth2UnsupportedResponseTypeErrorCode = -1006;
inline constexpr int64_t NXOAuth2InvalidScopeErrorCode = -1007;
// A refresh failed for good.
inline constexpr int64_t NXOAuth2CouldNotRefreshTokenErrorCode = -2001;
// A token endpoint answered with success but without an access token, while
// no token was held (so nothing could be "lost").
inline constexpr int64_t NXOAuth2NoAccessTokenErrorCode = -2002;
// A sign-in was asked for an account type without a usable configuration.
inline constexpr int64_t NXOAuth2MissingConfigurationErrorCode = -2003;

// Connection notifications; object: the connection (NXOAuth2Connection*).
inline constexpr const char* NXOAuth2ConnectionDidStartNotification = "NXOAuth2ConnectionDidStartNotification";
inline constexpr const char* NXOAuth2ConnectionDidEndNotification = "NXOAuth2ConnectionDidEndNotification";

// Account store notifications; object: the store (NXOAuth2AccountStore*).
inline constexpr const char* NXOAuth2AccountStoreAccountsDidChangeNotification =
    "NXOAuth2AccountStoreAccountsDidChangeNotification";
inline constexpr const char* NXOAuth2AccountStoreDidFailToRequestAccessNotification =
    "NXOAuth2AccountStoreDidFailToRequestAccessNotification";
// Account notifications; object: the account (std::shared_ptr<NXOAuth2Account>).
inline constexpr const char* NXOAuth2AccountDidChangeUserDataNotification = "NXOAuth2AccountDidChangeUserDataNotification";
inline constexpr const char* NXOAuth2AccountDidChangeAccessTokenNotification =
    "NXOAuth2AccountDidChangeAccessTokenNotification";
inline constexpr const char* NXOAuth2AccountDidLoseAccessTokenNotification = "NXOAuth2AccountDidLoseAccessTokenNotification";
inline constexpr const char* NXOAuth2AccountDidFailToGetAccessTokenNotification =
    "NXOAuth2AccountDidFailToGetAccessTokenNotification";

// User-info keys. The new account travels as its identifier (a string; look
// it up with accountWithIdentifier), the error as platform::Error::toValue().
inline constexpr const char* NXOAuth2AccountStoreNewAccountUserInfoKey = "NXOAuth2AccountStoreNewAccountUserInfoKey";
inline constexpr const char* NXOAuth2AccountStoreAccountType = "kNXOAuth2AccountStoreAccountType";
inline constexpr const char* NXOAuth2AccountStoreErrorKey = "NXOAuth2AccountStoreErrorKey";

// Configuration keys of an account type. URLs are stored as their absolute
// strings, the scope as an array of strings, the additional parameters as
// a dictionary.
inline constexpr const char* kNXOAuth2AccountStoreConfigurationClientID = "kNXOAuth2AccountStoreConfigurationClientID";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationSecret = "kNXOAuth2AccountStoreConfigurationSecret";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationAuthorizeURL = "kNXOAuth2AccountStoreConfigurationAuthorizeURL";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationTokenURL = "kNXOAuth2AccountStoreConfigurationTokenURL";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationRedirectURL = "kNXOAuth2AccountStoreConfigurationRedirectURL";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationScope = "kNXOAuth2AccountStoreConfigurationScope";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationTokenType = "kNXOAuth2AccountStoreConfigurationTokenType";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationTokenRequestHTTPMethod =
    "kNXOAuth2AccountStoreConfigurationTokenRequestHTTPMethod";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationKeyChainGroup = "kNXOAuth2AccountStoreConfigurationKeyChainGroup";
inline constexpr const char* kNXOAuth2AccountStoreConfigurationAdditionalAuthenticationParameters =
    "kNXOAuth2AccountStoreConfigurationAdditionalAuthenticationParameters";

// Trust-mode bits of NXOAuth2TrustDelegate.
using NXOAuth2TrustMode = unsigned;
inline constexpr NXOAuth2TrustMode NXOAuth2TrustModeAnyCertificate = 1;
inline constexpr NXOAuth2TrustMode NXOAuth2TrustModeSystemDefault = 2;
inline constexpr NXOAuth2TrustMode NXOAuth2TrustModeSpecificCertificate = 4;

}  // namespace nxoauth2
