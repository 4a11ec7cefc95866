#pragma once
// The strip of the eight part buttons (four synthesizer parts, four drum
// sample parts). Like the step view, fingers press them by tapping or
// sliding: a swipe mediator over eight 54-point slots reports the slots a
// finger enters and leaves, and the view turns them into the buttons'
// touch-down and touch-up-inside events (the buttons take no touches).
//
// The slots are a regular 54-point grid while the buttons sit 54.5 points
// apart at two places, so near the right edge of the last buttons a touch
// counts for its slot rather than for the drawn button.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "controls/swipe_mediator.h"
#include "controls/ti_button.h"
#include "platform/ui/control.h"

class ImageManager;

class TIPartView : public platform::Control, public SwipeMediatorDelegate {
 public:
  static constexpr int kParts = 8;
  // The buttons' x on the main view, in part order; all 46 x 57 at y 278.
  static constexpr std::array<double, kParts> kButtonX = {287.5, 341.5, 395.5, 450.0, 504.0, 558.0, 612.5, 666.5};
  static constexpr double kButtonY = 278.0;
  static constexpr double kButtonWidth = 46.0;
  static constexpr double kButtonHeight = 57.0;

  // Images from `images` (the process's image manager when nullptr): part p
  // uses normal 1 + 3p, active 2 + 3p, selected 3 + 3p, highlighted 25 + p.
  explicit TIPartView(const ImageManager* images = nullptr);
  ~TIPartView() override;

  // The button of part 0-7; nullptr outside.
  std::shared_ptr<TIButton> partButtonAt(int64_t index) const;
  const std::vector<std::shared_ptr<TIButton>>& partButtons() const { return partButtons_; }
  SwipeMediator& swipeMediator() { return *swipeMediator_; }

  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

  void swipeDidEnter(int32_t slot) override;
  void swipeDidExit(int32_t slot) override;
  void swipeBegan(SwipeMediator& mediator) override;
  void swipeEnded(SwipeMediator& mediator) override;

 private:
  std::vector<std::shared_ptr<TIButton>> partButtons_;
  std::unique_ptr<SwipeMediator> swipeMediator_;
};
