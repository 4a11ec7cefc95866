// The cloud backup screens over a cloud container that is a folder (or a
// test double where download states matter): what the list shows, the
// availability rules, and what creating, restoring, deleting and renaming
// do to the container's files and the library.

#include "library/screens/backup_item_table_view_controller.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "library/backup/backup_archive.h"
#include "screens_fixture.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// A container whose answer the test holds back and whose items it sets.
class FakeContainer : public CloudContainer {
 public:
  std::optional<fs::path> URLForUbiquityContainer() override {
    std::unique_lock lock(mutex);
    cv.wait(lock, [this] { return released; });
    return fs::path("/cloud");
  }
  std::vector<MetadataItem> documentItems(const std::string&) override {
    std::lock_guard lock(mutex);
    return items;
  }
  bool startDownloadingUbiquitousItem(const fs::path&, std::string*) override { return true; }
  bool setUbiquitous(const fs::path&, const fs::path&, std::string*) override { return false; }
  bool removeItem(const fs::path&, std::string*) override { return false; }
  bool moveItem(const fs::path&, const fs::path&, std::string*) override { return false; }
  void release() {
    {
      std::lock_guard lock(mutex);
      released = true;
    }
    cv.notify_all();
  }

  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  std::vector<MetadataItem> items;
};

MetadataItem item(const std::string& name, double date, uint64_t size, bool downloaded, double percent) {
  MetadataItem i;
  i.displayName = name;
  i.fileSize = size;
  i.contentChangeDate.secondsSince1970 = date;
  i.url = fs::path("/cloud/Documents") / name;
  i.downloadingStatus = downloaded ? UbiquitousItemDownloadingStatus::Current : UbiquitousItemDownloadingStatus::NotDownloaded;
  i.isDownloading = !downloaded;
  i.percentDownloaded = percent;
  return i;
}

class CloudBackupTest : public ScreensTest {
 protected:
  void SetUp() override {
    ScreensTest::SetUp();
    ASSERT_TRUE(store->storeIndexTable());
    fs::copy_file(bundle / "iGROOVEBIX_patternSet.plist", data() / "iGROOVEBIX_patternSet.plist");
    cloud = root / "iCloud";
    fs::create_directories(cloud / "Documents");
    creator = std::make_shared<iGROOVEBIXBackupCreator>();
    creator->setStoreData([this] { host.storeData(); });
    restorer = std::make_shared<iGROOVEBIXBackupRestorer>();
    NotificationCenter::defaultCenter().addObserver(this, kRestoreItemViewControllerDidRestored,
                                                    [this](const Notification&) { ++restoredNotes; });
  }
  void TearDown() override {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (fake) fake->release();
    ScreensTest::TearDown();
    // The look-up and the query hold the manager's container until they end.
    manager.reset();
  }

  // Virtual time and real time together: the look-up and a restore run on
  // global queues.
  bool pumpUntil(const std::function<bool()>& done, double seconds = 10.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      hb.advance(0.01);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  void startManager(std::shared_ptr<CloudContainer> container) {
    manager = ICloudManager::create(std::move(container));
    ASSERT_TRUE(pumpUntil([&] { return manager->status() != 0; }));
    if (manager->status() == 1) {
      ASSERT_TRUE(pumpUntil([&] { return !manager->isSearching(); }));
    }
  }
  void startFolderManager() { ASSERT_NO_FATAL_FAILURE(startManager(std::make_shared<DirectoryCloudContainer>(cloud))); }
  void openList() {
    list = std::make_shared<BackupItemTableViewController>(manager);
    list->setRestorer(restorer);
    list->setCreator(creator);
    list->setItemTextColor(Color::white(0.3, 1.0));
    show(list);
  }
  // A backup of the library as it is now, in the container.
  fs::path cloudBackup(const std::string& name) {
    const fs::path target = cloud / "Documents" / name;
    EXPECT_TRUE(BackupArchive::write(data(), target, Utilities::createDataPassword()));
    return target;
  }
  RestoreItemViewController& openItem(int64_t row) {
    list->didSelectRowAtIndexPath(*list->tableView(), {0, row});
    hb.runPass();
    auto* r = dynamic_cast<RestoreItemViewController*>(nav->topViewController());
    EXPECT_NE(r, nullptr);
    return *r;
  }
  std::vector<std::string> cloudFiles() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(cloud / "Documents")) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  fs::path cloud;
  std::shared_ptr<FakeContainer> fake;
  std::shared_ptr<ICloudManager> manager;
  std::shared_ptr<iGROOVEBIXBackupCreator> creator;
  std::shared_ptr<iGROOVEBIXBackupRestorer> restorer;
  std::shared_ptr<BackupItemTableViewController> list;
  int restoredNotes = 0;
};

TEST(BackupSizeTextTest, FourCharactersOfTheLargestUnitBelowOneThousandTwentyFour) {
  struct Case {
    uint64_t bytes;
    const char* text;
  };
  for (const Case& c : std::vector<Case>{{900, " 900 bytes"},
                                         {5000, "   5 KB"},
                                         {3000000, "   3 MB"},
                                         {1024, "1024 bytes"},
                                         {1025, "   1 KB"},
                                         {0, "   0 bytes"},
                                         {5ull << 40, "   5 TB"},
                                         {3000ull << 40, "3000 TB"}})
    EXPECT_EQ(BackupItemTableViewController::transformedValue(c.bytes), c.text) << c.bytes;
}

TEST_F(CloudBackupTest, WithoutTheCloudTheListSaysSoAndOffersNoButton) {
  ASSERT_NO_FATAL_FAILURE(startManager(std::make_shared<DirectoryCloudContainer>(std::nullopt)));
  ASSERT_EQ(manager->status(), 2);
  openList();
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "iCloud is disabled");
  EXPECT_EQ(hb.alertMessage(), "To use this function, please enable the iCloud.");
  EXPECT_EQ(hb.alertButtons(), std::vector<std::string>{"OK"});
  hb.answerAlert(0);
  EXPECT_EQ(list->navigationItem().rightBarButtonItem(), nullptr);
}

TEST_F(CloudBackupTest, WhileTheLookUpRunsThereIsNeitherButtonNorAlertNorOneLater) {
  fake = std::make_shared<FakeContainer>();
  manager = ICloudManager::create(fake);
  ASSERT_EQ(manager->status(), 0);
  openList();
  EXPECT_FALSE(hb.alertVisible());
  EXPECT_EQ(list->navigationItem().rightBarButtonItem(), nullptr);
  fake->release();
  ASSERT_TRUE(pumpUntil([&] { return manager->status() == 1; }));
  hb.advance(0.5);
  EXPECT_EQ(list->navigationItem().rightBarButtonItem(), nullptr);
}

TEST_F(CloudBackupTest, ListsTheBackupsNewestFirstWithDateAndSize) {
  fake = std::make_shared<FakeContainer>();
  fake->items = {item("old.gbd", 1.6e9, 900, true, 100), item("new.gbd", 1.7e9, 3000000, true, 100)};
  fake->release();
  ASSERT_NO_FATAL_FAILURE(startManager(fake));
  openList();
  EXPECT_EQ(list->title(), "Backups");
  ASSERT_NE(list->navigationItem().rightBarButtonItem(), nullptr);
  EXPECT_EQ(list->navigationItem().rightBarButtonItem()->title(), "Create Backup");
  EXPECT_EQ(list->titleForHeaderInSection(*list->tableView(), 0), "Backups on iCloud");
  TableView& t = *list->tableView();
  ASSERT_EQ(t.numberOfRowsInSection(0), 2);
  TableViewCell* first = t.cellForRowAtIndexPath({0, 0});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->textLabel().text(), "new.gbd");
  EXPECT_EQ(first->textLabel().textColor(), Color::white(0.3, 1.0));
  EXPECT_EQ(first->detailTextLabel()->text(),
            BackupItemTableViewController::dateText(Date{1.7e9}) + " :    3 MB");
  EXPECT_EQ(t.cellForRowAtIndexPath({0, 1})->detailTextLabel()->text(),
            BackupItemTableViewController::dateText(Date{1.6e9}) + " :  900 bytes");
  // Short date, no time.
  time_t when = 1700000000;
  struct tm local {};
  localtime_r(&when, &local);
  char expected[32];
  std::strftime(expected, sizeof expected, "%m/%d/%y", &local);
  std::string text = BackupItemTableViewController::dateText(Date{1700000000});
  EXPECT_EQ(std::stoi(text.substr(0, text.find('/'))), local.tm_mon + 1);
  EXPECT_EQ(text.substr(text.size() - 2), std::string(expected).substr(6, 2));
}

TEST_F(CloudBackupTest, CreateBackupShowsAToastThenTheNewBackupInTheContainer) {
  ASSERT_NO_FATAL_FAILURE(startFolderManager());
  ASSERT_EQ(manager->status(), 1);
  openList();
  ASSERT_EQ(list->tableView()->numberOfRowsInSection(0), 0);
  BarButtonItemPtr button = list->navigationItem().rightBarButtonItem();
  ASSERT_NE(button, nullptr);
  button->trigger();
  EXPECT_FALSE(button->isEnabled());
  ASSERT_NE(list->toast(), nullptr);
  EXPECT_EQ(list->toast()->messageLabel().text(), "Creating...");
  EXPECT_TRUE(host.calls.empty()) << "the backup waits for the toast to be drawn";
  ASSERT_TRUE(pumpUntil([&] { return list->tableView()->numberOfRowsInSection(0) == 1; }));
  EXPECT_EQ(host.calls, std::vector<std::string>{"storeData"});
  EXPECT_TRUE(button->isEnabled());
  const auto files = cloudFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(fs::path(files[0]).extension(), ".gbd");
  EXPECT_EQ(list->tableView()->cellForRowAtIndexPath({0, 0})->textLabel().text(), files[0]);
  // Nothing is left behind in the documents folder.
  for (const auto& e : fs::directory_iterator(docs)) EXPECT_NE(e.path().extension(), ".gbd") << e.path();
  hb.advance(2.0);
  EXPECT_TRUE(hb.findViews([](View& v) { return dynamic_cast<ToastView*>(&v) != nullptr; }).empty());
}

TEST_F(CloudBackupTest, ADownloadingBackupShowsItsProgressAndCannotBeChosen) {
  fake = std::make_shared<FakeContainer>();
  fake->items = {item("coming.gbd", 1.7e9, 5000, false, 42.7)};
  fake->release();
  ASSERT_NO_FATAL_FAILURE(startManager(fake));
  openList();
  RestoreItemViewController& r = openItem(0);
  EXPECT_EQ(r.title(), "Backup");
  EXPECT_EQ(r.footerText(0), "Downloading... 42%");
  EXPECT_EQ(r.footerText(1), "");
  EXPECT_EQ(r.heightForFooterInSection(*r.tableView(), 0), 30);
  EXPECT_TRUE(hb.render());
  ASSERT_NE(r.timer(), nullptr);
  EXPECT_TRUE(r.timer()->isValid());
  for (int64_t s : {0, 1, 2}) EXPECT_EQ(r.willSelectRowAtIndexPath(*r.tableView(), {s, 0}), std::nullopt) << s;
  r.didSelectRowAtIndexPath(*r.tableView(), {1, 0});
  EXPECT_FALSE(hb.alertVisible());

  // The download completes: the next rescan and the next tick show it.
  {
    std::lock_guard lock(fake->mutex);
    fake->items[0] = item("coming.gbd", 1.7e9, 5000, true, 100);
  }
  ASSERT_TRUE(pumpUntil([&] { return r.isAvailable(); }));
  hb.advance(1.1);
  EXPECT_EQ(r.timer(), nullptr) << "stopped once available";
  EXPECT_EQ(r.footerText(0), "");
  EXPECT_EQ(r.willSelectRowAtIndexPath(*r.tableView(), {0, 0}), std::nullopt) << "the name is never selected";
  EXPECT_TRUE(r.willSelectRowAtIndexPath(*r.tableView(), {1, 0}));
  EXPECT_TRUE(r.willSelectRowAtIndexPath(*r.tableView(), {2, 0}));
}

TEST_F(CloudBackupTest, RestoreReplacesTheLibraryOnAQueueAndReportsBack) {
  cloudBackup("saved.gbd");
  const std::string original = store->columnText(300, 1);
  PatternRecord r = store->patternAt(300);
  std::snprintf(r.tagParams.name, sizeof r.tagParams.name, "Changed");
  ASSERT_TRUE(store->storePattern(r, 300));
  ASSERT_NO_FATAL_FAILURE(startFolderManager());
  openList();
  ASSERT_EQ(list->tableView()->numberOfRowsInSection(0), 1);
  RestoreItemViewController& item = openItem(0);
  EXPECT_EQ(item.nameField()->text(), "saved.gbd");
  item.didSelectRowAtIndexPath(*item.tableView(), {1, 0});
  ASSERT_TRUE(hb.alertVisible());
  EXPECT_EQ(hb.alertTitle(), "Restore");
  EXPECT_EQ(hb.alertMessage(),
            "Are you sure want to restore your backup data? This will overwrite all existing/custom data.");
  hb.answerAlert(1);
  ASSERT_NE(item.toast(), nullptr);
  EXPECT_EQ(item.toast()->messageLabel().text(), "Restoring...");
  ASSERT_TRUE(pumpUntil([&] { return hb.alertVisible(); }));
  EXPECT_EQ(hb.alertTitle(), "Restoration has been completed");
  EXPECT_EQ(hb.alertMessage(), "Data has been successfully restored.");
  EXPECT_EQ(restoredNotes, 1);
  // The files are the backup's: a fresh store reads the old name.
  Z31647PatternStore reread;
  reread.load();
  EXPECT_EQ(reread.columnText(300, 1), original);
  hb.answerAlert(0);
  hb.runPass();
  EXPECT_EQ(nav->topViewController(), list.get());
}

TEST_F(CloudBackupTest, AFailedRestoreSaysTheFileIsCorruptAndPostsNothing) {
  ASSERT_NO_FATAL_FAILURE(writeBytes(cloud / "Documents" / "broken.gbd", {'P', 'K', 3, 4, 0, 0}));
  ASSERT_NO_FATAL_FAILURE(startFolderManager());
  openList();
  RestoreItemViewController& item = openItem(0);
  item.didSelectRowAtIndexPath(*item.tableView(), {1, 0});
  hb.answerAlert(1);
  ASSERT_TRUE(pumpUntil([&] { return hb.alertVisible(); }));
  EXPECT_EQ(hb.alertTitle(), "Error");
  EXPECT_EQ(hb.alertMessage(), "Your data file can't be opened; it might be corrupt.");
  EXPECT_EQ(restoredNotes, 0);
  EXPECT_EQ(store->columnText(300, 1), "Factory300");
}

TEST_F(CloudBackupTest, DeleteWaitsForTheContainersUpdateThenReturns) {
  cloudBackup("a.gbd");
  cloudBackup("b.gbd");
  ASSERT_NO_FATAL_FAILURE(startFolderManager());
  openList();
  ASSERT_EQ(list->tableView()->numberOfRowsInSection(0), 2);
  RestoreItemViewController& item = openItem(1);
  const std::string name = item.itemURL().filename().string();
  item.didSelectRowAtIndexPath(*item.tableView(), {2, 0});
  EXPECT_EQ(hb.alertTitle(), "Delete");
  EXPECT_EQ(hb.alertMessage(), "Are you sure? This will remove the selected backup data permanently.");
  hb.answerAlert(0);
  EXPECT_EQ(cloudFiles().size(), 2u) << "Cancel keeps it";
  item.didSelectRowAtIndexPath(*item.tableView(), {2, 0});
  hb.answerAlert(1);
  // The container's update comes on the pass right after the answer; the
  // toast is still fading out.
  ASSERT_TRUE(pumpUntil([&] { return hb.alertVisible(); }));
  const auto toasts = hb.findViews([](View& v) {
    auto* t = dynamic_cast<ToastView*>(&v);
    return t && t->messageLabel().text() == "Deleting...";
  });
  EXPECT_EQ(toasts.size(), 1u);
  EXPECT_EQ(item.toast(), nullptr);
  EXPECT_EQ(hb.alertTitle(), "Succeeded");
  EXPECT_EQ(hb.alertMessage(), "Your data was removed.");
  EXPECT_FALSE(item.navigationItem().hidesBackButton());
  EXPECT_EQ(cloudFiles().size(), 1u);
  EXPECT_NE(cloudFiles()[0], name);
  hb.answerAlert(0);
  hb.runPass();
  EXPECT_EQ(nav->topViewController(), list.get());
  EXPECT_EQ(list->tableView()->numberOfRowsInSection(0), 1);
}

TEST_F(CloudBackupTest, RenameKeepsTheBackupExtensionAndFollowsTheFile) {
  cloudBackup("first.gbd");
  ASSERT_NO_FATAL_FAILURE(startFolderManager());
  openList();
  RestoreItemViewController& item = openItem(0);
  struct Case {
    std::string typed, file;
  };
  for (const Case& c : std::vector<Case>{{"Evening", "Evening.gbd"}, {"Night.zip", "Night.gbd"}}) {
    TextField& f = *item.nameField();
    ASSERT_TRUE(f.becomeFirstResponder());
    f.setText(c.typed);
    hb.pressReturn();
    EXPECT_EQ(cloudFiles(), std::vector<std::string>{c.file}) << c.typed;
    EXPECT_EQ(item.itemURL().filename().string(), c.file);
    ASSERT_TRUE(pumpUntil([&] { return item.dataIndex() == 0; })) << "found again after the rescan";
  }
}

}  // namespace
