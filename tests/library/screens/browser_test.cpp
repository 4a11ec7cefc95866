// The pattern browser over a real store: what each category lists, where
// the selection lands, and what loading, saving, initializing and moving
// do to the store and the main screen.

#include "library/screens/browser_table_controller.h"

#include "library/screens/browser_pattern_info_controller.h"
#include "library/screens/browser_table_view_cell.h"
#include "screens_fixture.h"

using namespace platform;

namespace {

class BrowserTest : public ScreensTest {
 protected:
  std::shared_ptr<BrowserTableController> open(int32_t mode, int32_t current) {
    selectPattern(current);
    browser = std::make_shared<BrowserTableController>(store.get());
    browser->setTopController(&host);
    browser->setPatternNumber(synth->currentPatternIndex());
    browser->setSelectCurrentItem(true);
    browser->setMode(mode);
    show(browser);
    return browser;
  }
  TableView& table() { return *browser->tableView(); }
  BrowserTableViewCell* cell(int64_t section, int64_t row) {
    table().scrollToRowAtIndexPath({section, row}, TableView::ScrollPosition::Middle, false);
    table().layoutIfNeeded();
    return dynamic_cast<BrowserTableViewCell*>(table().cellForRowAtIndexPath({section, row}));
  }
  std::shared_ptr<BrowserTableController> browser;
};

TEST_F(BrowserTest, CategoriesListTheirBanksWithTitlesAndStoredPatternsOnly) {
  open(BrowserTableController::kLoad, 0);
  struct Case {
    int category;
    std::vector<std::string> titles;
    std::vector<int64_t> rows;
  };
  const std::vector<Case> cases = {
      {0, {"Factory A", "Factory B"}, {32, 32}},
      {1, {"GQ-1 A", "GQ-1 B", "GQ-1 C", "GQ-1 D", "GQ-1 E", "GQ-1 F"}, {32, 32, 32, 32, 32, 32}},
      {2, {"Template A"}, {32}},
      // 330 patterns: user bank A full, B holds the last ten; the store has
      // no banks C and D, so they have no title.
      {3, {"User A", "User B", "", ""}, {32, 10, 0, 0}},
  };
  for (const Case& c : cases) {
    browser->bankCategoryControl()->setIndex(c.category);
    browser->bankCategoryButtonPushed();
    ASSERT_EQ(table().numberOfSections(), static_cast<int64_t>(c.titles.size())) << c.category;
    for (size_t s = 0; s < c.titles.size(); ++s) {
      EXPECT_EQ(browser->titleForHeaderInSection(table(), static_cast<int64_t>(s)), c.titles[s]);
      EXPECT_EQ(table().numberOfRowsInSection(static_cast<int64_t>(s)), c.rows[s]) << c.titles[s];
    }
    EXPECT_EQ(browser->navigationItem().rightBarButtonItem() != nullptr, c.category == 3)
        << "Edit only on the user category in Load mode";
  }
  EXPECT_EQ(browser->titleForHeaderInSection(table(), 4), "");
  EXPECT_EQ(browser->bankNames().size(), 11u) << "one title per bank the store reports";
  EXPECT_EQ(browser->bankNames()[10], "User B");
}

TEST_F(BrowserTest, TouchingACategoryButtonShowsItsBanks) {
  open(BrowserTableController::kLoad, 0);
  Button* templates = browser->categoryButton(2);
  hb.tap(templates->convertPointTo({23, 13}, nullptr));
  EXPECT_EQ(browser->bankCategory(), 2);
  EXPECT_TRUE(templates->isSelected());
  EXPECT_FALSE(browser->categoryButton(0)->isSelected());
  EXPECT_EQ(table().numberOfSections(), 1);
  EXPECT_EQ(browser->titleForHeaderInSection(table(), 0), "Template A");
}

TEST_F(BrowserTest, LoadModeOpensOnTheCurrentPatternsBankAndRow) {
  open(BrowserTableController::kLoad, 100);
  EXPECT_EQ(browser->bankCategory(), 1);
  EXPECT_EQ(browser->bankCategoryControl()->current(), 1);
  ASSERT_TRUE(table().indexPathForSelectedRow());
  EXPECT_EQ(*table().indexPathForSelectedRow(), (IndexPath{1, 4}));
  EXPECT_EQ(browser->title(), "Load");
  EXPECT_FALSE(browser->barTintColor());
  BrowserTableViewCell* c = cell(1, 4);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->nameLabel().text(), "05: Factory100");
  EXPECT_EQ(c->tagsLabel().text(), store->columnText(100, 3));
  EXPECT_EQ(c->tempoLabel().text(), store->columnText(100, 4));
  EXPECT_EQ(c->accessoryType(), TableViewCell::Accessory::DetailDisclosureButton);
  EXPECT_FALSE(c->indicator().isAnimating()) << "the chosen pattern is already current";
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(browser->categoryButton(i)->isEnabled());
  // The selected row shows in the selection colour.
  ImagePtr shot = hb.render();
  ASSERT_TRUE(shot);
  const Rect row = c->convertRectTo(c->bounds(), nullptr);
  const Image::RGBA p = shot->pixelAt({row.minX() + 5, row.midY()});
  EXPECT_GT(p.b, 200);
  EXPECT_LT(p.r, 60);
}

TEST_F(BrowserTest, SaveModeShowsTheUserBanksWithTheRowClampedIntoTheFirst) {
  open(BrowserTableController::kSave, 40);
  EXPECT_EQ(browser->bankCategory(), 3);
  ASSERT_TRUE(table().indexPathForSelectedRow());
  EXPECT_EQ(*table().indexPathForSelectedRow(), (IndexPath{0, 8}));
  EXPECT_EQ(browser->title(), "Save");
  EXPECT_EQ(browser->titleControl()->selectedSegmentIndex(), 1);
  ASSERT_TRUE(browser->barTintColor());
  EXPECT_EQ(*browser->barTintColor(), Color::rgba(1, 0, 0));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(browser->categoryButton(i)->isEnabled());
  EXPECT_TRUE(browser->categoryButton(3)->isEnabled());
  EXPECT_EQ(browser->navigationItem().rightBarButtonItem(), nullptr);
  BrowserTableViewCell* c = cell(0, 8);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->accessoryType(), TableViewCell::Accessory::None);

  // Back to Load through the title control: the categories come back.
  browser->titleControl()->setSelectedSegmentIndex(0);
  browser->modeButtonPushed();
  EXPECT_EQ(browser->mode(), BrowserTableController::kLoad);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(browser->categoryButton(i)->isEnabled());
  EXPECT_NE(browser->navigationItem().rightBarButtonItem(), nullptr) << "user category in Load mode";
  EXPECT_FALSE(browser->barTintColor());
}

TEST_F(BrowserTest, PickingAnotherRowChangesPatternAndWaitsPickingTheSameStartsAtOnce) {
  open(BrowserTableController::kLoad, 100);
  // The current row again: no change, playback starts now.
  browser->didSelectRowAtIndexPath(table(), {1, 4});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"play now"}));

  host.calls.clear();
  table().selectRowAtIndexPath(IndexPath{1, 6}, false, TableView::ScrollPosition::None);
  browser->didSelectRowAtIndexPath(table(), {1, 6});
  EXPECT_EQ(host.calls, (std::vector<std::string>{"changePattern 102", "play wait"}));
  EXPECT_EQ(browser->patternNumber(), 102);
  BrowserTableViewCell* c = cell(1, 6);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->indicator().isAnimating()) << "waiting for the engine to switch";

  // The engine's change arrives: the spinner stops, the edit mode hears of it.
  selectPattern(102);
  host.calls.clear();
  NotificationCenter::defaultCenter().post("patternChanged");
  EXPECT_FALSE(c->indicator().isAnimating());
  EXPECT_EQ(host.calls, (std::vector<std::string>{"modePatternChanged"}));
}

TEST_F(BrowserTest, ObservesTheEngineAndTheStoreOnlyWhileShown) {
  open(BrowserTableController::kLoad, 5);
  NotificationCenter::defaultCenter().post("patternChanged");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"modePatternChanged"}));

  // A store of the current pattern makes the engine read it again.
  PatternRecord edited = *synth->currentPattern();
  std::snprintf(edited.tagParams.name, sizeof edited.tagParams.name, "Stored");
  ASSERT_TRUE(store->storePattern(edited, 5));
  EXPECT_STREQ(synth->currentPattern()->tagParams.name, "Stored");

  // Covered by another screen: nothing reaches it.
  nav->pushViewController(std::make_shared<ViewController>(), false);
  hb.runPass();
  host.calls.clear();
  NotificationCenter::defaultCenter().post("patternChanged");
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(BrowserTest, InitializingAUserRowWritesTheInitPatternAndKeepsTheRow) {
  open(BrowserTableController::kLoad, 290);
  ASSERT_EQ(browser->bankCategory(), 3);
  const std::string before = nameOf(291);
  ASSERT_EQ(before, "Factory291");
  browser->editButtonDidPush();
  EXPECT_TRUE(table().isEditing());
  EXPECT_EQ(browser->navigationItem().rightBarButtonItem()->systemItem(), BarButtonItem::SystemItem::Done);
  BrowserTableViewCell* c = cell(0, 3);
  ASSERT_NE(c, nullptr);
  // The row's button reads "Initialize".
  Button* init = nullptr;
  for (const auto& v : c->subviews())
    if (auto* b = dynamic_cast<Button*>(v.get()); b && b->currentTitle() == "Initialize") init = b;
  ASSERT_NE(init, nullptr);
  const Point p = init->convertPointTo({init->bounds().midX(), init->bounds().midY()}, nullptr);
  hb.tap(p);
  EXPECT_EQ(nameOf(291), "Bundle Init");
  EXPECT_EQ(store->numberOfPatterns(), kPatterns);
  c = cell(0, 3);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->nameLabel().text(), "04: Bundle Init");
  EXPECT_EQ(nameOf(292), "Factory292") << "the next row is untouched";

  // Done: editing ends and the browser takes the engine's pending pattern.
  browser->editButtonDidPush();
  EXPECT_FALSE(table().isEditing());
  EXPECT_EQ(browser->patternNumber(), synth->pendingPattern());
  EXPECT_EQ(browser->navigationItem().rightBarButtonItem()->systemItem(), BarButtonItem::SystemItem::Edit);
}

TEST_F(BrowserTest, OnlyUserRowsCanBeInitializedOrMoved) {
  open(BrowserTableController::kLoad, 10);
  EXPECT_EQ(browser->editingStyleForRowAtIndexPath(table(), {0, 1}), TableViewCellEditingStyle::None);
  EXPECT_FALSE(browser->canMoveRowAtIndexPath(table(), {0, 1}));
  browser->commitEditingStyle(table(), TableViewCellEditingStyle::Delete, {0, 1});
  EXPECT_EQ(nameOf(1), "Factory1");
  browser->bankCategoryControl()->setIndex(3);
  browser->bankCategoryButtonPushed();
  EXPECT_EQ(browser->editingStyleForRowAtIndexPath(table(), {0, 1}), TableViewCellEditingStyle::Delete);
  EXPECT_TRUE(browser->canMoveRowAtIndexPath(table(), {0, 1}));
}

TEST_F(BrowserTest, MovingARowAcrossUserBanksReordersTheStoreAndReloadsOnceQueued) {
  open(BrowserTableController::kLoad, 288);
  const std::string moved = nameOf(290);
  browser->moveRowAtIndexPath(table(), {0, 2}, {1, 5});
  // The store has the new order at once; the table reloads on the queued note.
  EXPECT_EQ(nameOf(290), "Factory291");
  EXPECT_EQ(nameOf(324), moved) << "below row 5 of the second bank (the store counts the removed row)";
  EXPECT_EQ(NotificationQueue::defaultQueue().pendingCount(), 1u);
  BrowserTableViewCell* c = cell(0, 2);
  ASSERT_NE(c, nullptr);
  hb.runPass();
  EXPECT_EQ(NotificationQueue::defaultQueue().pendingCount(), 0u);
  c = cell(0, 2);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->nameLabel().text(), "03: Factory291");
}

TEST_F(BrowserTest, SaveStoresTheEnginesRecordAtTheRowAndReturnsToTheRoot) {
  auto root = std::make_shared<ViewController>();
  selectPattern(3);
  PatternRecord& rec = *synth->currentPattern();
  std::snprintf(rec.tagParams.name, sizeof rec.tagParams.name, "Edited");
  rec.sequencerParams.tempo = 1333;
  show(root);
  browser = std::make_shared<BrowserTableController>(store.get());
  browser->setTopController(&host);
  browser->setPatternNumber(3);
  browser->setMode(BrowserTableController::kSave);
  nav->pushViewController(browser, false);
  hb.runPass();
  ASSERT_EQ(browser->bankCategory(), 3);

  table().selectRowAtIndexPath(IndexPath{1, 2}, false, TableView::ScrollPosition::None);
  browser->didSelectRowAtIndexPath(table(), {1, 2});
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "SAVE");
  EXPECT_EQ(hb.alertMessage(), "Are you sure you want to save the current pattern at 03: Factory322?");
  EXPECT_EQ(hb.alertButtons(), (std::vector<std::string>{"Cancel", "Save", "Save As"}));
  ASSERT_TRUE(hb.answerAlert(0));
  EXPECT_EQ(nameOf(322), "Factory322") << "Cancel stores nothing";
  EXPECT_EQ(nav->topViewController(), browser.get());

  browser->didSelectRowAtIndexPath(table(), {1, 2});
  ASSERT_TRUE(hb.answerAlert(1));
  hb.runPass();
  EXPECT_EQ(nameOf(322), "Edited");
  EXPECT_EQ(store->patternAt(322).sequencerParams.tempo, 1333);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"changePattern 322"})) << "stopped: no playback call";
  EXPECT_EQ(nav->topViewController(), root.get());
}

TEST_F(BrowserTest, SaveAsAndTheDetailButtonOpenTheInformationEditor) {
  open(BrowserTableController::kSave, 3);
  table().selectRowAtIndexPath(IndexPath{0, 7}, false, TableView::ScrollPosition::None);
  browser->didSelectRowAtIndexPath(table(), {0, 7});
  ASSERT_TRUE(hb.answerAlert(2));
  hb.runPass();
  auto* editor = dynamic_cast<BrowserPatternInfoController*>(nav->topViewController());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->patternNumber(), 295);
  EXPECT_EQ(editor->mode(), BrowserTableController::kSave);
  EXPECT_EQ(browser->attentionedItem(), (IndexPath{0, 7}));
  nav->popViewControllerAnimated(false);
  hb.runPass();

  browser->titleControl()->setSelectedSegmentIndex(0);
  browser->modeButtonPushed();
  BrowserTableViewCell* c = cell(0, 9);
  ASSERT_NE(c, nullptr);
  c->layoutIfNeeded();
  ASSERT_FALSE(c->detailButton().isHidden());
  const Point p = c->detailButton().convertPointTo(
      {c->detailButton().bounds().midX(), c->detailButton().bounds().midY()}, nullptr);
  hb.tap(p);
  editor = dynamic_cast<BrowserPatternInfoController*>(nav->topViewController());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->patternNumber(), 297);
  EXPECT_EQ(editor->mode(), BrowserTableController::kLoad);
}

TEST_F(BrowserTest, CategoryGeometry) {
  struct Case {
    int64_t category, sections, start;
  };
  for (const Case& c : std::vector<Case>{{0, 2, 0}, {1, 6, 2}, {2, 1, 8}, {3, 4, 9}, {4, 0, 13}, {-1, 0, 0}}) {
    EXPECT_EQ(BrowserTableController::numberOfSection(c.category), c.sections) << c.category;
    if (c.category >= 0 && c.category < 4) {
      EXPECT_EQ(BrowserTableController::retrieveStartSection(c.category), c.start) << c.category;
    }
  }
  EXPECT_EQ(BrowserTableController::isCellAvailable(1, {5, 0}), 1.0);
  EXPECT_EQ(BrowserTableController::isCellAvailable(1, {6, 0}), 0.0);
  EXPECT_EQ(BrowserTableController::isCellAvailable(3, {-1, 0}), 0.0);
}

TEST(BrowserCellTest, NumberStringIsTheSlotFromOne) {
  EXPECT_EQ(BrowserTableViewCell::patternNumberString(0), "01");
  EXPECT_EQ(BrowserTableViewCell::patternNumberString(290), "03");
  EXPECT_EQ(BrowserTableViewCell::patternNumberString(31), "32");
  BrowserTableViewCell cell;
  cell.setPatternName("Groove", 290);
  EXPECT_EQ(cell.nameLabel().text(), "03: Groove");
  cell.setFrame({0, 0, 320, 39});
  cell.layoutIfNeeded();
  EXPECT_DOUBLE_EQ(cell.tempoLabel().frame().size.height, cell.nameLabel().frame().size.height / 2);
  EXPECT_DOUBLE_EQ(cell.tagsLabel().frame().minY(), cell.tempoLabel().frame().maxY());
  EXPECT_DOUBLE_EQ(cell.tagsLabel().frame().minX(), cell.tempoLabel().frame().minX());
  cell.indicator().startAnimating();
  cell.setSelected(true, false);
  EXPECT_TRUE(cell.indicator().isAnimating());
  cell.setSelected(false, false);
  EXPECT_FALSE(cell.indicator().isAnimating());
}

}  // namespace
