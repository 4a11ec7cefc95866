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
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace platform {

// Nesting beyond this many arrays and dictionaries is refused. Nothing this
// system writes comes near it (a keyed archive nests five deep).
inline constexpr int kPropertyListMaxDepth = 64;

// A binary property list names each object once in its table but may refer
// to it from many places, and libplist parses every reference into a copy
// of its own: nodes, string and data payloads alike. The expanded tree is
// therefore costed before it is parsed, in bytes of memory: each node
// (dictionary keys included) kPropertyListNodeCost, and each string, key
// or data its payload (a 16-bit string at 3 bytes a unit, which is the most
// UTF-8 takes for it). The cost may reach kPropertyListCostPerByte for each
// byte of the file, or kPropertyListMinCost when that is more, and never
// more than kPropertyListMaxCost.
//
// The numbers: libplist gives a node 96 bytes of heap and a container's
// list of children 32 more, and rounds a payload up to its allocation, so
// 128 a node stays above what it takes. The index table the program writes
// costs 11 times its size with identifiers of the length the name creator
// gives them, and 24 times with one- to four-digit ones; 32 leaves room.
// The floor keeps small files of one repeated value readable: 65,536
// nodes. The ceiling is more than six times the cost of an index table of
// the 10,000 patterns a backup may bring (under 10 MB); a Value converted
// from the tree costs about as much again, so the worst file read takes
// about 128 MiB at its peak.
//
// XML names no object twice: its tree costs in proportion to the text, and
// is not costed here.
inline constexpr uint64_t kPropertyListNodeCost = 128;
inline constexpr uint64_t kPropertyListCostPerByte = 32;
inline constexpr uint64_t kPropertyListMinCost = uint64_t{8} << 20;
inline constexpr uint64_t kPropertyListMaxCost = uint64_t{64} << 20;

// The cost (above) that a binary property list of `fileSize` bytes may
// expand to. The keyed-archive reader holds its decoded objects to the same.
uint64_t propertyListCostBound(uint64_t fileSize);

// Whether libplist may be given `bytes`: a binary list whose object graph
// nests at most kPropertyListMaxDepth deep, costs no more than
// propertyListCostBound of its size once expanded and holds no string with
// a NUL; or XML text with no NUL byte and at most
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

// Visit the items of an array node, or the entries of a dictionary node, in
// order and in one pass, until `visit` returns false (then so do these).
// Arrays and dictionaries are always read so: libplist indexes neither
// when it parses binary, and fetches item i (or a key) by walking from
// the first one, so that reading a long container item by item would take
// time in the square of its length.
template <typename Visit>  // bool(plist_t item)
bool forEachPlistArrayItem(plist_t array, Visit&& visit) {
  plist_array_iter it = nullptr;
  plist_array_new_iter(array, &it);
  const std::unique_ptr<void, decltype(&std::free)> holder(it, &std::free);
  for (;;) {
    plist_t item = nullptr;
    plist_array_next_item(array, it, &item);
    if (!item) return true;
    if (!visit(item)) return false;
  }
}

template <typename Visit>  // bool(std::string key, plist_t value)
bool forEachPlistDictEntry(plist_t dict, Visit&& visit) {
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(dict, &it);
  const std::unique_ptr<void, decltype(&std::free)> holder(it, &std::free);
  for (;;) {
    char* rawKey = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(dict, it, &rawKey, &value);
    std::string key = rawKey ? rawKey : "";
    std::free(rawKey);
    if (!value) return true;
    if (!visit(std::move(key), value)) return false;
  }
}

}  // namespace platform
