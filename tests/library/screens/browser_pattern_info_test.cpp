// The pattern information editor: which fields can be edited, the typing
// limits, the ASCII rule, and what leaving, saving and cancelling store.

#include "library/screens/browser_pattern_info_controller.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "library/library_writes.h"
#include "library/screens/browser_table_controller.h"
#include "screens_fixture.h"

using namespace platform;

namespace {

class InfoTest : public ScreensTest {
 protected:
  // The browser on `current`, with the editor pushed for `number`.
  BrowserPatternInfoController& open(int32_t mode, int32_t current, int32_t number) {
    selectPattern(current);
    browser = std::make_shared<BrowserTableController>(store.get());
    browser->setTopController(&host);
    browser->setPatternNumber(current);
    browser->setMode(mode);
    auto root = std::make_shared<ViewController>();
    show(root);
    nav->pushViewController(browser, false);
    hb.runPass();
    editor = std::make_shared<BrowserPatternInfoController>();
    editor->setProvider(store.get());
    editor->setMode(mode);
    editor->setPatternNumber(number);
    editor->setTopController(&host);
    nav->pushViewController(editor, false);
    hb.runPass();
    storeNotes.clear();
    return *editor;
  }
  TextField& field(int row) { return editor->cellAt(row)->textField(); }
  void retype(int row, const std::string& text) {
    TextField& f = field(row);
    ASSERT_TRUE(f.becomeFirstResponder());
    f.selectAll();
    if (!f.text().empty()) hb.pressBackspace();
    hb.typeText(text);
    hb.pressReturn();
  }
  size_t count(const char* name) const { return static_cast<size_t>(std::count(storeNotes.begin(), storeNotes.end(), name)); }

  std::shared_ptr<BrowserTableController> browser;
  std::shared_ptr<BrowserPatternInfoController> editor;
};

TEST_F(InfoTest, ShowsTheStoredTextsAndOnlyUserPatternsAreEditableInLoadMode) {
  struct Case {
    int32_t number;
    bool editable;
  };
  for (const Case& c : std::vector<Case>{{287, false}, {288, true}, {10, false}, {329, true}}) {
    open(BrowserTableController::kLoad, 0, c.number);
    EXPECT_EQ(editor->title(), "Pattern Info");
    for (int row = 0; row < 3; ++row) ASSERT_NE(editor->cellAt(row), nullptr);
    EXPECT_EQ(editor->cellAt(0)->titleLabel().text(), "Name:");
    EXPECT_EQ(editor->cellAt(2)->titleLabel().text(), "Tags:");
    EXPECT_EQ(field(0).text(), "Factory" + std::to_string(c.number));
    EXPECT_EQ(field(1).text(), "author" + std::to_string(c.number));
    EXPECT_EQ(field(2).text(), "tag" + std::to_string(c.number));
    EXPECT_EQ(field(0).placeholder(), "Name");
    EXPECT_EQ(field(0).tag(), 10);
    EXPECT_EQ(field(2).tag(), 12);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(field(row).isUserInteractionEnabled(), c.editable) << c.number;
  }
}

TEST_F(InfoTest, TypingStopsAtTheFieldsLimit) {
  open(BrowserTableController::kLoad, 0, 300);
  retype(0, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(field(0).text(), "ABCDEFGHIJKLMNO");
  ASSERT_TRUE(field(0).becomeFirstResponder());
  hb.typeText("P");
  EXPECT_EQ(field(0).text(), "ABCDEFGHIJKLMNO") << "a 16th character is refused";
  hb.pressBackspace();
  hb.typeText("Z");
  EXPECT_EQ(field(0).text(), "ABCDEFGHIJKLMNZ") << "deleting and replacing within 15 works";
  // A paste past the limit is refused as a whole.
  field(1).setText("");
  EXPECT_FALSE(editor->shouldChangeCharacters(field(1), 0, 0, std::string(16, 'x')));
  EXPECT_TRUE(editor->shouldChangeCharacters(field(1), 0, 0, std::string(15, 'x')));
  field(2).setText(std::string(255, 't'));
  EXPECT_FALSE(editor->shouldChangeCharacters(field(2), 255, 0, "u"));
  EXPECT_TRUE(editor->shouldChangeCharacters(field(2), 0, 1, "u"));
}

TEST_F(InfoTest, TextsAreKeptToAscii) {
  struct Case {
    std::string in, out;
  };
  for (const Case& c : std::vector<Case>{{"\xC3\x91" "and\xC3\xBA", "Nandu"},
                                        {"caf\xC3\xA9", "cafe"},
                                        {"\xE6\x97\xA5\xE6\x9C\xAC", ""},
                                        {"a\x7F" "b", "ab"},
                                        {"plain ~text", "plain ~text"}}) {
    EXPECT_EQ(BrowserPatternInfoController::translateAsciiString(c.in), c.out) << c.in;
  }
  open(BrowserTableController::kLoad, 0, 300);
  retype(0, "\xC3\x91" "and\xC3\xBA");
  EXPECT_EQ(field(0).text(), "Nandu") << "translated when editing ends";
}

TEST_F(InfoTest, LeavingWritesOnlyChangedTextsAndTellsTheBrowser) {
  open(BrowserTableController::kLoad, 0, 300);
  nav->popViewControllerAnimated(false);
  hb.runPass();
  EXPECT_EQ(count(kPatternStorePatternTagStored), 0u) << "nothing changed, nothing stored";
  EXPECT_FALSE(browser->reloadAttentionedItem());

  open(BrowserTableController::kLoad, 0, 300);
  retype(1, "Me");
  retype(2, "dub techno");
  nav->popViewControllerAnimated(false);
  hb.runPass();
  EXPECT_EQ(count(kPatternStorePatternTagStored), 1u);
  EXPECT_TRUE(browser->reloadAttentionedItem());
  EXPECT_FALSE(browser->selectCurrentItem());
  const PatternRecord r = store->patternAt(300);
  EXPECT_STREQ(r.tagParams.name, "Factory300");
  EXPECT_STREQ(r.tagParams.author, "Me");
  EXPECT_STREQ(r.tagParams.tags, "dub techno");
  EXPECT_EQ(store->columnText(300, 3), "dub techno");
}

TEST_F(InfoTest, AFailedTagStoreWarnsOfDiskSpace) {
  open(BrowserTableController::kLoad, 0, 300);
  retype(0, "Full");
  {
    FileSizeLimit limit(1024);
    nav->popViewControllerAnimated(false);
    hb.runPass();
  }
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "Disk Space Warning");
  EXPECT_EQ(hb.alertMessage(), "There is not enough free space on the device.");
  EXPECT_EQ(hb.alertButtons(), std::vector<std::string>{"OK"});
  hb.answerAlert(0);
  EXPECT_EQ(store->columnText(300, 1), "Factory300");
}

// While library writes are refused (a restore is pending), every save of
// the browser and the editor says so, with the reason, rather than nothing
// or that the disk is full; nothing is stored.
TEST_F(InfoTest, RefusedSavesSayWhy) {
  struct Case {
    const char* label;
    int32_t mode;
    std::function<void()> save;
    int32_t target;  // the pattern the save would have written
  };
  const Case cases[] = {
      {"leaving_the_editor_with_changed_texts", BrowserTableController::kLoad,
       [this] {
         retype(0, "Refused");
         nav->popViewControllerAnimated(false);
       },
       300},
      {"save_as", BrowserTableController::kSave,
       [this] {
         retype(0, "Refused");
         editor->navigationItem().rightBarButtonItem()->trigger();
       },
       300},
      {"save_in_the_browser", BrowserTableController::kSave,
       [this] {
         nav->popViewControllerAnimated(false);
         hb.runPass();
         TableView& table = *browser->tableView();
         table.selectRowAtIndexPath(IndexPath{1, 2}, false, TableView::ScrollPosition::None);
         browser->didSelectRowAtIndexPath(table, {1, 2});
         ASSERT_EQ(hb.alertTitle(), "SAVE");
         ASSERT_TRUE(hb.answerAlert(1));
       },
       322},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    open(c.mode, 3, 300);
    const PatternRecord before = store->patternAt(c.target);
    LibraryWrites::refuse("a restore is pending");
    c.save();
    hb.runPass();
    ASSERT_TRUE(hb.alertVisible());
    EXPECT_EQ(hb.alertTitle(), kLibraryNotSavedAlertTitle);
    EXPECT_EQ(hb.alertMessage(), "The change was not saved: a restore is pending.");
    EXPECT_EQ(hb.alertButtons(), std::vector<std::string>{"OK"});
    hb.answerAlert(0);
    EXPECT_FALSE(hb.alertVisible());
    const PatternRecord after = store->patternAt(c.target);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0) << "the refused save stored";
    LibraryWrites::allow();
  }
}

TEST_F(InfoTest, SaveAsStoresTheEnginesRecordWithTheEditedTextsAtTheTarget) {
  open(BrowserTableController::kSave, 3, 300);
  // The fields start from the current pattern's stored texts.
  EXPECT_EQ(field(0).text(), "Factory3");
  ASSERT_NE(editor->navigationItem().rightBarButtonItem(), nullptr);
  EXPECT_EQ(editor->navigationItem().rightBarButtonItem()->systemItem(), BarButtonItem::SystemItem::Save);
  EXPECT_EQ(editor->navigationItem().leftBarButtonItem()->systemItem(), BarButtonItem::SystemItem::Cancel);
  for (int row = 0; row < 3; ++row) EXPECT_TRUE(field(row).isUserInteractionEnabled());
  synth->currentPattern()->sequencerParams.tempo = 1444;
  synth->currentPattern()->sequencerParams.trigger[2][9] = 1;
  retype(0, "New Name");
  editor->navigationItem().rightBarButtonItem()->trigger();
  hb.runPass();
  const PatternRecord r = store->patternAt(300);
  EXPECT_STREQ(r.tagParams.name, "New Name");
  EXPECT_STREQ(r.tagParams.author, "author3");
  EXPECT_EQ(r.sequencerParams.tempo, 1444);
  EXPECT_EQ(r.sequencerParams.trigger[2][9], 1);
  EXPECT_EQ(count(kPatternStorePatternStored), 1u);
  EXPECT_EQ(count(kPatternStorePatternTagStored), 1u);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"changePattern 300"}));
  EXPECT_EQ(nav->viewControllers().size(), 1u) << "back to the root";
}

TEST_F(InfoTest, CancelGoesBackOneScreenAndStoresNothing) {
  open(BrowserTableController::kSave, 3, 300);
  retype(0, "Dropped");
  editor->navigationItem().leftBarButtonItem()->trigger();
  hb.runPass();
  EXPECT_EQ(nav->topViewController(), browser.get());
  EXPECT_TRUE(storeNotes.empty());
  EXPECT_EQ(store->columnText(300, 1), "Factory300");
}

}  // namespace
