#pragma once
// The three pages of the track information editor, each bound to the
// information record being edited and laid out in code:
// - general: title, description, and the switch that attaches the pattern
//   data (shown only when the record offers an attachment);
// - description: genre, tags, tempo and the track type, stepped back and
//   forward through its table (wrapping, the empty type 0 included);
// - others: public or private, and the licence, stepped the same way.
// A page shows the record's values when its view loads; the editor reads
// the controls back (gatherInformation) and never the other way round.
//
// Main thread only.

#include <cstdint>
#include <memory>

#include "platform/ui/label.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"
#include "soundcloud/soundcloud_information_object.h"

namespace tssc {

class SoundCloudInfoEditViewController;

class SoundCloudInfoPageViewController : public platform::ViewController {
 public:
  const std::shared_ptr<SoundCloudInformationObject>& datasource() const { return datasource_; }
  void setDatasource(std::shared_ptr<SoundCloudInformationObject> d) { datasource_ = std::move(d); }
  void loadView() override;
  unsigned supportedInterfaceOrientations() const override { return 24; }

  // The light-grey rounded frame of the page's text areas.
  static void styleTextArea(platform::View& view);
  // Steps `current` back (segment 0) or forward (segment 1) through
  // `count` entries, wrapping; any other segment leaves it.
  static int32_t step(int32_t current, int segment, int32_t count);

 protected:
  std::shared_ptr<platform::Label> addCaption(const std::string& text, double y);

 private:
  std::shared_ptr<SoundCloudInformationObject> datasource_;
};

class SoundCloudInfoPageGeneralViewController : public SoundCloudInfoPageViewController {
 public:
  void viewDidLoad() override;
  platform::TextField& title() { return *title_; }
  platform::TextView& desc() { return *desc_; }
  // Segment 0 attaches the pattern data.
  platform::SegmentedControl& sharing() { return *sharing_; }
  platform::Label& sharingLabel() { return *sharingLabel_; }

 private:
  std::shared_ptr<platform::TextField> title_;
  std::shared_ptr<platform::TextView> desc_;
  std::shared_ptr<platform::SegmentedControl> sharing_;
  std::shared_ptr<platform::Label> sharingLabel_;
};

class SoundCloudInfoPageDescViewController : public SoundCloudInfoPageViewController {
 public:
  void viewDidLoad() override;
  void trackTypeSwitchPushed(platform::SegmentedControl& control);
  platform::TextField& genre() { return *genre_; }
  platform::TextField& tags() { return *tags_; }
  platform::TextField& bpm() { return *bpm_; }
  platform::TextField& trackType() { return *trackType_; }
  platform::SegmentedControl& trackTypeControl() { return *trackTypeControl_; }
  int32_t currentType() const { return currentType_; }

 private:
  std::shared_ptr<platform::TextField> genre_, tags_, bpm_, trackType_;
  std::shared_ptr<platform::SegmentedControl> trackTypeControl_;
  int32_t currentType_ = 0;
};

class SoundCloudInfoPageOthersViewController : public SoundCloudInfoPageViewController {
 public:
  void viewDidLoad() override;
  void licenseTypeSwitchClicked(platform::SegmentedControl& control);
  void privacyTypeChanged(platform::SegmentedControl& control);
  // Segment 0 public, 1 private.
  platform::SegmentedControl& privacy() { return *privacy_; }
  platform::TextField& license() { return *license_; }
  platform::SegmentedControl& licenseControl() { return *licenseControl_; }
  int32_t currentLicense() const { return currentLicense_; }
  SoundCloudInfoEditViewController* metaController() const { return metaController_; }
  // Not owned: the editor owns the page.
  void setMetaController(SoundCloudInfoEditViewController* c) { metaController_ = c; }

 private:
  std::shared_ptr<platform::SegmentedControl> privacy_;
  std::shared_ptr<platform::TextField> license_;
  std::shared_ptr<platform::SegmentedControl> licenseControl_;
  int32_t currentLicense_ = 1;
  SoundCloudInfoEditViewController* metaController_ = nullptr;
};

}  // namespace tssc
