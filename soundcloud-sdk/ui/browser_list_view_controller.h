#pragma once
// A base table controller for lists of several columns: a header with the
// column titles, their widths and a sort marker; rows whose cells draw one
// text (and an optional image) per column in the header's widths; a
// "No results" row when there is no data; rows after the data go to footer
// hooks (a row that loads further data, say).
//
// A concrete list subclasses BrowserListViewController and overrides the
// hooks (the virtual operations under "hooks"). Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/image.h"
#include "platform/ui/table_view.h"

namespace scui {

class BrowserHeaderView;

class BrowserHeaderViewDelegate {
 public:
  virtual ~BrowserHeaderViewDelegate() = default;
  // A touch ended on the header over `column` (n past the last column).
  virtual void browserHeaderViewColumnIsTouched(BrowserHeaderView& header, int column) = 0;
  virtual void browserHeaderViewColumnWidthChanged(BrowserHeaderView& header, int column) = 0;
  virtual std::string browserHeaderViewTitleForColumn(BrowserHeaderView& header, int column) = 0;
};

class BrowserHeaderView : public platform::View {
 public:
  static constexpr float kMinimumColumnWidth = 10.0f;

  explicit BrowserHeaderView(const platform::Rect& frame = {});

  uint64_t numberOfColumns() const { return columns_; }
  // Builds equal widths when there are none yet; a later count keeps them.
  void setNumberOfColumns(uint64_t n);
  // Nothing unless `widths` has one entry per column.
  void setWidth(const std::vector<float>& widths);
  // Moves the boundary between `column` and the next; nothing for the last.
  void setWidth(float width, int column);
  float widthAt(int column) const;
  const std::vector<float>& widths() const { return widths_; }
  int columnInPosition(platform::Point p) const;

  int64_t sortColumn() const { return sortColumn_; }
  void setSortColumn(int64_t column);
  bool sortAscending() const { return sortAscending_; }
  void setSortAscending(bool ascending);
  // Must be an RGB colour; none draws grey 0.7.
  const std::optional<platform::Color>& tintColor() const { return tint_; }
  void setTintColor(std::optional<platform::Color> c);
  BrowserHeaderViewDelegate* delegate() const { return delegate_; }
  void setDelegate(BrowserHeaderViewDelegate* d) { delegate_ = d; }

  void fillBackground(platform::GraphicsContext& context, const platform::Rect& rect);
  void layoutSubviews() override;
  void drawRect(const platform::Rect& rect) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;

 private:
  uint64_t columns_ = 0;
  std::vector<float> widths_;
  bool hasWidths_ = false;
  int64_t sortColumn_ = -1;
  bool sortAscending_ = false;
  std::optional<platform::Color> tint_;
  BrowserHeaderViewDelegate* delegate_ = nullptr;
};

// The content of one column of one row.
struct BrowserTableCellModad {
  platform::ImagePtr image;
  std::string text;
};

class BrowserTableCellView : public platform::View {
 public:
  explicit BrowserTableCellView(const platform::Rect& frame = {});

  // Not owned. Makes sure there is one entry per column of the header (a
  // longer list is kept).
  void setHeaderView(BrowserHeaderView* header);
  BrowserHeaderView* headerView() const { return header_; }
  uint64_t numberOfColumns() const { return columns_; }
  void setText(const std::optional<std::string>& text, int column);
  void setImage(platform::ImagePtr image, int column);
  const std::vector<BrowserTableCellModad>& cells() const { return cells_; }
  bool selected() const { return selected_; }
  void setSelected(bool s) { selected_ = s; }

  void drawRect(const platform::Rect& rect) override;
  virtual void drawCell(const BrowserTableCellModad& cell, const platform::Rect& rect, int column,
                        platform::GraphicsContext& context);
  virtual void drawCellImage(const platform::Image& image, const platform::Rect& rect,
                             platform::GraphicsContext& context);
  virtual void drawCellText(const std::string& text, const platform::Rect& rect, int column,
                            platform::GraphicsContext& context);

  // The text a line of `width` shows: the whole text when it fits, else
  // cut where it must break and ended with "… ".
  static std::string fittedLine(const std::string& text, const platform::Font& font, double width);

 private:
  std::vector<BrowserTableCellModad> cells_;
  uint64_t columns_ = 0;
  BrowserHeaderView* header_ = nullptr;
  bool selected_ = false;
};

class BrowserTableCell : public platform::TableViewCell {
 public:
  BrowserTableCell(Style style, std::string reuseIdentifier);

  BrowserTableCellView& cellView() { return *cellView_; }
  const platform::ViewPtr& optionalView() const { return optional_; }
  // A square at the right end of the first column, centred vertically.
  void setOptionalView(platform::ViewPtr view);
  double touchInterval() const { return touchInterval_; }
  void redisplay() { cellView_->setNeedsDisplay(); }

  void setSelected(bool selected, bool animated) override;
  void setHighlighted(bool highlighted, bool animated) override;
  void touchesBegan(const platform::TouchSet& touches, const platform::Event* event) override;
  void touchesEnded(const platform::TouchSet& touches, const platform::Event* event) override;

 private:
  std::shared_ptr<BrowserTableCellView> cellView_;
  platform::ViewPtr optional_;
  double touchTime_ = 0;
  double touchInterval_ = 0;
};

class BrowserListViewController : public platform::TableViewController, public BrowserHeaderViewDelegate {
 public:
  static constexpr double kHeaderHeight = 35.0;

  explicit BrowserListViewController(int numberOfColumns);

  BrowserHeaderView& headerView();
  int64_t numberOfColumns() const { return columns_; }
  void setHeaderTintColor(std::optional<platform::Color> c) { headerView().setTintColor(std::move(c)); }
  void setWidth(const std::vector<float>& widths) { headerView().setWidth(widths); }
  void setWidth(float width, int column) { headerView().setWidth(width, column); }
  float widthForColumn(int column) { return headerView().widthAt(column); }
  unsigned supportedInterfaceOrientations() const override { return 30; }

  void viewDidLoad() override;

  // ---- hooks
  virtual int64_t numberOfDataRowsInSection(int64_t /*section*/) { return 0; }
  virtual int64_t numberOfRowsShouldBeReportedForSection(int64_t /*section*/) { return 1; }
  virtual void initializeCell(BrowserTableCell& /*cell*/, const platform::IndexPath& /*ip*/) {}
  virtual void configureCell(BrowserTableCell& /*cell*/, const platform::IndexPath& /*ip*/) {}
  virtual void configureCellForNoResults(platform::TableViewCell& cell);
  virtual void configureCellForAdditionalFooter(platform::TableViewCell& /*cell*/) {}
  virtual std::optional<platform::IndexPath> willSelectRowAtIndexPath(const platform::IndexPath& ip) { return ip; }
  virtual std::optional<platform::IndexPath> willSelectAdditionalFooterRowAtIndexPath(
      const platform::IndexPath& ip) {
    return ip;
  }
  virtual void didSelectRowAtIndexPath(const platform::IndexPath& /*ip*/) {}
  virtual void didSelectAdditionalFooterRowAtIndexPath(const platform::IndexPath& /*ip*/) {}
  virtual void search(void* /*sender*/) {}
  virtual void searchFired(void* /*sender*/) {}
  void browserHeaderViewColumnIsTouched(BrowserHeaderView&, int) override {}
  void browserHeaderViewColumnWidthChanged(BrowserHeaderView&, int) override {}
  std::string browserHeaderViewTitleForColumn(BrowserHeaderView&, int) override { return ""; }

  // ---- the table's data source and delegate
  int64_t numberOfSections(platform::TableView&) override { return 1; }
  int64_t numberOfRowsInSection(platform::TableView&, int64_t section) override {
    return numberOfRowsShouldBeReportedForSection(section);
  }
  platform::TableViewCellPtr cellForRowAtIndexPath(platform::TableView& table, const platform::IndexPath& ip) override;
  platform::ViewPtr viewForHeaderInSection(platform::TableView&, int64_t section) override;
  double heightForHeaderInSection(platform::TableView&, int64_t) override { return kHeaderHeight; }
  std::optional<platform::IndexPath> willSelectRowAtIndexPath(platform::TableView&,
                                                              const platform::IndexPath& ip) override;
  void didSelectRowAtIndexPath(platform::TableView&, const platform::IndexPath& ip) override;
  bool canEditRowAtIndexPath(platform::TableView&, const platform::IndexPath&) override { return false; }

 private:
  int64_t columns_;
  std::shared_ptr<BrowserHeaderView> header_;
};

}  // namespace scui
