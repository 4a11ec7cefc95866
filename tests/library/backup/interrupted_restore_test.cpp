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
  bool noExchange;  // the file system has no atomic exchange
};

void PrintTo(const Crash& c, std::ostream* os) { *os << c.step << (c.noExchange ? " (no exchange)" : ""); }

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
    BackupArchive::setExchangeUnavailableForTesting(false);
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

  fs::path journal() const { return data() / ".restore.journal"; }

  // Runs the recovery: it must leave `whole`, or, when there is none, fail
  // with `refusal` and change nothing.
  void expectRecovery(const std::map<std::string, std::string>* whole, const std::string& refusal = {}) {
    const auto before = snapshot(data());
    std::string error;
    const bool recovered = BackupArchive::recoverInterruptedRestore(data(), &error);
    if (whole) {
      EXPECT_TRUE(recovered) << error;
      EXPECT_EQ(snapshot(data()), *whole);
    } else {
      EXPECT_FALSE(recovered);
      EXPECT_THAT(error, HasSubstr(refusal));
      EXPECT_EQ(snapshot(data()), before) << "the recovery changed what it could not put right";
    }
  }

  std::string journalText() {
    const auto b = readBytes(journal());
    return std::string(b.begin(), b.end());
  }

  // The journal with each item line rewritten by `line(name, inode)`.
  std::string rewrittenJournal(const std::function<std::string(const std::string&, const std::string&)>& line) {
    std::istringstream in(journalText());
    std::string out;
    for (std::string l; std::getline(in, l);) {
      if (l.rfind("item ", 0) == 0) {
        const size_t name = 5, space = l.find(' ', name);
        l = line(l.substr(name, space - name), l.substr(l.rfind(' ') + 1));
      }
      out += l + "\n";
    }
    return out;
  }

  // A step hook that, at "swapped patternIndicesTable.plist" of a restore,
  // takes the staged pattern sets away, so that their swap fails and the
  // restore undoes the first one.
  BackupArchive::StepHook secondSwapBreaker() {
    return [this](const std::string& s) {
      if (s != "swapped patternIndicesTable.plist") return;
      std::istringstream in(journalText());
      for (std::string l; std::getline(in, l);)
        if (l.rfind("staging ", 0) == 0) fs::remove(data() / l.substr(8) / "iGROOVEBIX_patternSet.plist");
    };
  }

  fs::path arch;
  std::map<std::string, std::string> oldLibrary, newLibrary;
};

class CrashAtStep : public InterruptedRestore, public ::testing::WithParamInterface<Crash> {};

TEST_P(CrashAtStep, NextStartFindsOneWholeLibrary) {
  const Crash& c = GetParam();
  BackupArchive::setExchangeUnavailableForTesting(c.noExchange);
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

// Every step on both paths; where the file system has no exchange, also
// the moment between moving an old item aside and moving the new one in.
std::vector<Crash> crashes() {
  std::vector<Crash> out;
  for (bool noExchange : {false, true}) {
    out.push_back({"checked", false, false, noExchange});
    out.push_back({"journal written", false, true, noExchange});
    if (noExchange) out.push_back({"moved aside patternIndicesTable.plist", true, true, noExchange});
    out.push_back({"swapped patternIndicesTable.plist", true, true, noExchange});
    if (noExchange) out.push_back({"moved aside iGROOVEBIX_patternSet.plist", true, true, noExchange});
    out.push_back({"swapped iGROOVEBIX_patternSet.plist", true, true, noExchange});
    if (noExchange) out.push_back({"moved aside patterns", true, true, noExchange});
    out.push_back({"swapped patterns", false, true, noExchange});
    out.push_back({"journal removed", false, true, noExchange});
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(Steps, CrashAtStep, ::testing::ValuesIn(crashes()),
                         [](const ::testing::TestParamInfo<Crash>& info) {
                           std::string name = std::string(info.param.noExchange ? "NoExchange_" : "") + info.param.step;
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

// A crash while the journal is being written leaves its temporary file
// (under atomic_file's temporary name) beside the staging folder; the next
// start removes both and keeps the old library.
TEST_F(InterruptedRestore, CrashWhileTheJournalIsWrittenLeavesNothingBehind) {
  const Findings f = inChild(
      [&]() -> Findings {
        platform::setAtomicWriteObserverForTesting([](const fs::path&) { ::_exit(kCrashed); });
        std::string error;
        BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error);
        return "ran past the journal's writing: " + error + "\n";
      },
      LONG_MAX);
  ASSERT_EQ(f, kCrashedFinding);
  bool temporaryLeft = false;
  for (const auto& e : fs::directory_iterator(data()))
    temporaryLeft = temporaryLeft || e.path().filename().string().rfind(platform::temporaryNamePrefix(journal()), 0) == 0;
  ASSERT_TRUE(temporaryLeft) << "the crash left no temporary journal";
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

// A journal written before a restart: the device number of the file system
// may have changed meanwhile (a btrfs subvolume, LVM, NFS), and a journal
// whose items are nowhere must not make the recovery take anything away.
struct ForeignJournal {
  const char* label;
  // The item line for `name` whose new item has inode `inode`.
  std::string (*line)(const std::string& name, const std::string& inode);
  bool recovers;
};

void PrintTo(const ForeignJournal& j, std::ostream* os) { *os << j.label; }

class JournalFromAnotherBoot : public InterruptedRestore, public ::testing::WithParamInterface<ForeignJournal> {};

TEST_P(JournalFromAnotherBoot, IsFollowedByInodeOrLeftAlone) {
  const ForeignJournal& j = GetParam();
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  writeText(journal(), rewrittenJournal(j.line));
  expectRecovery(j.recovers ? &newLibrary : nullptr, "names no item");
}

INSTANTIATE_TEST_SUITE_P(
    Journals, JournalFromAnotherBoot,
    ::testing::Values(
        ForeignJournal{"written_by_this_version",
                       [](const std::string& name, const std::string& inode) { return "item " + name + " " + inode; },
                       true},
        // An earlier version recorded the device number before the inode.
        ForeignJournal{"device_number_changed",
                       [](const std::string& name, const std::string& inode) {
                         return "item " + name + " 4242 " + inode;
                       },
                       true},
        ForeignJournal{"no_item_anywhere",
                       [](const std::string& name, const std::string&) { return "item " + name + " 0"; }, false},
        ForeignJournal{"no_item_anywhere_with_a_device",
                       [](const std::string& name, const std::string&) { return "item " + name + " 4242 0"; },
                       false}),
    [](const ::testing::TestParamInfo<ForeignJournal>& info) { return std::string(info.param.label); });

// Undoing the swap where there is no exchange parks the new item and then
// moves the old one back; a crash between the two leaves no live item. The
// recovery must put the old one back, or, when it is gone too, keep the
// journal and staging folder rather than report a whole library.
struct LostLive {
  const char* label;
  bool oldItemLeft;  // whether the staged old index table is still there
};

void PrintTo(const LostLive& l, std::ostream* os) { *os << l.label; }

class RollbackWithLiveItemMissing : public InterruptedRestore, public ::testing::WithParamInterface<LostLive> {};

TEST_P(RollbackWithLiveItemMissing, PutsTheOldItemBackOrKeepsTheJournal) {
  const LostLive& l = GetParam();
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  const fs::path staging = stagingFolder();
  ASSERT_FALSE(staging.empty());
  fs::rename(data() / "patternIndicesTable.plist", staging / "patternIndicesTable.plist.new");
  if (!l.oldItemLeft) fs::remove(staging / "patternIndicesTable.plist");
  // With the old index table gone too, the journal and the staging folder
  // (with the new one) stay for whoever can put it right.
  expectRecovery(l.oldItemLeft ? &oldLibrary : nullptr, "neither the new nor the old patternIndicesTable.plist");
}

INSTANTIATE_TEST_SUITE_P(Cases, RollbackWithLiveItemMissing,
                         ::testing::Values(LostLive{"old_item_staged", true}, LostLive{"old_item_gone", false}),
                         [](const ::testing::TestParamInfo<LostLive>& info) { return std::string(info.param.label); });

// The journal goes only after the renames in the staging folder and the
// data directory are on disk, and its removal is on disk before the restore
// returns: whether the swap finished or was undone.
class JournalRemoval : public InterruptedRestore, public ::testing::WithParamInterface<bool> {};

TEST_P(JournalRemoval, FollowsTheSyncOfBothFolders) {
  const bool undone = GetParam();
  const BackupArchive::StepHook inner = undone ? secondSwapBreaker() : nullptr;
  std::vector<std::string> seen;  // the sync steps, with whether the journal was there
  BackupArchive::setStepHookForTesting([&](const std::string& s) {
    if (inner) inner(s);
    if (s.rfind("synced ", 0) == 0 || s == "journal removed")
      seen.push_back(s + (fs::exists(journal()) ? " (journal there)" : " (journal gone)"));
  });
  std::string error;
  EXPECT_EQ(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error), !undone) << error;
  EXPECT_THAT(seen, ::testing::ElementsAre("synced staging (journal there)", "synced data directory (journal there)",
                                           "synced data directory (journal gone)", "journal removed (journal gone)"));
  EXPECT_EQ(snapshot(data()), undone ? oldLibrary : newLibrary);
}

INSTANTIATE_TEST_SUITE_P(Paths, JournalRemoval, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "undone" : "finished");
                         });

// Another process (a second instance of the program) may neither finish
// nor remove the swap of a restore that is still running, nor start a
// backup or restore of its own meanwhile.
TEST_F(InterruptedRestore, AnotherProcessWaitsForARunningRestore) {
  int paused[2], resume[2];
  ASSERT_EQ(::pipe(paused), 0);
  ASSERT_EQ(::pipe(resume), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::alarm(60);
    BackupArchive::setStepHookForTesting([&](const std::string& s) {
      if (s != "journal written") return;
      char c = 'p';
      if (::write(paused[1], &c, 1) != 1) ::_exit(2);
      if (::read(resume[0], &c, 1) != 1) ::_exit(3);
    });
    std::string error;
    ::_exit(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error) ? 0 : 1);
  }
  ::close(paused[1]);
  ::close(resume[0]);
  char c = 0;
  ASSERT_EQ(::read(paused[0], &c, 1), 1) << "the restore did not reach its swap";
  const fs::path staging = stagingFolder();
  ASSERT_FALSE(staging.empty());
  const auto running = snapshot(data());

  std::string error;
  EXPECT_FALSE(BackupArchive::recoverInterruptedRestore(data(), &error));
  EXPECT_THAT(error, HasSubstr("busy"));
  error.clear();
  EXPECT_FALSE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error));
  EXPECT_THAT(error, HasSubstr("busy"));
  error.clear();
  EXPECT_FALSE(BackupArchive::write(data(), root / "meanwhile.gbd", Utilities::createDataPassword(), {}, &error));
  EXPECT_THAT(error, HasSubstr("busy"));
  EXPECT_EQ(snapshot(data()), running) << "the running restore's swap was touched";

  c = 'r';
  ASSERT_EQ(::write(resume[1], &c, 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::close(paused[0]);
  ::close(resume[1]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the running restore failed";
  EXPECT_EQ(snapshot(data()), newLibrary);
  EXPECT_FALSE(fs::exists(data() / BackupArchive::lockFileName()));
}

// A restore meets the journal of one a crash interrupted: that one is
// finished first, so a failing second restore that undoes its own swap
// cannot take the only record of the half-done first one with it.
TEST_F(InterruptedRestore, PendingJournalIsRecoveredBeforeARestore) {
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  BackupArchive::setStepHookForTesting(secondSwapBreaker());
  std::string error;
  EXPECT_FALSE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error));
  BackupArchive::setStepHookForTesting(nullptr);
  recover();
  EXPECT_EQ(snapshot(data()), newLibrary);
}

TEST_F(InterruptedRestore, UnrecoverableJournalRefusesARestore) {
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  writeText(journal(), "not a journal\n");
  const auto before = snapshot(data());
  std::string error;
  EXPECT_FALSE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error));
  EXPECT_THAT(error, HasSubstr("an interrupted restore is pending"));
  EXPECT_THAT(error, HasSubstr("the restore journal is unreadable"));
  EXPECT_EQ(snapshot(data()), before);
}

}  // namespace
