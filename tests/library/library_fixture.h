#pragma once
// A fresh documents folder per test: $IGROOVEBIX_HOME points at a new
// temporary directory and the bundle at a second one the test fills.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/record/pattern_record.h"
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

// A record with recognisable contents: name, author, tags, tempo and a
// few steps chosen by `seed`.
inline PatternRecord testRecord(int seed, const char* name = nullptr) {
  PatternRecord r = PatternRecord::zeroed();
  r.versionParams.dataVersion = PatternRecord::kDataVersion;
  std::snprintf(r.tagParams.name, sizeof r.tagParams.name, "%s", name ? name : ("P" + std::to_string(seed)).c_str());
  std::snprintf(r.tagParams.author, sizeof r.tagParams.author, "author%d", seed);
  std::snprintf(r.tagParams.tags, sizeof r.tagParams.tags, "tag%d", seed);
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
