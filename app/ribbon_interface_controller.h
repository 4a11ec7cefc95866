#pragma once
// The XY performance pad ("Roru Duzirid"): while a finger is on it, the
// whole pattern (steps and the sounds of all eight parts) is randomized
// again and again from a copy taken when the finger came down; the
// horizontal position sets the randomizer's amount, the vertical one its
// step size. Lifting the finger puts the copy back, unless Hold is on, in
// which case the last result becomes the current pattern.
//
// The pad keeps whole copies of the pattern, never a pointer into the
// engine's record, and reaches the engine only through its control
// operations. A pattern change ends a gesture silently. Main thread only.

#include <memory>

#include "engine/record/pattern_record.h"
#include "platform/ui/control.h"
#include "platform/ui/view_controller.h"

namespace platform {
class Button;
class ImageView;
}  // namespace platform

class Synth;
class TIButton;

// Posted (no object, no information) whenever the pad has put the
// touch-down copy back.
inline constexpr const char* kRibbonInterfaceRandomizePurged = "RibbonInterfaceRandomizePurged";

// The touch surface: a touch's position in pad units, pinned to the range
// when the finger leaves the surface. Touch-down on began, value-changed on
// moved, touch-up-inside on ended and on cancelled (a cancelled touch ends
// the gesture like a lifted finger).
class PadView : public platform::Control {
 public:
  explicit PadView(const platform::Rect& frame = {});

  platform::Point value() const { return value_; }
  void setValue(platform::Point v) { value_ = v; }
  double maximumXValue() const { return maxX_; }
  void setMaximumXValue(double v) { maxX_ = v; }
  double maximumYValue() const { return maxY_; }
  void setMaximumYValue(double v) { maxY_ = v; }
  double minimumXValue() const { return minX_; }
  void setMinimumXValue(double v) { minX_ = v; }
  double minimumYValue() const { return minY_; }
  void setMinimumYValue(double v) { minY_ = v; }

  // A point in the view's coordinates, in pad units.
  platform::Point translateCoordinate(platform::Point location) const;

  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

 private:
  void take(const platform::TouchSet& touches, uint64_t events);

  platform::Point value_;
  double maxX_ = 0.0;
  double maxY_ = 0.0;
  double minX_ = 0.0;
  double minY_ = 0.0;
};

class RibbonInterfaceController : public platform::ViewController {
 public:
  // The pad's frame inside the panel's canvas.
  static constexpr platform::Rect kFrame{319, 8, 409.99997913837433, 259.85914170742035};

  explicit RibbonInterfaceController(Synth* synth);
  ~RibbonInterfaceController() override;
  // Null: the engine is going; the pad then changes nothing.
  void setSynth(Synth* synth) { synth_ = synth; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  void addObserver();
  void removeObserver();

  // ---- the surface's and the buttons' actions
  void padViewTouched(PadView* pad);
  void padViewMoved(PadView* pad);
  void padViewReleased(PadView* pad);
  void holdButtonTouched(TIButton* button);
  // The engine loaded another pattern.
  void patternChanged();

  // Reads the pad's value, randomizes and moves the highlight.
  void update();
  // One pass: amount `amount`, step size `step` (negative: steps only).
  void randomizeEngine(int32_t amount, int32_t step);
  void setPattern(const PatternRecord* record);

  // The mapping of the pad's value to the randomizer's amount and step.
  static int32_t amountForX(double x);
  static int32_t stepForY(double y);

  void setDefaultParameterValues(const PatternRecord* record);
  PatternRecord defaultParameterValues() const { return defaultParameterValues_; }
  const PatternRecord& randomizedParameterValues() const { return randomizedParameterValues_; }

  PadView* pad() const { return pad_.get(); }
  TIButton* holdButton() const { return holdButton_.get(); }
  platform::Button* closeButton() const { return closeButton_.get(); }
  platform::ImageView* hilitedImageView() const { return hilitedImageView_.get(); }
  bool shouldRevertTheSynth() const { return shouldRevertTheSynth_; }
  void setShouldRevertTheSynth(bool v) { shouldRevertTheSynth_ = v; }
  bool trackingCancelled() const { return trackingCancelled_; }
  void setTrackingCancelled(bool v) { trackingCancelled_ = v; }
  bool trackingFlag() const { return trackingFlag_; }
  void setTrackingFlag(bool v) { trackingFlag_ = v; }
  bool isLocked() const { return lock_; }
  void setLock(bool v) { lock_ = v; }

 private:
  void postPurged();

  Synth* synth_;
  PatternRecord randomizedParameterValues_ = PatternRecord::zeroed();
  std::shared_ptr<platform::ImageView> hilitedImageView_;
  bool shouldRevertTheSynth_ = false;
  bool trackingCancelled_ = false;
  bool trackingFlag_ = false;
  bool lock_ = false;
  bool observing_ = false;
  std::shared_ptr<PadView> pad_;
  std::shared_ptr<platform::Button> closeButton_;
  PatternRecord defaultParameterValues_ = PatternRecord::zeroed();
  std::shared_ptr<TIButton> holdButton_;
};
