#pragma once
// The sharing screen: the second step of a public upload. The user may
// switch on posting to Twitter and to Facebook (through the social account
// store, see ts_social_accounts.h) and write a message of up to 110
// characters (UTF-16 code units); "Upload" starts the upload of the
// record. When the audio is up, the message and the new track's link go to
// each chosen service, and an alert reports the upload; its OK closes the
// whole modal stack (the editor under this screen too).
//
// Posting is off each time the screen is shown; the message is veiled and
// read-only while it is off. During the upload the back button gives way to
// "Cancel". A failed upload goes to the delegate and is shown as an error
// alert; the screen then comes back to composing.
//
// Main thread only. Made shared (std::make_shared).

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/alert_view.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/progress_view.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "soundcloud/screens/ts_social_accounts.h"
#include "soundcloud/soundcloud_information_object.h"
#include "soundcloud/ts_soundcloud_uploader.h"

namespace tssc {

class TSSoundCloudInfoSharingViewController;

class TSSoundCloudInfoSharingViewControllerDelegate {
 public:
  virtual ~TSSoundCloudInfoSharingViewControllerDelegate() = default;
  virtual void soundCloudInfoSharingViewControllerCanceled(TSSoundCloudInfoSharingViewController&) {}
  virtual void soundCloudInfoSharingViewControllerCompleted(TSSoundCloudInfoSharingViewController&) {}
  virtual void soundCloudInfoSharingViewControllerFailed(TSSoundCloudInfoSharingViewController&, const platform::Error&) {}
};

class TSSoundCloudInfoSharingViewController : public platform::ViewController,
                                              public platform::TextViewDelegate,
                                              public SoundCloudUploaderDelegate,
                                              public platform::AlertViewDelegate {
 public:
  static constexpr size_t kMessageLimit = 110;
  static constexpr double kCurtainDuration = 0.6;
  static constexpr const char* kPlaceholderOn = "Share your track on social platforms.";
  static constexpr const char* kPlaceholderOff = "If you share your track on social platforms, please configure it.";

  static platform::Color counterColorWithinLimit() { return platform::Color::lightGray(); }
  static platform::Color counterColorPastLimit() { return platform::Color::rgba(1.0, 0.169, 0.137); }
  static platform::Color serviceLabelColorOff() { return platform::Color::white(167.0 / 255.0); }
  static platform::Color serviceLabelColorOn() { return platform::Color::rgba(94.0 / 255.0, 169.0 / 255.0, 222.0 / 255.0); }
  static platform::Color messageColorOn() { return platform::Color::black(); }
  static platform::Color messageColorOff() { return platform::Color::white(0.51); }

  TSSoundCloudInfoSharingViewController();
  ~TSSoundCloudInfoSharingViewController() override;

  const std::shared_ptr<SoundCloudInformationObject>& information() const { return information_; }
  void setInformation(std::shared_ptr<SoundCloudInformationObject> i) { information_ = std::move(i); }
  TSSoundCloudInfoSharingViewControllerDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(TSSoundCloudInfoSharingViewControllerDelegate* d) { delegate_ = d; }
  // The store asked for accounts (the shared one unless set).
  void setAccountStore(std::shared_ptr<TSSocialAccountStore> s) { accounts_ = std::move(s); }
  const std::shared_ptr<TSSoundCloudUploader>& uploader() const { return uploader_; }

  platform::Label& characterCounterLabel() { return *counter_; }
  platform::TextView& messageTextView() { return *message_; }
  platform::Label& placeholder() { return *placeholder_; }
  platform::View& curtainView() { return *curtain_; }
  platform::Button& twitterButton() { return *twitterButton_; }
  platform::Button& facebookButton() { return *facebookButton_; }
  platform::Label& twitterLabel() { return *twitterLabel_; }
  platform::Label& facebookLabel() { return *facebookLabel_; }
  platform::ProgressView& progressView() { return *progress_; }
  const std::string& prompt() const { return prompt_->text(); }

  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // TextViewDelegate
  void textViewDidChange(platform::TextView&) override { updateCharacterCounter(); }
  void textViewDidBeginEditing(platform::TextView&) override;
  void textViewDidEndEditing(platform::TextView&) override;

  void twitterButtonPushed();
  void facebookButtonPushed();
  void uploadButtonPushed();
  void cancelButtonPushed();
  void updateCharacterCounter();
  void enableTextView(bool enabled);
  void requestAccess(const std::string& service);
  void postMessage(const std::string& service, const platform::Dictionary& parameters);
  void notifyUploadResult(const std::string& title, const std::string& message);

  static std::string applicationID();
  static std::string applicationDisplayName();
  static std::string createAlertMessage(const std::string& service);
  static std::string createNoGrantMessage(const std::string& service);
  // The endpoint path of a service's post; empty for other names.
  static std::string endpointPath(const std::string& service);

  // SoundCloudUploaderDelegate
  void soundCloudUploaderStartToUploadAudio(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderUploadedAudio(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderStartToUploadData(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderUploadedData(TSSoundCloudUploader& uploader) override;
  void soundCloudUploaderDidSendBytes(TSSoundCloudUploader& uploader, float status) override;
  void soundCloudUploaderDidFailed(TSSoundCloudUploader& uploader, const platform::Error& error) override;
  void soundCloudUploaderUpdatedTrack(TSSoundCloudUploader& uploader) override;
  // AlertViewDelegate
  void clickedButtonAtIndex(platform::AlertView& alert, int index) override;

 private:
  TSSocialAccountStore& accounts();
  platform::Dictionary accessOptions(const std::string& service, bool publish) const;
  void toggle(const std::string& service);
  void showError(const std::string& message);
  void postToChosenServices(TSSoundCloudUploader& uploader);
  void backToComposing();

  std::shared_ptr<SoundCloudInformationObject> information_;
  std::shared_ptr<TSSoundCloudUploader> uploader_;
  std::shared_ptr<TSSocialAccountStore> accounts_;
  TSSoundCloudInfoSharingViewControllerDelegate* delegate_ = nullptr;
  std::shared_ptr<platform::Label> counter_;
  std::shared_ptr<platform::TextView> message_;
  std::shared_ptr<platform::Label> placeholder_;
  std::shared_ptr<platform::View> curtain_;
  std::shared_ptr<platform::View> separator_;
  std::shared_ptr<platform::Button> twitterButton_, facebookButton_;
  std::shared_ptr<platform::Label> twitterLabel_, facebookLabel_;
  std::shared_ptr<platform::View> titleView_;
  std::shared_ptr<platform::Label> prompt_;
  std::shared_ptr<platform::ProgressView> progress_;
  platform::BarButtonItemPtr uploadItem_;
  std::shared_ptr<platform::AlertView> alert_;
  bool alertCloses_ = false;
  // While the upload runs, typing never enables "Upload" again.
  bool uploading_ = false;
  // Answers of the account store may come after the screen went.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tssc
