// Archives whose entries unpack to more than any file of a library holds,
// each written by Python's zipfile: a pattern file one byte too long or
// megabytes long, a large stray file in the pattern directory, property
// lists far past their size, and a header that declares a pattern file's
// size over a stream that inflates to 48 MiB. Each restore runs in a child
// process that may not write a file past 64 MiB, and must be refused with
// the library untouched and without a large allocation.

#include <gmock/gmock.h>

#include "library/backup/backup_fixture.h"
#include "library/backup/zip_archive.h"

namespace {

using namespace backup_test;

// The entry name that stands for the library's first pattern file.
constexpr const char* kFirstPattern = "<first pattern>";

struct Oversized {
  const char* label;
  const char* entry;     // added to the library's entries, or replacing one
  const char* bytes;     // a Python expression for the entry's bytes
  long long declared;    // the size both headers declare; -1: the true size
  const char* logged;    // found in a line of the backup log
};

void PrintTo(const Oversized& o, std::ostream* os) { *os << o.label; }

class OversizedEntries : public BackupTest, public ::testing::WithParamInterface<Oversized> {
 public:
  void SetUp() override {
    BackupTest::SetUp();
    makeLibrary(docs, 3);
  }

  std::string firstPattern() {
    for (const auto& [rel, bytes] : snapshot(data()))
      if (rel.rfind("patterns/", 0) == 0 && rel.size() > 9 && rel.find('/', 9) == std::string::npos) return rel;
    return {};
  }

  // The library's files as plain deflated entries, with `o`'s entry last.
  fs::path archive(const Oversized& o) {
    const std::string name = o.entry == std::string(kFirstPattern) ? firstPattern() : o.entry;
    std::string entries;
    for (const auto& [rel, bytes] : snapshot(data())) {
      if (rel.back() == '/' || !BackupArchive::shouldBackup(rel) || rel == name) continue;
      entries += "    ('" + rel + "', '" + (data() / rel).string() + "'),\n";
    }
    const fs::path arch = root / "oversized.gbd";
    python("import struct, zipfile\n"
           "out = '" + arch.string() + "'\n"
           "name = '" + name + "'\n"
           "declared = " + std::to_string(o.declared) + "\n"
           "with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:\n"
           "    for n, p in [\n" + entries + "    ]:\n"
           "        z.write(p, n)\n"
           "    z.writestr(name, " + o.bytes + ")\n"
           "if declared >= 0:\n"
           "    b = bytearray(open(out, 'rb').read())\n"
           "    local = zipfile.ZipFile(out).getinfo(name).header_offset\n"
           "    struct.pack_into('<I', b, local + 22, declared)\n"
           "    pos = struct.unpack_from('<I', b, b.rfind(b'PK\\x05\\x06') + 16)[0]\n"
           "    while b[pos:pos + 4] == b'PK\\x01\\x02':\n"
           "        n, e, c = struct.unpack_from('<HHH', b, pos + 28)\n"
           "        if b[pos + 46:pos + 46 + n] == name.encode():\n"
           "            struct.pack_into('<I', b, pos + 24, declared)\n"
           "        pos += 46 + n + e + c\n"
           "    open(out, 'wb').write(b)\n");
    return arch;
  }
};

TEST_P(OversizedEntries, AreRefusedBeforeTheyAreInflated) {
  const Oversized& o = GetParam();
  const fs::path arch = archive(o);
  const auto before = snapshot(data());

  const Findings found = inChild(
      [&]() -> Findings {
        // A write past 64 MiB fails instead of filling the disk.
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit fileSize{64ull << 20, 64ull << 20};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        Findings f;
        std::string error;
        log.clear();
        if (BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error))
          f += "the restore accepted the archive\n";
        else if (error.find(kZipErrorLimits) == std::string::npos)
          f += "the restore gave \"" + error + "\", not \"" + kZipErrorLimits + "\"\n";
        if (std::none_of(log.begin(), log.end(), [&](const std::string& l) { return l.find(o.logged) != std::string::npos; }))
          f += std::string("nothing logged \"") + o.logged + "\"\n";
        if (snapshot(data()) != before) f += "the restore changed the library\n";
        return f;
      },
      kShadowedMemory ? 64 * 1024 : 16 * 1024);
  EXPECT_EQ(found, "") << o.label;
}

// A pattern sets file of the 64 numbers an archive holds, padded with
// spaces to 1 MiB.
#define PADDED_SETS                                                                             \
  "('<?xml version=\"1.0\" encoding=\"UTF-8\"?>\\n<plist version=\"1.0\"><array>' + "            \
  "''.join('<integer>%d</integer>' % (i % 3) for i in range(64)) + ' ' * (1 << 20) + "          \
  "'</array></plist>\\n').encode()"

// An index table of six million elements, 42 MB.
#define HUGE_TABLE                                                                           \
  "b'<?xml version=\"1.0\" encoding=\"UTF-8\"?>\\n<plist version=\"1.0\"><array>' + "        \
  "b'<true/>' * 6000000 + b'</array></plist>\\n'"

INSTANTIATE_TEST_SUITE_P(
    Fixtures, OversizedEntries,
    ::testing::Values(
        Oversized{"pattern_one_byte_over", kFirstPattern, "b'\\x01' * 29321", -1, "declares 29321 bytes, more than the 29320"},
        Oversized{"pattern_48_MiB", kFirstPattern, "bytes(48 << 20)", -1, "declares 50331648 bytes"},
        Oversized{"stray_file_48_MiB", "patterns/sub/big.bin", "bytes(48 << 20)", -1, "declares 50331648 bytes"},
        Oversized{"index_table_42_MB", "patternIndicesTable.plist", HUGE_TABLE, -1, "more than the 4194304"},
        Oversized{"pattern_sets_1_MiB", "iGROOVEBIX_patternSet.plist", PADDED_SETS, -1, "more than the 65536"},
        // The headers say 29,320 bytes; the stream inflates to 48 MiB.
        Oversized{"header_understates_a_pattern", kFirstPattern, "bytes(48 << 20)", 29320,
                  "Archive exceeds the size limits in the entry \"patterns/"}),
    [](const ::testing::TestParamInfo<Oversized>& info) { return std::string(info.param.label); });

}  // namespace
