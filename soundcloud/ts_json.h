#pragma once
// Reply bodies of the service as platform values: the JSON codec parses
// them (64-bit ids stay exact) and the tree is turned into the platform's
// Value, whose dictionaries and arrays the sharing layer reads with type
// checks (a field of the wrong type counts as absent) and stores in
// property lists.
//
// Thread-safe (no shared state).

#include <cstdint>
#include <optional>
#include <string>

#include "json/jk_object.h"
#include "platform/foundation/value.h"

namespace tssc {

// The parsed body; nullopt when it is not JSON. JSON null becomes a null
// Value; unsigned numbers beyond the signed range saturate.
std::optional<platform::Value> tsParseJSON(const platform::Data& body);
platform::Value tsValueFromJSON(const jk::Value& json);

// Typed reads of a dictionary member; nullopt / nullptr when the member is
// absent or of another type.
const platform::Value* tsMember(const platform::Value& dict, const std::string& key);
std::optional<std::string> tsString(const platform::Value& dict, const std::string& key);
std::optional<int64_t> tsInteger(const platform::Value& dict, const std::string& key);
const platform::Dictionary* tsDictionary(const platform::Value& dict, const std::string& key);
const platform::Array* tsArray(const platform::Value& dict, const std::string& key);

// "%@" of a value as the service's paths take it: strings as they are,
// integers in decimal, reals without a needless fraction.
std::string tsDescription(const platform::Value& value);

}  // namespace tssc
