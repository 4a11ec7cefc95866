#include "screens/ti_eye_catch_view_controller.h"

#include "engine/settings/global_settings.h"
#include "platform/gfx/graphics_context.h"

// ---- TIEyeCatchBaseView

platform::View* TIEyeCatchBaseView::hitTest(platform::Point point, const platform::Event* event) {
  platform::View* hit = View::hitTest(point, event);
  if (hit && isFrameView(hit)) {
    if (delegate_) delegate_->touchedUnko();
    return nullptr;
  }
  return hit;
}

// ---- EyeCatchInfoContentViewController

void EyeCatchInfoContentViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  textView_ = std::make_shared<platform::Label>(view()->bounds().insetBy(12, 12));
  textView_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  textView_->setNumberOfLines(0);
  textView_->setLineBreakMode(platform::LineBreakMode::WordWrap);
  textView_->setFont(platform::Font::systemFont(14));
  textView_->setText(text_);
  view()->setBackgroundColor(platform::Color::whiteColor());
  view()->addSubview(textView_);
}

void EyeCatchInfoContentViewController::setText(const std::string& text) {
  text_ = text;
  if (textView_) textView_->setText(text);
}

// ---- TIEyeCatchViewController

namespace {

// The frame's look: a soft amber band, drawn here so the overlay needs no
// image file.
platform::ImagePtr frameImage() {
  platform::beginImageContext({300, 120}, false, 2.0);
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  c->setFillColor(platform::Color::rgba(1.0, 0.78, 0.45, 0.95));
  c->fillRect({0, 0, 300, 120});
  platform::ImagePtr image = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return image;
}

}  // namespace

TIEyeCatchViewController::TIEyeCatchViewController() = default;

TIEyeCatchViewController::~TIEyeCatchViewController() {
  if (isViewLoaded()) {
    if (auto* base = dynamic_cast<TIEyeCatchBaseView*>(view())) base->setDelegate(nullptr);
  }
  frameView_.reset();
  headline_.reset();
  info_.reset();
}

void TIEyeCatchViewController::loadView() {
  auto base = std::make_shared<TIEyeCatchBaseView>(platform::Rect{0, 0, 300, 120});
  base->setBackgroundColor(platform::Color::clear());
  frameView_ = std::make_shared<TIFrameView>(base->bounds());
  frameView_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  frameView_->setBackgroundImage(frameImage());
  base->addSubview(frameView_);
  headline_ = std::make_shared<platform::Label>(platform::Rect{14, 2, 240, 22});
  headline_->setText(headlineText_);
  base->addSubview(headline_);
  info_ = std::make_shared<platform::Button>(platform::Button::Type::System, platform::Rect{262, 2, 30, 22});
  info_->setTitle("i", platform::ControlState::Normal);
  info_->addTarget(this, "infoButtonPushed:", [this](platform::Control&) { infoButtonPushed(); },
                   platform::ControlEvents::TouchUpInside);
  base->addSubview(info_);
  setView(base);
}

void TIEyeCatchViewController::viewDidLoad() {
  UIDissolveViewController::viewDidLoad();
  static_cast<TIEyeCatchBaseView*>(view())->setDelegate(this);
  frameView_->setTag(0);
  headline_->setTag(1);
  info_->setTag(2);
  headline_->setFont(platform::Font::systemFont(15));
  headline_->setTextColor(platform::Color::white(0.1, 1.0));
}

bool TIEyeCatchViewController::showTips() {
  GlobalSettings* g = globalSettings();
  return g && g->get(GlobalSettings::kShowTips) != 0;
}

void TIEyeCatchViewController::openUp(float duration) {
  if (!showTips()) {
    view()->setAlpha(0.0);
    return;
  }
  touched_ = false;
  UIDissolveViewController::openUp(duration);
}

void TIEyeCatchViewController::dismiss(float duration) {
  if (showTips()) UIDissolveViewController::dismiss(duration);
}

void TIEyeCatchViewController::touchedUnko() {
  if (touched_) return;
  dismiss(kTouchFade);
  touched_ = true;
}

void TIEyeCatchViewController::setHeadlineText(const std::string& text) {
  headlineText_ = text;
  if (headline_) headline_->setText(text);
}

void TIEyeCatchViewController::infoButtonPushed() {
  auto content = std::make_shared<EyeCatchInfoContentViewController>();
  content->setText(infoText_);
  content->setModalPresentationStyle(platform::ModalPresentationStyle::Popover);
  platform::PopoverPresentationController* p = content->popoverPresentationController();
  p->setPermittedArrowDirections(platform::PopoverArrowDirection::Any);
  p->setSourceView(view());
  p->setSourceRect(view()->bounds());
  presentViewController(std::move(content), true, {});
}
