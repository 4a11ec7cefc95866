#include "library/backup/file_in_documents.h"

#include <gmock/gmock.h>

#include "library/backup/backup_fixture.h"
#include "platform/notify/notification_center.h"

namespace {

using namespace backup_test;
using ::testing::ElementsAre;

class Observer : public FileInDocumentsObserver {
 public:
  void fileInDocumentsFileWasUpdated(const platform::Notification& n) override { updated.push_back(row(n)); }
  void fileInDocumentsFileWasRemoved(const platform::Notification& n) override { removed.push_back(row(n)); }
  static int64_t row(const platform::Notification& n) {
    const platform::Value* path = n.info(kFileInDocumentsIndexPathKey);
    EXPECT_NE(path, nullptr);
    if (!path) return -1;
    EXPECT_EQ(path->find("section")->integerValue(), 0);
    return path->find("row")->integerValue(-1);
  }
  std::vector<int64_t> updated, removed;
};

class FileListerTest : public BackupTest {
 public:
  void SetUp() override {
    BackupTest::SetUp();
    add("oldest.gbd", 1700000000);
    add("Middle Backup.GBD", 1700000100);
    add("newest.gbd", 1700000200);
    add("notes.txt", 1700000300);
    add("noextension", 1700000400);
    fs::create_directories(docs / "folder.gbd");
    fs::create_directories(docs / "sub");
    add("sub/inside.gbd", 1700000500);
  }
  void add(const std::string& rel, time_t mtime) {
    writeText(docs / rel, rel);
    setMtime(docs / rel, mtime);
  }
  static std::vector<std::string> names(const FileInDocumentsManagedContext& c) {
    std::vector<std::string> out;
    for (size_t i = 0; i < c.count(); ++i) out.push_back(c.fileNameAt(i));
    return out;
  }
};

TEST_F(FileListerTest, ListsTheTopLevelByExtensionNewestFirst) {
  FileInDocumentsManagedContext c({"gbd"});
  // Extension in any case; the data directory, folders and subfolders' files are not listed.
  EXPECT_THAT(names(c), ElementsAre("newest.gbd", "Middle Backup.GBD", "oldest.gbd"));
  EXPECT_EQ(c.fileUrlAt(0), docs / "newest.gbd");
  EXPECT_EQ(c.fileCreateDateAt(2).secondsSince1970, 1700000000.0);
  EXPECT_EQ(FileInDocumentsManagedContext::documentPath(), docs);

  FileInDocumentsManagedContext two({"TXT", "gbd"});
  EXPECT_THAT(names(two), ElementsAre("notes.txt", "newest.gbd", "Middle Backup.GBD", "oldest.gbd"));
}

TEST_F(FileListerTest, QueriesAreTrimmedAndIgnoreCase) {
  FileInDocumentsManagedContext c({"gbd"});
  c.fetch(std::string("  \n\t"));
  EXPECT_EQ(c.count(), 3u);
  c.fetch(std::string(" middle "));
  EXPECT_THAT(names(c), ElementsAre("Middle Backup.GBD"));
  c.fetch(std::string("EST"));
  EXPECT_THAT(names(c), ElementsAre("newest.gbd", "oldest.gbd"));
  c.fetch(std::nullopt);
  EXPECT_EQ(c.count(), 3u);
  c.fetch(std::string("nothing like it"));
  EXPECT_EQ(c.count(), 0u);

  // Case folding is Unicode's, not ASCII's.
  add("\xC3\x91u pattern.gbd", 1700000600);  // "Ñu pattern.gbd"
  c.fetch(std::string("\xC3\xB1U"));        // "ñU"
  EXPECT_THAT(names(c), ElementsAre("\xC3\x91u pattern.gbd"));
  EXPECT_TRUE(c.isOk("anything", std::string()));
  EXPECT_TRUE(c.isValidType("X.GbD"));
  EXPECT_FALSE(c.isValidType("gbd"));
  EXPECT_FALSE(c.isValidType("x.gbdx"));
}

TEST_F(FileListerTest, EqualDatesSortByName) {
  add("b.gbd", 1800000000);
  add("a.gbd", 1800000000);
  FileInDocumentsManagedContext c({"gbd"});
  EXPECT_THAT(names(c), ElementsAre("a.gbd", "b.gbd", "newest.gbd", "Middle Backup.GBD", "oldest.gbd"));
}

TEST_F(FileListerTest, RenameKeepsThePlaceAndTellsObservers) {
  FileInDocumentsManagedContext c({"gbd"});
  Observer o;
  c.addObserver(&o);
  const std::string result = c.renameFileAt(2, "zz renamed.gbd");
  EXPECT_EQ(result, (docs / "zz renamed.gbd").string());
  EXPECT_THAT(o.updated, ElementsAre(2));
  EXPECT_THAT(names(c), ElementsAre("newest.gbd", "Middle Backup.GBD", "zz renamed.gbd"));
  EXPECT_EQ(c.fileCreateDateAt(2).secondsSince1970, 1700000000.0);  // re-read from the renamed file
  EXPECT_FALSE(fs::exists(docs / "oldest.gbd"));

  // Onto another backup: refused (Linux would replace it silently).
  EXPECT_EQ(c.renameFileAt(2, "newest.gbd"), "zz renamed.gbd");
  EXPECT_EQ(snapshot(docs).at("newest.gbd"), "newest.gbd");
  // Out of the folder: refused.
  EXPECT_EQ(c.renameFileAt(2, "../escaped.gbd"), "zz renamed.gbd");
  EXPECT_EQ(c.renameFileAt(2, "sub/inside2.gbd"), "zz renamed.gbd");
  EXPECT_FALSE(fs::exists(root / "escaped.gbd"));
  EXPECT_THAT(o.updated, ElementsAre(2));
  EXPECT_EQ(c.renameFileAt(9, "x.gbd"), "");

  // The next fetch puts the renamed file back in date order.
  c.fetch();
  EXPECT_THAT(names(c), ElementsAre("newest.gbd", "Middle Backup.GBD", "zz renamed.gbd"));
  c.removeObserver(&o);
  c.renameFileAt(0, "first.gbd");
  EXPECT_THAT(o.updated, ElementsAre(2));
}

TEST_F(FileListerTest, RemoveTellsObserversOfThisContextOnly) {
  FileInDocumentsManagedContext c({"gbd"});
  FileInDocumentsManagedContext other({"gbd"});
  Observer o;
  c.addObserver(&o);
  EXPECT_TRUE(c.removeFileAt(1));
  EXPECT_THAT(o.removed, ElementsAre(1));
  EXPECT_THAT(names(c), ElementsAre("newest.gbd", "oldest.gbd"));
  EXPECT_FALSE(fs::exists(docs / "Middle Backup.GBD"));

  // A change through another context is not this one's.
  EXPECT_TRUE(other.removeFileAt(0));
  EXPECT_THAT(o.removed, ElementsAre(1));

  // The file is gone already: the list stays as it is.
  EXPECT_FALSE(c.removeFileAt(0));
  EXPECT_EQ(c.count(), 2u);
  EXPECT_FALSE(c.removeFileAt(5));
  c.removeObserver(&o);
}

TEST_F(FileListerTest, IndexForFileURLMatchesTheName) {
  FileInDocumentsManagedContext c({"gbd"});
  EXPECT_EQ(c.indexForFileURL(root / "elsewhere" / "oldest.gbd"), 2);
  EXPECT_EQ(c.indexForFileURL(docs / "newest.gbd"), 0);
  EXPECT_EQ(c.indexForFileURL(docs / "notes.txt"), -1);
  EXPECT_EQ(c.fileObjectAt(3), nullptr);
  EXPECT_EQ(c.fileNameAt(3), "");
}

TEST_F(FileListerTest, EntriesHoldTheirProperties) {
  auto f = FileInDocuments::fileWithURL(docs / "newest.gbd");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->properties().at("TIME").stringValue(), "1");
  EXPECT_EQ(f->properties().at("URL").stringValue(), (docs / "newest.gbd").string());
  EXPECT_EQ(f->createdDate().secondsSince1970, 1700000200.0);
  EXPECT_EQ(f->name(), "newest.gbd");
  EXPECT_TRUE(f->copy());
  EXPECT_EQ(FileInDocuments::fileWithURL(docs / "folder.gbd"), nullptr);
  EXPECT_EQ(FileInDocuments::fileWithURL(docs / "missing.gbd"), nullptr);
  fs::remove(docs / "newest.gbd");
  EXPECT_EQ(f->copy(), nullptr);
}

TEST_F(FileListerTest, FileThatVanishesIsLeftOut) {
  fs::create_symlink(docs / "gone.gbd", docs / "dangling.gbd");
  FileInDocumentsManagedContext c({"gbd"});
  EXPECT_THAT(names(c), ElementsAre("newest.gbd", "Middle Backup.GBD", "oldest.gbd"));
}

}  // namespace
