#pragma once
// Small helpers shared by the codec's tests.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "json/json_kit.h"

namespace jktest {

inline const unsigned char* bytesOf(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

inline jk::Value decode(std::string_view text, jk::JKParseOptionFlags options = jk::JKParseOptionStrict,
                        jk::Error* error = nullptr, bool mutableCollections = false) {
  jk::JSONDecoder decoder(options);
  return mutableCollections ? decoder.mutableObjectWithUTF8String(bytesOf(text), text.size(), error)
                            : decoder.objectWithUTF8String(bytesOf(text), text.size(), error);
}

// The serialized text, or "<error: message>".
inline std::string encode(const jk::Value& object, jk::JKSerializeOptionFlags options = jk::JKSerializeOptionNone,
                          jk::JKEncodeOptionType encodeOption = jk::JKEncodeOptionAsString) {
  jk::Error error;
  jk::Value text = jk::JKSerializer::serializeObject(object, options, encodeOption, {}, nullptr, nullptr, &error);
  if (!text) return "<error: " + error.localizedDescription + ">";
  return std::string(text.isData() ? text.data()->view() : text.stringView());
}

// Runs `f` and answers the exception it threw as "name: reason", or "" when none.
template <class F>
std::string raised(F&& f) {
  try {
    f();
  } catch (const jk::Exception& e) {
    return e.name() + ": " + e.reason();
  }
  return "";
}

}  // namespace jktest
