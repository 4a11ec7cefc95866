#include "soundcloud/screens/file_track.h"

#include <cctype>

#include "controls/file_browser_drawing.h"
#include "platform/net/url.h"
#include "platform/ui/button.h"
#include "platform/ui/navigation_controller.h"
#include "soundcloud/screens/audio_file_player.h"
#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"

namespace tssc {

using platform::Rect;

namespace {

platform::ViewControllerPtr defaultUploadEditor(std::shared_ptr<SoundCloudInformationObject> information) {
  auto editor = std::make_shared<SoundCloudInfoEditViewController>(std::move(information));
  return SoundCloudInfoEditViewController::uploadNavigationController(editor);
}

}  // namespace

std::shared_ptr<FileTrack> FileTrack::trackWithTrackInfo(std::shared_ptr<FileInDocuments> trackInfo,
                                                         FileInDocumentsManagedContext* datasource) {
  return std::make_shared<FileTrack>(std::move(trackInfo), datasource);
}

FileTrack::FileTrack(std::shared_ptr<FileInDocuments> trackInfo, FileInDocumentsManagedContext* datasource)
    : datasource_(datasource), uploadEditorFactory_(defaultUploadEditor) {
  setTrackInfo(std::move(trackInfo));
  if (datasource_) datasource_->addObserver(this);
}

FileTrack::~FileTrack() {
  if (datasource_) datasource_->removeObserver(this);
}

void FileTrack::setTrackInfo(std::shared_ptr<FileInDocuments> trackInfo) {
  trackInfo_ = std::move(trackInfo);
  seenURL_ = trackInfo_ ? trackInfo_->URL() : std::filesystem::path();
}

void FileTrack::fileInDocumentsFileWasUpdated(const platform::Notification&) {
  if (!trackInfo_ || trackInfo_->URL() == seenURL_) return;
  seenURL_ = trackInfo_->URL();
  announceUpdate();
}

std::optional<platform::Value> FileTrack::information(int32_t key) const {
  if (!trackInfo_) return std::nullopt;
  switch (key) {
    case kListBrowserInfoIdentity: return platform::Value(trackInfo_->URL().filename().string());
    case kListBrowserInfoURL: return platform::Value(trackInfo_->URL().string());
    case kListBrowserInfoTitle: return platform::Value(trackInfo_->name());
    default: return std::nullopt;
  }
}

std::optional<double> FileTrack::tempoInName(const std::string& name) {
  const size_t at = name.find("BPM");
  if (at == std::string::npos) return std::nullopt;
  // Only digits, one point and a sign: a name never reads as infinity or
  // a hexadecimal number.
  const std::string rest = name.substr(at + 3);
  size_t i = 0;
  std::string number;
  if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) number += rest[i++];
  bool digits = false;
  while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]))) number += rest[i++], digits = true;
  if (i < rest.size() && rest[i] == '.') {
    number += rest[i++];
    while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]))) number += rest[i++], digits = true;
  }
  if (!digits) return 0.0;
  return std::stod(number);
}

platform::ViewControllerPtr FileTrack::perform(int32_t action) {
  if (!trackInfo_) return nullptr;
  const std::filesystem::path url = trackInfo_->URL();
  switch (action) {
    case kListBrowserActionDelete: {
      const int64_t index = datasource_ ? datasource_->indexForFileURL(url) : -1;
      if (index >= 0) datasource_->removeFileAt(static_cast<size_t>(index));
      return nullptr;
    }
    case kListBrowserActionEdit: {
      if (!datasource_ || datasource_->indexForFileURL(url) < 0) return nullptr;
      return std::make_shared<FileEditViewController>(trackInfo_, datasource_);
    }
    case kListBrowserActionUpload: {
      auto information = std::make_shared<SoundCloudInformationObject>(true, false);
      information->fileURL = platform::URL::fileURLWithPath(url);
      information->title = trackInfo_->name();
      if (auto tempo = tempoInName(trackInfo_->name())) information->tempo = *tempo;
      platform::ViewControllerPtr screen = uploadEditorFactory_ ? uploadEditorFactory_(information) : nullptr;
      if (auto* nav = dynamic_cast<platform::NavigationController*>(screen.get()))
        nav->navigationBar().setBackgroundColor(fileBrowserTintColor());
      return screen;
    }
    default: return nullptr;
  }
}

std::shared_ptr<ListBrowserPlayer> FileTrack::createPlayerWithDelegate(
    std::weak_ptr<ListBrowserPlayerDelegate> delegate) {
  auto player = std::make_shared<AudioFilePlayer>(shared_from_this(), drivers_);
  player->setDelegate(std::move(delegate));
  if (trackInfo_) player->attach(trackInfo_->URL());
  return player;
}

// ---------------------------------------------------------------- rename

FileEditViewController::FileEditViewController(std::shared_ptr<FileInDocuments> context,
                                               FileInDocumentsManagedContext* persistentStore)
    : context_(std::move(context)), store_(persistentStore) {}

void FileEditViewController::loadView() {
  auto view = std::make_shared<platform::View>(Rect{0, 0, 460, 114});
  view->setBackgroundColor(platform::Color::white(0.94));
  nameField_ = std::make_shared<platform::TextField>(Rect{20, 20, 420, 31});
  nameField_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  view->addSubview(nameField_);
  auto makeButton = [&](const std::string& title, double x, std::function<void()> action) {
    auto b = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{x, 66, 200, 32});
    b->setTitle(title, platform::ControlState::Normal);
    b->addTarget(this, title, [action](platform::Control&) { action(); }, platform::ControlEvents::TouchUpInside);
    view->addSubview(b);
    return b;
  };
  cancel_ = makeButton("Cancel", 20, [this] { cancelButtonPushed(); });
  save_ = makeButton("Save", 240, [this] { saveButtonPushed(); });
  setView(view);
}

void FileEditViewController::viewDidLoad() {
  if (context_) nameField_->setText(std::filesystem::path(context_->name()).stem().string());
}

void FileEditViewController::saveButtonPushed() {
  if (context_ && store_ && nameField_) {
    const int64_t index = store_->indexForFileURL(context_->URL());
    const std::string typed = nameField_->text();
    // A blank name would leave only the extension; nothing is renamed then.
    const bool blank = typed.find_first_not_of(" \t") == std::string::npos;
    const std::string extension = context_->URL().extension().string();  // with its dot
    if (index >= 0 && !blank) store_->renameFileAt(static_cast<size_t>(index), typed + extension);
  }
  close();
}

void FileEditViewController::close() {
  if (presentingViewController()) dismissViewControllerAnimated(true, nullptr);
}

// ---------------------------------------------------------------- volume

void VolumeEditViewController::loadView() {
  auto view = std::make_shared<platform::View>(Rect{0, 0, 260, 40});
  if (!slider_) slider_ = std::make_shared<platform::Slider>();
  slider_->setFrame(Rect{5, 9, view->bounds().size.width - 10, 22});
  slider_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  view->addSubview(slider_);
  setView(view);
}

}  // namespace tssc
