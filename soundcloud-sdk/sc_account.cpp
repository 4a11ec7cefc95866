#include "soundcloud-sdk/sc_account.h"

namespace scsdk {

platform::Dictionary SCAccount::userInfo() const {
  if (!oauthAccount_) return {};
  const platform::Dictionary* d = oauthAccount_->userData().dictionary();
  return d ? *d : platform::Dictionary{};
}

void SCAccount::setUserInfo(platform::Dictionary userInfo) {
  if (oauthAccount_) oauthAccount_->setUserData(platform::Value(std::move(userInfo)));
}

}  // namespace scsdk
