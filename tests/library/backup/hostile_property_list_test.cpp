// Property lists built to hurt their reader: a string with a NUL, nesting
// far past anything real, references shared until a small file expands to
// millions of elements, an identifier that is not text. Each goes through
// every reader that meets such a file from outside (the property-list
// reader, the index table reader, and a restore that finds it as the
// archive's index table) in a child process, so that a crash, a stack
// overflow or a runaway allocation fails the case instead of the run.

#include <gmock/gmock.h>

#include "library/backup/backup_creator.h"
#include "library/backup/backup_fixture.h"
#include "library/keyed_archive.h"
#include "support/binary_plist_builder.h"

namespace {

using namespace backup_test;
using test_support::BinaryPlistBuilder;

// The 16-bit string "A", NUL, "B" as the archiver's name of a one-entry
// dictionary.
std::vector<uint8_t> utf16Nul() {
  BinaryPlistBuilder b(1);
  const uint64_t key = b.ascii("$archiver");
  const uint64_t value = b.utf16(std::u16string(u"A\0B", 3));
  return b.bytes(b.dict({key}, {value}));
}

std::vector<uint8_t> deepXml(int levels) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
  for (int i = 0; i < levels; ++i) s += "<array>";
  for (int i = 0; i < levels; ++i) s += "</array>";
  s += "</plist>\n";
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Array i holds array i + 1; the last is empty.
std::vector<uint8_t> deepBinary(int levels) {
  BinaryPlistBuilder b(4);
  for (int i = 0; i + 1 < levels; ++i) b.array({static_cast<uint64_t>(i + 1)});
  b.array({});
  return b.bytes(0);
}

// Array i holds array i + 1 twice: 2^levels leaves once parsed.
std::vector<uint8_t> sharedReferences(int levels) {
  BinaryPlistBuilder b(1);
  for (int i = 0; i < levels; ++i) b.array({static_cast<uint64_t>(i + 1), static_cast<uint64_t>(i + 1)});
  b.integer(7);
  return b.bytes(0);
}

// A well-formed index table whose one identifier holds a byte sequence
// that is not UTF-8 (0xD2 must be followed by a continuation byte).
std::vector<uint8_t> invalidUtf8Identifier() {
  auto bytes = keyedArchive(ArchivedObject::makeArray({ArchivedObject::makeObject(
      "PatternBibliographicInformation", {{"identifier", ArchivedObject::makeString("AxyB")}})}));
  const std::string plain = "AxyB";
  auto at = std::search(bytes.begin(), bytes.end(), plain.begin(), plain.end());
  if (at == bytes.end()) return {};
  at[1] = 0xD2;
  at[2] = 0x01;
  return bytes;
}

struct Hostile {
  const char* label;
  std::function<std::vector<uint8_t>()> make;
  const char* reason;      // found in every reader's error text
  bool isPropertyListFault;  // refused by the property-list reader itself
};

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.label; }

class HostilePropertyList : public BackupTest, public ::testing::WithParamInterface<Hostile> {
 public:
  void SetUp() override {
    BackupTest::SetUp();
    makeLibrary(docs, 3);
  }
};

TEST_P(HostilePropertyList, IsRefusedByEveryReaderWithoutHarm) {
  const Hostile& h = GetParam();
  const std::vector<uint8_t> bytes = h.make();
  ASSERT_FALSE(bytes.empty());
  const fs::path arch = archiveWithTable(bytes);
  const auto libraryBefore = snapshot(data());

  const Findings found = inChild(
      [&]() -> Findings {
        Findings f;
        std::string error;
        if (h.isPropertyListFault) {
          const bool read = platform::propertyListFromBytes(bytes, &error).has_value();
          f += readOrRefused("the property-list reader", read, error, h.reason);
        }
        PatternIndicesTable table;
        table.resetTable();
        error.clear();
        const bool tableRead = table.loadTableFromBytes(bytes, &error);
        f += readOrRefused("the index table reader", tableRead, error, h.reason);
        if (table.hasTable()) f += "the index table reader kept a table\n";

        error.clear();
        const bool restored = iGROOVEBIXBackupRestorer::sharedInstance()->restoreData(arch, &error);
        f += readOrRefused("the restore", restored, error, h.reason);
        if (snapshot(data()) != libraryBefore) f += "the restore changed the library\n";
        return f;
      },
      64 * 1024, 5.0);
  EXPECT_EQ(found, "") << h.label << " (" << bytes.size() << " bytes)";
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, HostilePropertyList,
    ::testing::Values(
        Hostile{"utf16_nul", utf16Nul, "string with a NUL character", true},
        Hostile{"deep_xml", [] { return deepXml(200000); }, "nests deeper than 64 levels", true},
        Hostile{"deep_binary", [] { return deepBinary(40000); }, "nests deeper than 64 levels", true},
        Hostile{"shared_references", [] { return sharedReferences(24); }, "would expand to more than", true},
        Hostile{"invalid_utf8_identifier", invalidUtf8Identifier, "names \"A\\xD2\\x01B\", which is not an identifier", false}),
    [](const ::testing::TestParamInfo<Hostile>& info) { return std::string(info.param.label); });

}  // namespace
