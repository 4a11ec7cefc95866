#pragma once
// The track information editor: the modal screen in which the user fills in
// the information of a track before its upload, or changes that of a track
// already uploaded. Three pages (general, description, others) in the paged
// container; on the navigation bar Cancel, a progress bar with a prompt line
// in the title's place, and one action button:
// - upload mode (the record uploads a file or offers an attachment): "Next"
//   for a public track, which goes on to the sharing screen, or "Upload"
//   for a private one, which is uploaded from here;
// - edit mode: "Update", which sends the changed information through the
//   track list model and closes the editor at once.
// The action button is enabled only while the record is valid (an upload's
// audio file exists).
//
// Entry points: the constructor with a record (callers that fill it), or
// the one with an audio file, its tempo (none: no tempo) and title (none:
// the file's name), for a new upload without attachment.
// uploadNavigationController() wraps either in the navigation controller
// the caller presents modally (full screen).
//
// When the upload or an update fails, the error is shown and the editor
// comes back to its editing state (the action button enabled again).
//
// Main thread only. Made shared (std::make_shared).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/alert_view.h"
#include "platform/ui/label.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/progress_view.h"
#include "soundcloud/screens/soundcloud_info_page_view_controller.h"
#include "soundcloud/screens/ts_multiple_page_information_view_controller.h"
#include "soundcloud/soundcloud_fetched_object_context.h"
#include "soundcloud/soundcloud_information_object.h"
#include "soundcloud/ts_agent.h"
#include "soundcloud/ts_soundcloud_uploader.h"

namespace tssc {

// The progress bar with its prompt line above, in a bar's title position.
class TSTitleProgressView : public platform::View {
 public:
  TSTitleProgressView();
  platform::Label& promptLabel() { return *prompt_; }
  platform::ProgressView& progressView() { return *progress_; }
  const std::string& prompt() const { return prompt_->text(); }
  void setPrompt(const std::string& p) { prompt_->setText(p); }

 private:
  std::shared_ptr<platform::Label> prompt_;
  std::shared_ptr<platform::ProgressView> progress_;
};

class SoundCloudInfoEditViewController : public TSMultiplePageInformationViewController,
                                         public TSMultiplePageInformationViewDelegate,
                                         public SoundCloudUploaderDelegate,
                                         public TSAgentDelegate,
                                         public platform::AlertViewDelegate {
 public:
  static constexpr const char* kUploadCompleteMessage =
      "Your track will be available after it has finished processing. It might take some time to show up.";
  static constexpr const char* kUpdateCompleteMessage = "Your track info was successfully updated.";

  explicit SoundCloudInfoEditViewController(std::shared_ptr<SoundCloudInformationObject> information);
  SoundCloudInfoEditViewController(const std::filesystem::path& audioFile, std::optional<double> tempo,
                                   std::optional<std::string> title = std::nullopt);
  ~SoundCloudInfoEditViewController() override;

  // The editor as the root of a navigation controller, ready to present.
  static std::shared_ptr<platform::NavigationController> uploadNavigationController(
      std::shared_ptr<SoundCloudInfoEditViewController> editor);

  const std::shared_ptr<SoundCloudInformationObject>& information() const { return information_; }
  int32_t context() const { return context_; }
  bool isUploadMode() const { return context_ != 0; }
  const std::shared_ptr<SoundCloudFetchedObjectContext>& fetchedObjectContext() const { return fetchedObjectContext_; }
  void setFetchedObjectContext(std::shared_ptr<SoundCloudFetchedObjectContext> c) { fetchedObjectContext_ = std::move(c); }
  const std::shared_ptr<TSAgent>& agent() const { return agent_; }
  void setAgent(std::shared_ptr<TSAgent> a);
  const std::shared_ptr<TSSoundCloudUploader>& uploader() const { return uploader_; }
  const platform::BarButtonItemPtr& uploadButtonItem() const { return uploadButtonItem_; }
  TSTitleProgressView& titleProgressView() { return *titleView_; }
  const std::string& prompt() const { return titleView_->prompt(); }

  // The pages, once loaded (nullptr before).
  SoundCloudInfoPageGeneralViewController* generalPage() const;
  SoundCloudInfoPageDescViewController* descPage() const;
  SoundCloudInfoPageOthersViewController* othersPage() const;

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;

  // TSMultiplePageInformationViewDelegate
  int64_t numberOfPages() override { return 3; }
  std::shared_ptr<platform::ViewController> viewControllerForPage(int32_t page) override;

  void gatherInformation();
  void cancelButtonPushed();
  void uploadButtonPushed();
  void saveButtonPushed();
  void privacyTypeChanged(platform::SegmentedControl& control);
  void notifyUploadResult(const std::string& title, const std::string& message);

  // The leading decimal number of a text (blanks before it skipped), 0 when
  // the text does not begin with one.
  static float leadingNumber(const std::string& text);

  // SoundCloudUploaderDelegate
  void soundCloudUploaderStartToUploadAudio(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderUploadedAudio(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderStartToUploadData(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderUploadedData(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderDidSendBytes(TSSoundCloudUploader& uploader, float status) override;
  void soundCloudUploaderDidFailed(TSSoundCloudUploader& uploader, const platform::Error& error) override;
  void soundCloudUploaderUpdatedTrack(TSSoundCloudUploader& uploader) override;
  // TSAgentDelegate
  void agentTaskProgressUpdated(TSAgent& agent, TSTask& task, float progress) override;
  // AlertViewDelegate
  void didDismissWithButtonIndex(platform::AlertView& alert, int index) override;

 private:
  void showProgress(const std::string& prompt);
  void refreshUploadButton();
  void dismissEditor();
  void showAlert(const std::string& title, const std::string& message, bool closesEditor);

  std::shared_ptr<SoundCloudInformationObject> information_;
  int32_t context_ = 0;
  std::shared_ptr<SoundCloudFetchedObjectContext> fetchedObjectContext_;
  std::shared_ptr<TSSoundCloudUploader> uploader_;
  std::shared_ptr<TSAgent> agent_;
  platform::BarButtonItemPtr uploadButtonItem_;
  std::shared_ptr<TSTitleProgressView> titleView_;
  std::shared_ptr<platform::AlertView> alert_;
  bool alertClosesEditor_ = false;
};

// Shows a failed update of a track's information, which arrives after the
// editor has closed: one alert per failure of that track's put request.
void tsReportFailedTrackUpdate(const std::shared_ptr<SoundCloudFetchedObjectContext>& context, int64_t trackId);

}  // namespace tssc
