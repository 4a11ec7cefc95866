#include "library/backup/backup_creator.h"

#include <gmock/gmock.h>

#include <csignal>
#include <regex>
#include <sys/resource.h>

#include "library/backup/backup_fixture.h"
#include "library/backup/zip_archive.h"
#include "library/library_writes.h"
#include "platform/notify/notification_center.h"

namespace {

using namespace backup_test;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// Counts the posts of one notification and the objects they carried.
class PostCounter {
 public:
  explicit PostCounter(const std::string& name) {
    platform::NotificationCenter::defaultCenter().addObserver(this, name, [this](const platform::Notification& n) {
      if (auto c = n.objectAs<BackupCreator*>()) objects.push_back(*c);
      if (auto r = n.objectAs<BackupRestorer*>()) objects.push_back(*r);
      ++count;
    });
  }
  ~PostCounter() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  int count = 0;
  std::vector<const void*> objects;
};

class RecordingTasks : public BackgroundTaskHost {
 public:
  Identifier beginBackgroundTask(std::function<void()> expiration) override {
    expirations.push_back(std::move(expiration));
    begun.push_back(next);
    return next++;
  }
  void endBackgroundTask(Identifier task) override { ended.push_back(task); }
  std::vector<std::function<void()>> expirations;
  std::vector<Identifier> begun, ended;
  Identifier next = 41;
};

class BackupFlowTest : public BackupTest {
 public:
  void SetUp() override {
    BackupTest::SetUp();
    makeLibrary(docs, 5);
  }

  // The files a backup must hold: relative path -> bytes.
  std::map<std::string, std::string> expectedEntries(const fs::path& dataDir) {
    std::map<std::string, std::string> out;
    for (const auto& [rel, bytes] : snapshot(dataDir)) {
      if (rel.back() == '/' || !BackupArchive::shouldBackup(rel)) continue;
      out[rel] = bytes;
    }
    return out;
  }

  // The entries of an archive as Python's zipfile reads them with the
  // library's password: "name flag size" lines, and each entry unpacked
  // below `into`.
  std::string pythonEntries(const fs::path& archive, const fs::path& into) {
    return python("import zipfile, os\n"
                  "z = zipfile.ZipFile('" + archive.string() + "')\n"
                  "for i in z.infolist():\n"
                  "    data = z.read(i, pwd=b'" + Utilities::createDataPassword() + "')\n"
                  "    print(i.filename, i.flag_bits & 1, i.compress_type)\n"
                  "    p = os.path.join('" + into.string() + "', i.filename)\n"
                  "    os.makedirs(os.path.dirname(p), exist_ok=True)\n"
                  "    open(p, 'wb').write(data)\n"
                  "print('comment', len(z.comment))\n");
  }

  fs::path backupWithArchive(const std::string& password = Utilities::createDataPassword()) {
    const fs::path target = docs / "made.gbd";
    std::string error;
    EXPECT_TRUE(BackupArchive::write(data(), target, password, {}, &error)) << error;
    return target;
  }

  // An archive of the library with extra or replaced entries, written with
  // the library's password by the wrapper itself (which stores any name).
  fs::path craft(const std::vector<std::pair<std::string, std::string>>& extra,
                        const std::vector<std::string>& skip = {}) {
    const fs::path arch = root / "crafted.gbd";
    ZipArchive z;
    EXPECT_TRUE(z.CreateZipFile2(arch, Utilities::createDataPassword()));
    for (const auto& [rel, bytes] : expectedEntries(data())) {
      if (std::find(skip.begin(), skip.end(), rel) != skip.end()) continue;
      EXPECT_TRUE(z.addFileToZip(data() / rel, rel));
    }
    int n = 0;
    for (const auto& [name, bytes] : extra) {
      const fs::path f = root / ("extra" + std::to_string(n++));
      writeText(f, bytes);
      EXPECT_TRUE(z.addFileToZip(f, name));
    }
    EXPECT_TRUE(z.CloseZipFile2());
    return arch;
  }

  // Replaces `arch` by a backup of the library under another password whose
  // first entry's check byte the library's password passes (or fails).
  void underAnotherPassword(const fs::path& arch, bool passing) {
    fs::remove(arch);
    std::string e;
    ASSERT_TRUE(BackupArchive::write(data(), arch, "not the password", {}, &e)) << e;
    auto bytes = readBytes(arch);
    const auto entries = cipherEntries(bytes);
    ASSERT_FALSE(entries.empty());
    forceCheckByte(bytes, entries.front(), Utilities::createDataPassword(), passing);
    writeBytes(arch, bytes);
  }

  // "patterns/<identifier>" of the library's first pattern.
  std::string firstPattern() {
    for (const auto& [rel, bytes] : expectedEntries(data()))
      if (rel.rfind("patterns/", 0) == 0 && rel.find("sub/") == std::string::npos) return rel;
    return {};
  }
};

TEST_F(BackupFlowTest, BackupOpensWithUnzipAndPythonUnderRelativePaths) {
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  int stored = 0;
  creator->setStoreData([&] {
    // The application's save runs before the listing: what it writes is
    // what the archive holds.
    ++stored;
    PatternIndicesTable t;
    ASSERT_TRUE(t.loadTableFrom(data() / "patternIndicesTable.plist"));
    t.add(record(77), "99990211");
    ASSERT_TRUE(writePatternFile(data() / "patterns" / "99990211", record(77)));
    ASSERT_TRUE(t.storeTableAt(data() / "patternIndicesTable.plist"));
  });
  PostCounter finished(kBackupCreatorDidFinishedBackup);

  auto path = creator->createWithName();
  creator->setStoreData(nullptr);
  ASSERT_TRUE(path.has_value()) << creator->lastError();
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(path->parent_path(), docs);
  EXPECT_EQ(finished.count, 1);
  EXPECT_EQ(finished.objects, std::vector<const void*>{static_cast<BackupCreator*>(creator.get())});
  EXPECT_FALSE(creator->isCreating());
  EXPECT_EQ(creator->bgTask(), BackgroundTaskHost::kInvalid);
  EXPECT_EQ(BackgroundTaskHost::openStandardTasks(), 0u);

  const auto expected = expectedEntries(data());
  ASSERT_TRUE(expected.count("patterns/99990211"));
  ASSERT_TRUE(expected.count("patterns/sub/notes.txt"));

  // unzip, with the password.
  std::string out;
  ASSERT_EQ(run("unzip -P '" + Utilities::createDataPassword() + "' -q " + quoted(*path) + " -d " +
                    quoted(root / "unzip"),
                &out),
            0)
      << out;
  auto unzipped = snapshot(root / "unzip");
  std::map<std::string, std::string> files;
  for (auto& [k, v] : unzipped)
    if (k.back() != '/') files[k] = v;
  EXPECT_EQ(files, expected);

  // Python's zipfile: the same entries, every one enciphered and deflated,
  // no folder entries, no comment.
  const std::string listing = pythonEntries(*path, root / "python");
  std::map<std::string, std::string> viaPython;
  for (auto& [k, v] : snapshot(root / "python"))
    if (k.back() != '/') viaPython[k] = v;
  EXPECT_EQ(viaPython, expected);
  for (const auto& [rel, bytes] : expected) EXPECT_THAT(listing, HasSubstr(rel + " 1 8\n"));
  EXPECT_THAT(listing, ::testing::Not(HasSubstr("/ 1")));
  EXPECT_THAT(listing, HasSubstr("comment 0"));
  EXPECT_THAT(listing, ::testing::Not(HasSubstr("global.dat")));
  EXPECT_THAT(listing, ::testing::Not(HasSubstr("gbx_editBuffer.dat")));
}

TEST_F(BackupFlowTest, EntriesAreInBytewiseOrder) {
  const fs::path arch = backupWithArchive();
  const std::string names = python("import zipfile\nprint(zipfile.ZipFile('" + arch.string() + "').namelist())\n");
  std::vector<std::string> expected;
  for (const auto& [rel, bytes] : expectedEntries(data())) expected.push_back("'" + rel + "'");
  std::string joined = "[";
  for (size_t i = 0; i < expected.size(); ++i) joined += (i ? ", " : "") + expected[i];
  joined += "]";
  EXPECT_THAT(names, HasSubstr(joined));
}

TEST_F(BackupFlowTest, RestoreRoundTripIntoAFreshRoot) {
  const auto path = iGROOVEBIXBackupCreator::sharedInstance()->createWithName();
  ASSERT_TRUE(path);
  const auto original = expectedEntries(data());

  // Another installation with its own, different library and settings.
  const fs::path docs2 = root / "Other";
  makeLibrary(docs2, 3, 40);
  writeText(docs2 / ".igroovebix.d" / "patterns" / "stale-only-here", "gone after the restore");
  const std::string otherGlobal = snapshot(docs2 / ".igroovebix.d")["global.dat"];
  ::setenv("IGROOVEBIX_HOME", docs2.c_str(), 1);

  auto restorer = iGROOVEBIXBackupRestorer::sharedInstance();
  PostCounter finished(kRestoreDidFinishedNotification);
  std::string error;
  ASSERT_TRUE(restorer->restoreData(*path, &error)) << error;
  EXPECT_EQ(finished.count, 1);
  EXPECT_FALSE(restorer->restoring());
  EXPECT_EQ(BackgroundTaskHost::openStandardTasks(), 0u);

  const auto now = snapshot(docs2 / ".igroovebix.d");
  EXPECT_EQ(expectedEntries(docs2 / ".igroovebix.d"), original);
  EXPECT_FALSE(now.count("patterns/stale-only-here"));
  EXPECT_EQ(now.at("global.dat"), otherGlobal);  // never in a backup
  for (const auto& [rel, bytes] : now) EXPECT_EQ(rel.find(".restore-"), std::string::npos) << rel;

  // The restored library loads.
  PatternIndicesTable t;
  ASSERT_TRUE(t.loadTableFrom(docs2 / ".igroovebix.d" / "patternIndicesTable.plist"));
  EXPECT_EQ(t.numberOfPatterns(), 5);
}

TEST_F(BackupFlowTest, RestoreIntoAnEmptyDataDirectory) {
  const fs::path arch = backupWithArchive();
  const fs::path docs2 = root / "Fresh";
  fs::create_directories(docs2 / ".igroovebix.d");
  std::string error;
  ASSERT_TRUE(BackupArchive::restore(arch, docs2 / ".igroovebix.d", Utilities::createDataPassword(), &error)) << error;
  EXPECT_EQ(expectedEntries(docs2 / ".igroovebix.d"), expectedEntries(data()));
}

// A restore that goes through has first finished whatever an earlier one
// left pending, so the library may be written again; one that is refused
// leaves the refusal as it was.
TEST_F(BackupFlowTest, ARestoreThatGoesThroughLetsTheLibraryBeWrittenAgain) {
  const fs::path arch = backupWithArchive();
  struct Reset {
    ~Reset() {
      LibraryWrites::allow();
      BackupRestorer::libraryReloaded();
    }
  } reset;
  LibraryWrites::refuse("a restore is pending");
  auto restorer = iGROOVEBIXBackupRestorer::sharedInstance();
  std::string error;
  EXPECT_FALSE(restorer->restoreData(docs / "missing.gbd", &error));
  EXPECT_EQ(LibraryWrites::refusal(), std::optional<std::string>("a restore is pending"));
  EXPECT_TRUE(restorer->restoreData(arch, &error)) << error;
  EXPECT_EQ(error, "") << "a clean restore says nothing";
  EXPECT_FALSE(LibraryWrites::refusal());
}

// A way to spoil an archive; each must be refused with the library intact.
struct Spoiler {
  const char* label;
  const char* reason;  // found in the error text
  std::function<void(BackupFlowTest&, fs::path&)> spoil;
};

class RestoreRefusals : public BackupFlowTest, public ::testing::WithParamInterface<Spoiler> {};

TEST_P(RestoreRefusals, LeaveTheLibraryIntact) {
  fs::path arch = backupWithArchive();
  GetParam().spoil(*this, arch);
  const auto before = snapshot(data());
  const auto rootBefore = snapshot(root / "Documents");

  auto restorer = iGROOVEBIXBackupRestorer::sharedInstance();
  PostCounter finished(kRestoreDidFinishedNotification);
  std::string error;
  EXPECT_FALSE(restorer->restoreData(arch, &error));
  EXPECT_THAT(error, HasSubstr(GetParam().reason));
  EXPECT_EQ(finished.count, 1);  // posted after every run, failed or not
  EXPECT_EQ(snapshot(data()), before);
  EXPECT_EQ(snapshot(root / "Documents"), rootBefore);
  EXPECT_FALSE(fs::exists(root / "x"));
  EXPECT_FALSE(fs::exists(docs / "x"));
  EXPECT_FALSE(fs::exists(root / "escaped"));
}

INSTANTIATE_TEST_SUITE_P(
    Spoiled, RestoreRefusals,
    ::testing::Values(
        // Written under another password; the check byte of the first
        // entry is set to fail, or to pass as it does by chance once in
        // 256 archives.
        Spoiler{"wrong_password", "Wrong password",
                [](BackupFlowTest& t, fs::path& arch) { t.underAnotherPassword(arch, false); }},
        Spoiler{"wrong_password_past_the_check_byte", "Wrong password",
                [](BackupFlowTest& t, fs::path& arch) { t.underAnotherPassword(arch, true); }},
        Spoiler{"bad_crc", "CRC error",
                [](BackupFlowTest& t, fs::path& arch) {
                  // The low byte of the last entry's CRC, in both headers.
                  t.python("import struct\n"
                           "p = '" + arch.string() + "'\n"
                           "b = bytearray(open(p, 'rb').read())\n"
                           "pos = struct.unpack('<I', b[-6:-2])[0]\n"
                           "last = None\n"
                           "while b[pos:pos+4] == b'PK\\x01\\x02':\n"
                           "    n, e, c = struct.unpack('<HHH', b[pos+28:pos+34])\n"
                           "    last = (pos, struct.unpack('<I', b[pos+42:pos+46])[0])\n"
                           "    pos += 46 + n + e + c\n"
                           "b[last[0]+16] ^= 1\n"
                           "b[last[1]+14] ^= 1\n"
                           "open(p, 'wb').write(b)\n");
                }},
        Spoiler{"truncated", "cannot open",
                [](BackupFlowTest&, fs::path& arch) {
                  auto bytes = readBytes(arch);
                  bytes.resize(bytes.size() - 40);
                  writeBytes(arch, bytes);
                }},
        Spoiler{"not_a_zip", "cannot open", [](BackupFlowTest&, fs::path& arch) { writeText(arch, "just text, no archive"); }},
        Spoiler{"parent_name", "Unsafe entry name", [](BackupFlowTest& t, fs::path& arch) { arch = t.craft({{"../x", "evil"}}); }},
        Spoiler{"deep_parent_name", "Unsafe entry name",
                [](BackupFlowTest& t, fs::path& arch) { arch = t.craft({{"patterns/../../x", "evil"}}); }},
        Spoiler{"absolute_name", "Unsafe entry name",
                [](BackupFlowTest& t, fs::path& arch) { arch = t.craft({{(t.root / "escaped").string(), "evil"}}); }},
        Spoiler{"extra_top_level", "\"global.dat\"", [](BackupFlowTest& t, fs::path& arch) { arch = t.craft({{"global.dat", "x"}}); }},
        Spoiler{"missing_pattern_sets", "no iGROOVEBIX_patternSet.plist",
                [](BackupFlowTest& t, fs::path& arch) { arch = t.craft({}, {"iGROOVEBIX_patternSet.plist"}); }},
        Spoiler{"empty_pattern_sets", "pattern sets are empty",
                [](BackupFlowTest& t, fs::path& arch) {
                  arch = t.craft({{"iGROOVEBIX_patternSet.plist", ""}}, {"iGROOVEBIX_patternSet.plist"});
                }},
        Spoiler{"short_pattern_sets", "64 pattern numbers",
                [](BackupFlowTest& t, fs::path& arch) {
                  platform::Array grid(63, platform::Value(1));
                  auto xml = platform::propertyListToXML(platform::Value(grid));
                  arch = t.craft({{"iGROOVEBIX_patternSet.plist", *xml}}, {"iGROOVEBIX_patternSet.plist"});
                }},
        Spoiler{"unreadable_index_table", "index table is unreadable",
                [](BackupFlowTest& t, fs::path& arch) {
                  arch = t.craft({{"patternIndicesTable.plist", "<plist>garbage"}}, {"patternIndicesTable.plist"});
                }},
        Spoiler{"traversing_identifier", "\"../../x\"",
                [](BackupFlowTest& t, fs::path& arch) {
                  PatternIndicesTable table;
                  table.add(record(1), "../../x");
                  const auto bytes = table.archivedBytes();
                  arch = t.craft({{"patternIndicesTable.plist", std::string(bytes.begin(), bytes.end())}},
                               {"patternIndicesTable.plist"});
                }},
        Spoiler{"wrong_pattern_size", "is not a pattern",
                [](BackupFlowTest& t, fs::path& arch) {
                  const std::string first = t.firstPattern();
                  arch = t.craft({{first, "short"}}, {first});
                }},
        Spoiler{"no_patterns", "has no patterns",
                [](BackupFlowTest& t, fs::path& arch) {
                  std::vector<std::string> skip;
                  for (const auto& [rel, b] : t.expectedEntries(t.data()))
                    if (rel.rfind("patterns/", 0) == 0) skip.push_back(rel);
                  arch = t.craft({}, skip);
                }}),
    [](const ::testing::TestParamInfo<Spoiler>& info) { return info.param.label; });

TEST_F(BackupFlowTest, WrongPasswordsOnEitherSideOfTheCheckByteRestoreNothing) {
  const fs::path arch = backupWithArchive();
  const auto bytes = readBytes(arch);
  const auto entries = cipherEntries(bytes);
  ASSERT_FALSE(entries.empty());
  const auto before = snapshot(data());
  for (bool passing : {false, true}) {
    for (const std::string& pw : wrongPasswords(bytes, entries.front(), "guess ", passing, 4)) {
      std::string error;
      EXPECT_FALSE(BackupArchive::restore(arch, data(), pw, &error)) << pw;
      EXPECT_THAT(error, HasSubstr(kZipErrorPassword)) << pw << (passing ? " (past the check byte)" : "");
      EXPECT_EQ(snapshot(data()), before) << pw;
    }
  }
  // The right one still restores the archive.
  std::string error;
  EXPECT_TRUE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error)) << error;
  EXPECT_EQ(snapshot(data()), before);
}

TEST_F(BackupFlowTest, FailedSwapPutsTheOldLibraryBack) {
  const fs::path arch = backupWithArchive();
  // Another library in place, whose pattern folder cannot be moved: the
  // index table and the pattern sets are exchanged first, then the third
  // exchange fails and both must be undone.
  fs::remove_all(data());
  makeLibrary(docs, 2, 60);
  const auto before = snapshot(data());
  if (run("chattr +i " + quoted(data() / "patterns")) != 0) GTEST_SKIP() << "no immutable flag on this file system";
  std::string error;
  const bool restored = BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error);
  run("chattr -i " + quoted(data() / "patterns"));
  EXPECT_FALSE(restored);
  EXPECT_THAT(error, HasSubstr("patterns"));
  EXPECT_EQ(snapshot(data()), before);
}

TEST_F(BackupFlowTest, SecondBackupWhileOneRunsReturnsNothing) {
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  PostCounter finished(kBackupCreatorDidFinishedBackup);
  std::optional<fs::path> inner = fs::path("unset");
  bool restoreInside = true;
  std::string restoreError;
  creator->setStoreData([&] {
    EXPECT_TRUE(creator->isCreating());
    inner = creator->createWithName("inner.gbd");
    // Nor can a restore replace the library while it is being read.
    restoreInside = iGROOVEBIXBackupRestorer::sharedInstance()->restoreData(docs / "whatever.gbd", &restoreError);
  });
  const auto outer = creator->createWithName("outer.gbd");
  creator->setStoreData(nullptr);
  ASSERT_TRUE(outer);
  EXPECT_FALSE(inner.has_value());
  EXPECT_FALSE(restoreInside);
  EXPECT_THAT(restoreError, HasSubstr("busy"));
  EXPECT_EQ(finished.count, 1);
  EXPECT_FALSE(fs::exists(docs / "inner.gbd"));
}

// A restorer that is asked for a second restore while its first one runs.
class ReentrantRestorer : public iGROOVEBIXBackupRestorer {
 public:
  fs::path second;
  bool secondResult = true;
  std::string secondError;

 protected:
  bool restoreProcess(const fs::path& url, std::string* error) override {
    secondResult = restoreData(second, &secondError);
    return iGROOVEBIXBackupRestorer::restoreProcess(url, error);
  }
};

TEST_F(BackupFlowTest, SecondRestoreWhileOneRunsIsRefused) {
  const fs::path arch = backupWithArchive();
  ReentrantRestorer restorer;
  restorer.second = arch;
  RecordingTasks tasks;
  restorer.setBackgroundTaskHost(&tasks);
  PostCounter finished(kRestoreDidFinishedNotification);
  std::string error;
  EXPECT_TRUE(restorer.restoreData(arch, &error)) << error;
  EXPECT_FALSE(restorer.secondResult);
  EXPECT_THAT(restorer.secondError, HasSubstr("busy"));
  EXPECT_EQ(finished.count, 1);
  EXPECT_EQ(finished.objects, std::vector<const void*>{static_cast<BackupRestorer*>(&restorer)});
  // One background task, begun and ended.
  EXPECT_EQ(tasks.begun, std::vector<BackgroundTaskHost::Identifier>{41});
  EXPECT_EQ(tasks.ended, std::vector<BackgroundTaskHost::Identifier>{41});
  EXPECT_EQ(restorer.bgTask(), BackgroundTaskHost::kInvalid);
}

TEST_F(BackupFlowTest, BackgroundTaskCoversTheBackupAndItsExpiryEndsIt) {
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  RecordingTasks tasks;
  creator->setBackgroundTaskHost(&tasks);
  BackgroundTaskHost::Identifier during = BackgroundTaskHost::kInvalid;
  creator->setStoreData([&] {
    during = creator->bgTask();
    // The platform runs out of time: the handler ends the task at once.
    tasks.expirations.back()();
  });
  const auto path = creator->createWithName("covered.gbd");
  creator->setStoreData(nullptr);
  creator->setBackgroundTaskHost(nullptr);
  ASSERT_TRUE(path);
  EXPECT_EQ(during, 41u);
  EXPECT_EQ(tasks.ended, std::vector<BackgroundTaskHost::Identifier>{41});  // once, not twice
  EXPECT_EQ(creator->bgTask(), BackgroundTaskHost::kInvalid);
}

TEST_F(BackupFlowTest, IncompleteLibraryMakesNoBackup) {
  fs::remove(data() / "iGROOVEBIX_patternSet.plist");
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  PostCounter finished(kBackupCreatorDidFinishedBackup);
  EXPECT_FALSE(creator->createWithName("incomplete.gbd"));
  EXPECT_THAT(creator->lastError(), HasSubstr("iGROOVEBIX_patternSet.plist"));
  EXPECT_EQ(finished.count, 1);
  // No archive, and no temporary file left behind.
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(docs)) names.push_back(e.path().filename().string());
  EXPECT_THAT(names, ElementsAreArray({".igroovebix.d"}));
}

TEST_F(BackupFlowTest, FailedWriteLeavesNoFile) {
  // An unreadable pattern file: the archive would be incomplete.
  fs::create_directories(data() / "patterns" / "blocked");
  fs::remove_all(data() / "patterns" / "sub");
  ::mkfifo((data() / "patterns" / "pipe").c_str(), 0644);  // not a regular file: skipped
  const fs::path bad = data() / "patterns" / "blocked" / "link";
  fs::create_symlink("/nonexistent", bad);  // a link: never followed, skipped
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  const auto path = creator->createWithName("skips.gbd");
  ASSERT_TRUE(path) << creator->lastError();
  const std::string names = python("import zipfile\nprint(zipfile.ZipFile('" + path->string() + "').namelist())\n");
  EXPECT_THAT(names, ::testing::Not(HasSubstr("pipe")));
  EXPECT_THAT(names, ::testing::Not(HasSubstr("link")));

  // A full disk half-way: the backup fails and leaves nothing.
  const auto limit = static_cast<rlim_t>(fs::file_size(*path) / 2);
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim = old;
  lim.rlim_cur = limit;
  ::setrlimit(RLIMIT_FSIZE, &lim);
  const auto full = creator->createWithName("full.gbd");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(full);
  std::vector<std::string> left;
  for (auto& e : fs::directory_iterator(docs)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_THAT(left, ElementsAreArray({".igroovebix.d", "skips.gbd"}));
}

TEST_F(BackupFlowTest, BackupHoldsNothingTheRestoreWouldRefuse) {
  // A stray file in the pattern directory larger than any pattern file
  // stays out; the backup is made and restores.
  writeBytes(data() / "patterns" / "sub" / "large.bin", std::vector<uint8_t>(PatternRecord::kSize + 1, 'L'));
  const fs::path arch = backupWithArchive();
  const std::string names = python("import zipfile\nprint(zipfile.ZipFile('" + arch.string() + "').namelist())\n");
  EXPECT_THAT(names, ::testing::Not(HasSubstr("large.bin")));
  EXPECT_THAT(names, HasSubstr("patterns/sub/notes.txt"));
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
    return l.find("left patterns/sub/large.bin out of the backup") != std::string::npos;
  }));
  std::string error;
  EXPECT_TRUE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error)) << error;

  // An index table past its bound makes no backup at all.
  std::vector<uint8_t> table = readBytes(data() / "patternIndicesTable.plist");
  table.resize(BackupArchive::kIndexTableSizeBound + 1, ' ');
  writeBytes(data() / "patternIndicesTable.plist", table);
  error.clear();
  EXPECT_FALSE(BackupArchive::write(data(), docs / "big.gbd", Utilities::createDataPassword(), {}, &error));
  EXPECT_THAT(error, HasSubstr("patternIndicesTable.plist is larger than any library can hold"));
  EXPECT_FALSE(fs::exists(docs / "big.gbd"));
}

TEST_F(BackupFlowTest, BackupKeepsToTheRestoresNameAndEntryLimits) {
  const ZipArchiveLimits limits = BackupArchive::restoreLimits();
  // A stray file whose path is longer than a restore takes stays out.
  fs::path deep = data() / "patterns";
  std::string rel = "patterns";
  while (rel.size() <= limits.maxNameLength) {
    const std::string part(200, 'd');
    deep /= part;
    rel += "/" + part;
  }
  writeText(deep / "stray.txt", "deep");
  const fs::path arch = backupWithArchive();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
    return l.find("its name is longer than a restore takes") != std::string::npos;
  }));
  std::string error;
  EXPECT_TRUE(BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error)) << error;

  // More files than a restore takes make no backup at all.
  fs::create_directories(data() / "patterns" / "many");
  for (uint64_t i = 0; i < limits.maxEntries; ++i)
    std::ofstream(data() / "patterns" / "many" / std::to_string(i));
  error.clear();
  EXPECT_FALSE(BackupArchive::write(data(), docs / "many.gbd", Utilities::createDataPassword(), {}, &error));
  EXPECT_THAT(error, HasSubstr("more than the 10000 a restore takes"));
  EXPECT_FALSE(fs::exists(docs / "many.gbd"));
}

TEST_F(BackupFlowTest, SameSecondBackupsKeepEachOther) {
  BackupFileNameCreator::setClock([] { return std::chrono::system_clock::from_time_t(1735553130); });
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  const auto first = creator->createWithName();
  ASSERT_TRUE(first);
  const auto firstBytes = readBytes(*first);
  const auto second = creator->createWithName();
  ASSERT_TRUE(second);
  EXPECT_EQ(first->filename(), "Test Device_2024-12-30 10.05.30.gbd");
  EXPECT_EQ(second->filename(), "Test Device_2024-12-30 10.05.30-2.gbd");
  EXPECT_EQ(readBytes(*first), firstBytes);
}

TEST_F(BackupFlowTest, NamesFollowTheirRules) {
  // 30 December 2024 lies in the first week of 2025: the calendar year is
  // the one that belongs in the name.
  BackupFileNameCreator::setClock([] { return std::chrono::system_clock::from_time_t(1735553130); });
  EXPECT_TRUE(std::regex_match(BackupFileNameCreator::create(), std::regex("(.+)_(.+)\\.(.+)")));
  EXPECT_EQ(BackupFileNameCreator::create(), "Test Device_2024-12-30 10.05.30.gbd");
  EXPECT_EQ(BackupFileNameCreator::createLocal(), "iGROOVEBIX_2024-12-30 10.05.30_DATA.gbd");

  BackupFileNameCreator::setDeviceName(std::string("Ann's phone/2: \x01 main"));
  EXPECT_EQ(BackupFileNameCreator::dataBasename(), "Ann's phone-2- - main");
  BackupFileNameCreator::setDeviceName(std::string("../.."));
  EXPECT_EQ(BackupFileNameCreator::dataBasename(), "-..");
  BackupFileNameCreator::setDeviceName(std::string(" . "));
  EXPECT_EQ(BackupFileNameCreator::dataBasename(), "iGROOVEBIX");
  BackupFileNameCreator::setDeviceName(std::string(70, 'a') + "\xc3\xa9");
  EXPECT_EQ(BackupFileNameCreator::dataBasename(), std::string(64, 'a'));
  BackupFileNameCreator::setDeviceName(std::string(63, 'a') + "\xc3\xa9");
  EXPECT_EQ(BackupFileNameCreator::dataBasename(), std::string(63, 'a'));
  BackupFileNameCreator::setDeviceName(std::nullopt);
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  EXPECT_EQ(BackupFileNameCreator::dataBasename(), BackupFileNameCreator::sanitizedName(host));

  setInfo({{"TSBackupFileExtension", platform::Value("bak")}});
  EXPECT_EQ(BackupFileNameCreator::dataExtension(), "bak");
  EXPECT_EQ(BackupFileNameCreator::createLocal(), "iGROOVEBIX_2024-12-30 10.05.30_DATA.gbd");
}

TEST_F(BackupFlowTest, MissingExtensionKeyFallsBackToGbd) {
  setInfo({{"CFBundleShortVersionString", platform::Value("1.0")}});
  EXPECT_EQ(BackupFileNameCreator::dataExtension(), "gbd");
  setInfo({{"TSBackupFileExtension", platform::Value("../x")}});
  EXPECT_EQ(BackupFileNameCreator::dataExtension(), "gbd");
  const auto told = std::count(log.begin(), log.end(),
                               std::string("TSBackupFileExtension is not assigned. Please define it at Info.plist"));
  EXPECT_EQ(told, 2);
}

TEST_F(BackupFlowTest, CreateWithNameRefusesPathsInTheName) {
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  PostCounter finished(kBackupCreatorDidFinishedBackup);
  for (const char* bad : {"../out.gbd", "a/b.gbd", "", ".."}) EXPECT_FALSE(creator->createWithName(bad)) << bad;
  EXPECT_EQ(finished.count, 0);
  EXPECT_FALSE(creator->isCreating());
  EXPECT_FALSE(fs::exists(root / "out.gbd"));
}

TEST_F(BackupFlowTest, ShouldBackupTakesTheThreeNamesExactly) {
  auto creator = iGROOVEBIXBackupCreator::sharedInstance();
  for (const char* yes : {"patternIndicesTable.plist", "iGROOVEBIX_patternSet.plist", "patterns/1", "patterns/a/b"})
    EXPECT_TRUE(creator->shouldBackup(yes)) << yes;
  for (const char* no : {"global.dat", "gbx_editBuffer.dat", "Patterns/1", "patterns2/1", "patternIndicesTable.plist2",
                         ".restore-ab/patterns/1"})
    EXPECT_FALSE(creator->shouldBackup(no)) << no;
  EXPECT_EQ(iGROOVEBIXBackupRestorer::sharedInstance()->requiredFilesToRestore(),
            (std::vector<std::string>{"patternIndicesTable.plist", "iGROOVEBIX_patternSet.plist", "patterns"}));
}

TEST_F(BackupFlowTest, SingletonsLiveUntilTermination) {
  auto c1 = iGROOVEBIXBackupCreator::sharedInstance();
  auto r1 = iGROOVEBIXBackupRestorer::sharedInstance();
  EXPECT_EQ(c1, iGROOVEBIXBackupCreator::sharedInstance());
  EXPECT_EQ(r1, iGROOVEBIXBackupRestorer::sharedInstance());
  platform::NotificationCenter::defaultCenter().post(kApplicationWillTerminateNotification);
  auto c2 = iGROOVEBIXBackupCreator::sharedInstance();
  auto r2 = iGROOVEBIXBackupRestorer::sharedInstance();
  EXPECT_NE(c1, c2);
  EXPECT_NE(r1, r2);
  // Holders keep theirs alive and usable.
  EXPECT_TRUE(c1->createWithName("kept.gbd"));
}

}  // namespace

