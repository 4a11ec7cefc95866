// libFuzzer target for the pattern store's readers of pattern files and of
// the edit buffer. The input is written as a stored pattern's file and as
// the edit buffer of a small library in a temporary documents folder; the
// store then loads the library and the edit buffer as the program does at
// start-up. Besides crashes, sanitizer reports, leaks and runaway memory,
// the run stops when:
// - a pattern plays other than its file (clamped into range) or, for a file
//   that is no pattern, other than the init pattern, or such a file is not
//   reported;
// - what the store hands out is out of the record's ranges;
// - loading changes a file other than by converting the older form;
// - the edit buffer loads other than its file or pattern 0, or comes back
//   with a pattern number outside the library.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "engine/record/init_pattern.h"
#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "library/pattern_store.h"
#include "library/utilities.h"
#include "tests/support/fuzz/fuzz_support.h"
#include "tests/support/fuzz/record_ranges.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTarget = "fuzz_pattern_file";
// The fuzzed file, and one the table names that does not exist.
constexpr const char* kFuzzedId = "1234567890";
constexpr const char* kMissingId = "2345678901";
constexpr int32_t kEntries = 3;

struct Library {
  fs::path root;
  fs::path patternFile;
  fs::path editBuffer;
};

std::vector<uint8_t> bytesOf(const PatternRecord& r) {
  const auto a = r.toBytes();
  return {a.begin(), a.end()};
}

// The record's memory is its file layout (no padding), so equal memory is
// an equal record; cheaper than serialising both on every run.
bool same(const PatternRecord& a, const PatternRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const Library& library() {
  static const Library lib = [] {
    Library l;
    l.root = igbfuzz::makeTempDir("pattern-file");
    const fs::path docs = l.root / "Documents";
    const fs::path bundle = l.root / "bundle";
    fs::create_directories(docs);
    fs::create_directories(bundle);
    ::setenv("IGROOVEBIX_HOME", docs.c_str(), 1);
    Utilities::setBundleResourcePath(bundle);
    PatternRecord init = makeInitPattern();
    if (!writePatternFile(bundle / "iGROOVEBIX_initPattern.dat", init)) igbfuzz::stop(kTarget, "cannot set up");
    const auto dir = Utilities::applicationPatternDirectory();
    const auto tablePath = Utilities::applicationIndexTablePath();
    const auto editBuffer = Utilities::editBufferFilePath();
    if (!dir || !tablePath || !editBuffer) igbfuzz::stop(kTarget, "no data directory");
    fs::create_directories(*dir);
    // The fuzzed file is named twice, around one whose file is missing.
    PatternIndicesTable table;
    table.resetTable();
    table.add(init, kFuzzedId);
    table.add(init, kMissingId);
    table.add(init, kFuzzedId);
    if (!table.storeTableAt(*tablePath)) igbfuzz::stop(kTarget, "cannot write the index table");
    l.patternFile = *dir / kFuzzedId;
    l.editBuffer = *editBuffer;
    return l;
  }();
  return lib;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Library& lib = library();
  const std::span<const uint8_t> input(data, size);
  igbfuzz::writeAll(lib.patternFile, input);
  igbfuzz::writeAll(lib.editBuffer, input);

  // The edit buffer's number comes from the user defaults: any value.
  int64_t storedNumber = 0;
  std::memcpy(&storedNumber, data, std::min(size, sizeof storedNumber));

  Z31647PatternStore store;
  std::vector<std::string> problems;
  store.setReporter([&](const std::string& p) { problems.push_back(p); });
  store.setEditBufferNumberAccess({[&] { return std::optional<int64_t>(storedNumber); }, [](int64_t) {}});
  store.load();

  PatternRecord init = PatternRecord::zeroed();
  store.initPattern(&init);
  PatternRecord read = PatternRecord::zeroed();
  const PatternFileVersion version = readPatternRecord(input, &read);

  // What may be on disk after the load: the file as it was, or its
  // conversion to the current form.
  const std::vector<uint8_t> onDisk = igbfuzz::readAll(lib.patternFile);
  const std::vector<uint8_t> expectedOnDisk =
      version == kPatternFileConverted ? bytesOf(read) : std::vector<uint8_t>(input.begin(), input.end());
  if (onDisk != expectedOnDisk) igbfuzz::stop(kTarget, "loading changed the pattern file");

  PatternRecord plays = init;
  if (version != kPatternFileUnusable) {
    plays = read;
    clampPatternRecord(&plays);
  } else if (problems.empty()) {
    igbfuzz::stop(kTarget, "a file that is no pattern was not reported");
  }
  if (store.numberOfPatterns() != kEntries) igbfuzz::stop(kTarget, "the library lost its entries");
  for (int32_t i = 0; i < kEntries; ++i) {
    PatternRecord got = store.patternAt(i);
    const PatternRecord& want = i == 1 ? init : plays;
    if (!same(got, want)) igbfuzz::stop(kTarget, "pattern " + std::to_string(i) + " is not its file");
    if (auto bad = igbfuzz::outOfRange(got); !bad.empty()) igbfuzz::stop(kTarget, "the store handed out " + bad);
    for (int32_t column = 0; column <= 4; ++column) store.columnText(i, column);
  }

  PatternRecord buffer = PatternRecord::zeroed();
  int32_t index = -1;
  store.loadEditBuffer(&buffer, &index);
  PatternRecord wantBuffer = store.patternAt(0);
  if (size == PatternRecord::kSize) {
    wantBuffer = PatternRecord::fromBytes(std::span<const uint8_t, PatternRecord::kSize>(data, size));
    clampPatternRecord(&wantBuffer);
    const int64_t wantIndex = std::clamp<int64_t>(storedNumber, 0, kEntries - 1);
    if (index != wantIndex) igbfuzz::stop(kTarget, "the edit buffer's number is " + std::to_string(index));
  } else if (index != 0) {
    igbfuzz::stop(kTarget, "an unusable edit buffer did not fall back to pattern 0");
  }
  if (!same(buffer, wantBuffer)) igbfuzz::stop(kTarget, "the edit buffer loaded something else");
  if (auto bad = igbfuzz::outOfRange(buffer); !bad.empty()) igbfuzz::stop(kTarget, "the edit buffer handed out " + bad);
  return 0;
}
