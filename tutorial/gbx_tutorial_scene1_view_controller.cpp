#include "tutorial/gbx_tutorial_scene1_view_controller.h"

#include <algorithm>
#include <string>

#include "app/gq_flurry.h"
#include "app/z31647_view_controller.h"
#include "controls/gbx_localized_message.h"
#include "controls/image_manager.h"
#include "controls/ui_slider_button.h"
#include "engine/settings/global_settings.h"
#include "platform/gfx/image.h"
#include "platform/gfx/text.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "tutorial/gbx_tutorial_style.h"
#include "tutorial/gbx_tutorial_view_controller.h"

using platform::Point;
using platform::Rect;
using tutorial_style::truncInt;
namespace CE = platform::ControlEvents;

namespace {

constexpr Point kLinearPaneOrigin{45, 80};
constexpr Point kRotaryPaneOrigin{255, 80};
constexpr double kPaneSide = 120;

// The font size, from `size` down, at which every line of `title` fits the
// button. The system's sans family runs wider than the one the layout was
// drawn for, and a choice title must never be cut.
double fittingTitleSize(const std::string& title, const std::string& fontName, double size, platform::Size box) {
  for (; size > 9.0; size -= 0.5) {
    platform::TextStyle style;
    style.font = platform::Font::named(fontName, size);
    style.numberOfLines = 0;
    double widest = 0;
    int lines = 0;
    size_t from = 0;
    while (from <= title.size()) {
      const size_t to = title.find('\n', from);
      const std::string line = title.substr(from, to == std::string::npos ? std::string::npos : to - from);
      widest = std::max(widest, platform::measureText(line, style, 0).width);
      ++lines;
      if (to == std::string::npos) break;
      from = to + 1;
    }
    if (widest <= box.width && lines * style.font.lineHeight() <= box.height) break;
  }
  return size;
}

platform::Color single(double r, double g, double b) {
  return platform::Color::rgba(static_cast<double>(static_cast<float>(r)), static_cast<double>(static_cast<float>(g)),
                               static_cast<double>(static_cast<float>(b)), 1.0);
}

}  // namespace

GBXTutorialScene1ViewController::GBXTutorialScene1ViewController() = default;
GBXTutorialScene1ViewController::~GBXTutorialScene1ViewController() = default;

void GBXTutorialScene1ViewController::viewDidLoad() {
  GBXTutorialScene::viewDidLoad();
  setupOutlets();
}

void GBXTutorialScene1ViewController::viewDidAppear(bool animated) {
  GBXTutorialScene::viewDidAppear(animated);
  if (appeared_) return;
  appeared_ = true;
  openingAnimation();
}

Rect GBXTutorialScene1ViewController::calcBaseViewFrame(bool shown) {
  const Rect b = view()->bounds();
  const platform::Size s = baseViewSize();
  const double x = truncInt(b.midX() - s.width / 2);
  const double y = shown ? truncInt(b.midY() - s.height / 2) : truncInt(b.maxY() + 20);
  return {x, y, s.width, s.height};
}

GBXTutorialScene1ViewController::Option GBXTutorialScene1ViewController::makeOption(int64_t tag, Point origin) {
  Option o;
  o.pane = std::make_shared<platform::View>(Rect{origin.x, origin.y, kPaneSide, kPaneSide});
  o.pane->setBackgroundColor(platform::Color::clear());
  baseView_->addSubview(o.pane);
  const Rect pb = o.pane->bounds();

  // The picture of the gesture.
  std::shared_ptr<Z31647ViewController> m = mainViewController();
  const ImageManager* images = m && m->imageManager() ? m->imageManager() : ImageManager::instance();
  platform::ImagePtr picture =
      images ? images->uiimage(tag == 0 ? image_table::kKnobGestureLinear : image_table::kKnobGestureRotary) : nullptr;
  const platform::Size size = picture ? picture->size() : platform::Size{};
  o.image = std::make_shared<platform::ImageView>(
      Rect{truncInt(pb.midX() - size.width / 2), truncInt(pb.midY() - size.height / 2) - 10, size.width, size.height});
  o.image->setImage(picture);
  o.image->layer().setCornerRadius(50);
  o.image->setClipsToBounds(true);
  o.pane->addSubview(o.image);

  // A knob to try the gesture on: it answers to its own gesture whatever the
  // global setting says, and changes nothing else.
  o.knob = std::make_shared<UISliderButton>(
      Rect{truncInt(pb.midX() - 26.5), truncInt(pb.midY() - 26.5) - 10, 53, 53});
  o.knob->setBaseImage(platform::Image::named("Pitch_Knob"));
  o.knob->setBaseImageActive(platform::Image::named("Pitch_Knob_Active"));
  o.knob->setRotateResolution(128);
  o.knob->setMaxValue(127);
  o.knob->setMinValue(0);
  o.knob->setValue(64);
  o.knob->setInfiniteRotationMode(false);
  o.knob->setRotaryMode(false);
  o.knob->setKnobMode(static_cast<int32_t>(tag));
  o.pane->addSubview(o.knob);

  // The choice, under the pane.
  const Rect pf = o.pane->frame();
  o.button = std::make_shared<platform::Button>(platform::Button::Type::System,
                                                Rect{pf.minX() - 4, pf.maxY() - 3, pf.width() + 8, 36});
  const std::string title = GBXLocalizedMessage::getText(tag == 0 ? 8 : 9);
  o.button->setTitle(title, platform::ControlState::Normal);
  o.button->setTitleColor(single(0.0, 0.4, 0.94117647), platform::ControlState::Normal);
  const double titleSize = fittingTitleSize(title, "HelveticaNeue-Medium", 16, {pf.width() + 4, 38});
  o.button->titleLabel().setFont(platform::Font::named("HelveticaNeue-Medium", titleSize));
  o.button->setTag(tag);
  if (tag == 0) {
    o.button->titleLabel().setTextAlignment(platform::TextAlignment::Center);
    o.button->titleLabel().setLineBreakMode(platform::LineBreakMode::WordWrap);
    o.button->titleLabel().setNumberOfLines(0);
  }
  std::weak_ptr<GBXTutorialScene1ViewController> weak = weakSelf(this);
  o.button->addTarget(
      this, "processDone:",
      [weak](platform::Control& c) {
        if (auto s = weak.lock()) s->processDone(static_cast<platform::Button*>(&c));
      },
      CE::TouchUpInside);
  baseView_->addSubview(o.button);
  return o;
}

void GBXTutorialScene1ViewController::setupOutlets() {
  platform::View* root = view();
  root->setBackgroundColor(platform::Color::clear());

  baseView_ = std::make_shared<platform::View>(calcBaseViewFrame(false));
  // Fixed in size and kept centred when the screen changes.
  baseView_->setAutoresizingMask(platform::Autoresizing::FlexibleLeftMargin | platform::Autoresizing::FlexibleRightMargin |
                                 platform::Autoresizing::FlexibleTopMargin |
                                 platform::Autoresizing::FlexibleBottomMargin);
  baseView_->setBackgroundColor(platform::Color::clear());
  baseView_->layer().setCornerRadius(4);
  baseView_->setClipsToBounds(true);
  root->addSubview(baseView_);

  baseView_->addSubview(std::make_shared<GBXTutorialFrostView>(baseView_->bounds()));

  Option linear = makeOption(0, kLinearPaneOrigin);
  Option rotary = makeOption(1, kRotaryPaneOrigin);
  linearModeView_ = linear.pane;
  linearImage_ = linear.image;
  linearKnob_ = linear.knob;
  linearModeButton_ = linear.button;
  rotaryModeView_ = rotary.pane;
  rotaryImage_ = rotary.image;
  rotaryKnob_ = rotary.knob;
  rotaryModeButton_ = rotary.button;

  prompt_ = std::make_shared<platform::Label>(Rect{0, 12, 420, 56});
  prompt_->setText(GBXLocalizedMessage::getText(0));
  prompt_->setFont(platform::Font::systemFont(20));
  prompt_->setTextColor(single(0.06666667, 0.06666667, 0.06666667));
  prompt_->setBaselineAdjustment(platform::BaselineAdjustment::AlignCenters);
  prompt_->setTextAlignment(platform::TextAlignment::Center);
  prompt_->setNumberOfLines(0);
  prompt_->setBackgroundColor(platform::Color::clear());
  baseView_->addSubview(prompt_);

  // Two hairlines frame the choice buttons as one row of two cells.
  const Rect b = baseView_->bounds();
  const platform::Color hairline = single(0.69411767, 0.69411767, 0.69411767);
  auto horizontal = std::make_shared<platform::View>(Rect{b.minX(), b.maxY() - 50, b.width(), 0.5});
  horizontal->setBackgroundColor(hairline);
  horizontal->setUserInteractionEnabled(false);
  baseView_->addSubview(horizontal);
  auto vertical = std::make_shared<platform::View>(Rect{b.minX() + b.width() / 2, b.maxY() - 50, 0.5, 50});
  vertical->setBackgroundColor(hairline);
  vertical->setUserInteractionEnabled(false);
  baseView_->addSubview(vertical);
}

void GBXTutorialScene1ViewController::openingAnimation() {
  view()->setBackgroundColor(platform::Color::clear());
  baseView_->setFrame(calcBaseViewFrame(false));
  tutorial_style::springAnimate(1.2, 0.8, static_cast<double>(0.6f), 1.0, platform::AnimationOptions::None, [this] {
    view()->setBackgroundColor(GBXTutorialViewController::darkBackgroundColor());
    baseView_->setFrame(calcBaseViewFrame(true));
  });
}

void GBXTutorialScene1ViewController::processDone(platform::Button* sender) {
  if (done_ || !sender) return;
  done_ = true;
  const int64_t tag = sender->tag();
  loadTemplatePattern();
  if (GlobalSettings* g = globalSettings()) g->set(GlobalSettings::kKnobMode, static_cast<int32_t>(tag));
  GQFlurry::sharedInstance().reportEvent(tag == 1 ? gq_event::kTutorialRotary : gq_event::kTutorialLinear);
  closingAnimation(tag);
}

void GBXTutorialScene1ViewController::loadTemplatePattern() {
  std::shared_ptr<Z31647ViewController> m = mainViewController();
  if (!m) return;
  m->changePattern(kTemplatePattern);
  m->setCurrentPart(kTemplatePart);
}

void GBXTutorialScene1ViewController::closingAnimation(int64_t tag) {
  platform::View* pane = tag == 1 ? linearModeView_.get() : rotaryModeView_.get();
  platform::View* button = tag == 1 ? linearModeButton_.get() : rotaryModeButton_.get();
  const double damping = static_cast<double>(0.6f);
  tutorial_style::springAnimate(1.4, 0.0, damping, 1.0, platform::AnimationOptions::None, [pane, button] {
    pane->setAlpha(0.0);
    button->setAlpha(0.0);
  });
  std::weak_ptr<GBXTutorialScene1ViewController> weak = weakSelf(this);
  tutorial_style::springAnimate(
      0.8, 0.6, damping, 1.0, platform::AnimationOptions::None,
      [this] {
        view()->setBackgroundColor(platform::Color::clear());
        baseView_->setFrame(calcBaseViewFrame(false));
      },
      [weak](bool) {
        auto s = weak.lock();
        if (!s) return;
        if (auto d = s->delegate()) d->moveToNextScene();
      });
}
