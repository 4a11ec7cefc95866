#pragma once
// The platform's keyed archive: an object graph flattened into a binary
// property list ("$archiver" "NSKeyedArchiver", "$version" 100000, "$top"
// {"root": UID}, "$objects" [...]), objects referring to each other by UID.
// Only trees of strings, integers, arrays and plain keyed objects are
// needed here, so that is all this handles.
//
// Thread-safe (no shared state). Not real-time-safe.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

struct ArchivedObject {
  enum class Kind { Null, String, Integer, Array, Object };

  // Declared, not defaulted here: `fields` holds pairs of this very type,
  // and clang (unlike GCC) would check them for default construction
  // before the type is complete.
  ArchivedObject();

  Kind kind = Kind::Null;
  std::string string;                                      // String
  int64_t integer = 0;                                     // Integer
  std::vector<ArchivedObject> items;                       // Array
  std::string className;                                   // Array and Object
  std::vector<std::string> classes;                        // class chain, most derived first
  std::vector<std::pair<std::string, ArchivedObject>> fields;  // Object

  static ArchivedObject makeString(std::string s);
  static ArchivedObject makeArray(std::vector<ArchivedObject> items, std::string className = "NSMutableArray");
  static ArchivedObject makeObject(std::string className,
                                   std::vector<std::pair<std::string, ArchivedObject>> fields);
  // The field of that key; nullptr when absent.
  const ArchivedObject* field(const std::string& key) const;
};

// The binary property list of the archive whose root object is `root`.
std::vector<uint8_t> keyedArchive(const ArchivedObject& root);

// Reads an archive in the binary or XML form. Unknown keys are kept; a
// reference that does not resolve, a cycle or a malformed archive gives an
// empty result and the reason in `error`.
std::optional<ArchivedObject> keyedUnarchive(std::span<const uint8_t> bytes, std::string* error = nullptr);
