#include "soundcloud-sdk/ui/browser_list_view_controller.h"

#include <algorithm>

#include "platform/gfx/text.h"

namespace scui {

using platform::Color;
using platform::GraphicsContext;
using platform::IndexPath;
using platform::Point;
using platform::Rect;

namespace {

// Byte offsets of the code points of `text` (and its end).
std::vector<size_t> codePointStarts(const std::string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  starts.push_back(text.size());
  return starts;
}

// Draws `text` in one line with its baseline at `baseline`, starting at x.
void drawLineAt(GraphicsContext& context, const std::string& text, double x, double baseline,
                const platform::TextStyle& style) {
  const double top = baseline - style.font.ascender();
  const platform::Size size = platform::measureText(text, style, 0);
  platform::drawText(context, text, Rect{x, top, size.width + 1, size.height + 1}, style);
}

}  // namespace

// ---------------------------------------------------------------- header

BrowserHeaderView::BrowserHeaderView(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  setBackgroundColor(Color::white(0.1, 0.8));
}

void BrowserHeaderView::setNumberOfColumns(uint64_t n) {
  columns_ = n;
  if (!hasWidths_ && n > 0) {
    widths_.assign(n, static_cast<float>(bounds().size.width / static_cast<double>(n)));
    hasWidths_ = true;
  }
}

void BrowserHeaderView::setWidth(const std::vector<float>& widths) {
  if (widths.size() != columns_ || columns_ == 0 || widths_.size() != columns_) return;
  float left = static_cast<float>(frame().size.width);
  for (size_t i = 0; i + 1 < columns_; ++i) {
    const float later = kMinimumColumnWidth * static_cast<float>(columns_ - 1 - i);
    float w = std::max(widths[i], kMinimumColumnWidth);
    w = std::min(w, left - later);
    widths_[i] = w;
    left -= w;
  }
  widths_[columns_ - 1] = left;
  setNeedsDisplay();
}

void BrowserHeaderView::setWidth(float width, int column) {
  if (column < 0 || static_cast<uint64_t>(column) + 1 >= columns_ || widths_.size() != columns_) return;
  const size_t i = static_cast<size_t>(column);
  const float pair = widths_[i] + widths_[i + 1];
  if (width > pair - kMinimumColumnWidth) {
    widths_[i] = pair - kMinimumColumnWidth;
    widths_[i + 1] = kMinimumColumnWidth;
  } else {
    widths_[i] = width;
    widths_[i + 1] = pair - width;
  }
  setNeedsDisplay();
  if (delegate_) delegate_->browserHeaderViewColumnWidthChanged(*this, column);
}

float BrowserHeaderView::widthAt(int column) const {
  if (column < 0 || static_cast<size_t>(column) >= widths_.size()) return 0;
  return widths_[static_cast<size_t>(column)];
}

int BrowserHeaderView::columnInPosition(Point p) const {
  if (widths_.empty()) return 0;
  double x = p.x;
  for (size_t i = 0; i < widths_.size(); ++i) {
    x -= widths_[i];
    if (x < 0) return static_cast<int>(i);
  }
  return static_cast<int>(widths_.size());
}

void BrowserHeaderView::setSortColumn(int64_t column) {
  if (column == sortColumn_) return;
  sortColumn_ = column;
  setNeedsDisplay();
}

void BrowserHeaderView::setSortAscending(bool ascending) {
  if (ascending == sortAscending_) return;
  sortAscending_ = ascending;
  setNeedsDisplay();
}

void BrowserHeaderView::setTintColor(std::optional<Color> c) {
  tint_ = std::move(c);
  setNeedsDisplay();
}

void BrowserHeaderView::layoutSubviews() {
  if (widths_.empty()) return;
  float sum = 0;
  for (float w : widths_) sum += w;
  const float share = (static_cast<float>(frame().size.width) - sum) / static_cast<float>(widths_.size());
  for (float& w : widths_) w += share;
  setNeedsDisplay();
}

void BrowserHeaderView::fillBackground(GraphicsContext& context, const Rect& rect) {
  context.saveGState();
  if (tint_)
    context.setFillColor(Color::rgba(tint_->red(), tint_->green(), tint_->blue(), tint_->alpha()));
  else
    context.setFillColor(Color::rgba(0.7, 0.7, 0.7, 1));
  context.fillRect(rect);
  context.restoreGState();
}

void BrowserHeaderView::drawRect(const Rect& rect) {
  GraphicsContext* context = platform::currentGraphicsContext();
  if (!context) return;
  context->clearRect(rect);
  fillBackground(*context, rect);
  context->saveGState();
  context->setLineWidth(0.25);
  context->setStrokeColor(Color::rgba(0.28, 0.28, 0.28, 1));
  platform::TextStyle style;
  style.font = platform::Font::named("Helvetica-Bold", 14);
  style.color = Color::rgba(0.95, 0.95, 0.95, 1);
  style.alignment = platform::TextAlignment::Left;
  const double height = bounds().size.height;
  double x = 0;
  std::vector<double> separators;
  for (size_t i = 0; i < columns_ && i < widths_.size(); ++i) {
    const std::string title = delegate_ ? delegate_->browserHeaderViewTitleForColumn(*this, static_cast<int>(i)) : "";
    drawLineAt(*context, title, x + 5, 25, style);
    // A separator at each column's left edge: the first is the view's edge,
    // the others the boundaries between columns.
    separators.push_back(x);
    x += widths_[i];
    if (static_cast<int64_t>(i) == sortColumn_) {
      const double a = sortAscending_ ? 12 : 22;
      const double b = sortAscending_ ? 22 : 12;
      context->setFillColor(Color::rgba(0.95, 0.95, 0.95, 1));
      context->beginPath();
      context->moveTo(x - 15, a);
      context->addLineTo(x - 5, a);
      context->addLineTo(x - 10, b);
      context->closePath();
      context->fillPath();
    }
  }
  context->beginPath();
  for (double s : separators) {
    context->moveTo(s, 0);
    context->addLineTo(s, height);
  }
  if (!separators.empty()) context->strokePath();
  context->restoreGState();
}

void BrowserHeaderView::touchesEnded(const platform::TouchSet& touches, const platform::Event* event) {
  if (delegate_ && !touches.empty())
    delegate_->browserHeaderViewColumnIsTouched(*this, columnInPosition(touches.front()->locationInView(this)));
  View::touchesEnded(touches, event);
}

// ---------------------------------------------------------------- cell view

BrowserTableCellView::BrowserTableCellView(const Rect& frame) : View(frame) {
  setDrawsContent(true);
  setBackgroundColor(Color::whiteColor());
}

void BrowserTableCellView::setHeaderView(BrowserHeaderView* header) {
  header_ = header;
  columns_ = header ? header->numberOfColumns() : 0;
  if (cells_.size() < columns_) cells_.resize(columns_);
}

void BrowserTableCellView::setText(const std::optional<std::string>& text, int column) {
  if (column < 0 || static_cast<size_t>(column) >= cells_.size()) return;
  cells_[static_cast<size_t>(column)].text = text.value_or("");
}

void BrowserTableCellView::setImage(platform::ImagePtr image, int column) {
  if (column < 0 || static_cast<size_t>(column) >= cells_.size()) return;
  cells_[static_cast<size_t>(column)].image = std::move(image);
}

void BrowserTableCellView::drawRect(const Rect& rect) {
  GraphicsContext* context = platform::currentGraphicsContext();
  if (!context || !header_) return;
  context->saveGState();
  context->setLineWidth(0.125);
  context->setStrokeColor(Color::rgba(0.2, 0.2, 0.2, 1));
  const double height = bounds().size.height;
  double x = 0;
  std::vector<double> separators;
  const int n = static_cast<int>(header_->numberOfColumns());
  for (int i = 0; i < n; ++i) {
    const double w = header_->widthAt(i);
    if (static_cast<size_t>(i) < cells_.size()) drawCell(cells_[static_cast<size_t>(i)], Rect{x, 0, w, rect.size.height}, i, *context);
    separators.push_back(x);
    x += w;
  }
  context->beginPath();
  for (double s : separators) {
    context->moveTo(s, 0);
    context->addLineTo(s, height);
  }
  if (!separators.empty()) context->strokePath();
  context->restoreGState();
}

void BrowserTableCellView::drawCell(const BrowserTableCellModad& cell, const Rect& rect, int column,
                                    GraphicsContext& context) {
  if (cell.image) {
    const double side = rect.size.height;
    drawCellImage(*cell.image, Rect{rect.origin.x, rect.origin.y, side, side}, context);
    drawCellText(cell.text, Rect{rect.origin.x + side, rect.origin.y, rect.size.width - side, rect.size.height},
                 column, context);
  } else {
    drawCellText(cell.text, rect, column, context);
  }
}

void BrowserTableCellView::drawCellImage(const platform::Image& image, const Rect& rect, GraphicsContext& context) {
  // The context draws images upright already; the square is inset by 3.
  context.saveGState();
  context.drawImage(image, rect.insetBy(3, 3));
  context.restoreGState();
}

std::string BrowserTableCellView::fittedLine(const std::string& text, const platform::Font& font, double width) {
  platform::TextStyle style;
  style.font = font;
  const std::vector<size_t> starts = codePointStarts(text);
  const size_t length = starts.size() - 1;
  auto fits = [&](size_t chars) { return platform::measureText(text.substr(0, starts[chars]), style, 0).width <= width; };
  if (fits(length)) return text;
  // The longest prefix that fits: where the line must break.
  size_t lo = 0, hi = length;
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (fits(mid)) lo = mid;
    else hi = mid - 1;
  }
  const size_t b = lo;
  const size_t keep = std::max<size_t>(b, 2) - 2;
  const std::string cut = text.substr(0, starts[keep]) + "\u2026 ";
  const std::vector<size_t> cutStarts = codePointStarts(cut);
  return cut.substr(0, cutStarts[std::min(b, cutStarts.size() - 1)]);
}

void BrowserTableCellView::drawCellText(const std::string& text, const Rect& rect, int column,
                                        GraphicsContext& context) {
  platform::TextStyle style;
  style.font = column == 0 ? platform::Font::boldSystemFont(15) : platform::Font::systemFont(15);
  style.color = Color::rgba(0.28, 0.28, 0.28, 1);
  style.alignment = platform::TextAlignment::Left;
  const std::string line = fittedLine(text, style.font, rect.size.width - 15);
  context.saveGState();
  context.clipToRect(rect);
  drawLineAt(context, line, rect.origin.x + 10, rect.origin.y + rect.size.height / 2 + 8, style);
  context.restoreGState();
}

// ---------------------------------------------------------------- cell

BrowserTableCell::BrowserTableCell(Style style, std::string reuseIdentifier)
    : TableViewCell(style, std::move(reuseIdentifier)) {
  cellView_ = std::make_shared<BrowserTableCellView>(contentView().bounds());
  cellView_->setAutoresizingMask(platform::Autoresizing::FlexibleWidth | platform::Autoresizing::FlexibleHeight);
  contentView().addSubview(cellView_);
}

void BrowserTableCell::setSelected(bool selected, bool animated) {
  TableViewCell::setSelected(selected, animated);
  if (cellView_->selected() != selected) cellView_->setSelected(selected);
}

void BrowserTableCell::setHighlighted(bool highlighted, bool animated) {
  TableViewCell::setHighlighted(highlighted, animated);
  if (cellView_->selected() != highlighted) cellView_->setSelected(highlighted);
}

void BrowserTableCell::touchesBegan(const platform::TouchSet& touches, const platform::Event* event) {
  if (event) touchTime_ = event->timestamp();
  TableViewCell::touchesBegan(touches, event);
}

void BrowserTableCell::touchesEnded(const platform::TouchSet& touches, const platform::Event* event) {
  if (event) touchInterval_ = event->timestamp() - touchTime_;
  TableViewCell::touchesEnded(touches, event);
}

void BrowserTableCell::setOptionalView(platform::ViewPtr view) {
  if (optional_ && optional_ != view) optional_->removeFromSuperview();
  optional_ = std::move(view);
  if (!optional_) return;
  const double side = std::min(optional_->frame().size.height, cellView_->bounds().size.height);
  optional_->setFrame(Rect{0, 0, side, side});
  const BrowserHeaderView* header = cellView_->headerView();
  const double firstColumn = header ? header->widthAt(0) : cellView_->bounds().size.width;
  optional_->setCenter(Point{firstColumn - side / 2, cellView_->bounds().midY()});
  contentView().addSubview(optional_);
}

// ---------------------------------------------------------------- controller

BrowserListViewController::BrowserListViewController(int numberOfColumns)
    : TableViewController(platform::TableView::Style::Plain), columns_(numberOfColumns) {}

void BrowserListViewController::viewDidLoad() {
  TableViewController::viewDidLoad();
  // The table draws no separators of its own; the colour is kept for one
  // that does.
  tableView()->setSectionHeaderHeight(kHeaderHeight);
}

BrowserHeaderView& BrowserListViewController::headerView() {
  if (!header_) {
    const double width = tableView()->bounds().size.width;
    header_ = std::make_shared<BrowserHeaderView>(Rect{0, 0, width, kHeaderHeight});
    header_->setDelegate(this);
    header_->setNumberOfColumns(static_cast<uint64_t>(std::max<int64_t>(columns_, 0)));
    if (columns_ >= 2)
      for (int i = 0; i + 1 < columns_; ++i)
        header_->setWidth(static_cast<float>(width / static_cast<double>(columns_)), i);
  }
  return *header_;
}

void BrowserListViewController::configureCellForNoResults(platform::TableViewCell& cell) {
  cell.textLabel().setText("No results");
  cell.textLabel().setFont(platform::Font::boldSystemFont(15));
  cell.textLabel().setTextAlignment(platform::TextAlignment::Center);
}

platform::TableViewCellPtr BrowserListViewController::cellForRowAtIndexPath(platform::TableView& table,
                                                                           const IndexPath& ip) {
  const int64_t count = numberOfDataRowsInSection(ip.section);
  if (count == 0) {
    auto cell = std::make_shared<platform::TableViewCell>(platform::TableViewCell::Style::Default, "");
    cell->setSelectionStyle(platform::TableViewCell::SelectionStyle::None);
    cell->setBackgroundColor(Color::clear());
    configureCellForNoResults(*cell);
    return cell;
  }
  if (ip.row < count) {
    std::shared_ptr<BrowserTableCell> cell =
        std::dynamic_pointer_cast<BrowserTableCell>(table.dequeueReusableCellWithIdentifier("BrowserListViewCell"));
    if (!cell) {
      cell = std::make_shared<BrowserTableCell>(platform::TableViewCell::Style::Default, "BrowserListViewCell");
      cell->cellView().setHeaderView(&headerView());
      cell->setBackgroundColor(Color::white(1.0, 0.5));
      initializeCell(*cell, ip);
    }
    configureCell(*cell, ip);
    cell->cellView().setBackgroundColor(ip.row % 2 == 0 ? Color::white(1.0, 0.5) : Color::white(0.92, 0.5));
    cell->redisplay();
    return cell;
  }
  platform::TableViewCellPtr cell = table.dequeueReusableCellWithIdentifier("AdditionalCellInFooter");
  if (!cell) {
    cell = std::make_shared<platform::TableViewCell>(platform::TableViewCell::Style::Default, "AdditionalCellInFooter");
    cell->setSelectionStyle(platform::TableViewCell::SelectionStyle::None);
  }
  configureCellForAdditionalFooter(*cell);
  return cell;
}

platform::ViewPtr BrowserListViewController::viewForHeaderInSection(platform::TableView&, int64_t) {
  headerView();
  return header_;
}

std::optional<IndexPath> BrowserListViewController::willSelectRowAtIndexPath(platform::TableView&,
                                                                             const IndexPath& ip) {
  const int64_t count = numberOfDataRowsInSection(ip.section);
  if (count == 0) return ip;
  return ip.row < count ? willSelectRowAtIndexPath(ip) : willSelectAdditionalFooterRowAtIndexPath(ip);
}

void BrowserListViewController::didSelectRowAtIndexPath(platform::TableView&, const IndexPath& ip) {
  const int64_t count = numberOfDataRowsInSection(ip.section);
  if (count == 0) return;
  if (ip.row < count) didSelectRowAtIndexPath(ip);
  else didSelectAdditionalFooterRowAtIndexPath(ip);
}

}  // namespace scui
