#include "soundcloud/ts_json.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>

namespace tssc {

platform::Value tsValueFromJSON(const jk::Value& json) {
  if (json.isNil() || json.isNull()) return platform::Value();
  if (json.isBoolean()) return platform::Value(json.boolValue());
  if (const jk::Number* n = json.number()) {
    switch (n->type()) {
      case jk::Number::Type::Int64: return platform::Value(static_cast<long long>(n->longLongValue()));
      case jk::Number::Type::UInt64: {
        const uint64_t u = n->unsignedLongLongValue();
        const uint64_t max = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
        return platform::Value(static_cast<long long>(u > max ? max : u));
      }
      case jk::Number::Type::Double: return platform::Value(n->doubleValue());
    }
  }
  if (json.isString()) return platform::Value(std::string(json.stringView()));
  if (const jk::Data* d = json.data()) return platform::Value(platform::Data(d->bytes(), d->bytes() + d->length()));
  if (const jk::Date* d = json.date()) return platform::Value(platform::Date{d->secondsSince1970()});
  if (jk::Array* a = json.array()) {
    platform::Array out;
    out.reserve(a->count());
    for (const jk::Value& e : a->objects()) out.push_back(tsValueFromJSON(e));
    return platform::Value(std::move(out));
  }
  if (jk::Dictionary* d = json.dictionary()) {
    platform::Dictionary out;
    for (const jk::Value& k : d->allKeys())
      if (k.isString()) out[std::string(k.stringView())] = tsValueFromJSON(d->objectForKey(k));
    return platform::Value(std::move(out));
  }
  return platform::Value();
}

std::optional<platform::Value> tsParseJSON(const platform::Data& body) {
  const jk::Value data = jk::Value::data(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  const jk::Value json = data.data()->objectFromJSONData();
  if (json.isNil()) return std::nullopt;
  return tsValueFromJSON(json);
}

const platform::Value* tsMember(const platform::Value& dict, const std::string& key) { return dict.find(key); }

std::optional<std::string> tsString(const platform::Value& dict, const std::string& key) {
  const platform::Value* v = dict.find(key);
  if (!v || !v->isString()) return std::nullopt;
  return *v->string();
}

std::optional<int64_t> tsInteger(const platform::Value& dict, const std::string& key) {
  const platform::Value* v = dict.find(key);
  if (!v || !(v->isInteger() || v->isReal())) return std::nullopt;
  return v->integerValue();
}

const platform::Dictionary* tsDictionary(const platform::Value& dict, const std::string& key) {
  const platform::Value* v = dict.find(key);
  return v ? v->dictionary() : nullptr;
}

const platform::Array* tsArray(const platform::Value& dict, const std::string& key) {
  const platform::Value* v = dict.find(key);
  return v ? v->array() : nullptr;
}

std::string tsDescription(const platform::Value& value) {
  switch (value.type()) {
    case platform::Value::Type::String: return *value.string();
    case platform::Value::Type::Integer: return std::to_string(value.integerValue());
    case platform::Value::Type::Bool: return value.boolValue() ? "1" : "0";
    case platform::Value::Type::Real: {
      const double d = value.realValue();
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15) return std::to_string(static_cast<long long>(d));
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", d);
      return buf;
    }
    default: return std::string();
  }
}

}  // namespace tssc
