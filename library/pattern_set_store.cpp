#include "library/pattern_set_store.h"

#include <cstdio>
#include <system_error>
#include <vector>

#include "library/library_writes.h"
#include "library/utilities.h"
#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kFileName = "iGROOVEBIX_patternSet.plist";
constexpr const char* kDamagedSuffix = ".damaged";
}

PatternSetStore& PatternSetStore::sharedInstance() {
  static PatternSetStore* instance = new PatternSetStore();
  return *instance;
}

PatternSetStore::PatternSetStore() {
  for (auto& e : grid_) e.store(0, std::memory_order_relaxed);
}

void PatternSetStore::report(const std::string& problem) const {
  if (reporter_) reporter_(problem);
  else std::fprintf(stderr, "igroovebix: pattern sets: %s\n", problem.c_str());
}

uint32_t PatternSetStore::patternIndex(int32_t slot, int32_t bank) const {
  const int64_t element = static_cast<int64_t>(slot) + 16 * static_cast<int64_t>(bank);
  if (!validElement(element) || static_cast<size_t>(element) >= count()) return 0;
  return grid_[static_cast<size_t>(element)].load(std::memory_order_relaxed);
}

bool PatternSetStore::exists(int32_t, int32_t) const { return true; }

bool PatternSetStore::patternEqual(int32_t slot, int32_t bank, uint32_t number) const {
  return patternEqual(static_cast<int64_t>(slot) + 16 * static_cast<int64_t>(bank), number);
}

bool PatternSetStore::patternEqual(int64_t element, uint32_t number) const {
  if (!validElement(element) || static_cast<size_t>(element) >= count()) return false;
  return grid_[static_cast<size_t>(element)].load(std::memory_order_relaxed) == number;
}

void PatternSetStore::append(uint32_t number) {
  const size_t n = count();
  if (n == 0 || n >= kNumberOfElements) return;
  grid_[n].store(number, std::memory_order_relaxed);
  size_.store(n + 1, std::memory_order_release);
}

void PatternSetStore::replace(int32_t slot, int32_t bank, uint32_t number) {
  replace(static_cast<int64_t>(slot) + 16 * static_cast<int64_t>(bank), number);
}

void PatternSetStore::replace(int64_t element, uint32_t number) {
  if (!validElement(element) || static_cast<size_t>(element) >= count()) return;
  grid_[static_cast<size_t>(element)].store(number, std::memory_order_relaxed);
}

std::optional<fs::path> PatternSetStore::patternSetDataPath() {
  auto data = Utilities::applicationDocumentsDirectory();
  if (!data) return std::nullopt;
  return *data / kFileName;
}

fs::path PatternSetStore::patternSetInitialDataPath() { return Utilities::bundleResourcePath() / kFileName; }

std::optional<PatternSetStore::Grid> PatternSetStore::readGrid(const fs::path& path, std::string* error,
                                                              const Grid* defaults, std::string* repaired) {
  auto value = platform::readPropertyList(path, error);
  if (!value) return std::nullopt;
  const platform::Array* array = value->array();
  if (!array) {
    *error = path.string() + ": not an array";
    return std::nullopt;
  }
  std::vector<std::string> repairs;
  if (array->size() != kNumberOfElements) {
    const std::string count = std::to_string(array->size()) + " elements, not " + std::to_string(kNumberOfElements);
    if (!defaults) {
      *error = path.string() + ": " + count;
      return std::nullopt;
    }
    repairs.push_back(count + (array->size() > kNumberOfElements ? " (cut to 64)" : " (filled up from the bundle's)"));
  }
  Grid grid{};
  for (size_t i = 0; i < kNumberOfElements; ++i) {
    if (i >= array->size()) {
      grid[i] = (*defaults)[i];
      continue;
    }
    const platform::Value& v = (*array)[i];
    if (!v.isInteger() || v.integerValue() < 0 || v.integerValue() > UINT32_MAX) {
      if (!defaults) {
        *error = path.string() + ": element " + std::to_string(i) + " is not a pattern number";
        return std::nullopt;
      }
      repairs.push_back("element " + std::to_string(i) + " is not a pattern number (the bundle's is used)");
      grid[i] = (*defaults)[i];
      continue;
    }
    grid[i] = static_cast<uint32_t>(v.integerValue());
  }
  if (repaired) {
    repaired->clear();
    for (const std::string& r : repairs) *repaired += (repaired->empty() ? "" : "; ") + r;
  }
  return grid;
}

void PatternSetStore::setGrid(const Grid& grid) {
  for (size_t i = 0; i < kNumberOfElements; ++i) grid_[i].store(grid[i], std::memory_order_relaxed);
  size_.store(kNumberOfElements, std::memory_order_release);
}

bool PatternSetStore::load() {
  auto path = patternSetDataPath();
  if (!path) {
    report("no data directory; the bundle's pattern sets are used");
    std::string error;
    auto grid = readGrid(patternSetInitialDataPath(), &error);
    if (!grid) {
      report("cannot read the bundle's pattern sets: " + error);
      size_.store(0, std::memory_order_release);
      return false;
    }
    setGrid(*grid);
    return true;
  }
  return loadFromPath(*path);
}

bool PatternSetStore::keepDamagedFile() {
  if (!mustKeep_) return true;
  const fs::path& original = *mustKeep_;
  auto bytes = platform::readFile(original);
  if (!bytes) {
    // Nothing left to keep: the file went meanwhile.
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(original, ec))) mustKeep_.reset();
    return !mustKeep_;
  }
  for (int n = 1; n < 1000; ++n) {
    const fs::path copy =
        original.string() + kDamagedSuffix + (n == 1 ? std::string() : "-" + std::to_string(n));
    std::error_code ec;
    if (fs::exists(fs::symlink_status(copy, ec))) {
      // The same bytes kept by an earlier start need no second copy.
      if (platform::readFile(copy) == bytes) {
        mustKeep_.reset();
        return true;
      }
      continue;
    }
    std::string error;
    if (!platform::writeFileAtomically(copy, *bytes, &error)) {
      report("cannot keep a copy of the damaged pattern sets: " + error);
      return false;
    }
    report("the damaged pattern sets are kept as " + copy.filename().string());
    mustKeep_.reset();
    return true;
  }
  report("cannot keep a copy of the damaged pattern sets: every name is taken");
  return false;
}

bool PatternSetStore::loadFromPath(const fs::path& path) {
  if (auto docs = Utilities::applicationiTunesDocumentsDirectory())
    Utilities::moveOlderLayoutItem(*docs / kFileName, path);
  std::error_code ec;
  std::string error;
  const fs::path bundle = patternSetInitialDataPath();
  const bool userFile = path != bundle;
  auto bundleGrid = readGrid(bundle, &error);
  const std::string bundleError = error;
  if (fs::exists(path, ec) && userFile) {
    const Grid defaults = bundleGrid.value_or(Grid{});
    std::string repaired;
    auto grid = readGrid(path, &error, &defaults, &repaired);
    if (grid && repaired.empty()) {
      if (mustKeep_ == path) mustKeep_.reset();
      setGrid(*grid);
      return true;
    }
    mustKeep_ = path;
    if (grid) {
      report("the pattern sets were damaged (" + path.string() + ": " + repaired + "); what could be read is kept");
      keepDamagedFile();
      setGrid(*grid);
      return true;
    }
    report("the pattern sets are unreadable (" + error + "); the bundle's pattern sets are used");
    keepDamagedFile();
  }
  if (!bundleGrid) {
    report("cannot read the bundle's pattern sets: " + bundleError);
    size_.store(0, std::memory_order_release);
    return false;
  }
  setGrid(*bundleGrid);
  return true;
}

bool PatternSetStore::storeToPath(const fs::path& path, std::string* error) {
  const size_t n = count();
  if (n == 0) {
    if (error) *error = "no pattern sets loaded";
    return false;
  }
  if (mustKeep_ == path && !keepDamagedFile()) {
    if (error) *error = "the damaged file there could not be copied aside, so it is not overwritten";
    return false;
  }
  platform::Array array;
  array.reserve(n);
  for (size_t i = 0; i < n; ++i) array.emplace_back(static_cast<long long>(grid_[i].load(std::memory_order_relaxed)));
  return platform::writePropertyList(path, platform::Value(std::move(array)), error);
}

bool PatternSetStore::store() {
  auto path = patternSetDataPath();
  std::string error;
  if (const auto refusal = LibraryWrites::refusal()) {
    report("cannot save the pattern sets: " + *refusal);
    return false;
  }
  if (!path || !storeToPath(*path, &error)) {
    report("cannot save the pattern sets: " + (path ? error : std::string("no data directory")));
    return false;
  }
  return true;
}
