#include "json/jk_collections.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "json/jk_format.h"

namespace jk {

namespace {

[[noreturn]] void raisePrivateClass(const char* className) {
  throw Exception(NSInvalidArgumentException,
                  jkFormat("*** - [%s %s]: The %s class is private to JSONKit and should not be used in this fashion.",
                           className, "allocWithZone:", className));
}

[[noreturn]] void raiseNil(const char* className, const char* selector, const char* what) {
  throw Exception(NSInvalidArgumentException, jkFormat("*** -[%s %s]: %s", className, selector, what));
}

constexpr size_t kCapacityTable[] = {
    0,         3,         7,         13,        23,        41,        71,        127,       191,      251,
    383,       631,       1087,      1723,      2803,      4523,      7351,      11959,     19447,    31231,
    50683,     81919,     132607,    214519,    346607,    561109,    907759,    1468927,   2376191,  3845119,
    6221311,   10066421,  16287743,  26354171,  42641881,  68996069,  111638519, 180634607, 292272623, 472907251};

}  // namespace

size_t _JKDictionaryCapacityForCount(size_t count) noexcept {
  // floor(count * 1.33) in integers; beyond about 1.4e17 entries the product
  // would overflow, far past the largest table size anyway.
  if (count > (~size_t{0}) / 133) return 0;
  const size_t target = count * 133 / 100;
  size_t lo = 0, hi = std::size(kCapacityTable);
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (kCapacityTable[mid] < target)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == std::size(kCapacityTable)) return 0;
  return kCapacityTable[lo];
}

// ================================================================ JKArray

JKArray* _JKArrayCreate(Object** objects, size_t count, bool mutableCollection) {
  JKArray* array = new (std::nothrow) JKArray();
  if (!array) return nullptr;
  if (count > 0) {
    array->objects_ = static_cast<Object**>(std::malloc(count * sizeof(Object*)));
    if (!array->objects_) {
      delete array;
      return nullptr;
    }
    std::memcpy(array->objects_, objects, count * sizeof(Object*));
  }
  array->count_ = count;
  array->capacity_ = count;
  array->mutations_ = mutableCollection ? 1 : 0;
  return array;
}

void JKArray::allocWithZone(void*) { raisePrivateClass("JKArray"); }

JKArray::~JKArray() {
  for (size_t i = 0; i < count_; ++i) objects_[i]->release();
  std::free(objects_);
}

Value JKArray::objectAtIndex(size_t index) const {
  if (index >= count_) raiseBeyondBounds("objectAtIndex:", index, count_);
  return Value::retained(objects_[index]);
}

void JKArray::getObjects(Object** objects, Range range) const {
  const size_t end = range.location + range.length;
  if (!objects && end != 0) {
    throw Exception(NSRangeException,
                    jkFormat("*** -[JKArray getObjects:range:]: pointer to objects array is NULL but range length is %lu",
                             static_cast<unsigned long>(end)));
  }
  // The end is checked without overflowing, so a huge length cannot wrap
  // around into the bounds.
  if (range.location > count_ || range.length > count_ - range.location)
    raiseBeyondBounds("getObjects:range:", end, count_);
  if (range.length) std::memcpy(objects, objects_ + range.location, range.length * sizeof(Object*));
}

size_t JKArray::countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const {
  if (state->state == 0) {
    state->mutationsPtr = &mutations_;
    state->itemsPtr = buffer;
  }
  size_t n = 0;
  while (n < length && state->state < count_) buffer[n++] = objects_[state->state++];
  return n;
}

void JKArray::_JKArrayInsertObjectAtIndex(Object* object, size_t index) {
  if (count_ + 1 >= capacity_) {
    Object** grown = static_cast<Object**>(std::realloc(objects_, (capacity_ + 16) * sizeof(Object*)));
    if (!grown) throw Exception(NSMallocException, "Unable to resize objects array.");
    objects_ = grown;
    std::memset(objects_ + capacity_, 0, 16 * sizeof(Object*));
    capacity_ += 16;
  }
  object->retain();
  ++count_;
  std::memmove(objects_ + index + 1, objects_ + index, (count_ - 1 - index) * sizeof(Object*));
  objects_[index] = object;
}

void JKArray::_JKArrayRemoveObjectAtIndex(size_t index) {
  objects_[index]->release();
  std::memmove(objects_ + index, objects_ + index + 1, (count_ - 1 - index) * sizeof(Object*));
  objects_[count_ - 1] = nullptr;
  --count_;
}

void JKArray::_JKArrayReplaceObjectAtIndexWithObject(size_t index, Object* object) {
  object->retain();
  Object* old = objects_[index];
  objects_[index] = object;
  old->release();
}

void JKArray::insertObject(const Value& object, size_t index) {
  if (mutations_ == 0) raiseImmutable("insertObject:atIndex:");
  if (!object) raiseNil("JKArray", "insertObject:atIndex:", "attempt to insert nil");
  if (index > count_) raiseBeyondBounds("insertObject:atIndex:", index, count_ + 1);
  _JKArrayInsertObjectAtIndex(object.get(), index);
  mutated();
}

void JKArray::removeObjectAtIndex(size_t index) {
  if (mutations_ == 0) raiseImmutable("removeObjectAtIndex:");
  if (index >= count_) raiseBeyondBounds("removeObjectAtIndex:", index, count_);
  _JKArrayRemoveObjectAtIndex(index);
  mutated();
}

void JKArray::replaceObjectAtIndex(size_t index, const Value& object) {
  if (mutations_ == 0) raiseImmutable("replaceObjectAtIndex:withObject:");
  if (!object) raiseNil("JKArray", "replaceObjectAtIndex:withObject:", "attempt to insert nil");
  if (index >= count_) raiseBeyondBounds("replaceObjectAtIndex:withObject:", index, count_);
  _JKArrayReplaceObjectAtIndexWithObject(index, object.get());
  mutated();
}

Value JKArray::copy() const {
  if (mutations_ == 0) return Value::retained(this);
  return PlainArray::make(objects(), false);
}

// ================================================================ JKDictionary

JKDictionary* _JKDictionaryCreate(Object** keys, const uint64_t* keyHashes, Object** objects, size_t count,
                                  bool mutableCollection) {
  const size_t capacity = _JKDictionaryCapacityForCount(count);
  if (count > 0 && capacity == 0) return nullptr;
  JKDictionary* dictionary = new (std::nothrow) JKDictionary();
  if (!dictionary) return nullptr;
  if (capacity > 0) {
    dictionary->entry_ = static_cast<JKHashTableEntry*>(std::calloc(capacity, sizeof(JKHashTableEntry)));
    if (!dictionary->entry_) {
      delete dictionary;
      return nullptr;
    }
  }
  dictionary->capacity_ = capacity;
  for (size_t i = 0; i < count; ++i) dictionary->_JKDictionaryAddObject(keyHashes[i], keys[i], objects[i]);
  dictionary->mutations_ = mutableCollection ? 1 : 0;
  return dictionary;
}

void JKDictionary::allocWithZone(void*) { raisePrivateClass("JKDictionary"); }

JKDictionary::~JKDictionary() {
  for (size_t i = 0; i < capacity_; ++i) {
    if (entry_[i].key) {
      entry_[i].key->release();
      entry_[i].object->release();
    }
  }
  std::free(entry_);
}

template <class Match>
JKHashTableEntry* JKDictionary::_JKDictionaryHashTableEntryForKey(uint64_t keyHash, const Match& matches,
                                                                  size_t* probes) const noexcept {
  if (probes) *probes = 0;
  if (capacity_ == 0) return nullptr;
  const size_t home = static_cast<size_t>(keyHash % capacity_);
  for (size_t i = 0; i < capacity_; ++i) {
    JKHashTableEntry* e = &entry_[(home + i) % capacity_];
    if (probes) ++*probes;
    if (!e->key) return nullptr;
    if (e->keyHash == keyHash && matches(e->key)) return e;
  }
  return nullptr;
}

Value JKDictionary::objectForKey(const Value& key) const {
  if (!key) return Value();
  const Object* k = key.get();
  JKHashTableEntry* e = _JKDictionaryHashTableEntryForKey(
      k->hash(), [k](const Object* stored) { return stored == k || stored->isEqual(*k); });
  return e ? Value::retained(e->object) : Value();
}

size_t JKDictionary::probeCountForKey(const Value& key) const noexcept {
  if (!key) return 0;
  const Object* k = key.get();
  size_t probes = 0;
  _JKDictionaryHashTableEntryForKey(
      k->hash(), [k](const Object* stored) { return stored == k || stored->isEqual(*k); }, &probes);
  return probes;
}

Value JKDictionary::objectForStringKey(std::string_view key) const {
  JKHashTableEntry* e =
      _JKDictionaryHashTableEntryForKey(String::hashBytes(key.data(), key.size()), [key](const Object* stored) {
        return stored->kind() == Kind::String && static_cast<const String*>(stored)->view() == key;
      });
  return e ? Value::retained(e->object) : Value();
}

void JKDictionary::getObjectsAndKeys(Object** objects, Object** keys) const {
  size_t n = 0;
  for (size_t i = 0; i < capacity_; ++i) {
    if (!entry_[i].key) continue;
    if (objects) objects[n] = entry_[i].object;
    if (keys) keys[n] = entry_[i].key;
    ++n;
  }
}

size_t JKDictionary::countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const {
  if (state->state == 0) {
    state->mutationsPtr = &mutations_;
    state->itemsPtr = buffer;
  }
  size_t n = 0;
  while (n < length && state->state < capacity_) {
    const JKHashTableEntry& e = entry_[state->state++];
    if (e.key) buffer[n++] = e.key;
  }
  return n;
}

std::unique_ptr<Enumerator> JKDictionary::keyEnumerator() const {
  return std::make_unique<JKDictionaryEnumerator>(*this);
}

void JKDictionary::_JKDictionaryResizeIfNeccessary() {
  const size_t wanted = _JKDictionaryCapacityForCount(count_ + 1);
  if (wanted == 0) throw Exception(NSMallocException, "Unable to allocate memory for hash table.");
  if (wanted <= capacity_) return;
  JKHashTableEntry* grown = static_cast<JKHashTableEntry*>(std::calloc(wanted, sizeof(JKHashTableEntry)));
  if (!grown) throw Exception(NSMallocException, "Unable to allocate memory for hash table.");
  JKHashTableEntry* old = entry_;
  const size_t oldCapacity = capacity_;
  entry_ = grown;
  capacity_ = wanted;
  count_ = 0;
  for (size_t i = 0; i < oldCapacity; ++i) {
    if (old[i].key) _JKDictionaryAddObject(old[i].keyHash, old[i].key, old[i].object);
  }
  std::free(old);
}

void JKDictionary::_JKDictionaryAddObject(uint64_t keyHash, Object* key, Object* object) noexcept {
  if (capacity_ == 0) {
    key->release();
    object->release();
    return;
  }
  const size_t home = static_cast<size_t>(keyHash % capacity_);
  for (size_t i = 0; i < capacity_;) {
    JKHashTableEntry* e = &entry_[(home + i) % capacity_];
    if (!e->key) {
      e->keyHash = keyHash;
      e->key = key;
      e->object = object;
      ++count_;
      return;
    }
    if (e->keyHash == keyHash && (e->key == key || e->key->isEqual(*key))) {
      // The later pair wins; the repair after the removal may have moved
      // another member into this entry, so it is examined again.
      _JKDictionaryRemoveObjectWithEntry(e);
      continue;
    }
    ++i;
  }
  key->release();
  object->release();
}

void JKDictionary::storeAtFirstFreeEntry(const JKHashTableEntry& moved) noexcept {
  const size_t home = static_cast<size_t>(moved.keyHash % capacity_);
  for (size_t i = 0; i < capacity_; ++i) {
    JKHashTableEntry* e = &entry_[(home + i) % capacity_];
    if (!e->key) {
      *e = moved;
      ++count_;
      return;
    }
  }
}

void JKDictionary::_JKDictionaryRemoveObjectWithEntry(JKHashTableEntry* entry) noexcept {
  entry->key->release();
  entry->object->release();
  *entry = JKHashTableEntry{0, nullptr, nullptr};
  --count_;
  // Members that probed past the freed entry must stay reachable from their
  // home index: each one after it in the cluster is stored again.
  const size_t removed = static_cast<size_t>(entry - entry_);
  for (size_t k = 1; k < capacity_; ++k) {
    JKHashTableEntry* e = &entry_[(removed + k) % capacity_];
    if (!e->key) break;
    const JKHashTableEntry moved = *e;
    *e = JKHashTableEntry{0, nullptr, nullptr};
    --count_;
    storeAtFirstFreeEntry(moved);
  }
}

void JKDictionary::setObject(const Value& object, const Value& key) {
  if (mutations_ == 0) raiseImmutable("setObject:forKey:");
  if (!key) raiseNil("JKDictionary", "setObject:forKey:", "attempt to insert nil key");
  if (!object) {
    raiseNil("JKDictionary", "setObject:forKey:",
             ("attempt to insert nil value (key: " + key->description() + ")").c_str());
  }
  _JKDictionaryResizeIfNeccessary();
  // The dictionary keeps its own copy, so later changes to a mutable key
  // object cannot reach it.
  Value keyCopy = key->copy();
  const uint64_t keyHash = keyCopy->hash();
  Value retainedObject = object;
  _JKDictionaryAddObject(keyHash, keyCopy.detach(), retainedObject.detach());
  mutated();
}

void JKDictionary::removeObjectForKey(const Value& key) {
  if (mutations_ == 0) raiseImmutable("removeObjectForKey:");
  if (!key) raiseNil("JKDictionary", "removeObjectForKey:", "attempt to remove nil key");
  const Object* k = key.get();
  JKHashTableEntry* e = _JKDictionaryHashTableEntryForKey(
      k->hash(), [k](const Object* stored) { return stored == k || stored->isEqual(*k); });
  if (!e) return;
  _JKDictionaryRemoveObjectWithEntry(e);
  mutated();
}

Value JKDictionary::copy() const {
  if (mutations_ == 0) return Value::retained(this);
  return PlainDictionary::make(*this, false);
}

// ================================================================ JKDictionaryEnumerator

JKDictionaryEnumerator::JKDictionaryEnumerator(const JKDictionary& dictionary)
    : collection_(Value::retained(&dictionary)) {}

Value JKDictionaryEnumerator::nextObject() {
  const JKDictionary* d = static_cast<const JKDictionary*>(collection_.get());
  while (nextObject_ < d->capacity_) {
    const JKHashTableEntry& e = d->entry_[nextObject_++];
    if (e.key) return Value::retained(e.key);
  }
  return Value();
}

std::vector<Value> JKDictionaryEnumerator::allObjects() {
  std::vector<Value> rest;
  for (Value key = nextObject(); key; key = nextObject()) rest.push_back(std::move(key));
  return rest;
}

}  // namespace jk
