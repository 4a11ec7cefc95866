// A restore that dies at each of its steps (a child process that ends at
// the step hook), and the start after it: the recovery must leave the
// library wholly the old one or wholly the new one, and nothing of the
// restore behind. A recovery that dies too is finished by the next start;
// a new item lost meanwhile makes the recovery put the old library back.

#include <gmock/gmock.h>

#include <climits>

#include "library/backup/backup_fixture.h"

namespace {

using namespace backup_test;
using ::testing::HasSubstr;

constexpr int kCrashed = 77;
constexpr const char* kCrashedFinding = "the child exited with 77\n";

struct Crash {
  const char* step;
  bool mixed;       // whether the library is neither whole at that step
  bool newLibrary;  // which library the next start must find
};

void PrintTo(const Crash& c, std::ostream* os) { *os << c.step; }

class InterruptedRestore : public BackupTest {
 public:
  void SetUp() override {
    BackupTest::SetUp();
    // The archive holds a library of five patterns; a library of three
    // other ones, with other settings, is in place when it is restored.
    makeLibrary(docs, 5);
    arch = root / "new.gbd";
    std::string error;
    ASSERT_TRUE(BackupArchive::write(data(), arch, Utilities::createDataPassword(), {}, &error)) << error;
    const auto archived = snapshot(data());
    fs::remove_all(data());
    makeLibrary(docs, 3, 40);
    oldLibrary = snapshot(data());
    for (const auto& [rel, bytes] : oldLibrary)
      if (!BackupArchive::shouldBackup(rel)) newLibrary[rel] = bytes;
    for (const auto& [rel, bytes] : archived)
      if (BackupArchive::shouldBackup(rel)) newLibrary[rel] = bytes;
    ASSERT_NE(oldLibrary, newLibrary);
  }
  void TearDown() override {
    BackupArchive::setStepHookForTesting(nullptr);
    BackupTest::TearDown();
  }

  // Runs `work` in a child that ends at `step`; what the child found.
  Findings dieAt(const std::string& step, const std::function<std::string()>& work) {
    return inChild(
        [&]() -> Findings {
          BackupArchive::setStepHookForTesting([&](const std::string& s) {
            if (s == step) ::_exit(kCrashed);
          });
          return "ran past \"" + step + "\": " + work() + "\n";
        },
        LONG_MAX);
  }

  Findings restoreDyingAt(const std::string& step) {
    return dieAt(step, [&] {
      std::string error;
      BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error);
      return error;
    });
  }

  // The next start.
  void recover() {
    std::string error;
    ASSERT_TRUE(BackupArchive::recoverInterruptedRestore(data(), &error)) << error;
  }

  fs::path stagingFolder() {
    for (const auto& e : fs::directory_iterator(data()))
      if (e.path().filename().string().rfind(".restore-", 0) == 0) return e.path();
    return {};
  }

  fs::path arch;
  std::map<std::string, std::string> oldLibrary, newLibrary;
};

class CrashAtStep : public InterruptedRestore, public ::testing::WithParamInterface<Crash> {};

TEST_P(CrashAtStep, NextStartFindsOneWholeLibrary) {
  const Crash& c = GetParam();
  ASSERT_EQ(restoreDyingAt(c.step), kCrashedFinding);
  const auto left = snapshot(data());
  EXPECT_NE(left, oldLibrary) << "the crash left nothing to recover";
  if (c.mixed) {
    EXPECT_NE(left, newLibrary) << "the crash left a whole library";
  }

  recover();
  EXPECT_EQ(snapshot(data()), c.newLibrary ? newLibrary : oldLibrary);
  // A second start finds nothing to do.
  recover();
  EXPECT_EQ(snapshot(data()), c.newLibrary ? newLibrary : oldLibrary);
}

INSTANTIATE_TEST_SUITE_P(Steps, CrashAtStep,
                         ::testing::Values(Crash{"checked", false, false},
                                           Crash{"journal written", false, true},
                                           Crash{"swapped patternIndicesTable.plist", true, true},
                                           Crash{"swapped iGROOVEBIX_patternSet.plist", true, true},
                                           Crash{"swapped patterns", false, true},
                                           Crash{"journal removed", false, true}),
                         [](const ::testing::TestParamInfo<Crash>& info) {
                           std::string name = info.param.step;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST_F(InterruptedRestore, RecoveryThatDiesIsFinishedByTheNextStart) {
  ASSERT_EQ(restoreDyingAt("journal written"), kCrashedFinding);
  ASSERT_EQ(dieAt("swapped iGROOVEBIX_patternSet.plist",
                  [&] {
                    std::string error;
                    BackupArchive::recoverInterruptedRestore(data(), &error);
                    return error;
                  }),
            kCrashedFinding);
  EXPECT_NE(snapshot(data()), newLibrary);
  recover();
  EXPECT_EQ(snapshot(data()), newLibrary);
}

TEST_F(InterruptedRestore, LostNewItemPutsTheOldLibraryBack) {
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  const fs::path staging = stagingFolder();
  ASSERT_FALSE(staging.empty());
  fs::remove_all(staging / "patterns");  // the new pattern folder, not yet swapped in
  recover();
  EXPECT_EQ(snapshot(data()), oldLibrary);
}

TEST_F(InterruptedRestore, UnreadableJournalIsLeftAndReported) {
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  const fs::path journal = data() / ".restore.journal";
  ASSERT_TRUE(fs::exists(journal));
  const auto bytes = readBytes(journal);
  for (const std::string& bad : {std::string("not a journal\n"),
                                 std::string(bytes.begin(), bytes.end()) + "item extra 1 2\n",
                                 std::string("igroovebix restore journal 1\nstaging ../elsewhere\n")}) {
    writeText(journal, bad);
    const auto before = snapshot(data());
    std::string error;
    EXPECT_FALSE(BackupArchive::recoverInterruptedRestore(data(), &error)) << bad;
    EXPECT_THAT(error, HasSubstr("the restore journal is unreadable")) << bad;
    EXPECT_EQ(snapshot(data()), before) << bad;
  }
  // Put right, the journal is followed.
  writeBytes(journal, bytes);
  recover();
  EXPECT_EQ(snapshot(data()), newLibrary);
}

}  // namespace
