#pragma once
// The small library the library's fuzz targets load, shared with the seed
// writer so that the seeds' index tables name its files.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/record/init_pattern.h"
#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "library/pattern_name_creator.h"
#include "platform/foundation/property_list.h"

namespace igbfuzz {

// The init pattern as the store serves it: in range, stamped as written.
inline PatternRecord fuzzInitPattern() {
  PatternRecord r = makeInitPattern();
  clampPatternRecord(&r);
  r.versionParams.dataVersion = Version::dataVersion();
  r.versionParams.allowableDevice = Version::allowableDevice();
  return r;
}

// Three patterns under identifiers of the creator's form.
inline std::vector<std::pair<std::string, PatternRecord>> fuzzPatterns() {
  std::vector<std::pair<std::string, PatternRecord>> out;
  for (int i = 0; i < 3; ++i) {
    PatternRecord r = fuzzInitPattern();
    r.tagParams.name[0] = static_cast<char>('A' + i);
    r.sequencerParams.tempo = 1200 + 10 * i;
    out.emplace_back(Z31647PatternNameCreator::create(&r, 1000.0 * i), r);
  }
  return out;
}

// The three items of a library in `dataDir`, through the library's own
// writers: the index table naming fuzzPatterns(), their files, and a grid
// of 64 pattern numbers. False when something could not be written.
inline bool writeFuzzLibrary(const std::filesystem::path& dataDir) {
  std::error_code ec;
  std::filesystem::create_directories(dataDir / "patterns", ec);
  PatternIndicesTable table;
  table.resetTable();
  for (const auto& [id, r] : fuzzPatterns()) {
    if (!writePatternFile(dataDir / "patterns" / id, r)) return false;
    table.add(r, id);
  }
  platform::Array grid;
  for (long long i = 0; i < 64; ++i) grid.emplace_back(i % 3);
  return table.storeTableAt(dataDir / "patternIndicesTable.plist") &&
         platform::writePropertyList(dataDir / "iGROOVEBIX_patternSet.plist", platform::Value(std::move(grid)));
}

}  // namespace igbfuzz
