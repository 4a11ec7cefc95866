#pragma once
// A fresh documents folder per test ($IGROOVEBIX_HOME), a bundle with an
// "Info.plist", a small pattern library made through the library's own
// writers, and helpers to run the independent tools (unzip, zip, Python's
// zipfile) the archives must work with.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/record/pattern_record.h"
#include "library/backup/backup_archive.h"
#include "library/backup/backup_log.h"
#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list.h"
#include "platform/runloop/run_loop.h"

namespace backup_test {

namespace fs = std::filesystem;

inline std::vector<uint8_t> readBytes(const fs::path& p) {
  auto b = platform::readFile(p);
  return b ? *b : std::vector<uint8_t>{};
}

inline void writeBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
  fs::create_directories(p.parent_path());
  ASSERT_TRUE(platform::writeFileAtomically(p, bytes));
}

inline void writeText(const fs::path& p, const std::string& text) {
  writeBytes(p, std::vector<uint8_t>(text.begin(), text.end()));
}

inline void setMtime(const fs::path& p, time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::lutimes(p.c_str(), tv), 0) << p;
}

// Every regular file and link below `dir` (relative path -> bytes, or
// "-> target" for a link), for comparing whole trees.
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string rel = it->path().lexically_relative(dir).generic_string();
    const auto st = it->symlink_status();
    if (fs::is_symlink(st)) {
      out[rel] = "-> " + fs::read_symlink(it->path()).string();
    } else if (fs::is_regular_file(st)) {
      const auto b = readBytes(it->path());
      out[rel] = std::string(b.begin(), b.end());
    } else if (fs::is_directory(st)) {
      out[rel + "/"] = "";
    }
  }
  return out;
}

inline PatternRecord record(int seed) {
  PatternRecord r = PatternRecord::zeroed();
  r.versionParams.dataVersion = PatternRecord::kDataVersion;
  auto put = [](char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size));
  };
  put(r.tagParams.name, sizeof r.tagParams.name, "Pattern " + std::to_string(seed));
  put(r.tagParams.author, sizeof r.tagParams.author, "author" + std::to_string(seed));
  r.sequencerParams.tempo = static_cast<int16_t>(900 + seed);
  r.sequencerParams.swing = 50;
  r.sequencerParams.length = 1;
  r.sequencerParams.lastStep = 16;
  for (int s = 0; s < 64; s += 1 + seed % 5) r.sequencerParams.trigger[seed % 8][s] = 1;
  return r;
}

class BackupTest : public ::testing::Test {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-backup-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    docs = root / "Documents";
    bundle = root / "bundle";
    fs::create_directories(docs);
    fs::create_directories(bundle);
    ::setenv("IGROOVEBIX_HOME", docs.c_str(), 1);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    Utilities::setBundleResourcePath(bundle);
    setInfo({{"TSBackupFileExtension", platform::Value("gbd")}});
    setBackupLogHandler([this](const std::string& m) { log.push_back(m); });
    BackupFileNameCreator::setDeviceName(std::string("Test Device"));
  }
  void TearDown() override {
    setBackupLogHandler(nullptr);
    BackupFileNameCreator::setDeviceName(std::nullopt);
    BackupFileNameCreator::setClock(nullptr);
    ::unsetenv("IGROOVEBIX_HOME");
    Utilities::setBundleResourcePath(std::nullopt);
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void setInfo(const platform::Dictionary& info) {
    ASSERT_TRUE(platform::writePropertyList(bundle / "Info.plist", platform::Value(info)));
  }

  fs::path data() const { return docs / ".igroovebix.d"; }

  // A library of `count` patterns in the data directory of `documents`:
  // pattern files named by identifiers, a file in a subfolder of the
  // pattern directory, the index table, the pattern sets, and the two files
  // that never go into a backup.
  void makeLibrary(const fs::path& documents, int count, int seed = 0) {
    const fs::path d = documents / ".igroovebix.d";
    PatternIndicesTable table;
    for (int i = 0; i < count; ++i) {
      const std::string id = std::to_string(1000 + seed * 100 + i) + "0211";
      fs::create_directories(d / "patterns");
      ASSERT_TRUE(writePatternFile(d / "patterns" / id, record(seed + i)));
      table.add(record(seed + i), id);
    }
    ASSERT_TRUE(table.storeTableAt(d / "patternIndicesTable.plist"));
    platform::Array grid;
    for (int i = 0; i < 64; ++i) grid.push_back(platform::Value((i * 7 + seed) % count));
    ASSERT_TRUE(platform::writePropertyList(d / "iGROOVEBIX_patternSet.plist", platform::Value(grid)));
    writeText(d / "patterns" / "sub" / "notes.txt", "kept with the patterns " + std::to_string(seed));
    writeText(d / "global.dat", "global settings " + std::to_string(seed));
    writeText(d / "gbx_editBuffer.dat", "edit buffer " + std::to_string(seed));
  }

  // Runs a shell command; its exit status, output in `out`.
  int run(const std::string& command, std::string* out = nullptr) {
    const fs::path o = root / "cmd-out.txt";
    const int rc = std::system((command + " > '" + o.string() + "' 2>&1").c_str());
    std::ifstream in(o);
    std::stringstream ss;
    ss << in.rdbuf();
    if (out) *out = ss.str();
    fs::remove(o);
    return WEXITSTATUS(rc);
  }

  // Runs a Python script; expects exit status 0 and returns its output.
  std::string python(const std::string& script) {
    const fs::path py = root / "check.py";
    std::ofstream(py) << script;
    std::string out;
    const int rc = run("python3 '" + py.string() + "'", &out);
    EXPECT_EQ(rc, 0) << out;
    fs::remove(py);
    return out;
  }

  static std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

  fs::path root, docs, bundle;
  std::vector<std::string> log;
};

// Runs passes of the main loop until `done` or `seconds` pass.
inline bool runMainUntil(const std::function<bool()>& done, double seconds = 5.0) {
  auto& loop = platform::RunLoop::main();
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    loop.runOnce(0.01);
  }
  return true;
}

}  // namespace backup_test
