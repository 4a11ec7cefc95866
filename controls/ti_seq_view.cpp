#include "controls/ti_seq_view.h"

#include "controls/image_manager.h"
#include "controls/image_table.h"
#include "platform/gfx/graphics_context.h"

SeqPageControl::SeqPageControl(const platform::Rect& frame) : View(frame) {
  setDrawsContent(true);
  setUserInteractionEnabled(false);
}

void SeqPageControl::setNumberOfPages(int64_t n) {
  if (n == numberOfPages_) return;
  numberOfPages_ = n;
  setNeedsDisplay();
}

void SeqPageControl::setCurrentPage(int64_t page) {
  if (page == currentPage_) return;
  currentPage_ = page;
  setNeedsDisplay();
}

void SeqPageControl::drawRect(const platform::Rect&) {
  platform::GraphicsContext* c = platform::currentGraphicsContext();
  if (!c || numberOfPages_ <= 0) return;
  // Dots of 7 points every 16, centred in the bounds (a zero-width frame
  // draws them round its centre line, as the platform's indicator does).
  const platform::Rect b = bounds();
  const double pitch = 16.0, dot = 7.0;
  const double x0 = b.midX() - pitch * static_cast<double>(numberOfPages_ - 1) / 2.0 - dot / 2.0;
  for (int64_t i = 0; i < numberOfPages_; ++i) {
    c->setFillColor(i == currentPage_ ? platform::Color::white(1.0) : platform::Color::white(1.0, 0.3));
    c->fillEllipseInRect({x0 + pitch * static_cast<double>(i), b.midY() - dot / 2.0, dot, dot});
  }
}

TISeqView::TISeqView(const platform::Rect& frame, const ImageManager* images) : Control(frame) {
  if (!images) images = ImageManager::instance();
  buttonSize_ = {34.5, 62.0};
  for (int i = 0; i < kSteps; ++i) {
    const int column = i % kStepsPerPage;
    const int page = i / kStepsPerPage;
    // Single precision, as the panel's layout was worked out.
    const float x = 24.5f + 736.0f * static_cast<float>(page) + 43.5f * static_cast<float>(column);
    auto b = std::make_shared<TIButton>(platform::Rect{x, 3.0, buttonSize_.width, buttonSize_.height});
    b->setButtonState(0);
    b->setButtonPossibilityState(0);
    b->setImageNormal(images->uiimage(image_table::kStepFirst + 3 * i));
    b->setImageActive(images->uiimage(image_table::kStepFirst + 3 * i + 1));
    b->setImageSelected(images->uiimage(image_table::kStepFirst + 3 * i + 2));
    b->setImageHighlighted(images->uiimage(image_table::kStepHighlightedFirst + i));
    b->setTag(column);
    b->setUserInteractionEnabled(false);
    b->setNeedsDisplay();
    addSubview(b);
    seqButtons_[static_cast<size_t>(i)] = std::move(b);
  }
  swipeMediator_ = std::make_unique<SwipeMediator>();
  swipeMediator_->setupHorizontalSlots(seqButtons_[0]->frame(), kButtonPitch, kStepsPerPage);
  swipeMediator_->setOwnerView(this);
  swipeMediator_->setDelegate(this);

  seqPageControl_ = std::make_shared<SeqPageControl>(platform::Rect{368, 0, 0, 18});
  seqPageControl_->setNumberOfPages(kPages);
  seqPageControl_->setBackgroundColor(platform::Color::white(0.0, 0.8));
  seqPageControl_->setUserInteractionEnabled(false);

  setBackgroundColor(platform::Color::clear());
  currentPage_ = 0;
  setMultipleTouchEnabled(true);
}

TISeqView::~TISeqView() {
  swipeMediator_.reset();
  for (const auto& b : seqButtons_) b->removeFromSuperview();
}

std::shared_ptr<TIButton> TISeqView::getButton(int64_t index) const {
  if (index < 0 || index >= kSteps) return nullptr;
  return seqButtons_[static_cast<size_t>(index)];
}

void TISeqView::setCurrentStep(int64_t step) {
  for (int i = 0; i < kSteps; ++i) seqButtons_[static_cast<size_t>(i)]->setButtonPossibilityState(i == step ? 1 : 0);
  currentStep_ = step;
}

void TISeqView::clearSelection() {
  for (const auto& b : seqButtons_) b->setButtonPossibilityState(0);
}

bool TISeqView::isDisplayedStep(int64_t step) const { return step / kStepsPerPage == currentPage_; }

void TISeqView::setCurrentPage(int64_t page) {
  if (static_cast<uint64_t>(page) >= static_cast<uint64_t>(kPages) || page == currentPage_) return;
  const double offset = static_cast<double>(currentPage_ - page) * kPageWidth;
  currentPage_ = page;
  const double p = static_cast<double>(page);
  seqPageControl_->setFrame({kPageWidth * p + kPageWidth / 2, 0, 0, 18});
  seqPageControl_->setCurrentPage(page);
  swipeMediator_->setupHorizontalSlots(seqButtons_[static_cast<size_t>(page * kStepsPerPage)]->frame(),
                                       buttonSize_.width + 9, kStepsPerPage);
  sendActionsForControlEvents(platform::ControlEvents::ValueChanged);
  genAnimation(offset);
}

void TISeqView::genAnimation(double offset) {
  platform::Point c = center();
  c.x += offset;
  setCenter(c);
}

void TISeqView::touchesBegan(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesBegan(touches, event);
}
void TISeqView::touchesMoved(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesMoved(touches, event);
}
void TISeqView::touchesEnded(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesEnded(touches, event);
}
void TISeqView::touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) {
  swipeMediator_->touchesCancelled(touches, event);
}

std::shared_ptr<TIButton> TISeqView::buttonOfSlot(int32_t slot) const {
  if (slot < 0 || slot >= kStepsPerPage) return nullptr;
  return seqButtons_[static_cast<size_t>(currentPage_ * kStepsPerPage + slot)];
}

void TISeqView::swipeDidEnter(int32_t slot) {
  if (auto b = buttonOfSlot(slot)) {
    b->sendActionsForControlEvents(platform::ControlEvents::TouchDown);
    b->setHighlighted(true);
  }
}

void TISeqView::swipeDidExit(int32_t slot) {
  if (auto b = buttonOfSlot(slot)) {
    b->sendActionsForControlEvents(platform::ControlEvents::TouchUpInside);
    b->setHighlighted(false);
  }
}

void TISeqView::swipeBegan(SwipeMediator&) {}

void TISeqView::swipeEnded(SwipeMediator&) {
  for (const auto& b : seqButtons_) b->setHighlighted(false);
}
