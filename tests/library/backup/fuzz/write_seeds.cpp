// Writes the seed corpus of the restore fuzz target through the backup
// writer: archives of a small library under the program's password, one of
// a library with a single pattern, one under another password, and two
// whose index tables are costly to read: a payload shared until the parsed
// tree would be 64 GiB, and one entry named 2,000 times, whose 20 fields
// each name an object past 60,000 others, which a reader fetching objects
// by number takes seconds over.
// Usage: write_seeds FOLDER (makes FOLDER/fuzz_backup_restore/...)

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "library/backup/backup_archive.h"
#include "library/utilities.h"
#include "tests/library/fuzz/fuzz_library.h"
#include "tests/support/costly_property_lists.h"
#include "tests/support/fuzz/fuzz_support.h"
#include "tests/support/keyed_archive_layouts.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_seeds FOLDER\n");
    return 1;
  }
  const fs::path out = fs::path(argv[1]) / "fuzz_backup_restore";
  const fs::path scratch = fs::path(argv[1]) / "scratch";
  fs::create_directories(out);
  const std::string password = Utilities::createDataPassword();
  auto archive = [&](const std::string& name, const std::string& pass) {
    std::string error;
    if (!BackupArchive::write(scratch, out / name, pass, {}, &error)) {
      std::fprintf(stderr, "write_seeds: %s: %s\n", name.c_str(), error.c_str());
      std::exit(1);
    }
  };
  if (!igbfuzz::writeFuzzLibrary(scratch)) return 1;
  archive("library.gbd", password);
  archive("other-password.gbd", "not the password");
  const fs::path table = scratch / "patternIndicesTable.plist";
  const std::vector<uint8_t> ownTable = igbfuzz::readAll(table);
  igbfuzz::writeAll(table, test_support::sharedPayload(65535, 1 << 20));
  archive("shared-payload-table.gbd", password);
  // The padding makes the file large enough for its entries to be read.
  igbfuzz::writeAll(table, test_support::farEntryTable(2000, 60000, igbfuzz::fuzzPatterns()[0].first, 1 << 20, 20));
  archive("far-entry-table.gbd", password);
  igbfuzz::writeAll(table, ownTable);
  // One pattern: the smallest library a restore takes.
  for (const auto& entry : fs::directory_iterator(scratch / "patterns"))
    if (entry.path().filename() != igbfuzz::fuzzPatterns()[0].first) fs::remove(entry.path());
  archive("one-pattern.gbd", password);
  fs::remove_all(scratch);
  return 0;
}
