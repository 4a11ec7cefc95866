#pragma once
// The core of the json-check tool: parse one document with the decoder and
// write it back with the serializer, or report the decoder's error. The
// decoder's fuzz target runs the same core with verification on.

#include <cstddef>
#include <string>
#include <string_view>

#include "json/jk_base.h"

namespace jsoncheck {

struct Options {
  jk::JKParseOptionFlags parseOptions = jk::JKParseOptionStrict;
  bool mutableCollections = false;
  jk::JKSerializeOptionFlags serializeOptions = jk::JKSerializeOptionNone;
  // Also check that the written text (compact, pretty and escaped) decodes
  // to an equal tree, that pretty output is stable, and that a second parse
  // with the same decoder gives an equal tree.
  bool verify = false;
};

enum ExitCode : int {
  kExitOK = 0,
  kExitParseError = 1,
  kExitUsage = 2,      // bad arguments or an unreadable file
  kExitInternal = 3,   // the codec broke one of its own promises
};

struct Result {
  int exitCode = kExitOK;
  std::string out;  // the re-serialized document and a newline
  std::string err;  // the diagnostic, one line
};

Result run(const unsigned char* bytes, size_t length, const Options& options, std::string_view inputName);

// The whole command line: json-check [options] FILE ("-" reads standard input).
Result runCommandLine(int argc, const char* const* argv, std::string_view standardInput);

std::string usage();

}  // namespace jsoncheck
