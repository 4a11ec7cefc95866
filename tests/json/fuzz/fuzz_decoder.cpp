// libFuzzer target for the JSON decoder. The first byte picks the options
// (low four bits: parse options; 0x40: mutable containers; 0x80: escaped
// output); the rest is the document. Every input goes through the
// json-check core with verification, so besides crashes, leaks and
// sanitizer reports, a document that parses but does not come back equal
// from its own serialized text stops the run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tools/json-check/json_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  jsoncheck::Options options;
  options.parseOptions = data[0] & 0x0F;
  options.mutableCollections = (data[0] & 0x40) != 0;
  if (data[0] & 0x80) options.serializeOptions = jk::JKSerializeOptionEscapeNonASCII | jk::JKSerializeOptionEscapeSlash;
  options.verify = true;
  // The document ends exactly where libFuzzer's buffer does, so any read
  // past it is caught.
  const jsoncheck::Result result = jsoncheck::run(data + 1, size - 1, options, "fuzz input");
  if (result.exitCode != jsoncheck::kExitOK && result.exitCode != jsoncheck::kExitParseError) {
    std::fprintf(stderr, "%s", result.err.c_str());
    std::abort();
  }
  return 0;
}
