#include "soundcloud/screens/ts_soundcloud_info_sharing_view_controller.h"

#include "platform/ui/navigation_controller.h"
#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"
#include "soundcloud/ts_info_keys.h"
#include "soundcloud/ts_soundcloud_api.h"

namespace tssc {

using platform::BarButtonItem;
using platform::Color;
using platform::Rect;

TSSoundCloudInfoSharingViewController::TSSoundCloudInfoSharingViewController() = default;

TSSoundCloudInfoSharingViewController::~TSSoundCloudInfoSharingViewController() {
  *alive_ = false;
  if (uploader_) uploader_->setDelegate(nullptr);
  if (alert_) alert_->setDelegate(nullptr);
}

TSSocialAccountStore& TSSoundCloudInfoSharingViewController::accounts() {
  if (!accounts_) accounts_ = TSSocialAccountStore::shared();
  return *accounts_;
}

void TSSoundCloudInfoSharingViewController::loadView() {
  auto root = std::make_shared<platform::View>(Rect{0, 0, 500, 400});
  root->setBackgroundColor(Color::whiteColor());
  root->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  message_ = std::make_shared<platform::TextView>(Rect{0, 0, 500, 150});
  message_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  message_->setDelegate(this);
  root->addSubview(message_);
  placeholder_ = std::make_shared<platform::Label>(Rect{8, 8, 484, 40});
  placeholder_->setTextColor(Color::lightGray());
  placeholder_->setNumberOfLines(2);
  placeholder_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  root->addSubview(placeholder_);
  counter_ = std::make_shared<platform::Label>(Rect{420, 152, 70, 20});
  counter_->setTextAlignment(platform::TextAlignment::Right);
  counter_->setAutoresizingMask(platform::Autoresizing::FlexibleLeftMargin);
  root->addSubview(counter_);
  curtain_ = std::make_shared<platform::View>(Rect{0, 0, 500, 175});
  root->addSubview(curtain_);
  separator_ = std::make_shared<platform::View>(Rect{0, 175, 500, 1});
  separator_->setBackgroundColor(Color::lightGray());
  separator_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  root->addSubview(separator_);
  auto serviceRow = [&](double y, std::shared_ptr<platform::Button>& button, std::shared_ptr<platform::Label>& label,
                        const char* name, std::function<void()> action) {
    label = std::make_shared<platform::Label>(Rect{20, y, 300, 44});
    label->setText(name);
    label->setFont(platform::Font::boldSystemFont(17));
    root->addSubview(label);
    button = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{380, y + 7, 100, 30});
    button->setTitle("Off", platform::ControlState::Normal);
    button->setTitle("On", platform::ControlState::Selected);
    button->setAutoresizingMask(platform::Autoresizing::FlexibleLeftMargin);
    button->addTarget(this, name, [action](platform::Control&) { action(); }, platform::ControlEvents::TouchUpInside);
    root->addSubview(button);
  };
  serviceRow(190, twitterButton_, twitterLabel_, kTSServiceTwitter, [this] { twitterButtonPushed(); });
  serviceRow(240, facebookButton_, facebookLabel_, kTSServiceFacebook, [this] { facebookButtonPushed(); });
  setView(root);
}

void TSSoundCloudInfoSharingViewController::viewDidLoad() {
  uploadItem_ = BarButtonItem::titled("Upload", BarButtonItem::Style::Done, [this](BarButtonItem&) { uploadButtonPushed(); });
  navigationItem().setRightBarButtonItem(uploadItem_);
  setTitle("Share");
  navigationItem().setTitle("Share");
  curtain_->setBackgroundColor(Color::rgba(0.8, 0.8, 0.8, 0.75));
  curtain_->setAlpha(0.0);
  curtain_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  message_->setFont(platform::Font::systemFont(15));
  counter_->setTextColor(counterColorWithinLimit());
  titleView_ = std::make_shared<platform::View>(Rect{0, 0, 200, 40});
  prompt_ = std::make_shared<platform::Label>(Rect{0, 2, 200, 20});
  prompt_->setFont(platform::Font::systemFont(13));
  prompt_->setTextAlignment(platform::TextAlignment::Center);
  titleView_->addSubview(prompt_);
  progress_ = std::make_shared<platform::ProgressView>(platform::ProgressView::Style::Bar);
  progress_->setFrame({10, 28, 180, 3});
  titleView_->addSubview(progress_);
}

void TSSoundCloudInfoSharingViewController::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  // A push may announce the appearance before it asks for the view.
  (void)view();
  enableTextView(false);
  twitterLabel_->setTextColor(serviceLabelColorOff());
  facebookLabel_->setTextColor(serviceLabelColorOff());
  twitterLabel_->setText(kTSServiceTwitter);
  facebookLabel_->setText(kTSServiceFacebook);
  twitterButton_->setSelected(false);
  facebookButton_->setSelected(false);
}

void TSSoundCloudInfoSharingViewController::updateCharacterCounter() {
  const size_t n = SoundCloudInformationObject::lengthInUTF16Units(message_->text());
  const long left = static_cast<long>(kMessageLimit) - static_cast<long>(n);
  counter_->setText(std::to_string(left));
  const bool within = n <= kMessageLimit;
  counter_->setTextColor(within ? counterColorWithinLimit() : counterColorPastLimit());
  if (uploadItem_) uploadItem_->setEnabled(within && !uploading_);
}

void TSSoundCloudInfoSharingViewController::textViewDidBeginEditing(platform::TextView&) { placeholder_->setText(""); }

void TSSoundCloudInfoSharingViewController::textViewDidEndEditing(platform::TextView& v) {
  if (v.text().empty()) placeholder_->setText(kPlaceholderOn);
}

void TSSoundCloudInfoSharingViewController::enableTextView(bool enabled) {
  message_->setEditable(enabled);
  const bool empty = message_->text().empty();
  placeholder_->setText(empty ? (enabled ? kPlaceholderOn : kPlaceholderOff) : "");
  updateCharacterCounter();
  platform::View::animate(kCurtainDuration, 0.0, platform::AnimationOptions::CurveEaseInOut,
                          [this, enabled] { curtain_->setAlpha(enabled ? 0.0 : 1.0); });
  message_->setTextColor(enabled ? messageColorOn() : messageColorOff());
}

// ---- services -------------------------------------------------------------------

std::string TSSoundCloudInfoSharingViewController::applicationID() { return tsInfoKey("FacebookAppID").value_or(""); }

std::string TSSoundCloudInfoSharingViewController::applicationDisplayName() {
  if (auto name = tsInfoKey("CFBundleDisplayName")) return *name;
  return tsInfoKey("CFBundleName").value_or("");
}

std::string TSSoundCloudInfoSharingViewController::createAlertMessage(const std::string& service) {
  return "There is no " + service + " account linked with this device. To activate it, go to Settings.app and select " +
         service + ".";
}

std::string TSSoundCloudInfoSharingViewController::createNoGrantMessage(const std::string& service) {
  return applicationDisplayName() + " is not allowed to use your " + service +
         " account. To activate it, go to Settings.app and select " + service + ".";
}

std::string TSSoundCloudInfoSharingViewController::endpointPath(const std::string& service) {
  if (service == kTSServiceFacebook) return "/me/feed";
  if (service == kTSServiceTwitter) return "/1/statuses/update.json";
  return "";
}

platform::Dictionary TSSoundCloudInfoSharingViewController::accessOptions(const std::string& service,
                                                                          bool publish) const {
  if (service != kTSServiceFacebook) return {};
  platform::Dictionary options;
  if (const std::string id = applicationID(); !id.empty()) options[kTSFacebookAppIdKey] = platform::Value(id);
  options[kTSFacebookPermissionsKey] =
      platform::Value(platform::Array{platform::Value(publish ? "publish_actions" : "email")});
  if (publish) options[kTSFacebookAudienceKey] = platform::Value(kTSFacebookAudienceFriends);
  return options;
}

void TSSoundCloudInfoSharingViewController::showError(const std::string& message) {
  auto alert = std::make_shared<platform::AlertView>("Error", message, nullptr, std::string("OK"),
                                                     std::vector<std::string>{});
  alert->show();
}

void TSSoundCloudInfoSharingViewController::twitterButtonPushed() {
  if (!accounts().hasAccount(kTSServiceTwitter)) return showError(createAlertMessage(kTSServiceTwitter));
  requestAccess(kTSServiceTwitter);
}

void TSSoundCloudInfoSharingViewController::facebookButtonPushed() {
  if (!accounts().hasAccount(kTSServiceFacebook)) return showError(createAlertMessage(kTSServiceFacebook));
  requestAccess(kTSServiceFacebook);
}

void TSSoundCloudInfoSharingViewController::requestAccess(const std::string& service) {
  std::weak_ptr<bool> alive = alive_;
  auto store = accounts_ ? accounts_ : TSSocialAccountStore::shared();
  store->requestAccess(service, accessOptions(service, false), [this, alive, service, store](bool granted) {
    auto a = alive.lock();
    if (!a || !*a) return;
    if (!granted) return showError(createNoGrantMessage(service));
    if (service != kTSServiceFacebook) return toggle(service);
    store->requestAccess(service, accessOptions(service, true), [this, alive, service](bool again) {
      auto b = alive.lock();
      if (!b || !*b) return;
      if (!again) return showError(createNoGrantMessage(service));
      toggle(service);
    });
  });
}

void TSSoundCloudInfoSharingViewController::toggle(const std::string& service) {
  const bool twitter = service == kTSServiceTwitter;
  platform::Button& button = twitter ? *twitterButton_ : *facebookButton_;
  platform::Label& label = twitter ? *twitterLabel_ : *facebookLabel_;
  button.setSelected(!button.isSelected());
  if (button.isSelected()) {
    label.setTextColor(serviceLabelColorOn());
    const std::vector<std::string> names = accounts().accountNames(service);
    if (!names.empty()) label.setText(names.front());
  } else {
    label.setTextColor(serviceLabelColorOff());
    label.setText(service);
  }
  enableTextView(twitterButton_->isSelected() || facebookButton_->isSelected());
}

void TSSoundCloudInfoSharingViewController::postMessage(const std::string& service,
                                                        const platform::Dictionary& parameters) {
  std::weak_ptr<bool> alive = alive_;
  auto store = accounts_ ? accounts_ : TSSocialAccountStore::shared();
  const std::optional<int64_t> trackId = uploader_ ? uploader_->uploadedTrackId() : std::nullopt;
  store->requestAccess(service, accessOptions(service, true), [store, service, parameters, trackId](bool granted) {
    if (!granted || !store->hasAccount(service)) return;
    store->post(service, endpointPath(service), parameters, trackId);
  });
}

// ---- upload -------------------------------------------------------------------------

void TSSoundCloudInfoSharingViewController::uploadButtonPushed() {
  if (!information_ || uploading_) return;
  uploading_ = true;
  navigationItem().setTitleView(titleView_);
  progress_->setHidden(false);
  uploadItem_->setEnabled(false);
  navigationItem().setHidesBackButton(true);
  navigationItem().setLeftBarButtonItem(
      BarButtonItem::titled("Cancel", BarButtonItem::Style::Plain, [this](BarButtonItem&) { cancelButtonPushed(); }));
  if (uploader_) uploader_->setDelegate(nullptr);
  uploader_ = TSSoundCloudUploader::makeFor(*information_);
  uploader_->setDelegate(this);
  uploader_->upload();
}

void TSSoundCloudInfoSharingViewController::backToComposing() {
  uploading_ = false;
  navigationItem().setLeftBarButtonItem(nullptr);
  navigationItem().setHidesBackButton(false);
  navigationItem().setTitleView(nullptr);
  prompt_->setText("");
  progress_->setProgress(0.0f);
  updateCharacterCounter();
}

void TSSoundCloudInfoSharingViewController::cancelButtonPushed() {
  if (uploader_) {
    uploader_->setDelegate(nullptr);
    uploader_->cancel();
  }
  if (delegate_) delegate_->soundCloudInfoSharingViewControllerCanceled(*this);
  backToComposing();
}

void TSSoundCloudInfoSharingViewController::soundCloudUploaderStartToUploadAudio(TSSoundCloudUploader&) {
  progress_->setHidden(false);
  progress_->setProgress(0.0f);
  prompt_->setText("Uploading Audio...");
  uploadItem_->setEnabled(false);
}

void TSSoundCloudInfoSharingViewController::soundCloudUploaderDidSendBytes(TSSoundCloudUploader&, float status) {
  progress_->setProgress(status);
  if (static_cast<double>(status) > 0.2) prompt_->setText("Uploading Audio...");
}

void TSSoundCloudInfoSharingViewController::soundCloudUploaderUploadedAudio(TSSoundCloudUploader& uploader) {
  if (!uploader.hasDataParam()) {
    notifyUploadResult("Upload Complete", SoundCloudInfoEditViewController::kUploadCompleteMessage);
    if (delegate_) delegate_->soundCloudInfoSharingViewControllerCompleted(*this);
  }
  postToChosenServices(uploader);
}

void TSSoundCloudInfoSharingViewController::postToChosenServices(TSSoundCloudUploader& uploader) {
  const std::string text = message_->text();
  const std::string link = uploader.uploadedTrackLink();
  if (twitterButton_->isSelected())
    postMessage(kTSServiceTwitter, {{"status", platform::Value(text + " " + link)}});
  if (facebookButton_->isSelected())
    postMessage(kTSServiceFacebook, {{"message", platform::Value(text)},
                                     {"link", platform::Value(link)},
                                     {"source", platform::Value(link)},
                                     {"name", platform::Value(uploader.uploadedTrackTitle())},
                                     {"picture", platform::Value(uploader.uploadedTrackImage())}});
}

void TSSoundCloudInfoSharingViewController::soundCloudUploaderStartToUploadData(TSSoundCloudUploader&) {
  prompt_->setText("Uploading Data...");
}

void TSSoundCloudInfoSharingViewController::soundCloudUploaderUploadedData(TSSoundCloudUploader&) {
  notifyUploadResult("Upload Complete", SoundCloudInfoEditViewController::kUploadCompleteMessage);
  if (delegate_) delegate_->soundCloudInfoSharingViewControllerCompleted(*this);
}

void TSSoundCloudInfoSharingViewController::soundCloudUploaderUpdatedTrack(TSSoundCloudUploader&) {
  notifyUploadResult("Update Complete", SoundCloudInfoEditViewController::kUpdateCompleteMessage);
}

void TSSoundCloudInfoSharingViewController::soundCloudUploaderDidFailed(TSSoundCloudUploader&,
                                                                        const platform::Error& error) {
  if (delegate_) delegate_->soundCloudInfoSharingViewControllerFailed(*this, error);
  backToComposing();
  const TSShowError::Texts t = TSShowError::textsFor(error);
  if (alert_) alert_->setDelegate(nullptr);
  alertCloses_ = false;
  alert_ = std::make_shared<platform::AlertView>(t.title, t.message, this, std::string("OK"), std::vector<std::string>{});
  alert_->show();
}

void TSSoundCloudInfoSharingViewController::notifyUploadResult(const std::string& title, const std::string& message) {
  prompt_->setText(title);
  if (alert_) alert_->setDelegate(nullptr);
  alertCloses_ = true;
  alert_ = std::make_shared<platform::AlertView>(title, message, this, std::string("OK"), std::vector<std::string>{});
  alert_->show();
}

void TSSoundCloudInfoSharingViewController::clickedButtonAtIndex(platform::AlertView& alert, int) {
  if (&alert != alert_.get()) return;
  const bool close = alertCloses_;
  alert_->setDelegate(nullptr);
  alert_.reset();
  if (!close) return;
  platform::ViewController* presented = navigationController();
  if (!presented) presented = this;
  presented->dismissViewControllerAnimated(true, nullptr);
}

}  // namespace tssc
