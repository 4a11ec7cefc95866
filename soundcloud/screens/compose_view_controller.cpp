#include "soundcloud/screens/compose_view_controller.h"

#include "platform/ui/navigation_controller.h"

namespace tssc {

using platform::Rect;

ComposeViewController::~ComposeViewController() {
  if (timer_) timer_->invalidate();
}

void ComposeViewController::loadView() {
  auto root = std::make_shared<platform::View>(Rect{0, 0, 300, 300});
  root->setBackgroundColor(platform::Color::whiteColor());
  txtView_ = std::make_shared<platform::TextView>(Rect{0, 0, 300, 300});
  txtView_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  txtView_->setFont(platform::Font::systemFont(14));
  root->addSubview(txtView_);
  setView(root);
}

void ComposeViewController::viewDidLoad() {
  sendItem_ = platform::BarButtonItem::titled("Send", platform::BarButtonItem::Style::Done,
                                              [this](platform::BarButtonItem& b) { sendButtonPushed(b); });
  navigationItem().setRightBarButtonItem(sendItem_);
}

void ComposeViewController::viewDidAppear(bool animated) {
  platform::ViewController::viewDidAppear(animated);
  txtView_->becomeFirstResponder();
}

platform::ActivityIndicatorView& ComposeViewController::indicator() {
  if (!indicator_) {
    indicator_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorView::Style::WhiteLarge);
    view()->addSubview(indicator_);
    indicator_->setCenter(view()->bounds().center());
  }
  return *indicator_;
}

platform::Label& ComposeViewController::messageLabel() {
  if (!messageLabel_) {
    messageLabel_ = std::make_shared<platform::Label>(Rect{0, -kBannerHeight, view()->bounds().size.width, kBannerHeight});
    messageLabel_->setBackgroundColor(platform::Color::whiteColor());
    messageLabel_->setTextColor(platform::Color::black());
    messageLabel_->setFont(platform::Font::boldSystemFont(14));
    messageLabel_->setTextAlignment(platform::TextAlignment::Center);
    view()->addSubview(messageLabel_);
  }
  return *messageLabel_;
}

void ComposeViewController::sendButtonPushed(platform::BarButtonItem& button) {
  TSParameters parameters{{"comment[body]", txtView_->text()}};
  std::shared_ptr<TSSoundCloudAPIConnectionDelegate> self(shared_from_this(),
                                                           static_cast<TSSoundCloudAPIConnectionDelegate*>(this));
  request_ = TSSoundCloudExecutor::postComment(trackId_, parameters, self);
  indicator().startAnimating();
  button.setEnabled(false);
  txtView_->resignFirstResponder();
}

void ComposeViewController::soundCloudAPIDidFinishWithData(const platform::Data&, const platform::Dictionary&) {
  report(kPostedMessage);
}

void ComposeViewController::soundCloudAPIDidFailWithError(const platform::Error&, const platform::Dictionary&) {
  report(kFailedMessage);
}

void ComposeViewController::report(const char* text) {
  request_.reset();
  platform::Label& banner = messageLabel();
  banner.setText(text);
  const double width = view()->bounds().size.width;
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  platform::View::animate(kBannerDuration, 0.0, platform::AnimationOptions::CurveEaseInOut,
                          [&banner, width] { banner.setFrame({0, 0, width, kBannerHeight}); },
                          [weak, this](bool finished) {
                            if (auto keep = weak.lock()) transitionAnimDidStop(finished);
                          });
}

void ComposeViewController::transitionAnimDidStop(bool finished) {
  if (!finished) return;
  std::weak_ptr<platform::ViewController> weak = weak_from_this();
  timer_ = platform::RunLoop::main().scheduleTimer(kLeaveDelay, false, [weak, this](platform::Timer&) {
    if (auto keep = weak.lock()) shouldDismissThisView();
  });
}

void ComposeViewController::shouldDismissThisView() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  if (platform::NavigationController* nav = navigationController()) nav->popToRootViewControllerAnimated(true);
}

}  // namespace tssc
