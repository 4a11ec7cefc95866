// Writes the seed corpus of the "global.dat" fuzz target: the file as the
// program saves it, and one file of each older version with that version's
// number of values, as earlier releases wrote them; a newer version, a
// short file and values out of range.
// Usage: write_seeds FOLDER (makes FOLDER/fuzz_global_settings/...)

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/settings/global_settings.h"
#include "tests/support/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> file(uint32_t version, const std::vector<int32_t>& values) {
  std::vector<uint8_t> bytes;
  auto put = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(version);
  for (int32_t v : values) put(static_cast<uint32_t>(v));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_seeds FOLDER\n");
    return 1;
  }
  const fs::path out = fs::path(argv[1]) / "fuzz_global_settings";
  fs::create_directories(out);

  // The current version through the program's own writer.
  const fs::path scratch = out / "scratch";
  {
    GlobalSettings g(scratch, scratch);
    const int32_t values[GlobalSettings::kCount] = {1, 0, 90, 33, 5, 0, 0, 0, 1};
    for (uint32_t i = 0; i < GlobalSettings::kCount; ++i) g.set(i, values[i]);
    if (!g.saveGlobalSettings()) return 1;
  }
  fs::rename(scratch / "global.dat", out / "version-6-saved");
  fs::remove_all(scratch);

  const std::vector<int32_t> stored = {1, 0, 100, 20, 7, 0, 1, 0, 1};
  const size_t counts[] = {2, 4, 5, 6, 7, 8, 9};
  for (uint32_t version = 0; version <= 6; ++version)
    igbfuzz::writeAll(out / ("version-" + std::to_string(version)),
                      file(version, std::vector<int32_t>(stored.begin(), stored.begin() + static_cast<long>(counts[version]))));
  igbfuzz::writeAll(out / "version-7", file(7, stored));
  igbfuzz::writeAll(out / "version-4-short", file(4, std::vector<int32_t>(stored.begin(), stored.begin() + 6)));
  igbfuzz::writeAll(out / "out-of-range", file(6, {-1, 2, 128, -200, 8, 1 << 30, -(1 << 30), 5, 2}));
  igbfuzz::writeAll(out / "version-word-only", file(2, {}));
  return 0;
}
