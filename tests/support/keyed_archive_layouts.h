#pragma once
// Index tables laid out by hand as binary keyed archives, for what the
// program's own archiver never writes: one entry object named by thousands
// of references, a class chain thousands long that every entry copies, an
// entry of thousands of fields. Each is a small, well-formed property list
// that only grows once its references are followed.

#include <cstdint>
#include <string>
#include <vector>

#include "binary_plist_builder.h"

namespace test_support {

// The objects of an archive, added in "$objects" order; each add returns
// the object's UID (its place in that list).
class KeyedArchiveLayout {
 public:
  explicit KeyedArchiveLayout(int refSize = 4) : b_(refSize) { add(b_.ascii("$null")); }

  BinaryPlistBuilder& builder() { return b_; }
  uint64_t add(uint64_t object) {
    objects_.push_back(object);
    return objects_.size() - 1;
  }
  // A dictionary object of keys and builder objects.
  uint64_t dict(const std::vector<std::pair<std::string, uint64_t>>& entries) {
    std::vector<uint64_t> keys, values;
    for (const auto& [k, v] : entries) {
      keys.push_back(b_.ascii(k));
      values.push_back(v);
    }
    return b_.dict(keys, values);
  }
  uint64_t classNamed(const std::string& name, const std::vector<uint64_t>& chain) {
    return add(dict({{"$classname", b_.ascii(name)}, {"$classes", b_.array(chain)}}));
  }
  // The root array: `count` references to the object `entry`, through one
  // shared UID.
  uint64_t rootArray(uint64_t entry, size_t count, uint64_t arrayClass) {
    const uint64_t ref = b_.uid(entry);
    return add(dict({{"NS.objects", b_.array(std::vector<uint64_t>(count, ref))}, {"$class", b_.uid(arrayClass)}}));
  }

  std::vector<uint8_t> bytes(uint64_t rootUid) {
    const uint64_t objects = b_.array(objects_);
    const uint64_t top = dict({{"root", b_.uid(rootUid)}});
    return b_.bytes(dict({{"$archiver", b_.ascii("NSKeyedArchiver")},
                          {"$objects", objects},
                          {"$top", top},
                          {"$version", b_.integer(100000)}}));
  }

 private:
  BinaryPlistBuilder b_;
  std::vector<uint64_t> objects_;
};

// An index table of `count` entries that are all one entry object, whose
// identifier is `identifier`, and whose class chain is `chainLength` names
// long (one shared string) and whose object holds `extraFields` integer
// fields besides its identifier (one shared key and value).
inline std::vector<uint8_t> sharedEntryTable(size_t count, const std::string& identifier, size_t chainLength = 2,
                                             size_t extraFields = 0) {
  KeyedArchiveLayout a;
  BinaryPlistBuilder& b = a.builder();
  // UIDs in the order they are added: 1 the root, 2 the entry, 3 its
  // identifier, 4 the entry class, 5 the array class.
  const uint64_t root = a.rootArray(2, count, 5);
  std::vector<uint64_t> keys = {b.ascii("identifier"), b.ascii("$class")};
  std::vector<uint64_t> values = {b.uid(3), b.uid(4)};
  const uint64_t fieldKey = b.ascii("field"), fieldValue = b.integer(7);
  keys.insert(keys.end(), extraFields, fieldKey);
  values.insert(values.end(), extraFields, fieldValue);
  a.add(b.dict(keys, values));
  a.add(b.ascii(identifier));
  a.classNamed("PatternBibliographicInformation", std::vector<uint64_t>(chainLength, b.ascii("NSObject")));
  a.classNamed("NSMutableArray", {b.ascii("NSMutableArray"), b.ascii("NSObject")});
  return a.bytes(root);
}

// An index table of `count` entries that are all one entry object, placed
// after `fillers` objects of "$objects" (one shared string), with `fields`
// fields besides its identifier that each name one more object placed
// there, and `padding` bytes of data no object refers to. A reader that
// fetches objects by number from a list it walks takes count * fillers *
// (fields + 3) steps; the padding raises the bound the file's size earns,
// so that the table is still one to read.
inline std::vector<uint8_t> farEntryTable(size_t count, size_t fillers, const std::string& identifier,
                                          size_t padding, size_t fields = 0) {
  KeyedArchiveLayout a(1);
  BinaryPlistBuilder& b = a.builder();
  // UIDs: 1 the root, then the fillers, the entry, its identifier, its
  // class, the array's class and the fields' value.
  const uint64_t entry = fillers + 2;
  const uint64_t root = a.rootArray(entry, count, entry + 3);
  const uint64_t filler = b.ascii("filler");
  for (size_t i = 0; i < fillers; ++i) a.add(filler);
  std::vector<std::pair<std::string, uint64_t>> entries = {{"identifier", b.uid(entry + 1)}, {"$class", b.uid(entry + 2)}};
  const uint64_t field = b.uid(entry + 4);
  for (size_t i = 0; i < fields; ++i) entries.emplace_back("field" + std::to_string(i), field);
  a.add(a.dict(entries));
  a.add(b.ascii(identifier));
  a.classNamed("PatternBibliographicInformation", {b.ascii("PatternBibliographicInformation"), b.ascii("NSObject")});
  a.classNamed("NSMutableArray", {b.ascii("NSMutableArray"), b.ascii("NSObject")});
  a.add(b.ascii("a field's value"));
  b.data(std::string(padding, '\0'));
  return a.bytes(root);
}

}  // namespace test_support
