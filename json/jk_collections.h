#pragma once
// The decoder's own arrays and dictionaries.
//
// They are built in one piece from the decoder's retained children (a
// dictionary with its keys' hashes already computed), so creation neither
// retains twice nor hashes twice. One flag fixes at creation whether an
// instance is immutable (every mutating call raises) or mutable. Only
// _JKArrayCreate and _JKDictionaryCreate make instances.
//
// JKDictionary is an open-addressing hash table with linear probing whose
// sizes come from a fixed table of capacities; it keeps a load factor of at
// most about 0.75 and never shrinks.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "json/jk_object.h"

namespace jk {

class JKArray;
class JKDictionary;

// A new array holding `objects[0..count)`, whose references move into it.
// Null when memory is exhausted (the references then stay with the caller).
JKArray* _JKArrayCreate(Object** objects, size_t count, bool mutableCollection);

// A new dictionary of the given pairs; `keyHashes` are the keys' hash()
// values. The references move into it; a repeated key replaces the earlier
// pair (which is released). Null when memory is exhausted (the references
// then stay with the caller).
JKDictionary* _JKDictionaryCreate(Object** keys, const uint64_t* keyHashes, Object** objects, size_t count,
                                  bool mutableCollection);

// The table size for `count` entries: the smallest capacity-table value at or
// above floor(count * 1.33); 0 when the table has none that large.
size_t _JKDictionaryCapacityForCount(size_t count) noexcept;

class JKArray final : public Array {
 public:
  // The class is private to the codec: asking for an instance raises.
  [[noreturn]] static void allocWithZone(void* zone = nullptr);

  std::string_view className() const noexcept override { return "JKArray"; }
  size_t count() const noexcept override { return count_; }
  bool isMutable() const noexcept override { return mutations_ != 0; }
  Value objectAtIndex(size_t index) const override;
  void getObjects(Object** objects, Range range) const override;
  size_t countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const override;
  void insertObject(const Value& object, size_t index) override;
  void removeObjectAtIndex(size_t index) override;
  void replaceObjectAtIndex(size_t index, const Value& object) override;
  Value copy() const override;

  size_t capacity() const noexcept { return capacity_; }
  unsigned long mutations() const noexcept { return mutations_; }

 private:
  friend JKArray* _JKArrayCreate(Object** objects, size_t count, bool mutableCollection);
  JKArray() = default;
  ~JKArray() override;
  void mutated() noexcept { mutations_ = (mutations_ < ~0UL ? mutations_ : 0) + 1; }
  void _JKArrayInsertObjectAtIndex(Object* object, size_t index);
  void _JKArrayRemoveObjectAtIndex(size_t index);
  void _JKArrayReplaceObjectAtIndexWithObject(size_t index, Object* object);

  Object** objects_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
  unsigned long mutations_ = 0;
};

struct JKHashTableEntry {
  uint64_t keyHash;
  Object* key;
  Object* object;
};

class JKDictionary final : public Dictionary {
 public:
  [[noreturn]] static void allocWithZone(void* zone = nullptr);

  std::string_view className() const noexcept override { return "JKDictionary"; }
  size_t count() const noexcept override { return count_; }
  bool isMutable() const noexcept override { return mutations_ != 0; }
  Value objectForKey(const Value& key) const override;
  Value objectForStringKey(std::string_view key) const override;
  void getObjectsAndKeys(Object** objects, Object** keys) const override;
  size_t countByEnumerating(JKFastEnumerationState* state, Object** buffer, size_t length) const override;
  std::unique_ptr<Enumerator> keyEnumerator() const override;
  void setObject(const Value& object, const Value& key) override;
  void removeObjectForKey(const Value& key) override;
  Value copy() const override;

  size_t capacity() const noexcept { return capacity_; }
  unsigned long mutations() const noexcept { return mutations_; }
  // How many table entries a lookup of `key` examines.
  size_t probeCountForKey(const Value& key) const noexcept;

 private:
  friend JKDictionary* _JKDictionaryCreate(Object** keys, const uint64_t* keyHashes, Object** objects,
                                           size_t count, bool mutableCollection);
  friend class JKDictionaryEnumerator;
  JKDictionary() = default;
  ~JKDictionary() override;
  void mutated() noexcept { mutations_ = (mutations_ < ~0UL ? mutations_ : 0) + 1; }

  JKHashTableEntry* _JKDictionaryHashEntry() const noexcept { return entry_; }
  size_t _JKDictionaryCapacity() const noexcept { return capacity_; }
  template <class Match>
  JKHashTableEntry* _JKDictionaryHashTableEntryForKey(uint64_t keyHash, const Match& matches,
                                                      size_t* probes = nullptr) const noexcept;
  void _JKDictionaryResizeIfNeccessary();
  void _JKDictionaryAddObject(uint64_t keyHash, Object* key, Object* object) noexcept;
  void _JKDictionaryRemoveObjectWithEntry(JKHashTableEntry* entry) noexcept;
  void storeAtFirstFreeEntry(const JKHashTableEntry& moved) noexcept;

  JKHashTableEntry* entry_ = nullptr;
  size_t capacity_ = 0;
  size_t count_ = 0;
  unsigned long mutations_ = 0;
};

class JKDictionaryEnumerator final : public Enumerator {
 public:
  explicit JKDictionaryEnumerator(const JKDictionary& dictionary);  // initWithJKDictionary
  Value nextObject() override;
  std::vector<Value> allObjects() override;

 private:
  Value collection_;
  size_t nextObject_ = 0;
};

}  // namespace jk
