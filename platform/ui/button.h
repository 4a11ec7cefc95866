#pragma once
// The platform's button: a control with a title, title colour, image and
// background image per control state (Normal, Highlighted, Selected,
// Disabled and their combinations). A state without a value of its own
// shows the Normal state's. Custom buttons darken their image and
// background while highlighted unless a highlighted image is set; system
// buttons draw their title in the tint colour and fade it while
// highlighted. Disabled buttons are drawn faded.
//
// Main thread only.

#include <map>
#include <string>

#include "platform/ui/control.h"
#include "platform/ui/label.h"

namespace platform {

class Button : public Control {
 public:
  enum class Type { Custom, System };

  explicit Button(Type type = Type::Custom, const Rect& frame = {});

  Type buttonType() const { return type_; }

  void setTitle(const std::string& title, unsigned state);
  std::string titleForState(unsigned state) const;
  void setTitleColor(const Color& c, unsigned state);
  Color titleColorForState(unsigned state) const;
  void setImage(ImagePtr image, unsigned state);
  ImagePtr imageForState(unsigned state) const;
  void setBackgroundImage(ImagePtr image, unsigned state);
  ImagePtr backgroundImageForState(unsigned state) const;

  // What is shown now.
  std::string currentTitle() const { return titleForState(state()); }
  ImagePtr currentImage() const { return imageForState(state()); }
  ImagePtr currentBackgroundImage() const { return backgroundImageForState(state()); }

  // The label whose font, alignment and line breaks the title uses.
  Label& titleLabel() { return titleLabel_; }
  bool adjustsImageWhenHighlighted() const { return adjustsHighlighted_; }
  void setAdjustsImageWhenHighlighted(bool a) { adjustsHighlighted_ = a; }
  Color tintColor() const { return tint_; }
  void setTintColor(const Color& c);

  void drawRect(const Rect& rect) override;
  Size sizeThatFits(Size size) const override;
  void setEnabled(bool e) override;
  void setSelected(bool s) override;
  void setHighlighted(bool h) override;

 private:
  template <typename T>
  static const T* lookup(const std::map<unsigned, T>& m, unsigned state);

  Type type_;
  std::map<unsigned, std::string> titles_;
  std::map<unsigned, Color> titleColors_;
  std::map<unsigned, ImagePtr> images_;
  std::map<unsigned, ImagePtr> backgrounds_;
  Label titleLabel_;
  bool adjustsHighlighted_ = true;
  Color tint_ = Color::rgba(0.0, 122.0 / 255.0, 1.0, 1.0);
};

}  // namespace platform
