#include "soundcloud/screens/soundcloud_info_page_view_controller.h"

#include <cstdio>

#include "soundcloud/screens/soundcloud_info_edit_view_controller.h"

namespace tssc {

using platform::Color;
using platform::ControlEvents::ValueChanged;
using platform::Font;
using platform::Rect;

namespace {

constexpr double kLeft = 20;
constexpr double kCaptionWidth = 110;
constexpr double kFieldX = kLeft + kCaptionWidth + 10;
constexpr double kFieldWidth = 500 - kFieldX - 20;
constexpr double kRow = 44;

std::shared_ptr<platform::TextField> makeField(platform::View& root, double y, double width = kFieldWidth) {
  auto f = std::make_shared<platform::TextField>(Rect{kFieldX, y, width, 31});
  f->setFont(Font::systemFont(14));
  SoundCloudInfoPageViewController::styleTextArea(*f);
  root.addSubview(f);
  return f;
}

std::shared_ptr<platform::SegmentedControl> makeStepper(platform::View& root, double y) {
  auto s = std::make_shared<platform::SegmentedControl>(Rect{500 - 20 - 88, y, 88, 31});
  s->insertSegmentWithTitle("<", 0);
  s->insertSegmentWithTitle(">", 1);
  s->setMomentary(true);
  s->setSelectedSegmentIndex(platform::SegmentedControl::kNoSegment);
  root.addSubview(s);
  return s;
}

std::string displayOf(std::optional<std::string> text) { return text.value_or(""); }

}  // namespace

void SoundCloudInfoPageViewController::loadView() {
  auto root = std::make_shared<platform::View>(Rect{0, 0, 500, 400});
  root->setBackgroundColor(Color::whiteColor());
  root->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  setView(root);
}

void SoundCloudInfoPageViewController::styleTextArea(platform::View& view) {
  view.layer().setBorderColor(Color::lightGray());
  view.layer().setBorderWidth(1.0);
  view.layer().setCornerRadius(6.0);
}

int32_t SoundCloudInfoPageViewController::step(int32_t current, int segment, int32_t count) {
  if (count <= 0) return current;
  if (segment == 0) return current <= 0 ? count - 1 : current - 1;
  if (segment == 1) return current >= count - 1 ? 0 : current + 1;
  return current;
}

std::shared_ptr<platform::Label> SoundCloudInfoPageViewController::addCaption(const std::string& text, double y) {
  auto l = std::make_shared<platform::Label>(Rect{kLeft, y, kCaptionWidth, 31});
  l->setText(text);
  l->setFont(Font::boldSystemFont(14));
  l->setTextAlignment(platform::TextAlignment::Right);
  view()->addSubview(l);
  return l;
}

// ---- general ----------------------------------------------------------------

void SoundCloudInfoPageGeneralViewController::viewDidLoad() {
  platform::View& root = *view();
  const SoundCloudInformationObject& info = *datasource();
  addCaption("Title", 30);
  title_ = makeField(root, 30);
  title_->setText(displayOf(info.title));
  addCaption("Description", 30 + kRow);
  desc_ = std::make_shared<platform::TextView>(Rect{kFieldX, 30 + kRow, kFieldWidth, 140});
  desc_->setFont(Font::named("helvetica", 12));
  styleTextArea(*desc_);
  desc_->setText(displayOf(info.description));
  root.addSubview(desc_);
  sharingLabel_ = addCaption("Pattern Data", 30 + kRow + 156);
  sharing_ = std::make_shared<platform::SegmentedControl>(Rect{kFieldX, 30 + kRow + 156, 200, 31});
  sharing_->insertSegmentWithTitle("Attach", 0);
  sharing_->insertSegmentWithTitle("Don't Attach", 1);
  root.addSubview(sharing_);
  if (info.enabledToAttach()) {
    sharing_->setEnabled(true);
    sharing_->setSelectedSegmentIndex(0);
  } else {
    sharingLabel_->setHidden(true);
    sharing_->setHidden(true);
    sharing_->setEnabled(false);
    sharing_->setSelectedSegmentIndex(1);
  }
}

// ---- description ------------------------------------------------------------

void SoundCloudInfoPageDescViewController::viewDidLoad() {
  platform::View& root = *view();
  const SoundCloudInformationObject& info = *datasource();
  addCaption("Genre", 30);
  genre_ = makeField(root, 30);
  genre_->setText(displayOf(info.genre));
  addCaption("Tags", 30 + kRow);
  tags_ = makeField(root, 30 + kRow);
  tags_->setText(displayOf(info.tags));
  addCaption("BPM", 30 + 2 * kRow);
  bpm_ = makeField(root, 30 + 2 * kRow, 100);
  bpm_->setKeyboardType(platform::KeyboardType::DecimalPad);
  if (info.tempo) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.01f", *info.tempo);
    bpm_->setText(buf);
  } else {
    bpm_->setText("");
  }
  addCaption("Track Type", 30 + 3 * kRow);
  trackType_ = makeField(root, 30 + 3 * kRow, kFieldWidth - 98);
  // The choice is stepped, never typed.
  trackType_->setUserInteractionEnabled(false);
  trackTypeControl_ = makeStepper(root, 30 + 3 * kRow);
  trackTypeControl_->addTarget(this, "trackTypeSwitchPushed:", [this](platform::Control& c) {
    trackTypeSwitchPushed(static_cast<platform::SegmentedControl&>(c));
  }, ValueChanged);
  currentType_ = info.trackType;
  trackType_->setText(displayOf(SoundCloudInformationObject::translateTrackTypeIntoStringForDisplay(currentType_)));
}

void SoundCloudInfoPageDescViewController::trackTypeSwitchPushed(platform::SegmentedControl& control) {
  currentType_ = step(currentType_, control.selectedSegmentIndex(), SoundCloudInformationObject::kTrackTypeCount);
  trackType_->setText(displayOf(SoundCloudInformationObject::translateTrackTypeIntoStringForDisplay(currentType_)));
}

// ---- others -----------------------------------------------------------------

void SoundCloudInfoPageOthersViewController::viewDidLoad() {
  platform::View& root = *view();
  const SoundCloudInformationObject& info = *datasource();
  addCaption("Privacy", 30);
  privacy_ = std::make_shared<platform::SegmentedControl>(Rect{kFieldX, 30, 200, 31});
  privacy_->insertSegmentWithTitle("Public", 0);
  privacy_->insertSegmentWithTitle("Private", 1);
  privacy_->setSelectedSegmentIndex(info.shareType);
  privacy_->addTarget(this, "privacyTypeChanged:", [this](platform::Control& c) {
    privacyTypeChanged(static_cast<platform::SegmentedControl&>(c));
  }, ValueChanged);
  root.addSubview(privacy_);
  addCaption("License", 30 + kRow);
  license_ = makeField(root, 30 + kRow, kFieldWidth - 98);
  license_->setUserInteractionEnabled(false);
  licenseControl_ = makeStepper(root, 30 + kRow);
  licenseControl_->addTarget(this, "licenseTypeSwitchClicked:", [this](platform::Control& c) {
    licenseTypeSwitchClicked(static_cast<platform::SegmentedControl&>(c));
  }, ValueChanged);
  currentLicense_ = info.licenseType;
  license_->setText(displayOf(SoundCloudInformationObject::translateLicenseTypeIntoString(currentLicense_)));
}

void SoundCloudInfoPageOthersViewController::licenseTypeSwitchClicked(platform::SegmentedControl& control) {
  currentLicense_ =
      step(currentLicense_, control.selectedSegmentIndex(), SoundCloudInformationObject::kLicenseTypeCount);
  license_->setText(displayOf(SoundCloudInformationObject::translateLicenseTypeIntoString(currentLicense_)));
}

void SoundCloudInfoPageOthersViewController::privacyTypeChanged(platform::SegmentedControl& control) {
  if (metaController_) metaController_->privacyTypeChanged(control);
}

}  // namespace tssc
