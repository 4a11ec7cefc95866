// The one-call entry points on strings, data, arrays and dictionaries. Each
// call makes its own decoder or serializer, so they may be used from any
// thread.

#include "json/jk_object.h"
#include "json/json_decoder.h"
#include "json/json_serializer.h"

namespace jk {

namespace {

Value parseBytes(const unsigned char* bytes, size_t length, JKParseOptionFlags parseOptionFlags, bool mutableCollections,
                 Error* error) {
  std::unique_ptr<JSONDecoder> decoder = JSONDecoder::decoderWithParseOptions(parseOptionFlags);
  if (!decoder) return Value();
  Value result = mutableCollections ? decoder->mutableObjectWithUTF8String(bytes, length, error)
                                    : decoder->objectWithUTF8String(bytes, length, error);
  // The parse state and its cache go at once rather than with the decoder.
  decoder->releaseState();
  return result;
}

const unsigned char* bytesOf(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

constexpr JKEncodeOptionType kStringData = JKEncodeOptionAsData | JKEncodeOptionStringObj;                // 17
constexpr JKEncodeOptionType kStringString = JKEncodeOptionAsString | JKEncodeOptionStringObj;            // 18
constexpr JKEncodeOptionType kCollectionData = JKEncodeOptionAsData | JKEncodeOptionCollectionObj;        // 9
constexpr JKEncodeOptionType kCollectionString = JKEncodeOptionAsString | JKEncodeOptionCollectionObj;    // 10

JKEncodeOptionType quotes(JKEncodeOptionType option, bool includeQuotes) {
  return includeQuotes ? option : option | JKEncodeOptionStringObjTrimQuotes;  // 49, 50
}

}  // namespace

// ---------------------------------------------------------------- parsing data

Value Data::objectFromJSONData() const { return objectFromJSONDataWithParseOptions(JKParseOptionStrict, nullptr); }

Value Data::objectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags) const {
  return objectFromJSONDataWithParseOptions(parseOptionFlags, nullptr);
}

Value Data::objectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const {
  return parseBytes(bytes(), length(), parseOptionFlags, false, error);
}

Value Data::mutableObjectFromJSONData() const {
  return mutableObjectFromJSONDataWithParseOptions(JKParseOptionStrict, nullptr);
}

Value Data::mutableObjectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags) const {
  return mutableObjectFromJSONDataWithParseOptions(parseOptionFlags, nullptr);
}

Value Data::mutableObjectFromJSONDataWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const {
  return parseBytes(bytes(), length(), parseOptionFlags, true, error);
}

// ---------------------------------------------------------------- parsing strings

// A string's characters are UTF-8 bytes already, so the conversion to a
// byte buffer that the platform needs is the identity here, and the decoder
// validates the bytes as it scans them.

Value String::objectFromJSONString() const {
  return objectFromJSONStringWithParseOptions(JKParseOptionStrict, nullptr);
}

Value String::objectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags) const {
  return objectFromJSONStringWithParseOptions(parseOptionFlags, nullptr);
}

Value String::objectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const {
  return parseBytes(bytesOf(bytes_), bytes_.size(), parseOptionFlags, false, error);
}

Value String::mutableObjectFromJSONString() const {
  return mutableObjectFromJSONStringWithParseOptions(JKParseOptionStrict, nullptr);
}

Value String::mutableObjectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags) const {
  return mutableObjectFromJSONStringWithParseOptions(parseOptionFlags, nullptr);
}

Value String::mutableObjectFromJSONStringWithParseOptions(JKParseOptionFlags parseOptionFlags, Error* error) const {
  return parseBytes(bytesOf(bytes_), bytes_.size(), parseOptionFlags, true, error);
}

// ---------------------------------------------------------------- writing strings

Value String::JSONData() const {
  return JKSerializer::serializeObject(Value::retained(this), JKSerializeOptionNone, kStringData, {}, nullptr,
                                       nullptr, nullptr);
}

Value String::JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, bool includeQuotes, Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, quotes(kStringData, includeQuotes), {},
                                       nullptr, nullptr, error);
}

Value String::JSONString() const {
  return JKSerializer::serializeObject(Value::retained(this), JKSerializeOptionNone, kStringString, {}, nullptr,
                                       nullptr, nullptr);
}

Value String::JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, bool includeQuotes, Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, quotes(kStringString, includeQuotes),
                                       {}, nullptr, nullptr, error);
}

// ---------------------------------------------------------------- writing collections

Value Collection::JSONData() const {
  return JKSerializer::serializeObject(Value::retained(this), JKSerializeOptionNone, kCollectionData, {}, nullptr,
                                       nullptr, nullptr);
}

Value Collection::JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, kCollectionData, {}, nullptr, nullptr,
                                       error);
}

Value Collection::JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, JKFormatterDelegate* delegate,
                                      const char* selector, Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, kCollectionData, {}, delegate,
                                       selector, error);
}

Value Collection::JSONDataWithOptions(JKSerializeOptionFlags serializeOptions, const JKSerializeBlock& block,
                                      Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, kCollectionData, block, nullptr,
                                       nullptr, error);
}

Value Collection::JSONString() const {
  return JKSerializer::serializeObject(Value::retained(this), JKSerializeOptionNone, kCollectionString, {}, nullptr,
                                       nullptr, nullptr);
}

Value Collection::JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, kCollectionString, {}, nullptr,
                                       nullptr, error);
}

Value Collection::JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, JKFormatterDelegate* delegate,
                                        const char* selector, Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, kCollectionString, {}, delegate,
                                       selector, error);
}

Value Collection::JSONStringWithOptions(JKSerializeOptionFlags serializeOptions, const JKSerializeBlock& block,
                                        Error* error) const {
  return JKSerializer::serializeObject(Value::retained(this), serializeOptions, kCollectionString, block, nullptr,
                                       nullptr, error);
}

}  // namespace jk
