#pragma once
// A label that draws a styled text (with Pango) and makes parts of it
// tappable links: web addresses it finds itself (when asked) and links the
// owner attaches to ranges. Links are coloured and underlined when drawn,
// never in the stored text; the link under the finger is highlighted while
// pressed, and lifting the finger on that same link opens its address
// through the application unless the delegate says no. Detected links win
// over custom ones at the same place.
//
// Plain text set on the label loses "\r" before "\n" and the white space
// at both ends, and becomes the styled text in the label's font, colour,
// alignment and line-break mode. Ranges count UTF-16 units.
//
// Copying: while allowed, a finger held still for half a second shows the
// edit menu and highlights the label; copy() puts the plain text on the
// SDK's pasteboard (an in-process one: the desktop clipboard is not
// reached from here).
//
// Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/label.h"
#include "soundcloud-sdk/ui/oh_attributed_string.h"

namespace scui {

class OHAttributedLabel;

class OHAttributedLabelDelegate {
 public:
  virtual ~OHAttributedLabelDelegate() = default;
  // Empty: the delegate does not decide (the link is followed).
  virtual std::optional<bool> attributedLabelShouldFollowLink(OHAttributedLabel&, const OHLink&) { return std::nullopt; }
  // Outer empty: not implemented (the label's link colour). Otherwise the
  // colour (inner empty: no colour change); the style may be changed.
  virtual std::optional<std::optional<platform::Color>> colorForLink(const OHLink&, int32_t& /*underlineStyle*/) {
    return std::nullopt;
  }
};

struct SCPasteboard {
  static std::optional<std::string>& generalString();
};

class OHAttributedLabel : public platform::Label {
 public:
  explicit OHAttributedLabel(const platform::Rect& frame = {});
  ~OHAttributedLabel() override;

  // ---- text
  std::optional<OHAttributedString> attributedText();
  void setAttributedText(std::optional<OHAttributedString> text);
  void setText(const std::string& text);
  void resetAttributedText();
  void setFont(const platform::Font& font);
  void setTextColor(const platform::Color& color);
  void setTextAlignment(platform::TextAlignment alignment);
  void setLineBreakMode(platform::LineBreakMode mode);
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }

  // Label-to-text mappings.
  static uint8_t textAlignmentFor(int labelAlignment);
  static uint8_t lineBreakFor(int labelLineBreak);

  // ---- options
  bool underlineLinks() const { return underlineLinks_; }
  void setUnderlineLinks(bool u) { underlineLinks_ = u; }
  bool centerVertically() const { return centerVertically_; }
  void setCenterVertically(bool c);
  bool automaticallyDetectLinks() const { return detectLinks_; }
  void setAutomaticallyDetectLinks(bool d);
  bool onlyCatchTouchesOnLinks() const { return onlyLinks_; }
  void setOnlyCatchTouchesOnLinks(bool o) { onlyLinks_ = o; }
  bool extendBottomToFit() const { return extendBottom_; }
  void setExtendBottomToFit(bool e);
  platform::Color linkColor() const { return linkColor_; }
  void setLinkColor(const platform::Color& c) { linkColor_ = c; }
  platform::Color highlightedLinkColor() const { return highlightedLinkColor_; }
  void setHighlightedLinkColor(const platform::Color& c) { highlightedLinkColor_ = c; }
  OHAttributedLabelDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(OHAttributedLabelDelegate* d) { delegate_ = d; }

  // The plain label's shadow and highlight, which the styled drawing honours.
  void setShadow(std::optional<platform::Color> color, platform::Size offset);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool h);
  void setHighlightedTextColor(std::optional<platform::Color> c);

  // ---- links
  void addCustomLink(const std::string& url, OHRange range);
  void removeAllCustomLinks();
  const std::vector<OHLink>& customLinks() const { return customLinks_; }
  // The text as drawn: links coloured and underlined.
  std::optional<OHAttributedString> attributedTextWithLinks();
  std::optional<OHLink> linkAtCharacterIndex(size_t index);
  std::optional<OHLink> linkAtPoint(platform::Point p);
  const std::optional<OHLink>& activeLink() const { return activeLink_; }
  // The rectangles the active link's highlight fills (label coordinates).
  std::vector<platform::Rect> highlightRects(const OHLink& link);
  // Where the text is laid out (label coordinates, y downwards).
  platform::Rect drawingRect();

  // ---- copying
  bool allowCopying() const { return allowCopying_; }
  void setAllowCopying(bool allow);
  bool hasLongPressRecognizer() const { return longPressArmed_; }
  void handleCopyTap();
  void copyMenuDidDismiss();
  void copy();
  bool canBecomeFirstResponder() const override { return allowCopying_; }
  bool canPerformCopy() const { return allowCopying_; }

  // ---- view
  void setNeedsDisplay() override;
  platform::Size sizeThatFits(platform::Size size) const override;
  void drawRect(const platform::Rect& rect) override;
  platform::View* hitTest(platform::Point point, const platform::Event* event) override;
  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

  static constexpr double kLongPressDuration = 0.5;

 private:
  struct Frame;
  Frame& frame_();
  void styleLink(OHAttributedString& text, const OHLink& link);

  std::optional<OHAttributedString> attributed_;
  std::unique_ptr<Frame> frame_cache_;
  std::vector<OHLink> customLinks_;
  std::optional<OHLink> activeLink_;
  bool underlineLinks_ = true;
  bool allowCopying_ = false;
  bool centerVertically_ = false;
  bool detectLinks_ = false;
  bool onlyLinks_ = false;
  bool extendBottom_ = false;
  bool longPressArmed_ = false;
  bool highlighted_ = false;
  std::optional<platform::Color> highlightedTextColor_;
  std::optional<platform::Color> shadowColor_;
  platform::Size shadowOffset_{0, -1};
  platform::Color linkColor_ = platform::Color::blueColor();
  platform::Color highlightedLinkColor_ = platform::Color::white(0.4, 0.3);
  OHAttributedLabelDelegate* delegate_ = nullptr;
  std::string accessibilityLabel_;
  std::shared_ptr<int> pressGeneration_ = std::make_shared<int>(0);
};

}  // namespace scui
