// Writes the seed corpora of the library's fuzz targets through the
// library's own writers: pattern files in both forms and with values out of
// range, index tables naming the fuzz library's files, and pattern-set
// grids, in binary and XML; and a payload shared until the parsed tree
// would be 700 MB.
// Usage: write_seeds FOLDER (makes FOLDER/<fuzzer>/...)

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "platform/foundation/property_list.h"
#include "tests/library/fuzz/fuzz_library.h"
#include "tests/support/costly_property_lists.h"
#include "tests/support/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

void fail(const std::string& what) {
  std::fprintf(stderr, "write_seeds: %s\n", what.c_str());
  std::exit(1);
}

void patternFileSeeds(const fs::path& out) {
  const PatternRecord init = igbfuzz::fuzzInitPattern();
  if (!writePatternFile(out / "current", init)) fail("cannot write a pattern file");
  std::array<uint8_t, PatternRecord::kBodySize> body{};
  init.bodyToBytes(body);
  igbfuzz::writeAll(out / "older-form", body);

  PatternRecord wild = init;
  wild.effectParams[0].type = 200;
  wild.effectParams[0].edit1 = -5;
  wild.synthParams[0][0] = 1 << 30;
  wild.synthParams[5][3] = -1;
  wild.motionParams[0].enabled = 7;
  wild.motionParams[0].motionId = 9999;
  wild.motionParams[1].enabled = 0;
  wild.motionParams[1].motionId = 3;
  wild.motionParams[2].value[4] = 300;
  wild.motionParams[2].trigger[5] = 9;
  wild.sequencerParams.tempo = 0;
  wild.sequencerParams.length = 9;
  wild.sequencerParams.lastStep = 0;
  wild.sequencerParams.trigger[0][0] = 4;
  for (char& c : wild.tagParams.name) c = 'N';  // no terminating zero
  igbfuzz::writeAll(out / "out-of-range", wild.toBytes());

  const auto bytes = init.toBytes();
  igbfuzz::writeAll(out / "short", std::span<const uint8_t>(bytes.data(), 100));
  igbfuzz::writeAll(out / "empty", std::span<const uint8_t>());
}

void writeBoth(const fs::path& out, const std::string& name, const platform::Value& value) {
  auto xml = platform::propertyListToXML(value);
  auto binary = platform::propertyListToBinary(value);
  if (!xml || !binary) fail("cannot encode " + name);
  igbfuzz::writeAll(out / (name + ".xml"), *xml);
  igbfuzz::writeAll(out / (name + ".bin"), *binary);
}

void propertyListSeeds(const fs::path& out) {
  const auto patterns = igbfuzz::fuzzPatterns();
  PatternIndicesTable table;
  table.resetTable();
  for (const auto& [id, r] : patterns) table.add(r, id);
  table.add(patterns[0].second, "12345678901234567890");  // names no file
  if (!table.storeTableAt(out / "index-table.bin")) fail("cannot write an index table");
  // 13 KB that would be 700 MB parsed.
  igbfuzz::writeAll(out / "nested-shared-payload.bin", test_support::nestedSharedPayload());

  platform::Array grid;
  for (uint32_t i = 0; i < 64; ++i) grid.emplace_back(static_cast<long long>(i % 3 == 0 ? i : 300 + i));
  writeBoth(out, "pattern-sets", platform::Value(grid));
  platform::Array shorter(grid.begin(), grid.begin() + 40);
  writeBoth(out, "pattern-sets-40", platform::Value(shorter));
  platform::Array mixed = grid;
  mixed[7] = platform::Value(std::string("seven"));
  mixed[8] = platform::Value(-1LL);
  writeBoth(out, "pattern-sets-mixed", platform::Value(mixed));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) fail("usage: write_seeds FOLDER");
  const fs::path root = argv[1];
  fs::create_directories(root / "fuzz_pattern_file");
  fs::create_directories(root / "fuzz_library_property_lists");
  patternFileSeeds(root / "fuzz_pattern_file");
  propertyListSeeds(root / "fuzz_library_property_lists");
  return 0;
}
