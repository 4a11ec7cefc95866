#include "platform/ui/table_view.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr double kInset = 15.0;
constexpr double kAccessoryWidth = 30.0;
constexpr double kDeleteWidth = 74.0;
constexpr double kHandleWidth = 40.0;
constexpr double kDragSlop = 10.0;
constexpr int64_t kDeleteTag = -7001;
constexpr int64_t kHandleTag = -7002;

// The reorder handle: three short lines.
class ReorderHandle : public View {
 public:
  explicit ReorderHandle(const Rect& f) : View(f) {
    setDrawsContent(true);
    setUserInteractionEnabled(false);
  }
  void drawRect(const Rect&) override {
    GraphicsContext* c = currentGraphicsContext();
    const Rect b = bounds();
    c->setFillColor(Color::white(0.6));
    for (int i = -1; i <= 1; ++i) c->fillRect({b.midX() - 9, b.midY() + i * 5 - 1, 18, 2});
  }
};

}  // namespace

// ---------------------------------------------------------------- cell

TableViewCell::TableViewCell(Style style, std::string reuseIdentifier)
    : View(Rect(0, 0, 320, 44)), reuseIdentifier_(std::move(reuseIdentifier)), style_(style) {
  setBackgroundColor(Color::white(1.0));
  setDrawsContent(true);
  setContentMode(ContentMode::Redraw);
  content_ = std::make_shared<View>(bounds());
  addSubview(content_);
  image_ = std::make_shared<ImageView>();
  content_->addSubview(image_);
  text_ = std::make_shared<Label>();
  text_->setFont(Font::systemFont(17));
  content_->addSubview(text_);
  if (style != Style::Default) {
    detail_ = std::make_shared<Label>();
    detail_->setFont(Font::systemFont(style == Style::Subtitle ? 12 : 17));
    detail_->setTextColor(Color::white(0.55));
    if (style == Style::Value1) detail_->setTextAlignment(TextAlignment::Right);
    content_->addSubview(detail_);
  }
}

void TableViewCell::setAccessoryType(Accessory a) {
  accessory_ = a;
  setNeedsLayout();
  setNeedsDisplay();
}

void TableViewCell::setSelectedBackgroundView(ViewPtr v) {
  if (selectedBackground_) selectedBackground_->removeFromSuperview();
  selectedBackground_ = std::move(v);
  updateSelectionLook();
}

void TableViewCell::setSelected(bool selected, bool) {
  selected_ = selected;
  updateSelectionLook();
}

void TableViewCell::setHighlighted(bool highlighted, bool) {
  highlighted_ = highlighted;
  updateSelectionLook();
}

void TableViewCell::setEditing(bool editing, bool) {
  editing_ = editing;
  setNeedsLayout();
}

void TableViewCell::prepareForReuse() {
  setSelected(false, false);
  setHighlighted(false, false);
}

void TableViewCell::updateSelectionLook() {
  const bool lit = (selected_ || highlighted_) && selectionStyle_ != SelectionStyle::None;
  if (selectedBackground_) {
    if (lit && selectedBackground_->superview() != this) {
      selectedBackground_->setFrame(bounds());
      selectedBackground_->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
      insertSubview(selectedBackground_, 0);
    } else if (!lit && selectedBackground_->superview() == this) {
      selectedBackground_->removeFromSuperview();
    }
    setBackgroundColor(Color::white(1.0));
  } else {
    setBackgroundColor(lit ? Color::white(0.85) : Color::white(1.0));
  }
}

void TableViewCell::layoutSubviews() {
  const Rect b = bounds();
  double right = b.size.width;
  if (accessory_ != Accessory::None && !editing_) right -= kAccessoryWidth;
  for (const auto& s : subviews())
    if (s->tag() == kDeleteTag || s->tag() == kHandleTag) right = std::min(right, s->frame().minX());
  content_->setFrame({0, 0, std::max(0.0, right), b.size.height});
  double x = kInset;
  if (image_->image()) {
    const Size s = image_->image()->size();
    image_->setFrame({x, (b.size.height - s.height) / 2, s.width, s.height});
    x += s.width + kInset;
  } else {
    image_->setFrame({});
  }
  const double w = std::max(0.0, right - x - 8);
  switch (style_) {
    case Style::Default: text_->setFrame({x, 0, w, b.size.height}); break;
    case Style::Value1:
    case Style::Value2:
      text_->setFrame({x, 0, w * 0.6, b.size.height});
      detail_->setFrame({x + w * 0.6, 0, w * 0.4, b.size.height});
      break;
    case Style::Subtitle:
      text_->setFrame({x, 4, w, b.size.height * 0.55 - 4});
      detail_->setFrame({x, b.size.height * 0.55, w, b.size.height * 0.45 - 4});
      break;
  }
}

void TableViewCell::drawRect(const Rect&) {
  GraphicsContext* c = currentGraphicsContext();
  const Rect b = bounds();
  c->setFillColor(Color::white(0.8));
  c->fillRect({kInset, b.size.height - 0.5, b.size.width - kInset, 0.5});
  if (editing_) return;
  const double cx = b.size.width - kAccessoryWidth / 2, cy = b.midY();
  if (accessory_ == Accessory::DisclosureIndicator || accessory_ == Accessory::DetailDisclosureButton) {
    c->setStrokeColor(Color::white(0.7));
    c->setLineWidth(2);
    c->moveTo(cx - 3, cy - 6);
    c->addLineTo(cx + 3, cy);
    c->addLineTo(cx - 3, cy + 6);
    c->strokePath();
  } else if (accessory_ == Accessory::Checkmark) {
    c->setStrokeColor(Color::rgba(0.0, 122.0 / 255.0, 1.0));
    c->setLineWidth(2);
    c->moveTo(cx - 6, cy);
    c->addLineTo(cx - 2, cy + 4);
    c->addLineTo(cx + 6, cy - 5);
    c->strokePath();
  }
}

// ---------------------------------------------------------------- table

TableView::TableView(const Rect& frame, Style style) : ScrollView(frame), style_(style) {
  setBackgroundColor(style == Style::Grouped ? Color::white(0.94) : Color::white(1.0));
  setAlwaysBounceVertical(true);
}

int64_t TableView::numberOfSections() const { return static_cast<int64_t>(rows_.size()); }

int64_t TableView::numberOfRowsInSection(int64_t section) const {
  if (section < 0 || section >= numberOfSections()) return 0;
  return static_cast<int64_t>(rows_[static_cast<size_t>(section)].size());
}

double TableView::heightFor(const IndexPath& ip) {
  const double h = tableDelegate_ ? tableDelegate_->heightForRowAtIndexPath(*this, ip) : -1;
  return h >= 0 ? h : rowHeight_;
}

void TableView::computeLayout() {
  rows_.clear();
  sectionTops_.clear();
  headers_.clear();
  for (FooterLayout& f : footers_) f.view->removeFromSuperview();
  footers_.clear();
  for (FooterLayout& h : headerViewsOfDelegate_) h.view->removeFromSuperview();
  headerViewsOfDelegate_.clear();
  double y = 0;
  const int64_t sections = dataSource_ ? std::max<int64_t>(0, dataSource_->numberOfSections(*this)) : 0;
  for (int64_t s = 0; s < sections; ++s) {
    sectionTops_.push_back(y);
    const double headerViewHeight = tableDelegate_ ? tableDelegate_->heightForHeaderInSection(*this, s) : 0;
    ViewPtr headerView = headerViewHeight > 0 ? tableDelegate_->viewForHeaderInSection(*this, s) : nullptr;
    auto title = headerView ? std::nullopt : dataSource_->titleForHeaderInSection(*this, s);
    headers_.push_back(title);
    if (title) y += headerHeight_;
    if (headerView) {
      headerViewsOfDelegate_.push_back({headerView, y, headerViewHeight});
      y += headerViewHeight;
    }
    std::vector<RowLayout> section;
    const int64_t n = std::max<int64_t>(0, dataSource_->numberOfRowsInSection(*this, s));
    for (int64_t r = 0; r < n; ++r) {
      const double h = heightFor({s, r});
      section.push_back({y, h});
      y += h;
    }
    rows_.push_back(std::move(section));
    const double footerHeight = tableDelegate_ ? tableDelegate_->heightForFooterInSection(*this, s) : 0;
    ViewPtr footer = footerHeight > 0 ? tableDelegate_->viewForFooterInSection(*this, s) : nullptr;
    if (footer) {
      footers_.push_back({footer, y, footerHeight});
      y += footerHeight;
    }
  }
  setContentSize({bounds().size.width, y});
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& ip) const {
  if (ip.section < 0 || ip.section >= numberOfSections() || ip.row < 0 || ip.row >= numberOfRowsInSection(ip.section))
    return Rect::null();
  const RowLayout& r = rows_[static_cast<size_t>(ip.section)][static_cast<size_t>(ip.row)];
  return {0, r.y, bounds().size.width, r.height};
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point p) const {
  for (size_t s = 0; s < rows_.size(); ++s)
    for (size_t r = 0; r < rows_[s].size(); ++r)
      if (p.y >= rows_[s][r].y && p.y < rows_[s][r].y + rows_[s][r].height && p.x >= 0 && p.x < bounds().size.width)
        return IndexPath{static_cast<int64_t>(s), static_cast<int64_t>(r)};
  return std::nullopt;
}

TableViewCell* TableView::cellForRowAtIndexPath(const IndexPath& ip) const {
  auto it = visible_.find(ip);
  return it == visible_.end() ? nullptr : it->second.get();
}

std::vector<TableViewCell*> TableView::visibleCells() const {
  std::vector<TableViewCell*> out;
  for (const auto& [ip, cell] : visible_) out.push_back(cell.get());
  return out;
}

TableViewCellPtr TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  auto it = pool_.find(identifier);
  if (it == pool_.end() || it->second.empty()) return nullptr;
  TableViewCellPtr cell = it->second.back();
  it->second.pop_back();
  cell->prepareForReuse();
  return cell;
}

void TableView::reloadData() {
  for (auto& [ip, cell] : visible_) {
    cell->removeFromSuperview();
    pool_[cell->reuseIdentifier()].push_back(cell);
  }
  visible_.clear();
  selected_.reset();
  computeLayout();
  layoutSubviews();
}

void TableView::configureCell(TableViewCell& cell, const IndexPath& ip) {
  cell.setFrame(rectForRowAtIndexPath(ip));
  cell.setSelected(selected_ && *selected_ == ip, false);
  cell.setEditing(editing_, false);
  for (const auto& s : std::vector<ViewPtr>(cell.subviews()))
    if (s->tag() == kDeleteTag || s->tag() == kHandleTag) s->removeFromSuperview();
  if (!editing_ || !dataSource_) return;
  const Rect b = cell.bounds();
  double right = b.size.width;
  if (dataSource_->canMoveRowAtIndexPath(*this, ip)) {
    auto handle = std::make_shared<ReorderHandle>(Rect(right - kHandleWidth, 0, kHandleWidth, b.size.height));
    handle->setTag(kHandleTag);
    cell.addSubview(handle);
    right -= kHandleWidth;
  }
  const bool deletable = dataSource_->canEditRowAtIndexPath(*this, ip) &&
                         (!tableDelegate_ || tableDelegate_->editingStyleForRowAtIndexPath(*this, ip) ==
                                                 TableViewCellEditingStyle::Delete);
  if (deletable) {
    auto del = std::make_shared<Button>(Button::Type::Custom, Rect(right - kDeleteWidth, 4, kDeleteWidth - 6, b.size.height - 8));
    del->setTag(kDeleteTag);
    del->setTitle(tableDelegate_ ? tableDelegate_->titleForDeleteConfirmationButtonForRowAtIndexPath(*this, ip) : "Delete",
                  ControlState::Normal);
    del->setTitleColor(Color::whiteColor(), ControlState::Normal);
    del->setBackgroundColor(Color::rgba(1.0, 0.23, 0.19));
    del->layer().setCornerRadius(4);
    std::weak_ptr<View> weak = weak_from_this();
    del->addTarget(this, "deleteRow:", [weak, ip](Control&) {
      if (auto self = std::static_pointer_cast<TableView>(weak.lock())) self->tappedDelete(ip);
    }, ControlEvents::TouchUpInside);
    cell.addSubview(del);
  }
  cell.setNeedsLayout();
}

void TableView::setBounds(const Rect& b) {
  const bool moved = b.origin != bounds().origin;
  ScrollView::setBounds(b);
  if (moved) setNeedsLayout();
}

void TableView::layoutSubviews() {
  const Rect visibleRect = bounds();
  // Rows that left the screen go to the pool.
  for (auto it = visible_.begin(); it != visible_.end();) {
    const Rect r = rectForRowAtIndexPath(it->first);
    if (r.isNull() || !r.intersects(visibleRect)) {
      it->second->removeFromSuperview();
      pool_[it->second->reuseIdentifier()].push_back(it->second);
      it = visible_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& h : headerViews_) h->removeFromSuperview();
  headerViews_.clear();
  for (FooterLayout& f : footers_) {
    f.view->setFrame({0, f.y, visibleRect.size.width, f.height});
    if (f.view->superview() != this) addSubview(f.view);
  }
  for (FooterLayout& h : headerViewsOfDelegate_) {
    h.view->setFrame({0, h.y, visibleRect.size.width, h.height});
    if (h.view->superview() != this) addSubview(h.view);
  }
  for (size_t s = 0; s < rows_.size(); ++s) {
    if (headers_[s]) {
      auto header = std::make_shared<Label>(Rect(0, sectionTops_[s], visibleRect.size.width, headerHeight_));
      header->setText("  " + *headers_[s]);
      header->setFont(Font::boldSystemFont(14));
      header->setBackgroundColor(Color::white(0.92));
      addSubview(header);
      headerViews_.push_back(header);
    }
    for (size_t r = 0; r < rows_[s].size(); ++r) {
      const IndexPath ip{static_cast<int64_t>(s), static_cast<int64_t>(r)};
      const Rect rect = rectForRowAtIndexPath(ip);
      if (!rect.intersects(visibleRect)) continue;
      if (!visible_.count(ip)) {
        TableViewCellPtr cell = dataSource_ ? dataSource_->cellForRowAtIndexPath(*this, ip) : nullptr;
        if (!cell) cell = std::make_shared<TableViewCell>(TableViewCell::Style::Default, "");
        visible_[ip] = cell;
        addSubview(cell);
      }
      configureCell(*visible_[ip], ip);
    }
  }
}

void TableView::scrollToRowAtIndexPath(const IndexPath& ip, ScrollPosition position, bool animated) {
  const Rect r = rectForRowAtIndexPath(ip);
  if (r.isNull()) return;
  const Rect b = bounds();
  double y = b.origin.y;
  switch (position) {
    case ScrollPosition::Top: y = r.minY(); break;
    case ScrollPosition::Middle: y = r.midY() - b.size.height / 2; break;
    case ScrollPosition::Bottom: y = r.maxY() - b.size.height; break;
    case ScrollPosition::None:
      if (r.minY() < b.minY()) y = r.minY();
      else if (r.maxY() > b.maxY()) y = r.maxY() - b.size.height;
      break;
  }
  y = std::clamp(y, 0.0, std::max(0.0, contentSize().height - b.size.height));
  setContentOffset({b.origin.x, y}, animated);
  layoutSubviews();
}

void TableView::selectRowAtIndexPath(const std::optional<IndexPath>& ip, bool animated, ScrollPosition position) {
  if (selected_)
    if (TableViewCell* old = cellForRowAtIndexPath(*selected_)) old->setSelected(false, animated);
  selected_ = ip;
  if (!ip) return;
  if (position != ScrollPosition::None) scrollToRowAtIndexPath(*ip, position, animated);
  if (TableViewCell* cell = cellForRowAtIndexPath(*ip)) cell->setSelected(true, animated);
}

void TableView::deselectRowAtIndexPath(const IndexPath& ip, bool animated) {
  if (!selected_ || *selected_ != ip) return;
  if (TableViewCell* cell = cellForRowAtIndexPath(ip)) cell->setSelected(false, animated);
  selected_.reset();
}

void TableView::setEditing(bool editing, bool animated) {
  editing_ = editing;
  for (auto& [ip, cell] : visible_) configureCell(*cell, ip);
  (void)animated;
}

void TableView::tappedDelete(const IndexPath& ip) {
  if (dataSource_) dataSource_->commitEditingStyle(*this, TableViewCellEditingStyle::Delete, ip);
}

void TableView::touchesBegan(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  const Point p = touches.front()->locationInView(this);
  touchStart_ = p;
  scrolling_ = false;
  reordering_.reset();
  pressed_ = indexPathForRowAtPoint(p);
  if (pressed_ && editing_) {
    if (TableViewCell* cell = cellForRowAtIndexPath(*pressed_)) {
      for (const auto& s : cell->subviews())
        if (s->tag() == kHandleTag && s->frame().contains(cell->convertPointFrom(p, this))) reordering_ = pressed_;
    }
  }
  const bool selectable = allowsSelection_ && (!editing_ || allowsSelectionDuringEditing_);
  if (pressed_ && selectable && !reordering_)
    if (TableViewCell* cell = cellForRowAtIndexPath(*pressed_)) cell->setHighlighted(true, false);
  if (!reordering_) ScrollView::touchesBegan(touches, event);
}

void TableView::touchesMoved(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  const Point p = touches.front()->locationInView(this);
  if (reordering_) {
    if (TableViewCell* cell = cellForRowAtIndexPath(*reordering_)) {
      Rect f = rectForRowAtIndexPath(*reordering_);
      cell->setFrame(f.offsetBy(0, p.y - touchStart_.y));
      bringSubviewToFront(cell);
    }
    return;
  }
  if (!scrolling_ && std::hypot(p.x - touchStart_.x, p.y - touchStart_.y) > kDragSlop) {
    scrolling_ = true;
    if (pressed_)
      if (TableViewCell* cell = cellForRowAtIndexPath(*pressed_)) cell->setHighlighted(false, false);
  }
  if (scrolling_) ScrollView::touchesMoved(touches, event);
}

void TableView::finishReorder(Point p) {
  const IndexPath from = *reordering_;
  reordering_.reset();
  std::optional<IndexPath> over = indexPathForRowAtPoint({bounds().size.width / 2, p.y});
  IndexPath to = from;
  if (over && over->section == from.section) to = *over;
  else if (p.y < rectForRowAtIndexPath({from.section, 0}).minY()) to = {from.section, 0};
  else if (p.y >= rectForRowAtIndexPath({from.section, numberOfRowsInSection(from.section) - 1}).maxY())
    to = {from.section, numberOfRowsInSection(from.section) - 1};
  if (to != from && dataSource_) dataSource_->moveRowAtIndexPath(*this, from, to);
  const bool wasEditing = editing_;
  reloadData();
  editing_ = wasEditing;
  setEditing(wasEditing, false);
}

void TableView::touchesEnded(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  auto keep = shared_from_this();
  if (reordering_) {
    finishReorder(touches.front()->locationInView(this));
    return;
  }
  if (pressed_)
    if (TableViewCell* cell = cellForRowAtIndexPath(*pressed_)) cell->setHighlighted(false, false);
  const bool selectable = allowsSelection_ && (!editing_ || allowsSelectionDuringEditing_);
  if (!scrolling_ && pressed_ && selectable) {
    std::optional<IndexPath> target = *pressed_;
    if (tableDelegate_) target = tableDelegate_->willSelectRowAtIndexPath(*this, *pressed_);
    if (target) {
      if (selected_ && *selected_ != *target) {
        const IndexPath old = *selected_;
        deselectRowAtIndexPath(old, false);
        if (tableDelegate_) tableDelegate_->didDeselectRowAtIndexPath(*this, old);
      }
      selected_ = target;
      if (TableViewCell* cell = cellForRowAtIndexPath(*target)) cell->setSelected(true, false);
      if (tableDelegate_) tableDelegate_->didSelectRowAtIndexPath(*this, *target);
    }
  }
  pressed_.reset();
  ScrollView::touchesEnded(touches, event);
}

void TableView::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (pressed_)
    if (TableViewCell* cell = cellForRowAtIndexPath(*pressed_)) cell->setHighlighted(false, false);
  pressed_.reset();
  reordering_.reset();
  ScrollView::touchesCancelled(touches, event);
}

// ---------------------------------------------------------------- controller

void TableViewController::loadView() {
  auto table = std::make_shared<TableView>(Rect(0, 0, 320, 480), style_);
  table->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
  table->setDataSource(this);
  table->setTableDelegate(this);
  setView(table);
}

void TableViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  TableView* table = tableView();
  if (table->numberOfSections() == 0) table->reloadData();
  if (clears_)
    if (auto selected = table->indexPathForSelectedRow()) table->deselectRowAtIndexPath(*selected, animated);
}

void TableViewController::setEditing(bool editing, bool animated) {
  ViewController::setEditing(editing, animated);
  tableView()->setEditing(editing, animated);
}

}  // namespace platform
