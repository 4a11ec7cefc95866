#include "controls/swipe_mediator.h"

#include <cmath>

void SwipeMediator::setupHorizontalSlots(const platform::Rect& first, double interval, int32_t numberOfSlot) {
  slotSize_ = first.size;
  slotInterval_ = interval;
  numberOfSlot_ = numberOfSlot;
  slotArea_ = platform::Rect{first.origin, {interval * numberOfSlot, first.size.height}};
}

void SwipeMediator::enter(int32_t slot) {
  if (delegate_) delegate_->swipeDidEnter(slot);
}

void SwipeMediator::exit(int32_t slot) {
  if (delegate_) delegate_->swipeDidExit(slot);
}

SwipeMediator::SlotPosition SwipeMediator::slotOf(int64_t x) const {
  const int64_t interval = static_cast<int64_t>(slotInterval_);
  const int64_t n = numberOfSlot_;
  // A strip without slots (or with a zero pitch) has every point outside.
  if (x < 0 || interval <= 0 || n <= 0) return {-1, interval, false};
  const int64_t q = x / interval;
  if (q >= n) return {static_cast<int32_t>(n - 1), interval, slotSize_.width > static_cast<double>(interval)};
  const int64_t r = x - q * interval;
  return {static_cast<int32_t>(q), r, slotSize_.width > static_cast<double>(r)};
}

void SwipeMediator::touchesBegan(const platform::TouchSet& touches, const platform::Event*) {
  if (delegate_) delegate_->swipeBegan(*this);
  for (const auto& touch : touches) {
    const platform::Point p = touch->locationInView(ownerView_);
    if (!slotArea_.contains(p)) continue;
    // At touch-down the location is truncated first, so a finger in the
    // first half point of a slot that starts at a half point is not in it.
    const double x = std::trunc(p.x) - slotArea_.origin.x;
    if (x < 0) continue;
    const SlotPosition s = slotOf(static_cast<int64_t>(x));
    if (s.slot >= 0 && s.slot < numberOfSlot_ && s.inside) enter(s.slot);
  }
}

void SwipeMediator::touchesMoved(const platform::TouchSet& touches, const platform::Event*) {
  for (const auto& touch : touches) track(*touch, false);
}

void SwipeMediator::touchesEnded(const platform::TouchSet& touches, const platform::Event*) {
  for (const auto& touch : touches) track(*touch, true);
  if (delegate_) delegate_->swipeEnded(*this);
}

void SwipeMediator::touchesCancelled(const platform::TouchSet&, const platform::Event*) {
  if (delegate_) delegate_->swipeEnded(*this);
}

void SwipeMediator::track(const platform::Touch& touch, bool lifting) {
  const platform::Point p = touch.previousLocationInView(ownerView_);
  const platform::Point c = touch.locationInView(ownerView_);
  const bool pInArea = slotArea_.contains(p);
  const bool cInArea = slotArea_.contains(c);
  if (!pInArea && !cInArea) return;
  const SlotPosition prev = slotOf(static_cast<int64_t>(p.x - slotArea_.origin.x));
  const SlotPosition cur = slotOf(static_cast<int64_t>(c.x - slotArea_.origin.x));
  int32_t sp = prev.slot;
  const int32_t sc = cur.slot;

  if (sp > sc) {  // moved left
    if (prev.inside) {
      exit(sp);
      --sp;
    }
    if (sp < 0) return;
    for (; sp > sc; --sp) {
      enter(sp);
      exit(sp);
    }
    if (cur.inside) {
      enter(sc);
      if (lifting || !cInArea) exit(sc);
    }
    return;
  }

  if (sp < sc) {  // moved right
    if (prev.inside) exit(sp);
    for (int32_t s = sp + 1; s < sc; ++s) {
      enter(s);
      exit(s);
    }
    enter(sc);
    if (lifting || !cur.inside || !cInArea) exit(sc);
    return;
  }

  if (sc < 0) return;
  const bool wasIn = prev.inside && pInArea;
  const bool isIn = cur.inside && cInArea;
  if (!lifting) {
    if (wasIn && !isIn) exit(sc);
    if (!wasIn && isIn) enter(sc);
    return;
  }
  // The finger's last slot is always released at lift, even when it lifts
  // in a gap: owners get a release they may not have seen pressed.
  if (wasIn) {
    exit(sc);
  } else if (isIn) {
    enter(sc);
    exit(sc);
  } else {
    exit(sc);
  }
}
