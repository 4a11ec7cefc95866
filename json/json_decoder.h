#pragma once
// JSON text (UTF-8) to a tree of the codec's objects.
//
// The top level must be an array or an object. Containers are JKArray and
// JKDictionary, immutable unless a `mutable...` entry point is used; scalars
// are strings, numbers (signed 64-bit, unsigned 64-bit above the signed
// range, doubles), the boolean constants and the null object.
//
// The scanner makes one pass over the bytes, validating UTF-8 as it goes and
// decoding escapes only for strings that have them. Every string and number
// is looked up in a per-decoder cache of recently made objects, so equal
// keys and values share one object within a document and across documents
// parsed by the same decoder.
//
// Malformed input never throws: the result is nil and the Error receives the
// first recorded message with the byte index and line number where it was
// found. A decoder is used by one thread at a time.

#include <cstddef>
#include <memory>

#include "json/jk_base.h"
#include "json/jk_object.h"

namespace jk {

struct JKParseState;

class JSONDecoder {
 public:
  // Null when memory is exhausted; options of 16 or more raise.
  static std::unique_ptr<JSONDecoder> decoder();
  static std::unique_ptr<JSONDecoder> decoderWithParseOptions(JKParseOptionFlags parseOptionFlags);

  JSONDecoder();
  // Raises NSInvalidArgumentException "Invalid parse options." for a value of 16 or more.
  explicit JSONDecoder(JKParseOptionFlags parseOptionFlags);
  ~JSONDecoder();
  JSONDecoder(const JSONDecoder&) = delete;
  JSONDecoder& operator=(const JSONDecoder&) = delete;

  JKParseOptionFlags parseOptionFlags() const noexcept;

  // Releases every cached object.
  void clearCache();

  Value objectWithUTF8String(const unsigned char* string, size_t length, Error* error = nullptr);
  Value objectWithData(const Data* jsonData, Error* error = nullptr);
  Value mutableObjectWithUTF8String(const unsigned char* string, size_t length, Error* error = nullptr);
  Value mutableObjectWithData(const Data* jsonData, Error* error = nullptr);

  Value parseUTF8String(const unsigned char* string, size_t length, Error* error = nullptr);
  Value parseJSONData(const Data* jsonData, Error* error = nullptr);

  // Frees the parse state and the cache at once; every later parse raises
  // NSInternalInconsistencyException "parseState is NULL.".
  void releaseState() noexcept;

  // Objects currently held by the value cache.
  size_t cachedObjectCount() const noexcept;

 private:
  Value parse(bool mutableCollections, const unsigned char* string, size_t length, Error* error);
  std::unique_ptr<JKParseState> parseState_;
};

}  // namespace jk
