#include "soundcloud/screens/ts_upload_entry.h"

#include "platform/ui/alert_view.h"
#include "soundcloud/ts_soundcloud_api.h"

namespace tssc {

namespace {

void showError(const std::string& message) {
  auto alert = std::make_shared<platform::AlertView>("Error", message, nullptr, std::string("OK"),
                                                     std::vector<std::string>{});
  alert->show();
}

void open(const std::weak_ptr<platform::ViewController>& presenter, const std::filesystem::path& file,
          std::optional<double> tempo, const TSUploadEntry::Opened& opened) {
  auto p = presenter.lock();
  if (!p) {
    if (opened) opened(nullptr);
    return;
  }
  auto editor = std::make_shared<SoundCloudInfoEditViewController>(file, tempo);
  p->presentViewController(SoundCloudInfoEditViewController::uploadNavigationController(editor), true,
                           [opened, editor] {
                             if (opened) opened(editor);
                           });
}

}  // namespace

void TSUploadEntry::presentUploadEditor(platform::ViewController& presenter, const std::filesystem::path& audioFile,
                                        std::optional<double> tempo, Opened opened) {
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  if (!api) {
    showError(TSSoundCloudAPI::startupError().value_or("SoundCloud sharing is not available."));
    if (opened) opened(nullptr);
    return;
  }
  std::weak_ptr<platform::ViewController> weak = presenter.weak_from_this();
  if (TSSoundCloudAPI::isLoggedIn()) return open(weak, audioFile, tempo, opened);
  TSSoundCloudAPI::showLoginWindow([weak, audioFile, tempo, opened](const std::optional<platform::Error>& error) {
    if (!error && TSSoundCloudAPI::isLoggedIn()) return open(weak, audioFile, tempo, opened);
    // The login screen reports its own failures, and a cancel is no failure;
    // only this layer's own (no login screen at all) is left to show.
    if (error && error->domain == TSSoundCloudErrorDomain) showError(error->localizedDescription());
    if (opened) opened(nullptr);
  });
}

}  // namespace tssc
