#pragma once
// The WAV export popover: a title and one button, "Bounce Pattern". The
// button hands the whole job to the screen's parent (the main screen), which
// closes its popovers (this one included), renders the current pattern off
// line into a WAV file and offers the file once it is saved. The screen
// neither waits for the result nor hears of it.
//
// Main thread only.

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"

// What the export screen asks of the screen that opened it.
class ExportWavScreenParent {
 public:
  virtual ~ExportWavScreenParent() = default;
  virtual void bounceCurrentPattern() = 0;
};

class ExportWavScreenController : public platform::ViewController {
 public:
  static constexpr platform::Size kContentSize{280, 110};

  // The parent is held weakly: a screen outliving it does nothing.
  explicit ExportWavScreenController(std::weak_ptr<ExportWavScreenParent> parent);
  ~ExportWavScreenController() override;

  void viewDidLoad() override;
  void viewWillLayoutSubviews() override;
  // Always 280 × 110, whatever the presenter asked for.
  platform::Size preferredContentSize() const override { return kContentSize; }
  platform::Rect safeAreaBounds();
  void bouncePatternButtonPushed();

  std::shared_ptr<ExportWavScreenParent> parent() const { return parent_.lock(); }
  void setParent(std::weak_ptr<ExportWavScreenParent> p) { parent_ = std::move(p); }
  platform::View* baseView() const { return baseView_.get(); }
  platform::Label* titleLabel() const { return titleLabel_.get(); }
  platform::Button* bounceButton() const { return bounceButton_.get(); }

 private:
  std::weak_ptr<ExportWavScreenParent> parent_;
  std::shared_ptr<platform::View> baseView_;
  std::shared_ptr<platform::Label> titleLabel_;
  std::shared_ptr<platform::Button> bounceButton_;
};
