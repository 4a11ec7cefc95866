#include "platform/ui/web_view.h"

#include "platform/ui/application.h"

namespace platform {

WebView::WebView(const Rect& frame) : View(frame) {
  setBackgroundColor(Color::white(0.96));
  text_ = std::make_shared<Label>();
  text_->setNumberOfLines(0);
  text_->setLineBreakMode(LineBreakMode::CharWrap);
  text_->setTextAlignment(TextAlignment::Center);
  text_->setFont(Font::systemFont(14));
  text_->setTextColor(Color::white(0.3));
  addSubview(text_);
  open_ = std::make_shared<Button>(Button::Type::System);
  open_->setTitle("Open in Browser", ControlState::Normal);
  open_->addTarget(this, "openInBrowser:", [this](Control&) { openInBrowser(); }, ControlEvents::TouchUpInside);
  addSubview(open_);
}

void WebView::loadRequest(const std::string& url) {
  url_ = url;
  text_->setText(url);
  setNeedsLayout();
}

bool WebView::openInBrowser() { return !url_.empty() && Application::sharedApplication().openURL(url_); }

void WebView::layoutSubviews() {
  const Rect b = bounds();
  text_->setFrame({16, b.midY() - 50, std::max(0.0, b.size.width - 32), 60});
  open_->setFrame({b.midX() - 80, b.midY() + 16, 160, 36});
}

}  // namespace platform
