#include "controls/ti_part_view.h"

#include "controls/image_manager.h"
#include "controls/image_table.h"

namespace {
// The box round the first and last button with a 4-point margin.
constexpr double kMargin = 4.0;
constexpr platform::Rect kViewFrame{TIPartView::kButtonX[0] - kMargin, TIPartView::kButtonY - kMargin,
                                    TIPartView::kButtonX[7] + TIPartView::kButtonWidth - TIPartView::kButtonX[0] +
                                        2 * kMargin,
                                    TIPartView::kButtonHeight + 2 * kMargin};
}  // namespace

TIPartView::TIPartView(const ImageManager* images) : Control(kViewFrame) {
  if (!images) images = ImageManager::instance();
  partButtons_.reserve(kParts);
  for (int p = 0; p < kParts; ++p) {
    const platform::Rect f{kButtonX[static_cast<size_t>(p)] - kViewFrame.origin.x, kButtonY - kViewFrame.origin.y,
                           kButtonWidth, kButtonHeight};
    auto b = std::make_shared<TIButton>(f);
    b->setTag(p);
    b->setButtonState(0);
    b->setButtonPossibilityState(0);
    b->setImageNormal(images->uiimage(image_table::kPartFirst + 3 * p));
    b->setImageActive(images->uiimage(image_table::kPartFirst + 3 * p + 1));
    b->setImageSelected(images->uiimage(image_table::kPartFirst + 3 * p + 2));
    b->setImageHighlighted(images->uiimage(image_table::kPartHighlightedFirst + p));
    b->setUserInteractionEnabled(false);
    b->setNeedsDisplay();
    addSubview(b);
    partButtons_.push_back(std::move(b));
  }
  setMultipleTouchEnabled(true);
  swipeMediator_ = std::make_unique<SwipeMediator>();
  swipeMediator_->setDelegate(this);
  swipeMediator_->setOwnerView(this);
  swipeMediator_->setupHorizontalSlots(partButtons_[0]->frame(),
                                       partButtons_[1]->frame().origin.x - partButtons_[0]->frame().origin.x, kParts);
}

TIPartView::~TIPartView() {
  swipeMediator_.reset();
  for (const auto& b : partButtons_) b->removeFromSuperview();
  partButtons_.clear();
}

std::shared_ptr<TIButton> TIPartView::partButtonAt(int64_t index) const {
  if (index < 0 || index >= static_cast<int64_t>(partButtons_.size())) return nullptr;
  return partButtons_[static_cast<size_t>(index)];
}

void TIPartView::touchesBegan(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesBegan(touches, event);
}
void TIPartView::touchesMoved(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesMoved(touches, event);
}
void TIPartView::touchesEnded(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesEnded(touches, event);
}
void TIPartView::touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesCancelled(touches, event);
}

void TIPartView::swipeDidEnter(int32_t slot) {
  if (auto b = partButtonAt(slot)) {
    b->sendActionsForControlEvents(platform::ControlEvents::TouchDown);
    b->setHighlighted(true);
  }
}

void TIPartView::swipeDidExit(int32_t slot) {
  if (auto b = partButtonAt(slot)) {
    b->sendActionsForControlEvents(platform::ControlEvents::TouchUpInside);
    b->setHighlighted(false);
  }
}

void TIPartView::swipeBegan(SwipeMediator&) {}

void TIPartView::swipeEnded(SwipeMediator&) {
  for (const auto& b : partButtons_) b->setHighlighted(false);
}
