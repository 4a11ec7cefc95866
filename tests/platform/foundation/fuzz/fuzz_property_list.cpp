// libFuzzer target for the readers that meet property lists from outside:
// the property-list reader (user defaults, pattern sets, the keychain,
// Info.plist) and the keyed-archive reader behind the index table. Besides
// crashes, leaks, sanitizer reports, timeouts and runaway memory, the run
// stops when a refusal gives no reason, when a table is read with an
// identifier that is not one, or when a table read back from its own saved
// form names different files.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "library/pattern_indices_table.h"
#include "library/pattern_name_creator.h"
#include "platform/foundation/property_list.h"

namespace {

[[noreturn]] void stop(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_property_list: %s %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);

  std::string error;
  const auto value = platform::propertyListFromBytes(bytes, &error);
  if (!value && error.empty()) stop("the property-list reader refused without a reason");

  PatternIndicesTable table;
  error.clear();
  if (!table.loadTableFromBytes(bytes, &error)) {
    if (error.empty()) stop("the index table reader refused without a reason");
    if (table.hasTable()) stop("a refused index table was kept");
    return 0;
  }
  for (int64_t i = 0; i < table.numberOfPatterns(); ++i)
    if (!isPatternIdentifier(table.entryAt(i)->identifier())) stop("read an identifier that is not one");
  // The table as the program saves it must name the same files.
  PatternIndicesTable again;
  error.clear();
  if (!again.loadTableFromBytes(table.archivedBytes(), &error)) stop("cannot read the saved table back:", error);
  if (again.numberOfPatterns() != table.numberOfPatterns()) stop("the saved table has another length");
  for (int64_t i = 0; i < table.numberOfPatterns(); ++i)
    if (again.entryAt(i)->identifier() != table.entryAt(i)->identifier())
      stop("the saved table names another file:", again.entryAt(i)->identifier());
  return 0;
}
