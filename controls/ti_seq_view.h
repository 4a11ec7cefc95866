#pragma once
// The sequencer's 64 step buttons, four pages of 16 side by side in one wide
// view (736 points a page), of which the screen shows one: changing the page
// slides the view by whole pages. It keeps the highlight of the current step
// and a four-dot page indicator.
//
// Fingers press step buttons by tapping or sliding onto them: the view's
// touches go to a swipe mediator over the shown page's 16 slots, and the
// slots a finger enters and leaves become the touch-down and
// touch-up-inside events of the matching step buttons (the buttons
// themselves take no touches). A cancelled touch releases nothing; it only
// clears the highlights.
//
// Main thread only.

#include <array>
#include <cstdint>
#include <memory>

#include "controls/swipe_mediator.h"
#include "controls/ti_button.h"
#include "platform/ui/control.h"

class ImageManager;

// A row of page dots, the current one lit. It takes no touches.
class SeqPageControl : public platform::View {
 public:
  explicit SeqPageControl(const platform::Rect& frame = {});

  int64_t numberOfPages() const { return numberOfPages_; }
  void setNumberOfPages(int64_t n);
  int64_t currentPage() const { return currentPage_; }
  void setCurrentPage(int64_t page);

  void drawRect(const platform::Rect& rect) override;

 private:
  int64_t numberOfPages_ = 0;
  int64_t currentPage_ = 0;
};

class TISeqView : public platform::Control, public SwipeMediatorDelegate {
 public:
  static constexpr int kSteps = 64;
  static constexpr int kStepsPerPage = 16;
  static constexpr int kPages = 4;
  static constexpr double kPageWidth = 736.0;
  static constexpr double kButtonPitch = 43.5;

  // Button images come from `images` (the process's image manager when
  // nullptr): step i uses normal 41 + 3i, active 42 + 3i, selected 43 + 3i
  // and highlighted 233 + i.
  explicit TISeqView(const platform::Rect& frame, const ImageManager* images = nullptr);
  ~TISeqView() override;

  // The step button of step 0-63; nullptr outside.
  std::shared_ptr<TIButton> getButton(int64_t index) const;

  void setCurrentStep(int64_t step);
  int64_t currentStep() const { return currentStep_; }
  void clearSelection();
  bool isDisplayedStep(int64_t step) const;

  int64_t currentPage() const { return currentPage_; }
  // Pages 0-3; another page, or the shown one, changes nothing.
  void setCurrentPage(int64_t page);

  const std::shared_ptr<SeqPageControl>& seqPageControl() const { return seqPageControl_; }
  void setSeqPageControl(std::shared_ptr<SeqPageControl> pc) { seqPageControl_ = std::move(pc); }
  SwipeMediator& swipeMediator() { return *swipeMediator_; }
  platform::Size buttonSize() const { return buttonSize_; }

  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

  void swipeDidEnter(int32_t slot) override;
  void swipeDidExit(int32_t slot) override;
  void swipeBegan(SwipeMediator& mediator) override;
  void swipeEnded(SwipeMediator& mediator) override;

 private:
  std::shared_ptr<TIButton> buttonOfSlot(int32_t slot) const;
  void genAnimation(double offset);

  std::array<std::shared_ptr<TIButton>, kSteps> seqButtons_;
  platform::Size buttonSize_{34.5, 62.0};
  std::unique_ptr<SwipeMediator> swipeMediator_;
  int64_t currentPage_ = 0;
  std::shared_ptr<SeqPageControl> seqPageControl_;
  int64_t currentStep_ = 0;
};
