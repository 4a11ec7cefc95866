#include "soundcloud/screens/ts_multiple_page_information_view_controller.h"

#include <cmath>

namespace tssc {

using platform::Rect;

void TSPagingScrollView::touchesEnded(const platform::TouchSet& touches, const platform::Event* event) {
  platform::ScrollView::touchesEnded(touches, event);
  settleOnPage();
}

void TSPagingScrollView::touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) {
  platform::ScrollView::touchesCancelled(touches, event);
  settleOnPage();
}

void TSPagingScrollView::settleOnPage() {
  const double w = bounds().size.width;
  if (!paging_ || w <= 0) return;
  const double x = contentOffset().x;
  const double page = std::round(x / w);
  if (page * w != x) setContentOffset({page * w, contentOffset().y}, true);
}

void TSMultiplePageInformationViewController::loadView() {
  auto root = std::make_shared<platform::View>(Rect{0, 0, 500, 400});
  root->setBackgroundColor(platform::Color::clear());
  scrollView_ = std::make_shared<TSPagingScrollView>(Rect{0, 0, 500, 400});
  scrollView_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  scrollView_->setBackgroundColor(platform::Color::clear());
  scrollView_->setScrollEnabled(true);
  scrollView_->setPagingEnabled(true);
  scrollView_->setDelegate(this);
  root->addSubview(scrollView_);
  pageControl_ = std::make_shared<platform::PageControl>(Rect{231, 300, 38, 36});
  pageControl_->setAutoresizingMask(platform::Autoresizing::FlexibleTopMargin);
  pageControl_->setCenter({250, 344});
  pageControl_->setNumberOfPages(2);
  root->addSubview(pageControl_);
  setView(root);
}

void TSMultiplePageInformationViewController::viewDidLoad() {
  firstAnimation_ = true;
  const int64_t pages = viewDelegate_ ? std::max<int64_t>(0, viewDelegate_->numberOfPages()) : 0;
  pageControl_->setNumberOfPages(pages);
  pageControl_->setCurrentPage(0);
  pageControl_->setCurrentPageIndicatorTintColor(platform::Color::black());
  pageControl_->setPageIndicatorTintColor(platform::Color::lightGray());
  viewControllers_.assign(static_cast<size_t>(pages), nullptr);
}

void TSMultiplePageInformationViewController::viewDidAppear(bool animated) {
  platform::ViewController::viewDidAppear(animated);
  const Rect b = scrollView_->bounds();
  scrollView_->setContentSize({b.size.width * static_cast<double>(viewControllers_.size()), b.size.height});
  const Rect root = view()->bounds();
  pageControl_->setCenter({root.midX(), root.size.height - 56});
  loadPage(0);
  loadPage(1);
  if (firstAnimation_) {
    scrollView_->setAlpha(0.0);
    platform::View::animate(kFadeDuration, 0.0, platform::AnimationOptions::CurveEaseInOut,
                            [this] { scrollView_->setAlpha(1.0); });
    firstAnimation_ = false;
  }
}

void TSMultiplePageInformationViewController::loadPage(int32_t page) {
  if (!viewDelegate_ || page < 0 || page >= viewDelegate_->numberOfPages()) return;
  if (static_cast<size_t>(page) >= viewControllers_.size()) viewControllers_.resize(static_cast<size_t>(page) + 1);
  std::shared_ptr<platform::ViewController>& slot = viewControllers_[static_cast<size_t>(page)];
  if (!slot) {
    slot = viewDelegate_->viewControllerForPage(page);
    if (!slot) return;
    addChildViewController(slot);
  }
  platform::View* pageView = slot->view();
  if (!pageView->superview()) {
    const Rect b = scrollView_->bounds();
    pageView->setFrame({b.size.width * page, 0, b.size.width, b.size.height});
    scrollView_->addSubview(slot->viewPtr());
    slot->didMoveToParentViewController(this);
  }
}

void TSMultiplePageInformationViewController::scrollViewDidScroll(platform::ScrollView& scrollView) {
  const double w = scrollView.bounds().size.width;
  if (w <= 0) return;
  const double x = scrollView.contentOffset().x;
  const int32_t q = static_cast<int32_t>(std::floor((x - w / 2) / w));
  pageControl_->setCurrentPage(q + 1);
  loadPage(q);
  loadPage(q + 1);
  loadPage(q + 2);
}

}  // namespace tssc
