#include "library/utilities.h"

#include <gtest/gtest.h>

#include "library/library_fixture.h"
#include "library/library_writes.h"
#include "library/pattern_name_creator.h"

namespace fs = std::filesystem;

namespace {

using UtilitiesTest = LibraryTest;

TEST_F(UtilitiesTest, DocumentsFolderFollowsTheEnvironment) {
  EXPECT_EQ(Utilities::applicationiTunesDocumentsDirectory(), docs);
  ::unsetenv("IGROOVEBIX_HOME");
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  ::setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
  EXPECT_EQ(Utilities::applicationiTunesDocumentsDirectory(), root / "xdg" / "igroovebix" / "Documents");
  ::unsetenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(Utilities::applicationiTunesDocumentsDirectory(),
              fs::path(home) / ".local" / "share" / "igroovebix" / "Documents");
  }
  if (oldXdg) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
}

TEST_F(UtilitiesTest, PathsLiveInTheDataDirectory) {
  EXPECT_EQ(Utilities::applicationDocumentsDirectory(), data());
  EXPECT_TRUE(fs::is_directory(data()));
  EXPECT_EQ(Utilities::applicationPatternDirectory(), data() / "patterns");
  EXPECT_EQ(Utilities::applicationIndexTablePath(), data() / "patternIndicesTable.plist");
  EXPECT_EQ(Utilities::editBufferFilePath(), data() / "gbx_editBuffer.dat");
  EXPECT_EQ(Utilities::applicationSoundDirectory(), docs);
  EXPECT_FALSE(Utilities::applicationStoreTagDirectory());
  // Computing the pattern directory does not create it: its absence is
  // what makes the store install the factory library.
  EXPECT_FALSE(fs::exists(patterns()));
}

TEST_F(UtilitiesTest, OlderLayoutIsMovedOnceOnFirstUse) {
  writeBytes(docs / "patterns" / "abc", {1, 2, 3});
  writeBytes(docs / "patternIndicesTable.plist", {9});
  EXPECT_EQ(Utilities::applicationPatternDirectory(), patterns());
  EXPECT_EQ(Utilities::applicationIndexTablePath(), data() / "patternIndicesTable.plist");
  EXPECT_EQ(readBytes(patterns() / "abc"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(readBytes(data() / "patternIndicesTable.plist"), (std::vector<uint8_t>{9}));
  EXPECT_FALSE(fs::exists(docs / "patterns"));
  // A later call uses the kept path and moves nothing.
  writeBytes(docs / "patterns" / "late", {4});
  EXPECT_EQ(Utilities::applicationPatternDirectory(), patterns());
  EXPECT_TRUE(fs::exists(docs / "patterns" / "late"));
  EXPECT_FALSE(fs::exists(patterns() / "late"));
}

TEST_F(UtilitiesTest, MoveNeverReplacesWhatIsThere) {
  writeBytes(docs / "patterns" / "old", {1});
  writeBytes(patterns() / "new", {2});
  writeBytes(docs / "patternIndicesTable.plist", {3});
  writeBytes(data() / "patternIndicesTable.plist", {4});
  EXPECT_EQ(Utilities::applicationPatternDirectory(), patterns());
  EXPECT_EQ(Utilities::applicationIndexTablePath(), data() / "patternIndicesTable.plist");
  EXPECT_TRUE(fs::exists(docs / "patterns" / "old"));
  EXPECT_TRUE(fs::exists(patterns() / "new"));
  EXPECT_FALSE(fs::exists(patterns() / "old"));
  EXPECT_EQ(readBytes(data() / "patternIndicesTable.plist"), (std::vector<uint8_t>{4}));
  EXPECT_EQ(readBytes(docs / "patternIndicesTable.plist"), (std::vector<uint8_t>{3}));
}

// While library writes are refused, a missing item of the library is one a
// pending restore puts back by its identity: an older file moved in there
// would be one the next start cannot place. It stays where it is.
TEST_F(UtilitiesTest, OlderLayoutStaysWhileLibraryWritesAreRefused) {
  struct Case {
    const char* name;
    std::optional<fs::path> (*path)();
    fs::path older;  // a file of the older layout, below the documents folder
  };
  for (const Case& c : {Case{"patterns", &Utilities::applicationPatternDirectory, "patterns/abc"},
                        Case{"patternIndicesTable.plist", &Utilities::applicationIndexTablePath,
                             "patternIndicesTable.plist"}}) {
    SCOPED_TRACE(c.name);
    const fs::path home = root / (std::string("refused-") + c.name);
    ::setenv("IGROOVEBIX_HOME", home.c_str(), 1);
    writeBytes(home / c.older, {7});
    LibraryWrites::refuse("a restore is pending");
    EXPECT_EQ(c.path(), home / ".igroovebix.d" / c.name);
    EXPECT_TRUE(fs::exists(home / c.older));
    EXPECT_FALSE(fs::exists(fs::symlink_status(home / ".igroovebix.d" / c.name)));
  }
  ::setenv("IGROOVEBIX_HOME", docs.c_str(), 1);
}

TEST_F(UtilitiesTest, PasswordIsStable) {
  const std::string p = Utilities::createDataPassword();
  EXPECT_EQ(p.substr(0, 3), "igb");
  EXPECT_GT(p.size(), 3u);
  EXPECT_EQ(Utilities::createDataPassword(), p);
}

TEST(StringWithHexBytes, WritesEachByteInDecimal) {
  const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
      {{}, ""},
      {{0x00, 0x0A, 0xFF}, "0010255"},
      {{9, 10, 99, 100}, "091099100"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(stringWithHexBytes(bytes), text);
}

TEST(Sha1Class, DigestOfAbc) {
  const std::string abc = "abc";
  const auto d = Sha1::getHashBytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(abc.data()), 3));
  ASSERT_EQ(d.size(), 20u);
  EXPECT_EQ(d[0], 0xa9);
  EXPECT_EQ(d[19], 0x9d);
  const std::string text = stringWithHexBytes(d);
  EXPECT_GE(text.size(), 40u);
  EXPECT_LE(text.size(), 60u);
}

TEST_F(UtilitiesTest, IdentifierMatchesAnIndependentDigest) {
  PatternRecord r = testRecord(5, "Digest");
  const double t = 700000000.25;
  const std::string id = Z31647PatternNameCreator::create(&r, t);
  writeBytes(root / "record.bin", bytesOf(r));
  const std::string out = runPython(
      "import hashlib, struct\n"
      "b = open('" + (root / "record.bin").string() + "', 'rb').read()\n"
      "d = hashlib.sha1(b + struct.pack('<d', " + std::to_string(t) + ")).digest()\n"
      "print(''.join('%02d' % x for x in d), end='')\n");
  EXPECT_EQ(id, out);
  EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_GE(id.size(), 40u);
  EXPECT_LE(id.size(), 60u);
  EXPECT_EQ(Z31647PatternNameCreator::create(&r, t), id);
  EXPECT_NE(Z31647PatternNameCreator::create(&r, t + 1), id);
  EXPECT_TRUE(isPlainIdentifier(id));
}

TEST(PlainIdentifier, RefusesNamesThatLeaveTheFolder) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"0123456789", true}, {"pattern one", true}, {"", false}, {".", false}, {"..", false},
      {"../x", false},      {"a/b", false},        {"/etc/passwd", false},   {".hidden", false},
      {std::string("a\0b", 3), false}, {std::string(256, '1'), false},
  };
  for (const auto& [id, ok] : cases) EXPECT_EQ(isPlainIdentifier(id), ok) << id;
}

TEST(PatternIdentifier, IsDecimalDigitsNoLongerThanTheCreatorMakes) {
  PatternRecord r = testRecord(3, "Any");
  const std::vector<std::pair<std::string, bool>> cases = {
      {Z31647PatternNameCreator::create(&r, 1.0), true},
      {std::string(40, '0'), true},
      {std::string(60, '9'), true},
      {std::string(61, '9'), false},
      {"", false},
      {"A\xd2\x01" "B", false},               // not UTF-8: cut short by the writer
      {"\xd9\xa1\xd9\xa2", false},           // Arabic-Indic digits are not decimal digits here
      {"12a4", false},
      {" 1234", false},
      {"1234\n", false},
      {std::string("12\0" "34", 5), false},
      {"../1234", false},
  };
  for (const auto& [id, ok] : cases) EXPECT_EQ(isPatternIdentifier(id), ok) << id;
}

}  // namespace
