#include "platform/net/url_request.h"

#include <algorithm>
#include <cctype>

namespace platform {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::optional<std::string> HTTPHeaders::value(std::string_view name) const {
  for (const Field& f : fields_)
    if (equalsIgnoringCase(f.first, name)) return f.second;
  return std::nullopt;
}

void HTTPHeaders::set(std::string_view name, std::string value) {
  auto first = std::find_if(fields_.begin(), fields_.end(), [&](const Field& f) { return equalsIgnoringCase(f.first, name); });
  if (first == fields_.end()) {
    fields_.emplace_back(std::string(name), std::move(value));
    return;
  }
  first->second = std::move(value);
  fields_.erase(std::remove_if(first + 1, fields_.end(), [&](const Field& f) { return equalsIgnoringCase(f.first, name); }),
                fields_.end());
}

void HTTPHeaders::add(std::string_view name, std::string value) { fields_.emplace_back(std::string(name), std::move(value)); }

void HTTPHeaders::remove(std::string_view name) {
  fields_.erase(std::remove_if(fields_.begin(), fields_.end(), [&](const Field& f) { return equalsIgnoringCase(f.first, name); }),
                fields_.end());
}

void URLRequest::setValueForHTTPHeaderField(std::optional<std::string> value, std::string_view name) {
  if (value)
    headers.set(name, std::move(*value));
  else
    headers.remove(name);
}

void URLRequest::setHTTPBody(Data body) {
  httpBody = std::move(body);
  httpBodyStream.reset();
}

void URLRequest::setHTTPBodyStream(std::shared_ptr<InputStream> stream) {
  httpBodyStream = std::move(stream);
  httpBody.reset();
}

}  // namespace platform
