#pragma once
// The SoundCloud request layer's entry points: it configures the account
// store for the service's account type, signs in (through a prepared
// authorization URL for a web sign-in, or with user name and password),
// says who is signed in, signs out, and re-posts the store's notifications
// under its own names (sc_constants.h), whatever account type they concern.
//
// The service's endpoints are configuration: by default the authorization
// page "https://soundcloud.com/connect", the token endpoint
// "https://api.soundcloud.com/oauth2/token", the API base
// "https://api.soundcloud.com/" and the sandbox token endpoint
// "https://api.sandbox-soundcloud.com/oauth2/token"; tests point them at a
// local server.
//
// The shared instance exists from the first use of any entry point on, and
// for the rest of the process, so its observers are in place before a
// sign-in. Main thread; notifications are posted on the thread that caused
// them.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/value.h"
#include "platform/net/url.h"
#include "soundcloud-sdk/sc_account.h"
#include "soundcloud-sdk/sc_constants.h"

namespace scsdk {

struct SCServiceEndpoints {
  platform::URL authorizeURL;
  platform::URL tokenURL;
  platform::URL apiURL;
  platform::URL sandboxTokenURL;

  static SCServiceEndpoints standard();
};

class SCSoundCloud {
 public:
  using PreparedAuthorizationURLHandler = std::function<void(const platform::URL& preparedURL)>;

  static SCSoundCloud& shared();

  // Used by later setClientID calls.
  static void setServiceEndpoints(SCServiceEndpoints endpoints);
  static SCServiceEndpoints serviceEndpoints();

  // Replaces the service's configuration. All three values are required
  // (std::invalid_argument otherwise).
  static void setClientID(const std::string& clientID, const std::string& secret, const platform::URL& redirectURL);
  // The configuration under the "kSC..." keys, with "kSCConfigurationSandbox"
  // telling whether the token endpoint is the sandbox's. std::logic_error
  // when nothing is configured.
  static platform::Dictionary configuration();

  // The first stored account of the service, wrapped anew; nullptr when
  // nobody is signed in.
  static std::shared_ptr<SCAccount> account();
  // Signs out, then hands the authorization URL to the block at once.
  static void requestAccessWithPreparedAuthorizationURLHandler(const PreparedAuthorizationURLHandler& handler);
  // Offers a URL the sign-in page is about to load to the store.
  static bool handleRedirectURL(const platform::URL& url);
  // The password grant; existing accounts are kept.
  void requestAccessWithUsername(const std::string& username, const std::string& password);
  // Removes every account of the service.
  static void removeAccess();

 private:
  SCSoundCloud();
};

}  // namespace scsdk
