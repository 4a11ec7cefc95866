// The Link kit's in-app banner.

#include "audio/link/screens/abl_notification_view.h"

#include "audio/link/abl_link.h"
#include "audio/link/localized_string.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/label.h"
#include "platform/ui/window.h"

namespace {

// The one set of banner state for the program.
struct BannerState {
  std::shared_ptr<platform::View> layer;  // the banners' own layer, made on first use
  std::weak_ptr<platform::Window> window; // the window it was last laid over
  std::shared_ptr<ABLNotificationView> current;
  std::shared_ptr<platform::Timer> timer;
};

BannerState& state() {
  static BannerState* s = new BannerState();
  return *s;
}

constexpr double kMargin = 8.0;

}  // namespace

platform::Color ABLNotificationView::bannerColor() {
  return platform::Color::rgba(0.25098039215686274, 0.8274509803921568, 0.6980392156862745, 1.0);
}

ABLNotificationView::ABLNotificationView() : platform::View() { setBackgroundColor(bannerColor()); }

platform::Label* ABLNotificationView::messageLabel() {
  if (!messageLabel_) {
    auto label = std::make_shared<platform::Label>();
    label->setTextColor(platform::Color::whiteColor());
    label->setFont(platform::Font::systemFont(16.0));
    label->setTextAlignment(platform::TextAlignment::Center);
    label->setAdjustsFontSizeToFitWidth(true);
    label->setUserInteractionEnabled(false);
    addSubview(label);
    messageLabel_ = label;
    setNeedsLayout();
  }
  return messageLabel_.get();
}

void ABLNotificationView::setMessageLabel(std::shared_ptr<platform::Label> label) { messageLabel_ = std::move(label); }

void ABLNotificationView::layoutSubviews() {
  if (!messageLabel_) return;
  // Standard margins left, right and below: the text sits at the bottom,
  // under the status bar area.
  const platform::Rect b = bounds();
  const double h = messageLabel_->font().lineHeight();
  messageLabel_->setFrame({kMargin, b.maxY() - kMargin - h, std::max(0.0, b.width() - 2 * kMargin), h});
}

std::string ABLNotificationView::createNotificationTextForNumberOfPeers(unsigned long count) {
  return linkKitNotificationText(linkKitTexts(), count);
}

void ABLNotificationView::showNotificationMessage(unsigned long count, platform::UserDefaults* defaults) {
  platform::UserDefaults& d = defaults ? *defaults : platform::UserDefaults::standardUserDefaults();
  if (!d.boolForKey(kABLNotificationEnabledKey)) return;
  if (platform::Application::sharedApplication().applicationState() != platform::Application::State::Active) return;
  flashNotificationInIfNeeded();
  updateNotificationText(createNotificationTextForNumberOfPeers(count));
}

void ABLNotificationView::flashNotificationInIfNeeded() {
  if (state().current) {
    resetNotificationDurationTimer();
  } else {
    createAndAnimateNotificationIn();
  }
}

void ABLNotificationView::updateNotificationText(const std::string& text) {
  if (state().current) state().current->messageLabel()->setText(text);
}

platform::Window* ABLNotificationView::notificationWindow() { return platform::Application::sharedApplication().keyWindow(); }

void ABLNotificationView::prepareNotificationWindowIfNeeded() {
  BannerState& s = state();
  if (!s.layer) {
    s.layer = std::make_shared<platform::View>();
    s.layer->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
    s.layer->setBackgroundColor(platform::Color::clear());
    s.layer->setUserInteractionEnabled(false);
    s.layer->setClipsToBounds(true);
  }
}

double ABLNotificationView::preferredNotificationHeight() {
  platform::Window* w = notificationWindow();
  return kBaseHeight + (w ? w->windowSafeAreaInsets().top : 0.0);
}

void ABLNotificationView::createAndAnimateNotificationIn() {
  prepareNotificationWindowIfNeeded();
  platform::Window* w = notificationWindow();
  if (!w) return;
  BannerState& s = state();
  // Over everything the window holds, following its size.
  s.layer->setFrame(w->bounds());
  if (s.layer->superview() != w) {
    s.layer->removeFromSuperview();
    w->addSubview(s.layer);
  } else {
    w->bringSubviewToFront(s.layer.get());
  }
  s.layer->setHidden(false);
  const double height = preferredNotificationHeight();
  const double width = w->bounds().width();
  auto banner = std::make_shared<ABLNotificationView>();
  banner->setUserInteractionEnabled(false);
  banner->setAutoresizingMask(platform::Autoresizing::FlexibleWidth);
  banner->setFrame({0, -height, width, height});
  s.layer->addSubview(banner);
  s.current = banner;
  std::weak_ptr<ABLNotificationView> weak = banner;
  platform::View::animate(
      kSlideInDuration, [banner, width, height] { banner->setFrame({0, 0, width, height}); },
      [weak](bool) {
        if (auto b = weak.lock(); b && state().current == b) resetNotificationDurationTimer();
      });
}

void ABLNotificationView::resetNotificationDurationTimer() {
  BannerState& s = state();
  if (s.timer) s.timer->invalidate();
  s.timer = platform::RunLoop::main().scheduleTimer(kShowDuration, false, [](platform::Timer&) {
    state().timer.reset();
    dismissNotificationIfNeeded();
  });
}

void ABLNotificationView::dismissNotificationIfNeeded() {
  BannerState& s = state();
  if (!s.current) return;
  // A new banner may start while this one leaves.
  std::shared_ptr<ABLNotificationView> leaving = std::move(s.current);
  s.current.reset();
  const platform::Rect f = leaving->frame();
  const double height = preferredNotificationHeight();
  platform::View::animate(
      kSlideOutDuration, [leaving, f, height] { leaving->setFrame({f.origin.x, -height, f.width(), f.height()}); },
      [leaving](bool) {
        leaving->removeFromSuperview();
        BannerState& st = state();
        if (!st.current && st.layer) st.layer->setHidden(true);
      });
}

ABLNotificationView* ABLNotificationView::currentView() { return state().current.get(); }

platform::View* ABLNotificationView::notificationLayer() { return state().layer.get(); }

bool ABLNotificationView::hasPendingDismissal() { return static_cast<bool>(state().timer); }
