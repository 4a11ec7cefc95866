#pragma once
// One stored pattern is one file holding one PatternRecord: an 8-byte header
// (data version 0x01000000, device field 0, two reserved bytes) and the
// 29,312-byte body. Files of the older header-less form are exactly the body.
//
// Thread-safe (no shared state). Not real-time-safe: file I/O.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "engine/record/pattern_record.h"

class Version {
 public:
  // The application's version text and build date (from the bundle's
  // "Info.plist" when it has them).
  static std::string version();
  static std::string buildDate();
  static constexpr uint32_t dataVersion() { return 0x01000000; }
  static constexpr uint16_t allowableDevice() { return 0; }
};

// Result of reading a record: current form, converted from the older size, or
// unusable.
enum PatternFileVersion : int {
  kPatternFileUnusable = -1,
  kPatternFileConverted = 0,
  kPatternFileCurrent = 100,
};

// 29,320 bytes: the record as it is (current). 29,312 bytes: header stamped,
// reserved bytes 0, body copied (converted). Any other size: unusable, the
// record untouched.
PatternFileVersion readPatternRecord(std::span<const uint8_t> data, PatternRecord* record);

// Writes the record with its header stamped from Version (the reserved bytes
// kept), atomically. The caller's record is not changed. On failure the old
// file stays and `error` receives the reason.
bool writePatternFile(const std::filesystem::path& path, const PatternRecord& record,
                      std::string* error = nullptr);

// Brings every field a file can carry into the range the engine accepts, so a
// damaged or hostile file cannot index past a table. Returns whether anything
// had to change. Texts are left alone (their readers stop at the field's end).
bool clampPatternRecord(PatternRecord* record);
