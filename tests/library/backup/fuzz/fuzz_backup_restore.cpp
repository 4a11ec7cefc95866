// libFuzzer target for restoring a backup: the input is the archive, read
// with the program's fixed password into a small temporary library whose
// data directory also holds files a restore must never touch. Besides
// crashes, sanitizer reports, leaks, timeouts and runaway memory, the run
// stops when:
// - a refused archive gives no reason, or leaves the data directory other
//   than it was (a staging folder left behind included);
// - an accepted archive leaves a library the restore's own check refuses,
//   touches the files outside the three items, or leaves anything else in
//   the data directory.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "library/backup/backup_archive.h"
#include "library/backup/backup_log.h"
#include "library/utilities.h"
#include "tests/library/fuzz/fuzz_library.h"
#include "tests/support/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTarget = "fuzz_backup_restore";

struct Setup {
  fs::path root, data, archive;
  igbfuzz::Tree library;
  std::string password;
};

const Setup& setup() {
  static const Setup s = [] {
    Setup x;
    x.root = igbfuzz::makeTempDir("restore");
    x.data = x.root / "Documents" / ".igroovebix.d";
    x.archive = x.root / "Documents" / "backup.gbd";
    if (!igbfuzz::writeFuzzLibrary(x.data)) igbfuzz::stop(kTarget, "cannot write the library");
    // What lives beside the library and is none of a restore's business.
    igbfuzz::writeAll(x.data / "global.dat", std::string(40, '\x01'));
    igbfuzz::writeAll(x.data / "editBuffer.dat", std::string(100, '\x02'));
    x.library = igbfuzz::snapshot(x.data);
    x.password = Utilities::createDataPassword();
    setBackupLogHandler([](const std::string&) {});
    return x;
  }();
  return s;
}

// Puts the library back as it was before an accepted restore.
void reset(const Setup& s) {
  std::error_code ec;
  fs::remove_all(s.data, ec);
  for (const auto& [path, bytes] : s.library) {
    if (bytes.size() == 1 && bytes[0] == '/') fs::create_directories(s.data / path);
    else igbfuzz::writeAll(s.data / path, bytes);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Setup& s = setup();
  igbfuzz::writeAll(s.archive, std::span<const uint8_t>(data, size));
  std::string error;
  const bool restored = BackupArchive::restore(s.archive, s.data, s.password, &error);
  const igbfuzz::Tree after = igbfuzz::snapshot(s.data);
  if (!restored) {
    if (error.empty()) igbfuzz::stop(kTarget, "a refused archive gave no reason");
    if (auto changed = igbfuzz::difference(s.library, after); !changed.empty())
      igbfuzz::stop(kTarget, "a refused archive changed the library: " + changed + " (" + error + ")");
    return 0;
  }
  for (const char* kept : {"global.dat", "editBuffer.dat"}) {
    auto it = after.find(kept);
    if (it == after.end() || it->second != s.library.at(kept)) igbfuzz::stop(kTarget, std::string("a restore touched ") + kept);
  }
  for (const auto& [path, bytes] : after) {
    const std::string top = path.substr(0, path.find('/'));
    if (top != "global.dat" && top != "editBuffer.dat" && !BackupArchive::shouldBackup(path))
      igbfuzz::stop(kTarget, "a restore left " + path);
  }
  // The restored library passes the check the archive passed; the check
  // looks at a folder of the three items only.
  const fs::path check = s.root / "check";
  std::error_code ec;
  fs::remove_all(check, ec);
  fs::create_directories(check);
  for (const std::string& name : BackupArchive::requiredFilesToRestore())
    fs::copy(s.data / name, check / name, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (!BackupArchive::containsFilesToNeed(check, &error))
    igbfuzz::stop(kTarget, "the restored library fails the restore's check: " + error);
  reset(s);
  return 0;
}
