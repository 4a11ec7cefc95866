#pragma once
// The read-only page of one fetched track's information: title, upload
// date, genre, tags, tempo, licence, track type, description, and the
// uploader's name and picture, filled once from the record when the view
// loads (later changes of the record are not followed). Its close button
// dismisses it. An absent text shows as nothing.
//
// Main thread only. Made shared (std::make_shared).

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "soundcloud/soundcloud_information_object.h"

namespace tssc {

class SCMultipleInfoTopViewController : public platform::ViewController {
 public:
  const std::shared_ptr<SoundCloudInformationObject>& informationObject() const { return informationObject_; }
  // Set before the view loads.
  void setInformationObject(std::shared_ptr<SoundCloudInformationObject> o) { informationObject_ = std::move(o); }

  platform::Label& trackName() { return *trackName_; }
  platform::Label& uploadDate() { return *uploadDate_; }
  platform::Label& genre() { return *genre_; }
  platform::Label& keywords() { return *keywords_; }
  platform::Label& bpm() { return *bpm_; }
  platform::Label& license() { return *license_; }
  platform::Label& username() { return *username_; }
  platform::TextView& description() { return *description_; }
  platform::ImageView& userPicture() { return *userPicture_; }
  platform::Label& trackType() { return *trackType_; }
  platform::Button& closeButton() { return *close_; }

  void loadView() override;
  void viewDidLoad() override;
  unsigned supportedInterfaceOrientations() const override { return 24; }
  void closeButtonPushed();

 private:
  std::shared_ptr<SoundCloudInformationObject> informationObject_;
  std::shared_ptr<platform::Label> trackName_, uploadDate_, genre_, keywords_, bpm_, license_, username_, trackType_;
  std::shared_ptr<platform::TextView> description_;
  std::shared_ptr<platform::ImageView> userPicture_;
  std::shared_ptr<platform::Button> close_;
};

}  // namespace tssc
