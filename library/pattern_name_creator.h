#pragma once
// New pattern identifiers: the file name of a stored pattern and the key of
// its index entry.
//
// Thread-safe. Not real-time-safe.

#include <optional>
#include <string>
#include <string_view>

#include "engine/record/pattern_record.h"

class Z31647PatternNameCreator {
 public:
  // SHA-1 of the record's 29,320 bytes followed by the little-endian bytes of
  // the current time (seconds since 2001-01-01 UTC, a double), each digest byte
  // written in decimal with at least two digits: 40 to 60 digits.
  static std::string create(const PatternRecord* record);
  // The same with the time given, for reproducible identifiers (the factory
  // library, tests).
  static std::string create(const PatternRecord* record, double secondsSince2001);

  // Seconds since 2001-01-01 00:00:00 UTC now.
  static double timeIntervalSinceReferenceDate();
};

// Whether a text read from an index table can be an identifier: decimal
// digits only, no more than the creator makes. Anything else (a letter, a
// byte that is not text) would not survive the table's next save as the
// same file name.
bool isPatternIdentifier(std::string_view identifier);

// Whether an identifier may be used as a file name in the pattern directory:
// not empty, not "." or "..", no "/" or NUL, and short enough for a file name.
// Identifiers come from the index table, which a restored backup can bring
// from anywhere.
bool isPlainIdentifier(std::string_view identifier);
