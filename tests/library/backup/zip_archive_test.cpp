#include "library/backup/zip_archive.h"

#include <gmock/gmock.h>

#include <random>

#include "library/backup/backup_fixture.h"

namespace {

using namespace backup_test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class Recorder : public ZipArchiveDelegate {
 public:
  void ErrorMessage(const std::string& message) override { errors.push_back(message); }
  bool OverWriteOperation(const fs::path& path) override {
    asked.push_back(path);
    return answer;
  }
  std::vector<std::string> errors;
  std::vector<fs::path> asked;
  bool answer = true;
};

// 2021-06-15 12:34:56 UTC: an even second, which DOS dates can hold.
constexpr time_t kDate = 1623760496;

class ZipArchiveTest : public BackupTest {
 protected:
  void SetUp() override {
    BackupTest::SetUp();
    src = root / "src";
    out = root / "out";
    fs::create_directories(src);
    std::string text;
    for (int i = 0; i < 200; ++i) text += "pattern " + std::to_string(i) + " of the library\n";
    writeText(src / "a.txt", text);
    std::mt19937 gen(7);
    std::vector<uint8_t> noise(5000);
    for (auto& b : noise) b = static_cast<uint8_t>(gen());
    writeBytes(src / "bin", noise);
    writeText(src / "empty", "");
    for (const char* f : {"a.txt", "bin", "empty"}) setMtime(src / f, kDate);
  }

  // An archive of the three source files under `names`.
  fs::path makeArchive(const std::string& password, const std::vector<std::string>& names = {"dir/a.txt", "bin", "empty"}) {
    const fs::path arch = root / "test.zip";
    fs::remove(arch);
    ZipArchive z;
    EXPECT_TRUE(password.empty() ? z.CreateZipFile2(arch) : z.CreateZipFile2(arch, password));
    // Each name takes the source file of its last component, or the next
    // one in turn.
    const char* files[] = {"a.txt", "bin", "empty"};
    for (size_t i = 0; i < names.size(); ++i) {
      const fs::path own = src / fs::path(names[i]).filename();
      const fs::path file = fs::is_regular_file(own) ? own : src / files[i % 3];
      EXPECT_TRUE(z.addFileToZip(file, names[i])) << names[i];
    }
    EXPECT_TRUE(z.CloseZipFile2());
    return arch;
  }

  bool unpack(const fs::path& arch, const std::string& password, Recorder* rec, bool overwrite = true,
              const ZipArchiveLimits* limits = nullptr) {
    ZipArchive z;
    z.setDelegate(rec);
    if (limits) z.setLimits(*limits);
    if (!(password.empty() ? z.UnzipOpenFile(arch) : z.UnzipOpenFile(arch, password))) return false;
    const bool ok = z.UnzipFileTo(out, overwrite);
    EXPECT_TRUE(z.UnzipCloseFile());
    return ok;
  }

  // Alters the low byte of entry `index`'s CRC in its local and central
  // headers: the check byte of the cipher header (the high byte) still
  // passes, so only the CRC comparison can catch it.
  void alterCrc(const fs::path& arch, int index) {
    python("import struct\n"
           "p = '" + arch.string() + "'\n"
           "b = bytearray(open(p, 'rb').read())\n"
           "cd = struct.unpack('<I', b[-6:-2])[0]\n"
           "pos = cd\n"
           "for i in range(" + std::to_string(index + 1) + "):\n"
           "    assert b[pos:pos+4] == b'PK\\x01\\x02'\n"
           "    n, e, c = struct.unpack('<HHH', b[pos+28:pos+34])\n"
           "    local = struct.unpack('<I', b[pos+42:pos+46])[0]\n"
           "    if i == " + std::to_string(index) + ":\n"
           "        b[pos+16] ^= 0x5a\n"
           "        b[local+14] ^= 0x5a\n"
           "    pos += 46 + n + e + c\n"
           "open(p, 'wb').write(b)\n");
  }

  fs::path src, out;
};

TEST_F(ZipArchiveTest, EncryptedArchiveOpensWithUnzipAndPython) {
  const fs::path arch = makeArchive("s3cret pw");

  std::string output;
  ASSERT_EQ(run("unzip -P 's3cret pw' -o -q " + quoted(arch) + " -d " + quoted(root / "unzipped"), &output), 0)
      << output;
  EXPECT_EQ(readBytes(root / "unzipped" / "dir" / "a.txt"), readBytes(src / "a.txt"));
  EXPECT_EQ(readBytes(root / "unzipped" / "bin"), readBytes(src / "bin"));
  EXPECT_TRUE(fs::is_regular_file(root / "unzipped" / "empty"));
  EXPECT_EQ(fs::file_size(root / "unzipped" / "empty"), 0u);
  EXPECT_NE(run("unzip -P 'wrong' -o -q " + quoted(arch) + " -d " + quoted(root / "wrong")), 0);

  // Wrong passwords for "bin" on both sides of its check byte: Python
  // refuses those that fail it at once and those that pass it when their
  // data does not inflate or fails the CRC.
  const auto bytes = readBytes(arch);
  const auto entries = cipherEntries(bytes);
  const auto bin = std::find_if(entries.begin(), entries.end(), [](const CipherEntry& e) { return e.name == "bin"; });
  ASSERT_NE(bin, entries.end());
  std::string wrongList;
  for (bool passing : {false, true})
    for (const std::string& pw : wrongPasswords(bytes, *bin, "wrong", passing, 3))
      wrongList += "(b'" + pw + "', " + (passing ? "True" : "False") + "), ";

  const std::string report = python(
      "import zipfile, zlib\n"
      "z = zipfile.ZipFile('" + arch.string() + "')\n"
      "for i in z.infolist():\n"
      "    data = z.read(i, pwd=b's3cret pw')\n"
      "    print(i.filename, i.flag_bits & 1, i.compress_type, len(data), i.date_time, i.CRC == zlib.crc32(data))\n"
      "    if i.filename == 'dir/a.txt': print('text shrinks', i.compress_size < len(data))\n"
      "for pw, passing in [" + wrongList + "]:\n"
      "    try:\n"
      "        z.read('bin', pwd=pw)\n"
      "        print(pw, 'accepted')\n"
      "    except RuntimeError:\n"
      "        print(pw, 'refused', 'at the check byte' if not passing else 'by Python at the check byte, not by ours')\n"
      "    except (zlib.error, zipfile.BadZipFile, EOFError):\n"
      "        print(pw, 'refused', 'by its data' if passing else 'by its data, though our check byte fails')\n");
  EXPECT_THAT(report, HasSubstr("dir/a.txt 1 8 " + std::to_string(fs::file_size(src / "a.txt")) +
                                " (2021, 6, 15, 12, 34, 56) True"));
  EXPECT_THAT(report, HasSubstr("bin 1 8 5000 (2021, 6, 15, 12, 34, 56) True"));
  EXPECT_THAT(report, HasSubstr("empty 1 8 0 (2021, 6, 15, 12, 34, 56) True"));
  for (bool passing : {false, true})
    for (const std::string& pw : wrongPasswords(bytes, *bin, "wrong", passing, 3))
      EXPECT_THAT(report, HasSubstr("b'" + pw + "' refused " + (passing ? "by its data\n" : "at the check byte\n")));
  // Deflated: the repetitive text shrinks, cipher header and all.
  EXPECT_THAT(report, HasSubstr("text shrinks True"));
}

TEST_F(ZipArchiveTest, ArchiveWithoutPasswordIsPlain) {
  const fs::path arch = makeArchive("");
  ASSERT_EQ(run("unzip -o -q " + quoted(arch) + " -d " + quoted(root / "unzipped")), 0);
  EXPECT_EQ(readBytes(root / "unzipped" / "dir" / "a.txt"), readBytes(src / "a.txt"));
  const std::string report = python(
      "import zipfile\n"
      "z = zipfile.ZipFile('" + arch.string() + "')\n"
      "print(sorted((i.filename, i.flag_bits & 1, i.compress_type) for i in z.infolist()))\n");
  EXPECT_THAT(report, HasSubstr("[('bin', 0, 8), ('dir/a.txt', 0, 8), ('empty', 0, 8)]"));

  Recorder rec;
  ASSERT_TRUE(unpack(arch, "", &rec));
  EXPECT_EQ(readBytes(out / "bin"), readBytes(src / "bin"));
}

TEST_F(ZipArchiveTest, RoundTripRestoresBytesAndDates) {
  const fs::path arch = makeArchive("pw");
  Recorder rec;
  ASSERT_TRUE(unpack(arch, "pw", &rec));
  EXPECT_TRUE(rec.errors.empty());
  EXPECT_EQ(readBytes(out / "dir" / "a.txt"), readBytes(src / "a.txt"));
  EXPECT_EQ(readBytes(out / "bin"), readBytes(src / "bin"));
  EXPECT_EQ(fs::file_size(out / "empty"), 0u);
  struct stat st {};
  ASSERT_EQ(::stat((out / "bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, kDate);
}

TEST_F(ZipArchiveTest, ReadsArchivesOfAnIndependentWriter) {
  // Info-ZIP's zip enciphers with random headers of its own and, when it
  // streams, puts the check byte in the time field.
  fs::create_directories(src / "nested");
  writeText(src / "nested" / "deep.txt", "deep file");
  std::string output;
  ASSERT_EQ(run("cd " + quoted(src) + " && zip -q -r -P 'zip pw' " + quoted(root / "info.zip") + " .", &output), 0)
      << output;
  ASSERT_EQ(run("cd " + quoted(src) + " && cat a.txt | zip -q -P 'zip pw' " + quoted(root / "stream.zip") + " -",
                &output),
            0)
      << output;

  Recorder rec;
  ASSERT_TRUE(unpack(root / "info.zip", "zip pw", &rec)) << ::testing::PrintToString(rec.errors);
  EXPECT_EQ(readBytes(out / "a.txt"), readBytes(src / "a.txt"));
  EXPECT_EQ(readBytes(out / "bin"), readBytes(src / "bin"));
  EXPECT_EQ(readBytes(out / "nested" / "deep.txt"), readBytes(src / "nested" / "deep.txt"));
  struct stat st {};
  ASSERT_EQ(::stat((out / "a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, kDate);

  fs::remove_all(out);
  ASSERT_TRUE(unpack(root / "stream.zip", "zip pw", &rec)) << ::testing::PrintToString(rec.errors);
  EXPECT_EQ(readBytes(out / "-"), readBytes(src / "a.txt"));

  fs::remove_all(out);
  Recorder wrong;
  EXPECT_FALSE(unpack(root / "info.zip", "not it", &wrong));
  EXPECT_THAT(wrong.errors, ElementsAre(kZipErrorPassword));
  // The entry that failed leaves no file behind.
  size_t files = 0;
  for (auto& e : fs::recursive_directory_iterator(out))
    if (e.is_regular_file()) ++files;
  EXPECT_EQ(files, 0u);
}

TEST_F(ZipArchiveTest, WrongPasswordIsAnErrorNotGarbage) {
  const fs::path arch = makeArchive("right");
  const auto bytes = readBytes(arch);
  const auto entries = cipherEntries(bytes);
  ASSERT_EQ(entries.size(), 3u);
  ASSERT_EQ(entries.front().name, "dir/a.txt");
  // Wrong passwords that fail the first entry's check byte, and wrong ones
  // that pass it (one in 256 does) and then meet data that does not inflate
  // or fails the CRC: all are told a wrong password, and leave no file.
  for (bool passing : {false, true}) {
    for (const std::string& pw : wrongPasswords(bytes, entries.front(), "wrong", passing, 16)) {
      fs::remove_all(out);
      Recorder rec;
      EXPECT_FALSE(unpack(arch, pw, &rec)) << pw;
      EXPECT_THAT(rec.errors, ElementsAre(kZipErrorPassword)) << pw << (passing ? " (past the check byte)" : "");
      EXPECT_FALSE(fs::exists(out / "dir" / "a.txt")) << pw;
    }
  }
}

TEST_F(ZipArchiveTest, AnEmptyEntryDoesNotVouchForThePassword) {
  // A wrong password gets through the first entry, an empty one, whole:
  // its keystream gives the check byte and the two bytes of an empty
  // deflate stream. It passes the next entry's check byte too; that entry's
  // data is then the password's fault, not the archive's.
  const fs::path arch = makeArchive("right", {"empty", "bin"});
  auto bytes = readBytes(arch);
  const auto entries = cipherEntries(bytes);
  ASSERT_EQ(entries.size(), 2u);
  ASSERT_EQ(entries[0].stored, ZipCrypto::kHeaderSize + 2);
  std::vector<uint8_t> plain(bytes.begin() + static_cast<long>(entries[0].header),
                             bytes.begin() + static_cast<long>(entries[0].header + entries[0].stored));
  ZipCrypto("right").decrypt(plain);
  forceDeciphered(bytes, entries[0], "wrong", ZipCrypto::kHeaderSize - 1,
                  std::vector<uint8_t>(plain.begin() + ZipCrypto::kHeaderSize - 1, plain.end()));
  forceCheckByte(bytes, entries[1], "wrong", true);
  writeBytes(arch, bytes);

  Recorder rec;
  EXPECT_FALSE(unpack(arch, "wrong", &rec));
  EXPECT_THAT(rec.errors, ElementsAre(kZipErrorPassword));
  EXPECT_EQ(fs::file_size(out / "empty"), 0u);  // what it held came out right
  EXPECT_FALSE(fs::exists(out / "bin"));
}

TEST_F(ZipArchiveTest, DamagedEntriesAreRefusedAndRemoved) {
  const fs::path arch = makeArchive("pw");
  alterCrc(arch, 1);  // "bin"
  Recorder rec;
  EXPECT_FALSE(unpack(arch, "pw", &rec));
  ASSERT_FALSE(rec.errors.empty());
  EXPECT_EQ(rec.errors.back(), kZipErrorCRC);
  EXPECT_TRUE(fs::exists(out / "dir" / "a.txt"));  // the entry before it was good
  EXPECT_FALSE(fs::exists(out / "bin"));

  // A flipped byte in the enciphered data: the inflater or the CRC notices.
  // After an entry that came out whole the password is known good, so it is
  // the archive's fault; in the first entry it cannot be told from a wrong
  // password that passed the check byte.
  for (bool first : {false, true}) {
    const fs::path arch2 = first ? makeArchive("pw", {"bin", "dir/a.txt"}) : makeArchive("pw", {"dir/a.txt", "bin"});
    auto bytes = readBytes(arch2);
    const auto entries = cipherEntries(bytes);
    ASSERT_EQ(entries.size(), 2u);
    const auto& bin = entries[first ? 0 : 1];
    ASSERT_EQ(bin.name, "bin");
    bytes[bin.header + ZipCrypto::kHeaderSize + 100] ^= 0x01;
    writeBytes(arch2, bytes);
    fs::remove_all(out);
    Recorder rec2;
    EXPECT_FALSE(unpack(arch2, "pw", &rec2));
    ASSERT_EQ(rec2.errors.size(), 1u);
    if (first)
      EXPECT_EQ(rec2.errors.back(), kZipErrorPassword);
    else
      EXPECT_TRUE(rec2.errors.back() == kZipErrorCRC || rec2.errors.back() == kZipErrorReading) << rec2.errors.back();
    EXPECT_FALSE(fs::exists(out / "bin"));
    EXPECT_EQ(fs::exists(out / "dir" / "a.txt"), !first);
  }
}

TEST_F(ZipArchiveTest, TruncatedArchiveDoesNotOpen) {
  const fs::path arch = makeArchive("pw");
  auto bytes = readBytes(arch);
  bytes.resize(bytes.size() / 2);
  writeBytes(arch, bytes);
  ZipArchive z;
  EXPECT_FALSE(z.UnzipOpenFile(arch, "pw"));
  EXPECT_TRUE(z.UnzipCloseFile());
}

struct HostileCase {
  const char* label;
  std::vector<std::string> names;
};

class HostileNames : public ZipArchiveTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileNames, AreRefusedBeforeAnythingIsWritten) {
  std::vector<std::string> names = GetParam().names;
  for (std::string& n : names) {
    const std::string token = "ROOT";
    if (auto p = n.find(token); p != std::string::npos) n.replace(p, token.size(), root.string());
  }
  const fs::path arch = makeArchive("pw", names);
  Recorder rec;
  EXPECT_FALSE(unpack(arch, "pw", &rec));
  ASSERT_FALSE(rec.errors.empty());
  EXPECT_EQ(rec.errors.back(), kZipErrorUnsafeName);
  // Not even the harmless first entry was unpacked, and nothing escaped.
  EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out));
  EXPECT_FALSE(fs::exists(root / "x"));
  EXPECT_FALSE(fs::exists(root / "escaped"));
}

INSTANTIATE_TEST_SUITE_P(
    ZipSlip, HostileNames,
    ::testing::Values(HostileCase{"parent", {"ok.txt", "../x"}}, HostileCase{"absolute", {"ok.txt", "ROOT/escaped"}},
                      HostileCase{"inner_parent", {"ok.txt", "a/../../x"}},
                      HostileCase{"backslash_parent", {"ok.txt", "..\\x"}},
                      HostileCase{"drive", {"ok.txt", "C:\\x"}}, HostileCase{"empty_component", {"ok.txt", "a//b"}},
                      HostileCase{"dot", {"ok.txt", "./x"}}, HostileCase{"duplicate", {"same", "same"}},
                      HostileCase{"duplicate_after_backslash", {"d/f", "d\\f"}}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.label; });

TEST_F(ZipArchiveTest, ExistingLinksAreReplacedNotFollowed) {
  writeText(root / "outside.txt", "must stay");
  fs::create_directories(root / "outsideDir");
  fs::create_directories(out);
  fs::create_symlink(root / "outside.txt", out / "bin");

  const fs::path arch = makeArchive("pw", {"bin"});
  Recorder rec;
  ASSERT_TRUE(unpack(arch, "pw", &rec));
  EXPECT_FALSE(fs::is_symlink(out / "bin"));
  EXPECT_EQ(readBytes(out / "bin"), readBytes(src / "bin"));
  EXPECT_EQ(readBytes(root / "outside.txt"), std::vector<uint8_t>({'m', 'u', 's', 't', ' ', 's', 't', 'a', 'y'}));

  // A linked folder on the way is never entered.
  fs::create_symlink(root / "outsideDir", out / "sub");
  const fs::path arch2 = makeArchive("pw", {"sub/a.txt"});
  Recorder rec2;
  EXPECT_FALSE(unpack(arch2, "pw", &rec2));
  EXPECT_TRUE(fs::is_empty(root / "outsideDir"));
}

TEST_F(ZipArchiveTest, LimitsAreCheckedBeforeUnpacking) {
  const fs::path arch = makeArchive("pw");
  ZipArchiveLimits small;
  small.maxEntrySize = 4000;  // "bin" holds 5,000 bytes
  Recorder rec;
  EXPECT_FALSE(unpack(arch, "pw", &rec, true, &small));
  EXPECT_EQ(rec.errors.back(), kZipErrorLimits);
  EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out));

  ZipArchiveLimits few;
  few.maxEntries = 2;
  Recorder rec2;
  EXPECT_FALSE(unpack(arch, "pw", &rec2, true, &few));
  EXPECT_EQ(rec2.errors.back(), kZipErrorLimits);

  ZipArchiveLimits total;
  total.maxTotalSize = 5000;
  Recorder rec3;
  EXPECT_FALSE(unpack(arch, "pw", &rec3, true, &total));
  EXPECT_EQ(rec3.errors.back(), kZipErrorLimits);
}

TEST_F(ZipArchiveTest, FolderEntriesAndBackslashNames) {
  python("import zipfile\n"
         "z = zipfile.ZipFile('" + (root / "folders.zip").string() + "', 'w')\n"
         "z.writestr('d1/', '')\n"
         "z.writestr('w\\\\x\\\\y.txt', 'data')\n"
         "z.close()\n");
  Recorder rec;
  ASSERT_TRUE(unpack(root / "folders.zip", "", &rec)) << ::testing::PrintToString(rec.errors);
  EXPECT_TRUE(fs::is_directory(out / "d1"));
  EXPECT_EQ(readBytes(out / "w" / "x" / "y.txt"), std::vector<uint8_t>({'d', 'a', 't', 'a'}));
}

TEST_F(ZipArchiveTest, OverwriteAsksTheDelegateOnlyWhenNotForced) {
  const fs::path arch = makeArchive("pw", {"bin"});
  fs::create_directories(out);
  writeText(out / "bin", "old");

  Recorder no;
  no.answer = false;
  ASSERT_TRUE(unpack(arch, "pw", &no, false));
  EXPECT_THAT(no.asked, ElementsAre(out / "bin"));
  EXPECT_EQ(readBytes(out / "bin"), std::vector<uint8_t>({'o', 'l', 'd'}));

  Recorder yes;
  ASSERT_TRUE(unpack(arch, "pw", &yes, false));
  EXPECT_THAT(yes.asked, ElementsAre(out / "bin"));
  EXPECT_EQ(readBytes(out / "bin"), readBytes(src / "bin"));

  writeText(out / "bin", "old");
  Recorder forced;
  forced.answer = false;
  ASSERT_TRUE(unpack(arch, "pw", &forced, true));
  EXPECT_TRUE(forced.asked.empty());
  EXPECT_EQ(readBytes(out / "bin"), readBytes(src / "bin"));
}

TEST_F(ZipArchiveTest, EmptyArchiveFailsWithBothTexts) {
  python("import zipfile\nzipfile.ZipFile('" + (root / "empty.zip").string() + "', 'w').close()\n");
  ZipArchive z;
  Recorder rec;
  z.setDelegate(&rec);
  // minizip will not open an archive without entries; unpacking then fails
  // as it would on an empty one.
  EXPECT_FALSE(z.UnzipOpenFile(root / "empty.zip", "pw"));
  EXPECT_FALSE(z.UnzipFileTo(out, true));
  EXPECT_THAT(rec.errors, ElementsAre(kZipErrorFailed, kZipErrorOccurs));
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(ZipArchiveTest, EncryptedEntryNeedsAPassword) {
  const fs::path arch = makeArchive("pw", {"bin"});
  Recorder rec;
  EXPECT_FALSE(unpack(arch, "", &rec));
  EXPECT_EQ(rec.errors.back(), kZipErrorOccurs);
}

TEST_F(ZipArchiveTest, OpenAndCloseResults) {
  ZipArchive z;
  EXPECT_FALSE(z.CloseZipFile2());
  EXPECT_TRUE(z.UnzipCloseFile());
  EXPECT_TRUE(z.UnzipCloseFile());
  EXPECT_FALSE(z.addFileToZip(src / "bin", "bin"));
  EXPECT_FALSE(z.UnzipOpenFile(root / "missing.zip"));

  // An unreadable file makes no entry, and says so.
  const fs::path arch = root / "partial.zip";
  ASSERT_TRUE(z.CreateZipFile2(arch, "pw"));
  EXPECT_FALSE(z.CreateZipFile2(root / "second.zip"));
  EXPECT_FALSE(z.addFileToZip(src / "missing", "missing"));
  fs::create_directories(src / "folder");
  EXPECT_FALSE(z.addFileToZip(src / "folder", "folder"));
  EXPECT_TRUE(z.addFileToZip(src / "bin", "bin"));
  EXPECT_TRUE(z.CloseZipFile2());
  EXPECT_FALSE(z.CloseZipFile2());
  const std::string names = python("import zipfile\nprint(zipfile.ZipFile('" + arch.string() + "').namelist())\n");
  EXPECT_THAT(names, HasSubstr("['bin']"));
}

TEST_F(ZipArchiveTest, EntryNamesAreCheckedLikeThis) {
  bool folder = false;
  EXPECT_EQ(ZipArchive::safeEntryPath("patterns/123", &folder), "patterns/123");
  EXPECT_FALSE(folder);
  EXPECT_EQ(ZipArchive::safeEntryPath("a\\b\\", &folder), "a/b");
  EXPECT_TRUE(folder);
  EXPECT_EQ(ZipArchive::safeEntryPath("..name"), "..name");  // a dot prefix is only a name
  for (const char* bad : {"", "/", "../x", "/etc/x", "a/./b", "a/..", "\\x", "c:x", "a//b"})
    EXPECT_FALSE(ZipArchive::safeEntryPath(bad).has_value()) << bad;
  EXPECT_FALSE(ZipArchive::safeEntryPath(std::string_view("a\0b", 3)).has_value());
}

TEST_F(ZipArchiveTest, Date1980IsLocalMidnight) {
  // TZ is UTC in these tests.
  EXPECT_EQ(ZipArchive::Date1980().secondsSince1970, 315532800.0);
}

}  // namespace
