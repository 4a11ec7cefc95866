#include "soundcloud-sdk/ui/browser_list_view_controller.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/gfx/text.h"
#include "platform/ui/headless/headless_backend.h"

using namespace platform;
using scui::BrowserHeaderView;
using scui::BrowserListViewController;
using scui::BrowserTableCell;
using scui::BrowserTableCellView;

namespace {

// A list of names and sizes, sorted by the touched column.
class NameList : public BrowserListViewController {
 public:
  NameList() : BrowserListViewController(3) {}
  std::vector<std::pair<std::string, int>> rows;
  int footerRows = 0;
  std::vector<std::string> events;

  int64_t numberOfDataRowsInSection(int64_t) override { return static_cast<int64_t>(rows.size()); }
  int64_t numberOfRowsShouldBeReportedForSection(int64_t) override {
    return rows.empty() ? 1 : static_cast<int64_t>(rows.size()) + footerRows;
  }
  void initializeCell(BrowserTableCell&, const IndexPath& ip) override {
    events.push_back("init " + std::to_string(ip.row));
  }
  void configureCell(BrowserTableCell& cell, const IndexPath& ip) override {
    cell.cellView().setText(rows[static_cast<size_t>(ip.row)].first, 0);
    cell.cellView().setText(std::to_string(rows[static_cast<size_t>(ip.row)].second), 1);
    cell.cellView().setText(std::nullopt, 2);
  }
  void configureCellForAdditionalFooter(TableViewCell& cell) override { cell.textLabel().setText("More"); }
  void didSelectRowAtIndexPath(const IndexPath& ip) override { events.push_back("row " + std::to_string(ip.row)); }
  void didSelectAdditionalFooterRowAtIndexPath(const IndexPath& ip) override {
    events.push_back("footer " + std::to_string(ip.row));
  }
  std::string browserHeaderViewTitleForColumn(BrowserHeaderView&, int column) override {
    return column == 0 ? "Name" : column == 1 ? "Size" : "Note";
  }
  void browserHeaderViewColumnIsTouched(BrowserHeaderView& header, int column) override {
    events.push_back("touched " + std::to_string(column));
    if (column > 1) return;
    const bool ascending = header.sortColumn() == column ? !header.sortAscending() : true;
    header.setSortColumn(column);
    header.setSortAscending(ascending);
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
      const bool less = column == 0 ? a.first < b.first : a.second < b.second;
      const bool more = column == 0 ? b.first < a.first : b.second < a.second;
      return ascending ? less : more;
    });
    tableView()->reloadData();
  }
};

struct Screen {
  HeadlessBackend hb{{600, 400}, 1.0};
  std::shared_ptr<Window> window = hb.makeWindow();
  std::shared_ptr<NameList> list = std::make_shared<NameList>();
  explicit Screen(std::vector<std::pair<std::string, int>> rows, int footers = 0) {
    list->rows = std::move(rows);
    list->footerRows = footers;
    window->setRootViewController(list);
    hb.runPass();
  }
  TableView& table() { return *list->tableView(); }
  Point centreOfRow(int64_t row) {
    const Rect r = table().rectForRowAtIndexPath({0, row});
    return table().convertPointTo(r.center(), nullptr);
  }
  std::string cellText(int64_t row, int column) {
    auto* cell = dynamic_cast<BrowserTableCell*>(table().cellForRowAtIndexPath({0, row}));
    return cell ? cell->cellView().cells()[static_cast<size_t>(column)].text : "<none>";
  }
};

std::shared_ptr<BrowserHeaderView> headerOf(double width, uint64_t columns) {
  auto h = std::make_shared<BrowserHeaderView>(Rect{0, 0, width, 35});
  h->setNumberOfColumns(columns);
  return h;
}

}  // namespace

TEST(BrowserList, WithoutDataOneCentredBoldNoResultsRowThatSelectsNothing) {
  Screen s({});
  ASSERT_EQ(s.table().numberOfRowsInSection(0), 1);
  TableViewCell* cell = s.table().cellForRowAtIndexPath({0, 0});
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(dynamic_cast<BrowserTableCell*>(cell), nullptr);
  EXPECT_EQ(cell->textLabel().text(), "No results");
  EXPECT_EQ(cell->textLabel().font(), Font::boldSystemFont(15));
  EXPECT_EQ(cell->textLabel().textAlignment(), TextAlignment::Center);
  s.hb.tap(s.centreOfRow(0));
  EXPECT_TRUE(s.list->events.empty());
}

TEST(BrowserList, DataRowsAlternateWhiteAndGreyAndFooterRowsGoToTheFooterHooks) {
  Screen s({{"b", 2}, {"a", 1}, {"c", 3}}, 1);
  ASSERT_EQ(s.table().numberOfRowsInSection(0), 4);
  for (int64_t row = 0; row < 3; ++row) {
    auto* cell = dynamic_cast<BrowserTableCell*>(s.table().cellForRowAtIndexPath({0, row}));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->cellView().backgroundColor(), row % 2 == 0 ? Color::white(1.0, 0.5) : Color::white(0.92, 0.5));
    EXPECT_EQ(cell->cellView().headerView(), &s.list->headerView());
  }
  EXPECT_EQ(s.cellText(0, 0), "b");
  EXPECT_EQ(s.cellText(2, 1), "3");
  EXPECT_EQ(s.cellText(2, 2), "");
  TableViewCell* footer = s.table().cellForRowAtIndexPath({0, 3});
  ASSERT_NE(footer, nullptr);
  EXPECT_EQ(footer->reuseIdentifier(), "AdditionalCellInFooter");
  EXPECT_EQ(footer->textLabel().text(), "More");
  s.hb.tap(s.centreOfRow(1));
  s.hb.tap(s.centreOfRow(3));
  EXPECT_EQ(s.list->events, (std::vector<std::string>{"init 0", "init 1", "init 2", "row 1", "footer 3"}));
}

TEST(BrowserList, TouchingAHeaderColumnSortsTheRowsAndMovesTheMarker) {
  Screen s({{"b", 2}, {"a", 3}, {"c", 1}});
  BrowserHeaderView& header = s.list->headerView();
  EXPECT_EQ(header.superview(), &s.table());
  EXPECT_EQ(header.frame(), (Rect{0, 0, 600, 35}));
  EXPECT_EQ(header.sortColumn(), -1);
  // Three columns of 200 each: x 250 lies in the second.
  s.hb.tap(header.convertPointTo({250, 17}, nullptr));
  EXPECT_EQ(header.sortColumn(), 1);
  EXPECT_TRUE(header.sortAscending());
  s.hb.runPass();
  EXPECT_EQ(s.cellText(0, 0), "c");
  EXPECT_EQ(s.cellText(1, 0), "b");
  EXPECT_EQ(s.cellText(2, 0), "a");
  s.hb.tap(header.convertPointTo({250, 17}, nullptr));
  EXPECT_FALSE(header.sortAscending());
  s.hb.runPass();
  EXPECT_EQ(s.cellText(0, 0), "a");
  s.hb.tap(header.convertPointTo({10, 17}, nullptr));
  s.hb.runPass();
  EXPECT_EQ(header.sortColumn(), 0);
  EXPECT_EQ(s.cellText(0, 0), "a");
  EXPECT_EQ(s.cellText(2, 0), "c");
}

TEST(BrowserHeader, ColumnUnderAPoint) {
  auto hp = headerOf(300, 3);
  BrowserHeaderView& h = *hp;
  EXPECT_EQ(h.columnInPosition({250, 5}), 2);
  EXPECT_EQ(h.columnInPosition({0, 5}), 0);
  EXPECT_EQ(h.columnInPosition({100, 5}), 1);
  EXPECT_EQ(h.columnInPosition({301, 5}), 3);
  auto empty = std::make_shared<BrowserHeaderView>(Rect{0, 0, 300, 35});
  EXPECT_EQ(empty->columnInPosition({100, 5}), 0);
}

TEST(BrowserHeader, SetWidthsKeepsTenForEveryLaterColumn) {
  struct Case {
    std::vector<float> asked;
    std::vector<float> got;
  } cases[] = {
      {{0, 100, 0}, {10, 100, 190}},
      {{500, 100, 0}, {280, 10, 10}},
      {{100, 250, 7}, {100, 190, 10}},
      {{100, 100}, {100, 100, 100}},  // wrong count: unchanged
  };
  for (const Case& c : cases) {
    auto hp = headerOf(300, 3);
    BrowserHeaderView& h = *hp;
    h.setWidth(c.asked);
    EXPECT_EQ(h.widths(), c.got);
  }
  auto one = headerOf(300, 1);
  one->setWidth(std::vector<float>{40});
  EXPECT_EQ(one->widths(), std::vector<float>{300});
}

namespace {
struct WidthReports : scui::BrowserHeaderViewDelegate {
  std::vector<int> changed;
  void browserHeaderViewColumnIsTouched(BrowserHeaderView&, int) override {}
  void browserHeaderViewColumnWidthChanged(BrowserHeaderView&, int c) override { changed.push_back(c); }
  std::string browserHeaderViewTitleForColumn(BrowserHeaderView&, int) override { return ""; }
};
}  // namespace

TEST(BrowserHeader, MovingABoundaryKeepsThePairsTotalAndReportsIt) {
  auto hp = headerOf(300, 3);
  BrowserHeaderView& h = *hp;
  WidthReports reports;
  h.setDelegate(&reports);
  h.setWidth(150, 0);
  EXPECT_EQ(h.widths(), (std::vector<float>{150, 50, 100}));
  h.setWidth(500, 1);
  EXPECT_EQ(h.widths(), (std::vector<float>{150, 140, 10}));
  h.setWidth(30, 2);  // the last column has no boundary after it
  EXPECT_EQ(h.widths(), (std::vector<float>{150, 140, 10}));
  EXPECT_EQ(reports.changed, (std::vector<int>{0, 1}));
}

TEST(BrowserHeader, LayoutSharesTheSpareWidthSoColumnsFillTheHeader) {
  auto hp = headerOf(300, 3);
  BrowserHeaderView& h = *hp;
  h.setWidth(std::vector<float>{100, 100, 100});
  h.setFrame({0, 0, 360, 35});
  h.layoutSubviews();
  EXPECT_EQ(h.widths(), (std::vector<float>{120, 120, 120}));
  h.setNumberOfColumns(2);  // a later count keeps the widths
  EXPECT_EQ(h.widths().size(), 3u);
}

TEST(BrowserHeader, DrawsTintSeparatorsAndTheSortMarkerAtTheSortedColumnsRightEnd) {
  HeadlessBackend hb({600, 400}, 1.0);
  auto h = std::make_shared<BrowserHeaderView>(Rect{0, 0, 300, 35});
  h->setNumberOfColumns(3);
  h->setTintColor(Color::rgba(0.2, 0.4, 0.6, 1));
  h->setSortColumn(0);
  h->setSortAscending(true);
  ImagePtr img = hb.renderView(*h);
  auto near = [](Image::RGBA p, int r, int g, int b) {
    return std::abs(p.r - r) <= 3 && std::abs(p.g - g) <= 3 && std::abs(p.b - b) <= 3;
  };
  EXPECT_TRUE(near(img->pixel(150, 32), 51, 102, 153));
  // The downward triangle of column 0 (its right end at 100): (85,12) (95,12) (90,22).
  EXPECT_TRUE(near(img->pixel(90, 14), 242, 242, 242));
  EXPECT_TRUE(near(img->pixel(190, 14), 51, 102, 153));
  h->setSortColumn(1);
  h->setSortAscending(false);
  img = hb.renderView(*h);
  EXPECT_TRUE(near(img->pixel(90, 14), 51, 102, 153));
  EXPECT_TRUE(near(img->pixel(190, 20), 242, 242, 242));
  // No tint: grey 0.7.
  h->setTintColor(std::nullopt);
  img = hb.renderView(*h);
  EXPECT_TRUE(near(img->pixel(150, 32), 179, 179, 179));
}

TEST(BrowserCell, ATooLongTextEndsInAnEllipsisAndABlank) {
  const Font font = Font::systemFont(15);
  EXPECT_EQ(BrowserTableCellView::fittedLine("Short", font, 200), "Short");
  const std::string longText = "A very long track title that cannot fit into the column";
  const std::string line = BrowserTableCellView::fittedLine(longText, font, 100);
  ASSERT_GE(line.size(), 4u);
  EXPECT_EQ(line.substr(line.size() - 4), "\u2026 ");
  EXPECT_EQ(longText.rfind(line.substr(0, line.size() - 4), 0), 0u);
  TextStyle style;
  style.font = font;
  EXPECT_LE(measureText(line, style, 0).width, 100 + measureText("\u2026 ", style, 0).width);
}

TEST(BrowserCell, CellViewGrowsItsEntriesToTheHeadersColumnsAndDrawsThem) {
  HeadlessBackend hb({600, 400}, 1.0);
  auto header = headerOf(300, 2);
  auto view = std::make_shared<BrowserTableCellView>(Rect{0, 0, 300, 44});
  view->setHeaderView(header.get());
  EXPECT_EQ(view->cells().size(), 2u);
  auto narrow = headerOf(300, 1);
  view->setHeaderView(narrow.get());
  EXPECT_EQ(view->cells().size(), 2u);  // never shortened
  view->setHeaderView(header.get());
  view->setText("WWWW", 1);
  auto red = Image::create(20, 20);
  {
    GraphicsContext c(red->surface(), 1.0);
    c.setFillColor(Color::rgba(1, 0, 0, 1));
    c.fillRect({0, 0, 20, 20});
  }
  view->setImage(red, 0);
  ImagePtr img = hb.renderView(*view);
  // The image takes the square at the left of column 0, inset by 3.
  EXPECT_EQ(img->pixel(20, 22).r, 255);
  EXPECT_LT(img->pixel(20, 22).g, 10);
  EXPECT_GT(img->pixel(1, 1).g, 240);
  // Column 1's text is dark grey ink left of its middle.
  bool ink = false;
  for (int x = 160; x < 200 && !ink; ++x)
    for (int y = 12; y < 32 && !ink; ++y) ink = img->pixel(x, y).r < 150;
  EXPECT_TRUE(ink);
}

TEST(BrowserCell, OptionalViewIsASquareAtTheEndOfTheFirstColumn) {
  HeadlessBackend hb({600, 400}, 1.0);
  auto header = headerOf(300, 3);
  auto cellp = std::make_shared<BrowserTableCell>(TableViewCell::Style::Default, "x");
  BrowserTableCell& cell = *cellp;
  cell.setFrame({0, 0, 300, 44});
  cell.cellView().setHeaderView(header.get());
  auto tall = std::make_shared<View>(Rect{0, 0, 80, 80});
  cell.setOptionalView(tall);
  EXPECT_EQ(tall->frame(), (Rect{100 - 44, 0, 44, 44}));
  auto small = std::make_shared<View>(Rect{0, 0, 20, 20});
  cell.setOptionalView(small);
  EXPECT_EQ(tall->superview(), nullptr);
  EXPECT_EQ(small->frame(), (Rect{80, 12, 20, 20}));
  EXPECT_EQ(small->superview(), &cell.contentView());
}
