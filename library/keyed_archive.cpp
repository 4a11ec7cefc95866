#include "library/keyed_archive.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

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

std::string takeString(char* s) {
  std::string out = s ? s : "";
  std::free(s);
  return out;
}

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

class Decoder {
 public:
  Decoder(plist_t objects, std::string* error) : objects_(objects), error_(error) {}

  std::optional<ArchivedObject> decodeRef(uint64_t uid, int depth) {
    if (uid >= plist_array_get_size(objects_)) return fail("reference past the end of the objects");
    // Trees only: depth bounds both deep nesting and reference cycles.
    if (depth > 64) return fail("objects nest too deeply or refer to themselves");
    // Shared references could otherwise multiply a small file into a huge tree.
    if (++decoded_ > 1000000) return fail("too many objects");
    plist_t node = plist_array_get_item(objects_, static_cast<uint32_t>(uid));
    if (uid == 0) return ArchivedObject{};  // "$null"
    switch (plist_get_node_type(node)) {
      case PLIST_STRING: {
        auto s = stringOf(node);
        if (!s) return fail("a string holds a NUL character");
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
  std::optional<ArchivedObject> fail(const char* why) {
    if (error_) *error_ = why;
    return std::nullopt;
  }

  std::optional<ArchivedObject> decodeDict(plist_t node, int depth) {
    auto classRef = uidOf(plist_dict_get_item(node, "$class"));
    if (!classRef || *classRef >= plist_array_get_size(objects_)) return fail("object without a class");
    plist_t cls = plist_array_get_item(objects_, static_cast<uint32_t>(*classRef));
    if (plist_get_node_type(cls) != PLIST_DICT) return fail("malformed class");
    auto name = stringOf(plist_dict_get_item(cls, "$classname"));
    if (!name) return fail("class without a name");
    ArchivedObject o;
    o.className = *name;
    if (plist_t chain = plist_dict_get_item(cls, "$classes"); chain && plist_get_node_type(chain) == PLIST_ARRAY) {
      for (uint32_t i = 0; i < plist_array_get_size(chain); ++i)
        if (auto c = stringOf(plist_array_get_item(chain, i))) o.classes.push_back(*c);
    }
    if (plist_t refs = plist_dict_get_item(node, "NS.objects")) {
      if (plist_get_node_type(refs) != PLIST_ARRAY) return fail("malformed array");
      o.kind = ArchivedObject::Kind::Array;
      for (uint32_t i = 0; i < plist_array_get_size(refs); ++i) {
        auto uid = uidOf(plist_array_get_item(refs, i));
        if (!uid) return fail("array element is not a reference");
        auto item = decodeRef(*uid, depth + 1);
        if (!item) return std::nullopt;
        o.items.push_back(std::move(*item));
      }
      return o;
    }
    o.kind = ArchivedObject::Kind::Object;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    std::unique_ptr<void, decltype(&std::free)> iterHolder(it, &std::free);
    for (;;) {
      char* rawKey = nullptr;
      plist_t val = nullptr;
      plist_dict_next_item(node, it, &rawKey, &val);
      if (!val) {
        std::free(rawKey);
        break;
      }
      std::string key = takeString(rawKey);
      if (key == "$class") continue;
      if (auto uid = uidOf(val)) {
        auto item = decodeRef(*uid, depth + 1);
        if (!item) return std::nullopt;
        o.fields.emplace_back(std::move(key), std::move(*item));
      } else if (plist_get_node_type(val) == PLIST_UINT) {
        uint64_t v = 0;
        plist_get_uint_val(val, &v);
        ArchivedObject n;
        n.kind = ArchivedObject::Kind::Integer;
        n.integer = static_cast<int64_t>(v);
        o.fields.emplace_back(std::move(key), std::move(n));
      } else if (auto s = stringOf(val)) {
        o.fields.emplace_back(std::move(key), ArchivedObject::makeString(*s));
      }
      // Other inline values (reals, bools, data) are not used here; skipped.
    }
    return o;
  }

  plist_t objects_;
  std::string* error_;
  size_t decoded_ = 0;
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
  Decoder dec(objects, error);
  return dec.decodeRef(*rootUid, 0);
}
