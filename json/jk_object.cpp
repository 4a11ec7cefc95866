#include "json/jk_object.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <ostream>

#include "json/jk_format.h"

namespace jk {

// ---------------------------------------------------------------- Value

Value::Value(const char* utf8) : ptr_(utf8 ? String::make(std::string_view(utf8)).detach() : nullptr) {}
Value::Value(std::string_view utf8) : ptr_(String::make(utf8).detach()) {}
Value::Value(const std::string& utf8) : ptr_(String::make(std::string_view(utf8)).detach()) {}

Value Value::retained(const Object* object) noexcept {
  if (object) object->retain();
  return adopt(const_cast<Object*>(object));
}

Value::Value(const Value& other) noexcept : ptr_(other.ptr_) {
  if (ptr_) ptr_->retain();
}

Value& Value::operator=(const Value& other) noexcept {
  if (other.ptr_) other.ptr_->retain();
  Object* old = std::exchange(ptr_, other.ptr_);
  if (old) old->release();
  return *this;
}

Value& Value::operator=(Value&& other) noexcept {
  if (this != &other) {
    Object* old = std::exchange(ptr_, std::exchange(other.ptr_, nullptr));
    if (old) old->release();
  }
  return *this;
}

Value::~Value() {
  if (ptr_) ptr_->release();
}

bool Value::isNull() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::Null; }
bool Value::isBoolean() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::Boolean; }
bool Value::isNumber() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::Number; }
bool Value::isString() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::String; }
bool Value::isData() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::Data; }
bool Value::isDate() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::Date; }
bool Value::isArray() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::Array; }
bool Value::isDictionary() const noexcept { return ptr_ && ptr_->kind() == Object::Kind::Dictionary; }

const String* Value::string() const noexcept { return isString() ? static_cast<const String*>(ptr_) : nullptr; }
const Number* Value::number() const noexcept { return isNumber() ? static_cast<const Number*>(ptr_) : nullptr; }
const Data* Value::data() const noexcept { return isData() ? static_cast<const Data*>(ptr_) : nullptr; }
const Date* Value::date() const noexcept { return isDate() ? static_cast<const Date*>(ptr_) : nullptr; }
Array* Value::array() const noexcept { return isArray() ? static_cast<Array*>(ptr_) : nullptr; }
Dictionary* Value::dictionary() const noexcept {
  return isDictionary() ? static_cast<Dictionary*>(ptr_) : nullptr;
}

std::string_view Value::stringView(std::string_view fallback) const noexcept {
  const String* s = string();
  return s ? s->view() : fallback;
}

int64_t Value::int64Value(int64_t fallback) const noexcept {
  if (isBoolean()) return static_cast<const Boolean*>(ptr_)->boolValue() ? 1 : 0;
  const Number* n = number();
  return n ? n->longLongValue() : fallback;
}

uint64_t Value::uint64Value(uint64_t fallback) const noexcept {
  if (isBoolean()) return static_cast<const Boolean*>(ptr_)->boolValue() ? 1 : 0;
  const Number* n = number();
  return n ? n->unsignedLongLongValue() : fallback;
}

double Value::doubleValue(double fallback) const noexcept {
  if (isBoolean()) return static_cast<const Boolean*>(ptr_)->boolValue() ? 1.0 : 0.0;
  const Number* n = number();
  return n ? n->doubleValue() : fallback;
}

bool Value::boolValue(bool fallback) const noexcept {
  if (isBoolean()) return static_cast<const Boolean*>(ptr_)->boolValue();
  const Number* n = number();
  if (!n) return fallback;
  switch (n->type()) {
    case Number::Type::Int64: return n->longLongValue() != 0;
    case Number::Type::UInt64: return n->unsignedLongLongValue() != 0;
    case Number::Type::Double: return n->doubleValue() != 0.0;
  }
  return fallback;
}

size_t Value::count() const noexcept {
  if (const Array* a = array()) return a->count();
  if (const Dictionary* d = dictionary()) return d->count();
  return 0;
}

Value Value::operator[](std::string_view key) const {
  const Dictionary* d = dictionary();
  return d ? d->objectForStringKey(key) : Value();
}

Value Value::operator[](size_t index) const {
  const Array* a = array();
  if (!a || index >= a->count()) return Value();
  return a->objectAtIndex(index);
}

bool Value::isEqual(const Value& other) const noexcept {
  if (ptr_ == other.ptr_) return true;
  if (!ptr_ || !other.ptr_) return false;
  return ptr_->isEqual(*other.ptr_);
}

std::string Value::description() const { return ptr_ ? ptr_->description() : std::string("(nil)"); }

std::ostream& operator<<(std::ostream& os, const Value& value) { return os << value.description(); }

Value Value::null() noexcept { return retained(&Null::null()); }
Value Value::boolean(bool value) noexcept {
  return retained(value ? &Boolean::trueValue() : &Boolean::falseValue());
}
Value Value::integer(int64_t value) { return Number::makeSigned(value); }
Value Value::unsignedInteger(uint64_t value) { return Number::makeUnsigned(value); }
Value Value::real(double value) { return Number::makeDouble(value); }
Value Value::string(std::string_view utf8) { return String::make(utf8); }
Value Value::mutableString(std::string_view utf8) { return MutableString::make(utf8); }
Value Value::data(std::string_view bytes) { return Data::make(bytes); }
Value Value::date(double secondsSince1970) { return Date::make(secondsSince1970); }
Value Value::arrayOf(std::initializer_list<Value> objects) {
  return PlainArray::make(std::vector<Value>(objects), false);
}
Value Value::arrayOf(std::vector<Value> objects) { return PlainArray::make(std::move(objects), false); }
Value Value::mutableArrayOf(std::initializer_list<Value> objects) {
  return PlainArray::make(std::vector<Value>(objects), true);
}
Value Value::dictionaryOf(std::initializer_list<std::pair<Value, Value>> members) {
  return PlainDictionary::make(members, false);
}
Value Value::mutableDictionaryOf(std::initializer_list<std::pair<Value, Value>> members) {
  return PlainDictionary::make(members, true);
}

// ---------------------------------------------------------------- Error

Value Error::userInfo() const {
  Value info = Value::mutableDictionaryOf({{NSLocalizedDescriptionKey, Value(localizedDescription)}});
  if (atIndex) info.dictionary()->setObject(Value::unsignedInteger(*atIndex), JKAtIndexKey);
  if (lineNumber) info.dictionary()->setObject(Value::unsignedInteger(*lineNumber), JKLineNumberKey);
  return info->copy();
}

// ---------------------------------------------------------------- Object

uint64_t Object::hash() const noexcept { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this)); }

bool Object::isEqual(const Object& other) const noexcept { return this == &other; }

Value Object::copy() const { return Value::retained(this); }

Value Object::mutableCopy() const {
  throw Exception(NSInvalidArgumentException,
                  jkFormat("*** -[%.*s mutableCopyWithZone:]: unrecognized selector sent to instance",
                           static_cast<int>(className().size()), className().data()));
}

// The shared constants are never destroyed, so that handles released during
// program exit still find them alive.
Null& Null::null() noexcept {
  static Null* instance = new Null();
  return *instance;
}

Boolean& Boolean::trueValue() noexcept {
  static Boolean* instance = new Boolean(true);
  return *instance;
}

Boolean& Boolean::falseValue() noexcept {
  static Boolean* instance = new Boolean(false);
  return *instance;
}

// ---------------------------------------------------------------- Number

Value Number::makeSigned(int64_t value) {
  Number* n = new Number();
  n->type_ = Type::Int64;
  n->v_.i = value;
  return Value::adopt(n);
}

Value Number::makeUnsigned(uint64_t value) {
  Number* n = new Number();
  n->type_ = Type::UInt64;
  n->v_.u = value;
  return Value::adopt(n);
}

Value Number::makeDouble(double value) {
  Number* n = new Number();
  n->type_ = Type::Double;
  n->v_.d = value;
  return Value::adopt(n);
}

const char* Number::objCType() const noexcept {
  switch (type_) {
    case Type::Int64: return "q";
    case Type::UInt64: return "Q";
    case Type::Double: return "d";
  }
  return nullptr;
}

namespace {

// Saturating conversions, so that a read never invokes undefined behaviour.
int64_t doubleToInt64(double d) noexcept {
  if (std::isnan(d)) return 0;
  if (d >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  if (d < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);
}

uint64_t doubleToUInt64(double d) noexcept {
  if (std::isnan(d) || d <= 0.0) return 0;
  if (d >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(d);
}

uint64_t mix64(uint64_t x) noexcept {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

}  // namespace

int64_t Number::longLongValue() const noexcept {
  switch (type_) {
    case Type::Int64: return v_.i;
    case Type::UInt64: return static_cast<int64_t>(v_.u);  // two's complement, as the platform reads it
    case Type::Double: return doubleToInt64(v_.d);
  }
  return 0;
}

uint64_t Number::unsignedLongLongValue() const noexcept {
  switch (type_) {
    case Type::Int64: return static_cast<uint64_t>(v_.i);
    case Type::UInt64: return v_.u;
    case Type::Double: return doubleToUInt64(v_.d);
  }
  return 0;
}

double Number::doubleValue() const noexcept {
  switch (type_) {
    case Type::Int64: return static_cast<double>(v_.i);
    case Type::UInt64: return static_cast<double>(v_.u);
    case Type::Double: return v_.d;
  }
  return 0.0;
}

uint64_t Number::hash() const noexcept {
  // Equal numbers hash equally whatever their form: an integral double hashes
  // as the integer it equals, and -0.0 as 0.
  switch (type_) {
    case Type::Int64: return mix64(static_cast<uint64_t>(v_.i));
    case Type::UInt64: return mix64(v_.u);
    case Type::Double: {
      const double d = v_.d;
      if (d == std::floor(d)) {
        if (d >= -9223372036854775808.0 && d < 9223372036854775808.0)
          return mix64(static_cast<uint64_t>(static_cast<int64_t>(d)));
        if (d >= 0.0 && d < 18446744073709551616.0) return mix64(static_cast<uint64_t>(d));
      }
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      return mix64(bits ^ 0x5bd1e995ULL);
    }
  }
  return 0;
}

namespace {

bool intEqualsDouble(int64_t i, double d) noexcept {
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) || d != std::floor(d)) return false;
  return static_cast<int64_t>(d) == i;
}

bool uintEqualsDouble(uint64_t u, double d) noexcept {
  if (!(d >= 0.0 && d < 18446744073709551616.0) || d != std::floor(d)) return false;
  return static_cast<uint64_t>(d) == u;
}

}  // namespace

bool Number::isEqual(const Object& other) const noexcept {
  if (other.kind() != Kind::Number) return false;
  const Number& o = static_cast<const Number&>(other);
  switch (type_) {
    case Type::Int64:
      switch (o.type_) {
        case Type::Int64: return v_.i == o.v_.i;
        case Type::UInt64: return v_.i >= 0 && static_cast<uint64_t>(v_.i) == o.v_.u;
        case Type::Double: return intEqualsDouble(v_.i, o.v_.d);
      }
      break;
    case Type::UInt64:
      switch (o.type_) {
        case Type::Int64: return o.v_.i >= 0 && static_cast<uint64_t>(o.v_.i) == v_.u;
        case Type::UInt64: return v_.u == o.v_.u;
        case Type::Double: return uintEqualsDouble(v_.u, o.v_.d);
      }
      break;
    case Type::Double:
      switch (o.type_) {
        case Type::Int64: return intEqualsDouble(o.v_.i, v_.d);
        case Type::UInt64: return uintEqualsDouble(o.v_.u, v_.d);
        case Type::Double: return v_.d == o.v_.d;
      }
      break;
  }
  return false;
}

std::string Number::description() const {
  char buf[64];
  std::to_chars_result r{};
  switch (type_) {
    case Type::Int64: r = std::to_chars(buf, buf + sizeof buf, v_.i); break;
    case Type::UInt64: r = std::to_chars(buf, buf + sizeof buf, v_.u); break;
    case Type::Double: r = std::to_chars(buf, buf + sizeof buf, v_.d); break;
  }
  return std::string(buf, r.ptr);
}

// ---------------------------------------------------------------- String

Value String::make(std::string_view utf8) { return Value::adopt(new String(std::string(utf8))); }
Value String::make(std::string&& utf8) { return Value::adopt(new String(std::move(utf8))); }

const String& String::emptyString() noexcept {
  static String* instance = new String(std::string());
  return *instance;
}

uint64_t String::hashBytes(const char* bytes, size_t length) noexcept {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (size_t i = 0; i < length; ++i) {
    h ^= static_cast<unsigned char>(bytes[i]);
    h *= 0x100000001b3ULL;
  }
  return h;
}

bool String::isEqual(const Object& other) const noexcept {
  return other.kind() == Kind::String && static_cast<const String&>(other).bytes_ == bytes_;
}

Value String::copy() const {
  if (!isMutable()) return Value::retained(this);
  return String::make(std::string_view(bytes_));
}

Value String::mutableCopy() const { return MutableString::make(bytes_); }

Value MutableString::make(std::string_view utf8) { return Value::adopt(new MutableString(std::string(utf8))); }

// ---------------------------------------------------------------- Data, Date

Value Data::make(std::string_view bytes) { return Value::adopt(new Data(std::string(bytes))); }
Value Data::make(std::string&& bytes) { return Value::adopt(new Data(std::move(bytes))); }

bool Data::isEqual(const Object& other) const noexcept {
  return other.kind() == Kind::Data && static_cast<const Data&>(other).bytes_ == bytes_;
}

std::string Data::description() const {
  static const char hex[] = "0123456789abcdef";
  std::string out = "<";
  for (size_t i = 0; i < bytes_.size(); ++i) {
    if (i && i % 4 == 0) out += ' ';
    const unsigned char c = static_cast<unsigned char>(bytes_[i]);
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  out += '>';
  return out;
}

Value Date::make(double secondsSince1970) { return Value::adopt(new Date(secondsSince1970)); }

uint64_t Date::hash() const noexcept { return static_cast<uint64_t>(doubleToInt64(seconds_)); }

bool Date::isEqual(const Object& other) const noexcept {
  return other.kind() == Kind::Date && static_cast<const Date&>(other).seconds_ == seconds_;
}

std::string Date::description() const {
  const double whole = std::floor(seconds_);
  std::time_t t = static_cast<std::time_t>(doubleToInt64(whole));
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "<invalid date>";
  char buf[64];
  const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
  return std::string(buf, n);
}

// ---------------------------------------------------------------- Collection

void Collection::raiseImmutable(const char* selector) const {
  const std::string_view name = className();
  throw Exception(NSInternalInconsistencyException,
                  jkFormat("*** -[%.*s %s]: mutating method sent to immutable object",
                           static_cast<int>(name.size()), name.data(), selector));
}

void Collection::raiseBeyondBounds(const char* selector, size_t index, size_t bounds) const {
  const std::string_view name = className();
  throw Exception(NSRangeException,
                  jkFormat("*** -[%.*s %s]: index (%lu) beyond bounds (%lu)", static_cast<int>(name.size()),
                           name.data(), selector, static_cast<unsigned long>(index),
                           static_cast<unsigned long>(bounds)));
}

// ---------------------------------------------------------------- Array

std::vector<Value> Array::objects() const {
  const size_t n = count();
  std::vector<Object*> raw(n);
  getObjects(raw.data(), Range{0, n});
  std::vector<Value> out;
  out.reserve(n);
  for (Object* o : raw) out.push_back(Value::retained(o));
  return out;
}

bool Array::isEqual(const Object& other) const noexcept {
  if (this == &other) return true;
  if (other.kind() != Kind::Array) return false;
  const Array& o = static_cast<const Array&>(other);
  const size_t n = count();
  if (o.count() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (!objectAtIndex(i).isEqual(o.objectAtIndex(i))) return false;
  }
  return true;
}

Value Array::mutableCopy() const { return PlainArray::make(objects(), true); }

std::string Array::description() const {
  std::string out = "(";
  const size_t n = count();
  for (size_t i = 0; i < n; ++i) {
    if (i) out += ", ";
    out += objectAtIndex(i).description();
  }
  out += ")";
  return out;
}

// ---------------------------------------------------------------- Dictionary

std::vector<Value> Dictionary::allKeys() const {
  const size_t n = count();
  std::vector<Object*> raw(n);
  getObjectsAndKeys(nullptr, raw.data());
  std::vector<Value> out;
  out.reserve(n);
  for (Object* o : raw) out.push_back(Value::retained(o));
  return out;
}

bool Dictionary::isEqual(const Object& other) const noexcept {
  if (this == &other) return true;
  if (other.kind() != Kind::Dictionary) return false;
  const Dictionary& o = static_cast<const Dictionary&>(other);
  const size_t n = count();
  if (o.count() != n) return false;
  std::vector<Object*> keys(n), objects(n);
  getObjectsAndKeys(objects.data(), keys.data());
  for (size_t i = 0; i < n; ++i) {
    const Value theirs = o.objectForKey(Value::retained(keys[i]));
    if (!theirs || !theirs->isEqual(*objects[i])) return false;
  }
  return true;
}

Value Dictionary::mutableCopy() const { return PlainDictionary::make(*this, true); }

std::string Dictionary::description() const {
  const size_t n = count();
  std::vector<Object*> keys(n), objects(n);
  getObjectsAndKeys(objects.data(), keys.data());
  std::string out = "{";
  for (size_t i = 0; i < n; ++i) {
    if (i) out += "; ";
    out += keys[i]->description();
    out += " = ";
    out += objects[i]->description();
  }
  out += "}";
  return out;
}

// ---------------------------------------------------------------- PlainArray

Value PlainArray::make(std::vector<Value> objects, bool isMutable) {
  for (const Value& o : objects) {
    if (!o) throw Exception(NSInvalidArgumentException, "*** -[NSArray initWithObjects:count:]: attempt to insert nil object");
  }
  return Value::adopt(new PlainArray(std::move(objects), isMutable));
}

Value PlainArray::objectAtIndex(size_t index) const {
  if (index >= objects_.size()) raiseBeyondBounds("objectAtIndex:", index, objects_.size());
  return objects_[index];
}

void PlainArray::getObjects(Object** objects, Range range) const {
  const size_t end = range.location + range.length;
  if (!objects && end != 0) {
    throw Exception(NSRangeException,
                    jkFormat("*** -[%s getObjects:range:]: pointer to objects array is NULL but range length is %lu",
                             std::string(className()).c_str(), static_cast<unsigned long>(end)));
  }
  if (range.location > objects_.size() || range.length > objects_.size() - range.location)
    raiseBeyondBounds("getObjects:range:", end, objects_.size());
  for (size_t i = 0; i < range.length; ++i) objects[i] = objects_[range.location + i].get();
}

size_t PlainArray::countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const {
  if (state->state == 0) {
    state->mutationsPtr = &mutations_;
    state->itemsPtr = buffer;
  }
  size_t n = 0;
  while (n < length && state->state < objects_.size()) buffer[n++] = objects_[state->state++].get();
  return n;
}

void PlainArray::insertObject(const Value& object, size_t index) {
  if (!mutable_) raiseImmutable("insertObject:atIndex:");
  if (!object) throw Exception(NSInvalidArgumentException, "*** -[NSMutableArray insertObject:atIndex:]: attempt to insert nil");
  if (index > objects_.size()) raiseBeyondBounds("insertObject:atIndex:", index, objects_.size() + 1);
  objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), object);
  mutated();
}

void PlainArray::removeObjectAtIndex(size_t index) {
  if (!mutable_) raiseImmutable("removeObjectAtIndex:");
  if (index >= objects_.size()) raiseBeyondBounds("removeObjectAtIndex:", index, objects_.size());
  objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
  mutated();
}

void PlainArray::replaceObjectAtIndex(size_t index, const Value& object) {
  if (!mutable_) raiseImmutable("replaceObjectAtIndex:withObject:");
  if (!object) {
    throw Exception(NSInvalidArgumentException,
                    "*** -[NSMutableArray replaceObjectAtIndex:withObject:]: attempt to insert nil");
  }
  if (index >= objects_.size()) raiseBeyondBounds("replaceObjectAtIndex:withObject:", index, objects_.size());
  objects_[index] = object;
  mutated();
}

Value PlainArray::copy() const {
  if (!mutable_) return Value::retained(this);
  return make(objects_, false);
}

// ---------------------------------------------------------------- PlainDictionary

Value PlainDictionary::make(std::initializer_list<std::pair<Value, Value>> members, bool isMutable) {
  Value result = Value::adopt(new PlainDictionary(isMutable));
  PlainDictionary* d = static_cast<PlainDictionary*>(result.get());
  for (const auto& [key, object] : members) {
    if (!key || !object) {
      throw Exception(NSInvalidArgumentException,
                      "*** -[NSDictionary initWithObjects:forKeys:count:]: attempt to insert nil object");
    }
    d->store(object, key);
  }
  return result;
}

Value PlainDictionary::make(const Dictionary& other, bool isMutable) {
  Value result = Value::adopt(new PlainDictionary(isMutable));
  PlainDictionary* d = static_cast<PlainDictionary*>(result.get());
  const size_t n = other.count();
  std::vector<Object*> keys(n), objects(n);
  other.getObjectsAndKeys(objects.data(), keys.data());
  for (size_t i = 0; i < n; ++i) d->store(Value::retained(objects[i]), Value::retained(keys[i]));
  return result;
}

void PlainDictionary::store(const Value& object, const Value& key) {
  Value keyCopy = key->copy();
  auto it = members_.find(keyCopy);
  if (it != members_.end()) {
    it->second = object;
    return;
  }
  keys_.push_back(keyCopy);
  members_.emplace(std::move(keyCopy), object);
}

Value PlainDictionary::objectForKey(const Value& key) const {
  if (!key) return Value();
  auto it = members_.find(key);
  return it == members_.end() ? Value() : it->second;
}

Value PlainDictionary::objectForStringKey(std::string_view key) const { return objectForKey(String::make(key)); }

void PlainDictionary::getObjectsAndKeys(Object** objects, Object** keys) const {
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys) keys[i] = keys_[i].get();
    if (objects) objects[i] = members_.find(keys_[i])->second.get();
  }
}

size_t PlainDictionary::countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const {
  if (state->state == 0) {
    state->mutationsPtr = &mutations_;
    state->itemsPtr = buffer;
  }
  size_t n = 0;
  while (n < length && state->state < keys_.size()) buffer[n++] = keys_[state->state++].get();
  return n;
}

namespace {

class PlainDictionaryEnumerator final : public Enumerator {
 public:
  explicit PlainDictionaryEnumerator(std::vector<Value> keys) : keys_(std::move(keys)) {}
  Value nextObject() override { return next_ < keys_.size() ? keys_[next_++] : Value(); }
  std::vector<Value> allObjects() override {
    std::vector<Value> rest(keys_.begin() + static_cast<std::ptrdiff_t>(next_), keys_.end());
    next_ = keys_.size();
    return rest;
  }

 private:
  std::vector<Value> keys_;
  size_t next_ = 0;
};

}  // namespace

std::unique_ptr<Enumerator> PlainDictionary::keyEnumerator() const {
  return std::make_unique<PlainDictionaryEnumerator>(keys_);
}

void PlainDictionary::setObject(const Value& object, const Value& key) {
  if (!mutable_) raiseImmutable("setObject:forKey:");
  if (!key) throw Exception(NSInvalidArgumentException, "*** -[NSMutableDictionary setObject:forKey:]: attempt to insert nil key");
  if (!object) {
    throw Exception(NSInvalidArgumentException,
                    "*** -[NSMutableDictionary setObject:forKey:]: attempt to insert nil value (key: " +
                        key->description() + ")");
  }
  store(object, key);
  mutations_ = (mutations_ < ~0UL ? mutations_ : 0) + 1;
}

void PlainDictionary::removeObjectForKey(const Value& key) {
  if (!mutable_) raiseImmutable("removeObjectForKey:");
  if (!key) throw Exception(NSInvalidArgumentException, "*** -[NSMutableDictionary removeObjectForKey:]: attempt to remove nil key");
  auto it = members_.find(key);
  if (it == members_.end()) return;
  const Object* stored = it->first.get();
  members_.erase(it);
  for (auto k = keys_.begin(); k != keys_.end(); ++k) {
    if (k->get() == stored) {
      keys_.erase(k);
      break;
    }
  }
  mutations_ = (mutations_ < ~0UL ? mutations_ : 0) + 1;
}

Value PlainDictionary::copy() const {
  if (!mutable_) return Value::retained(this);
  return make(*this, false);
}

}  // namespace jk
