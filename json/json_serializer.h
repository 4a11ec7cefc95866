#pragma once
// A tree of the codec's objects to UTF-8 JSON text.
//
// Writes an array, a dictionary or a single string (with the numbers,
// booleans, nulls and strings inside) into one growing buffer, compact or
// pretty (two spaces per level, dictionary keys sorted). Text written for a
// scalar object is remembered, so an object met again is copied instead of
// encoded again. Objects of other kinds (data, dates) can be turned into
// writable ones by a formatter block or delegate.
//
// The graph fails softly (nil result and an Error) for unsupported objects,
// non-finite doubles, non-string keys, nesting deeper than
// kJKMaxNestingDepth and collections that contain themselves; misuse of the
// interface throws. A serializer serves one call at a time.

#include <memory>

#include "json/jk_base.h"
#include "json/jk_object.h"

namespace jk {

struct JKEncodeState;

class JKSerializer {
 public:
  JKSerializer();
  ~JKSerializer();
  JKSerializer(const JKSerializer&) = delete;
  JKSerializer& operator=(const JKSerializer&) = delete;

  // Makes a serializer for this one call. The result is a Data object
  // (encode option JKEncodeOptionAsData) or a String (JKEncodeOptionAsString),
  // or nil with `*error` set. `*error` is reset first when given.
  static Value serializeObject(const Value& object, JKSerializeOptionFlags serializeOptions,
                               JKEncodeOptionType encodeOption, const JKSerializeBlock& block,
                               JKFormatterDelegate* delegate, const char* selector, Error* error);

  // The same on this serializer; it may be reused for further calls, one
  // after another.
  Value serialize(const Value& object, JKSerializeOptionFlags serializeOptions, JKEncodeOptionType encodeOption,
                  const JKSerializeBlock& block, JKFormatterDelegate* delegate, const char* selector, Error* error);

  void releaseState() noexcept;

 private:
  std::unique_ptr<JKEncodeState> encodeState_;
};

}  // namespace jk
