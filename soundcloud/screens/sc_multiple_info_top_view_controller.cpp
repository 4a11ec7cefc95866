#include "soundcloud/screens/sc_multiple_info_top_view_controller.h"

#include <cstdio>

namespace tssc {

using platform::Color;
using platform::Font;
using platform::Rect;

void SCMultipleInfoTopViewController::loadView() {
  auto root = std::make_shared<platform::View>(Rect{0, 0, 540, 400});
  root->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  auto label = [&](const Rect& frame, const Font& font) {
    auto l = std::make_shared<platform::Label>(frame);
    l->setFont(font);
    l->setTextColor(Color::whiteColor());
    root->addSubview(l);
    return l;
  };
  userPicture_ = std::make_shared<platform::ImageView>(Rect{20, 20, 60, 60});
  root->addSubview(userPicture_);
  trackName_ = label({95, 18, 380, 28}, Font::boldSystemFont(20));
  username_ = label({95, 46, 380, 20}, Font::systemFont(14));
  uploadDate_ = label({95, 64, 380, 18}, Font::systemFont(12));
  genre_ = label({20, 100, 250, 20}, Font::systemFont(14));
  bpm_ = label({280, 100, 240, 20}, Font::systemFont(14));
  keywords_ = label({20, 124, 500, 20}, Font::systemFont(14));
  trackType_ = label({20, 148, 250, 20}, Font::systemFont(14));
  license_ = label({280, 148, 240, 20}, Font::systemFont(14));
  license_->setAdjustsFontSizeToFitWidth(true);
  description_ = std::make_shared<platform::TextView>(Rect{20, 180, 500, 200});
  description_->setEditable(false);
  description_->setBackgroundColor(Color::clear());
  description_->setTextColor(Color::whiteColor());
  description_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  root->addSubview(description_);
  close_ = std::make_shared<platform::Button>(platform::Button::Type::System, Rect{480, 10, 50, 30});
  close_->setTitle("Close", platform::ControlState::Normal);
  close_->setAutoresizingMask(platform::Autoresizing::FlexibleLeftMargin);
  close_->addTarget(this, "closeButtonPushed:", [this](platform::Control&) { closeButtonPushed(); },
                    platform::ControlEvents::TouchUpInside);
  root->addSubview(close_);
  setView(root);
}

void SCMultipleInfoTopViewController::viewDidLoad() {
  view()->setBackgroundColor(Color::white(0.01, 0.98));
  const SoundCloudInformationObject empty(false, false);
  const SoundCloudInformationObject& info = informationObject_ ? *informationObject_ : empty;
  auto text = [](const std::optional<std::string>& s) { return s.value_or(""); };
  trackName_->setText(text(info.title));
  uploadDate_->setText("Uploaded on " + text(info.updatedDate));
  genre_->setText("Genre : " + text(info.genre));
  keywords_->setText("Tags : " + text(info.tags));
  if (info.tempo) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "BPM : %.1f", static_cast<double>(static_cast<float>(*info.tempo)));
    bpm_->setText(buf);
  } else {
    bpm_->setText("BPM : ");
  }
  license_->setText("License : " + text(SoundCloudInformationObject::translateLicenseTypeIntoString(info.licenseType)));
  username_->setText(text(info.username));
  description_->setText(text(info.description));
  userPicture_->setImage(info.userPicture);
  trackType_->setText("Track Type : " +
                      text(SoundCloudInformationObject::translateTrackTypeIntoStringForDisplay(info.trackType)));
}

void SCMultipleInfoTopViewController::closeButtonPushed() { dismissViewControllerAnimated(true, nullptr); }

}  // namespace tssc
