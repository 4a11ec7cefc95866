#include "platform/cloud/cloud_container.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/time.h>

#include <cstdlib>
#include <fstream>

#include "platform/cloud/metadata_query.h"
#include "platform/notify/notification_center.h"
#include "platform/runloop/run_loop.h"

namespace {

namespace fs = std::filesystem;
using platform::DirectoryCloudContainer;
using platform::MetadataItem;
using platform::MetadataQuery;

class CloudTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-cloud-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    container = root / "container";
    local = root / "local";
    fs::create_directories(container);
    fs::create_directories(local);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  static void write(const fs::path& p, const std::string& text, time_t mtime = 0) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    if (mtime) {
      struct timeval tv[2] = {{mtime, 0}, {mtime, 0}};
      ::utimes(p.c_str(), tv);
    }
  }
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path root, container, local;
};

TEST_F(CloudTest, AvailableOnlyWhileTheDirectoryExists) {
  EXPECT_EQ(DirectoryCloudContainer(container).URLForUbiquityContainer(), container);
  EXPECT_FALSE(DirectoryCloudContainer(root / "missing").URLForUbiquityContainer());
  EXPECT_FALSE(DirectoryCloudContainer(std::nullopt).URLForUbiquityContainer());
  write(root / "plainfile", "x");
  EXPECT_FALSE(DirectoryCloudContainer(root / "plainfile").URLForUbiquityContainer());
}

TEST_F(CloudTest, DefaultRootFollowsTheEnvironment) {
  ::setenv("IGROOVEBIX_CLOUD_HOME", container.c_str(), 1);
  EXPECT_EQ(DirectoryCloudContainer::defaultRoot(), container);
  ::unsetenv("IGROOVEBIX_CLOUD_HOME");
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", root.c_str(), 1);
  EXPECT_EQ(DirectoryCloudContainer::defaultRoot(), root / "igroovebix" / "iCloud");
  if (old)
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(CloudTest, DocumentItemsMatchTheSuffixCaseSensitively) {
  write(container / "Documents" / "a.gbd", "12345", 1600000000);
  write(container / "Documents" / "deep" / "b.gbd", "1", 1600000100);
  write(container / "Documents" / "c.GBD", "1");
  write(container / "Documents" / "d.gbd.txt", "1");
  write(container / "outside.gbd", "1");  // not in Documents
  fs::create_directories(container / "Documents" / "folder.gbd");
  fs::create_symlink(local / "elsewhere.gbd", container / "Documents" / "link.gbd");

  DirectoryCloudContainer c(container);
  auto items = c.documentItems(".gbd");
  std::sort(items.begin(), items.end(), [](auto& x, auto& y) { return x.displayName < y.displayName; });
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].displayName, "a.gbd");
  EXPECT_EQ(items[0].fileSize, 5u);
  EXPECT_EQ(items[0].contentChangeDate.secondsSince1970, 1600000000.0);
  EXPECT_EQ(items[0].url, container / "Documents" / "a.gbd");
  EXPECT_EQ(items[0].downloadingStatus, platform::UbiquitousItemDownloadingStatus::Current);
  EXPECT_FALSE(items[0].isDownloading);
  EXPECT_EQ(items[0].percentDownloaded, 100.0);
  EXPECT_EQ(items[1].url, container / "Documents" / "deep" / "b.gbd");
  EXPECT_TRUE(c.startDownloadingUbiquitousItem(items[0].url));
  EXPECT_FALSE(c.startDownloadingUbiquitousItem(local / "x.gbd"));

  EXPECT_TRUE(DirectoryCloudContainer(root / "missing").documentItems(".gbd").empty());
}

TEST_F(CloudTest, SetUbiquitousMovesWithoutReplacing) {
  DirectoryCloudContainer c(container);
  write(local / "one.gbd", "first", 1600000000);
  std::string error;
  ASSERT_TRUE(c.setUbiquitous(local / "one.gbd", container / "Documents" / "one.gbd", &error)) << error;
  EXPECT_FALSE(fs::exists(local / "one.gbd"));
  EXPECT_EQ(read(container / "Documents" / "one.gbd"), "first");

  // A second file of the same name stays where it is, and so does the first.
  write(local / "one.gbd", "second");
  EXPECT_FALSE(c.setUbiquitous(local / "one.gbd", container / "Documents" / "one.gbd", &error));
  EXPECT_EQ(read(local / "one.gbd"), "second");
  EXPECT_EQ(read(container / "Documents" / "one.gbd"), "first");

  // Never outside the container.
  EXPECT_FALSE(c.setUbiquitous(local / "one.gbd", container / "Documents" / ".." / ".." / "escaped.gbd", &error));
  EXPECT_FALSE(c.setUbiquitous(local / "one.gbd", root / "escaped.gbd", &error));
  EXPECT_FALSE(c.setUbiquitous(local / "one.gbd", container, &error));
  EXPECT_FALSE(fs::exists(root / "escaped.gbd"));
  EXPECT_FALSE(DirectoryCloudContainer(root / "missing").setUbiquitous(local / "one.gbd", root / "missing" / "x"));
  EXPECT_TRUE(fs::exists(local / "one.gbd"));
}

TEST_F(CloudTest, MoveAndRemoveStayInside) {
  DirectoryCloudContainer c(container);
  write(container / "Documents" / "a.gbd", "a");
  write(container / "Documents" / "b.gbd", "b");
  write(local / "mine.gbd", "mine");
  EXPECT_FALSE(c.moveItem(container / "Documents" / "a.gbd", container / "Documents" / "b.gbd"));
  EXPECT_EQ(read(container / "Documents" / "b.gbd"), "b");
  EXPECT_TRUE(c.moveItem(container / "Documents" / "a.gbd", container / "Documents" / "c.gbd"));
  EXPECT_EQ(read(container / "Documents" / "c.gbd"), "a");
  EXPECT_FALSE(c.moveItem(container / "Documents" / "c.gbd", local / "c.gbd"));
  EXPECT_FALSE(c.removeItem(local / "mine.gbd"));
  EXPECT_TRUE(fs::exists(local / "mine.gbd"));
  EXPECT_TRUE(c.removeItem(container / "Documents" / "c.gbd"));
  EXPECT_FALSE(fs::exists(container / "Documents" / "c.gbd"));
  EXPECT_FALSE(c.removeItem(container / "Documents" / "c.gbd"));
}

TEST_F(CloudTest, MoveFileWithoutReplacingKeepsTheTarget) {
  write(local / "from", "new");
  write(local / "to", "old");
  std::string error;
  EXPECT_FALSE(platform::moveFileWithoutReplacing(local / "from", local / "to", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(read(local / "to"), "old");
  EXPECT_TRUE(platform::moveFileWithoutReplacing(local / "from", local / "fresh", &error));
  EXPECT_EQ(read(local / "fresh"), "new");
  EXPECT_FALSE(fs::exists(local / "from"));
}

// Records the query notifications of one centre.
struct QueryEvents {
  explicit QueryEvents(platform::NotificationCenter& center) {
    for (const char* name : {platform::kMetadataQueryDidStartGatheringNotification,
                             platform::kMetadataQueryDidFinishGatheringNotification,
                             platform::kMetadataQueryDidUpdateNotification})
      center.addObserver(this, name, [this](const platform::Notification& n) {
        const auto* q = n.objectAs<MetadataQuery*>();
        names.push_back(n.name);
        senders.push_back(q ? *q : nullptr);
      });
  }
  std::vector<std::string> names;
  std::vector<MetadataQuery*> senders;
};

TEST_F(CloudTest, QueryGathersThenUpdatesOnChange) {
  platform::NotificationCenter center;
  platform::RunLoop loop;
  auto clock = std::make_shared<platform::VirtualClock>();
  loop.setClock(clock);
  QueryEvents events(center);

  write(container / "Documents" / "new.gbd", "n", 1600000600);
  write(container / "Documents" / "old.gbd", "o", 1600000000);
  MetadataQuery query(std::make_shared<DirectoryCloudContainer>(container), ".gbd", center, loop);
  query.setUpdateInterval(2.0);
  ASSERT_TRUE(query.startQuery());
  EXPECT_FALSE(query.startQuery());
  EXPECT_TRUE(query.isGathering());
  EXPECT_THAT(events.names, ::testing::ElementsAre(platform::kMetadataQueryDidStartGatheringNotification));

  loop.drain();
  EXPECT_FALSE(query.isGathering());
  ASSERT_EQ(events.names.size(), 2u);
  EXPECT_EQ(events.names[1], platform::kMetadataQueryDidFinishGatheringNotification);
  EXPECT_EQ(events.senders[1], &query);
  ASSERT_EQ(query.resultCount(), 2u);
  // Oldest first, as the platform's ascending date sort gives them.
  EXPECT_EQ(query.results()[0].displayName, "old.gbd");
  EXPECT_EQ(query.results()[1].displayName, "new.gbd");

  // Nothing changed: a rescan posts nothing.
  loop.advanceBy(2.5);
  EXPECT_EQ(events.names.size(), 2u);

  // A new file shows on the next periodic rescan.
  write(container / "Documents" / "third.gbd", "t", 1600001200);
  loop.advanceBy(1.0);
  EXPECT_EQ(events.names.size(), 2u);
  loop.advanceBy(1.0);
  ASSERT_EQ(events.names.size(), 3u);
  EXPECT_EQ(events.names[2], platform::kMetadataQueryDidUpdateNotification);
  EXPECT_EQ(query.resultCount(), 3u);

  // A touched file is a change too; update() rescans at once.
  write(container / "Documents" / "old.gbd", "o", 1600009999);
  query.update();
  ASSERT_EQ(events.names.size(), 4u);
  EXPECT_EQ(query.results().back().displayName, "old.gbd");

  query.stopQuery();
  fs::remove(container / "Documents" / "new.gbd");
  loop.advanceBy(10.0);
  query.update();
  EXPECT_EQ(events.names.size(), 4u);
  EXPECT_TRUE(query.isStopped());
}

TEST_F(CloudTest, DestroyedQueryLeavesNothingBehind) {
  platform::NotificationCenter center;
  platform::RunLoop loop;
  loop.setClock(std::make_shared<platform::VirtualClock>());
  QueryEvents events(center);
  {
    MetadataQuery query(std::make_shared<DirectoryCloudContainer>(container), ".gbd", center, loop);
    query.startQuery();
  }
  loop.advanceBy(10.0);
  EXPECT_THAT(events.names, ::testing::ElementsAre(platform::kMetadataQueryDidStartGatheringNotification));
  EXPECT_EQ(loop.nextDueTime(), std::numeric_limits<double>::infinity());
}

}  // namespace
