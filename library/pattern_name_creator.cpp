#include "library/pattern_name_creator.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "library/utilities.h"

namespace {
constexpr double kReferenceDateOffset = 978307200.0;  // 1970 to 2001, seconds
}

double Z31647PatternNameCreator::timeIntervalSinceReferenceDate() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(now).count() - kReferenceDateOffset;
}

std::string Z31647PatternNameCreator::create(const PatternRecord* record) {
  return create(record, timeIntervalSinceReferenceDate());
}

std::string Z31647PatternNameCreator::create(const PatternRecord* record, double secondsSince2001) {
  std::vector<uint8_t> bytes(PatternRecord::kSize + 8);
  record->toBytes(std::span<uint8_t, PatternRecord::kSize>(bytes.data(), PatternRecord::kSize));
  uint64_t bits = 0;
  std::memcpy(&bits, &secondsSince2001, sizeof bits);
  for (int i = 0; i < 8; ++i) bytes[PatternRecord::kSize + i] = static_cast<uint8_t>(bits >> (8 * i));
  const std::vector<uint8_t> digest = Sha1::getHashBytes(bytes);
  return stringWithHexBytes(digest);
}

bool isPatternIdentifier(std::string_view identifier) {
  // 20 digest bytes of at most three digits each.
  if (identifier.empty() || identifier.size() > 60) return false;
  return std::all_of(identifier.begin(), identifier.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isPlainIdentifier(std::string_view identifier) {
  if (identifier.empty() || identifier.size() > 255) return false;
  if (identifier == "." || identifier == "..") return false;
  for (char c : identifier) {
    if (c == '/' || c == '\0') return false;
  }
  // A leading dot would hide the file and clash with the store's own
  // temporary names.
  return identifier.front() != '.';
}
