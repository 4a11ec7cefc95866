// Writes the factory library into the bundle folder given as the argument:
// "patterns/" (one file per pattern, named by its identifier),
// "patternIndicesTable.plist", "iGROOVEBIX_initPattern.dat" and
// "iGROOVEBIX_patternSet.plist". The output depends on nothing but this
// program, so every build writes the same bytes.

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/record/init_pattern.h"
#include "library/pattern_file.h"
#include "library/pattern_indices_table.h"
#include "library/pattern_name_creator.h"
#include "platform/foundation/property_list.h"
#include "tools/factory/composer.h"

namespace fs = std::filesystem;

namespace {

// Identifiers are made as the program makes them, from a fixed clock so the
// names are the same on every build.
constexpr double kFactoryTime = 788918400.0;  // 2026-01-01 00:00:00 UTC

int fail(const std::string& what) {
  std::fprintf(stderr, "igb_factory_gen: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return fail("usage: igb_factory_gen <bundle folder>");
  const fs::path bundle = argv[1];
  const fs::path patterns = bundle / "patterns";
  std::error_code ec;
  fs::remove_all(patterns, ec);
  fs::create_directories(patterns, ec);
  if (ec) return fail("cannot create " + patterns.string() + ": " + ec.message());

  const auto library = factory::composeLibrary();
  if (library.size() != 416) return fail("the library must have 416 patterns");
  PatternIndicesTable table;
  table.resetTable();
  std::string error;
  for (size_t i = 0; i < library.size(); ++i) {
    PatternRecord record = library[i].record;
    PatternRecord check = record;
    if (clampPatternRecord(&check)) return fail("pattern " + std::to_string(i) + " has values out of range");
    const std::string id = Z31647PatternNameCreator::create(&record, kFactoryTime + static_cast<double>(i));
    if (!writePatternFile(patterns / id, record, &error)) return fail(error);
    table.add(record, id);
  }
  if (!table.storeTableAt(bundle / "patternIndicesTable.plist", &error)) return fail(error);
  if (!writePatternFile(bundle / "iGROOVEBIX_initPattern.dat", makeInitPattern(), &error)) return fail(error);

  // The initial pattern sets: two pages of factory patterns, one of the
  // collection, one of the user banks.
  platform::Array grid;
  for (int i = 0; i < 16; ++i) grid.emplace_back(i);
  for (int i = 0; i < 16; ++i) grid.emplace_back(32 + i);
  for (int i = 0; i < 16; ++i) grid.emplace_back(64 + i * 12);
  for (int i = 0; i < 16; ++i) grid.emplace_back(288 + i);
  if (!platform::writePropertyList(bundle / "iGROOVEBIX_patternSet.plist", platform::Value(grid), &error))
    return fail(error);
  return 0;
}
