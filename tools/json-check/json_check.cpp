#include "tools/json-check/json_check.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "json/json_kit.h"

namespace jsoncheck {

namespace {

using jk::Error;
using jk::JKSerializer;
using jk::Value;

Value serialize(const Value& tree, jk::JKSerializeOptionFlags options, Error* error) {
  return JKSerializer::serializeObject(tree, options, jk::JKEncodeOptionAsString | jk::JKEncodeOptionCollectionObj, {},
                                       nullptr, nullptr, error);
}

std::string where(std::string_view inputName, const Error& error) {
  std::string s(inputName);
  if (error.lineNumber) s += ":" + std::to_string(*error.lineNumber);
  s += ": error: " + error.localizedDescription;
  if (error.atIndex) s += " (at byte " + std::to_string(*error.atIndex) + ")";
  return s + "\n";
}

// Decodes `text` strictly and compares it with `tree`; an empty string
// when they agree, otherwise what went wrong.
std::string checkDecodesTo(const Value& tree, const Value& text, const char* form) {
  Error error;
  jk::JSONDecoder decoder;
  const std::string_view s = text.stringView();
  Value again = decoder.objectWithUTF8String(reinterpret_cast<const unsigned char*>(s.data()), s.size(), &error);
  if (!again) return std::string("the ") + form + " output does not decode: " + error.localizedDescription;
  if (!again.isEqual(tree)) return std::string("the ") + form + " output decodes to a different tree";
  return {};
}

std::string verify(const Value& tree, jk::JSONDecoder& decoder, const unsigned char* bytes, size_t length,
                   const Options& options) {
  Error error;
  Value second = options.mutableCollections ? decoder.mutableObjectWithUTF8String(bytes, length, &error)
                                            : decoder.objectWithUTF8String(bytes, length, &error);
  if (!second || !second.isEqual(tree)) return "a second parse with the same decoder differs";

  const jk::JKSerializeOptionFlags forms[] = {
      jk::JKSerializeOptionNone, jk::JKSerializeOptionPretty,
      jk::JKSerializeOptionEscapeNonASCII | jk::JKSerializeOptionEscapeSlash};
  const char* names[] = {"compact", "pretty", "escaped"};
  Value pretty;
  for (size_t i = 0; i < 3; ++i) {
    Value text = serialize(tree, forms[i], &error);
    if (!text) return std::string("the ") + names[i] + " form does not serialize: " + error.localizedDescription;
    if (std::string problem = checkDecodesTo(tree, text, names[i]); !problem.empty()) return problem;
    if (i == 1) pretty = text;
  }
  // Pretty output sorts the keys, so writing what it decodes to gives the same text.
  jk::JSONDecoder fresh;
  const std::string_view p = pretty.stringView();
  Value reread = fresh.objectWithUTF8String(reinterpret_cast<const unsigned char*>(p.data()), p.size(), &error);
  Value rewritten = reread ? serialize(reread, jk::JKSerializeOptionPretty, &error) : Value();
  if (!rewritten || rewritten.stringView() != p) return "pretty output is not stable";
  return {};
}

}  // namespace

Result run(const unsigned char* bytes, size_t length, const Options& options, std::string_view inputName) {
  Result result;
  std::unique_ptr<jk::JSONDecoder> decoder;
  try {
    decoder = jk::JSONDecoder::decoderWithParseOptions(options.parseOptions);
  } catch (const jk::Exception& e) {
    result.exitCode = kExitUsage;
    result.err = "json-check: " + e.reason() + "\n";
    return result;
  }
  if (!decoder) {
    result.exitCode = kExitInternal;
    result.err = "json-check: out of memory\n";
    return result;
  }
  Error error;
  // A zero-length input still needs a pointer the decoder accepts.
  static const unsigned char kEmpty[1] = {0};
  const unsigned char* input = bytes ? bytes : kEmpty;
  Value tree = options.mutableCollections ? decoder->mutableObjectWithUTF8String(input, length, &error)
                                          : decoder->objectWithUTF8String(input, length, &error);
  if (!tree) {
    result.exitCode = kExitParseError;
    result.err = where(inputName, error);
    return result;
  }
  Value text = serialize(tree, options.serializeOptions, &error);
  if (!text) {
    result.exitCode = kExitInternal;
    result.err = std::string(inputName) + ": error: the parsed document does not serialize: " +
                 error.localizedDescription + "\n";
    return result;
  }
  if (options.verify) {
    if (std::string problem = verify(tree, *decoder, input, length, options); !problem.empty()) {
      result.exitCode = kExitInternal;
      result.err = std::string(inputName) + ": error: " + problem + "\n";
      return result;
    }
  }
  result.out.assign(text.stringView());
  result.out += '\n';
  return result;
}

std::string usage() {
  return "usage: json-check [options] FILE\n"
         "Parses FILE (\"-\" for standard input) as JSON and prints it re-serialized,\n"
         "or prints the decoder's error with its line and byte index.\n"
         "Exit status: 0 parsed, 1 parse error, 2 usage or unreadable file, 3 internal error.\n"
         "\n"
         "parse options:\n"
         "  -c, --allow-comments           // and /* */ comments count as white space\n"
         "  -l, --unicode-line-breaks      U+0085, U+2028 and U+2029 count as newlines\n"
         "  -r, --replace-invalid-unicode  illegal UTF-8 and \\u escapes become U+FFFD\n"
         "  -t, --allow-trailing-text      ignore text after the document\n"
         "      --parse-options=N          the raw option flags (0 to 15)\n"
         "  -m, --mutable                  build mutable collections\n"
         "output options:\n"
         "  -p, --pretty                   indent two spaces per level, sort keys\n"
         "  -a, --escape-non-ascii         write non-ASCII characters as \\u escapes\n"
         "  -s, --escape-slash             write / as \\/\n"
         "      --verify                   also check that the output decodes to an equal tree\n"
         "  -h, --help                     this text\n";
}

Result runCommandLine(int argc, const char* const* argv, std::string_view standardInput) {
  Options options;
  const char* file = nullptr;
  Result usageError;
  usageError.exitCode = kExitUsage;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "-c" || a == "--allow-comments") {
      options.parseOptions |= jk::JKParseOptionAllowComments;
    } else if (a == "-l" || a == "--unicode-line-breaks") {
      options.parseOptions |= jk::JKParseOptionUnicodeLineBreaks;
    } else if (a == "-r" || a == "--replace-invalid-unicode") {
      options.parseOptions |= jk::JKParseOptionReplaceInvalidUnicode;
    } else if (a == "-t" || a == "--allow-trailing-text") {
      options.parseOptions |= jk::JKParseOptionAllowTrailingText;
    } else if (a.rfind("--parse-options=", 0) == 0) {
      const std::string digits(a.substr(16));
      char* end = nullptr;
      errno = 0;
      const unsigned long long v = std::strtoull(digits.c_str(), &end, 10);
      if (digits.empty() || *end != '\0' || errno != 0) {
        usageError.err = "json-check: not a number: " + digits + "\n";
        return usageError;
      }
      options.parseOptions = v;
    } else if (a == "-m" || a == "--mutable") {
      options.mutableCollections = true;
    } else if (a == "-p" || a == "--pretty") {
      options.serializeOptions |= jk::JKSerializeOptionPretty;
    } else if (a == "-a" || a == "--escape-non-ascii") {
      options.serializeOptions |= jk::JKSerializeOptionEscapeNonASCII;
    } else if (a == "-s" || a == "--escape-slash") {
      options.serializeOptions |= jk::JKSerializeOptionEscapeSlash;
    } else if (a == "--verify") {
      options.verify = true;
    } else if (a == "-h" || a == "--help") {
      Result help;
      help.out = usage();
      return help;
    } else if (a.size() > 1 && a[0] == '-') {
      usageError.err = "json-check: unknown option " + std::string(a) + "\n" + usage();
      return usageError;
    } else if (file) {
      usageError.err = "json-check: only one file may be given\n" + usage();
      return usageError;
    } else {
      file = argv[i];
    }
  }
  if (!file) {
    usageError.err = usage();
    return usageError;
  }
  std::string contents;
  if (std::string_view(file) == "-") {
    contents.assign(standardInput);
  } else {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream buffer;
    if (in) buffer << in.rdbuf();
    if (!in || in.bad()) {
      usageError.err = "json-check: cannot read " + std::string(file) + ": " + std::strerror(errno) + "\n";
      return usageError;
    }
    contents = buffer.str();
  }
  return run(reinterpret_cast<const unsigned char*>(contents.data()), contents.size(), options,
             std::string_view(file) == "-" ? "<stdin>" : file);
}

}  // namespace jsoncheck
