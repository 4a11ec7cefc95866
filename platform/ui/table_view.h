#pragma once
// Table views: rows of cells in sections, scrolled, with selection, editing
// (a Delete button on deletable rows) and reordering (a drag handle on
// movable rows), fed by a data source and told about by a delegate; and the
// table view controller that is both for its own table.
//
// Only the cells of visible rows exist; a cell that scrolls out goes to the
// reuse pool of its identifier, where dequeueReusableCellWithIdentifier
// finds it (after prepareForReuse). reloadData asks the data source again.
//
// Selection: a touch on a row highlights it; lifting the finger without
// having dragged selects it (willSelectRow may redirect or refuse, then
// didSelectRow; the previous row is deselected with didDeselectRow). A drag
// of more than 10 points scrolls instead. While editing, rows are selected
// only when allowsSelectionDuringEditing.
//
// Main thread only.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/widgets.h"

namespace platform {

struct IndexPath {
  int64_t section = 0;
  int64_t row = 0;
  auto operator<=>(const IndexPath&) const = default;
};

class TableViewCell : public View {
 public:
  enum class Style { Default, Value1, Value2, Subtitle };
  enum class Accessory { None, DisclosureIndicator, Checkmark, DetailDisclosureButton };
  enum class SelectionStyle { None, Blue, Gray, Default };

  TableViewCell(Style style, std::string reuseIdentifier);

  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  Style style() const { return style_; }
  Label& textLabel() { return *text_; }
  // Present for the Value1, Value2 and Subtitle styles.
  Label* detailTextLabel() { return detail_.get(); }
  ImageView& imageView() { return *image_; }
  View& contentView() { return *content_; }
  Accessory accessoryType() const { return accessory_; }
  void setAccessoryType(Accessory a);
  SelectionStyle selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(SelectionStyle s) { selectionStyle_ = s; }
  const ViewPtr& selectedBackgroundView() const { return selectedBackground_; }
  void setSelectedBackgroundView(ViewPtr v);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected, bool animated);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted, bool animated);
  bool isEditing() const { return editing_; }
  void setEditing(bool editing, bool animated);
  virtual void prepareForReuse();

  void layoutSubviews() override;
  void drawRect(const Rect& rect) override;

 private:
  void updateSelectionLook();
  std::string reuseIdentifier_;
  Style style_;
  ViewPtr content_;
  std::shared_ptr<Label> text_;
  std::shared_ptr<Label> detail_;
  std::shared_ptr<ImageView> image_;
  ViewPtr selectedBackground_;
  Accessory accessory_ = Accessory::None;
  SelectionStyle selectionStyle_ = SelectionStyle::Default;
  bool selected_ = false;
  bool highlighted_ = false;
  bool editing_ = false;
};
using TableViewCellPtr = std::shared_ptr<TableViewCell>;

class TableView;

enum class TableViewCellEditingStyle { None, Delete, Insert };

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual int64_t numberOfSections(TableView&) { return 1; }
  virtual int64_t numberOfRowsInSection(TableView&, int64_t section) = 0;
  virtual TableViewCellPtr cellForRowAtIndexPath(TableView&, const IndexPath& ip) = 0;
  virtual std::optional<std::string> titleForHeaderInSection(TableView&, int64_t) { return std::nullopt; }
  virtual bool canEditRowAtIndexPath(TableView&, const IndexPath&) { return true; }
  virtual bool canMoveRowAtIndexPath(TableView&, const IndexPath&) { return false; }
  virtual void commitEditingStyle(TableView&, TableViewCellEditingStyle, const IndexPath&) {}
  virtual void moveRowAtIndexPath(TableView&, const IndexPath& /*from*/, const IndexPath& /*to*/) {}
};

class TableViewDelegate {
 public:
  virtual ~TableViewDelegate() = default;
  // Negative: the table's row height.
  virtual double heightForRowAtIndexPath(TableView&, const IndexPath&) { return -1; }
  virtual std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, const IndexPath& ip) { return ip; }
  virtual void didSelectRowAtIndexPath(TableView&, const IndexPath&) {}
  virtual void didDeselectRowAtIndexPath(TableView&, const IndexPath&) {}
  virtual TableViewCellEditingStyle editingStyleForRowAtIndexPath(TableView&, const IndexPath&) {
    return TableViewCellEditingStyle::Delete;
  }
  // The title of a deletable row's button.
  // A view under a section's rows, at the height the delegate gives it
  // (none, or a height of 0 or less: no footer).
  virtual std::shared_ptr<View> viewForFooterInSection(TableView&, int64_t /*section*/) { return nullptr; }
  // A view over a section's rows, in place of its title, at the height the
  // delegate gives it (none, or a height of 0 or less: the title, if any).
  virtual std::shared_ptr<View> viewForHeaderInSection(TableView&, int64_t /*section*/) { return nullptr; }
  virtual double heightForHeaderInSection(TableView&, int64_t /*section*/) { return 0; }
  virtual double heightForFooterInSection(TableView&, int64_t /*section*/) { return 0; }
  virtual std::string titleForDeleteConfirmationButtonForRowAtIndexPath(TableView&, const IndexPath&) {
    return "Delete";
  }
};

class TableView : public ScrollView {
 public:
  enum class Style { Plain, Grouped };
  enum class ScrollPosition { None, Top, Middle, Bottom };

  explicit TableView(const Rect& frame = {}, Style style = Style::Plain);

  Style style() const { return style_; }
  TableViewDataSource* dataSource() const { return dataSource_; }
  // Not owned, like the delegate.
  void setDataSource(TableViewDataSource* d) { dataSource_ = d; }
  TableViewDelegate* tableDelegate() const { return tableDelegate_; }
  void setTableDelegate(TableViewDelegate* d) { tableDelegate_ = d; }
  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double h) { rowHeight_ = h; }
  double sectionHeaderHeight() const { return headerHeight_; }
  void setSectionHeaderHeight(double h) { headerHeight_ = h; }
  bool allowsSelection() const { return allowsSelection_; }
  void setAllowsSelection(bool a) { allowsSelection_ = a; }
  bool allowsSelectionDuringEditing() const { return allowsSelectionDuringEditing_; }
  void setAllowsSelectionDuringEditing(bool a) { allowsSelectionDuringEditing_ = a; }

  void reloadData();
  void beginUpdates() {}
  void endUpdates() { reloadData(); }
  void insertRowsAtIndexPaths(const std::vector<IndexPath>&, bool /*animated*/) { reloadData(); }
  void deleteRowsAtIndexPaths(const std::vector<IndexPath>&, bool /*animated*/) { reloadData(); }
  TableViewCellPtr dequeueReusableCellWithIdentifier(const std::string& identifier);

  int64_t numberOfSections() const;
  int64_t numberOfRowsInSection(int64_t section) const;
  Rect rectForRowAtIndexPath(const IndexPath& ip) const;
  std::optional<IndexPath> indexPathForRowAtPoint(Point p) const;
  // The cell of a visible row; nullptr otherwise.
  TableViewCell* cellForRowAtIndexPath(const IndexPath& ip) const;
  std::vector<TableViewCell*> visibleCells() const;
  void scrollToRowAtIndexPath(const IndexPath& ip, ScrollPosition position, bool animated);

  std::optional<IndexPath> indexPathForSelectedRow() const { return selected_; }
  void selectRowAtIndexPath(const std::optional<IndexPath>& ip, bool animated, ScrollPosition position);
  void deselectRowAtIndexPath(const IndexPath& ip, bool animated);

  bool isEditing() const { return editing_; }
  void setEditing(bool editing, bool animated);

  void setBounds(const Rect& b) override;
  void layoutSubviews() override;
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 private:
  struct RowLayout {
    double y;
    double height;
  };
  void computeLayout();
  double heightFor(const IndexPath& ip);
  void configureCell(TableViewCell& cell, const IndexPath& ip);
  void tappedDelete(const IndexPath& ip);
  void finishReorder(Point windowPoint);

  Style style_;
  TableViewDataSource* dataSource_ = nullptr;
  TableViewDelegate* tableDelegate_ = nullptr;
  double rowHeight_ = 44.0;
  double headerHeight_ = 28.0;
  bool allowsSelection_ = true;
  bool allowsSelectionDuringEditing_ = false;
  bool editing_ = false;

  std::vector<double> sectionTops_;
  std::vector<std::vector<RowLayout>> rows_;
  std::vector<std::optional<std::string>> headers_;
  std::map<IndexPath, TableViewCellPtr> visible_;
  std::vector<ViewPtr> headerViews_;
  // Each section's footer, laid out under its rows.
  struct FooterLayout {
    ViewPtr view;
    double y;
    double height;
  };
  std::vector<FooterLayout> footers_;
  std::vector<FooterLayout> headerViewsOfDelegate_;
  std::map<std::string, std::vector<TableViewCellPtr>> pool_;
  std::optional<IndexPath> selected_;

  // The touch in progress.
  std::optional<IndexPath> pressed_;
  Point touchStart_;
  bool scrolling_ = false;
  std::optional<IndexPath> reordering_;
};

class TableViewController : public ViewController, public TableViewDataSource, public TableViewDelegate {
 public:
  explicit TableViewController(TableView::Style style = TableView::Style::Plain) : style_(style) {}
  TableView* tableView() { return static_cast<TableView*>(view()); }
  bool clearsSelectionOnViewWillAppear() const { return clears_; }
  void setClearsSelectionOnViewWillAppear(bool c) { clears_ = c; }

  void loadView() override;
  void viewWillAppear(bool animated) override;
  void setEditing(bool editing, bool animated) override;

  int64_t numberOfRowsInSection(TableView&, int64_t) override { return 0; }
  TableViewCellPtr cellForRowAtIndexPath(TableView&, const IndexPath&) override { return nullptr; }

 private:
  TableView::Style style_;
  bool clears_ = true;
};

}  // namespace platform
