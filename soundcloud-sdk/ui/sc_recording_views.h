#pragma once
// Building blocks of a save-and-upload screen for a recording:
//
// - SCRecordingSaveViewControllerHeaderView: the signed-in user (avatar,
//   name, log-out link), a cover-artwork button, the "what" and "where"
//   fields in one rounded box, a disclosure button and the public/private
//   switch; it sizes its own height.
// - SCRecordingUploadProgressView: a scrolling card showing the upload
//   while it runs (progress bar) and its result (success with a way to open
//   the track in the service's app or to get the app; failure).
// - SCGradientView: a view filled with a vertical gradient of its colours.
// - SCShareToSoundCloudTitleView: the orange "share to SoundCloud" bar.
//
// Texts come by key and images by name from the SDK bundle.
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/progress_view.h"
#include "platform/ui/widgets.h"
#include "soundcloud-sdk/ui/oh_attributed_label.h"
#include "soundcloud-sdk/ui/sc_add_connection_view_controller.h"
#include "soundcloud-sdk/ui/sc_buttons.h"
#include "soundcloud-sdk/ui/sc_switch.h"
#include "soundcloud-sdk/ui/sc_text_field.h"

namespace scui {

class SCRecordingSaveViewControllerHeaderView : public platform::View, public platform::TextFieldDelegate {
 public:
  explicit SCRecordingSaveViewControllerHeaderView(const platform::Rect& frame = {});

  SCHorizontalLineView& firstHR() { return *firstHR_; }
  SCHorizontalLineView& secondHR() { return *secondHR_; }
  platform::ImageView& avatarImageView() { return *avatar_; }
  platform::Label& userNameLabel() { return *name_; }
  platform::View& logoutSeparator() { return *separator_; }
  SCUnderlinedButton& logoutButton() { return *logout_; }
  SCCoverImageButton& coverImageButton() { return *cover_; }
  SCTextField& whatTextField() { return *what_; }
  SCTextField& whereTextField() { return *where_; }
  platform::Button& disclosureButton() { return *disclosure_; }
  SCSwitch& privateSwitch() { return *switch_; }

  void setAvatarImage(platform::ImagePtr image);
  void setUserName(const std::optional<std::string>& name);
  void setCoverImage(platform::ImagePtr image);
  float margin() const;
  platform::Rect textRect() const;

  void layoutSubviews() override;
  void drawRect(const platform::Rect& rect) override;

 private:
  std::shared_ptr<SCHorizontalLineView> firstHR_, secondHR_;
  std::shared_ptr<platform::ImageView> avatar_;
  std::shared_ptr<platform::Label> name_;
  std::shared_ptr<platform::View> separator_;
  std::shared_ptr<SCUnderlinedButton> logout_;
  std::shared_ptr<SCCoverImageButton> cover_;
  std::shared_ptr<SCTextField> what_, where_;
  std::shared_ptr<platform::Button> disclosure_;
  std::shared_ptr<SCSwitch> switch_;
  bool hasName_ = false;
};

class SCGradientView : public platform::View {
 public:
  explicit SCGradientView(const platform::Rect& frame = {});
  const std::vector<platform::Color>& colors() const { return colors_; }
  void setColors(std::vector<platform::Color> colors);
  void drawRect(const platform::Rect& rect) override;

 private:
  std::vector<platform::Color> colors_;
};

class SCRecordingUploadProgressView : public platform::ScrollView {
 public:
  enum State : int32_t { Uploading = 0, Succeeded = 1, Failed = 2 };
  static constexpr const char* kAppStoreURL = "itms-apps://itunes.apple.com/apps/SoundCloud";

  explicit SCRecordingUploadProgressView(const platform::Rect& frame = {});
  ~SCRecordingUploadProgressView() override;

  int32_t state() const { return state_; }
  void setState(int32_t s) { state_ = s; }
  const platform::Dictionary& trackInfo() const { return trackInfo_; }
  void setTrackInfo(platform::Dictionary info) { trackInfo_ = std::move(info); }
  void setArtwork(platform::ImagePtr image);
  platform::EdgeInsets contentInset() const { return inset_; }

  SCGradientView& contentView();
  platform::ImageView& artworkView();
  platform::Label& title();
  platform::ProgressView& progress();
  platform::Label& progressLabel();
  platform::View& firstSeparator();
  platform::View& secondSeparator();
  platform::ImageView& resultImage();
  OHAttributedLabel& resultText();
  platform::Button& openAppButton();
  platform::Button& openAppStoreButton();

  std::optional<std::string> appURL() const;
  void openApp();
  void openAppStore();
  void layoutSubviews() override;

 private:
  template <typename T>
  T& part(std::shared_ptr<T>& slot, const std::function<std::shared_ptr<T>()>& make);

  int32_t state_ = Uploading;
  platform::Dictionary trackInfo_;
  platform::EdgeInsets inset_;
  std::shared_ptr<SCGradientView> content_;
  std::shared_ptr<platform::ImageView> artwork_, result_;
  std::shared_ptr<platform::Label> title_, progressLabel_;
  std::shared_ptr<platform::ProgressView> progress_;
  std::shared_ptr<platform::View> first_, second_;
  std::shared_ptr<OHAttributedLabel> resultText_;
  std::shared_ptr<platform::Button> openApp_, openAppStore_;
};

class SCShareToSoundCloudTitleView : public platform::View {
 public:
  explicit SCShareToSoundCloudTitleView(const platform::Rect& frame = {});
  void drawRect(const platform::Rect& rect) override;
};

}  // namespace scui
