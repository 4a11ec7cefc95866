#include "oauth2/nxoauth2_url_encoding.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "platform/crypto/sha1.h"
#include "platform/net/url.h"

namespace nxoauth2 {
namespace {

void appendPair(std::string& out, const std::string& key, const std::string& value) {
  if (!out.empty()) out += "&";
  out += nxoauth2_URLEncodedString(key);
  out += "=";
  out += nxoauth2_URLEncodedString(value);
}

}  // namespace

void nxoauth2_randomBytes(std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::getrandom(out.data() + done, out.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("no random bytes from the operating system");
    }
    done += static_cast<size_t>(n);
  }
}

std::string nxoauth2_stringWithUUID() {
  std::array<uint8_t, 16> b;
  nxoauth2_randomBytes(b);
  b[6] = static_cast<uint8_t>((b[6] & 0x0f) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
  char s[37];
  std::snprintf(s, sizeof s, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1], b[2],
                b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return s;
}

std::string nxoauth2_stringWithEncodedQueryParameters(const NXOAuth2Parameters& parameters) {
  std::string out;
  for (const auto& [key, value] : parameters) {
    if (const auto* items = value.array()) {
      for (const NXOAuth2ParameterValue& item : *items)
        if (auto text = item.text()) appendPair(out, key, *text);
    } else if (auto text = value.text()) {
      appendPair(out, key, *text);
    }
  }
  return out;
}

std::map<std::string, std::string> nxoauth2_parametersFromEncodedQueryString(std::string_view query) {
  std::map<std::string, std::string> result;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view piece = query.substr(start, end - start);
    const size_t eq = piece.find('=');
    if (eq != std::string_view::npos && piece.find('=', eq + 1) == std::string_view::npos)
      result[nxoauth2_URLDecodedString(piece.substr(0, eq))] = nxoauth2_URLDecodedString(piece.substr(eq + 1));
    start = end + 1;
  }
  return result;
}

std::string nxoauth2_URLEncodedString(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::string nxoauth2_URLDecodedString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = platform::hexDigitValue(text[i + 1]);
      const int lo = platform::hexDigitValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

platform::URL nxoauth2_URLByAddingParameters(const platform::URL& url, const NXOAuth2Parameters& parameters) {
  const std::string query = nxoauth2_stringWithEncodedQueryParameters(parameters);
  if (parameters.empty() || query.empty()) return url;
  std::string text = url.absoluteString();
  std::string fragment;
  if (const size_t hash = text.find('#'); hash != std::string::npos) {
    fragment = text.substr(hash);
    text.resize(hash);
  }
  text += (text.find('?') == std::string::npos ? "?" : "&") + query + fragment;
  return platform::URL::withString(text).value_or(url);
}

std::optional<std::string> nxoauth2_valueForQueryParameterKey(const platform::URL& url, const std::string& key) {
  std::string text = url.absoluteString();
  if (text.find("://") == std::string::npos) text = "http://" + text;
  std::optional<platform::URL> parsed = platform::URL::withString(text);
  if (!parsed || !parsed->query()) return std::nullopt;
  const auto parameters = nxoauth2_parametersFromEncodedQueryString(*parsed->query());
  auto it = parameters.find(key);
  if (it == parameters.end()) return std::nullopt;
  return it->second;
}

std::string nxoauth2_URLStringWithoutQueryString(const platform::URL& url) {
  const std::string& text = url.absoluteString();
  return text.substr(0, text.find('?'));
}

platform::URL nxoauth2_URLWithoutQueryString(const platform::URL& url) {
  return platform::URL::withString(nxoauth2_URLStringWithoutQueryString(url)).value_or(url);
}

NXOAuth2SHA1Digest nx_SHA1Digest(std::span<const uint8_t> data) { return platform::sha1(data); }

std::string nx_SHA1Hexdigest(std::span<const uint8_t> data) {
  static const char* hex = "0123456789abcdef";
  const NXOAuth2SHA1Digest d = nx_SHA1Digest(data);
  std::string s;
  for (uint8_t b : d) {
    s.push_back(hex[b >> 4]);
    s.push_back(hex[b & 15]);
  }
  return s;
}

std::string nxoauth2_base64URLEncoded(std::span<const uint8_t> data) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  if (i + 1 == data.size()) {
    const uint32_t v = uint32_t(data[i]) << 16;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
  } else if (i + 2 == data.size()) {
    const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
  }
  return out;
}

}  // namespace nxoauth2
