#pragma once
// Option flags, error and exception types of the JSON codec.
//
// Malformed input and unserializable object graphs fail softly with an Error
// (domain "JKErrorDomain", code -1); misuse of an interface (bad options, a
// null argument, mutating an immutable collection, a bad index) throws an
// Exception whose name is the platform's exception name and whose reason is
// the fixed text of the codec.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace jk {

class Value;

using JKFlags = uint64_t;

using JKParseOptionFlags = JKFlags;
inline constexpr JKParseOptionFlags JKParseOptionNone = 0;
inline constexpr JKParseOptionFlags JKParseOptionStrict = 0;
inline constexpr JKParseOptionFlags JKParseOptionAllowComments = 1;
inline constexpr JKParseOptionFlags JKParseOptionUnicodeLineBreaks = 2;
inline constexpr JKParseOptionFlags JKParseOptionReplaceInvalidUnicode = 4;
inline constexpr JKParseOptionFlags JKParseOptionAllowTrailingText = 8;
inline constexpr JKParseOptionFlags JKParseOptionValidFlags = 15;

using JKSerializeOptionFlags = JKFlags;
inline constexpr JKSerializeOptionFlags JKSerializeOptionNone = 0;
inline constexpr JKSerializeOptionFlags JKSerializeOptionPretty = 1;
inline constexpr JKSerializeOptionFlags JKSerializeOptionEscapeNonASCII = 2;
inline constexpr JKSerializeOptionFlags JKSerializeOptionEscapeSlash = 16;

using JKEncodeOptionType = JKFlags;
inline constexpr JKEncodeOptionType JKEncodeOptionAsData = 1;
inline constexpr JKEncodeOptionType JKEncodeOptionAsString = 2;
inline constexpr JKEncodeOptionType JKEncodeOptionAsTypeMask = 7;
inline constexpr JKEncodeOptionType JKEncodeOptionCollectionObj = 8;
inline constexpr JKEncodeOptionType JKEncodeOptionStringObj = 16;
inline constexpr JKEncodeOptionType JKEncodeOptionStringObjTrimQuotes = 32;

inline constexpr const char* JKErrorDomain = "JKErrorDomain";
inline constexpr const char* JKAtIndexKey = "JKAtIndexKey";
inline constexpr const char* JKLineNumberKey = "JKLineNumberKey";
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";

inline constexpr const char* NSInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* NSInternalInconsistencyException = "NSInternalInconsistencyException";
inline constexpr const char* NSRangeException = "NSRangeException";
inline constexpr const char* NSMallocException = "NSMallocException";

// Arrays and objects nested deeper than this are refused by the decoder and
// the serializer: each level is one level of recursion, and a document of a
// hundred thousand opening brackets must fail cleanly instead of running off
// the end of the stack.
inline constexpr size_t kJKMaxNestingDepth = 4096;

// Misuse of an interface. `name()` is the platform's exception name (for
// example "NSInvalidArgumentException"), `reason()` the codec's text.
class Exception : public std::exception {
 public:
  Exception(std::string name, std::string reason) : name_(std::move(name)), reason_(std::move(reason)) {}
  const std::string& name() const noexcept { return name_; }
  const std::string& reason() const noexcept { return reason_; }
  const char* what() const noexcept override { return reason_.c_str(); }

 private:
  std::string name_;
  std::string reason_;
};

// The first error of a parse or a serialization. `atIndex` and `lineNumber`
// are present for parse errors only.
struct Error {
  std::string domain;
  int64_t code = 0;
  std::string localizedDescription;
  std::optional<uint64_t> atIndex;
  std::optional<uint64_t> lineNumber;

  // The user-info dictionary: the description under "NSLocalizedDescription"
  // and, for parse errors, "JKAtIndexKey" and "JKLineNumberKey" as unsigned numbers.
  Value userInfo() const;
};

}  // namespace jk
