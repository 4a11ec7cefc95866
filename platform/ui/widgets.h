#pragma once
// The platform's smaller stock widgets: segmented control, switch, page
// control, activity indicator and scroll view.
//
// Segmented control: titled segments; a touch that ends inside a segment
// selects it and sends value-changed when the selection changed (always,
// for a momentary control, which then shows no selection). Title attributes
// (font, colour) per state.
//
// Switch: on or off; a tap toggles it and sends value-changed; setOn from
// code sends nothing. Switch::appearance() holds the on-tint that new
// switches take.
//
// Page control: a row of dots for numberOfPages, the current one lit; a tap
// left or right of the middle moves one page and sends value-changed;
// currentPage is kept in range. Hidden for one page when asked.
//
// Activity indicator: spokes that turn while animating (a timer on the main
// run loop), hidden when stopped if hidesWhenStopped.
//
// Scroll view: its bounds origin is the content offset; a finger dragging on
// the scroll view itself (not on a control inside it) scrolls the content,
// kept within the content size (vertical bounce allowed while dragging when
// asked, settled back on lift); the delegate hears every offset change.
//
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/text.h"
#include "platform/runloop/run_loop.h"
#include "platform/ui/control.h"

namespace platform {

class SegmentedControl : public Control {
 public:
  static constexpr int kNoSegment = -1;

  explicit SegmentedControl(const Rect& frame = {});

  void insertSegmentWithTitle(const std::string& title, int index, bool animated = false);
  void removeAllSegments();
  int numberOfSegments() const { return static_cast<int>(titles_.size()); }
  std::string titleForSegmentAtIndex(int index) const;
  int selectedSegmentIndex() const { return selected_; }
  void setSelectedSegmentIndex(int index);
  bool isMomentary() const { return momentary_; }
  void setMomentary(bool m) { momentary_ = m; }
  void setTitleTextAttributes(const Font& font, const Color& color, unsigned state);
  Color tintColor() const { return tint_; }
  void setTintColor(const Color& c);
  // The segment under a point; kNoSegment outside.
  int segmentAtPoint(Point p) const;

  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void drawRect(const Rect& rect) override;

 private:
  std::vector<std::string> titles_;
  int selected_ = kNoSegment;
  bool momentary_ = false;
  Color tint_ = Color::rgba(0.0, 122.0 / 255.0, 1.0);
  Font fonts_[2] = {Font::systemFont(13), Font::systemFont(13)};
  std::optional<Color> colors_[2];
};

class Switch : public Control {
 public:
  static constexpr Size kSize{51, 31};

  // The track's colour when on (onTintColor) and when off (tintColor).
  static Color defaultOnTintColor() { return Color::rgba(0.3, 0.85, 0.39); }
  static Color defaultTintColor() { return Color::white(0.9); }

  struct Appearance {
    std::optional<Color> onTintColor;
    std::optional<Color> tintColor;
    void setOnTintColor(const Color& c) { onTintColor = c; }
    void setTintColor(const Color& c) { tintColor = c; }
  };
  // Applies to switches made afterwards.
  static Appearance& appearance();

  explicit Switch(const Rect& frame = {});
  bool isOn() const { return on_; }
  void setOn(bool on, bool animated = false);
  Color onTintColor() const { return onTint_; }
  void setOnTintColor(const Color& c);
  Color tintColor() const { return tint_; }
  void setTintColor(const Color& c);

  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void drawRect(const Rect& rect) override;

 private:
  bool on_ = false;
  Color onTint_ = defaultOnTintColor();
  Color tint_ = defaultTintColor();
};

class PageControl : public Control {
 public:
  explicit PageControl(const Rect& frame = {});
  int64_t numberOfPages() const { return pages_; }
  void setNumberOfPages(int64_t n);
  int64_t currentPage() const { return current_; }
  void setCurrentPage(int64_t p);
  bool hidesForSinglePage() const { return hidesSingle_; }
  void setHidesForSinglePage(bool h);
  void setPageIndicatorTintColor(const Color& c);
  void setCurrentPageIndicatorTintColor(const Color& c);

  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void drawRect(const Rect& rect) override;

 private:
  void updateHidden();
  int64_t pages_ = 0;
  int64_t current_ = 0;
  bool hidesSingle_ = false;
  Color dot_ = Color::white(1.0, 0.35);
  Color currentDot_ = Color::white(1.0, 1.0);
};

class ActivityIndicatorView : public View {
 public:
  enum class Style { WhiteLarge, White, Gray };
  explicit ActivityIndicatorView(Style style);
  ~ActivityIndicatorView() override;

  Style style() const { return style_; }
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return static_cast<bool>(timer_); }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool h);
  Color color() const { return color_; }
  void setColor(const Color& c);
  // Which spoke is brightest now (0-11); moves on while animating.
  int phase() const { return phase_; }

  void drawRect(const Rect& rect) override;

 private:
  Style style_;
  Color color_;
  bool hidesWhenStopped_ = true;
  int phase_ = 0;
  std::shared_ptr<Timer> timer_;
};

class ScrollView;

class ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView&) {}
};

class ScrollView : public View {
 public:
  explicit ScrollView(const Rect& frame = {});

  Size contentSize() const { return contentSize_; }
  void setContentSize(Size s);
  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point p, bool animated = false);
  bool bounces() const { return bounces_; }
  void setBounces(bool b) { bounces_ = b; }
  bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
  void setAlwaysBounceVertical(bool b) { alwaysBounceVertical_ = b; }
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool e) { scrollEnabled_ = e; }
  ScrollViewDelegate* delegate() const { return delegate_; }
  // Not owned.
  void setDelegate(ScrollViewDelegate* d) { delegate_ = d; }
  bool isDragging() const { return dragging_; }

  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 private:
  Point clamped(Point p) const;
  void settle();
  Size contentSize_;
  bool bounces_ = true;
  bool alwaysBounceVertical_ = false;
  bool scrollEnabled_ = true;
  bool dragging_ = false;
  ScrollViewDelegate* delegate_ = nullptr;
};

}  // namespace platform
