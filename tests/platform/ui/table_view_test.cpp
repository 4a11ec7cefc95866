#include "platform/ui/table_view.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/headless_backend.h"

using namespace platform;

namespace {

// A bank of named patterns in two sections.
class Patterns : public TableViewController {
 public:
  Patterns() {
    for (int i = 0; i < 32; ++i) names[i < 16 ? 0 : 1].push_back("Pattern " + std::to_string(i));
  }
  int64_t numberOfSections(TableView&) override { return 2; }
  int64_t numberOfRowsInSection(TableView&, int64_t s) override { return static_cast<int64_t>(names[s].size()); }
  std::optional<std::string> titleForHeaderInSection(TableView&, int64_t s) override {
    return s == 0 ? std::optional<std::string>("Factory") : std::optional<std::string>("User");
  }
  TableViewCellPtr cellForRowAtIndexPath(TableView& t, const IndexPath& ip) override {
    ++asked;
    TableViewCellPtr cell = t.dequeueReusableCellWithIdentifier("pattern");
    if (cell) ++reused;
    else cell = std::make_shared<TableViewCell>(TableViewCell::Style::Subtitle, "pattern");
    cell->textLabel().setText(names[ip.section][static_cast<size_t>(ip.row)]);
    cell->detailTextLabel()->setText("bank " + std::to_string(ip.section));
    return cell;
  }
  bool canEditRowAtIndexPath(TableView&, const IndexPath& ip) override { return ip.section == 1; }
  bool canMoveRowAtIndexPath(TableView&, const IndexPath& ip) override { return ip.section == 1; }
  void commitEditingStyle(TableView& t, TableViewCellEditingStyle, const IndexPath& ip) override {
    names[ip.section].erase(names[ip.section].begin() + ip.row);
    t.deleteRowsAtIndexPaths({ip}, true);
  }
  void moveRowAtIndexPath(TableView&, const IndexPath& from, const IndexPath& to) override {
    auto& v = names[from.section];
    std::string n = v[static_cast<size_t>(from.row)];
    v.erase(v.begin() + from.row);
    v.insert(v.begin() + to.row, n);
  }
  std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, const IndexPath& ip) override {
    if (ip.row == 3) return std::nullopt;  // a locked slot
    return ip;
  }
  void didSelectRowAtIndexPath(TableView&, const IndexPath& ip) override { log.push_back("select " + key(ip)); }
  void didDeselectRowAtIndexPath(TableView&, const IndexPath& ip) override { log.push_back("deselect " + key(ip)); }
  static std::string key(const IndexPath& ip) { return std::to_string(ip.section) + "." + std::to_string(ip.row); }

  std::vector<std::string> names[2];
  std::vector<std::string> log;
  int asked = 0, reused = 0;
};

class TableViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = hb.makeWindow();
    vc = std::make_shared<Patterns>();
    window->setRootViewController(vc);
    hb.runPass();
    table = vc->tableView();
  }
  Point rowCentre(const IndexPath& ip) {
    const Rect r = table->rectForRowAtIndexPath(ip);
    return table->convertPointTo({r.midX() / 2, r.midY()}, nullptr);
  }
  HeadlessBackend hb;
  std::shared_ptr<Window> window;
  std::shared_ptr<Patterns> vc;
  TableView* table = nullptr;
};

TEST_F(TableViewTest, OnlyVisibleRowsHaveCellsAndScrolledOutOnesAreReused) {
  EXPECT_EQ(table->numberOfSections(), 2);
  EXPECT_EQ(table->numberOfRowsInSection(1), 16);
  // Header 28, then 16 rows of 44, then the second header.
  EXPECT_EQ(table->rectForRowAtIndexPath({1, 0}).origin.y, 28 + 16 * 44 + 28);
  EXPECT_EQ(table->contentSize().height, 2 * 28 + 32 * 44);
  const size_t shown = table->visibleCells().size();
  EXPECT_EQ(shown, 9u);  // 414 points: a header and parts of nine rows
  ASSERT_NE(table->cellForRowAtIndexPath({0, 0}), nullptr);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0})->textLabel().text(), "Pattern 0");
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 20}), nullptr);
  table->scrollToRowAtIndexPath({1, 15}, TableView::ScrollPosition::Bottom, false);
  hb.runPass();
  EXPECT_NE(table->cellForRowAtIndexPath({1, 15}), nullptr);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), nullptr);
  EXPECT_GT(vc->reused, 0);
  EXPECT_LE(table->visibleCells().size(), shown + 1);
  EXPECT_EQ(table->indexPathForRowAtPoint(table->rectForRowAtIndexPath({1, 15}).center()), (IndexPath{1, 15}));
}

TEST_F(TableViewTest, TapsSelectThroughTheDelegateAndDragsScroll) {
  hb.tap(rowCentre({0, 1}));
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 1}));
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 1})->isSelected());
  hb.tap(rowCentre({0, 2}));
  EXPECT_EQ(vc->log, (std::vector<std::string>{"select 0.1", "deselect 0.1", "select 0.2"}));
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 1})->isSelected());
  hb.tap(rowCentre({0, 3}));  // refused by willSelect
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 2}));
  // A drag scrolls and selects nothing.
  vc->log.clear();
  hb.drag(rowCentre({0, 6}), rowCentre({0, 1}), 0.2, 5);
  EXPECT_NEAR(table->contentOffset().y, 5 * 44, 1e-9);
  EXPECT_TRUE(vc->log.empty());
  // Showing the screen again clears the selection.
  vc->viewWillAppear(false);
  EXPECT_FALSE(table->indexPathForSelectedRow());
}

TEST_F(TableViewTest, EditingDeletesAndReordersEditableRows) {
  vc->setEditing(true, false);
  table->scrollToRowAtIndexPath({1, 0}, TableView::ScrollPosition::Top, false);
  hb.runPass();
  const auto buttonIn = [&](const IndexPath& ip) -> Button* {
    TableViewCell* cell = table->cellForRowAtIndexPath(ip);
    if (!cell) return nullptr;
    for (const auto& s : cell->subviews())
      if (auto* b = dynamic_cast<Button*>(s.get()); b && b->currentTitle() == "Delete") return b;
    return nullptr;
  };
  EXPECT_EQ(buttonIn({0, 15}), nullptr);  // factory rows cannot be edited
  ASSERT_NE(buttonIn({1, 2}), nullptr);
  hb.tap(buttonIn({1, 2})->convertPointTo({10, 10}, nullptr));
  EXPECT_EQ(vc->names[1].size(), 15u);
  EXPECT_EQ(table->numberOfRowsInSection(1), 15);
  EXPECT_EQ(table->cellForRowAtIndexPath({1, 2})->textLabel().text(), "Pattern 19");
  // While editing, taps select nothing.
  hb.tap(rowCentre({1, 4}));
  EXPECT_FALSE(table->indexPathForSelectedRow());
  // Drag row 0's handle down two rows.
  const Rect r0 = table->rectForRowAtIndexPath({1, 0});
  const Point handle = table->convertPointTo({r0.maxX() - 20, r0.midY()}, nullptr);
  hb.drag(handle, {handle.x, handle.y + 88}, 0.3, 6);
  EXPECT_EQ(vc->names[1][0], "Pattern 17");
  EXPECT_EQ(vc->names[1][2], "Pattern 16");
  EXPECT_TRUE(table->isEditing());
}

}  // namespace

namespace {

// Two sections of two rows; the first has a footer while `footer` is set.
class Footered : public TableViewController {
 public:
  Footered() : TableViewController(TableView::Style::Grouped) {}
  int64_t numberOfSections(TableView&) override { return 2; }
  int64_t numberOfRowsInSection(TableView&, int64_t) override { return 2; }
  TableViewCellPtr cellForRowAtIndexPath(TableView&, const IndexPath&) override {
    return std::make_shared<TableViewCell>(TableViewCell::Style::Default, "row");
  }
  ViewPtr viewForFooterInSection(TableView&, int64_t s) override { return s == 0 ? footer : nullptr; }
  double heightForFooterInSection(TableView&, int64_t s) override { return s == 0 && footer ? 30 : 0; }
  ViewPtr footer = std::make_shared<View>();
};

}  // namespace

TEST(TableViewFooters, AFooterSitsUnderItsSectionsRowsAndGoesWithAReload) {
  HeadlessBackend hb;
  auto window = hb.makeWindow();
  auto vc = std::make_shared<Footered>();
  window->setRootViewController(vc);
  hb.runPass();
  TableView* table = vc->tableView();
  std::shared_ptr<View> footer = vc->footer;
  EXPECT_EQ(footer->superview(), table);
  EXPECT_EQ(footer->frame(), (Rect{0, 88, table->bounds().size.width, 30}));
  EXPECT_EQ(table->rectForRowAtIndexPath({1, 0}).origin.y, 2 * 44 + 30);
  EXPECT_EQ(table->contentSize().height, 4 * 44 + 30);
  vc->footer = nullptr;
  table->reloadData();
  hb.runPass();
  EXPECT_EQ(footer->superview(), nullptr);
  EXPECT_EQ(table->rectForRowAtIndexPath({1, 0}).origin.y, 2 * 44);
  EXPECT_EQ(table->contentSize().height, 4 * 44);
}

namespace {

// One section of two rows with a title; a header view takes the title's
// place while `header` is set.
class Headered : public TableViewController {
 public:
  int64_t numberOfRowsInSection(TableView&, int64_t) override { return 2; }
  TableViewCellPtr cellForRowAtIndexPath(TableView&, const IndexPath&) override {
    return std::make_shared<TableViewCell>(TableViewCell::Style::Default, "row");
  }
  std::optional<std::string> titleForHeaderInSection(TableView&, int64_t) override { return "Title"; }
  ViewPtr viewForHeaderInSection(TableView&, int64_t) override { return header; }
  double heightForHeaderInSection(TableView&, int64_t) override { return header ? 35 : 0; }
  ViewPtr header = std::make_shared<View>();
};

}  // namespace

TEST(TableViewHeaders, AHeaderViewStandsOverItsRowsInPlaceOfTheTitleAndGoesWithAReload) {
  HeadlessBackend hb;
  auto window = hb.makeWindow();
  auto vc = std::make_shared<Headered>();
  window->setRootViewController(vc);
  hb.runPass();
  TableView* table = vc->tableView();
  std::shared_ptr<View> header = vc->header;
  EXPECT_EQ(header->superview(), table);
  EXPECT_EQ(header->frame(), (Rect{0, 0, table->bounds().size.width, 35}));
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}).origin.y, 35);
  EXPECT_EQ(table->contentSize().height, 2 * 44 + 35);
  vc->header = nullptr;
  table->reloadData();
  hb.runPass();
  EXPECT_EQ(header->superview(), nullptr);
  // The title's own header comes back at the table's header height.
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}).origin.y, table->sectionHeaderHeight());
}
