#pragma once
// One signed-in SoundCloud account: a thin wrapper of the store's account.
// Wrappers are made anew on every ask; compare them by identifier.
//
// Main thread.

#include <memory>
#include <string>

#include "oauth2/nxoauth2_account.h"
#include "platform/foundation/value.h"

namespace scsdk {

class SCAccount {
 public:
  explicit SCAccount(std::shared_ptr<nxoauth2::NXOAuth2Account> oauthAccount) : oauthAccount_(std::move(oauthAccount)) {}

  const std::shared_ptr<nxoauth2::NXOAuth2Account>& oauthAccount() const { return oauthAccount_; }
  std::string identifier() const { return oauthAccount_ ? oauthAccount_->identifier() : std::string(); }
  // The account's user data as a dictionary (empty when it is none).
  platform::Dictionary userInfo() const;
  void setUserInfo(platform::Dictionary userInfo);

 private:
  std::shared_ptr<nxoauth2::NXOAuth2Account> oauthAccount_;
};

}  // namespace scsdk
