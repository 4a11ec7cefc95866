#pragma once
// The comments of one service track as a table, with a compose button that
// opens the comment composer. Everything comes through the track list
// context (which this screen observes from creation to release) and the
// track's information keys (0 its id, 15 its commentable flag).
//
// Each comments request announced as starting adds a fresh spinner; a
// finished one stops it and reloads the table, a failed one only stops it.
// The announcement's track is not compared with this screen's: a reply for
// another track reloads this table too.
//
// Main thread only.

#include <functional>
#include <memory>

#include "platform/ui/table_view.h"
#include "platform/ui/widgets.h"
#include "soundcloud/screens/list_browser_track.h"
#include "soundcloud/soundcloud_fetched_object_context.h"

namespace tssc {

class SoundCloudCommentViewController : public platform::TableViewController,
                                        public SoundCloudFetchedObjectContextObserver {
 public:
  static constexpr double kRowHeight = 72.0;
  static constexpr const char* kCellIdentifier = "SoundCloudCommentViewCell";
  // Makes the comment composer for a track id.
  using ComposerFactory = std::function<platform::ViewControllerPtr(uint64_t trackId)>;

  SoundCloudCommentViewController(std::shared_ptr<ListBrowserTrack> track,
                                  std::shared_ptr<SoundCloudFetchedObjectContext> context);
  ~SoundCloudCommentViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  platform::Size preferredContentSize() const override { return {380, 616}; }
  unsigned supportedInterfaceOrientations() const override { return 24; }

  void composeButtonPushed();
  const platform::BarButtonItemPtr& composeButton() const { return compose_; }
  platform::ActivityIndicatorView* indicator() const { return indicator_.get(); }
  const std::shared_ptr<ListBrowserTrack>& track() const { return track_; }

  // The composer the compose button pushes (none: the comment composer).
  static void setComposerFactory(ComposerFactory f);
  // The placeholder for an author whose picture is not cached: the
  // bundle's "SoundCloud.bundle/default-avatar", else one drawn here.
  static platform::ImagePtr defaultAvatar();

  int64_t numberOfRowsInSection(platform::TableView&, int64_t) override;
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView& table, const platform::IndexPath& ip) override;
  double heightForRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return kRowHeight; }
  std::optional<platform::IndexPath> willSelectRowAtIndexPath(platform::TableView&,
                                                              const platform::IndexPath&) override {
    return std::nullopt;
  }
  bool canEditRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return false; }

  void soundCloudFetchedObjectContextWillStartFetching(const platform::Notification& notification) override;
  void soundCloudFetchedObjectContextDidFinishFetching(const platform::Notification& notification) override;
  void soundCloudFetchedObjectContextDidFailedFetching(const platform::Notification& notification) override;

 private:
  int64_t trackId() const;

  std::shared_ptr<ListBrowserTrack> track_;
  std::shared_ptr<SoundCloudFetchedObjectContext> context_;
  std::shared_ptr<platform::ActivityIndicatorView> indicator_;
  platform::BarButtonItemPtr compose_;
};

}  // namespace tssc
