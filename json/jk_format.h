#pragma once
// printf-style formatting into a std::string, for the codec's messages.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace jk {

[[gnu::format(printf, 1, 0)]] inline std::string jkFormatV(const char* format, va_list args) {
  char small[256];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

[[gnu::format(printf, 1, 2)]] inline std::string jkFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = jkFormatV(format, args);
  va_end(args);
  return out;
}

}  // namespace jk
