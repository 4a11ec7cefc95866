#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "json/json_kit.h"
#include "json_test_util.h"

namespace {

using jk::_JKArrayCreate;
using jk::_JKDictionaryCapacityForCount;
using jk::_JKDictionaryCreate;
using jk::JKArray;
using jk::JKDictionary;
using jk::Object;
using jk::Value;
using jktest::decode;
using jktest::raised;

// An array made the way the decoder makes one: the given values' references
// move into it.
Value makeArray(std::vector<Value> values, bool isMutable) {
  std::vector<Object*> raw;
  for (Value& v : values) raw.push_back(v.detach());
  return Value::adopt(_JKArrayCreate(raw.data(), raw.size(), isMutable));
}

Value makeDictionary(std::vector<std::pair<Value, Value>> members, bool isMutable) {
  std::vector<Object*> keys, objects;
  std::vector<uint64_t> hashes;
  for (auto& [k, o] : members) {
    hashes.push_back(k->hash());
    keys.push_back(k.detach());
    objects.push_back(o.detach());
  }
  return Value::adopt(_JKDictionaryCreate(keys.data(), hashes.data(), objects.data(), keys.size(), isMutable));
}

JKArray* jkArray(const Value& v) { return static_cast<JKArray*>(v.array()); }
JKDictionary* jkDictionary(const Value& v) { return static_cast<JKDictionary*>(v.dictionary()); }

// Strings whose hash puts them at the same home index of a table of `capacity`.
std::vector<std::string> collidingKeys(size_t capacity, size_t home, size_t howMany) {
  std::vector<std::string> keys;
  for (int i = 0; keys.size() < howMany; ++i) {
    std::string k = "key" + std::to_string(i);
    if (jk::String::hashBytes(k.data(), k.size()) % capacity == home) keys.push_back(k);
  }
  return keys;
}

TEST(JKCollectionsTest, CapacityComesFromTheTable) {
  const std::pair<size_t, size_t> cases[] = {
      {0, 0},   {1, 3},      {2, 3},      {3, 3},         {4, 7},         {5, 7},
      {6, 7},   {7, 13},     {10, 13},    {11, 23},       {1000, 1723},   {1296, 1723},
      {1297, 2803}, {355569361, 472907251}, {355569362, 472907251}, {355569363, 0}, {~size_t{0}, 0}};
  for (auto [count, capacity] : cases) EXPECT_EQ(_JKDictionaryCapacityForCount(count), capacity) << count;
}

TEST(JKCollectionsTest, CreationTakesOverTheReferences) {
  Value element = Value::string("owned");
  const size_t before = element->retainCount();
  Value copy = element;  // one more reference, moved into the array below
  Value array = makeArray({std::move(copy)}, false);
  EXPECT_EQ(element->retainCount(), before + 1) << "the array holds exactly the reference it was given";
  array = Value();
  EXPECT_EQ(element->retainCount(), before) << "the array releases its elements";
}

TEST(JKCollectionsTest, EmptyArrayHasNoCapacityAndRaisesOnAccess) {
  Value empty = decode("[]");
  ASSERT_TRUE(empty);
  EXPECT_EQ(jkArray(empty)->capacity(), 0u);
  EXPECT_EQ(raised([&] { empty.array()->objectAtIndex(0); }),
            "NSRangeException: *** -[JKArray objectAtIndex:]: index (0) beyond bounds (0)");
  EXPECT_EQ(raised([&] { JKArray::allocWithZone(); }),
            "NSInvalidArgumentException: *** - [JKArray allocWithZone:]: The JKArray class is private to JSONKit and "
            "should not be used in this fashion.");
  EXPECT_EQ(raised([&] { JKDictionary::allocWithZone(); }),
            "NSInvalidArgumentException: *** - [JKDictionary allocWithZone:]: The JKDictionary class is private to "
            "JSONKit and should not be used in this fashion.");
}

TEST(JKCollectionsTest, MutableArrayInsertsRemovesAndReplaces) {
  Value a = decode("[1,2,3]", 0, nullptr, true);
  JKArray* array = jkArray(a);
  ASSERT_EQ(array->capacity(), 3u);
  array->insertObject(Value::integer(4), 3);  // at count: appends
  EXPECT_EQ(array->capacity(), 19u) << "grows by 16 slots";
  array->insertObject(Value::integer(0), 0);
  EXPECT_EQ(a, Value::arrayOf({Value::integer(0), Value::integer(1), Value::integer(2), Value::integer(3),
                               Value::integer(4)}));
  EXPECT_EQ(raised([&] { array->insertObject(Value::integer(9), 7); }),
            "NSRangeException: *** -[JKArray insertObject:atIndex:]: index (7) beyond bounds (6)");
  EXPECT_EQ(raised([&] { array->insertObject(Value(), 0); }),
            "NSInvalidArgumentException: *** -[JKArray insertObject:atIndex:]: attempt to insert nil");

  Value removed = array->objectAtIndex(1);
  const size_t held = removed->retainCount();
  array->removeObjectAtIndex(1);
  EXPECT_EQ(removed->retainCount(), held - 1) << "the removed element is released";
  EXPECT_EQ(array->capacity(), 19u) << "capacity never shrinks";
  EXPECT_EQ(raised([&] { array->removeObjectAtIndex(4); }),
            "NSRangeException: *** -[JKArray removeObjectAtIndex:]: index (4) beyond bounds (4)");

  Value old = array->objectAtIndex(0);
  const size_t oldHeld = old->retainCount();
  array->replaceObjectAtIndex(0, "zero");
  EXPECT_EQ(old->retainCount(), oldHeld - 1);
  EXPECT_EQ(raised([&] { array->replaceObjectAtIndex(4, "x"); }),
            "NSRangeException: *** -[JKArray replaceObjectAtIndex:withObject:]: index (4) beyond bounds (4)");
  EXPECT_EQ(raised([&] { array->replaceObjectAtIndex(0, Value()); }),
            "NSInvalidArgumentException: *** -[JKArray replaceObjectAtIndex:withObject:]: attempt to insert nil");
  EXPECT_EQ(a, Value::arrayOf({"zero", Value::integer(2), Value::integer(3), Value::integer(4)}));
}

TEST(JKCollectionsTest, EveryMutatingCallOnAnImmutableInstanceRaises) {
  Value a = decode("[1]");
  Value d = decode("{\"k\":1}");
  const std::string prefix = "NSInternalInconsistencyException: *** -[";
  const std::string suffix = "]: mutating method sent to immutable object";
  EXPECT_EQ(raised([&] { a.array()->insertObject(Value::integer(2), 0); }), prefix + "JKArray insertObject:atIndex:" + suffix);
  EXPECT_EQ(raised([&] { a.array()->removeObjectAtIndex(0); }), prefix + "JKArray removeObjectAtIndex:" + suffix);
  EXPECT_EQ(raised([&] { a.array()->replaceObjectAtIndex(0, "x"); }),
            prefix + "JKArray replaceObjectAtIndex:withObject:" + suffix);
  EXPECT_EQ(raised([&] { d.dictionary()->setObject("v", "k2"); }), prefix + "JKDictionary setObject:forKey:" + suffix);
  EXPECT_EQ(raised([&] { d.dictionary()->removeObjectForKey("k"); }), prefix + "JKDictionary removeObjectForKey:" + suffix);
  // Nothing changed.
  EXPECT_EQ(a, Value::arrayOf({Value::integer(1)}));
  EXPECT_EQ(d, Value::dictionaryOf({{"k", Value::integer(1)}}));
  EXPECT_EQ(jkArray(a)->mutations(), 0u);
}

TEST(JKCollectionsTest, GetObjectsChecksBufferAndRange) {
  Value a = decode("[10,20,30]");
  Object* out[3] = {};
  a.array()->getObjects(out, jk::Range{1, 2});
  EXPECT_EQ(Value::retained(out[0]).int64Value(), 20);
  EXPECT_EQ(Value::retained(out[1]).int64Value(), 30);
  a.array()->getObjects(nullptr, jk::Range{0, 0});  // nothing asked, nothing raised
  EXPECT_EQ(raised([&] { a.array()->getObjects(nullptr, jk::Range{1, 1}); }),
            "NSRangeException: *** -[JKArray getObjects:range:]: pointer to objects array is NULL but range length is 2");
  EXPECT_EQ(raised([&] { a.array()->getObjects(out, jk::Range{2, 2}); }),
            "NSRangeException: *** -[JKArray getObjects:range:]: index (4) beyond bounds (3)");
  EXPECT_EQ(raised([&] { a.array()->getObjects(out, jk::Range{4, 0}); }),
            "NSRangeException: *** -[JKArray getObjects:range:]: index (4) beyond bounds (3)");
  // A huge length must not wrap around into the bounds.
  EXPECT_NE(raised([&] { a.array()->getObjects(out, jk::Range{1, ~size_t{0}}); }), "");
}

TEST(JKCollectionsTest, FastEnumerationHandsOutEveryElementAndTracksMutation) {
  Value a = decode("[1,2,3,4,5]", 0, nullptr, true);
  jk::JKFastEnumerationState state;
  Object* buffer[2];
  std::vector<int64_t> seen;
  size_t n;
  while ((n = a.array()->countByEnumerating(&state, buffer, 2)) > 0) {
    EXPECT_EQ(state.itemsPtr, buffer);
    for (size_t i = 0; i < n; ++i) seen.push_back(Value::retained(buffer[i]).int64Value());
  }
  EXPECT_EQ(seen, (std::vector<int64_t>{1, 2, 3, 4, 5}));
  const unsigned long before = *state.mutationsPtr;
  a.array()->addObject(Value::integer(6));
  EXPECT_NE(*state.mutationsPtr, before) << "the mutation counter moves";
  EXPECT_NE(*state.mutationsPtr, 0u);

  Value d = decode(R"({"a":1,"b":2,"c":3})");
  jk::JKFastEnumerationState ds;
  std::vector<std::string> keys;
  while ((n = d.dictionary()->countByEnumerating(&ds, buffer, 2)) > 0)
    for (size_t i = 0; i < n; ++i) keys.emplace_back(Value::retained(buffer[i]).stringView());
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(JKCollectionsTest, CopiesFollowMutability) {
  Value immutable = decode("[1,[2]]");
  EXPECT_TRUE(immutable->copy().same(immutable)) << "an immutable instance copies as itself";
  Value m = immutable->mutableCopy();
  EXPECT_EQ(m->className(), "NSMutableArray");
  EXPECT_EQ(m, immutable);
  m.array()->addObject(Value::integer(3));
  EXPECT_EQ(immutable.count(), 2u);

  Value mutableArray = decode("[1,2]", 0, nullptr, true);
  Value c = mutableArray->copy();
  EXPECT_FALSE(c.same(mutableArray));
  EXPECT_EQ(c->className(), "NSArray");
  EXPECT_EQ(c, mutableArray);
  mutableArray.array()->addObject(Value::integer(3));
  EXPECT_EQ(c.count(), 2u) << "the copy does not follow the original";

  Value d = decode(R"({"k":"v"})");
  EXPECT_TRUE(d->copy().same(d));
  Value md = decode(R"({"k":"v"})", 0, nullptr, true);
  EXPECT_EQ(md->copy()->className(), "NSDictionary");
  EXPECT_EQ(md->mutableCopy()->className(), "NSMutableDictionary");
  EXPECT_EQ(md->copy(), md);
}

TEST(JKCollectionsTest, EmptyDictionaryGrowsToThreeOnFirstInsertion) {
  Value d = decode("{}", 0, nullptr, true);
  JKDictionary* dict = jkDictionary(d);
  EXPECT_EQ(dict->capacity(), 0u);
  EXPECT_FALSE(dict->objectForKey("anything"));
  EXPECT_FALSE(d["anything"]);
  dict->setObject(Value::integer(1), "a");
  EXPECT_EQ(dict->capacity(), 3u);
  EXPECT_EQ(d["a"].int64Value(), 1);
}

TEST(JKCollectionsTest, ThreeMembersFillATableOfThree) {
  Value d = decode(R"({"a":1,"b":2,"c":3})");
  JKDictionary* dict = jkDictionary(d);
  EXPECT_EQ(dict->capacity(), 3u);
  EXPECT_EQ(dict->count(), 3u);
  EXPECT_EQ(dict->probeCountForKey("absent"), 3u) << "a full table is searched once round";
  for (const char* k : {"a", "b", "c"}) EXPECT_TRUE(dict->objectForKey(k)) << k;
}

TEST(JKCollectionsTest, SetObjectReplacesAndKeepsItsOwnKeyCopy) {
  Value d = decode(R"({"a":1})", 0, nullptr, true);
  JKDictionary* dict = jkDictionary(d);
  dict->setObject(Value::integer(2), "a");
  EXPECT_EQ(dict->count(), 1u);
  EXPECT_EQ(d["a"].int64Value(), 2);

  Value key = Value::mutableString("name");
  dict->setObject("first", key);
  static_cast<jk::MutableString*>(key.get())->setString("changed");
  EXPECT_EQ(d["name"].stringView(), "first") << "the stored key is a copy";
  EXPECT_FALSE(d["changed"]);

  EXPECT_EQ(raised([&] { dict->setObject("v", Value()); }),
            "NSInvalidArgumentException: *** -[JKDictionary setObject:forKey:]: attempt to insert nil key");
  EXPECT_EQ(raised([&] { dict->setObject(Value(), "k"); }),
            "NSInvalidArgumentException: *** -[JKDictionary setObject:forKey:]: attempt to insert nil value (key: k)");
  EXPECT_EQ(raised([&] { dict->removeObjectForKey(Value()); }),
            "NSInvalidArgumentException: *** -[JKDictionary removeObjectForKey:]: attempt to remove nil key");

  // Keys of any kind, found by equality: 3 and 3.0 are the same key.
  dict->setObject("three", Value::integer(3));
  EXPECT_EQ(dict->objectForKey(Value::real(3.0)).stringView(), "three");
}

TEST(JKCollectionsTest, RemovalInsideAClusterKeepsEveryOtherMemberReachable) {
  // Five keys with the same home index in a table of 7, plus two others:
  // the cluster wraps round the end of the table.
  std::vector<std::string> keys = collidingKeys(7, 5, 5);
  ASSERT_EQ(_JKDictionaryCapacityForCount(5), 7u);
  Value d = decode("{}", 0, nullptr, true);
  JKDictionary* dict = jkDictionary(d);
  for (size_t i = 0; i < keys.size(); ++i) dict->setObject(Value::integer(static_cast<int64_t>(i)), keys[i]);
  ASSERT_EQ(dict->capacity(), 7u);
  const unsigned long before = dict->mutations();
  dict->removeObjectForKey(Value(keys[1]));
  EXPECT_NE(dict->mutations(), before);
  EXPECT_EQ(dict->count(), 4u);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i == 1) {
      EXPECT_FALSE(d[keys[i]]);
    } else {
      EXPECT_EQ(d[keys[i]].int64Value(), static_cast<int64_t>(i)) << keys[i];
    }
  }
  // Removing an absent key changes nothing, not even the counter.
  const unsigned long counter = dict->mutations();
  dict->removeObjectForKey("not there");
  EXPECT_EQ(dict->mutations(), counter);
  // Removing them all, from the front of the cluster, leaves an empty table.
  for (size_t i : {0, 2, 3, 4}) dict->removeObjectForKey(Value(keys[i]));
  EXPECT_EQ(dict->count(), 0u);
}

TEST(JKCollectionsTest, ManyInsertionsAndRemovalsAgreeWithAReferenceMap) {
  Value d = decode("{}", 0, nullptr, true);
  JKDictionary* dict = jkDictionary(d);
  std::map<std::string, int64_t> reference;
  uint32_t x = 12345;
  for (int step = 0; step < 20000; ++step) {
    x = x * 1664525 + 1013904223;
    const std::string key = "k" + std::to_string((x >> 8) % 700);
    if ((x >> 4) % 3 == 0) {
      dict->removeObjectForKey(Value(key));
      reference.erase(key);
    } else {
      dict->setObject(Value::integer(step), Value(key));
      reference[key] = step;
    }
  }
  ASSERT_EQ(dict->count(), reference.size());
  for (const auto& [k, v] : reference) ASSERT_EQ(d[k].int64Value(), v) << k;
  EXPECT_LE(dict->count() * 4, dict->capacity() * 3 + 3) << "load factor stays near 0.75 or below";
}

TEST(JKCollectionsTest, RepeatedKeysAtCreationKeepTheLastPair) {
  Value first = Value::string("first");
  const size_t held = first->retainCount();
  Value d = makeDictionary({{"k", first}, {"other", Value::integer(1)}, {"k", Value::string("second")}}, false);
  EXPECT_EQ(d.count(), 2u);
  EXPECT_EQ(d["k"].stringView(), "second");
  EXPECT_EQ(first->retainCount(), held) << "the replaced pair is released";
}

TEST(JKCollectionsTest, KeyEnumeratorWalksTheTableAndKeepsTheDictionaryAlive) {
  Value d = decode(R"({"a":1,"b":2,"c":3,"d":4})");
  std::vector<Object*> keys(4);
  d.dictionary()->getObjectsAndKeys(nullptr, keys.data());
  std::unique_ptr<jk::Enumerator> e = d.dictionary()->keyEnumerator();
  d = Value();  // the enumerator holds the dictionary now
  Value firstKey = e->nextObject();
  EXPECT_EQ(firstKey.get(), keys[0]) << "table order";
  std::vector<Value> rest = e->allObjects();
  ASSERT_EQ(rest.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(rest[i].get(), keys[i + 1]);
  EXPECT_FALSE(e->nextObject());
}

TEST(JKCollectionsTest, GetObjectsAndKeysPairThemUp) {
  Value d = decode(R"({"one":1,"two":2,"three":3})");
  std::vector<Object*> keys(3), objects(3);
  d.dictionary()->getObjectsAndKeys(objects.data(), keys.data());
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(d[Value::retained(keys[i]).stringView()].get(), objects[i]);
  }
}

}  // namespace
