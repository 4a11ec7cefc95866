#pragma once
// The objects the JSON codec reads and writes.
//
// Every value is a reference-counted, heap-allocated Object: null (one
// shared instance), the two boolean constants, numbers (signed or unsigned
// 64-bit integers, doubles), strings (UTF-8 bytes), data, dates, arrays and
// dictionaries. Identity matters: the decoder hands out one shared object for
// equal strings and numbers, and the serializer remembers the text it wrote
// for an object it meets again. `Value` is the owning handle; an empty
// handle stands for "no object" (nil).
//
// Arrays and dictionaries are abstract here; the decoder makes its own
// (JKArray, JKDictionary), and PlainArray / PlainDictionary are the general
// collections callers build trees with. Reference counts are atomic, so an
// immutable tree may be read from several threads at once; mutable
// collections allow one writer and no concurrent readers.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "json/jk_base.h"

namespace jk {

class Object;
class String;
class Number;
class Data;
class Date;
class Array;
class Dictionary;
class JKFormatterDelegate;

// The unsupported-class formatter block: given an object the serializer
// cannot write, returns a replacement it can (or nil).
using JKSerializeBlock = std::function<Value(const Value& object)>;

class Value {
 public:
  Value() noexcept = default;
  Value(std::nullptr_t) noexcept {}
  // Strings convert implicitly so that trees read naturally in code; a null
  // C string gives nil.
  Value(const char* utf8);
  Value(std::string_view utf8);
  Value(const std::string& utf8);

  // A handle that takes one more reference to `object` (which may be null).
  static Value retained(const Object* object) noexcept;
  // A handle that takes over the caller's reference to `object`.
  static Value adopt(Object* object) noexcept {
    Value v;
    v.ptr_ = object;
    return v;
  }

  Value(const Value& other) noexcept;
  Value(Value&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  Value& operator=(const Value& other) noexcept;
  Value& operator=(Value&& other) noexcept;
  ~Value();

  Object* get() const noexcept { return ptr_; }
  Object* operator->() const noexcept { return ptr_; }
  Object& operator*() const noexcept { return *ptr_; }
  // Gives up the handle's reference without releasing it.
  Object* detach() noexcept { return std::exchange(ptr_, nullptr); }

  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  bool isNil() const noexcept { return ptr_ == nullptr; }
  bool isNull() const noexcept;
  bool isBoolean() const noexcept;
  bool isNumber() const noexcept;
  bool isString() const noexcept;
  bool isData() const noexcept;
  bool isDate() const noexcept;
  bool isArray() const noexcept;
  bool isDictionary() const noexcept;

  // Typed access; nullptr when the handle is nil or holds another kind.
  const String* string() const noexcept;
  const Number* number() const noexcept;
  const Data* data() const noexcept;
  const Date* date() const noexcept;
  Array* array() const noexcept;
  Dictionary* dictionary() const noexcept;

  // Reads with a fallback for nil and for other kinds. Numbers convert
  // between their forms (saturating); booleans read as 1 and 0.
  std::string_view stringView(std::string_view fallback = {}) const noexcept;
  int64_t int64Value(int64_t fallback = 0) const noexcept;
  uint64_t uint64Value(uint64_t fallback = 0) const noexcept;
  double doubleValue(double fallback = 0.0) const noexcept;
  bool boolValue(bool fallback = false) const noexcept;

  // Elements of an array or dictionary count; 0 for anything else.
  size_t count() const noexcept;
  // Dictionary member or array element; nil when absent or of another kind.
  Value operator[](std::string_view key) const;
  Value operator[](const char* key) const { return (*this)[std::string_view(key)]; }
  Value operator[](size_t index) const;
  Value operator[](int index) const { return index < 0 ? Value() : (*this)[static_cast<size_t>(index)]; }

  // Platform equality: equal numbers of any form, equal strings, arrays and
  // dictionaries with equal contents. Nil equals only nil.
  bool isEqual(const Value& other) const noexcept;
  bool operator==(const Value& other) const noexcept { return isEqual(other); }
  // Identity: both handles refer to the same object.
  bool same(const Value& other) const noexcept { return ptr_ == other.ptr_; }

  std::string description() const;

  static Value null() noexcept;
  static Value boolean(bool value) noexcept;
  static Value integer(int64_t value);
  static Value unsignedInteger(uint64_t value);
  static Value real(double value);
  static Value string(std::string_view utf8);
  static Value mutableString(std::string_view utf8);
  static Value data(std::string_view bytes);
  static Value date(double secondsSince1970);
  static Value arrayOf(std::initializer_list<Value> objects);
  static Value arrayOf(std::vector<Value> objects);
  static Value mutableArrayOf(std::initializer_list<Value> objects);
  static Value dictionaryOf(std::initializer_list<std::pair<Value, Value>> members);
  static Value mutableDictionaryOf(std::initializer_list<std::pair<Value, Value>> members);

 private:
  Object* ptr_ = nullptr;
};

std::ostream& operator<<(std::ostream& os, const Value& value);

class Object {
 public:
  enum class Kind : uint8_t { Null, Boolean, Number, String, Data, Date, Array, Dictionary };

  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  void retain() const noexcept { retainCount_.fetch_add(1, std::memory_order_relaxed); }
  void release() const noexcept {
    if (retainCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  size_t retainCount() const noexcept { return retainCount_.load(std::memory_order_relaxed); }

  virtual Kind kind() const noexcept = 0;
  virtual std::string_view className() const noexcept = 0;
  // The platform hash: equal objects hash equally.
  virtual uint64_t hash() const noexcept;
  virtual bool isEqual(const Object& other) const noexcept;
  // Immutable objects answer themselves; mutable ones an immutable copy.
  virtual Value copy() const;
  // Strings and collections only; anything else raises.
  virtual Value mutableCopy() const;
  virtual std::string description() const = 0;

 protected:
  // Objects start with one reference, which the creating handle adopts.
  Object() noexcept = default;
  virtual ~Object() = default;

 private:
  mutable std::atomic<size_t> retainCount_{1};
};

class Null final : public Object {
 public:
  static Null& null() noexcept;
  Kind kind() const noexcept override { return Kind::Null; }
  std::string_view className() const noexcept override { return "NSNull"; }
  std::string description() const override { return "<null>"; }

 private:
  Null() = default;
};

class Boolean final : public Object {
 public:
  static Boolean& trueValue() noexcept;
  static Boolean& falseValue() noexcept;
  bool boolValue() const noexcept { return value_; }
  Kind kind() const noexcept override { return Kind::Boolean; }
  std::string_view className() const noexcept override { return "NSNumber"; }
  uint64_t hash() const noexcept override { return value_ ? 1 : 0; }
  std::string description() const override { return value_ ? "1" : "0"; }

 private:
  explicit Boolean(bool value) : value_(value) {}
  bool value_;
};

class Number final : public Object {
 public:
  enum class Type : uint8_t { Int64, UInt64, Double };

  static Value makeSigned(int64_t value);
  static Value makeUnsigned(uint64_t value);
  static Value makeDouble(double value);

  Type type() const noexcept { return type_; }
  // The platform's one-character type code: "q", "Q" or "d".
  const char* objCType() const noexcept;
  int64_t longLongValue() const noexcept;
  uint64_t unsignedLongLongValue() const noexcept;
  double doubleValue() const noexcept;

  Kind kind() const noexcept override { return Kind::Number; }
  std::string_view className() const noexcept override { return "NSNumber"; }
  uint64_t hash() const noexcept override;
  bool isEqual(const Object& other) const noexcept override;
  std::string description() const override;

 private:
  Number() = default;
  Type type_ = Type::Int64;
  union {
    int64_t i;
    uint64_t u;
    double d;
  } v_{};
};

class String : public Object {
 public:
  static Value make(std::string_view utf8);
  static Value make(std::string&& utf8);
  // The one shared empty string.
  static const String& emptyString() noexcept;
  // FNV-1a over the bytes: the hash of a string with these bytes.
  static uint64_t hashBytes(const char* bytes, size_t length) noexcept;

  std::string_view view() const noexcept { return bytes_; }
  const char* UTF8String() const noexcept { return bytes_.c_str(); }
  size_t length() const noexcept { return bytes_.size(); }
  virtual bool isMutable() const noexcept { return false; }

  Kind kind() const noexcept override { return Kind::String; }
  std::string_view className() const noexcept override { return "NSString"; }
  uint64_t hash() const noexcept override { return hashBytes(bytes_.data(), bytes_.size()); }
  bool isEqual(const Object& other) const noexcept override;
  Value copy() const override;
  Value mutableCopy() const override;
  std::string description() const override { return bytes_; }

  // Parsing this string as a JSON text.
  Value objectFromJSONString() const;
  Value objectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags) const;
  Value objectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const;
  Value mutableObjectFromJSONString() const;
  Value mutableObjectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags) const;
  Value mutableObjectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const;

  // Writing this string as a JSON string (Data or String results).
  Value JSONData() const;
  Value JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, bool includeQuotes, Error* error) const;
  Value JSONString() const;
  Value JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, bool includeQuotes, Error* error) const;

 protected:
  explicit String(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string bytes_;
};

class MutableString final : public String {
 public:
  static Value make(std::string_view utf8);
  void setString(std::string_view utf8) { bytes_.assign(utf8); }
  void appendString(std::string_view utf8) { bytes_.append(utf8); }
  bool isMutable() const noexcept override { return true; }
  std::string_view className() const noexcept override { return "NSMutableString"; }

 private:
  explicit MutableString(std::string bytes) : String(std::move(bytes)) {}
};

class Data final : public Object {
 public:
  static Value make(std::string_view bytes);
  static Value make(std::string&& bytes);

  const uint8_t* bytes() const noexcept { return reinterpret_cast<const uint8_t*>(bytes_.data()); }
  size_t length() const noexcept { return bytes_.size(); }
  std::string_view view() const noexcept { return bytes_; }

  Kind kind() const noexcept override { return Kind::Data; }
  std::string_view className() const noexcept override { return "NSData"; }
  uint64_t hash() const noexcept override { return String::hashBytes(bytes_.data(), bytes_.size()); }
  bool isEqual(const Object& other) const noexcept override;
  // "<01020304 05>", as the platform writes data.
  std::string description() const override;

  // Parsing these bytes as a JSON text.
  Value objectFromJSONData() const;
  Value objectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags) const;
  Value objectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const;
  Value mutableObjectFromJSONData() const;
  Value mutableObjectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags) const;
  Value mutableObjectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const;

 private:
  explicit Data(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string bytes_;
};

class Date final : public Object {
 public:
  static Value make(double secondsSince1970);
  double secondsSince1970() const noexcept { return seconds_; }
  Kind kind() const noexcept override { return Kind::Date; }
  std::string_view className() const noexcept override { return "NSDate"; }
  uint64_t hash() const noexcept override;
  bool isEqual(const Object& other) const noexcept override;
  // "2001-01-01 00:00:00 +0000", as the platform describes a date.
  std::string description() const override;

 private:
  explicit Date(double seconds) : seconds_(seconds) {}
  double seconds_;
};

struct Range {
  size_t location = 0;
  size_t length = 0;
};

// The state of fast enumeration, laid out as the platform's: `state` is the
// position, `itemsPtr` points at the objects handed out, `mutationsPtr` at a
// counter that changes whenever the collection does.
struct JKFastEnumerationState {
  unsigned long state = 0;
  Object** itemsPtr = nullptr;
  const unsigned long* mutationsPtr = nullptr;
  unsigned long extra[5] = {};
};

class Enumerator {
 public:
  virtual ~Enumerator() = default;
  // The next key, or nil at the end.
  virtual Value nextObject() = 0;
  // The keys not yet enumerated, in order.
  virtual std::vector<Value> allObjects() = 0;
};

// What arrays and dictionaries share: writing themselves as JSON.
class Collection : public Object {
 public:
  Value JSONData() const;
  Value JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, Error* error) const;
  Value JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, JKFormatterDelegate* delegate,
                            const char* selector, Error* error) const;
  Value JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, const JKSerializeBlock& block,
                            Error* error) const;
  Value JSONString() const;
  Value JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, Error* error) const;
  Value JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, JKFormatterDelegate* delegate,
                              const char* selector, Error* error) const;
  Value JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, const JKSerializeBlock& block,
                              Error* error) const;

 protected:
  // Raises "mutating method sent to immutable object" naming `selector`.
  [[noreturn]] void raiseImmutable(const char* selector) const;
  [[noreturn]] void raiseBeyondBounds(const char* selector, size_t index, size_t bounds) const;
};

class Array : public Collection {
 public:
  Kind kind() const noexcept override { return Kind::Array; }
  virtual size_t count() const noexcept = 0;
  virtual bool isMutable() const noexcept = 0;
  // Raises NSRangeException for an index of count or more.
  virtual Value objectAtIndex(size_t index) const = 0;
  // Copies the range's elements, unretained, into `objects`.
  virtual void getObjects(Object** objects, Range range) const = 0;
  virtual size_t countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const = 0;
  virtual void insertObject(const Value& object, size_t index) = 0;
  virtual void removeObjectAtIndex(size_t index) = 0;
  virtual void replaceObjectAtIndex(size_t index, const Value& object) = 0;

  void addObject(const Value& object) { insertObject(object, count()); }
  // Retained copies of all elements, in order.
  std::vector<Value> objects() const;

  uint64_t hash() const noexcept override { return count(); }
  bool isEqual(const Object& other) const noexcept override;
  Value mutableCopy() const override;
  std::string description() const override;
};

class Dictionary : public Collection {
 public:
  Kind kind() const noexcept override { return Kind::Dictionary; }
  virtual size_t count() const noexcept = 0;
  virtual bool isMutable() const noexcept = 0;
  virtual Value objectForKey(const Value& key) const = 0;
  // The member whose key is the string `key`, found without making a string.
  virtual Value objectForStringKey(std::string_view key) const = 0;
  // Fills either or both arrays (count() slots each) with the unretained
  // objects and keys, in the dictionary's own order.
  virtual void getObjectsAndKeys(Object** objects, Object** keys) const = 0;
  virtual size_t countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const = 0;
  virtual std::unique_ptr<Enumerator> keyEnumerator() const = 0;
  virtual void setObject(const Value& object, const Value& key) = 0;
  virtual void removeObjectForKey(const Value& key) = 0;

  std::vector<Value> allKeys() const;

  uint64_t hash() const noexcept override { return count(); }
  bool isEqual(const Object& other) const noexcept override;
  Value mutableCopy() const override;
  std::string description() const override;
};

// The general array ("NSArray" / "NSMutableArray").
class PlainArray final : public Array {
 public:
  static Value make(std::vector<Value> objects, bool isMutable);

  std::string_view className() const noexcept override { return mutable_ ? "NSMutableArray" : "NSArray"; }
  size_t count() const noexcept override { return objects_.size(); }
  bool isMutable() const noexcept override { return mutable_; }
  Value objectAtIndex(size_t index) const override;
  void getObjects(Object** objects, Range range) const override;
  size_t countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const override;
  void insertObject(const Value& object, size_t index) override;
  void removeObjectAtIndex(size_t index) override;
  void replaceObjectAtIndex(size_t index, const Value& object) override;
  Value copy() const override;

 private:
  PlainArray(std::vector<Value> objects, bool isMutable) : objects_(std::move(objects)), mutable_(isMutable) {}
  void mutated() noexcept { mutations_ = (mutations_ < ~0UL ? mutations_ : 0) + 1; }
  std::vector<Value> objects_;
  bool mutable_;
  unsigned long mutations_ = 1;
};

// The general dictionary ("NSDictionary" / "NSMutableDictionary"); keeps its
// members in insertion order.
class PlainDictionary final : public Dictionary {
 public:
  static Value make(std::initializer_list<std::pair<Value, Value>> members, bool isMutable);
  static Value make(const Dictionary& other, bool isMutable);

  std::string_view className() const noexcept override {
    return mutable_ ? "NSMutableDictionary" : "NSDictionary";
  }
  size_t count() const noexcept override { return keys_.size(); }
  bool isMutable() const noexcept override { return mutable_; }
  Value objectForKey(const Value& key) const override;
  Value objectForStringKey(std::string_view key) const override;
  void getObjectsAndKeys(Object** objects, Object** keys) const override;
  size_t countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const override;
  std::unique_ptr<Enumerator> keyEnumerator() const override;
  void setObject(const Value& object, const Value& key) override;
  void removeObjectForKey(const Value& key) override;
  Value copy() const override;

 private:
  explicit PlainDictionary(bool isMutable) : mutable_(isMutable) {}
  void store(const Value& object, const Value& key);
  struct KeyHash {
    size_t operator()(const Value& key) const noexcept { return static_cast<size_t>(key->hash()); }
  };
  struct KeyEqual {
    bool operator()(const Value& a, const Value& b) const noexcept { return a.same(b) || a->isEqual(*b); }
  };
  std::vector<Value> keys_;
  std::unordered_map<Value, Value, KeyHash, KeyEqual> members_;
  bool mutable_;
  unsigned long mutations_ = 1;
};

// The unsupported-class formatter delegate: names its methods by selector,
// as the platform's objects do.
class JKFormatterDelegate {
 public:
  virtual ~JKFormatterDelegate() = default;
  // The method `selector` names, taking the unsupported object and returning
  // its replacement (or nil); an empty function when there is none.
  virtual std::function<Value(const Value&)> methodForSelector(const char* selector) = 0;
};

}  // namespace jk
