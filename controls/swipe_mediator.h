#pragma once
// Follows fingers across a strip of equal horizontal slots (the step buttons
// of the shown page, the eight part buttons) and tells its delegate which
// slot a finger entered and left, so that a slide across buttons presses and
// releases each of them in turn, as taps do.
//
// A slot starts every `slotInterval` points (truncated to whole points) from
// the origin of slot 0; only the first `slotSize.width` points of it count:
// a finger in the gap before the next slot is in no slot. Slots a finger
// passes over within one event are entered and left at once.
//
// Touches reach the mediator from its owner view, in whose coordinates they
// are measured. The owner owns the mediator and outlives it; the delegate is
// not owned either (it is the owner view in the kit).
//
// Main thread only.

#include <cstdint>

#include "platform/gfx/geometry.h"
#include "platform/ui/touch.h"
#include "platform/ui/view.h"

class SwipeMediator;

class SwipeMediatorDelegate {
 public:
  virtual ~SwipeMediatorDelegate() = default;
  virtual void swipeDidEnter(int32_t slot) = 0;
  virtual void swipeDidExit(int32_t slot) = 0;
  virtual void swipeBegan(SwipeMediator& /*mediator*/) {}
  virtual void swipeEnded(SwipeMediator& /*mediator*/) {}
};

class SwipeMediator : public platform::Responder {
 public:
  SwipeMediator() = default;

  // Slot 0 is `first`; slot k starts k × interval further right.
  void setupHorizontalSlots(const platform::Rect& first, double interval, int32_t numberOfSlot);

  platform::View* ownerView() const { return ownerView_; }
  void setOwnerView(platform::View* view) { ownerView_ = view; }
  SwipeMediatorDelegate* delegate() const { return delegate_; }
  void setDelegate(SwipeMediatorDelegate* d) { delegate_ = d; }

  platform::Size slotSize() const { return slotSize_; }
  double slotInterval() const { return slotInterval_; }
  int32_t numberOfSlot() const { return numberOfSlot_; }
  platform::Rect slotArea() const { return slotArea_; }

  void enter(int32_t slot);
  void exit(int32_t slot);

  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesMoved(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  // Ends the swipe without a release: the buttons only lose their highlight.
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

  struct SlotPosition {
    int32_t slot;       // -1 left of slot 0; the last slot for anything right of it
    int64_t remainder;  // points into the slot; the interval when outside
    bool inside;        // within the slot's width (not in the gap after it)
  };
  // The slot of an x measured from the origin of slot 0.
  SlotPosition slotOf(int64_t x) const;

 private:
  void track(const platform::Touch& touch, bool lifting);

  platform::Size slotSize_;
  double slotInterval_ = 0.0;
  int32_t numberOfSlot_ = 0;
  platform::Rect slotArea_;
  platform::View* ownerView_ = nullptr;
  SwipeMediatorDelegate* delegate_ = nullptr;
};
