#pragma once
// The one way in for property-list bytes that come from outside: backups,
// the keychain, files other programs wrote. libplist trusts its input more
// than we can: it recurses as deep as the file nests (parsing and freeing),
// parses a shared reference once for every place that names it, and aborts
// on a string holding a NUL character. The bytes are therefore checked
// before libplist sees them, and strings are read back with their length.
//
// Every reader of property lists (property_list.cpp, the keyed archive)
// parses through parsePropertyListTree.
//
// Thread-safe (no shared state). Not real-time-safe: allocation.

#include <plist/plist.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform {

// Nesting beyond this many arrays and dictionaries is refused. Nothing this
// system writes comes near it (a keyed archive nests five deep).
inline constexpr int kPropertyListMaxDepth = 64;

// A binary property list names each object once in its table but may refer
// to it from many places; parsed, every reference becomes a node of its
// own. The expanded tree may hold this many nodes per table entry (or
// kPropertyListMinExpansion nodes, whichever is more, so that small lists of
// repeated numbers stay readable).
inline constexpr uint64_t kPropertyListExpansionPerObject = 16;
inline constexpr uint64_t kPropertyListMinExpansion = 65536;

// Whether libplist may be given `bytes`: a binary list whose object graph
// nests at most kPropertyListMaxDepth deep, expands within its bound and
// holds no string with a NUL; or XML text with no NUL byte and at most
// kPropertyListMaxDepth nested arrays and dictionaries. Other malformations
// are left to libplist. `error` (when given) receives the reason.
bool propertyListWithinBounds(std::span<const uint8_t> bytes, std::string* error = nullptr);

struct PlistTreeDeleter {
  void operator()(void* p) const {
    if (p) plist_free(static_cast<plist_t>(p));
  }
};
using PlistTree = std::unique_ptr<void, PlistTreeDeleter>;

// Checks `bytes` (above) and parses them, binary or XML; empty with `error`
// when they are refused or do not parse.
PlistTree parsePropertyListTree(std::span<const uint8_t> bytes, std::string* error = nullptr);

// The text of a string node, read with its length; empty when `node` is not
// a string or its text holds a NUL (which no text of ours may hold).
std::optional<std::string> plistStringValue(plist_t node);

}  // namespace platform
