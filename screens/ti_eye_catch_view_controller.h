#pragma once
// The tips overlay: a framed panel with a headline and an info button lying
// over other views, shown only while the global setting "Show Tips" is on.
// The first touch on the frame (or anywhere on the overlay but the info
// button) closes it with a half-second fade and passes on to whatever lies
// beneath. The info button shows a popover with a longer text.
//
// The overlay's layout is built here in code, in place of an interface
// file: a 300 × 120 frame with its headline in the top band and the info
// button at its right. Its texts are set by whoever shows it.
//
// Main thread only.

#include <memory>
#include <string>

#include "controls/ti_frame_view.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "screens/ui_dissolve_view_controller.h"

class TIEyeCatchDelegate {
 public:
  virtual ~TIEyeCatchDelegate() = default;
  // A touch landed on the frame.
  virtual void touchedUnko() = 0;
  virtual bool touched() const = 0;
  virtual void setTouched(bool t) = 0;
};

// The overlay's root view: a touch on a view tagged 0 (the frame, or the
// root itself) is reported and passes through; the info button gets its own.
class TIEyeCatchBaseView : public platform::View {
 public:
  using platform::View::View;
  TIEyeCatchDelegate* delegate() const { return delegate_; }
  void setDelegate(TIEyeCatchDelegate* d) { delegate_ = d; }
  static bool isFrameView(const platform::View* view) { return view && view->tag() == 0; }
  platform::View* hitTest(platform::Point point, const platform::Event* event) override;

 private:
  TIEyeCatchDelegate* delegate_ = nullptr;
};

// The info popover's content: a read-only text.
class EyeCatchInfoContentViewController : public platform::ViewController {
 public:
  void viewDidLoad() override;
  platform::Label* textView() const { return textView_.get(); }
  void setText(const std::string& text);

 private:
  std::string text_;
  std::shared_ptr<platform::Label> textView_;
};

class TIEyeCatchViewController : public UIDissolveViewController, public TIEyeCatchDelegate {
 public:
  static constexpr float kTouchFade = 0.5f;

  TIEyeCatchViewController();
  ~TIEyeCatchViewController() override;

  void loadView() override;
  void viewDidLoad() override;

  // Gated by "Show Tips": off, the overlay stays invisible and tells nobody.
  void openUp(float duration) override;
  void dismiss(float duration) override;
  void touchedUnko() override;
  bool touched() const override { return touched_; }
  void setTouched(bool t) override { touched_ = t; }
  void infoButtonPushed();

  void setHeadlineText(const std::string& text);
  void setInfoText(const std::string& text) { infoText_ = text; }

  TIFrameView* frameView() const { return frameView_.get(); }
  platform::Label* headline() const { return headline_.get(); }
  platform::Button* info() const { return info_.get(); }

 private:
  static bool showTips();

  std::shared_ptr<TIFrameView> frameView_;
  std::shared_ptr<platform::Label> headline_;
  std::shared_ptr<platform::Button> info_;
  std::string headlineText_;
  std::string infoText_;
  bool touched_ = false;
};
