// libFuzzer target for the library's own readers of its property lists:
// the input is written as "patternIndicesTable.plist" and as
// "iGROOVEBIX_patternSet.plist" of a small library in a temporary documents
// folder, and the pattern store and the pattern-set store load them as the
// program does at start-up. Besides crashes, sanitizer reports, leaks,
// timeouts and runaway memory, the run stops when:
// - loading writes, removes or adds anything in the documents folder;
// - the library comes up empty, or a pattern plays other than the file its
//   entry names (the init pattern for a name with no file);
// - an entry is read that is not an identifier, or a refused table is not
//   reported;
// - the saved table, or the saved pattern sets, read back differently;
// - a grid of 64 pattern numbers is not taken as it is, or a file taken
//   without a report is not such a grid.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "library/pattern_name_creator.h"
#include "library/pattern_set_store.h"
#include "library/pattern_store.h"
#include "library/utilities.h"
#include "platform/foundation/property_list.h"
#include "tests/library/fuzz/fuzz_library.h"
#include "tests/support/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTarget = "fuzz_library_property_lists";
constexpr uint32_t kBundleGridBase = 1000;

struct Library {
  fs::path root, docs, tablePath, setsPath;
  // The pattern files by identifier, as the store must serve them.
  std::map<std::string, std::vector<uint8_t>> patterns;
  std::vector<uint8_t> init;
};

std::vector<uint8_t> bytesOf(const PatternRecord& r) {
  const auto a = r.toBytes();
  return {a.begin(), a.end()};
}

const Library& library() {
  static const Library lib = [] {
    Library l;
    l.root = igbfuzz::makeTempDir("library-plists");
    l.docs = l.root / "Documents";
    const fs::path bundle = l.root / "bundle";
    fs::create_directories(l.docs);
    fs::create_directories(bundle);
    ::setenv("IGROOVEBIX_HOME", l.docs.c_str(), 1);
    Utilities::setBundleResourcePath(bundle);
    const PatternRecord init = igbfuzz::fuzzInitPattern();
    if (!writePatternFile(bundle / "iGROOVEBIX_initPattern.dat", init)) igbfuzz::stop(kTarget, "cannot set up");
    l.init = bytesOf(init);
    platform::Array grid;
    for (uint32_t i = 0; i < PatternSetStore::kNumberOfElements; ++i) grid.emplace_back(static_cast<long long>(kBundleGridBase + i));
    if (!platform::writePropertyList(bundle / "iGROOVEBIX_patternSet.plist", platform::Value(std::move(grid))))
      igbfuzz::stop(kTarget, "cannot write the bundle's pattern sets");

    const auto dir = Utilities::applicationPatternDirectory();
    const auto tablePath = Utilities::applicationIndexTablePath();
    const auto data = Utilities::applicationDocumentsDirectory();
    if (!dir || !tablePath || !data) igbfuzz::stop(kTarget, "no data directory");
    fs::create_directories(*dir);
    for (const auto& [id, r] : igbfuzz::fuzzPatterns()) {
      if (!writePatternFile(*dir / id, r)) igbfuzz::stop(kTarget, "cannot write a pattern");
      l.patterns[id] = bytesOf(r);
    }
    l.tablePath = *tablePath;
    l.setsPath = *data / "iGROOVEBIX_patternSet.plist";
    return l;
  }();
  return lib;
}

std::vector<std::string> identifiers(const PatternIndicesTable& table) {
  std::vector<std::string> ids;
  for (int32_t i = 0; i < table.numberOfPatterns(); ++i) ids.push_back(table.entryAt(i)->identifier());
  return ids;
}

void checkIndexTable(const Library& lib, std::span<const uint8_t> input) {
  igbfuzz::writeAll(lib.tablePath, input);
  const igbfuzz::Tree before = igbfuzz::snapshot(lib.docs);
  Z31647PatternStore store;
  std::vector<std::string> problems;
  store.setReporter([&](const std::string& p) { problems.push_back(p); });
  store.load();
  if (auto changed = igbfuzz::difference(before, igbfuzz::snapshot(lib.docs)); !changed.empty())
    igbfuzz::stop(kTarget, "loading the index table touched the library: " + changed);

  PatternIndicesTable check;
  std::string error;
  const bool readable = check.loadTableFromBytes(input, &error) && check.numberOfPatterns() > 0;
  if (!readable && problems.empty()) igbfuzz::stop(kTarget, "a refused index table was not reported");

  const PatternIndicesTable table = store.indicesTable();
  if (store.numberOfPatterns() <= 0 || store.numberOfPatterns() != table.numberOfPatterns())
    igbfuzz::stop(kTarget, "the library came up empty");
  for (int32_t i = 0; i < table.numberOfPatterns(); ++i) {
    const std::string& id = table.entryAt(i)->identifier();
    if (!isPatternIdentifier(id)) igbfuzz::stop(kTarget, "an entry is not an identifier: " + id);
    auto it = lib.patterns.find(id);
    const std::vector<uint8_t>& want = it != lib.patterns.end() ? it->second : lib.init;
    if (bytesOf(store.patternAt(i)) != want) igbfuzz::stop(kTarget, "pattern " + std::to_string(i) + " is not its file");
  }

  // What the program saves, it reads back as the same library.
  if (!store.storeIndexTable()) igbfuzz::stop(kTarget, "cannot save the index table");
  Z31647PatternStore again;
  again.setReporter([](const std::string& p) { igbfuzz::stop(kTarget, "the saved table is refused: " + p); });
  again.load();
  if (identifiers(again.indicesTable()) != identifiers(table)) igbfuzz::stop(kTarget, "the saved table names other files");
}

void checkPatternSets(const Library& lib, std::span<const uint8_t> input) {
  igbfuzz::writeAll(lib.setsPath, input);
  const igbfuzz::Tree before = igbfuzz::snapshot(lib.docs);
  PatternSetStore sets;
  std::vector<std::string> problems;
  sets.setReporter([&](const std::string& p) { problems.push_back(p); });
  if (!sets.loadFromPath(lib.setsPath) || sets.count() != PatternSetStore::kNumberOfElements)
    igbfuzz::stop(kTarget, "no grid after loading the pattern sets");
  // A file that was not read whole is kept beside itself before anything
  // could overwrite it; that copy, of exactly the bytes read, is the one
  // change loading may make.
  igbfuzz::Tree after = igbfuzz::snapshot(lib.docs);
  size_t copies = 0;
  for (auto it = after.begin(); it != after.end();) {
    const bool copy = !before.count(it->first) && it->first.find(".damaged") != std::string::npos;
    if (copy && it->second != std::vector<uint8_t>(input.begin(), input.end()))
      igbfuzz::stop(kTarget, "the kept copy " + it->first + " is not the file that was read");
    copies += copy ? 1 : 0;
    // Gone again, so that every input meets the same library.
    if (copy) fs::remove(lib.docs / it->first);
    it = copy ? after.erase(it) : std::next(it);
  }
  if (auto changed = igbfuzz::difference(before, after); !changed.empty())
    igbfuzz::stop(kTarget, "loading the pattern sets touched the library: " + changed);

  // A grid of 64 pattern numbers is what the program writes: it is taken
  // as it is, without a report, and nothing else is taken silently.
  const auto value = platform::propertyListFromBytes(input);
  bool wellFormed = value && value->array() && value->array()->size() == PatternSetStore::kNumberOfElements;
  for (size_t i = 0; wellFormed && i < PatternSetStore::kNumberOfElements; ++i) {
    const platform::Value& v = (*value->array())[i];
    wellFormed = v.isInteger() && v.integerValue() >= 0 && v.integerValue() <= UINT32_MAX;
  }
  if (wellFormed && !problems.empty()) igbfuzz::stop(kTarget, "a good grid was reported: " + problems.front());
  if (wellFormed && copies != 0) igbfuzz::stop(kTarget, "a good grid was copied aside");
  if (!wellFormed && problems.empty()) igbfuzz::stop(kTarget, "a file that is no grid was taken without a report");
  for (size_t i = 0; i < PatternSetStore::kNumberOfElements; ++i) {
    const uint32_t got = sets.patternIndex(static_cast<int32_t>(i % 16), static_cast<int32_t>(i / 16));
    if (wellFormed && got != static_cast<uint32_t>((*value->array())[i].integerValue()))
      igbfuzz::stop(kTarget, "slot " + std::to_string(i) + " differs from the file");
  }

  const fs::path saved = lib.root / "saved-sets.plist";
  std::string error;
  if (!sets.storeToPath(saved, &error)) igbfuzz::stop(kTarget, "cannot save the pattern sets: " + error);
  PatternSetStore again;
  again.setReporter([](const std::string& p) { igbfuzz::stop(kTarget, "the saved pattern sets are refused: " + p); });
  again.loadFromPath(saved);
  for (int32_t bank = 0; bank < 4; ++bank)
    for (int32_t slot = 0; slot < 16; ++slot)
      if (again.patternIndex(slot, bank) != sets.patternIndex(slot, bank))
        igbfuzz::stop(kTarget, "the saved pattern sets read back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Library& lib = library();
  const std::span<const uint8_t> input(data, size);
  checkIndexTable(lib, input);
  checkPatternSets(lib, input);
  return 0;
}
