#include "platform/net/url.h"

#include <cctype>
#include <charconv>

namespace platform {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

namespace {

bool acceptable(std::string_view text) {
  if (text.empty()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c <= 0x20 || c == 0x7f) return false;
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      if (hexDigitValue(text[i + 1]) < 0 || hexDigitValue(text[i + 2]) < 0) return false;
      i += 2;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int hi = hexDigitValue(text[i + 1]);
    const int lo = hexDigitValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

URL::URL(std::string text) : text_(std::move(text)) {
  // ^(([^:/?#]+):)?(//([^/?#]*))?([^?#]*)(\?([^#]*))?(#(.*))?
  std::string_view rest = text_;
  const size_t schemeEnd = rest.find_first_of(":/?#");
  if (schemeEnd != std::string_view::npos && schemeEnd > 0 && rest[schemeEnd] == ':') {
    scheme_ = std::string(rest.substr(0, schemeEnd));
    rest.remove_prefix(schemeEnd + 1);
  }
  if (rest.starts_with("//")) {
    hasAuthority_ = true;
    rest.remove_prefix(2);
    const size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string_view hostPart = authority;
    std::string_view portPart;
    if (authority.starts_with("[")) {
      const size_t close = authority.find(']');
      if (close != std::string_view::npos) {
        hostPart = authority.substr(1, close - 1);
        if (close + 1 < authority.size() && authority[close + 1] == ':') portPart = authority.substr(close + 2);
      }
    } else if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
      hostPart = authority.substr(0, colon);
      portPart = authority.substr(colon + 1);
    }
    host_ = std::string(hostPart);
    if (!portPart.empty()) {
      int p = 0;
      auto [ptr, ec] = std::from_chars(portPart.data(), portPart.data() + portPart.size(), p);
      if (ec == std::errc() && ptr == portPart.data() + portPart.size() && p >= 0 && p <= 65535) port_ = p;
    }
  }
  const size_t pathEnd = rest.find_first_of("?#");
  path_ = std::string(rest.substr(0, pathEnd));
  rest.remove_prefix(pathEnd == std::string_view::npos ? rest.size() : pathEnd);
  if (rest.starts_with("?")) {
    const size_t end = rest.find('#');
    query_ = std::string(rest.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  if (rest.starts_with("#")) fragment_ = std::string(rest.substr(1));
}

std::optional<URL> URL::withString(std::string_view text) {
  if (!acceptable(text)) return std::nullopt;
  return URL(std::string(text));
}

URL URL::fileURLWithPath(const std::filesystem::path& path) {
  const std::string p = std::filesystem::absolute(path).lexically_normal().string();
  static const char* hex = "0123456789ABCDEF";
  std::string text = "file://";
  for (unsigned char c : p) {
    if (std::isalnum(c) || std::string_view("-._~/!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos) {
      text.push_back(static_cast<char>(c));
    } else {
      text.push_back('%');
      text.push_back(hex[c >> 4]);
      text.push_back(hex[c & 15]);
    }
  }
  return URL(std::move(text));
}

bool URL::isFileURL() const {
  if (scheme_.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(scheme_[i])) != "file"[i]) return false;
  return true;
}

std::filesystem::path URL::filePath() const {
  if (!isFileURL()) return {};
  return percentDecode(path_).value_or(path_);
}

std::string URL::lastPathComponent() const {
  std::string_view p = path_;
  while (p.size() > 1 && p.ends_with("/")) p.remove_suffix(1);
  if (p == "/" || p.empty()) return std::string(p);
  const size_t slash = p.rfind('/');
  std::string_view last = slash == std::string_view::npos ? p : p.substr(slash + 1);
  return percentDecode(last).value_or(std::string(last));
}

}  // namespace platform
