#include "platform/ui/text_view.h"

#include "platform/ui/window.h"

namespace platform {

TextView::TextView(const Rect& frame) : View(frame) {
  style_.font = Font::systemFont(12);
  style_.numberOfLines = 0;
  style_.lineBreak = LineBreakMode::WordWrap;
  setBackgroundColor(Color::whiteColor());
  setDrawsContent(true);
}

void TextView::setText(const std::string& t) {
  text_ = t;
  setNeedsDisplay();
}
void TextView::setFont(const Font& f) {
  style_.font = f;
  setNeedsDisplay();
}
void TextView::setTextColor(const Color& c) {
  style_.color = c;
  setNeedsDisplay();
}
void TextView::setEditable(bool e) {
  if (!e && editing_) resignFirstResponder();
  editable_ = e;
}

bool TextView::becomeFirstResponder() {
  if (editing_) return true;
  if (!editable_ || !window()) return false;
  if (delegate_ && !delegate_->textViewShouldBeginEditing(*this)) return false;
  if (!window()->makeFirstResponder(this)) return false;
  editing_ = true;
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidBeginEditing(*this);
  return true;
}

bool TextView::resignFirstResponder() {
  if (!editing_) return true;
  editing_ = false;
  if (Window* w = window()) w->resignFirstResponderIfCurrent(this);
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidEndEditing(*this);
  return true;
}

void TextView::changed() {
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidChange(*this);
}

void TextView::insertText(const std::string& utf8) {
  if (!editing_ || utf8.empty()) return;
  text_ += utf8;
  changed();
}

void TextView::deleteBackward() {
  if (!editing_ || text_.empty()) return;
  // One whole character: back over UTF-8 continuation bytes.
  size_t start = text_.size() - 1;
  while (start > 0 && (static_cast<unsigned char>(text_[start]) & 0xC0) == 0x80) --start;
  text_.erase(start);
  changed();
}

void TextView::returnKey() { insertText("\n"); }

void TextView::touchesEnded(const TouchSet& touches, const Event* event) {
  View::touchesEnded(touches, event);
  if (!editing_ && !touches.empty() && bounds().contains(touches.front()->locationInView(this))) becomeFirstResponder();
}

void TextView::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect inner = bounds().insetBy(5, 8);
  if (!text_.empty()) drawText(*c, text_, inner, style_);
  if (editing_) {
    // The insertion point after the last line.
    const Size size = measureText(text_.empty() ? std::string("Ag") : text_, style_, inner.size.width);
    const Size last = measureText("Ag", style_, 0);
    c->setFillColor(Color::rgba(0.0, 0.48, 1.0));
    c->fillRect({inner.origin.x, inner.origin.y + std::max(0.0, size.height - last.height), 2, last.height});
  }
}

}  // namespace platform
