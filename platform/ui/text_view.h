#pragma once
// The platform's text view: several lines of text, wrapped at its width,
// editable unless made read-only.
//
// A tap on an editable view makes it the first responder: editing begins
// (didBeginEditing). Keyboard text and Backspace change the text at the
// end, each change is sent as didChange; Return inserts a line break.
// Resigning ends editing (didEndEditing). Setting the text from code sends
// nothing. A read-only view does not become the first responder, and one
// made read-only while editing stops editing.
//
// Main thread only.

#include <string>

#include "platform/gfx/text.h"
#include "platform/ui/view.h"

namespace platform {

class TextView;

class TextViewDelegate {
 public:
  virtual ~TextViewDelegate() = default;
  virtual bool textViewShouldBeginEditing(TextView&) { return true; }
  virtual void textViewDidBeginEditing(TextView&) {}
  virtual void textViewDidChange(TextView&) {}
  virtual void textViewDidEndEditing(TextView&) {}
};

class TextView : public View, public TextInput {
 public:
  explicit TextView(const Rect& frame = {});

  const std::string& text() const { return text_; }
  void setText(const std::string& t);
  const Font& font() const { return style_.font; }
  void setFont(const Font& f);
  Color textColor() const { return style_.color; }
  void setTextColor(const Color& c);
  bool isEditable() const { return editable_; }
  void setEditable(bool e);
  TextViewDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(TextViewDelegate* d) { delegate_ = d; }
  bool isEditing() const { return editing_; }

  bool canBecomeFirstResponder() const override { return editable_; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool isFirstResponder() const override { return editing_; }

  void insertText(const std::string& utf8) override;
  void deleteBackward() override;
  void returnKey() override;

  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void drawRect(const Rect& rect) override;

 private:
  void changed();
  std::string text_;
  TextStyle style_;
  bool editable_ = true;
  bool editing_ = false;
  TextViewDelegate* delegate_ = nullptr;
};

}  // namespace platform
