#include "library/keyed_archive.h"

#include <plist/plist.h>

#include <initializer_list>
#include <memory>
#include <unordered_map>

#include "platform/foundation/property_list_input.h"

ArchivedObject::ArchivedObject() = default;

ArchivedObject ArchivedObject::makeString(std::string s) {
  ArchivedObject o;
  o.kind = Kind::String;
  o.string = std::move(s);
  return o;
}

ArchivedObject ArchivedObject::makeArray(std::vector<ArchivedObject> items, std::string className) {
  ArchivedObject o;
  o.kind = Kind::Array;
  o.items = std::move(items);
  o.className = className;
  if (className == "NSMutableArray") o.classes = {"NSMutableArray", "NSArray", "NSObject"};
  else o.classes = {className, "NSObject"};
  return o;
}

ArchivedObject ArchivedObject::makeObject(std::string className,
                                          std::vector<std::pair<std::string, ArchivedObject>> fields) {
  ArchivedObject o;
  o.kind = Kind::Object;
  o.className = className;
  o.classes = {className, "NSObject"};
  o.fields = std::move(fields);
  return o;
}

const ArchivedObject* ArchivedObject::field(const std::string& key) const {
  for (const auto& [k, v] : fields)
    if (k == key) return &v;
  return nullptr;
}

namespace {

struct PlistFree {
  void operator()(void* p) const {
    if (p) plist_free(static_cast<plist_t>(p));
  }
};

class Encoder {
 public:
  Encoder() : objects_(plist_new_array()) { plist_array_append_item(objects_, plist_new_string("$null")); }

  plist_t objects() const { return objects_; }

  // Appends the object (children after it, its class last, as the platform's
  // archiver orders them) and returns its UID.
  uint64_t encode(const ArchivedObject& o) {
    switch (o.kind) {
      case ArchivedObject::Kind::Null: return 0;
      case ArchivedObject::Kind::String: {
        const uint64_t uid = plist_array_get_size(objects_);
        plist_array_append_item(objects_, plist_new_string(o.string.c_str()));
        return uid;
      }
      case ArchivedObject::Kind::Integer: {
        const uint64_t uid = plist_array_get_size(objects_);
        plist_array_append_item(objects_, plist_new_uint(static_cast<uint64_t>(o.integer)));
        return uid;
      }
      case ArchivedObject::Kind::Array: {
        const uint64_t uid = plist_array_get_size(objects_);
        plist_t dict = plist_new_dict();
        plist_array_append_item(objects_, dict);
        plist_t refs = plist_new_array();
        for (const ArchivedObject& item : o.items) plist_array_append_item(refs, plist_new_uid(encode(item)));
        plist_dict_set_item(dict, "NS.objects", refs);
        plist_dict_set_item(dict, "$class", plist_new_uid(classUid(o)));
        return uid;
      }
      case ArchivedObject::Kind::Object: {
        const uint64_t uid = plist_array_get_size(objects_);
        plist_t dict = plist_new_dict();
        plist_array_append_item(objects_, dict);
        for (const auto& [key, value] : o.fields) {
          // Integers are encoded in place (encodeInteger:forKey:), objects by reference.
          if (value.kind == ArchivedObject::Kind::Integer)
            plist_dict_set_item(dict, key.c_str(), plist_new_uint(static_cast<uint64_t>(value.integer)));
          else
            plist_dict_set_item(dict, key.c_str(), plist_new_uid(encode(value)));
        }
        plist_dict_set_item(dict, "$class", plist_new_uid(classUid(o)));
        return uid;
      }
    }
    return 0;
  }

 private:
  uint64_t classUid(const ArchivedObject& o) {
    for (const auto& [name, uid] : classes_)
      if (name == o.className) return uid;
    const uint64_t uid = plist_array_get_size(objects_);
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "$classname", plist_new_string(o.className.c_str()));
    plist_t chain = plist_new_array();
    for (const std::string& c : o.classes) plist_array_append_item(chain, plist_new_string(c.c_str()));
    plist_dict_set_item(dict, "$classes", chain);
    plist_array_append_item(objects_, dict);
    classes_.emplace_back(o.className, uid);
    return uid;
  }

  plist_t objects_;
  std::vector<std::pair<std::string, uint64_t>> classes_;
};

// Empty for a node that is not a string, and for a string holding a NUL:
// no text of an archive may hold one.
std::optional<std::string> stringOf(plist_t node) { return platform::plistStringValue(node); }

// A reference is a UID, or in the XML form a dictionary {"CF$UID": n}.
std::optional<uint64_t> uidOf(plist_t node) {
  if (!node) return std::nullopt;
  if (plist_get_node_type(node) == PLIST_UID) {
    uint64_t v = 0;
    plist_get_uid_val(node, &v);
    return v;
  }
  if (plist_get_node_type(node) == PLIST_DICT && plist_dict_get_size(node) == 1) {
    plist_t n = plist_dict_get_item(node, "CF$UID");
    if (n && plist_get_node_type(n) == PLIST_UINT) {
      uint64_t v = 0;
      plist_get_uint_val(n, &v);
      return v;
    }
  }
  return std::nullopt;
}

// Decodes the objects reachable from a UID. A reference is decoded anew
// each time it is met (the result is a tree), so an archive may name one
// object many times over and ask for far more than its own size; the
// decoded objects are therefore costed as they are made, in bytes of
// memory, against the bound of the property list they came from, and so
// is every dictionary entry looked at, which also bounds the time.
class Decoder {
 public:
  Decoder(plist_t objects, uint64_t budget, std::string* error) : budget_(budget), error_(error) {
    // One pass: fetching an item by number walks from the first.
    objects_.reserve(plist_array_get_size(objects));
    platform::forEachPlistArrayItem(objects, [&](plist_t o) {
      objects_.push_back(o);
      return true;
    });
  }

  std::optional<ArchivedObject> decodeRef(uint64_t uid, int depth) {
    if (uid >= objects_.size()) return fail("reference past the end of the objects");
    // Trees only: depth bounds both deep nesting and reference cycles.
    if (depth > 64) return fail("objects nest too deeply or refer to themselves");
    // Each costs its size, so the budget bounds how many are decoded.
    if (!spend(sizeof(ArchivedObject))) return std::nullopt;
    plist_t node = objects_[static_cast<size_t>(uid)];
    if (uid == 0) return ArchivedObject{};  // "$null"
    switch (plist_get_node_type(node)) {
      case PLIST_STRING: {
        auto s = stringOf(node);
        if (!s) return fail("a string holds a NUL character");
        if (!spend(s->size())) return std::nullopt;
        return ArchivedObject::makeString(std::move(*s));
      }
      case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        ArchivedObject o;
        o.kind = ArchivedObject::Kind::Integer;
        o.integer = static_cast<int64_t>(v);
        return o;
      }
      case PLIST_DICT: return decodeDict(node, depth);
      default: return fail("object of an unsupported type");
    }
  }

 private:
  // A class's name and chain, read once however many objects name it.
  struct ClassInfo {
    std::string name;
    std::vector<std::string> chain;
    uint64_t cost = 0;  // of a copy of both
  };

  std::optional<ArchivedObject> fail(const char* why) {
    if (error_) *error_ = why;
    return std::nullopt;
  }

  bool spend(uint64_t bytes) {
    spent_ += bytes;
    if (spent_ <= budget_) return true;
    if (error_)
      *error_ = "keyed archive would expand to more than " + std::to_string(budget_) + " bytes in memory once decoded";
    return false;
  }

  // The first value of `key` (as a lookup would give), and `node`'s entries
  // charged as they are looked at.
  bool entryOf(plist_t node, const std::initializer_list<std::pair<const char*, plist_t*>>& wanted) {
    return platform::forEachPlistDictEntry(node, [&](const std::string& key, plist_t value) {
      for (const auto& [name, found] : wanted)
        if (!*found && key == name) *found = value;
      return spend(sizeof(std::pair<std::string, ArchivedObject>) + key.size());
    });
  }

  const ClassInfo* classAt(uint64_t uid) {
    if (auto it = classes_.find(uid); it != classes_.end()) return &it->second;
    plist_t cls = objects_[static_cast<size_t>(uid)];
    if (plist_get_node_type(cls) != PLIST_DICT) {
      fail("malformed class");
      return nullptr;
    }
    plist_t nameNode = nullptr, chain = nullptr;
    if (!entryOf(cls, {{"$classname", &nameNode}, {"$classes", &chain}})) return nullptr;
    auto name = stringOf(nameNode);
    if (!name) {
      fail("class without a name");
      return nullptr;
    }
    ClassInfo info;
    info.name = std::move(*name);
    info.cost = sizeof(std::string) + info.name.size();
    if (chain && plist_get_node_type(chain) == PLIST_ARRAY) {
      const bool whole = platform::forEachPlistArrayItem(chain, [&](plist_t item) {
        auto c = stringOf(item);
        if (!c) return spend(sizeof(std::string));
        const uint64_t bytes = sizeof(std::string) + c->size();
        info.cost += bytes;
        info.chain.push_back(std::move(*c));
        return spend(bytes);
      });
      if (!whole) return nullptr;
    }
    return &classes_.emplace(uid, std::move(info)).first->second;
  }

  std::optional<ArchivedObject> decodeDict(plist_t node, int depth) {
    plist_t classNode = nullptr, refs = nullptr;
    if (!entryOf(node, {{"$class", &classNode}, {"NS.objects", &refs}})) return std::nullopt;
    auto classRef = uidOf(classNode);
    if (!classRef || *classRef >= objects_.size()) return fail("object without a class");
    const ClassInfo* cls = classAt(*classRef);
    if (!cls || !spend(cls->cost)) return std::nullopt;
    ArchivedObject o;
    o.className = cls->name;
    o.classes = cls->chain;
    if (refs) {
      if (plist_get_node_type(refs) != PLIST_ARRAY) return fail("malformed array");
      o.kind = ArchivedObject::Kind::Array;
      o.items.reserve(plist_array_get_size(refs));
      const bool whole = platform::forEachPlistArrayItem(refs, [&](plist_t ref) {
        auto uid = uidOf(ref);
        if (!uid) {
          fail("array element is not a reference");
          return false;
        }
        auto item = decodeRef(*uid, depth + 1);
        if (item) o.items.push_back(std::move(*item));
        return item.has_value();
      });
      if (!whole) return std::nullopt;
      return o;
    }
    o.kind = ArchivedObject::Kind::Object;
    const bool whole = platform::forEachPlistDictEntry(node, [&](std::string key, plist_t val) {
      if (key == "$class") return true;
      if (auto uid = uidOf(val)) {
        auto item = decodeRef(*uid, depth + 1);
        if (!item) return false;
        o.fields.emplace_back(std::move(key), std::move(*item));
      } else if (plist_get_node_type(val) == PLIST_UINT) {
        uint64_t v = 0;
        plist_get_uint_val(val, &v);
        ArchivedObject n;
        n.kind = ArchivedObject::Kind::Integer;
        n.integer = static_cast<int64_t>(v);
        o.fields.emplace_back(std::move(key), std::move(n));
      } else if (auto s = stringOf(val)) {
        if (!spend(s->size())) return false;
        o.fields.emplace_back(std::move(key), ArchivedObject::makeString(std::move(*s)));
      }
      // Other inline values (reals, bools, data) are not used here; skipped.
      return true;
    });
    if (!whole) return std::nullopt;
    return o;
  }

  std::vector<plist_t> objects_;
  std::unordered_map<uint64_t, ClassInfo> classes_;
  uint64_t budget_;
  uint64_t spent_ = 0;
  std::string* error_;
};

}  // namespace

std::vector<uint8_t> keyedArchive(const ArchivedObject& root) {
  Encoder enc;
  std::unique_ptr<void, PlistFree> top(plist_new_dict());
  plist_t objects = enc.objects();
  const uint64_t rootUid = enc.encode(root);
  plist_t topDict = plist_new_dict();
  plist_dict_set_item(topDict, "root", plist_new_uid(rootUid));
  plist_dict_set_item(static_cast<plist_t>(top.get()), "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_dict_set_item(static_cast<plist_t>(top.get()), "$objects", objects);
  plist_dict_set_item(static_cast<plist_t>(top.get()), "$top", topDict);
  plist_dict_set_item(static_cast<plist_t>(top.get()), "$version", plist_new_uint(100000));
  char* bin = nullptr;
  uint32_t len = 0;
  plist_to_bin(static_cast<plist_t>(top.get()), &bin, &len);
  std::vector<uint8_t> out(reinterpret_cast<uint8_t*>(bin), reinterpret_cast<uint8_t*>(bin) + len);
  plist_to_bin_free(bin);
  return out;
}

std::optional<ArchivedObject> keyedUnarchive(std::span<const uint8_t> bytes, std::string* error) {
  auto fail = [&](const char* why) -> std::optional<ArchivedObject> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (bytes.empty()) return fail("empty file");
  platform::PlistTree holder = platform::parsePropertyListTree(bytes, error);
  if (!holder) return std::nullopt;
  plist_t root = static_cast<plist_t>(holder.get());
  if (plist_get_node_type(root) != PLIST_DICT) return fail("not a keyed archive");
  auto archiver = stringOf(plist_dict_get_item(root, "$archiver"));
  if (!archiver || *archiver != "NSKeyedArchiver") return fail("not a keyed archive");
  plist_t objects = plist_dict_get_item(root, "$objects");
  plist_t top = plist_dict_get_item(root, "$top");
  if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !top || plist_get_node_type(top) != PLIST_DICT)
    return fail("keyed archive without objects or top");
  auto rootUid = uidOf(plist_dict_get_item(top, "root"));
  if (!rootUid) return fail("keyed archive without a root object");
  Decoder dec(objects, platform::propertyListCostBound(bytes.size()), error);
  return dec.decodeRef(*rootUid, 0);
}
