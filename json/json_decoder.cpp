#include "json/json_decoder.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <new>
#include <string>

#include "json/jk_collections.h"
#include "json/jk_format.h"
#include "json/jk_managed_buffer.h"
#include "json/jk_utf8.h"

namespace jk {

namespace jk_decoder_detail {

enum JKTokenType : int {
  JKTokenTypeInvalid = 0,
  JKTokenTypeNumber = 1,
  JKTokenTypeString = 2,
  JKTokenTypeObjectBegin = 3,
  JKTokenTypeObjectEnd = 4,
  JKTokenTypeArrayBegin = 5,
  JKTokenTypeArrayEnd = 6,
  JKTokenTypeSeparator = 7,
  JKTokenTypeComma = 8,
  JKTokenTypeTrue = 9,
  JKTokenTypeFalse = 10,
  JKTokenTypeNull = 11,
};

enum JKValueType : int {
  JKValueTypeNone = 0,
  JKValueTypeString = 5,
  JKValueTypeLongLong = 7,
  JKValueTypeUnsignedLongLong = 11,
  JKValueTypeDouble = 13,
};

enum : int {
  JKParseAcceptValue = 1,
  JKParseAcceptComma = 2,
  JKParseAcceptEnd = 4,
  JKParseAcceptValueOrEnd = JKParseAcceptValue | JKParseAcceptEnd,
  JKParseAcceptCommaOrEnd = JKParseAcceptComma | JKParseAcceptEnd,
};

enum : unsigned {
  JKObjectStackOnStack = 1,
  JKObjectStackOnHeap = 2,
  JKObjectStackLocationMask = 3,
  JKObjectStackMustFree = 4,
};

constexpr uint64_t kJKHashInit = 1402737925ULL;
constexpr size_t kJKTokenBufferSize = 2048;
constexpr size_t kJKTokenBufferRounding = 4096;
constexpr size_t kJKStackObjects = 1024;
constexpr size_t kJKObjectStackRounding = 2048;
constexpr size_t kJKCacheSlots = 1024;

struct JKTokenCacheItem {
  Object* object = nullptr;
  uint64_t hash = 0;
  uint64_t cfHash = 0;
  size_t size = 0;
  std::string bytes;
  JKValueType type = JKValueTypeNone;
};

struct JKTokenCache {
  std::unique_ptr<JKTokenCacheItem[]> items;
  size_t count = 0;
};

struct JKTokenValue {
  const unsigned char* ptr = nullptr;
  size_t length = 0;
  JKValueType type = JKValueTypeNone;
  uint64_t hash = 0;
  union {
    int64_t longLongValue;
    uint64_t unsignedLongLongValue;
    double doubleValue;
  } number{};
  JKTokenCacheItem* cacheItem = nullptr;
};

struct JKParseToken {
  const unsigned char* ptr = nullptr;  // tokenPtrRange
  size_t length = 0;
  JKTokenType type = JKTokenTypeInvalid;
  JKTokenValue value;
  JKManagedBuffer tokenBuffer;
};

struct JKObjectStack {
  Object** objects = nullptr;
  Object** keys = nullptr;
  uint64_t* cfHashes = nullptr;
  size_t count = 0;
  size_t index = 0;
  size_t roundSizeUpToMultipleOf = 1;
  unsigned flags = 0;
  std::unique_ptr<Object*[]> heapObjects;
  std::unique_ptr<Object*[]> heapKeys;
  std::unique_ptr<uint64_t[]> heapHashes;
};

}  // namespace jk_decoder_detail

using namespace jk_decoder_detail;

struct JKParseState {
  JKParseOptionFlags parseOptionFlags = 0;
  const unsigned char* bytes = nullptr;  // stringBuffer: the input, not owned
  size_t length = 0;
  size_t atIndex = 0;
  size_t lineNumber = 1;
  size_t lineStartIndex = 0;
  JKParseToken token;
  JKObjectStack objectStack;
  JKTokenCache cache;
  std::optional<Error> error;
  bool mutableCollections = false;
  size_t depth = 0;

  ~JKParseState();
};

namespace {

// ---------------------------------------------------------------- errors

[[gnu::format(printf, 2, 3)]] void jk_error(JKParseState* ps, const char* format, ...) {
  // Only the first error of a parse survives, so later ones are not even formatted.
  if (ps->error) return;
  va_list args;
  va_start(args, format);
  std::string message = jkFormatV(format, args);
  va_end(args);
  ps->error = Error{JKErrorDomain, -1, std::move(message), ps->atIndex, ps->lineNumber};
}

#define JK_WHERE "json/json_decoder.cpp", __LINE__

void jk_error_expected(JKParseState* ps, int state, const char* first, const char* last) {
  const char* phrases[3];
  int n = 0;
  if (state & JKParseAcceptValue) phrases[n++] = first;
  if (state & JKParseAcceptComma) phrases[n++] = "a comma";
  if (state & JKParseAcceptEnd) phrases[n++] = last;
  const int len = static_cast<int>(ps->token.length);
  const char* tok = reinterpret_cast<const char*>(ps->token.ptr);
  switch (n) {
    case 1: jk_error(ps, "Expected %s, not '%*.*s'", phrases[0], len, len, tok); break;
    case 2: jk_error(ps, "Expected %s or %s, not '%*.*s'", phrases[0], phrases[1], len, len, tok); break;
    case 3: jk_error(ps, "Expected %s, %s, or %s, not '%*.*s'", phrases[0], phrases[1], phrases[2], len, len, tok); break;
    default: break;
  }
}

constexpr const char* kUnexpectedToken =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";

// ---------------------------------------------------------------- object stack

void jk_objectStack_setToStackBuffer(JKObjectStack* stack, Object** objects, Object** keys, uint64_t* cfHashes,
                                     size_t count) {
  stack->heapObjects.reset();
  stack->heapKeys.reset();
  stack->heapHashes.reset();
  stack->objects = objects;
  stack->keys = keys;
  stack->cfHashes = cfHashes;
  stack->count = count;
  stack->index = 0;
  stack->flags = (stack->flags & ~(JKObjectStackLocationMask | JKObjectStackMustFree)) | JKObjectStackOnStack;
}

// 0 on success, 1 when memory is exhausted (the stack is then unchanged).
int jk_objectStack_resize(JKObjectStack* stack, size_t newCount) {
  const size_t unit = stack->roundSizeUpToMultipleOf;
  newCount = (newCount + unit - 1) / unit * unit;
  if (newCount <= stack->count) return 0;
  std::unique_ptr<Object*[]> objects(new (std::nothrow) Object*[newCount]);
  std::unique_ptr<Object*[]> keys(new (std::nothrow) Object*[newCount]);
  std::unique_ptr<uint64_t[]> hashes(new (std::nothrow) uint64_t[newCount]);
  if (!objects || !keys || !hashes) return 1;
  std::memcpy(objects.get(), stack->objects, stack->count * sizeof(Object*));
  std::memcpy(keys.get(), stack->keys, stack->count * sizeof(Object*));
  std::memcpy(hashes.get(), stack->cfHashes, stack->count * sizeof(uint64_t));
  std::memset(objects.get() + stack->count, 0, (newCount - stack->count) * sizeof(Object*));
  std::memset(keys.get() + stack->count, 0, (newCount - stack->count) * sizeof(Object*));
  std::memset(hashes.get() + stack->count, 0, (newCount - stack->count) * sizeof(uint64_t));
  stack->heapObjects = std::move(objects);
  stack->heapKeys = std::move(keys);
  stack->heapHashes = std::move(hashes);
  stack->objects = stack->heapObjects.get();
  stack->keys = stack->heapKeys.get();
  stack->cfHashes = stack->heapHashes.get();
  stack->count = newCount;
  stack->flags = (stack->flags & ~JKObjectStackLocationMask) | JKObjectStackOnHeap | JKObjectStackMustFree;
  return 0;
}

void jk_objectStack_release(JKObjectStack* stack) {
  for (size_t i = 0; i < stack->index; ++i) {
    if (stack->keys[i]) stack->keys[i]->release();
    if (stack->objects[i]) stack->objects[i]->release();
    stack->keys[i] = nullptr;
    stack->objects[i] = nullptr;
  }
  stack->index = 0;
  stack->heapObjects.reset();
  stack->heapKeys.reset();
  stack->heapHashes.reset();
  stack->objects = nullptr;
  stack->keys = nullptr;
  stack->cfHashes = nullptr;
  stack->count = 0;
  stack->flags &= ~(JKObjectStackLocationMask | JKObjectStackMustFree);
}

// Releases what a container pushed since `start` and drops it from the stack.
void jk_objectStack_unwind(JKObjectStack* stack, size_t start) {
  for (size_t i = start; i < stack->index; ++i) {
    if (stack->keys[i]) stack->keys[i]->release();
    if (stack->objects[i]) stack->objects[i]->release();
    stack->keys[i] = nullptr;
    stack->objects[i] = nullptr;
  }
  stack->index = start;
}

// ---------------------------------------------------------------- cache

void jk_cache_clear(JKTokenCache* cache) {
  for (size_t i = 0; i < cache->count; ++i) {
    JKTokenCacheItem& item = cache->items[i];
    if (item.object) item.object->release();
    item.object = nullptr;
    item.hash = 0;
    item.cfHash = 0;
    item.size = 0;
    std::string().swap(item.bytes);
    item.type = JKValueTypeNone;
  }
}

inline uint64_t jk_hash_step(uint64_t h, unsigned char c) { return ((h * 33 + c) - 29) ^ (h >> 19); }

// The object for the current string or number token, with a reference for
// the caller; null when memory is exhausted.
Object* jk_cached_value(JKParseState* ps) {
  JKTokenValue& v = ps->token.value;
  v.cacheItem = nullptr;
  if (v.type == JKValueTypeString && v.length == 0) {
    const String& empty = String::emptyString();
    empty.retain();
    return const_cast<String*>(&empty);
  }
  JKTokenCache& cache = ps->cache;
  const size_t len = v.length;
  const uint64_t h = v.hash;
  JKTokenCacheItem* target = nullptr;
  for (size_t k = 0; k < 4; ++k) {
    JKTokenCacheItem* item = &cache.items[(h + k * (len + static_cast<size_t>(v.type) + 3)) % cache.count];
    if (!item->object) {
      target = item;
      break;
    }
    if (item->hash == h && item->size == len && item->type == v.type &&
        std::memcmp(item->bytes.data(), v.ptr, len) == 0) {
      v.cacheItem = item;
      item->object->retain();
      return item->object;
    }
  }
  if (!target) target = &cache.items[h % cache.count];

  Object* object = nullptr;
  try {
    switch (v.type) {
      case JKValueTypeString:
        object = String::make(std::string_view(reinterpret_cast<const char*>(v.ptr), len)).detach();
        break;
      case JKValueTypeLongLong: object = Number::makeSigned(v.number.longLongValue).detach(); break;
      case JKValueTypeUnsignedLongLong:
        object = v.number.unsignedLongLongValue <= static_cast<uint64_t>(INT64_MAX)
                     ? Number::makeSigned(static_cast<int64_t>(v.number.unsignedLongLongValue)).detach()
                     : Number::makeUnsigned(v.number.unsignedLongLongValue).detach();
        break;
      case JKValueTypeDouble: object = Number::makeDouble(v.number.doubleValue).detach(); break;
      default: jk_error(ps, "Internal error: Unknown token value type. %s line #%d", JK_WHERE); return nullptr;
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }

  try {
    target->bytes.assign(reinterpret_cast<const char*>(v.ptr), len);
  } catch (const std::bad_alloc&) {
    // No room to remember the bytes: the item is emptied and the object
    // goes out uncached.
    if (target->object) target->object->release();
    *target = JKTokenCacheItem{};
    return object;
  }
  if (target->object) target->object->release();
  object->retain();
  target->object = object;
  target->hash = h;
  target->cfHash = 0;
  target->size = len;
  target->type = v.type;
  v.cacheItem = target;
  return object;
}

// ---------------------------------------------------------------- white space

// The length of the newline at `at` (0 when there is none there).
size_t jk_parse_is_newline(const JKParseState* ps, size_t at) {
  const unsigned char* p = ps->bytes + at;
  const size_t left = ps->length - at;
  const unsigned char c = p[0];
  if (c == '\n') return 1;
  if (c == '\r') return (left > 1 && p[1] == '\n') ? 2 : 1;
  if (ps->parseOptionFlags & JKParseOptionUnicodeLineBreaks) {
    if (c == 0xC2 && left > 1 && p[1] == 0x85) return 2;
    if (c == 0xE2 && left > 2 && p[1] == 0x80 && (p[2] & 0xFE) == 0xA8) return 3;
  }
  return 0;
}

void jk_parse_newline(JKParseState* ps, size_t newlineLength) {
  ps->atIndex += newlineLength;
  ps->lineNumber++;
  ps->lineStartIndex = ps->atIndex;
}

void jk_parse_skip_whitespace(JKParseState* ps) {
  const bool comments = (ps->parseOptionFlags & JKParseOptionAllowComments) != 0;
  while (ps->atIndex < ps->length) {
    const unsigned char c = ps->bytes[ps->atIndex];
    if (c == ' ' || c == '\t') {
      ps->atIndex++;
      continue;
    }
    if (const size_t n = jk_parse_is_newline(ps, ps->atIndex)) {
      jk_parse_newline(ps, n);
      continue;
    }
    if (comments && c == '/' && ps->atIndex + 1 < ps->length) {
      const unsigned char kind = ps->bytes[ps->atIndex + 1];
      if (kind == '/') {
        ps->atIndex += 2;
        while (ps->atIndex < ps->length) {
          if (const size_t n = jk_parse_is_newline(ps, ps->atIndex)) {
            jk_parse_newline(ps, n);
            break;
          }
          ps->atIndex++;
        }
        continue;
      }
      if (kind == '*') {
        ps->atIndex += 2;
        while (ps->atIndex < ps->length) {
          if (ps->bytes[ps->atIndex] == '*' && ps->atIndex + 1 < ps->length && ps->bytes[ps->atIndex + 1] == '/') {
            ps->atIndex += 2;
            break;
          }
          if (const size_t n = jk_parse_is_newline(ps, ps->atIndex)) {
            jk_parse_newline(ps, n);
            continue;
          }
          ps->atIndex++;
        }
        continue;
      }
    }
    break;
  }
}

// ---------------------------------------------------------------- strings

constexpr uint32_t kReplacement = 0xFFFD;

bool jk_isLegalEscapedCodePoint(uint32_t cp) {
  if (cp == 0) return false;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  if (cp >= 0xFDD0 && cp <= 0xFDEF) return false;
  if ((cp & 0xFFFE) == 0xFFFE) return false;
  return true;
}

int jk_hexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void jk_set_string_token(JKParseState* ps, const unsigned char* quote, const unsigned char* closingQuote,
                         const unsigned char* value, size_t valueLength, uint64_t hash) {
  ps->token.type = JKTokenTypeString;
  ps->token.ptr = quote;
  ps->token.length = static_cast<size_t>(closingQuote + 1 - quote);
  ps->token.value.ptr = value;
  ps->token.value.length = valueLength;
  ps->token.value.type = JKValueTypeString;
  ps->token.value.hash = hash;
  ps->atIndex = static_cast<size_t>(closingQuote + 1 - ps->bytes);
}

enum class JKStringState { Normal, Escape, Hex, ExpectBackslash, ExpectU, LowHex };

// The string from the first byte that needs decoding on: escapes and
// repairs go into the token buffer. Errors are recorded at the opening
// quote, where `atIndex` still stands.
int jk_parse_string_slow(JKParseState* ps, const unsigned char* quote, const unsigned char* p, uint64_t hash) {
  const unsigned char* const contentStart = quote + 1;
  const unsigned char* const end = ps->bytes + ps->length;
  const bool replace = (ps->parseOptionFlags & JKParseOptionReplaceInvalidUnicode) != 0;
  JKManagedBuffer* buf = &ps->token.tokenBuffer;

  const size_t passed = static_cast<size_t>(p - contentStart);
  if (passed + 16 > buf->length && !jk_managedBuffer_resize(buf, passed + 1024)) {
    jk_error(ps, "Internal error: Unable to resize temporary buffer. %s line #%d", JK_WHERE);
    return 1;
  }
  if (passed) std::memcpy(buf->bytes, contentStart, passed);
  size_t w = passed;

  auto append = [&](const unsigned char* bytes, size_t n) -> bool {
    if (w + n > buf->length) return false;
    for (size_t i = 0; i < n; ++i) {
      buf->bytes[w++] = bytes[i];
      hash = jk_hash_step(hash, bytes[i]);
    }
    return true;
  };
  auto appendCodePoint = [&](uint32_t cp) -> bool {
    unsigned char utf8[4];
    const int n = jk_utf8_encode(cp, utf8);
    if (!append(utf8, static_cast<size_t>(n))) {
      jk_error(ps, "Internal error: Unable to add UTF8 sequence to internal string buffer. %s line #%d", JK_WHERE);
      return false;
    }
    return true;
  };
  // A decoded escape: legal code points are appended, illegal ones are
  // repaired or refused.
  auto appendEscaped = [&](uint32_t cp, bool legal) -> bool {
    if (!legal) {
      if (!replace) {
        jk_error(ps, "Illegal \\u Unicode escape sequence.");
        return false;
      }
      cp = kReplacement;
    }
    return appendCodePoint(cp);
  };

  JKStringState state = JKStringState::Normal;
  uint32_t escaped = 0;
  uint32_t highSurrogate = 0;
  int digits = 0;
  for (;;) {
    if (p >= end) {
      jk_error(ps, "Invalid string.");
      return 1;
    }
    if (w + 16 > buf->length && !jk_managedBuffer_resize(buf, w + 1024)) {
      jk_error(ps, "Internal error: Unable to resize temporary buffer. %s line #%d", JK_WHERE);
      return 1;
    }
    const unsigned char c = *p;
    switch (state) {
      case JKStringState::Normal:
        if (c < 0x20) {
          jk_error(ps, "Invalid character < 0x20 found in string: 0x%2.2x.", c);
          jk_error(ps, "Invalid string.");
          return 1;
        }
        if (c == '"') {
          jk_set_string_token(ps, quote, p, buf->bytes, w, hash);
          return 0;
        }
        if (c == '\\') {
          state = JKStringState::Escape;
          ++p;
        } else if (c < 0x80) {
          if (!append(&c, 1)) return 1;
          ++p;
        } else {
          const unsigned char* next = nullptr;
          uint32_t cp = 0;
          const int result = ConvertSingleCodePointInUTF8(p, end, &next, &cp);
          if (result == JKConversionOK) {
            if (!append(p, static_cast<size_t>(next - p))) return 1;
          } else if (result == JKConversionSourceExhausted) {
            jk_error(ps, "End of buffer reached while parsing UTF8 in \"\" string.");
            return 1;
          } else if (replace) {
            if (!appendCodePoint(kReplacement)) return 1;
          } else {
            jk_error(ps, "Illegal UTF8 sequence found in \"\" string.");
            return 1;
          }
          p = next;
        }
        break;

      case JKStringState::Escape: {
        unsigned char out = 0;
        switch (c) {
          case '"':
          case '\\':
          case '/': out = c; break;
          case 'b': out = 0x08; break;
          case 'f': out = 0x0C; break;
          case 'n': out = 0x0A; break;
          case 'r': out = 0x0D; break;
          case 't': out = 0x09; break;
          case 'u':
            state = JKStringState::Hex;
            escaped = 0;
            digits = 0;
            ++p;
            continue;
          default: jk_error(ps, "Invalid escape sequence found in \"\" string."); return 1;
        }
        if (!append(&out, 1)) return 1;
        state = JKStringState::Normal;
        ++p;
        break;
      }

      case JKStringState::Hex:
      case JKStringState::LowHex: {
        const int v = jk_hexValue(c);
        if (v < 0) {
          jk_error(ps, "Unexpected character found in \\u Unicode escape sequence.  Found '%c', expected [0-9a-fA-F].",
                   c);
          return 1;
        }
        escaped = (escaped << 4) | static_cast<uint32_t>(v);
        ++p;
        if (++digits < 4) break;
        if (state == JKStringState::Hex) {
          if (escaped >= 0xD800 && escaped <= 0xDBFF) {
            highSurrogate = escaped;
            state = JKStringState::ExpectBackslash;
            break;
          }
          if (!appendEscaped(escaped, jk_isLegalEscapedCodePoint(escaped))) return 1;
        } else if (escaped >= 0xDC00 && escaped <= 0xDFFF) {
          const uint32_t cp = ((highSurrogate - 0xD800) << 10) + (escaped - 0xDC00) + 0x10000;
          if (!appendEscaped(cp, jk_isLegalEscapedCodePoint(cp))) return 1;
        } else {
          // A high surrogate followed by anything but a low one.
          if (!appendEscaped(escaped, false)) return 1;
        }
        state = JKStringState::Normal;
        break;
      }

      case JKStringState::ExpectBackslash:
      case JKStringState::ExpectU: {
        const bool ok = state == JKStringState::ExpectBackslash ? c == '\\' : c == 'u';
        if (ok) {
          if (state == JKStringState::ExpectBackslash) {
            state = JKStringState::ExpectU;
          } else {
            state = JKStringState::LowHex;
            escaped = 0;
            digits = 0;
          }
          ++p;
          break;
        }
        if (!replace) {
          jk_error(ps,
                   "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.");
          return 1;
        }
        if (!appendCodePoint(kReplacement)) return 1;
        // The offending byte is scanned again as ordinary string content,
        // from the backslash when it was the "u" that was missing.
        if (state == JKStringState::ExpectU) --p;
        state = JKStringState::Normal;
        break;
      }
    }
  }
}

int jk_parse_string(JKParseState* ps) {
  const unsigned char* const quote = ps->bytes + ps->atIndex;
  const unsigned char* const end = ps->bytes + ps->length;
  const unsigned char* p = quote + 1;
  uint64_t hash = kJKHashInit;
  ps->token.value = JKTokenValue{};
  for (;;) {
    if (p >= end) {
      jk_error(ps, "Invalid string.");
      return 1;
    }
    const unsigned char c = *p;
    if (c < 0x20) {
      jk_error(ps, "Invalid character < 0x20 found in string: 0x%2.2x.", c);
      jk_error(ps, "Invalid string.");
      return 1;
    }
    if (c == '"') {
      jk_set_string_token(ps, quote, p, quote + 1, static_cast<size_t>(p - (quote + 1)), hash);
      return 0;
    }
    if (c == '\\') break;
    if (c >= 0x80) {
      const unsigned char* next = nullptr;
      uint32_t cp = 0;
      if (ConvertSingleCodePointInUTF8(p, end, &next, &cp) != JKConversionOK) break;
      for (; p < next; ++p) hash = jk_hash_step(hash, *p);
      continue;
    }
    hash = jk_hash_step(hash, c);
    ++p;
  }
  return jk_parse_string_slow(ps, quote, p, hash);
}

// ---------------------------------------------------------------- numbers

locale_t jk_c_locale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

int jk_parse_number(JKParseState* ps) {
  enum class S { Start, Minus, Zero, Int, Point, Frac, E, ESign, Exp };
  const unsigned char* const start = ps->bytes + ps->atIndex;
  const unsigned char* const end = ps->bytes + ps->length;
  const unsigned char* p = start;
  S s = S::Start;
  bool isFloatingPoint = false;
  ps->token.value = JKTokenValue{};
  for (;;) {
    if (p >= end) {
      ps->atIndex = ps->length;
      jk_error(ps, "Invalid number.");
      return 1;
    }
    const unsigned char c = *p;
    const bool digit = c >= '0' && c <= '9';
    bool more = true;    // c continues the number
    bool broken = false;  // c breaks the grammar
    switch (s) {
      case S::Start:
        if (c == '-') s = S::Minus;
        else if (c == '0') s = S::Zero;
        else if (digit) s = S::Int;
        else broken = true;
        break;
      case S::Minus:
        if (c == '0') s = S::Zero;
        else if (digit) s = S::Int;
        else broken = true;
        break;
      case S::Zero:
      case S::Int:
        if (digit && s == S::Int) {
        } else if (c == '.') {
          s = S::Point;
        } else if (c == 'e' || c == 'E') {
          s = S::E;
        } else {
          more = false;
        }
        break;
      case S::Point:
        if (digit) s = S::Frac;
        else broken = true;
        break;
      case S::Frac:
        if (digit) {
        } else if (c == 'e' || c == 'E') {
          s = S::E;
        } else {
          more = false;
        }
        break;
      case S::E:
        if (c == '+' || c == '-') s = S::ESign;
        else if (digit) s = S::Exp;
        else broken = true;
        break;
      case S::ESign:
        if (digit) s = S::Exp;
        else broken = true;
        break;
      case S::Exp:
        if (!digit) more = false;
        break;
    }
    if (broken) {
      ps->atIndex = static_cast<size_t>(p + 1 - ps->bytes);
      jk_error(ps, "Invalid number.");
      return 1;
    }
    if (!more) break;
    if (s == S::Point || s == S::E) isFloatingPoint = true;
    ++p;
  }

  const size_t textLength = static_cast<size_t>(p - start);
  ps->atIndex = static_cast<size_t>(p - ps->bytes);
  ps->token.type = JKTokenTypeNumber;
  ps->token.ptr = start;
  ps->token.length = textLength;

  // The token text as a C string, for the conversion and the messages.
  std::string text(reinterpret_cast<const char*>(start), textLength);
  JKTokenValue& v = ps->token.value;
  if (isFloatingPoint || text == "-0") {
    char* endp = nullptr;
    errno = 0;
    const double d = strtod_l(text.c_str(), &endp, jk_c_locale());
    const int err = errno;
    if (endp != text.c_str() + textLength) {
      jk_error(ps, "The conversion function did not consume all of the number tokens characters.");
      return 1;
    }
    if (err == ERANGE) {
      if (d == 0.0) {
        jk_error(ps, "The value '%s' could not be represented as a 'double' due to %s.", text.c_str(), "underflow");
        return 1;
      }
      if (std::isinf(d)) {
        jk_error(ps, "The value '%s' could not be represented as a 'double' due to %s.", text.c_str(), "overflow");
        return 1;
      }
      // A subnormal result is representable, only with less precision: it
      // is kept rather than refused as an overflow.
    } else if (err != 0) {
      jk_error(ps, "Invalid number.");
      return 1;
    }
    v.type = JKValueTypeDouble;
    v.number.doubleValue = d;
  } else if (start[0] == '-') {
    int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + textLength, value);
    if (ec == std::errc::result_out_of_range) {
      jk_error(ps, "The value '%s' exceeded the minimum value that could be represented: %lld.", text.c_str(),
               static_cast<long long>(INT64_MIN));
      return 1;
    }
    if (ec != std::errc()) {
      jk_error(ps, "Invalid number.");
      return 1;
    }
    if (ptr != text.data() + textLength) {
      jk_error(ps, "The conversion function did not consume all of the number tokens characters.");
      return 1;
    }
    v.type = JKValueTypeLongLong;
    v.number.longLongValue = value;
  } else {
    uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + textLength, value);
    if (ec == std::errc::result_out_of_range) {
      jk_error(ps, "The value '%s' exceeded the maximum value that could be represented: %llu.", text.c_str(),
               static_cast<unsigned long long>(UINT64_MAX));
      return 1;
    }
    if (ec != std::errc()) {
      jk_error(ps, "Invalid number.");
      return 1;
    }
    if (ptr != text.data() + textLength) {
      jk_error(ps, "The conversion function did not consume all of the number tokens characters.");
      return 1;
    }
    v.type = JKValueTypeUnsignedLongLong;
    v.number.unsignedLongLongValue = value;
  }

  uint64_t hash = kJKHashInit + static_cast<uint64_t>(v.type);
  if (v.type != JKValueTypeDouble) hash += v.number.unsignedLongLongValue;
  unsigned char valueBytes[8];
  std::memcpy(valueBytes, &v.number, 8);
  for (unsigned char b : valueBytes) hash = jk_hash_step(hash, b);
  v.hash = hash;
  v.ptr = reinterpret_cast<const unsigned char*>(&v.number);
  v.length = 8;
  return 0;
}

// ---------------------------------------------------------------- tokens

int jk_parse_next_token(JKParseState* ps) {
  jk_parse_skip_whitespace(ps);
  ps->token.type = JKTokenTypeInvalid;
  ps->token.ptr = ps->bytes + ps->atIndex;
  ps->token.length = 0;
  if (ps->atIndex >= ps->length) {
    jk_error(ps, "%s", kUnexpectedToken);
    return 1;
  }
  const unsigned char* const p = ps->bytes + ps->atIndex;
  const size_t left = ps->length - ps->atIndex;
  auto single = [&](JKTokenType type) {
    ps->token.type = type;
    ps->token.length = 1;
    ps->atIndex++;
    return 0;
  };
  // A literal must match and be followed by at least one more byte; that
  // byte is not examined here, it starts the next token.
  auto literal = [&](const char* word, size_t n, JKTokenType type) {
    if (left > n && std::memcmp(p, word, n) == 0) {
      ps->token.type = type;
      ps->token.length = n;
      ps->atIndex += n;
      return 0;
    }
    jk_error(ps, "%s", kUnexpectedToken);
    return 1;
  };
  switch (*p) {
    case '{': return single(JKTokenTypeObjectBegin);
    case '}': return single(JKTokenTypeObjectEnd);
    case '[': return single(JKTokenTypeArrayBegin);
    case ']': return single(JKTokenTypeArrayEnd);
    case ':': return single(JKTokenTypeSeparator);
    case ',': return single(JKTokenTypeComma);
    case '"': return jk_parse_string(ps);
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': return jk_parse_number(ps);
    case 't': return literal("true", 4, JKTokenTypeTrue);
    case 'f': return literal("false", 5, JKTokenTypeFalse);
    case 'n': return literal("null", 4, JKTokenTypeNull);
    default: jk_error(ps, "%s", kUnexpectedToken); return 1;
  }
}

bool jk_is_value_token(JKTokenType type) {
  switch (type) {
    case JKTokenTypeNumber:
    case JKTokenTypeString:
    case JKTokenTypeObjectBegin:
    case JKTokenTypeArrayBegin:
    case JKTokenTypeTrue:
    case JKTokenTypeFalse:
    case JKTokenTypeNull: return true;
    default: return false;
  }
}

// ---------------------------------------------------------------- values

Object* jk_parse_value(JKParseState* ps);

bool jk_objectStack_reserve(JKParseState* ps, const char* which) {
  JKObjectStack* stack = &ps->objectStack;
  if (stack->index > stack->count - 4) {
    if (jk_objectStack_resize(stack, stack->count + 128)) {
      jk_error(ps, "Internal error: [%s] objectsIndex > %zu, resize failed? %s line #%d", which, stack->count - 4,
               JK_WHERE);
      return false;
    }
  }
  return true;
}

Object* jk_parse_array(JKParseState* ps) {
  JKObjectStack* stack = &ps->objectStack;
  const size_t start = stack->index;
  int state = JKParseAcceptValueOrEnd;
  Object* parsed = nullptr;
  bool stop = false;
  while (!stop && ps->atIndex < ps->length) {
    if (!jk_objectStack_reserve(ps, "array")) break;
    if (jk_parse_next_token(ps)) break;
    const JKTokenType type = ps->token.type;
    if (jk_is_value_token(type)) {
      if (!(state & JKParseAcceptValue)) {
        jk_error(ps, "Unexpected value.");
        stop = true;
        continue;
      }
      Object* object = jk_parse_value(ps);
      if (!object) {
        jk_error(ps, "Internal error: Object == NULL");
        stop = true;
        continue;
      }
      stack->objects[stack->index] = object;
      stack->keys[stack->index] = nullptr;
      stack->index++;
      state = JKParseAcceptCommaOrEnd;
    } else if (type == JKTokenTypeArrayEnd) {
      if (state & JKParseAcceptEnd) {
        parsed = _JKArrayCreate(&stack->objects[start], stack->index - start, ps->mutableCollections);
        if (parsed) {
          // The references now belong to the array.
          std::memset(&stack->objects[start], 0, (stack->index - start) * sizeof(Object*));
          stack->index = start;
        }
      } else {
        jk_error(ps, "Unexpected ']'.");
      }
      stop = true;
    } else if (type == JKTokenTypeComma) {
      if (state & JKParseAcceptComma) {
        state = JKParseAcceptValue;
      } else {
        jk_error(ps, "Unexpected ','.");
        stop = true;
      }
    } else {
      jk_error_expected(ps, state, "a value", "a ']'");
      stop = true;
    }
  }
  if (!parsed) jk_objectStack_unwind(stack, start);
  return parsed;
}

Object* jk_parse_dictionary(JKParseState* ps) {
  JKObjectStack* stack = &ps->objectStack;
  const size_t start = stack->index;
  int state = JKParseAcceptValueOrEnd;
  Object* parsed = nullptr;
  bool stop = false;
  while (!stop && ps->atIndex < ps->length) {
    if (!jk_objectStack_reserve(ps, "dictionary")) break;
    if (jk_parse_next_token(ps)) break;
    const JKTokenType type = ps->token.type;
    if (type == JKTokenTypeString) {
      if (!(state & JKParseAcceptValue)) {
        jk_error(ps, "Unexpected string.");
        stop = true;
        continue;
      }
      Object* key = jk_cached_value(ps);
      if (!key) {
        jk_error(ps, "Internal error: Key == NULL.");
        stop = true;
        continue;
      }
      // The hash is taken now: parsing the value may reuse the key's cache item.
      uint64_t cfHash;
      if (JKTokenCacheItem* item = ps->token.value.cacheItem) {
        if (item->cfHash == 0) item->cfHash = key->hash();
        cfHash = item->cfHash;
      } else {
        cfHash = key->hash();
      }
      if (jk_parse_next_token(ps)) {
        key->release();
        break;
      }
      if (ps->token.type != JKTokenTypeSeparator) {
        jk_error(ps, "Expected ':'.");
        key->release();
        break;
      }
      if (jk_parse_next_token(ps)) {
        key->release();
        break;
      }
      if (!jk_is_value_token(ps->token.type)) {
        jk_error_expected(ps, state, "a value", "a '}'");
        key->release();
        break;
      }
      Object* object = jk_parse_value(ps);
      if (!object) {
        jk_error(ps, "Internal error: Object == NULL.");
        key->release();
        break;
      }
      stack->keys[stack->index] = key;
      stack->cfHashes[stack->index] = cfHash;
      stack->objects[stack->index] = object;
      stack->index++;
      state = JKParseAcceptCommaOrEnd;
    } else if (type == JKTokenTypeObjectEnd) {
      if (state & JKParseAcceptEnd) {
        const size_t n = stack->index - start;
        parsed = _JKDictionaryCreate(&stack->keys[start], &stack->cfHashes[start], &stack->objects[start], n,
                                     ps->mutableCollections);
        if (parsed) {
          std::memset(&stack->keys[start], 0, n * sizeof(Object*));
          std::memset(&stack->objects[start], 0, n * sizeof(Object*));
          stack->index = start;
        }
      } else {
        jk_error(ps, "Unexpected '}'.");
      }
      stop = true;
    } else if (type == JKTokenTypeComma) {
      if (state & JKParseAcceptComma) {
        state = JKParseAcceptValue;
      } else {
        jk_error(ps, "Unexpected ','.");
        stop = true;
      }
    } else {
      jk_error_expected(ps, state, "a \"STRING\"", "a '}'");
      stop = true;
    }
  }
  if (!parsed) jk_objectStack_unwind(stack, start);
  return parsed;
}

Object* jk_parse_value(JKParseState* ps) {
  switch (ps->token.type) {
    case JKTokenTypeNumber:
    case JKTokenTypeString: return jk_cached_value(ps);
    case JKTokenTypeTrue: return Value::boolean(true).detach();
    case JKTokenTypeFalse: return Value::boolean(false).detach();
    case JKTokenTypeNull: return Value::null().detach();
    case JKTokenTypeArrayBegin:
    case JKTokenTypeObjectBegin: {
      if (ps->depth >= kJKMaxNestingDepth) {
        jk_error(ps, "The document nests arrays and objects more than %zu levels deep.", kJKMaxNestingDepth);
        return nullptr;
      }
      ps->depth++;
      Object* container = ps->token.type == JKTokenTypeArrayBegin ? jk_parse_array(ps) : jk_parse_dictionary(ps);
      ps->depth--;
      return container;
    }
    default: jk_error(ps, "Internal error: Unknown token type. %s line #%d", JK_WHERE); return nullptr;
  }
}

}  // namespace

JKParseState::~JKParseState() {
  jk_cache_clear(&cache);
  jk_objectStack_release(&objectStack);
  jk_managedBuffer_release(&token.tokenBuffer);
}

namespace {

// One parse. Per-parse fields are set at the start and reset at the end;
// the value cache lives on.
Value _JKParseUTF8String(JKParseState* ps, bool mutableCollections, const unsigned char* string, size_t length,
                         Error* error) {
  ps->bytes = string;
  ps->length = length;
  ps->atIndex = 0;
  ps->lineNumber = 1;
  ps->lineStartIndex = 0;
  ps->error.reset();
  ps->mutableCollections = mutableCollections;
  ps->depth = 0;

  unsigned char stackTokenBuffer[kJKTokenBufferSize];
  Object* stackObjects[kJKStackObjects] = {};
  Object* stackKeys[kJKStackObjects] = {};
  uint64_t stackHashes[kJKStackObjects] = {};
  jk_managedBuffer_setToStackBuffer(&ps->token.tokenBuffer, stackTokenBuffer, sizeof stackTokenBuffer);
  jk_objectStack_setToStackBuffer(&ps->objectStack, stackObjects, stackKeys, stackHashes, kJKStackObjects);

  Value result;
  try {
    if (ps->atIndex < ps->length && jk_parse_next_token(ps) == 0) {
      if (ps->token.type == JKTokenTypeArrayBegin || ps->token.type == JKTokenTypeObjectBegin) {
        result = Value::adopt(jk_parse_value(ps));
      } else {
        jk_error(ps, "Expected either '[' or '{'.");
      }
    }
    if (!result) {
      if (ps->atIndex == ps->length) jk_error(ps, "Reached the end of the buffer.");
      jk_error(ps, "Unable to parse JSON.");
    } else if (ps->atIndex < ps->length) {
      jk_parse_skip_whitespace(ps);
      if (!(ps->parseOptionFlags & JKParseOptionAllowTrailingText) && ps->atIndex < ps->length) {
        jk_error(ps, "A valid JSON object was parsed but there were additional non-white-space characters remaining.");
        result = Value();
      }
    }
  } catch (const std::bad_alloc&) {
    result = Value();
    jk_error(ps, "Internal error: Unable to allocate memory. %s line #%d", JK_WHERE);
  }

  if (error && ps->error) *error = *ps->error;
  jk_managedBuffer_release(&ps->token.tokenBuffer);
  jk_objectStack_release(&ps->objectStack);
  ps->token.ptr = nullptr;
  ps->token.length = 0;
  ps->token.type = JKTokenTypeInvalid;
  ps->token.value = JKTokenValue{};
  ps->bytes = nullptr;
  ps->length = 0;
  ps->atIndex = 0;
  ps->lineNumber = 1;
  ps->lineStartIndex = 0;
  ps->error.reset();
  ps->mutableCollections = false;
  ps->depth = 0;
  return result;
}

}  // namespace

// ================================================================ JSONDecoder

std::unique_ptr<JSONDecoder> JSONDecoder::decoder() { return decoderWithParseOptions(JKParseOptionStrict); }

std::unique_ptr<JSONDecoder> JSONDecoder::decoderWithParseOptions(JKParseOptionFlags parseOptionFlags) {
  try {
    return std::make_unique<JSONDecoder>(parseOptionFlags);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

JSONDecoder::JSONDecoder() : JSONDecoder(JKParseOptionStrict) {}

JSONDecoder::JSONDecoder(JKParseOptionFlags parseOptionFlags) {
  if (parseOptionFlags > JKParseOptionValidFlags) throw Exception(NSInvalidArgumentException, "Invalid parse options.");
  parseState_ = std::make_unique<JKParseState>();
  parseState_->parseOptionFlags = parseOptionFlags;
  parseState_->token.tokenBuffer.roundSizeUpToMultipleOf = kJKTokenBufferRounding;
  parseState_->objectStack.roundSizeUpToMultipleOf = kJKObjectStackRounding;
  parseState_->cache.count = kJKCacheSlots;
  parseState_->cache.items = std::make_unique<JKTokenCacheItem[]>(kJKCacheSlots);
}

JSONDecoder::~JSONDecoder() = default;

JKParseOptionFlags JSONDecoder::parseOptionFlags() const noexcept {
  return parseState_ ? parseState_->parseOptionFlags : 0;
}

void JSONDecoder::clearCache() {
  if (parseState_) jk_cache_clear(&parseState_->cache);
}

size_t JSONDecoder::cachedObjectCount() const noexcept {
  if (!parseState_) return 0;
  size_t n = 0;
  for (size_t i = 0; i < parseState_->cache.count; ++i) n += parseState_->cache.items[i].object != nullptr;
  return n;
}

void JSONDecoder::releaseState() noexcept { parseState_.reset(); }

Value JSONDecoder::parse(bool mutableCollections, const unsigned char* string, size_t length, Error* error) {
  if (!parseState_) throw Exception(NSInternalInconsistencyException, "parseState is NULL.");
  if (!string) throw Exception(NSInvalidArgumentException, "The string argument is NULL.");
  return _JKParseUTF8String(parseState_.get(), mutableCollections, string, length, error);
}

Value JSONDecoder::objectWithUTF8String(const unsigned char* string, size_t length, Error* error) {
  return parse(false, string, length, error);
}

Value JSONDecoder::mutableObjectWithUTF8String(const unsigned char* string, size_t length, Error* error) {
  return parse(true, string, length, error);
}

Value JSONDecoder::objectWithData(const Data* jsonData, Error* error) {
  if (!jsonData) throw Exception(NSInvalidArgumentException, "The jsonData argument is NULL.");
  return parse(false, jsonData->bytes(), jsonData->length(), error);
}

Value JSONDecoder::mutableObjectWithData(const Data* jsonData, Error* error) {
  if (!jsonData) throw Exception(NSInvalidArgumentException, "The jsonData argument is NULL.");
  return parse(true, jsonData->bytes(), jsonData->length(), error);
}

Value JSONDecoder::parseUTF8String(const unsigned char* string, size_t length, Error* error) {
  return objectWithUTF8String(string, length, error);
}

Value JSONDecoder::parseJSONData(const Data* jsonData, Error* error) { return objectWithData(jsonData, error); }

}  // namespace jk
