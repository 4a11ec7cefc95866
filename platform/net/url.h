#pragma once
// URLs as the platform's URL loading and the OAuth2 layer use them: the text
// as given (the absolute string) plus its parts, split as RFC 3986 appendix B
// splits a reference. Parts keep their percent escapes; only the file path
// and the last path component are decoded.
//
// Thread-safe as a value (no shared state).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class URL {
 public:
  URL() = default;

  // A URL of that text; empty when the text is empty or holds blanks,
  // control characters or a broken percent escape (the platform refuses
  // those too).
  static std::optional<URL> withString(std::string_view text);
  // "file://" and the absolute path, percent-encoded where a URL needs it.
  static URL fileURLWithPath(const std::filesystem::path& path);

  bool empty() const { return text_.empty(); }
  const std::string& absoluteString() const { return text_; }

  // Each part as written; nullopt when the text has no such part.
  std::string scheme() const { return scheme_; }
  std::string host() const { return host_; }
  std::optional<int> port() const { return port_; }
  std::string path() const { return path_; }
  std::optional<std::string> query() const { return query_; }
  std::optional<std::string> fragment() const { return fragment_; }
  bool hasAuthority() const { return hasAuthority_; }

  bool isFileURL() const;
  // The decoded path of a file URL; empty for other URLs.
  std::filesystem::path filePath() const;
  // The decoded last segment of the path ("" for "/" or no path).
  std::string lastPathComponent() const;

  bool operator==(const URL& other) const { return text_ == other.text_; }

 private:
  explicit URL(std::string text);

  std::string text_;
  std::string scheme_;
  bool hasAuthority_ = false;
  std::string host_;
  std::optional<int> port_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

// The value of a hexadecimal digit of either case; -1 for any other character.
int hexDigitValue(char c);

// Decodes percent escapes; nullopt for a broken escape. "+" stays "+".
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace platform
