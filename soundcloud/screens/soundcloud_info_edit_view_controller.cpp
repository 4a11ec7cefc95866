#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"

#include <cctype>
#include <cstdlib>

#include "platform/notify/notification_center.h"
#include "soundcloud/screens/ts_soundcloud_info_sharing_view_controller.h"
#include "soundcloud/ts_soundcloud_api.h"
#include "soundcloud/ts_soundcloud_user.h"

namespace tssc {

using platform::BarButtonItem;
using platform::Rect;

// ---- title view -------------------------------------------------------------

TSTitleProgressView::TSTitleProgressView() : platform::View(Rect{0, 0, 200, 40}) {
  prompt_ = std::make_shared<platform::Label>(Rect{0, 2, 200, 20});
  prompt_->setFont(platform::Font::systemFont(13));
  prompt_->setTextAlignment(platform::TextAlignment::Center);
  addSubview(prompt_);
  progress_ = std::make_shared<platform::ProgressView>(platform::ProgressView::Style::Bar);
  progress_->setFrame({10, 28, 180, 3});
  addSubview(progress_);
}

// ---- the editor ---------------------------------------------------------------

SoundCloudInfoEditViewController::SoundCloudInfoEditViewController(std::shared_ptr<SoundCloudInformationObject> information)
    : information_(std::move(information)) {
  if (!information_) information_ = std::make_shared<SoundCloudInformationObject>(false, false);
  context_ = (information_->enabledToTrackUpload() || information_->enabledToAttach()) ? 1 : 0;
}

namespace {
std::shared_ptr<SoundCloudInformationObject> uploadRecord(const std::filesystem::path& file, std::optional<double> tempo,
                                                          std::optional<std::string> title) {
  auto info = std::make_shared<SoundCloudInformationObject>(true, false);
  info->fileURL = platform::URL::fileURLWithPath(file);
  info->title = title ? *title : file.filename().string();
  info->tempo = tempo;
  return info;
}
}  // namespace

SoundCloudInfoEditViewController::SoundCloudInfoEditViewController(const std::filesystem::path& audioFile,
                                                                   std::optional<double> tempo,
                                                                   std::optional<std::string> title)
    : SoundCloudInfoEditViewController(uploadRecord(audioFile, tempo, std::move(title))) {}

SoundCloudInfoEditViewController::~SoundCloudInfoEditViewController() {
  if (uploader_) uploader_->setDelegate(nullptr);
  if (agent_) agent_->setDelegate(nullptr);
  if (alert_) alert_->setDelegate(nullptr);
}

std::shared_ptr<platform::NavigationController> SoundCloudInfoEditViewController::uploadNavigationController(
    std::shared_ptr<SoundCloudInfoEditViewController> editor) {
  auto nav = std::make_shared<platform::NavigationController>(std::move(editor));
  nav->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  return nav;
}

void SoundCloudInfoEditViewController::setAgent(std::shared_ptr<TSAgent> a) {
  if (agent_) agent_->setDelegate(nullptr);
  agent_ = std::move(a);
  if (agent_) agent_->setDelegate(this);
}

SoundCloudInfoPageGeneralViewController* SoundCloudInfoEditViewController::generalPage() const {
  return viewControllers().size() > 0 ? dynamic_cast<SoundCloudInfoPageGeneralViewController*>(viewControllers()[0].get())
                                      : nullptr;
}
SoundCloudInfoPageDescViewController* SoundCloudInfoEditViewController::descPage() const {
  return viewControllers().size() > 1 ? dynamic_cast<SoundCloudInfoPageDescViewController*>(viewControllers()[1].get())
                                      : nullptr;
}
SoundCloudInfoPageOthersViewController* SoundCloudInfoEditViewController::othersPage() const {
  return viewControllers().size() > 2 ? dynamic_cast<SoundCloudInfoPageOthersViewController*>(viewControllers()[2].get())
                                      : nullptr;
}

void SoundCloudInfoEditViewController::viewDidLoad() {
  setViewDelegate(this);
  TSMultiplePageInformationViewController::viewDidLoad();
  view()->setBackgroundColor(platform::Color::whiteColor());
  titleView_ = std::make_shared<TSTitleProgressView>();
  titleView_->setHidden(true);
  navigationItem().setTitleView(titleView_);
  navigationItem().setLeftBarButtonItem(
      BarButtonItem::system(BarButtonItem::SystemItem::Cancel, [this](BarButtonItem&) { cancelButtonPushed(); }));
  if (isUploadMode()) {
    uploadButtonItem_ =
        BarButtonItem::titled("Next", BarButtonItem::Style::Done, [this](BarButtonItem&) { uploadButtonPushed(); });
  } else {
    uploadButtonItem_ =
        BarButtonItem::titled("Update", BarButtonItem::Style::Done, [this](BarButtonItem&) { saveButtonPushed(); });
  }
  navigationItem().setRightBarButtonItem(uploadButtonItem_);
  uploadButtonItem_->setEnabled(information_->isValid());
}

void SoundCloudInfoEditViewController::viewDidAppear(bool animated) {
  TSMultiplePageInformationViewController::viewDidAppear(animated);
  if (isUploadMode() && information_->enabledToTrackUpload() && !information_->fileURL) {
    titleView_->setHidden(false);
    titleView_->setPrompt("Preparing Audio...");
  }
}

std::shared_ptr<platform::ViewController> SoundCloudInfoEditViewController::viewControllerForPage(int32_t page) {
  std::shared_ptr<SoundCloudInfoPageViewController> vc;
  if (page == 0) {
    vc = std::make_shared<SoundCloudInfoPageGeneralViewController>();
  } else if (page == 1) {
    vc = std::make_shared<SoundCloudInfoPageDescViewController>();
  } else if (page == 2) {
    auto others = std::make_shared<SoundCloudInfoPageOthersViewController>();
    others->setMetaController(this);
    vc = others;
  } else {
    return nullptr;
  }
  vc->setDatasource(information_);
  return vc;
}

float SoundCloudInfoEditViewController::leadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  const size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return 0.0f;
  return std::strtof(text.substr(start, i - start).c_str(), nullptr);
}

void SoundCloudInfoEditViewController::gatherInformation() {
  if (auto* g = generalPage(); g && g->isViewLoaded()) {
    information_->title = g->title().text();
    information_->description = g->desc().text();
    information_->sharing = g->sharing().selectedSegmentIndex() == 0;
  }
  if (auto* d = descPage(); d && d->isViewLoaded()) {
    information_->genre = d->genre().text();
    information_->tempo = static_cast<double>(leadingNumber(d->bpm().text()));
    information_->tags = d->tags().text();
    information_->trackType = d->currentType();
  }
  if (auto* o = othersPage(); o && o->isViewLoaded()) {
    information_->shareType = o->privacy().selectedSegmentIndex();
    information_->licenseType = o->currentLicense();
  }
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  information_->username = api ? api->user()->username() : std::nullopt;
}

void SoundCloudInfoEditViewController::showProgress(const std::string& prompt) {
  titleView_->setHidden(false);
  titleView_->progressView().setProgress(0.0f);
  titleView_->setPrompt(prompt);
  uploadButtonItem_->setEnabled(false);
}

void SoundCloudInfoEditViewController::saveButtonPushed() {
  gatherInformation();
  if (!information_->isValid()) return;
  showProgress("Updating...");
  TSParameters parameters = information_->output();
  parameters.set("track[post_to][]", std::string());
  if (fetchedObjectContext_) {
    const int64_t trackId = static_cast<int64_t>(information_->track_id);
    tsReportFailedTrackUpdate(fetchedObjectContext_, trackId);
    fetchedObjectContext_->updateTrackFor(trackId, parameters);
  }
  dismissEditor();
}

void SoundCloudInfoEditViewController::uploadButtonPushed() {
  gatherInformation();
  if (!information_->isValid()) return;
  if (information_->shareType != 1) {
    auto sharing = std::make_shared<TSSoundCloudInfoSharingViewController>();
    sharing->setInformation(information_);
    if (platform::NavigationController* nav = navigationController()) nav->pushViewController(sharing, true);
    return;
  }
  showProgress("Uploading Audio...");
  if (uploader_) uploader_->setDelegate(nullptr);
  uploader_ = TSSoundCloudUploader::makeFor(*information_);
  uploader_->setDelegate(this);
  uploader_->upload();
}

void SoundCloudInfoEditViewController::privacyTypeChanged(platform::SegmentedControl& control) {
  if (!isUploadMode() || !uploadButtonItem_) return;
  uploadButtonItem_->setTitle(control.selectedSegmentIndex() == 1 ? "Upload" : "Next");
}

void SoundCloudInfoEditViewController::cancelButtonPushed() {
  if (uploader_) {
    uploader_->setDelegate(nullptr);
    if (TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance()) api->cancelConnection(uploader_->connectionId());
    uploader_->cancel();
  }
  if (agent_) agent_->cancel();
  dismissEditor();
}

void SoundCloudInfoEditViewController::dismissEditor() {
  platform::ViewController* presented = navigationController();
  if (!presented) presented = this;
  presented->dismissViewControllerAnimated(true, nullptr);
}

void SoundCloudInfoEditViewController::showAlert(const std::string& title, const std::string& message,
                                                 bool closesEditor) {
  if (alert_) alert_->setDelegate(nullptr);
  alertClosesEditor_ = closesEditor;
  alert_ = std::make_shared<platform::AlertView>(title, message, this, std::string("OK"), std::vector<std::string>{});
  alert_->show();
}

void SoundCloudInfoEditViewController::notifyUploadResult(const std::string& title, const std::string& message) {
  titleView_->setPrompt(title);
  showAlert(title, message, true);
}

void SoundCloudInfoEditViewController::didDismissWithButtonIndex(platform::AlertView& alert, int) {
  if (&alert != alert_.get()) return;
  const bool close = alertClosesEditor_;
  alert_.reset();
  if (close) dismissEditor();
}

void SoundCloudInfoEditViewController::soundCloudUploaderStartToUploadAudio(TSSoundCloudUploader&) {
  titleView_->setHidden(false);
  titleView_->progressView().setProgress(0.0f);
  titleView_->setPrompt("Uploading Audio...");
  uploadButtonItem_->setEnabled(false);
}

void SoundCloudInfoEditViewController::soundCloudUploaderDidSendBytes(TSSoundCloudUploader&, float status) {
  titleView_->progressView().setProgress(status);
}

void SoundCloudInfoEditViewController::soundCloudUploaderUploadedAudio(TSSoundCloudUploader& uploader) {
  if (!uploader.hasDataParam()) notifyUploadResult("Upload Complete", kUploadCompleteMessage);
}

void SoundCloudInfoEditViewController::soundCloudUploaderStartToUploadData(TSSoundCloudUploader&) {
  titleView_->setPrompt("Uploading Data...");
}

void SoundCloudInfoEditViewController::soundCloudUploaderUploadedData(TSSoundCloudUploader&) {
  notifyUploadResult("Upload Complete", kUploadCompleteMessage);
}

void SoundCloudInfoEditViewController::soundCloudUploaderUpdatedTrack(TSSoundCloudUploader&) {
  notifyUploadResult("Update Complete", kUpdateCompleteMessage);
}

void SoundCloudInfoEditViewController::soundCloudUploaderDidFailed(TSSoundCloudUploader&, const platform::Error& error) {
  // Back to editing: the user may try again or cancel.
  titleView_->setHidden(true);
  titleView_->setPrompt("");
  titleView_->progressView().setProgress(0.0f);
  uploadButtonItem_->setEnabled(information_->isValid());
  const TSShowError::Texts t = TSShowError::textsFor(error);
  showAlert(t.title, t.message, false);
}

void SoundCloudInfoEditViewController::agentTaskProgressUpdated(TSAgent&, TSTask&, float progress) {
  titleView_->progressView().setProgress(progress);
}

// ---- a failed update, after the editor closed ----------------------------------

void tsReportFailedTrackUpdate(const std::shared_ptr<SoundCloudFetchedObjectContext>& context, int64_t trackId) {
  if (!context) return;
  struct Watch {
    std::vector<platform::NotificationCenter::Token> tokens;
    void end() {
      auto& center = platform::NotificationCenter::defaultCenter();
      for (auto t : tokens) center.removeObserver(t);
      tokens.clear();
    }
  };
  auto watch = std::make_shared<Watch>();
  const SoundCloudFetchedObjectContext* model = context.get();
  auto concerns = [model, trackId](const platform::Notification& n) {
    auto* o = n.objectAs<SoundCloudFetchedObjectContext*>();
    const platform::Value* name = n.info(kTSName);
    const platform::Value* id = n.info(kTSTrackID);
    return o && *o == model && name && name->stringValue() == kTSPutTrack && id && id->integerValue() == trackId;
  };
  auto& center = platform::NotificationCenter::defaultCenter();
  std::weak_ptr<Watch> weak = watch;
  watch->tokens.push_back(center.addObserver(watch.get(), SCFetchDidFinish, [weak, concerns](const platform::Notification& n) {
    if (!concerns(n)) return;
    if (auto w = weak.lock()) w->end();
  }));
  watch->tokens.push_back(center.addObserver(watch.get(), SCFetchDidFailed, [watch, concerns](const platform::Notification& n) {
    if (!concerns(n)) return;
    auto keep = watch;
    keep->end();
    auto alert = std::make_shared<platform::AlertView>("Error", "Your track info could not be updated.", nullptr,
                                                       std::string("OK"), std::vector<std::string>{});
    alert->show();
  }));
}

}  // namespace tssc
