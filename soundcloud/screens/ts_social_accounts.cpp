#include "soundcloud/screens/ts_social_accounts.h"

#include "platform/runloop/run_loop.h"
#include "platform/ui/alert_view.h"
#include "soundcloud-sdk/sc_request.h"
#include "soundcloud-sdk/sc_soundcloud.h"
#include "soundcloud/ts_json.h"
#include "soundcloud/ts_soundcloud_api.h"
#include "soundcloud/ts_soundcloud_executor.h"
#include "soundcloud/ts_soundcloud_user.h"

namespace tssc {

namespace {
std::shared_ptr<TSSocialAccountStore>& sharedStore() {
  static std::shared_ptr<TSSocialAccountStore> store;
  return store;
}
}  // namespace

std::shared_ptr<TSSocialAccountStore> TSSocialAccountStore::shared() {
  if (!sharedStore()) sharedStore() = std::make_shared<TSSoundCloudConnectionAccountStore>();
  return sharedStore();
}

void TSSocialAccountStore::setShared(std::shared_ptr<TSSocialAccountStore> store) { sharedStore() = std::move(store); }

std::optional<std::string> TSSoundCloudConnectionAccountStore::connectionType(const std::string& service) {
  if (service == kTSServiceTwitter) return std::string("twitter");
  if (service == kTSServiceFacebook) return std::string("facebook_profile");
  return std::nullopt;
}

std::vector<platform::Value> TSSoundCloudConnectionAccountStore::connections(const std::string& service) const {
  std::vector<platform::Value> out;
  const std::optional<std::string> type = connectionType(service);
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  if (!type || !api || !TSSoundCloudAPI::isLoggedIn()) return out;
  for (const platform::Value& c : api->user()->connections())
    if (tsString(c, "type") == *type) out.push_back(c);
  return out;
}

bool TSSoundCloudConnectionAccountStore::hasAccount(const std::string& service) const {
  return !connections(service).empty();
}

std::vector<std::string> TSSoundCloudConnectionAccountStore::accountNames(const std::string& service) const {
  std::vector<std::string> names;
  for (const platform::Value& c : connections(service)) names.push_back(tsString(c, "display_name").value_or(""));
  return names;
}

void TSSoundCloudConnectionAccountStore::requestAccess(const std::string& service, const platform::Dictionary&,
                                                       AccessCompletion completion) {
  // The user made the connection on the service: it is the permission.
  const bool granted = hasAccount(service);
  platform::RunLoop::main().perform([completion, granted] {
    if (completion) completion(granted);
  });
}

void TSSoundCloudConnectionAccountStore::post(const std::string& service, const std::string&,
                                              const platform::Dictionary& parameters, std::optional<int64_t> trackId) {
  const std::vector<platform::Value> list = connections(service);
  if (list.empty() || !trackId) return;
  const std::optional<int64_t> connectionId = tsInteger(list.front(), "id");
  if (!connectionId) return;
  const char* noteKey = service == kTSServiceTwitter ? "status" : "message";
  auto it = parameters.find(noteKey);
  const std::string note = it != parameters.end() ? it->second.stringValue() : std::string();
  const std::optional<platform::URL> url =
      TSSoundCloudExecutor::resourceURLForPath("tracks/" + std::to_string(*trackId) + "/shared-to/connections");
  if (!url) return;
  TSParameters p;
  p.set("connections[][id]", std::to_string(*connectionId));
  p.set("sharing_note", note);
  scsdk::SCRequest::performMethod(
      scsdk::SCRequestMethodPOST, *url, p, scsdk::SCSoundCloud::account(), nullptr,
      [](const std::optional<platform::HTTPURLResponse>&, const platform::Data&,
         const std::optional<platform::Error>& error) {
        if (error) TSShowError::show(*error);
      });
}

}  // namespace tssc
