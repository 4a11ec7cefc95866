// The program's start-up after a restore that a crash stopped half-way,
// when the recovery cannot finish it: the user is told in an alert, nothing
// writes the library (saves, renames, the background entry and the
// termination included), and the user's original index table stays in the
// staging folder; a later start that can move the items finishes the
// restore, and the program writes again.

#include <gmock/gmock.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/headless_app.h"
#include "app/crashed_restore.h"
#include "library/backup/backup_archive.h"
#include "library/library_writes.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

class InterruptedRestoreStartTest : public HeadlessAppTest {
 protected:
  void TearDown() override {
    // An alert left up would stay in the queue of the next test.
    while (headlessBackend().alertVisible()) headlessBackend().answerAlert(0);
    HeadlessAppTest::TearDown();
    BackupArchive::setFailingMoveForTesting(std::nullopt);
    LibraryWrites::allow();
  }

  fs::path table() const { return data() / "patternIndicesTable.plist"; }
  fs::path sets() const { return data() / "iGROOVEBIX_patternSet.plist"; }

  static std::optional<ino_t> inode(const fs::path& p) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return std::nullopt;
    return st.st_ino;
  }
  fs::path stagingFolder() const {
    for (const auto& e : fs::directory_iterator(data()))
      if (e.path().filename().string().rfind(".restore-", 0) == 0) return e.path();
    return {};
  }
  static std::vector<uint8_t> bytes(const fs::path& p) { return platform::readFile(p).value_or(std::vector<uint8_t>{}); }

  // Every file of the pattern folder, with its bytes.
  std::map<std::string, std::vector<uint8_t>> patternFiles() const {
    std::map<std::string, std::vector<uint8_t>> out;
    for (const auto& e : fs::recursive_directory_iterator(data() / "patterns"))
      if (e.is_regular_file()) out[e.path().lexically_relative(data()).string()] = bytes(e.path());
    return out;
  }

  // The user renames pattern 0 through the store; whether it was stored.
  static bool renameFirstPattern(const char* name) {
    Z31647PatternStore& store = Z31647PatternStore::getInstance();
    PatternRecord r = store.patternAt(0);
    std::memset(r.tagParams.name, 0, sizeof r.tagParams.name);
    std::memcpy(r.tagParams.name, name, std::min(std::strlen(name), sizeof r.tagParams.name));
    return store.storeTagInfo(r, 0);
  }

  // A start that cannot finish the restore: it says so, and nothing the
  // user does reaches the library's files.
  void startAndFindNothingWritten() {
    const auto tableInode = inode(table());
    const auto tableBytes = bytes(table());
    const auto setsBytes = bytes(sets());
    const auto patternsBefore = patternFiles();
    start();
    ASSERT_TRUE(delegate->recoveryFailure());
    EXPECT_THAT(*delegate->recoveryFailure(), HasSubstr("iGROOVEBIX_patternSet.plist"));
    ASSERT_TRUE(headlessBackend().alertVisible()) << "the user was not told";
    EXPECT_EQ(headlessBackend().alertTitle(), kRecoveryFailedAlertTitle);
    EXPECT_THAT(headlessBackend().alertMessage(), HasSubstr("could not be finished"));
    EXPECT_THAT(headlessBackend().alertMessage(), HasSubstr("not saved"));

    EXPECT_FALSE(renameFirstPattern("Meanwhile"));
    Z31647PatternStore::getInstance().movePatterns(0, 0, 2, 0);
    PatternSetStore::sharedInstance().replace(int64_t{3}, 17);
    EXPECT_FALSE(delegate->storeData());
    delegate->applicationDidEnterBackground();
    delegate->applicationWillEnterForeground();
    EXPECT_TRUE(headlessBackend().answerAlert(0));
    quit();
    EXPECT_EQ(inode(table()), tableInode) << "the index table was saved";
    EXPECT_EQ(bytes(table()), tableBytes);
    EXPECT_EQ(bytes(sets()), setsBytes);
    EXPECT_EQ(patternFiles(), patternsBefore);
  }
};

TEST_F(InterruptedRestoreStartTest, AFailedRecoveryIsShownAndNothingIsWrittenUntilAStartFinishesIt) {
  // A backup of the first library, then the user's library from there on:
  // two patterns in another order, so that its index table is not the
  // archive's.
  start();
  quit();
  const fs::path archive = root / "library.gbd";
  std::string error;
  ASSERT_TRUE(BackupArchive::write(data(), archive, Utilities::createDataPassword(), {}, &error)) << error;
  const auto archivedTable = bytes(table());
  start();
  Z31647PatternStore::getInstance().movePatterns(0, 0, 2, 0);
  quit();
  const auto originalTable = bytes(table());
  ASSERT_NE(originalTable, archivedTable);

  // The restore of the backup dies after its first exchange.
  ASSERT_TRUE(restoreDyingAfterTheFirstExchange(archive, data())) << "the restore did not stop half-way";
  const fs::path staging = stagingFolder();
  ASSERT_FALSE(staging.empty());
  ASSERT_EQ(bytes(staging / "patternIndicesTable.plist"), originalTable);

  // The next start cannot move the pattern sets into place, nor can the
  // one after it.
  BackupArchive::setFailingMoveForTesting(std::string("iGROOVEBIX_patternSet.plist"));
  startAndFindNothingWritten();
  startAndFindNothingWritten();
  EXPECT_EQ(bytes(staging / "patternIndicesTable.plist"), originalTable) << "the user's original table is gone";
  EXPECT_TRUE(fs::exists(data() / ".restore.journal"));

  // A start that can finishes the restore, and the program writes again.
  BackupArchive::setFailingMoveForTesting(std::nullopt);
  start();
  EXPECT_FALSE(delegate->recoveryFailure());
  EXPECT_FALSE(headlessBackend().alertVisible());
  EXPECT_FALSE(LibraryWrites::refusal());
  EXPECT_EQ(bytes(table()), archivedTable);
  EXPECT_FALSE(fs::exists(staging));
  EXPECT_FALSE(fs::exists(data() / ".restore.journal"));
  EXPECT_TRUE(renameFirstPattern("Afterwards"));
  quit();
}

}  // namespace
