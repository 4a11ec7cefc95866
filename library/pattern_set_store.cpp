#include "library/pattern_set_store.h"

#include <cstdio>
#include <system_error>

#include "library/utilities.h"
#include "platform/foundation/property_list.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kFileName = "iGROOVEBIX_patternSet.plist";
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

std::optional<std::array<uint32_t, PatternSetStore::kNumberOfElements>> PatternSetStore::readGrid(
    const fs::path& path, std::string* error) {
  auto value = platform::readPropertyList(path, error);
  if (!value) return std::nullopt;
  const platform::Array* array = value->array();
  if (!array) {
    *error = path.string() + ": not an array";
    return std::nullopt;
  }
  if (array->size() != kNumberOfElements) {
    *error = path.string() + ": " + std::to_string(array->size()) + " elements, not " +
             std::to_string(kNumberOfElements);
    return std::nullopt;
  }
  std::array<uint32_t, kNumberOfElements> grid{};
  for (size_t i = 0; i < kNumberOfElements; ++i) {
    const platform::Value& v = (*array)[i];
    if (!v.isInteger() || v.integerValue() < 0 || v.integerValue() > UINT32_MAX) {
      *error = path.string() + ": element " + std::to_string(i) + " is not a pattern number";
      return std::nullopt;
    }
    grid[i] = static_cast<uint32_t>(v.integerValue());
  }
  return grid;
}

void PatternSetStore::setGrid(const std::array<uint32_t, kNumberOfElements>& grid) {
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

bool PatternSetStore::loadFromPath(const fs::path& path) {
  if (auto docs = Utilities::applicationiTunesDocumentsDirectory()) {
    std::error_code ec;
    if (fs::exists(*docs / kFileName, ec)) Utilities::moveWithoutReplacing(*docs / kFileName, path);
  }
  std::error_code ec;
  std::string error;
  if (fs::exists(path, ec)) {
    if (auto grid = readGrid(path, &error)) {
      setGrid(*grid);
      return true;
    }
    report("the pattern sets are unreadable (" + error + "); the bundle's pattern sets are used");
  }
  auto grid = readGrid(patternSetInitialDataPath(), &error);
  if (!grid) {
    report("cannot read the bundle's pattern sets: " + error);
    size_.store(0, std::memory_order_release);
    return false;
  }
  setGrid(*grid);
  return true;
}

bool PatternSetStore::storeToPath(const fs::path& path, std::string* error) const {
  const size_t n = count();
  if (n == 0) {
    if (error) *error = "no pattern sets loaded";
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
  if (!path || !storeToPath(*path, &error)) {
    report("cannot save the pattern sets: " + (path ? error : std::string("no data directory")));
    return false;
  }
  return true;
}
