#include "oauth2/nxoauth2_parameters.h"

#include <algorithm>
#include <charconv>

namespace nxoauth2 {

std::optional<NXOAuth2ParameterValue> NXOAuth2ParameterValue::fromValue(const platform::Value& value) {
  using T = platform::Value::Type;
  switch (value.type()) {
    case T::String: return NXOAuth2ParameterValue(*value.string());
    case T::Bool:
    case T::Integer: return NXOAuth2ParameterValue(static_cast<long long>(value.integerValue()));
    case T::Real: return NXOAuth2ParameterValue(value.realValue());
    case T::Data: return NXOAuth2ParameterValue(*value.data());
    case T::Array: {
      std::vector<NXOAuth2ParameterValue> items;
      for (const platform::Value& v : *value.array()) {
        std::optional<NXOAuth2ParameterValue> item = fromValue(v);
        if (!item) return std::nullopt;
        items.push_back(std::move(*item));
      }
      return NXOAuth2ParameterValue(std::move(items));
    }
    default: return std::nullopt;
  }
}

std::optional<std::string> NXOAuth2ParameterValue::text() const {
  if (const std::string* s = string()) return *s;
  if (const int64_t* i = std::get_if<int64_t>(&v_)) return std::to_string(*i);
  if (const double* d = std::get_if<double>(&v_)) {
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, *d);
    return ec == std::errc() ? std::optional<std::string>(std::string(buf, ptr)) : std::nullopt;
  }
  return std::nullopt;
}

NXOAuth2Parameters::NXOAuth2Parameters(std::initializer_list<Entry> entries) {
  for (const Entry& e : entries) set(e.first, e.second);
}

void NXOAuth2Parameters::set(const std::string& key, NXOAuth2ParameterValue value) {
  for (Entry& e : entries_) {
    if (e.first == key) {
      e.second = std::move(value);
      return;
    }
  }
  entries_.emplace_back(key, std::move(value));
}

const NXOAuth2ParameterValue* NXOAuth2Parameters::find(const std::string& key) const {
  for (const Entry& e : entries_)
    if (e.first == key) return &e.second;
  return nullptr;
}

void NXOAuth2Parameters::remove(const std::string& key) {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == key; }),
                 entries_.end());
}

void NXOAuth2Parameters::merge(const NXOAuth2Parameters& other) {
  for (const Entry& e : other) set(e.first, e.second);
}

}  // namespace nxoauth2
