// Writes the seeds of the property-list fuzz target that are too large, or
// too much laid out by hand, to keep in corpus/: a payload shared until the
// parsed tree would be 700 MB, and a flat binary array of 100,000 numbers
// that a reader fetching items by number takes seconds over.
// Usage: write_seeds FOLDER (makes FOLDER/fuzz_property_list/...)

#include <cstdio>
#include <filesystem>

#include "tests/support/costly_property_lists.h"
#include "tests/support/fuzz/fuzz_support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_seeds FOLDER\n");
    return 1;
  }
  const std::filesystem::path out = std::filesystem::path(argv[1]) / "fuzz_property_list";
  igbfuzz::writeAll(out / "nested-shared-payload.bin", test_support::nestedSharedPayload());
  // 16,384 distinct numbers make the file large enough for its 100,000
  // elements to be read.
  igbfuzz::writeAll(out / "flat-array.bin", test_support::flatArrayOfNumbers(100000, 16384));
  return 0;
}
