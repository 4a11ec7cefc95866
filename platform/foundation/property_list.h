#pragma once
// Property lists: the platform's file format for small structured data (the
// pattern index, pattern sets, user defaults). Reading accepts both the XML
// and the binary form; writing produces the XML form exactly as the platform
// writes it (Apple's DOCTYPE, tab indentation, sorted dictionary keys), so the
// files open in any property-list tool.
//
// Mapping to Value: dict -> Dictionary, array -> Array, string -> String,
// integer -> Integer (signed 64-bit), real -> Real, true/false -> Bool,
// data -> Data, date -> Date, UID -> Integer. A null Value has no property
// list form; writing one fails with an error naming where it sits. XML dates
// are whole seconds, as the platform writes them.
//
// Thread-safe (no shared state). Not real-time-safe: allocation and file I/O.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace platform {

// Reads an XML or binary property list; empty when the file cannot be read
// or is not a property list. `error` (when given) receives a short reason.
std::optional<Value> readPropertyList(const std::filesystem::path& path);
std::optional<Value> readPropertyList(const std::filesystem::path& path, std::string* error);

// Writes `value` as an XML property list, atomically (see atomic_file.h).
// On failure the old file is untouched and `error` receives the reason.
bool writePropertyList(const std::filesystem::path& path, const Value& value,
                       std::string* error = nullptr);

// In-memory forms of the same.
std::optional<Value> propertyListFromBytes(std::span<const uint8_t> bytes, std::string* error = nullptr);
std::optional<std::string> propertyListToXML(const Value& value, std::string* error = nullptr);
std::optional<std::vector<uint8_t>> propertyListToBinary(const Value& value, std::string* error = nullptr);

}  // namespace platform
