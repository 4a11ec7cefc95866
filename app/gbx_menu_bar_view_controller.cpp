// The menu bar strip and its six buttons.

#include "app/gbx_menu_bar_view_controller.h"

#include "platform/gfx/image.h"
#include "platform/ui/button.h"

namespace CS = platform::ControlState;

GBXMenuBarViewController::GBXMenuBarViewController(std::function<bool()> linkAvailable)
    : linkAvailable_(std::move(linkAvailable)) {}

GBXMenuBarViewController::~GBXMenuBarViewController() {
  releaseOutlets();
  if (isViewLoaded()) view()->removeFromSuperview();
}

void GBXMenuBarViewController::loadView() {
  auto strip = std::make_shared<platform::View>(platform::Rect{0, -kHeight, 0, kHeight});
  // Black, 80 % opaque.
  strip->setBackgroundColor(platform::Color::white(0.0, 0.8));
  setView(strip);
}

void GBXMenuBarViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  setupOutlets();
}

void GBXMenuBarViewController::setupOutlets() {
  struct Slot {
    std::shared_ptr<platform::Button>* button;
    platform::Button::Type type;
    const char* normal;
    const char* selected;
  };
  const Slot slots[] = {
      {&browserButton_, platform::Button::Type::System, "MenuBarBrowser", nullptr},
      {&settingButton_, platform::Button::Type::System, "MenuBarSettings", nullptr},
      {&exportButton_, platform::Button::Type::System, "MenuBarExport", nullptr},
      {&fileButton_, platform::Button::Type::System, "MenuBarFile", nullptr},
      {&helpButton_, platform::Button::Type::System, "MenuBarInfo", nullptr},
      {&abletonLinkButton_, platform::Button::Type::Custom, "MenuBarLinkDisable", "MenuBarLinkEnable"},
  };
  for (const Slot& s : slots) {
    auto b = std::make_shared<platform::Button>(s.type, platform::Rect{});
    b->setBackgroundImage(platform::Image::named(s.normal), CS::Normal);
    if (s.selected) b->setBackgroundImage(platform::Image::named(s.selected), CS::Selected);
    b->setBackgroundColor(platform::Color::clear());
    *s.button = b;
    view()->addSubview(b);
  }
  abletonLinkButton_->setHidden(!isAbletonLinkAvailable());
}

void GBXMenuBarViewController::viewWillLayoutSubviews() {
  platform::ViewController::viewWillLayoutSubviews();
  if (!browserButton_) return;
  const platform::Rect b = view()->bounds();
  const double x0 = b.minX();
  const double y = b.minY() + 3;
  auto place = [&](platform::Button& button, double dx) { button.setFrame({x0 + dx, y, kButtonSize, kButtonSize}); };
  place(*browserButton_, 25);
  place(*settingButton_, 75);
  place(*fileButton_, 125);
  place(*exportButton_, 175);
  if (isAbletonLinkAvailable()) {
    place(*abletonLinkButton_, 225);
    place(*helpButton_, 275);
  } else {
    place(*helpButton_, 225);
  }
}

void GBXMenuBarViewController::releaseOutlets() {
  for (auto* b : {&browserButton_, &settingButton_, &exportButton_, &fileButton_, &helpButton_, &abletonLinkButton_}) {
    if (*b) (*b)->removeFromSuperview();
    b->reset();
  }
}
