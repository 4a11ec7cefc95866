#include "platform/foundation/property_list.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/foundation/atomic_file.h"
#include "platform/foundation/property_list_input.h"

namespace platform {
namespace {

// Property-list dates count from 2001-01-01; Value dates from 1970-01-01.
constexpr double kReferenceDateOffset = 978307200.0;

struct PlistDeleter {
  void operator()(plist_t p) const {
    if (p) plist_free(p);
  }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

void setError(std::string* error, const std::string& what) {
  if (error) *error = what;
}

// Recursive: the input's nesting was bounded before it was parsed.
std::optional<Value> fromPlist(plist_t node, std::string* error) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      // libplist keeps integers as 64 bits; negative ones come back in two's
      // complement, which is how the platform's signed integers read.
      return Value(static_cast<long long>(static_cast<int64_t>(u)));
    }
    case PLIST_UID: {
      uint64_t u = 0;
      plist_get_uid_val(node, &u);
      return Value(static_cast<long long>(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      auto s = plistStringValue(node);
      if (!s) {
        setError(error, "property list holds a string with a NUL character");
        return std::nullopt;
      }
      return Value(std::move(*s));
    }
    case PLIST_DATA: {
      char* d = nullptr;
      uint64_t len = 0;
      plist_get_data_val(node, &d, &len);
      Data bytes;
      if (d && len) bytes.assign(reinterpret_cast<uint8_t*>(d), reinterpret_cast<uint8_t*>(d) + len);
      std::free(d);
      return Value(std::move(bytes));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return Value(Date{static_cast<double>(sec) + static_cast<double>(usec) / 1e6 + kReferenceDateOffset});
    }
    case PLIST_ARRAY: {
      Array out;
      out.reserve(plist_array_get_size(node));
      const bool whole = forEachPlistArrayItem(node, [&](plist_t child) {
        auto item = fromPlist(child, error);
        if (item) out.push_back(std::move(*item));
        return item.has_value();
      });
      if (!whole) return std::nullopt;
      return Value(std::move(out));
    }
    case PLIST_DICT: {
      Dictionary out;
      const bool whole = forEachPlistDictEntry(node, [&](std::string key, plist_t child) {
        auto item = fromPlist(child, error);
        if (item) out.insert_or_assign(std::move(key), std::move(*item));
        return item.has_value();
      });
      if (!whole) return std::nullopt;
      return Value(std::move(out));
    }
    default:
      setError(error, "property list holds an element of unknown type");
      return std::nullopt;
  }
}

plist_t toPlist(const Value& value, const std::string& where, std::string* error) {
  switch (value.type()) {
    case Value::Type::Null:
      setError(error, "a null value cannot be written to a property list (at " + where + ")");
      return nullptr;
    case Value::Type::Bool:
      return plist_new_bool(value.boolValue() ? 1 : 0);
    case Value::Type::Integer:
      return plist_new_uint(static_cast<uint64_t>(value.integerValue()));
    case Value::Type::Real: {
      const double d = value.realValue();
      if (!std::isfinite(d)) {
        setError(error, "a non-finite real cannot be written to a property list (at " + where + ")");
        return nullptr;
      }
      return plist_new_real(d);
    }
    case Value::Type::String:
      return plist_new_string(value.string()->c_str());
    case Value::Type::Data: {
      const Data& d = *value.data();
      return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Value::Type::Date: {
      const double since2001 = value.date()->secondsSince1970 - kReferenceDateOffset;
      if (!std::isfinite(since2001) || since2001 < std::numeric_limits<int32_t>::min() ||
          since2001 >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        setError(error, "date out of the property-list range (at " + where + ")");
        return nullptr;
      }
      const double whole = std::floor(since2001);
      int32_t sec = static_cast<int32_t>(whole);
      int32_t usec = static_cast<int32_t>(std::llround((since2001 - whole) * 1e6));
      if (usec >= 1000000) {
        ++sec;
        usec -= 1000000;
      }
      return plist_new_date(sec, usec);
    }
    case Value::Type::Array: {
      plist_t arr = plist_new_array();
      size_t i = 0;
      for (const Value& item : *value.array()) {
        plist_t p = toPlist(item, where + "[" + std::to_string(i++) + "]", error);
        if (!p) {
          plist_free(arr);
          return nullptr;
        }
        plist_array_append_item(arr, p);
      }
      return arr;
    }
    case Value::Type::Dictionary: {
      plist_t dict = plist_new_dict();
      // The map is sorted, so keys are written in the platform's order.
      for (const auto& [key, item] : *value.dictionary()) {
        plist_t p = toPlist(item, where + "." + key, error);
        if (!p) {
          plist_free(dict);
          return nullptr;
        }
        plist_dict_set_item(dict, key.c_str(), p);
      }
      return dict;
    }
  }
  setError(error, "unknown value type");
  return nullptr;
}

}  // namespace

std::optional<Value> propertyListFromBytes(std::span<const uint8_t> bytes, std::string* error) {
  PlistTree root = parsePropertyListTree(bytes, error);
  if (!root) return std::nullopt;
  return fromPlist(static_cast<plist_t>(root.get()), error);
}

std::optional<Value> readPropertyList(const std::filesystem::path& path) {
  return readPropertyList(path, nullptr);
}

std::optional<Value> readPropertyList(const std::filesystem::path& path, std::string* error) {
  auto bytes = readFile(path);
  if (!bytes) {
    setError(error, "cannot read " + path.string());
    return std::nullopt;
  }
  std::string why;
  auto value = propertyListFromBytes(*bytes, &why);
  if (!value) setError(error, path.string() + ": " + why);
  return value;
}

std::optional<std::string> propertyListToXML(const Value& value, std::string* error) {
  PlistPtr root(toPlist(value, "root", error));
  if (!root) return std::nullopt;
  char* xml = nullptr;
  uint32_t len = 0;
  plist_to_xml(root.get(), &xml, &len);
  if (!xml) {
    setError(error, "cannot encode property list");
    return std::nullopt;
  }
  std::string out(xml, len);
  plist_to_xml_free(xml);
  return out;
}

std::optional<std::vector<uint8_t>> propertyListToBinary(const Value& value, std::string* error) {
  PlistPtr root(toPlist(value, "root", error));
  if (!root) return std::nullopt;
  char* bin = nullptr;
  uint32_t len = 0;
  plist_to_bin(root.get(), &bin, &len);
  if (!bin) {
    setError(error, "cannot encode property list");
    return std::nullopt;
  }
  std::vector<uint8_t> out(reinterpret_cast<uint8_t*>(bin), reinterpret_cast<uint8_t*>(bin) + len);
  plist_to_bin_free(bin);
  return out;
}

bool writePropertyList(const std::filesystem::path& path, const Value& value, std::string* error) {
  auto xml = propertyListToXML(value, error);
  if (!xml) return false;
  return writeFileAtomically(path, *xml, error);
}

}  // namespace platform
