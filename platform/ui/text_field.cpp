#include "platform/ui/text_field.h"

#include "platform/ui/window.h"

namespace platform {

TextField::TextField(const Rect& frame) : Control(frame) {
  style_.font = Font::systemFont(17);
  style_.lineBreak = LineBreakMode::Clip;
  style_.numberOfLines = 1;
  setDrawsContent(true);
}

void TextField::setText(const std::string& t) {
  text_ = t;
  selStart_ = text_.size();
  selLength_ = 0;
  setNeedsDisplay();
}
void TextField::setPlaceholder(const std::string& p) {
  placeholder_ = p;
  setNeedsDisplay();
}
void TextField::setFont(const Font& f) {
  style_.font = f;
  setNeedsDisplay();
}
void TextField::setTextColor(const Color& c) {
  style_.color = c;
  setNeedsDisplay();
}
void TextField::setTextAlignment(TextAlignment a) {
  style_.alignment = a;
  setNeedsDisplay();
}
void TextField::setBorderStyle(TextBorderStyle b) {
  border_ = b;
  setNeedsDisplay();
}

void TextField::selectAll() {
  selStart_ = 0;
  selLength_ = text_.size();
  setNeedsDisplay();
}

bool TextField::becomeFirstResponder() {
  if (editing_) return true;
  if (!window() || !isEnabled()) return false;
  if (delegate_ && !delegate_->textFieldShouldBeginEditing(*this)) return false;
  if (!window()->makeFirstResponder(this)) return false;
  editing_ = true;
  selStart_ = text_.size();
  selLength_ = 0;
  setNeedsDisplay();
  sendActionsForControlEvents(ControlEvents::EditingDidBegin);
  if (delegate_) delegate_->textFieldDidBeginEditing(*this);
  return true;
}

bool TextField::resignFirstResponder() {
  if (!editing_) return true;
  if (delegate_ && !delegate_->textFieldShouldEndEditing(*this)) return false;
  editing_ = false;
  selLength_ = 0;
  if (Window* w = window()) w->resignFirstResponderIfCurrent(this);
  setNeedsDisplay();
  sendActionsForControlEvents(ControlEvents::EditingDidEnd);
  if (delegate_) delegate_->textFieldDidEndEditing(*this);
  return true;
}

void TextField::replace(size_t location, size_t length, const std::string& with) {
  if (!editing_) return;
  if (delegate_ && !delegate_->shouldChangeCharacters(*this, location, length, with)) return;
  text_.replace(location, length, with);
  selStart_ = location + with.size();
  selLength_ = 0;
  setNeedsDisplay();
  sendActionsForControlEvents(ControlEvents::EditingChanged);
}

void TextField::insertText(const std::string& utf8) { replace(selStart_, selLength_, utf8); }

void TextField::deleteBackward() {
  if (selLength_ > 0) return replace(selStart_, selLength_, "");
  if (selStart_ == 0) return;
  // One whole character: back over UTF-8 continuation bytes.
  size_t start = selStart_ - 1;
  while (start > 0 && (static_cast<unsigned char>(text_[start]) & 0xC0) == 0x80) --start;
  replace(start, selStart_ - start, "");
}

void TextField::returnKey() {
  if (!editing_) return;
  if (delegate_) delegate_->textFieldShouldReturn(*this);
  sendActionsForControlEvents(ControlEvents::EditingDidEndOnExit);
}

void TextField::touchesEnded(const TouchSet& touches, const Event* event) {
  Control::touchesEnded(touches, event);
  if (!editing_ && !touches.empty() && bounds().contains(touches.front()->locationInView(this))) becomeFirstResponder();
}

void TextField::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds();
  if (border_ == TextBorderStyle::RoundedRect || border_ == TextBorderStyle::Bezel) {
    c->setFillColor(Color::white(1.0));
    c->addPath(Path::roundedRect(b.insetBy(0.5, 0.5), border_ == TextBorderStyle::RoundedRect ? 5 : 0));
    c->fillPath();
    c->setStrokeColor(Color::white(0.78));
    c->setLineWidth(1.0);
    c->addPath(Path::roundedRect(b.insetBy(0.5, 0.5), border_ == TextBorderStyle::RoundedRect ? 5 : 0));
    c->strokePath();
  } else if (border_ == TextBorderStyle::Line) {
    c->setStrokeColor(Color::black());
    c->setLineWidth(1.0);
    c->strokeRect(b.insetBy(0.5, 0.5));
  }
  const Rect inner = b.insetBy(7, 0);
  const bool empty = text_.empty();
  TextStyle st = style_;
  if (empty) st.color = Color::white(0.7);
  const std::string shown = empty ? placeholder_ : text_;
  const Size size = measureText(shown.empty() ? std::string("Ag") : shown, st, 0);
  const Rect line{inner.origin.x, b.midY() - size.height / 2, inner.size.width, size.height};
  if (editing_ && selLength_ > 0 && !empty) {
    c->setFillColor(Color::rgba(0.0, 0.48, 1.0, 0.25));
    c->fillRect({line.origin.x, line.origin.y, std::min(inner.size.width, measureText(text_, st, 0).width), size.height});
  }
  if (!shown.empty()) drawText(*c, shown, line, st);
  if (editing_ && selLength_ == 0) {
    const double x = inner.origin.x + (empty ? 0 : std::min(inner.size.width - 2, measureText(text_.substr(0, selStart_), st, 0).width));
    c->setFillColor(Color::rgba(0.0, 0.48, 1.0));
    c->fillRect({x, line.origin.y, 2, size.height});
  }
}

MenuController& MenuController::sharedMenuController() {
  static MenuController m;
  return m;
}

}  // namespace platform
