#include "screens/release_note_view_controller.h"

#include "platform/foundation/bundle.h"
#include "platform/gfx/image.h"
#include "platform/ui/screen.h"

void ReleaseNoteViewController::loadView() {
  auto root = std::make_shared<platform::View>(platform::Rect{0, 0, kSize.width, kSize.height});
  root->setBackgroundColor(platform::Color::whiteColor());
  const platform::Rect b = root->bounds();

  closeButton_ = std::make_shared<platform::Button>(platform::Button::Type::Custom);
  platform::ImagePtr icon;
  // Read from its file, not from the image cache.
  if (auto path = platform::Bundle::mainBundle().pathForResource("icon_close", "png"))
    icon = platform::Image::fromPNG(*path, platform::kBundleImageScale);
  if (icon) {
    closeButton_->setImage(icon, platform::ControlState::Normal);
    closeButton_->setFrame({10, 10, icon->size().width, icon->size().height});
  } else {
    // Without the image the button would have no size and the screen could
    // not be closed.
    closeButton_->setTitle("Close", platform::ControlState::Normal);
    closeButton_->setTitleColor(platform::Color::black(), platform::ControlState::Normal);
    closeButton_->setFrame({10, 10, 56, 32});
  }
  closeButton_->addTarget(this, "closeButtonPushed:", [this](platform::Control&) { closeButtonPushed(); },
                          platform::ControlEvents::TouchUpInside);
  root->addSubview(closeButton_);

  header_ = std::make_shared<platform::Label>(platform::Rect{70, 20, b.size.width - 140, 20});
  header_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  header_->setFont(platform::Font::named("AmericanTypewriter-Bold", 18));
  root->addSubview(header_);

  body_ = std::make_shared<platform::Label>(platform::Rect{60, 60, b.size.width - 120, b.size.height - 80});
  body_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  body_->setFont(platform::Font::named("AmericanTypewriter", 15));
  body_->setNumberOfLines(0);
  body_->setLineBreakMode(platform::LineBreakMode::WordWrap);
  root->addSubview(body_);
  setView(root);
}

void ReleaseNoteViewController::closeButtonPushed() { dismissViewControllerAnimated(true, {}); }
