#pragma once
// A paged container: pages side by side in a horizontally paged scroll area
// with a page indicator under them. A delegate gives the number of pages and
// each page's controller; pages are made when they come near (the one shown
// and its neighbours) and are never unloaded. The first time the container
// appears the pages fade in.
//
// The scroll position p (content offset x over the width w) shows page
// q + 1 with q = floor((x - w/2) / w), and loads pages q to q + 2. A drag
// that ends between pages settles on the nearest one.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"

namespace tssc {

class TSMultiplePageInformationViewDelegate {
 public:
  virtual ~TSMultiplePageInformationViewDelegate() = default;
  virtual int64_t numberOfPages() = 0;
  // nullptr for a page number that has no page.
  virtual std::shared_ptr<platform::ViewController> viewControllerForPage(int32_t page) = 0;
};

// A scroll view that settles on whole pages when a drag ends.
class TSPagingScrollView : public platform::ScrollView {
 public:
  explicit TSPagingScrollView(const platform::Rect& frame) : platform::ScrollView(frame) {}
  bool isPagingEnabled() const { return paging_; }
  void setPagingEnabled(bool p) { paging_ = p; }
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesCancelled(const platform::TouchSet& touches, const platform::Event* event) override;

 private:
  void settleOnPage();
  bool paging_ = false;
};

class TSMultiplePageInformationViewController : public platform::ViewController, public platform::ScrollViewDelegate {
 public:
  static constexpr double kFadeDuration = 0.3;

  TSMultiplePageInformationViewDelegate* viewDelegate() const { return viewDelegate_; }
  // Not owned.
  void setViewDelegate(TSMultiplePageInformationViewDelegate* d) { viewDelegate_ = d; }
  TSPagingScrollView& scrollView() { return *scrollView_; }
  platform::PageControl& pageControl() { return *pageControl_; }
  // One slot per page: the page once loaded, else nullptr.
  const std::vector<std::shared_ptr<platform::ViewController>>& viewControllers() const { return viewControllers_; }
  bool firstAnimation() const { return firstAnimation_; }

  void loadView() override;
  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  unsigned supportedInterfaceOrientations() const override { return 24; }
  void loadPage(int32_t page);

  void scrollViewDidScroll(platform::ScrollView& scrollView) override;

 private:
  TSMultiplePageInformationViewDelegate* viewDelegate_ = nullptr;
  std::shared_ptr<TSPagingScrollView> scrollView_;
  std::shared_ptr<platform::PageControl> pageControl_;
  std::vector<std::shared_ptr<platform::ViewController>> viewControllers_;
  bool firstAnimation_ = false;
};

}  // namespace tssc
