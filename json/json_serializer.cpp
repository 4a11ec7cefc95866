#include "json/json_serializer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "json/jk_format.h"
#include "json/jk_managed_buffer.h"
#include "json/jk_utf8.h"

namespace jk {

namespace jk_encoder_detail {

constexpr size_t kJKEncodeCacheSlots = 1024;
constexpr size_t kJKEncodeBufferSize = 4096;
constexpr size_t kJKEncodeBufferRounding = 32768;

struct JKEncodeCache {
  const Object* object = nullptr;
  size_t offset = 0;
  size_t length = 0;
  // Holds the object alive while caller code (a formatter) runs during the
  // call and could otherwise free it: a freed object's address, reused by a
  // new one, must never find the old text.
  Value keep;
};

}  // namespace jk_encoder_detail

using namespace jk_encoder_detail;

struct JKEncodeState {
  JKManagedBuffer stringBuffer;
  size_t atIndex = 0;
  JKEncodeCache cache[kJKEncodeCacheSlots];
  JKSerializeOptionFlags serializeOptionFlags = 0;
  JKEncodeOptionType encodeOption = 0;
  size_t depth = 0;
  std::optional<Error> error;
  JKFormatterDelegate* delegate = nullptr;
  const char* selector = nullptr;
  std::function<Value(const Value&)> classFormatterIMP;
  const JKSerializeBlock* block = nullptr;

  // Whether caller code runs during the call (a formatter is set): then the
  // objects being written are held by reference, since that code may change
  // the collections they live in.
  bool holdObjects = false;
  // Containers being written, outermost first: their count is the nesting
  // depth, and meeting one of them again is a cycle.
  std::vector<const Object*> open;
  // Unretained children of the containers being written, one frame per level.
  std::vector<Object*> scratch;
  // Replacements made by the formatter, alive until the end of the call.
  std::vector<Value> replacements;
};

namespace {

[[gnu::format(printf, 2, 3)]] void jk_encode_error(JKEncodeState* st, const char* format, ...) {
  if (st->error) return;
  va_list args;
  va_start(args, format);
  std::string message = jkFormatV(format, args);
  va_end(args);
  st->error = Error{JKErrorDomain, -1, std::move(message), std::nullopt, std::nullopt};
}

std::string nameOf(const Object* object) { return std::string(object->className()); }

// Makes room for `room` more bytes beyond atIndex.
bool jk_encode_reserve(JKEncodeState* st, size_t room) {
  if (room <= st->stringBuffer.length - st->atIndex) return true;
  if (room > ~size_t{0} - st->atIndex - 4096 ||
      !jk_managedBuffer_resize(&st->stringBuffer, st->atIndex + room + 4096)) {
    jk_encode_error(st, "Unable to resize temporary buffer.");
    return false;
  }
  return true;
}

bool jk_encode_writen(JKEncodeState* st, const char* text, size_t length) {
  if (!jk_encode_reserve(st, length + 4)) return false;
  std::memcpy(st->stringBuffer.bytes + st->atIndex, text, length);
  st->atIndex += length;
  return true;
}

bool jk_encode_writePrettyPrintWhiteSpace(JKEncodeState* st) {
  if (!jk_encode_reserve(st, 2 * st->depth + 18)) return false;
  unsigned char* out = st->stringBuffer.bytes + st->atIndex;
  *out++ = '\n';
  std::memset(out, ' ', 2 * st->depth);
  st->atIndex += 1 + 2 * st->depth;
  return true;
}

bool jk_encode_write1fast(JKEncodeState* st, char c) {
  if (!jk_encode_reserve(st, 5)) return false;
  st->stringBuffer.bytes[st->atIndex++] = static_cast<unsigned char>(c);
  return true;
}

bool jk_encode_write1slow(JKEncodeState* st, int depthChange, char c) {
  st->depth = static_cast<size_t>(static_cast<long long>(st->depth) + depthChange);
  if (c == ':') return jk_encode_writen(st, ": ", 2);
  if (depthChange == -1) {
    if (!jk_encode_writePrettyPrintWhiteSpace(st)) return false;
    return jk_encode_write1fast(st, c);
  }
  if (!jk_encode_write1fast(st, c)) return false;
  return jk_encode_writePrettyPrintWhiteSpace(st);
}

bool jk_encode_write1(JKEncodeState* st, int depthChange, char c) {
  return (st->serializeOptionFlags & JKSerializeOptionPretty) ? jk_encode_write1slow(st, depthChange, c)
                                                              : jk_encode_write1fast(st, c);
}

bool jk_encode_updateCache(JKEncodeState* st, size_t slot, const Object* object, size_t offset) {
  JKEncodeCache& entry = st->cache[slot];
  entry.object = object;
  entry.offset = offset;
  entry.length = st->atIndex - offset;
  if (st->holdObjects) entry.keep = Value::retained(object);
  return true;
}

// Integers are written digit by digit, without a formatting call.
bool jk_encode_unsigned(JKEncodeState* st, uint64_t value, bool negative) {
  char digits[24];
  char* p = digits + sizeof digits;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  if (negative) *--p = '-';
  return jk_encode_writen(st, p, static_cast<size_t>(digits + sizeof digits - p));
}

// The writers below are kept out of line so that the recursion through
// nested containers stays small on the stack.
[[gnu::noinline]] bool jk_encode_number(JKEncodeState* st, const Number* number) {
  const char* type = number->objCType();
  if (!type) {
    jk_encode_error(st, "NSNumber conversion error, unknown type.  Type: '%s'", "<NULL>");
    return false;
  }
  if (type[0] == '\0' || type[1] != '\0') {
    jk_encode_error(st, "NSNumber conversion error, unknown type.  Type: '%s'", type);
    return false;
  }
  switch (type[0]) {
    case 'c':
    case 'i':
    case 's':
    case 'l':
    case 'q': {
      const int64_t v = number->longLongValue();
      const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      return jk_encode_unsigned(st, magnitude, v < 0);
    }
    case 'B':
    case 'C':
    case 'I':
    case 'L':
    case 'Q':
    case 'S': return jk_encode_unsigned(st, number->unsignedLongLongValue(), false);
    case 'f':
    case 'd': {
      const double d = number->doubleValue();
      if (!std::isfinite(d)) {
        jk_encode_error(st, "Floating point values must be finite.  JSON does not support NaN or Infinity.");
        return false;
      }
      // "%.17g" of the C locale, whatever the process locale is.
      char buf[64];
      const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 17);
      return jk_encode_writen(st, buf, static_cast<size_t>(r.ptr - buf));
    }
    default:
      jk_encode_error(st, "NSNumber conversion error, unknown type.  Type: '%c' / 0x%2.2x", type[0],
                      static_cast<unsigned char>(type[0]));
      return false;
  }
}

[[gnu::noinline]] bool jk_encode_string(JKEncodeState* st, const String* string) {
  static const char hex[] = "0123456789abcdef";
  const std::string_view s = string->view();
  const bool trim = (st->encodeOption & JKEncodeOptionStringObjTrimQuotes) != 0;
  const bool escapeSlash = (st->serializeOptionFlags & JKSerializeOptionEscapeSlash) != 0;
  const bool escapeNonASCII = (st->serializeOptionFlags & JKSerializeOptionEscapeNonASCII) != 0;
  // The widest escape, "\u0001", is six bytes for one: room for that is
  // made up front, so no escape can run past the end of the buffer.
  if (s.size() > (~size_t{0} - 512) / 6) {
    jk_encode_error(st, "Unable to resize temporary buffer.");
    return false;
  }
  if (!jk_encode_reserve(st, 6 * s.size() + 256)) return false;
  unsigned char* const base = st->stringBuffer.bytes;
  size_t at = st->atIndex;
  if (!trim) base[at++] = '"';
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned char* const end = p + s.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      switch (c) {
        case '"':
        case '\\':
          base[at++] = '\\';
          base[at++] = c;
          break;
        case '/':
          if (escapeSlash) base[at++] = '\\';
          base[at++] = '/';
          break;
        case 0x08: base[at++] = '\\'; base[at++] = 'b'; break;
        case 0x09: base[at++] = '\\'; base[at++] = 't'; break;
        case 0x0A: base[at++] = '\\'; base[at++] = 'n'; break;
        case 0x0C: base[at++] = '\\'; base[at++] = 'f'; break;
        case 0x0D: base[at++] = '\\'; base[at++] = 'r'; break;
        default:
          if (c < 0x20) {
            base[at++] = '\\';
            base[at++] = 'u';
            base[at++] = '0';
            base[at++] = '0';
            base[at++] = static_cast<unsigned char>(hex[c >> 4]);
            base[at++] = static_cast<unsigned char>(hex[c & 15]);
          } else {
            base[at++] = c;
          }
      }
      ++p;
      continue;
    }
    if (escapeNonASCII) {
      const unsigned char* next = nullptr;
      uint32_t cp = 0;
      if (ConvertSingleCodePointInUTF8(p, end, &next, &cp) != JKConversionOK) {
        jk_encode_error(st, "Error converting UTF8.");
        return false;
      }
      auto escape = [&](uint32_t unit) {
        base[at++] = '\\';
        base[at++] = 'u';
        for (int shift = 12; shift >= 0; shift -= 4) base[at++] = static_cast<unsigned char>(hex[(unit >> shift) & 15]);
      };
      if (cp < 0x10000) {
        escape(cp);
      } else {
        escape(0xD7C0 + (cp >> 10));
        escape(0xDC00 | (cp & 0x3FF));
      }
      p = next;
      continue;
    }
    // Bytes that are not UTF-8 cannot be written as a JSON string.
    const int n = jk_utf8_wellFormedLength(p, end);
    if (n == 0) {
      jk_encode_error(st, "An error occurred converting the contents of a NSString to UTF8.");
      return false;
    }
    std::memcpy(base + at, p, static_cast<size_t>(n));
    at += static_cast<size_t>(n);
    p += n;
  }
  if (!trim) base[at++] = '"';
  st->atIndex = at;
  return true;
}

bool jk_encode_add_atom_to_buffer(JKEncodeState* st, Object* object);

// Enters a container: refuses one nested too deeply or one that is already
// being written (a cycle).
bool jk_encode_enter(JKEncodeState* st, const Object* container) {
  if (st->open.size() >= kJKMaxNestingDepth) {
    jk_encode_error(st, "Unable to serialize arrays and dictionaries nested more than %zu levels deep.",
                    kJKMaxNestingDepth);
    return false;
  }
  if (std::find(st->open.begin(), st->open.end(), container) != st->open.end()) {
    jk_encode_error(st, "Unable to serialize object class %s: it contains itself.", nameOf(container).c_str());
    return false;
  }
  st->open.push_back(container);
  return true;
}

[[gnu::noinline]] bool jk_encode_array(JKEncodeState* st, const Array* array) {
  if (!jk_encode_enter(st, array)) return false;
  const size_t n = array->count();
  const size_t frame = st->scratch.size();
  st->scratch.resize(frame + n);
  array->getObjects(st->scratch.data() + frame, Range{0, n});
  std::vector<Value> held;
  if (st->holdObjects) {
    held.reserve(n);
    for (size_t i = 0; i < n; ++i) held.push_back(Value::retained(st->scratch[frame + i]));
  }
  bool ok = jk_encode_write1(st, +1, '[');
  for (size_t i = 0; ok && i < n; ++i) {
    if (i) ok = jk_encode_write1(st, 0, ',');
    if (ok) ok = jk_encode_add_atom_to_buffer(st, st->scratch[frame + i]);
  }
  if (ok) ok = jk_encode_write1(st, -1, ']');
  st->scratch.resize(frame);
  st->open.pop_back();
  return ok;
}

[[gnu::noinline]] bool jk_encode_dictionary(JKEncodeState* st, const Dictionary* dictionary) {
  if (!jk_encode_enter(st, dictionary)) return false;
  const size_t n = dictionary->count();
  const size_t frame = st->scratch.size();
  // Keys in the first n slots of the frame, their objects in the next n.
  st->scratch.resize(frame + 2 * n);
  dictionary->getObjectsAndKeys(st->scratch.data() + frame + n, st->scratch.data() + frame);
  std::vector<Value> held;
  if (st->holdObjects) {
    held.reserve(2 * n);
    for (size_t i = 0; i < 2 * n; ++i) held.push_back(Value::retained(st->scratch[frame + i]));
  }
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  bool ok = true;
  if (st->serializeOptionFlags & JKSerializeOptionPretty) {
    for (size_t i = 0; i < n; ++i) {
      if (st->scratch[frame + i]->kind() != Object::Kind::String) {
        jk_encode_error(st, "Key must be a string object.");
        ok = false;
        break;
      }
    }
    if (ok) {
      const Object* const* keys = st->scratch.data() + frame;
      std::sort(order.begin(), order.end(), [keys](size_t a, size_t b) {
        return static_cast<const String*>(keys[a])->view() < static_cast<const String*>(keys[b])->view();
      });
    }
  }
  if (ok) ok = jk_encode_write1(st, +1, '{');
  for (size_t i = 0; ok && i < n; ++i) {
    Object* key = st->scratch[frame + order[i]];
    Object* value = st->scratch[frame + n + order[i]];
    if (i) ok = jk_encode_write1(st, 0, ',');
    if (!ok) break;
    if (key->kind() != Object::Kind::String) {
      jk_encode_error(st, "Key must be a string object.");
      ok = false;
      break;
    }
    ok = jk_encode_add_atom_to_buffer(st, key) && jk_encode_write1(st, 0, ':') &&
         jk_encode_add_atom_to_buffer(st, value);
  }
  if (ok) ok = jk_encode_write1(st, -1, '}');
  st->scratch.resize(frame);
  st->open.pop_back();
  return ok;
}

size_t jk_encode_cacheSlot(const Object* object) {
  const uint32_t p = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
  return (((p >> 21) ^ (p >> 9)) + (p >> 4)) % kJKEncodeCacheSlots;
}

// An object of a kind that cannot be written: the formatter may replace it
// (once) with one that can. Answers false, with the error recorded, when
// it cannot be written at all.
[[gnu::noinline]] bool jk_encode_replace(JKEncodeState* st, Object* original, Object** object, bool* replaced) {
  if (*replaced) {
    jk_encode_error(st,
                    "Unable to serialize object class %s that was returned by the unsupported class "
                    "formatter.  Original object class was %s.",
                    nameOf(*object).c_str(), nameOf(original).c_str());
    return false;
  }
  Value replacement;
  if (st->block) {
    replacement = (*st->block)(Value::retained(original));
  } else if (st->classFormatterIMP) {
    replacement = st->classFormatterIMP(Value::retained(original));
  }
  if (!replacement) {
    jk_encode_error(st, "Unable to serialize object class %s.", nameOf(original).c_str());
    return false;
  }
  *object = replacement.get();
  st->replacements.push_back(std::move(replacement));
  *replaced = true;
  return true;
}

bool jk_encode_add_atom_to_buffer(JKEncodeState* st, Object* object) {
  const size_t slot = jk_encode_cacheSlot(object);
  const JKEncodeCache& cached = st->cache[slot];
  if (cached.object == object) {
    if (!jk_encode_reserve(st, cached.length + 256)) return false;
    std::memcpy(st->stringBuffer.bytes + st->atIndex, st->stringBuffer.bytes + cached.offset, cached.length);
    st->atIndex += cached.length;
    return true;
  }

  Object* const original = object;
  const size_t startIndex = st->atIndex;
  bool replaced = false;
  for (;;) {
    bool ok = false;
    bool scalar = true;
    switch (object->kind()) {
      case Object::Kind::Null: ok = jk_encode_writen(st, "null", 4); break;
      case Object::Kind::Boolean:
        ok = static_cast<const Boolean*>(object)->boolValue() ? jk_encode_writen(st, "true", 4)
                                                              : jk_encode_writen(st, "false", 5);
        break;
      case Object::Kind::Number: ok = jk_encode_number(st, static_cast<const Number*>(object)); break;
      case Object::Kind::String: ok = jk_encode_string(st, static_cast<const String*>(object)); break;
      case Object::Kind::Array:
        scalar = false;
        ok = jk_encode_array(st, static_cast<const Array*>(object));
        break;
      case Object::Kind::Dictionary:
        scalar = false;
        ok = jk_encode_dictionary(st, static_cast<const Dictionary*>(object));
        break;
      default:
        if (!jk_encode_replace(st, original, &object, &replaced)) return false;
        continue;
    }
    if (!ok) return false;
    // Scalars remember their text; a replacement's text is remembered under
    // the object it replaces.
    if (scalar || replaced) jk_encode_updateCache(st, slot, original, startIndex);
    return true;
  }
}

}  // namespace

// ================================================================ JKSerializer

JKSerializer::JKSerializer() = default;
JKSerializer::~JKSerializer() { releaseState(); }

void JKSerializer::releaseState() noexcept { encodeState_.reset(); }

Value JKSerializer::serializeObject(const Value& object, JKSerializeOptionFlags serializeOptions,
                                    JKEncodeOptionType encodeOption, const JKSerializeBlock& block,
                                    JKFormatterDelegate* delegate, const char* selector, Error* error) {
  JKSerializer serializer;
  return serializer.serialize(object, serializeOptions, encodeOption, block, delegate, selector, error);
}

namespace {

[[noreturn]] void raiseParameter(const char* condition) {
  throw Exception(NSInternalInconsistencyException, std::string("Invalid parameter not satisfying: ") + condition);
}

}  // namespace

Value JKSerializer::serialize(const Value& object, JKSerializeOptionFlags serializeOptions,
                              JKEncodeOptionType encodeOption, const JKSerializeBlock& block,
                              JKFormatterDelegate* delegate, const char* selector, Error* error) {
  if (!object) raiseParameter("object != NULL");
  if (encodeState_) raiseParameter("encodeState == NULL");
  if (block && delegate) raiseParameter("((block != NULL) && (delegate == NULL)) || (block == NULL)");
  if ((encodeOption & JKEncodeOptionCollectionObj) &&
      (encodeOption & (JKEncodeOptionStringObj | JKEncodeOptionStringObjTrimQuotes))) {
    raiseParameter(
        "((encodeOption & JKEncodeOptionCollectionObj) == 0) || "
        "((encodeOption & (JKEncodeOptionStringObj | JKEncodeOptionStringObjTrimQuotes)) == 0)");
  }

  try {
    encodeState_ = std::make_unique<JKEncodeState>();
  } catch (const std::bad_alloc&) {
    throw Exception(NSMallocException, "Unable to allocate state structure.");
  }
  // The state goes with the call, however it ends.
  struct Release {
    JKSerializer* serializer;
    ~Release() { serializer->releaseState(); }
  } release{this};
  JKEncodeState* st = encodeState_.get();
  if (error) *error = Error{};

  if (delegate) {
    if (!selector) {
      throw Exception(NSInvalidArgumentException,
                      "The delegate argument is not NULL, but the selector argument is NULL.");
    }
    st->classFormatterIMP = delegate->methodForSelector(selector);
    if (!st->classFormatterIMP) {
      throw Exception(NSInvalidArgumentException,
                      "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector "
                      "argument.");
    }
    st->delegate = delegate;
    st->selector = selector;
  }
  if (block) st->block = &block;
  st->holdObjects = st->block || st->classFormatterIMP;
  st->serializeOptionFlags = serializeOptions;
  st->encodeOption = encodeOption;
  unsigned char stackBuffer[kJKEncodeBufferSize];
  st->stringBuffer.roundSizeUpToMultipleOf = kJKEncodeBufferRounding;
  jk_managedBuffer_setToStackBuffer(&st->stringBuffer, stackBuffer, sizeof stackBuffer);

  Value result;
  bool ok = true;
  if ((encodeOption & JKEncodeOptionCollectionObj) && !object.isArray() && !object.isDictionary()) {
    jk_encode_error(st, "Unable to serialize object class %s, expected a NSArray or NSDictionary.",
                    nameOf(object.get()).c_str());
    ok = false;
  } else if ((encodeOption & JKEncodeOptionStringObj) && !object.isString()) {
    jk_encode_error(st, "Unable to serialize object class %s, expected a NSString.", nameOf(object.get()).c_str());
    ok = false;
  }
  if (ok) ok = jk_encode_add_atom_to_buffer(st, object.get());
  if (ok) {
    try {
      switch (encodeOption & JKEncodeOptionAsTypeMask) {
        case JKEncodeOptionAsData: result = Data::make(jk_managedBuffer_take(&st->stringBuffer, st->atIndex)); break;
        case JKEncodeOptionAsString:
          result = String::make(jk_managedBuffer_take(&st->stringBuffer, st->atIndex));
          break;
        default: jk_encode_error(st, "Unknown encode as type."); break;
      }
    } catch (const std::bad_alloc&) {
      jk_encode_error(st, "%s",
                      (encodeOption & JKEncodeOptionAsTypeMask) == JKEncodeOptionAsData
                          ? "Unable to create NSData object"
                          : "Unable to create NSString object");
      result = Value();
    }
  }
  if (error && st->error) *error = *st->error;
  return result;
}

}  // namespace jk
