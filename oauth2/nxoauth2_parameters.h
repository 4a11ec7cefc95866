#pragma once
// Request parameters: an ordered dictionary from names to values of the
// kinds a multipart body can carry (strings, numbers, file URLs, data,
// stream wrappers, and arrays of these for repeated names). Order is the
// order of first insertion, so bodies and queries come out the same every
// time; setting an existing name replaces its value in place.
//
// Values; not thread-safe (copy to share).

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/net/url.h"

namespace nxoauth2 {

class NXOAuth2FileStreamWrapper;

class NXOAuth2ParameterValue {
 public:
  enum class Kind { String, Integer, Real, URL, Data, StreamWrapper, Array };

  NXOAuth2ParameterValue(std::string s) : v_(std::move(s)) {}
  NXOAuth2ParameterValue(const char* s) : v_(std::string(s)) {}
  NXOAuth2ParameterValue(int i) : v_(static_cast<int64_t>(i)) {}
  NXOAuth2ParameterValue(long i) : v_(static_cast<int64_t>(i)) {}
  NXOAuth2ParameterValue(long long i) : v_(static_cast<int64_t>(i)) {}
  NXOAuth2ParameterValue(double d) : v_(d) {}
  NXOAuth2ParameterValue(platform::URL u) : v_(std::move(u)) {}
  NXOAuth2ParameterValue(platform::Data d) : v_(std::move(d)) {}
  NXOAuth2ParameterValue(std::shared_ptr<NXOAuth2FileStreamWrapper> w) : v_(std::move(w)) {}
  NXOAuth2ParameterValue(std::vector<NXOAuth2ParameterValue> a) : v_(std::move(a)) {}

  // A platform value: strings, integers, reals (booleans as 0/1), data,
  // arrays of these; nullopt for kinds with no parameter form.
  static std::optional<NXOAuth2ParameterValue> fromValue(const platform::Value& value);

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  const std::string* string() const { return std::get_if<std::string>(&v_); }
  const platform::URL* url() const { return std::get_if<platform::URL>(&v_); }
  const platform::Data* data() const { return std::get_if<platform::Data>(&v_); }
  const std::shared_ptr<NXOAuth2FileStreamWrapper>* streamWrapper() const {
    return std::get_if<std::shared_ptr<NXOAuth2FileStreamWrapper>>(&v_);
  }
  const std::vector<NXOAuth2ParameterValue>* array() const { return std::get_if<std::vector<NXOAuth2ParameterValue>>(&v_); }
  // Strings as they are, numbers as their decimal text; nullopt otherwise.
  std::optional<std::string> text() const;

  bool operator==(const NXOAuth2ParameterValue& other) const { return v_ == other.v_; }

 private:
  std::variant<std::string, int64_t, double, platform::URL, platform::Data, std::shared_ptr<NXOAuth2FileStreamWrapper>,
               std::vector<NXOAuth2ParameterValue>>
      v_;
};

class NXOAuth2Parameters {
 public:
  using Entry = std::pair<std::string, NXOAuth2ParameterValue>;

  NXOAuth2Parameters() = default;
  NXOAuth2Parameters(std::initializer_list<Entry> entries);

  void set(const std::string& key, NXOAuth2ParameterValue value);
  const NXOAuth2ParameterValue* find(const std::string& key) const;
  bool contains(const std::string& key) const { return find(key) != nullptr; }
  void remove(const std::string& key);
  // Sets every entry of `other`, in its order.
  void merge(const NXOAuth2Parameters& other);

  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const { return entries_.end(); }
  bool operator==(const NXOAuth2Parameters& other) const { return entries_ == other.entries_; }

 private:
  std::vector<Entry> entries_;
};

}  // namespace nxoauth2
