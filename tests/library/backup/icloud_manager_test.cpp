#include "library/backup/icloud_manager.h"

#include <gmock/gmock.h>

#include <regex>

#include "library/backup/backup_creator.h"
#include "library/backup/backup_fixture.h"
#include "platform/notify/notification_center.h"

namespace {

using namespace backup_test;
using platform::MetadataItem;
using platform::UbiquitousItemDownloadingStatus;
using ::testing::ElementsAre;

// Counts the manager's notifications by name.
class ManagerEvents {
 public:
  ManagerEvents() {
    for (const char* name : {kICloudManagerDidFinishedNotification, kICloudManagerDidUpdateNotification})
      platform::NotificationCenter::defaultCenter().addObserver(this, name, [this](const platform::Notification& n) {
        names.push_back(n.name);
        const auto* m = n.objectAs<ICloudManager*>();
        senders.push_back(m ? *m : nullptr);
      });
  }
  ~ManagerEvents() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  size_t count(const std::string& name) const { return std::count(names.begin(), names.end(), name); }
  std::vector<std::string> names;
  std::vector<ICloudManager*> senders;
};

// A container whose items and download states the test sets.
class FakeContainer : public platform::CloudContainer {
 public:
  std::optional<fs::path> URLForUbiquityContainer() override { return root; }
  std::vector<MetadataItem> documentItems(const std::string& suffix) override {
    std::vector<MetadataItem> out;
    for (const auto& i : items)
      if (i.displayName.size() >= suffix.size() &&
          i.displayName.compare(i.displayName.size() - suffix.size(), suffix.size(), suffix) == 0)
        out.push_back(i);
    return out;
  }
  bool startDownloadingUbiquitousItem(const fs::path& url, std::string*) override {
    downloads.push_back(url);
    return true;
  }
  bool setUbiquitous(const fs::path&, const fs::path&, std::string*) override { return false; }
  bool removeItem(const fs::path&, std::string*) override { return false; }
  bool moveItem(const fs::path&, const fs::path&, std::string*) override { return false; }

  std::optional<fs::path> root = fs::path("/cloud");
  std::vector<MetadataItem> items;
  std::vector<fs::path> downloads;
};

MetadataItem item(const std::string& name, double date, UbiquitousItemDownloadingStatus status, bool downloading,
                  double percent) {
  MetadataItem i;
  i.displayName = name;
  i.fileSize = 1000;
  i.contentChangeDate.secondsSince1970 = date;
  i.url = fs::path("/cloud/Documents") / name;
  i.downloadingStatus = status;
  i.isDownloading = downloading;
  i.percentDownloaded = percent;
  return i;
}

class ICloudManagerTest : public BackupTest {
 public:
  void SetUp() override {
    BackupTest::SetUp();
    platform::RunLoop::main();  // this thread is the main thread
    cloud = root / "iCloud";
    fs::create_directories(cloud);
  }

  std::shared_ptr<ICloudManager> startManager(std::shared_ptr<platform::CloudContainer> container) {
    auto m = ICloudManager::create(std::move(container));
    EXPECT_TRUE(runMainUntil([&] { return m->status() != 0; }));
    return m;
  }

  // Waits for the first gathering to be reported.
  std::shared_ptr<ICloudManager> gatheredManager(ManagerEvents& events) {
    auto m = startManager(std::make_shared<platform::DirectoryCloudContainer>(cloud));
    EXPECT_EQ(m->status(), 1);
    EXPECT_TRUE(runMainUntil([&] { return events.count(kICloudManagerDidFinishedNotification) > 0; }));
    return m;
  }

  std::vector<std::string> names(const ICloudManager& m) {
    std::vector<std::string> out;
    for (const auto& i : m.results()) out.push_back(i.displayName);
    return out;
  }

  fs::path cloud;
};

TEST_F(ICloudManagerTest, UnavailableContainerReportsStatusTwoAndNeverPosts) {
  ManagerEvents events;
  auto m = ICloudManager::create(std::make_shared<platform::DirectoryCloudContainer>(root / "no-cloud"));
  EXPECT_EQ(m->status(), 0);  // the look-up runs on a global queue
  ASSERT_TRUE(runMainUntil([&] { return m->status() != 0; }));
  EXPECT_EQ(m->status(), 2);
  EXPECT_FALSE(m->ubiquitousURL());
  EXPECT_EQ(m->dataSource(), nullptr);
  writeText(docs / "local.gbd", "backup");
  EXPECT_EQ(m->uploadLocalBackupFile(), 0u);
  EXPECT_TRUE(fs::exists(docs / "local.gbd"));
  runMainUntil([] { return false; }, 0.2);
  EXPECT_TRUE(events.names.empty());
  EXPECT_EQ(m->count(), 0u);
}

TEST_F(ICloudManagerTest, ListsBackupsNewestFirst) {
  writeText(cloud / "Documents" / "older.gbd", "o");
  writeText(cloud / "Documents" / "newer.gbd", "nn");
  writeText(cloud / "Documents" / "other case.GBD", "x");
  writeText(cloud / "Documents" / "notes.txt", "x");
  setMtime(cloud / "Documents" / "older.gbd", 1700000000);
  setMtime(cloud / "Documents" / "newer.gbd", 1700000060);

  ManagerEvents events;
  auto m = gatheredManager(events);
  EXPECT_FALSE(m->isSearching());
  EXPECT_EQ(events.senders.front(), m.get());
  EXPECT_THAT(names(*m), ElementsAre("newer.gbd", "older.gbd"));
  const auto first = m->itemAt(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(m->fileName(*first), "newer.gbd");
  EXPECT_EQ(m->filesize(*first), 2u);
  EXPECT_EQ(m->fileUpdatedData(*first).secondsSince1970, 1700000060.0);
  EXPECT_EQ(m->fileURL(*first), cloud / "Documents" / "newer.gbd");
  EXPECT_TRUE(m->isFileAvailable(*first));
  EXPECT_EQ(m->filePercentDownloaded(*first), 100.0);
  EXPECT_FALSE(m->itemAt(2));
  EXPECT_EQ(m->indexOfURL(cloud / "Documents" / "older.gbd"), 1);
  EXPECT_EQ(m->indexOfURL(cloud / "Documents" / "missing.gbd"), -1);
}

TEST_F(ICloudManagerTest, StartsDownloadsOnlyForIdleItemsNotYetDownloaded) {
  auto fake = std::make_shared<FakeContainer>();
  fake->items = {item("waiting.gbd", 100, UbiquitousItemDownloadingStatus::NotDownloaded, false, 0),
                 item("coming.gbd", 200, UbiquitousItemDownloadingStatus::NotDownloaded, true, 42.7),
                 item("here.gbd", 300, UbiquitousItemDownloadingStatus::Current, false, 100),
                 item("old.gbd", 50, UbiquitousItemDownloadingStatus::Downloaded, false, 100)};
  ManagerEvents events;
  auto m = startManager(fake);
  ASSERT_TRUE(runMainUntil([&] { return events.count(kICloudManagerDidFinishedNotification) > 0; }));
  EXPECT_THAT(fake->downloads, ElementsAre(fs::path("/cloud/Documents/waiting.gbd")));
  EXPECT_THAT(names(*m), ElementsAre("here.gbd", "coming.gbd", "waiting.gbd", "old.gbd"));
  EXPECT_TRUE(m->isFileAvailable(*m->itemAt(0)));
  EXPECT_FALSE(m->isFileAvailable(*m->itemAt(1)));
  EXPECT_EQ(m->filePercentDownloaded(*m->itemAt(1)), 42.7);
  EXPECT_FALSE(m->isFileAvailable(*m->itemAt(2)));
  EXPECT_TRUE(m->isFileAvailable(*m->itemAt(3)));
}

TEST_F(ICloudManagerTest, CloudFlowNamesTheBackupAndMovesItIntoDocuments) {
  makeLibrary(docs, 3);
  BackupFileNameCreator::setClock([] { return std::chrono::system_clock::from_time_t(1718000000); });
  ManagerEvents events;
  auto m = gatheredManager(events);
  ASSERT_EQ(m->count(), 0u);

  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  const auto path = creator->createWithName();
  ASSERT_TRUE(path) << creator->lastError();
  const std::string name = path->filename().string();
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(name, parts, std::regex("(.+)_(\\d{4}-\\d{2}-\\d{2} \\d{2}\\.\\d{2}\\.\\d{2})\\.(.+)")))
      << name;
  EXPECT_EQ(parts[1], "Test Device");
  EXPECT_EQ(parts[2], "2024-06-10 06.13.20");
  EXPECT_EQ(parts[3], "gbd");

  ASSERT_TRUE(m->moveToContainer(*path));
  EXPECT_FALSE(fs::exists(*path));
  EXPECT_TRUE(fs::is_regular_file(cloud / "Documents" / name));
  ASSERT_TRUE(runMainUntil([&] { return events.count(kICloudManagerDidUpdateNotification) > 0; }));
  EXPECT_THAT(names(*m), ElementsAre(name));

  // The moved archive is still a backup the restorer takes.
  std::string error;
  EXPECT_TRUE(iGROOVEBIXBackupRestorer::sharedInstance()->restoreData(m->fileURL(*m->itemAt(0)), &error)) << error;
}

TEST_F(ICloudManagerTest, UploadMovesOnlyTopLevelFilesWithTheExactExtension) {
  writeText(docs / "one.gbd", "one");
  writeText(docs / "two.gbd", "local two");
  writeText(docs / "three.GBD", "three");
  writeText(docs / "notes.txt", "notes");
  writeText(docs / ".iGROOVEBIX_x_DATA.a1b2c3", "half-written backup");
  writeText(docs / "nested" / "four.gbd", "four");
  fs::create_directories(docs / "folder.gbd");
  writeText(cloud / "Documents" / "two.gbd", "cloud two");

  ManagerEvents events;
  auto m = gatheredManager(events);
  EXPECT_EQ(m->uploadLocalBackupFile(), 1u);
  EXPECT_EQ(readBytes(cloud / "Documents" / "one.gbd"), std::vector<uint8_t>({'o', 'n', 'e'}));
  EXPECT_FALSE(fs::exists(docs / "one.gbd"));
  // A name taken in the cloud keeps both files.
  EXPECT_EQ(snapshot(cloud / "Documents").at("two.gbd"), "cloud two");
  EXPECT_EQ(snapshot(docs).at("two.gbd"), "local two");
  for (const char* kept : {"three.GBD", "notes.txt", ".iGROOVEBIX_x_DATA.a1b2c3", "nested/four.gbd"})
    EXPECT_TRUE(fs::exists(docs / kept)) << kept;
  EXPECT_TRUE(fs::is_directory(docs / "folder.gbd"));

  // The application's delayed upload.
  writeText(docs / "later.gbd", "later");
  m->scheduleUploadLocalBackupFile(0.05);
  EXPECT_TRUE(fs::exists(docs / "later.gbd"));
  ASSERT_TRUE(runMainUntil([&] { return !fs::exists(docs / "later.gbd"); }));
  EXPECT_TRUE(fs::exists(cloud / "Documents" / "later.gbd"));
}

TEST_F(ICloudManagerTest, RenameAndRemoveNeverHitAnotherBackup) {
  writeText(cloud / "Documents" / "a.gbd", "a");
  writeText(cloud / "Documents" / "b.gbd", "b");
  setMtime(cloud / "Documents" / "a.gbd", 1700000000);
  setMtime(cloud / "Documents" / "b.gbd", 1700000100);
  ManagerEvents events;
  auto m = gatheredManager(events);
  ASSERT_THAT(names(*m), ElementsAre("b.gbd", "a.gbd"));

  EXPECT_FALSE(m->renameFileAt(1, "b.gbd"));  // taken: Linux rename would destroy b
  EXPECT_FALSE(m->renameFileAt(1, "../escaped.gbd"));
  EXPECT_FALSE(m->renameFileAt(1, ""));
  EXPECT_FALSE(m->renameFileAt(7, "c.gbd"));
  EXPECT_EQ(snapshot(cloud / "Documents").at("b.gbd"), "b");
  EXPECT_FALSE(fs::exists(cloud / "escaped.gbd"));

  ASSERT_TRUE(m->renameFile(cloud / "Documents" / "a.gbd", "c.gbd"));
  ASSERT_TRUE(runMainUntil([&] { return events.count(kICloudManagerDidUpdateNotification) == 1; }));
  EXPECT_THAT(names(*m), ElementsAre("b.gbd", "c.gbd"));

  // The delete screen listens for the query's next update after asking: it
  // must still come.
  ASSERT_TRUE(m->removeFileAt(0));
  bool updated = false;
  platform::NotificationCenter::defaultCenter().addObserver(
      &updated, platform::kMetadataQueryDidUpdateNotification, [&](const platform::Notification&) { updated = true; });
  EXPECT_TRUE(runMainUntil([&] { return updated; }));
  platform::NotificationCenter::defaultCenter().removeObserver(&updated);
  EXPECT_THAT(names(*m), ElementsAre("c.gbd"));
  EXPECT_FALSE(m->removeFile(cloud / "Documents" / "b.gbd"));
  EXPECT_FALSE(m->removeFile(docs / "c.gbd"));
}

TEST_F(ICloudManagerTest, NotificationsOfOnePassAreCoalesced) {
  ManagerEvents events;
  auto m = gatheredManager(events);
  events.names.clear();
  platform::Notification dummy;
  m->queryDidReceiveNotification(dummy);
  m->queryDidReceiveNotification(dummy);
  m->queryDidReceiveNotification(dummy);
  EXPECT_TRUE(events.names.empty());  // as soon as possible, not now
  platform::RunLoop::main().runOnce(0);
  EXPECT_THAT(events.names, ElementsAre(kICloudManagerDidUpdateNotification));
}

TEST_F(ICloudManagerTest, SingletonIsDroppedAtTermination) {
  ::setenv("IGROOVEBIX_CLOUD_HOME", cloud.c_str(), 1);
  auto first = ICloudManager::sharedInstance();
  EXPECT_EQ(first, ICloudManager::sharedInstance());
  ASSERT_TRUE(runMainUntil([&] { return first->status() != 0; }));
  EXPECT_EQ(first->status(), 1);
  EXPECT_EQ(first->ubiquitousURL(), cloud);
  platform::NotificationCenter::defaultCenter().post(kApplicationWillTerminateNotification);
  auto second = ICloudManager::sharedInstance();
  EXPECT_NE(first, second);
  ICloudManager::cleanup();
  ::unsetenv("IGROOVEBIX_CLOUD_HOME");
}

}  // namespace
