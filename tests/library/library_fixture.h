#pragma once
// A fresh documents folder per test: $IGROOVEBIX_HOME points at a new
// temporary directory and the bundle at a second one the test fills.

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>
#include <sys/resource.h>

#include "engine/record/pattern_record.h"
#include "library/library_writes.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/igb-library-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    docs = root / "Documents";
    bundle = root / "bundle";
    std::filesystem::create_directories(docs);
    std::filesystem::create_directories(bundle);
    ::setenv("IGROOVEBIX_HOME", docs.c_str(), 1);
    Utilities::setBundleResourcePath(bundle);
  }
  void TearDown() override {
    // A test that refuses library writes leaves none refused for the next.
    LibraryWrites::allow();
    ::unsetenv("IGROOVEBIX_HOME");
    Utilities::setBundleResourcePath(std::nullopt);
    std::error_code ec;
    std::filesystem::permissions(root, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(root);
  }

  std::filesystem::path data() const { return docs / ".igroovebix.d"; }
  std::filesystem::path patterns() const { return data() / "patterns"; }

  static std::vector<uint8_t> readBytes(const std::filesystem::path& p) {
    auto b = platform::readFile(p);
    return b ? *b : std::vector<uint8_t>{};
  }
  static void writeBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(p.parent_path());
    ASSERT_TRUE(platform::writeFileAtomically(p, bytes));
  }
  static std::vector<uint8_t> bytesOf(const PatternRecord& r) {
    const auto a = r.toBytes();
    return std::vector<uint8_t>(a.begin(), a.end());
  }

  // A small factory library in the test's bundle: `files` pattern files
  // named by the 40-digit identifiers factoryId(0), factoryId(1), ... and an
  // index table of `entries` identifiers
  // (entries past the files name files that do not exist), an init pattern
  // and a pattern-set grid.
  void makeBundle(int files, int entries = -1);

  // Runs a Python script; returns its output and expects exit status 0.
  std::string runPython(const std::string& script) {
    const auto py = root / "check.py";
    const auto out = root / "out.txt";
    std::ofstream(py) << script;
    const std::string cmd = "python3 " + py.string() + " > " + out.string() + " 2>&1";
    const int rc = std::system(cmd.c_str());
    std::ifstream in(out);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(rc, 0) << ss.str();
    return ss.str();
  }

  std::filesystem::path root, docs, bundle;
};

// While alive, no file can grow past `bytes`: a write beyond fails as on a
// full disk (root ignores permissions, so this is how the tests make a save
// fail part-way).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

// A record with recognisable contents: name, author, tags, tempo and a
// few steps chosen by `seed`.
inline PatternRecord testRecord(int seed, const char* name = nullptr) {
  PatternRecord r = PatternRecord::zeroed();
  r.versionParams.dataVersion = PatternRecord::kDataVersion;
  // The text fields are fixed-size and need not end in a zero byte.
  auto put = [](char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size));
  };
  put(r.tagParams.name, sizeof r.tagParams.name, name ? std::string(name) : "P" + std::to_string(seed));
  put(r.tagParams.author, sizeof r.tagParams.author, "author" + std::to_string(seed));
  put(r.tagParams.tags, sizeof r.tagParams.tags, "tag" + std::to_string(seed));
  r.effectParams[0] = fxParams{seed % 8, 64, 32, 1};
  for (int p = 0; p < kNumParts; ++p) {
    for (int i = 0; i < kNumPartParams; ++i) r.synthParams[p][i] = 0;
    r.synthParams[p].level = 100;
    r.synthParams[p].pan = 64;
  }
  for (auto& m : r.motionParams) m.motionId = -1;
  r.sequencerParams.tempo = static_cast<int16_t>(1000 + seed);
  r.sequencerParams.swing = 50;
  r.sequencerParams.length = 1;
  r.sequencerParams.lastStep = 16;
  r.sequencerParams.accentLevel = 100;
  r.sequencerParams.trigger[seed % 8][seed % 16] = 1;
  return r;
}

#include "engine/record/init_pattern.h"
#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "platform/foundation/property_list.h"

inline std::string factoryId(int i) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%040d", 7000 + i);
  return buf;
}

inline void LibraryTest::makeBundle(int files, int entries) {
  if (entries < 0) entries = files;
  std::filesystem::create_directories(bundle / "patterns");
  PatternIndicesTable t;
  t.resetTable();
  for (int i = 0; i < entries; ++i) {
    const PatternRecord r = testRecord(i, ("Factory" + std::to_string(i)).c_str());
    if (i < files) {
      ASSERT_TRUE(writePatternFile(bundle / "patterns" / factoryId(i), r));
    }
    t.add(r, factoryId(i));
  }
  ASSERT_TRUE(t.storeTableAt(bundle / "patternIndicesTable.plist"));
  PatternRecord init = makeInitPattern();
  std::snprintf(init.tagParams.name, sizeof init.tagParams.name, "Bundle Init");
  ASSERT_TRUE(writePatternFile(bundle / "iGROOVEBIX_initPattern.dat", init));
  platform::Array grid;
  for (int i = 0; i < 64; ++i) grid.emplace_back(i * 2);
  ASSERT_TRUE(platform::writePropertyList(bundle / "iGROOVEBIX_patternSet.plist", platform::Value(grid)));
}
