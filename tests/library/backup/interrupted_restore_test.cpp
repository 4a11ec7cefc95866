// A restore that dies at each of its steps (a child process that ends at
// the step hook), and the start after it: the recovery must leave the
// library wholly the old one or wholly the new one, and nothing of the
// restore behind. A recovery that dies too is finished by the next start;
// a new item lost meanwhile makes the recovery put the old library back.
// What the recovery cannot tell apart (an item saved after the restore
// stopped, a staging name that is no folder) it leaves as it is; a journal
// that outlived its staging folder is removed, and one that cannot be
// removed is reported.

#include <gmock/gmock.h>

#include <climits>

#include "library/backup/backup_creator.h"
#include "library/backup/backup_fixture.h"
#include "library/library_writes.h"

namespace {

using namespace backup_test;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kCrashed = 77;
constexpr const char* kCrashedFinding = "the child exited with 77\n";
constexpr const char* kFirstJournalHeading = "igroovebix restore journal 1";

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
    BackupArchive::setFailingMoveForTesting(std::nullopt);
    BackupArchive::setFailingLookupForTesting(std::nullopt);
    LibraryWrites::allow();
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

  // An item line of the journal: "item <name> new <inode> old <inode or none>".
  struct ItemLine {
    std::string name, fresh, old;
  };

  // The journal under `heading` (empty: its own), each item line rewritten
  // by `line`.
  std::string rewrittenJournal(const std::string& heading, const std::function<std::string(const ItemLine&)>& line) {
    std::istringstream in(journalText());
    std::string out;
    for (std::string l; std::getline(in, l);) {
      if (l.rfind("igroovebix restore journal ", 0) == 0 && !heading.empty()) l = heading;
      if (l.rfind("item ", 0) == 0) {
        std::istringstream fields(l);
        std::string word, label, oldLabel;
        ItemLine item;
        fields >> word >> item.name >> label >> item.fresh >> oldLabel >> item.old;
        EXPECT_EQ(label + "/" + oldLabel, "new/old") << l;
        l = line(item);
      }
      out += l + "\n";
    }
    return out;
  }

  // The journal as the first format wrote it: the new items only.
  std::string inFirstFormat() {
    return rewrittenJournal(kFirstJournalHeading, [](const ItemLine& l) { return "item " + l.name + " " + l.fresh; });
  }

  bool logged(const std::string& part) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
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

  // A step hook that, just before the journal is unlinked, puts a folder
  // with a file in its place, so that the unlink fails; the journal's text
  // is kept in `heldJournal`. `inner` runs first.
  BackupArchive::StepHook journalBlocker(BackupArchive::StepHook inner = nullptr) {
    return [this, inner](const std::string& s) {
      if (inner) inner(s);
      if (s != "synced data directory" || !fs::is_regular_file(fs::symlink_status(journal()))) return;
      heldJournal = journalText();
      fs::remove(journal());
      writeText(journal() / "in the way", "a folder where the journal was");
    };
  }

  // The folder goes and the journal it stood for comes back: a journal
  // that outlived its restore.
  void unblockJournal() {
    fs::remove_all(journal());
    writeText(journal(), heldJournal);
  }

  std::string stagedTable() {
    const fs::path staging = stagingFolder();
    if (staging.empty()) return {};
    const auto b = readBytes(staging / "patternIndicesTable.plist");
    return std::string(b.begin(), b.end());
  }

  fs::path arch;
  std::map<std::string, std::string> oldLibrary, newLibrary;
  std::string heldJournal;
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
  bool firstFormat;  // under the heading of the first format
  // The item line in place of `item`.
  std::string (*line)(const InterruptedRestore::ItemLine& item);
  bool recovers;
};

void PrintTo(const ForeignJournal& j, std::ostream* os) { *os << j.label; }

class JournalFromAnotherBoot : public InterruptedRestore, public ::testing::WithParamInterface<ForeignJournal> {};

TEST_P(JournalFromAnotherBoot, IsFollowedByInodeOrLeftAlone) {
  const ForeignJournal& j = GetParam();
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  writeText(journal(), rewrittenJournal(j.firstFormat ? kFirstJournalHeading : "", j.line));
  expectRecovery(j.recovers ? &newLibrary : nullptr, "names no item");
}

INSTANTIATE_TEST_SUITE_P(
    Journals, JournalFromAnotherBoot,
    ::testing::Values(
        ForeignJournal{"written_by_this_version", false,
                       [](const InterruptedRestore::ItemLine& l) {
                         return "item " + l.name + " new " + l.fresh + " old " + l.old;
                       },
                       true},
        // The first format named the new items only.
        ForeignJournal{"written_in_the_first_format", true,
                       [](const InterruptedRestore::ItemLine& l) { return "item " + l.name + " " + l.fresh; }, true},
        // An earlier version recorded the device number before the inode.
        ForeignJournal{"device_number_changed", true,
                       [](const InterruptedRestore::ItemLine& l) { return "item " + l.name + " 4242 " + l.fresh; },
                       true},
        ForeignJournal{"no_item_anywhere", true,
                       [](const InterruptedRestore::ItemLine& l) { return "item " + l.name + " 0"; }, false},
        ForeignJournal{"no_item_anywhere_with_a_device", true,
                       [](const InterruptedRestore::ItemLine& l) { return "item " + l.name + " 4242 0"; }, false},
        // The old items are all in place, but no new one is anywhere.
        ForeignJournal{"no_new_item_anywhere", false,
                       [](const InterruptedRestore::ItemLine& l) { return "item " + l.name + " new 0 old " + l.old; },
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

// The sequence that lost a user's index table: a crash after the first
// exchange; a start whose recovery cannot move the next item in; a save of
// the half-swapped library, which gives the table a new inode as every
// atomic save does; then another start. The staging folder holds the user's
// original table: that start must neither take it nor move anything, by a
// journal of either format.
class SaveAfterAFailedRecovery : public InterruptedRestore, public ::testing::WithParamInterface<bool> {};

TEST_P(SaveAfterAFailedRecovery, LeavesTheOriginalTableWhereItIs) {
  const bool firstFormat = GetParam();
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  if (firstFormat) writeText(journal(), inFirstFormat());
  const std::string original = oldLibrary.at("patternIndicesTable.plist");
  ASSERT_EQ(stagedTable(), original) << "the crash did not leave the original table staged";

  BackupArchive::setFailingMoveForTesting(std::string("iGROOVEBIX_patternSet.plist"));
  std::string error;
  EXPECT_FALSE(BackupArchive::recoverInterruptedRestore(data(), &error));
  EXPECT_THAT(error, HasSubstr("cannot recover an interrupted restore"));
  EXPECT_THAT(error, HasSubstr("iGROOVEBIX_patternSet.plist"));
  EXPECT_TRUE(logged("cannot recover an interrupted restore")) << "the failure was not reported";
  BackupArchive::setFailingMoveForTesting(std::nullopt);

  const fs::path table = data() / "patternIndicesTable.plist";
  ASSERT_TRUE(platform::writeFileAtomically(table, readBytes(table)));

  expectRecovery(nullptr, firstFormat ? "may be part of the library the restore replaced"
                                      : "patternIndicesTable.plist was written after the restore stopped");
  EXPECT_EQ(stagedTable(), original);
  EXPECT_TRUE(fs::exists(journal()));
  // A restore meanwhile is refused, and takes nothing either.
  const auto before = snapshot(data());
  EXPECT_FALSE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error));
  EXPECT_THAT(error, HasSubstr("an interrupted restore is pending"));
  EXPECT_EQ(snapshot(data()), before);
}

INSTANTIATE_TEST_SUITE_P(Journals, SaveAfterAFailedRecovery, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "first_format" : "this_version");
                         });

// A restore that fails half way during a run, so that the old library
// cannot be wholly put back: the journal and the staging folder (with the
// old items) stay for the next start, and until then the library is not
// written, since a save would replace a half-swapped item by a file no
// start can place.
struct HalfWay {
  const char* label;
  bool noExchange;
  // Breaks the restore at one of its steps (a StepHook's argument).
  void (*breakAt)(InterruptedRestore& t, const std::string& step);
  bool newLibrary;  // which library the next start must find
};

void PrintTo(const HalfWay& h, std::ostream* os) { *os << h.label; }

class RestoreFailingHalfWay : public InterruptedRestore, public ::testing::WithParamInterface<HalfWay> {};

TEST_P(RestoreFailingHalfWay, KeepsWhatTheNextStartNeedsAndRefusesWritesTillThen) {
  const HalfWay& h = GetParam();
  BackupArchive::setExchangeUnavailableForTesting(h.noExchange);
  BackupArchive::setStepHookForTesting([&](const std::string& s) { h.breakAt(*this, s); });
  std::string error;
  EXPECT_FALSE(iGROOVEBIXBackupRestorer::sharedInstance()->restoreData(arch, &error));
  BackupArchive::setStepHookForTesting(nullptr);
  BackupArchive::setFailingMoveForTesting(std::nullopt);
  BackupArchive::setExchangeUnavailableForTesting(false);
  EXPECT_THAT(error, HasSubstr("the restore is finished at the next start"));
  EXPECT_TRUE(fs::exists(journal()));
  EXPECT_FALSE(stagingFolder().empty()) << "the staging folder went";
  const auto refusal = LibraryWrites::refusal();
  ASSERT_TRUE(refusal) << "the half-swapped library may be written";
  EXPECT_THAT(*refusal, HasSubstr("until a start finishes the interrupted restore"));
  EXPECT_THAT(*refusal, HasSubstr(error));

  recover();
  EXPECT_EQ(snapshot(data()), h.newLibrary ? newLibrary : oldLibrary);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RestoreFailingHalfWay,
    ::testing::Values(
        // The pattern folder's swap fails (its staged one is gone), and so
        // does the undo of the pattern sets' exchange.
        HalfWay{"undo_fails", false,
                [](InterruptedRestore& t, const std::string& s) {
                  if (s != "swapped iGROOVEBIX_patternSet.plist") return;
                  fs::remove_all(t.stagingFolder() / "patterns");
                  BackupArchive::setFailingMoveForTesting(std::string("iGROOVEBIX_patternSet.plist"));
                },
                false},
        // Without an exchange the live pattern folder is moved aside; then
        // neither the new one can be moved in nor the old one back, and
        // the old one is in the staging folder only.
        HalfWay{"moved_aside_item_cannot_go_back", true,
                [](InterruptedRestore&, const std::string& s) {
                  if (s == "moved aside patterns") BackupArchive::setFailingMoveForTesting(std::string("patterns"));
                },
                true}),
    [](const ::testing::TestParamInfo<HalfWay>& info) { return std::string(info.param.label); });

// An archive may hold any top-level name, those the swap gives the items it
// moves aside or parks among them. A restore whose undo put the old library
// wholly back is over all the same: nothing is kept for the next start,
// which would otherwise carry out the restore the user was told failed,
// and the library may be written.
class UndoneRestoreOfAnArchiveWithMoreNames : public InterruptedRestore,
                                              public ::testing::WithParamInterface<const char*> {};

TEST_P(UndoneRestoreOfAnArchiveWithMoreNames, LeavesNothingForTheNextStart) {
  const fs::path more = root / "more.gbd";
  {
    ZipArchive z;
    ASSERT_TRUE(z.CreateZipFile2(more, Utilities::createDataPassword()));
    for (const auto& [rel, bytes] : newLibrary) {
      if (!BackupArchive::shouldBackup(rel)) continue;
      writeBytes(root / "entry", std::vector<uint8_t>(bytes.begin(), bytes.end()));
      ASSERT_TRUE(z.addFileToZip(root / "entry", rel));
    }
    writeText(root / "entry", "not the user's library");
    ASSERT_TRUE(z.addFileToZip(root / "entry", GetParam()));
    ASSERT_TRUE(z.CloseZipFile2());
  }
  BackupArchive::setStepHookForTesting(secondSwapBreaker());
  std::string error;
  EXPECT_FALSE(iGROOVEBIXBackupRestorer::sharedInstance()->restoreData(more, &error));
  BackupArchive::setStepHookForTesting(nullptr);
  EXPECT_THAT(error, Not(HasSubstr("the restore is finished at the next start")));
  EXPECT_FALSE(fs::exists(journal()));
  EXPECT_TRUE(stagingFolder().empty()) << "the staging folder stayed";
  EXPECT_EQ(LibraryWrites::refusal(), std::nullopt);
  EXPECT_EQ(snapshot(data()), oldLibrary);
  recover();
  EXPECT_EQ(snapshot(data()), oldLibrary);
}

INSTANTIATE_TEST_SUITE_P(Names, UndoneRestoreOfAnArchiveWithMoreNames,
                         ::testing::Values("patterns.old", "iGROOVEBIX_patternSet.plist.new"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '.') c = '_';
                           return name;
                         });

// By a journal of the first format a rollback cannot tell an old item from
// one saved since; it still goes through when the staging folder is left
// with nothing but new items.
TEST_F(InterruptedRestore, FirstFormatJournalRollsBackWhenOnlyNewItemsAreStaged) {
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  writeText(journal(), inFirstFormat());
  fs::remove_all(stagingFolder() / "patterns");  // the new pattern folder, not yet swapped in
  recover();
  EXPECT_EQ(snapshot(data()), oldLibrary);
}

// A library without pattern sets took the restored ones in; undone, it is
// without them again, as the journal says there were none.
TEST_F(InterruptedRestore, RollbackLeavesOutAnItemThatWasNotThere) {
  fs::remove(data() / "iGROOVEBIX_patternSet.plist");
  oldLibrary.erase("iGROOVEBIX_patternSet.plist");
  ASSERT_EQ(restoreDyingAt("swapped iGROOVEBIX_patternSet.plist"), kCrashedFinding);
  EXPECT_THAT(journalText(), HasSubstr("item iGROOVEBIX_patternSet.plist new "));
  EXPECT_THAT(journalText(), HasSubstr(" old none\n"));
  fs::remove_all(stagingFolder() / "patterns");
  recover();
  EXPECT_EQ(snapshot(data()), oldLibrary);
}

// A staging name in the journal that is not a real folder is none of the
// restore's: a link is not followed into the folder it names, and neither
// it, the journal nor anything else is removed.
class StagingThatIsNoFolder : public InterruptedRestore, public ::testing::WithParamInterface<bool> {};

TEST_P(StagingThatIsNoFolder, IsRefusedAndNothingIsFollowedOrRemoved) {
  const bool link = GetParam();
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  const fs::path staging = stagingFolder();
  ASSERT_FALSE(staging.empty());
  // Elsewhere, a folder that looks like the staging folder.
  const fs::path outside = root / "elsewhere";
  fs::rename(staging, outside);
  if (link)
    fs::create_directory_symlink(outside, staging);
  else
    writeText(staging, "a file under the staging name");
  const auto outsideBefore = snapshot(outside);

  expectRecovery(nullptr, "which is not a folder");
  EXPECT_EQ(snapshot(outside), outsideBefore);
  std::string error;
  const auto before = snapshot(data());
  EXPECT_FALSE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error));
  EXPECT_THAT(error, HasSubstr("which is not a folder"));
  EXPECT_EQ(snapshot(data()), before);
  EXPECT_EQ(snapshot(outside), outsideBefore);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StagingThatIsNoFolder, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "symbolic_link" : "file");
                         });

// A journal whose staging folder is gone has nothing left to take back: it
// is removed (logged), also when an item is missing, which nothing could
// put back; restores work again. Only a folder or item known to be gone
// counts as gone: one that cannot be looked at keeps the journal, reported.
struct StaleJournal {
  const char* label;
  const char* alsoGone;       // a live item gone too, or nullptr
  const char* cannotLookAt;   // what no lstat can reach ("staging": the staging folder), or nullptr
  const char* logLine;        // what the removal logs
};

void PrintTo(const StaleJournal& j, std::ostream* os) { *os << j.label; }

class JournalWithoutStaging : public InterruptedRestore, public ::testing::WithParamInterface<StaleJournal> {};

TEST_P(JournalWithoutStaging, IsRemovedUnlessSomethingCannotBeLookedAt) {
  const StaleJournal& j = GetParam();
  ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  const fs::path staging = stagingFolder();
  fs::remove_all(staging);
  if (j.alsoGone) fs::remove_all(data() / j.alsoGone);
  auto whole = snapshot(data());
  whole.erase(".restore.journal");

  if (j.cannotLookAt) {
    BackupArchive::setFailingLookupForTesting(std::string(j.cannotLookAt) == "staging" ? staging.filename().string()
                                                                                      : std::string(j.cannotLookAt));
    expectRecovery(nullptr, "cannot look for");
    EXPECT_TRUE(fs::exists(journal()));
    BackupArchive::setFailingLookupForTesting(std::nullopt);
  }
  expectRecovery(&whole);
  EXPECT_FALSE(fs::exists(journal()));
  EXPECT_TRUE(logged(j.logLine)) << j.logLine;
  std::string error;
  EXPECT_TRUE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error)) << error;
  EXPECT_EQ(snapshot(data()), newLibrary);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JournalWithoutStaging,
    ::testing::Values(StaleJournal{"every_item_in_place", nullptr, nullptr, "every item of the library is in place"},
                      StaleJournal{"an_item_gone_too", "iGROOVEBIX_patternSet.plist", nullptr,
                                   "the library is without iGROOVEBIX_patternSet.plist"},
                      StaleJournal{"staging_folder_cannot_be_looked_at", nullptr, "staging",
                                   "every item of the library is in place"},
                      StaleJournal{"an_item_cannot_be_looked_at", nullptr, "patternIndicesTable.plist",
                                   "every item of the library is in place"},
                      StaleJournal{"a_missing_item_cannot_be_looked_at", "patterns", "patterns",
                                   "the library is without patterns"}),
    [](const ::testing::TestParamInfo<StaleJournal>& info) { return std::string(info.param.label); });

// A restore into a library without pattern sets whose undo went through but
// whose journal could not be removed: the staging folder is gone, the
// pattern sets are missing as they were, and the next start removes the
// journal instead of refusing every start from then on.
TEST_F(InterruptedRestore, UndoneRestoreIntoALibraryWithoutPatternSetsLeavesAJournalTheNextStartRemoves) {
  fs::remove(data() / "iGROOVEBIX_patternSet.plist");
  oldLibrary.erase("iGROOVEBIX_patternSet.plist");
  BackupArchive::setStepHookForTesting(journalBlocker(secondSwapBreaker()));
  std::string error;
  EXPECT_FALSE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error));
  BackupArchive::setStepHookForTesting(nullptr);
  EXPECT_THAT(error, HasSubstr("cannot remove the restore journal"));
  ASSERT_FALSE(heldJournal.empty()) << "the journal was never in the way";
  EXPECT_TRUE(stagingFolder().empty());
  unblockJournal();

  recover();
  EXPECT_EQ(snapshot(data()), oldLibrary);
  EXPECT_TRUE(logged("the library is without iGROOVEBIX_patternSet.plist"));
}

// A journal that cannot be unlinked is reported by whoever meant to remove
// it: a restore that finished (which still says the library is restored),
// one that was undone, a recovery. The staging folder goes all the same, so
// the journal left is stale: the next start removes it, and restores work
// again.
enum class Remover { FinishedRestore, UndoneRestore, Recovery };

std::string removerName(Remover r) {
  switch (r) {
    case Remover::FinishedRestore: return "finished_restore";
    case Remover::UndoneRestore: return "undone_restore";
    case Remover::Recovery: return "recovery";
  }
  return "unknown";
}

void PrintTo(Remover r, std::ostream* os) { *os << removerName(r); }

class JournalThatCannotBeRemoved : public InterruptedRestore, public ::testing::WithParamInterface<Remover> {};

TEST_P(JournalThatCannotBeRemoved, IsReportedAndGoesAtTheNextStart) {
  const Remover r = GetParam();
  if (r == Remover::Recovery) {
    ASSERT_EQ(restoreDyingAt("swapped patternIndicesTable.plist"), kCrashedFinding);
  }
  BackupArchive::setStepHookForTesting(journalBlocker(r == Remover::UndoneRestore ? secondSwapBreaker() : nullptr));
  std::string error;
  const bool ok = r == Remover::Recovery
                      ? BackupArchive::recoverInterruptedRestore(data(), &error)
                      : BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error);
  BackupArchive::setStepHookForTesting(nullptr);
  EXPECT_EQ(ok, r == Remover::FinishedRestore);
  EXPECT_THAT(error, HasSubstr("cannot remove the restore journal"));
  EXPECT_TRUE(logged("cannot remove the restore journal"));
  EXPECT_TRUE(stagingFolder().empty()) << "the staging folder stayed";
  ASSERT_FALSE(heldJournal.empty()) << "the journal was never in the way";

  unblockJournal();
  log.clear();
  recover();
  EXPECT_EQ(snapshot(data()), r == Remover::UndoneRestore ? oldLibrary : newLibrary);
  EXPECT_TRUE(logged("removed a stale restore journal"));
  EXPECT_TRUE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error)) << error;
  EXPECT_EQ(snapshot(data()), newLibrary);
}

INSTANTIATE_TEST_SUITE_P(Removers, JournalThatCannotBeRemoved,
                         ::testing::Values(Remover::FinishedRestore, Remover::UndoneRestore, Remover::Recovery),
                         [](const ::testing::TestParamInfo<Remover>& info) { return removerName(info.param); });

}  // namespace
