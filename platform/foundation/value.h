#pragma once
// The one dynamic value type of the system: user-info dictionaries, property
// lists, user defaults and other loosely typed data all use it.
//
// A Value is null, a bool, a signed 64-bit integer, a real, a UTF-8 string,
// bytes, a date, an array of values or a dictionary from string keys to
// values. Dictionaries keep their keys sorted, which is also the order in
// which property lists write them.
//
// Not thread-safe: a Value is an ordinary value; copy it to share it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;
using Data = std::vector<uint8_t>;

// Seconds since 1970-01-01 00:00:00 UTC.
struct Date {
  double secondsSince1970 = 0.0;
  bool operator==(const Date&) const = default;
};

class Value {
 public:
  enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned i) : v_(static_cast<int64_t>(i)) {}
  Value(long i) : v_(static_cast<int64_t>(i)) {}
  Value(long long i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned long i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned long long i) : v_(static_cast<int64_t>(i)) {}
  Value(double d) : v_(d) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(Data d) : v_(std::move(d)) {}
  Value(Date d) : v_(d) {}
  Value(Array a) : v_(std::move(a)) {}
  Value(Dictionary d) : v_(std::move(d)) {}

  Type type() const { return static_cast<Type>(v_.index()); }
  bool isNull() const { return type() == Type::Null; }
  bool isBool() const { return type() == Type::Bool; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isReal() const { return type() == Type::Real; }
  bool isNumber() const { return isBool() || isInteger() || isReal(); }
  bool isString() const { return type() == Type::String; }
  bool isData() const { return type() == Type::Data; }
  bool isDate() const { return type() == Type::Date; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }

  // Numeric reads convert between bool, integer and real as the platform's
  // number objects do; a non-number reads as `fallback`.
  bool boolValue(bool fallback = false) const;
  int64_t integerValue(int64_t fallback = 0) const;
  double realValue(double fallback = 0.0) const;

  // Typed access; nullptr when the value holds another type.
  const std::string* string() const { return std::get_if<std::string>(&v_); }
  const Data* data() const { return std::get_if<Data>(&v_); }
  const Date* date() const { return std::get_if<Date>(&v_); }
  const Array* array() const { return std::get_if<Array>(&v_); }
  const Dictionary* dictionary() const { return std::get_if<Dictionary>(&v_); }
  Array* array() { return std::get_if<Array>(&v_); }
  Dictionary* dictionary() { return std::get_if<Dictionary>(&v_); }

  std::string stringValue(const std::string& fallback = {}) const {
    const std::string* s = string();
    return s ? *s : fallback;
  }

  // Dictionary member; nullptr when this is not a dictionary or the key is absent.
  const Value* find(const std::string& key) const;
  // Array element; nullptr when this is not an array or the index is out of range.
  const Value* at(size_t index) const;

  bool operator==(const Value& other) const { return v_ == other.v_; }

 private:
  std::variant<std::monostate, bool, int64_t, double, std::string, Data, Date, Array, Dictionary> v_;
};

}  // namespace platform
