#include "platform/foundation/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("igb-atomic-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
  }
  fs::path dir;
};

TEST_F(AtomicFileTest, WritesAndReplaces) {
  const auto p = dir / "a.dat";
  ASSERT_TRUE(platform::writeFileAtomically(p, std::string("first")));
  ASSERT_TRUE(platform::writeFileAtomically(p, std::string("second!")));
  const auto back = platform::readFile(p);
  ASSERT_TRUE(back);
  EXPECT_EQ(std::string(back->begin(), back->end()), "second!");
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, FailedWriteKeepsOldFileAndReports) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  const auto p = dir / "a.dat";
  ASSERT_TRUE(platform::writeFileAtomically(p, std::string("old")));
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  std::string error;
  EXPECT_FALSE(platform::writeFileAtomically(p, std::string("new"), &error));
  EXPECT_FALSE(error.empty());
  fs::permissions(dir, fs::perms::owner_all);
  const auto back = platform::readFile(p);
  ASSERT_TRUE(back);
  EXPECT_EQ(std::string(back->begin(), back->end()), "old");
}

TEST_F(AtomicFileTest, MissingFolderFailsCleanly) {
  std::string error;
  EXPECT_FALSE(platform::writeFileAtomically(dir / "nope" / "a.dat", std::string("x"), &error));
  EXPECT_NE(error.find("temporary"), std::string::npos);
  EXPECT_FALSE(platform::readFile(dir / "nope" / "a.dat").has_value());
}

TEST_F(AtomicFileTest, FailedRenameLeavesNoTemporary) {
  // A folder in the way of the final name makes the last step fail, which
  // must clean up the temporary and say so even when running as root.
  const auto p = dir / "taken";
  fs::create_directories(p / "inside");
  std::string error;
  EXPECT_FALSE(platform::writeFileAtomically(p, std::string("x"), &error));
  EXPECT_NE(error.find("rename"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(p / "inside"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

namespace {

// The modes the temporary files had when they were complete, as seen by
// the writer's observer just before the rename.
std::vector<unsigned>& observedModes() {
  static std::vector<unsigned> modes;
  return modes;
}

// The temporary files themselves.
std::vector<fs::path>& observedTemporaries() {
  static std::vector<fs::path> paths;
  return paths;
}

void recordMode(const fs::path& temporary) {
  observedTemporaries().push_back(temporary);
  struct stat st{};
  observedModes().push_back(::stat(temporary.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF);
}

}  // namespace

TEST_F(AtomicFileTest, TheFileHasItsModeFromTheStartWhateverTheUmask) {
  const struct {
    unsigned mode;
    mode_t umask;
  } cases[] = {{0600, 0}, {0600, 022}, {0600, 077}, {0644, 0}, {0644, 077}, {0640, 027}, {0400, 0}};
  platform::setAtomicWriteObserverForTesting(&recordMode);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << "mode " << c.mode << " umask " << c.umask);
    const auto p = dir / "secret.dat";
    fs::remove(p);
    observedModes().clear();
    const mode_t old = ::umask(c.umask);
    const bool ok = platform::writeFileAtomically(p, std::string("token"), nullptr, c.mode);
    ::umask(old);
    ASSERT_TRUE(ok);
    EXPECT_EQ(observedModes(), std::vector<unsigned>{c.mode});
    // The temporary is beside the file, under the name others are told it has.
    ASSERT_FALSE(observedTemporaries().empty());
    EXPECT_EQ(observedTemporaries().back().parent_path(), dir);
    EXPECT_EQ(observedTemporaries().back().filename().string().rfind(platform::temporaryNamePrefix(p), 0), 0u)
        << observedTemporaries().back();
    struct stat st{};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
  }
  platform::setAtomicWriteObserverForTesting(nullptr);
  // Without a mode the file is an ordinary one.
  observedModes().clear();
  ASSERT_TRUE(platform::writeFileAtomically(dir / "plain.dat", std::string("x")));
  struct stat st{};
  ASSERT_EQ(::stat((dir / "plain.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_TRUE(observedModes().empty());
}
