#pragma once
// The platform's text field: one line of editable text.
//
// A tap makes it the first responder (when its delegate agrees): editing
// begins (EditingDidBegin, didBeginEditing). Keyboard text, Backspace and
// Return come from the back end through the window. Every change of the
// text is offered to the delegate first (shouldChangeCharacters with the
// byte range it replaces; refused changes are dropped) and then sent as
// EditingChanged. Typing replaces the selection (selectAll selects the
// whole text). Return asks textFieldShouldReturn and sends
// EditingDidEndOnExit; the delegate resigns the field if it wants editing
// to end. Resigning ends editing (shouldEndEditing, EditingDidEnd,
// didEndEditing). Setting the text from code sends nothing.
//
// Main thread only.

#include <string>

#include "platform/gfx/text.h"
#include "platform/ui/control.h"

namespace platform {

class TextField;

class TextFieldDelegate {
 public:
  virtual ~TextFieldDelegate() = default;
  virtual bool textFieldShouldBeginEditing(TextField&) { return true; }
  virtual void textFieldDidBeginEditing(TextField&) {}
  // `location`, `length`: the byte range of the text being replaced.
  virtual bool shouldChangeCharacters(TextField&, size_t /*location*/, size_t /*length*/, const std::string& /*replacement*/) {
    return true;
  }
  virtual bool textFieldShouldReturn(TextField&) { return true; }
  virtual bool textFieldShouldEndEditing(TextField&) { return true; }
  virtual void textFieldDidEndEditing(TextField&) {}
};

enum class TextBorderStyle { None, Line, Bezel, RoundedRect };
enum class KeyboardType { Default, NumbersAndPunctuation, NumberPad, DecimalPad };

class TextField : public Control, public TextInput {
 public:
  explicit TextField(const Rect& frame = {});

  const std::string& text() const { return text_; }
  void setText(const std::string& t);
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(const std::string& p);
  const Font& font() const { return style_.font; }
  void setFont(const Font& f);
  Color textColor() const { return style_.color; }
  void setTextColor(const Color& c);
  TextAlignment textAlignment() const { return style_.alignment; }
  void setTextAlignment(TextAlignment a);
  TextBorderStyle borderStyle() const { return border_; }
  void setBorderStyle(TextBorderStyle b);
  KeyboardType keyboardType() const { return keyboard_; }
  void setKeyboardType(KeyboardType k) { keyboard_ = k; }
  TextFieldDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(TextFieldDelegate* d) { delegate_ = d; }

  bool isEditing() const { return editing_; }
  // Selected byte range; an empty range is the insertion point.
  size_t selectionStart() const { return selStart_; }
  size_t selectionLength() const { return selLength_; }
  void selectAll();

  bool canBecomeFirstResponder() const override { return true; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool isFirstResponder() const override { return editing_; }

  void insertText(const std::string& utf8) override;
  void deleteBackward() override;
  void returnKey() override;

  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void drawRect(const Rect& rect) override;

 private:
  void replace(size_t location, size_t length, const std::string& with);

  std::string text_;
  std::string placeholder_;
  TextStyle style_;
  TextBorderStyle border_ = TextBorderStyle::None;
  KeyboardType keyboard_ = KeyboardType::Default;
  TextFieldDelegate* delegate_ = nullptr;
  bool editing_ = false;
  size_t selStart_ = 0;
  size_t selLength_ = 0;
};

// The edit menu (cut, copy, paste) does not exist on the desktop; hiding it
// is remembered and otherwise does nothing.
class MenuController {
 public:
  static MenuController& sharedMenuController();
  bool isMenuVisible() const { return visible_; }
  void setMenuVisible(bool v, bool animated = false) {
    (void)animated;
    visible_ = v;
  }

 private:
  bool visible_ = false;
};

}  // namespace platform
