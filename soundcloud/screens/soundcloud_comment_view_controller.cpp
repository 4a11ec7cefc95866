#include "soundcloud/screens/soundcloud_comment_view_controller.h"

#include "platform/gfx/graphics_context.h"
#include "platform/notify/notification_center.h"
#include "platform/ui/navigation_controller.h"
#include "soundcloud/screens/compose_view_controller.h"
#include "soundcloud/ts_soundcloud_api.h"

namespace tssc {

namespace {

platform::ViewControllerPtr defaultComposer(uint64_t trackId) {
  return std::make_shared<ComposeViewController>(static_cast<int64_t>(trackId));
}

SoundCloudCommentViewController::ComposerFactory& composerFactory() {
  static SoundCloudCommentViewController::ComposerFactory f = defaultComposer;
  return f;
}

bool isCommentsRequest(const platform::Notification& n) {
  auto it = n.userInfo.find("name");
  return it != n.userInfo.end() && it->second.stringValue() == "get_comments";
}

const platform::Value* userField(const platform::Value& comment, const char* key) {
  const platform::Value* user = comment.find("user");
  return user ? user->find(key) : nullptr;
}

}  // namespace

void SoundCloudCommentViewController::setComposerFactory(ComposerFactory f) {
  composerFactory() = f ? std::move(f) : ComposerFactory(defaultComposer);
}

platform::ImagePtr SoundCloudCommentViewController::defaultAvatar() {
  if (auto img = platform::Image::named("SoundCloud.bundle/default-avatar")) return img;
  static platform::ImagePtr drawn = [] {
    // A grey head and shoulders on a light square.
    auto img = platform::Image::create(64, 64, 2.0);
    platform::GraphicsContext c(img->surface(), 2.0);
    c.setFillColor(platform::Color::white(0.85));
    c.fillRect({0, 0, 32, 32});
    c.setFillColor(platform::Color::white(0.6));
    c.fillEllipseInRect({10, 5, 12, 12});
    c.fillEllipseInRect({5, 19, 22, 20});
    return img;
  }();
  return drawn;
}

SoundCloudCommentViewController::SoundCloudCommentViewController(std::shared_ptr<ListBrowserTrack> track,
                                                                 std::shared_ptr<SoundCloudFetchedObjectContext> context)
    : TableViewController(platform::TableView::Style::Plain), track_(std::move(track)), context_(std::move(context)) {
  if (context_) context_->addObserver(this);
}

SoundCloudCommentViewController::~SoundCloudCommentViewController() {
  if (context_) context_->removeObserver(this);
}

int64_t SoundCloudCommentViewController::trackId() const {
  auto id = track_ ? track_->information(kListBrowserInfoIdentity) : std::nullopt;
  return id ? id->integerValue() : 0;
}

void SoundCloudCommentViewController::viewDidLoad() {
  TableViewController::viewDidLoad();
  compose_ = platform::BarButtonItem::titled("Compose", platform::BarButtonItem::Style::Plain,
                                             [this](platform::BarButtonItem&) { composeButtonPushed(); });
  navigationItem().setRightBarButtonItem(compose_);
}

void SoundCloudCommentViewController::viewWillAppear(bool animated) {
  TableViewController::viewWillAppear(animated);
  if (context_) context_->fetchCommentsFor(trackId());
  TSSoundCloudAPI* api = TSSoundCloudAPI::sharedInstance();
  auto commentable = track_ ? track_->information(kListBrowserInfoCommentable) : std::nullopt;
  const bool enabled = api && api->isAuthenticated() && commentable && commentable->boolValue();
  if (compose_) compose_->setEnabled(enabled);
}

void SoundCloudCommentViewController::composeButtonPushed() {
  if (!composerFactory()) return;
  platform::ViewControllerPtr composer = composerFactory()(static_cast<uint64_t>(trackId()));
  if (composer && navigationController()) navigationController()->pushViewController(composer, true);
}

int64_t SoundCloudCommentViewController::numberOfRowsInSection(platform::TableView&, int64_t) {
  const int64_t n = context_ ? context_->numberOfCommentsFor(trackId()) : 0;
  return n < 0 ? 0 : n;
}

platform::TableViewCellPtr SoundCloudCommentViewController::cellForRowAtIndexPath(platform::TableView& table,
                                                                                  const platform::IndexPath& ip) {
  platform::TableViewCellPtr cell = table.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) {
    cell = std::make_shared<platform::TableViewCell>(platform::TableViewCell::Style::Subtitle, kCellIdentifier);
    cell->textLabel().setFont(platform::Font::systemFont(14));
  }
  platform::Value comment;
  if (context_) {
    auto comments = context_->trackCommentsFor(trackId());
    if (comments && ip.row >= 0 && static_cast<size_t>(ip.row) < comments->size()) comment = (*comments)[static_cast<size_t>(ip.row)];
  }
  const platform::Value* body = comment.find("body");
  cell->textLabel().setText(body ? body->stringValue() : "");
  cell->textLabel().setNumberOfLines(3);
  const platform::Value* username = userField(comment, "username");
  const platform::Value* created = comment.find("created_at");
  std::string detail;
  if (username && username->isString() && created && created->isString())
    detail = "by " + username->stringValue() + " " + created->stringValue();
  if (cell->detailTextLabel()) cell->detailTextLabel()->setText(detail);
  platform::ImagePtr avatar;
  const platform::Value* userId = userField(comment, "id");
  if (userId && userId->isNumber() && context_) avatar = context_->trackUserPictureForUserId(userId->integerValue());
  cell->imageView().setImage(avatar ? avatar : defaultAvatar());
  return cell;
}

void SoundCloudCommentViewController::soundCloudFetchedObjectContextWillStartFetching(const platform::Notification& n) {
  if (!isCommentsRequest(n)) return;
  indicator_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorView::Style::White);
  indicator_->setHidesWhenStopped(true);
  indicator_->setCenter(view()->bounds().center());
  indicator_->startAnimating();
  view()->addSubview(indicator_);
}

void SoundCloudCommentViewController::soundCloudFetchedObjectContextDidFinishFetching(const platform::Notification& n) {
  if (!isCommentsRequest(n)) return;
  if (indicator_) indicator_->stopAnimating();
  if (isViewLoaded()) tableView()->reloadData();
}

void SoundCloudCommentViewController::soundCloudFetchedObjectContextDidFailedFetching(const platform::Notification& n) {
  if (!isCommentsRequest(n)) return;
  if (indicator_) indicator_->stopAnimating();
}

}  // namespace tssc
