// What reading a property list costs in memory, measured in a child
// process: files whose parsed form would be thousands of times their size
// are refused with a clear reason and without the allocation, directly and
// as the index table of a backup going through the real restore; beside
// them, every kind of file the program writes, at its largest, and the
// factory library read back within a modest peak.

#include <gmock/gmock.h>

#include "library/backup/backup_fixture.h"
#include "library/pattern_set_store.h"
#include "platform/foundation/user_defaults.h"
#include "platform/keychain/keychain.h"
#include "support/costly_property_lists.h"
#include "support/keyed_archive_layouts.h"

namespace {

using namespace backup_test;

// How the program meets the file.
enum class Reader {
  PropertyList,  // the property-list reader (user defaults, pattern sets, bundles)
  IndexTable,    // the index table reader, then a restore of a backup holding it
  Keychain,      // the keychain's reader of its own files
};

class PropertyListCost;

struct Costed {
  const char* label;
  std::function<std::vector<uint8_t>(PropertyListCost&)> make;
  Reader reader;
  const char* reason;  // nullptr: read
  long maxGrowthKb;    // outside the sanitizers; four times that under them
  bool factoryLibrary = false;  // the backed-up library is the factory one
};

void PrintTo(const Costed& c, std::ostream* os) { *os << c.label; }

constexpr long kMiB = 1024;  // in KB

// One data object of 1 MiB, 65,535 times in one array: 1.1 MB that would
// be 64 GiB once parsed.
std::vector<uint8_t> sharedPayload() { return test_support::sharedPayload(65535, 1 << 20); }

const std::string kServiceName = "com.example.igroovebix::OAuth2::a-service-with-a-long-name";

class PropertyListCost : public BackupTest, public ::testing::WithParamInterface<Costed> {
 public:
  void SetUp() override {
    BackupTest::SetUp();
    fs::create_directories(scratch());
    if (GetParam().factoryLibrary) {
      const fs::path factory(IGB_BUNDLE_DIR);
      fs::create_directories(data());
      for (const char* item : {"patternIndicesTable.plist", "iGROOVEBIX_patternSet.plist", "patterns"})
        fs::copy(factory / item, data() / item, fs::copy_options::recursive);
    } else {
      makeLibrary(docs, 3);
    }
  }

  // The library's identifiers first, then others up to `count`, each
  // `digits` long at least.
  std::vector<uint8_t> tableOf(size_t count, size_t digits) {
    PatternIndicesTable table;
    EXPECT_TRUE(table.loadTableFrom(data() / "patternIndicesTable.plist"));
    for (size_t i = static_cast<size_t>(table.numberOfPatterns()); i < count; ++i) {
      std::string id = std::to_string(i);
      table.add(record(1), std::string(digits > id.size() ? digits - id.size() : 0, '9') + id);
    }
    return table.archivedBytes();
  }

  fs::path scratch() const { return root / "scratch"; }
};

TEST_P(PropertyListCost, IsReadOrRefusedWithinItsPeakMemory) {
  const Costed& c = GetParam();
  const std::vector<uint8_t> bytes = c.make(*this);
  ASSERT_FALSE(bytes.empty());
  const fs::path file = scratch() / "file.plist";
  writeBytes(file, bytes);
  fs::path arch;
  if (c.reader == Reader::IndexTable) arch = archiveWithTable(bytes);
  const auto before = snapshot(data());

  const Findings found = inChild(
      [&]() -> Findings {
        Findings f;
        std::string error;
        switch (c.reader) {
          case Reader::PropertyList:
            f += readOrRefused("the property-list reader", platform::readPropertyList(file, &error).has_value(), error,
                         c.reason);
            break;
          case Reader::Keychain: {
            std::vector<platform::KeychainItem> items;
            const auto status = platform::Keychain(scratch()).copyItems(kServiceName, &items);
            f += readOrRefused("the keychain", status == platform::KeychainStatus::Success,
                         platform::keychainStatusText(status), c.reason);
            if (!c.reason && items.size() != 1000) f += "the keychain read " + std::to_string(items.size()) + " items\n";
            break;
          }
          case Reader::IndexTable: {
            PatternIndicesTable table;
            f += readOrRefused("the index table reader", table.loadTableFrom(file, &error), error, c.reason);
            error.clear();
            const bool restored = BackupArchive::restore(arch, data(), Utilities::createDataPassword(), &error);
            f += readOrRefused("the restore", restored, error, c.reason);
            if (!restored && snapshot(data()) != before) f += "the refused restore changed the library\n";
            if (restored && readBytes(data() / "patternIndicesTable.plist") != bytes)
              f += "the restore left another index table\n";
            break;
          }
        }
        return f;
      },
      kShadowedMemory ? 4 * c.maxGrowthKb : c.maxGrowthKb);
  EXPECT_EQ(found, "") << c.label << " (" << bytes.size() << " bytes)";
}

INSTANTIATE_TEST_SUITE_P(
    Files, PropertyListCost,
    ::testing::Values(
        // Refused before libplist sees them.
        Costed{"shared_payload", [](PropertyListCost&) { return sharedPayload(); }, Reader::PropertyList,
               "would expand to more than", 8 * kMiB},
        Costed{"shared_payload_as_the_index_table", [](PropertyListCost&) { return sharedPayload(); },
               Reader::IndexTable, "would expand to more than", 8 * kMiB},
        // A small property list whose one entry, with an identifier of
        // 64 KiB, is all 65,535 entries of the table: 4 GiB once decoded.
        // What the decoder may make before it stops (10 MB for 330 KB of
        // file) and the parsed tree (8 MB) are its peak.
        Costed{"shared_entry_as_the_index_table",
               [](PropertyListCost&) { return test_support::sharedEntryTable(65535, std::string(64 << 10, '7')); },
               Reader::IndexTable, "keyed archive would expand to more than", 32 * kMiB},

        // What the program writes, read back.
        Costed{"index_table_of_the_library",
               [](PropertyListCost& t) { return readBytes(t.data() / "patternIndicesTable.plist"); },
               Reader::IndexTable, nullptr, 8 * kMiB},
        // As many entries as a backup may bring, with identifiers as long
        // as the name creator makes them and as short as they may be.
        Costed{"index_table_of_10000_long_identifiers", [](PropertyListCost& t) { return t.tableOf(10000, 60); },
               Reader::IndexTable, nullptr, 48 * kMiB},
        Costed{"index_table_of_10000_short_identifiers", [](PropertyListCost& t) { return t.tableOf(10000, 1); },
               Reader::IndexTable, nullptr, 48 * kMiB},
        Costed{"pattern_sets",
               [](PropertyListCost& t) {
                 PatternSetStore sets;
                 EXPECT_TRUE(sets.loadFromPath(t.data() / "iGROOVEBIX_patternSet.plist"));
                 EXPECT_TRUE(sets.storeToPath(t.scratch() / "sets.plist"));
                 return readBytes(t.scratch() / "sets.plist");
               },
               Reader::PropertyList, nullptr, 4 * kMiB},
        Costed{"user_defaults",
               [](PropertyListCost& t) {
                 platform::UserDefaults defaults(t.scratch() / "defaults.plist");
                 platform::Array numbers;
                 for (int i = 0; i < 10000; ++i) numbers.emplace_back(i);
                 EXPECT_TRUE(defaults.setObject(platform::Value(std::move(numbers)), "numbers"));
                 EXPECT_TRUE(defaults.setObject(platform::Value(platform::Data(1 << 20, 0x5A)), "blob"));
                 platform::Dictionary texts;
                 for (int i = 0; i < 1000; ++i) texts["key " + std::to_string(i)] = platform::Value("value " + std::to_string(i));
                 EXPECT_TRUE(defaults.setObject(platform::Value(std::move(texts)), "texts"));
                 EXPECT_TRUE(defaults.synchronize());
                 return readBytes(t.scratch() / "defaults.plist");
               },
               Reader::PropertyList, nullptr, 24 * kMiB},
        // Binary, and every item repeats the service's name and label, which
        // the writer folds into one object each.
        Costed{"keychain_of_many_items",
               [](PropertyListCost& t) {
                 platform::Keychain keychain(t.scratch());
                 std::vector<platform::KeychainItem> items;
                 for (int i = 0; i < 1000; ++i)
                   items.push_back({kServiceName, "account " + std::to_string(i), "the account's token", {},
                                    platform::Data(2048, static_cast<uint8_t>(i))});
                 EXPECT_EQ(keychain.replaceItems(kServiceName, items), platform::KeychainStatus::Success);
                 return readBytes(keychain.fileForService(kServiceName));
               },
               Reader::Keychain, nullptr, 32 * kMiB},
        Costed{"factory_index_table", [](PropertyListCost& t) { return readBytes(t.data() / "patternIndicesTable.plist"); },
               Reader::IndexTable, nullptr, 16 * kMiB, true},
        Costed{"factory_pattern_sets", [](PropertyListCost& t) { return readBytes(t.data() / "iGROOVEBIX_patternSet.plist"); },
               Reader::PropertyList, nullptr, 4 * kMiB, true}),
    [](const ::testing::TestParamInfo<Costed>& info) { return std::string(info.param.label); });

}  // namespace
