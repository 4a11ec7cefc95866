// The local backup screens over a real documents folder: what the list
// shows, and what creating, renaming, deleting, restoring and loading the
// factory presets do to the files and the main screen.

#include "library/screens/restore_data_screen_controller.h"

#include <chrono>

#include "library/backup/backup_archive.h"
#include "library/backup/zip_archive.h"
#include "screens_fixture.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// Every regular file below `dir` with its bytes.
std::map<std::string, std::vector<uint8_t>> tree(const fs::path& dir) {
  std::map<std::string, std::vector<uint8_t>> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out[e.path().lexically_relative(dir).generic_string()] = *platform::readFile(e.path());
  return out;
}

class LocalBackupTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    // The library's files as the application saves them.
    ASSERT_TRUE(store->storeIndexTable());
    fs::copy_file(bundle / "iGROOVEBIX_patternSet.plist", data() / "iGROOVEBIX_patternSet.plist");
    BackupFileNameCreator::setClock([this] { return clock; });
  }
  void TearDown() override {
    BackupFileNameCreator::setClock(nullptr);
    ScreensTest::TearDown();
  }
  void open() {
    screen = std::make_shared<RestoreDataScreenController>();
    screen->setParentController(&host);
    show(screen);
  }
  TableView& table() { return *screen->tableView(); }
  std::string rowText(int64_t section, int64_t row) {
    TableViewCell* c = table().cellForRowAtIndexPath({section, row});
    return c ? c->textLabel().text() : "<none>";
  }
  void backupAt(int seconds) {
    clock = std::chrono::system_clock::from_time_t(1700000000 + seconds);
    screen->didSelectRowAtIndexPath(table(), {0, 0});
    hb.runPass();
  }
  RestoredDataDetailViewController& detail(int64_t row) {
    screen->didSelectRowAtIndexPath(table(), {1, row});
    hb.runPass();
    auto* d = dynamic_cast<RestoredDataDetailViewController*>(nav->topViewController());
    EXPECT_NE(d, nullptr);
    return *d;
  }
  std::vector<std::string> backups() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(docs))
      if (e.path().extension() == ".gbd") out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string backupName(int seconds) {
    return BackupFileNameCreator::createLocal().empty()
               ? ""
               : "iGROOVEBIX_" + BackupFileNameCreator::dateText(std::chrono::system_clock::from_time_t(1700000000 + seconds)) +
                     "_DATA.gbd";
  }

  std::chrono::system_clock::time_point clock = std::chrono::system_clock::from_time_t(1700000000);
  std::shared_ptr<RestoreDataScreenController> screen;
};

TEST_F(LocalBackupTest, WithNoBackupsTheListSaysSoAndIsItsSmallestSize) {
  open();
  EXPECT_TRUE(nav->isNavigationBarHidden());
  ASSERT_EQ(table().numberOfSections(), 3);
  EXPECT_EQ(screen->titleForHeaderInSection(table(), 0), "Pattern Data");
  EXPECT_EQ(screen->titleForHeaderInSection(table(), 1), "Backups");
  EXPECT_EQ(screen->titleForHeaderInSection(table(), 2), std::nullopt);
  EXPECT_EQ(rowText(0, 0), "Create Backup");
  EXPECT_EQ(table().numberOfRowsInSection(1), 0);
  EXPECT_EQ(rowText(2, 0), "Load Factory Presets");
  EXPECT_EQ(screen->footerText(),
            "0 BACKUP(S).\nPlease use the File Sharing option in iTunes to move the backups to your computer. See "
            "help for details.");
  EXPECT_EQ(screen->preferredContentSize(), Size(320, 302));
  EXPECT_EQ(screen->heightForFooterInSection(table(), 1), 100);
  EXPECT_TRUE(hb.render());
}

TEST_F(LocalBackupTest, CreateBackupSavesStateFirstAndListsTheNewFileNewestFirst) {
  open();
  backupAt(0);
  EXPECT_EQ(host.calls, std::vector<std::string>{"storeData"});
  backupAt(75);
  const std::string first = backupName(0), second = backupName(75);
  EXPECT_EQ(backups(), (std::vector<std::string>{first, second}));
  ASSERT_EQ(table().numberOfRowsInSection(1), 2);
  EXPECT_EQ(rowText(1, 0), fs::path(second).stem().string());
  EXPECT_EQ(rowText(1, 1), fs::path(first).stem().string());
  EXPECT_EQ(screen->preferredContentSize(), Size(320, 43 * 2 + 302));
  EXPECT_EQ(screen->footerText().substr(0, 13), "2 BACKUP(S).\n");

  // A second backup within the same second keeps the first.
  backupAt(75);
  EXPECT_EQ(backups().size(), 3u);

  // The archive holds exactly the library's three items.
  ZipArchive zip;
  ASSERT_TRUE(zip.UnzipOpenFile(docs / first, Utilities::createDataPassword()));
  const fs::path out = root / "unzipped";
  ASSERT_TRUE(zip.UnzipFileTo(out, true));
  zip.UnzipCloseFile();
  std::vector<std::string> top;
  for (const auto& e : fs::directory_iterator(out)) top.push_back(e.path().filename().string());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"iGROOVEBIX_patternSet.plist", "patternIndicesTable.plist", "patterns"}));
}

TEST_F(LocalBackupTest, LoadFactoryPresetsAsksThenResetsTheMainScreenAndLeavesBackups) {
  open();
  backupAt(0);
  const auto before = tree(docs);
  host.calls.clear();
  host.stateIndex = 3;
  screen->didSelectRowAtIndexPath(table(), {2, 0});
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "LOAD FACTORY PRESETS");
  EXPECT_EQ(hb.alertMessage(),
            "Are you sure want to load the factory presets? This will overwrite all existing/custom data.");
  EXPECT_EQ(hb.alertButtons(), (std::vector<std::string>{"Cancel", "OK"}));
  hb.answerAlert(0);
  EXPECT_TRUE(host.calls.empty());
  screen->didSelectRowAtIndexPath(table(), {2, 0});
  hb.answerAlert(1);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"changeFunction -1", "initializeAllPattern"}));
  EXPECT_TRUE(tree(docs) == before) << "the screen itself writes nothing";
  host.calls.clear();
  host.stateIndex = 0;
  screen->didSelectRowAtIndexPath(table(), {2, 0});
  hb.answerAlert(1);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"initializeAllPattern"}));
}

TEST_F(LocalBackupTest, RenamingKeepsTheBackupExtension) {
  open();
  backupAt(0);
  RestoredDataDetailViewController& d = detail(0);
  EXPECT_EQ(d.title(), "Restored Pattern Data");
  EXPECT_FALSE(nav->isNavigationBarHidden());
  ASSERT_NE(d.nameField(), nullptr);
  EXPECT_EQ(d.nameField()->text(), fs::path(backupName(0)).stem().string());
  struct Case {
    std::string typed, file, shown;
  };
  for (const Case& c : std::vector<Case>{{"My Set", "My Set.gbd", "My Set"},
                                         {"other.zip", "other.gbd", "other"},
                                         {"", "other.gbd", "other"}}) {
    TextField& f = *d.nameField();
    ASSERT_TRUE(f.becomeFirstResponder());
    f.setText(c.typed);
    hb.pressReturn();
    EXPECT_FALSE(f.isFirstResponder());
    EXPECT_EQ(backups(), std::vector<std::string>{c.file}) << c.typed;
    EXPECT_EQ(f.text(), c.shown);
  }
  nav->popViewControllerAnimated(false);
  hb.runPass();
  EXPECT_EQ(rowText(1, 0), "other");
}

TEST_F(LocalBackupTest, DeleteRemovesTheFileAndReturnsToTheList) {
  open();
  backupAt(0);
  backupAt(10);
  RestoredDataDetailViewController& d = detail(1);  // the older one
  EXPECT_EQ(d.willSelectRowAtIndexPath(table(), {0, 0}), std::nullopt) << "the name row is not selectable";
  d.didSelectRowAtIndexPath(*d.tableView(), {2, 0});
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "Delete");
  EXPECT_EQ(hb.alertMessage(), "Are you sure? This will remove the selected backup data permanently.");
  hb.answerAlert(0);
  EXPECT_EQ(backups().size(), 2u) << "Cancel keeps it";
  d.didSelectRowAtIndexPath(*d.tableView(), {2, 0});
  hb.answerAlert(1);
  hb.runPass();
  EXPECT_EQ(backups(), std::vector<std::string>{backupName(10)});
  EXPECT_EQ(nav->topViewController(), screen.get());
  EXPECT_EQ(table().numberOfRowsInSection(1), 1);
}

TEST_F(LocalBackupTest, RestoreBringsBackTheLibraryAndReloadsTheMainScreen) {
  open();
  backupAt(0);
  const auto saved = tree(data());
  // The library changes after the backup.
  PatternRecord r = store->patternAt(300);
  std::snprintf(r.tagParams.name, sizeof r.tagParams.name, "Changed");
  ASSERT_TRUE(store->storePattern(r, 300));
  ASSERT_TRUE(store->storeIndexTable());
  ASSERT_FALSE(tree(data()) == saved);
  host.calls.clear();
  host.stateIndex = 7;

  RestoredDataDetailViewController& d = detail(0);
  d.didSelectRowAtIndexPath(*d.tableView(), {1, 0});
  EXPECT_EQ(hb.alertTitle(), "Restore");
  EXPECT_EQ(hb.alertMessage(),
            "Are you sure want to restore your backup data? This will overwrite all existing/custom data.");
  hb.answerAlert(1);
  hb.runPass();
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "Restoration has been completed");
  EXPECT_EQ(hb.alertMessage(), "Data has been successfully restored.");
  hb.answerAlert(0);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"changeFunction -1", "reloadPattern"}));
  auto now = tree(data());
  EXPECT_TRUE(now == saved) << "the library is the backup's, byte for byte";
  EXPECT_EQ(nav->topViewController(), screen.get());
}

TEST_F(LocalBackupTest, BadArchivesFailAsCorruptAndLeaveTheLibraryAlone) {
  const std::string password = Utilities::createDataPassword();
  const fs::path extra = root / "global.dat";
  ASSERT_NO_FATAL_FAILURE(writeBytes(extra, {1, 2, 3}));
  {
    // The three items and an extra top-level entry.
    ZipArchive zip;
    ASSERT_TRUE(zip.CreateZipFile2(docs / "extra.gbd", password));
    ASSERT_TRUE(zip.addFileToZip(data() / "patternIndicesTable.plist", "patternIndicesTable.plist"));
    ASSERT_TRUE(zip.addFileToZip(extra, "global.dat"));
    ASSERT_TRUE(zip.CloseZipFile2());
  }
  {
    ZipArchive zip;
    ASSERT_TRUE(zip.CreateZipFile2(docs / "empty.gbd", password));
    ASSERT_TRUE(zip.CloseZipFile2());
  }
  ASSERT_NO_FATAL_FAILURE(writeBytes(docs / "text.gbd", {'n', 'o', 't', ' ', 'z', 'i', 'p'}));
  const auto before = tree(data());
  open();
  ASSERT_EQ(table().numberOfRowsInSection(1), 3);
  for (int64_t row = 0; row < 3; ++row) {
    RestoredDataDetailViewController& d = detail(row);
    const std::string name = d.fileURL().filename().string();
    d.didSelectRowAtIndexPath(*d.tableView(), {1, 0});
    hb.answerAlert(1);
    hb.runPass();
    ASSERT_TRUE(hb.alertVisible()) << name;
    EXPECT_EQ(hb.alertTitle(), "Error") << name;
    EXPECT_EQ(hb.alertMessage(), "Your data file can't be opened; it might be corrupt.") << name;
    hb.answerAlert(0);
    EXPECT_TRUE(tree(data()) == before) << name;
    EXPECT_EQ(nav->topViewController(), screen.get());
  }
  EXPECT_TRUE(host.calls.empty()) << "no reload after a failed restore";
}

}  // namespace
