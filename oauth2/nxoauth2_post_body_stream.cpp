#include "oauth2/nxoauth2_post_body_stream.h"

#include <array>
#include <cinttypes>
#include <cstdio>

#include "oauth2/nxoauth2_log.h"
#include "oauth2/nxoauth2_url_encoding.h"

namespace nxoauth2 {
namespace {

platform::Data bytesOf(const std::string& s) { return platform::Data(s.begin(), s.end()); }

std::string newBoundary() {
  std::array<uint64_t, 2> r;
  nxoauth2_randomBytes(std::span<uint8_t>(reinterpret_cast<uint8_t*>(r.data()), sizeof r));
  char digits[48];
  std::snprintf(digits, sizeof digits, "%020" PRIu64 "%020" PRIu64, r[0], r[1]);
  return std::string("------------nx-oauth2") + digits;
}

// A name inside a quoted Content-Disposition parameter: a quote would end
// it early and a line break would end the header, so both are
// percent-encoded as form submissions do (RFC 7578, section 4.2). Nothing
// else changes; servers read other bytes, UTF-8 included, as they are.
std::string quotedParameter(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 2);
  out.push_back('"');
  for (char c : value) {
    switch (c) {
      case '"': out += "%22"; break;
      case '\r': out += "%0D"; break;
      case '\n': out += "%0A"; break;
      default: out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

std::string dispositionOf(const std::string& name) {
  return "Content-Disposition: form-data; name=" + quotedParameter(name);
}

std::string fileHeaders(const std::string& name, const std::string& fileName) {
  return dispositionOf(name) + "; filename=" + quotedParameter(fileName) +
         "\r\n"
         "Content-Transfer-Encoding: binary\r\n"
         "Content-Type: application/octet-stream\r\n"
         "\r\n";
}

}  // namespace

std::shared_ptr<NXOAuth2FileStreamWrapper> NXOAuth2FileStreamWrapper::wrapperWithStream(
    std::shared_ptr<platform::InputStream> stream, uint64_t contentLength) {
  return wrapperWithStream(std::move(stream), contentLength, "unknown");
}

std::shared_ptr<NXOAuth2FileStreamWrapper> NXOAuth2FileStreamWrapper::wrapperWithStream(
    std::shared_ptr<platform::InputStream> stream, uint64_t contentLength, std::string fileName) {
  if (!stream) return nullptr;
  if (fileName.empty()) fileName = "unknown";
  return std::shared_ptr<NXOAuth2FileStreamWrapper>(
      new NXOAuth2FileStreamWrapper(std::move(stream), contentLength, std::move(fileName)));
}

std::optional<NXOAuth2PostBodyPart> NXOAuth2PostBodyPart::partWithName(const std::string& name,
                                                                       const NXOAuth2ParameterValue& content) {
  using K = NXOAuth2ParameterValue::Kind;
  switch (content.kind()) {
    case K::String:
    case K::Integer:
    case K::Real: return withStringContent(name, *content.text());
    case K::URL:
      if (!content.url()->isFileURL()) return std::nullopt;
      return withFileContent(name, content.url()->filePath());
    case K::Data: return withDataContent(name, *content.data());
    case K::StreamWrapper: {
      const auto& w = *content.streamWrapper();
      if (!w) return std::nullopt;
      return withStreamContent(name, w->stream(), w->contentLength(), w->fileName());
    }
    case K::Array: return std::nullopt;
  }
  return std::nullopt;
}

NXOAuth2PostBodyPart NXOAuth2PostBodyPart::withStringContent(const std::string& name, const std::string& content) {
  return withHeaders(dispositionOf(name) + "\r\n\r\n", bytesOf(content));
}

NXOAuth2PostBodyPart NXOAuth2PostBodyPart::withDataContent(const std::string& name, platform::Data content) {
  return withHeaders(fileHeaders(name, "unknown"), std::move(content));
}

NXOAuth2PostBodyPart NXOAuth2PostBodyPart::withFileContent(const std::string& name, const std::filesystem::path& path) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  return withHeaders(fileHeaders(name, path.filename().string()), std::make_shared<platform::FileInputStream>(path),
                     ec ? 0 : static_cast<uint64_t>(size));
}

NXOAuth2PostBodyPart NXOAuth2PostBodyPart::withStreamContent(const std::string& name,
                                                             std::shared_ptr<platform::InputStream> stream,
                                                             uint64_t length, const std::string& fileName) {
  return withHeaders(fileHeaders(name, fileName), std::move(stream), length);
}

NXOAuth2PostBodyPart NXOAuth2PostBodyPart::withHeaders(std::string headers, platform::Data content) {
  const uint64_t length = content.size();
  return withHeaders(std::move(headers), std::make_shared<platform::DataInputStream>(std::move(content)), length);
}

NXOAuth2PostBodyPart NXOAuth2PostBodyPart::withHeaders(std::string headers, std::shared_ptr<platform::InputStream> stream,
                                                       uint64_t length) {
  return NXOAuth2PostBodyPart(std::move(headers), std::move(stream), length);
}

NXOAuth2PostBodyStream::NXOAuth2PostBodyStream(const std::optional<NXOAuth2Parameters>& parameters)
    : boundary_(newBoundary()) {
  if (!parameters) return;
  std::vector<NXOAuth2PostBodyPart> parts;
  for (const auto& [key, value] : *parameters) {
    if (const auto* items = value.array()) {
      for (const NXOAuth2ParameterValue& item : *items)
        if (auto part = NXOAuth2PostBodyPart::partWithName(key, item)) parts.push_back(std::move(*part));
    } else if (auto part = NXOAuth2PostBodyPart::partWithName(key, value)) {
      parts.push_back(std::move(*part));
    }
  }
  bool first = true;
  for (const NXOAuth2PostBodyPart& part : parts) {
    const std::string delimiter = (first ? "--" : "\r\n--") + boundary_ + "\r\n";
    first = false;
    const std::string head = delimiter + part.contentHeaders();
    contentStreams_.push_back(std::make_shared<platform::DataInputStream>(bytesOf(head)));
    contentStreams_.push_back(part.contentStream());
    numBytesTotal_ += head.size() + part.contentLength();
  }
  const std::string closing = (parts.empty() ? "--" : "\r\n--") + boundary_ + "--\r\n";
  contentStreams_.push_back(std::make_shared<platform::DataInputStream>(bytesOf(closing)));
  numBytesTotal_ += closing.size();
}

void NXOAuth2PostBodyStream::open() {
  if (closed_) {
    nxoauth2Log("-[NXOAuth2PostBodyStream open] Stream has been reopened after close");
    return;
  }
  for (auto& s : contentStreams_) s->open();
  currentStream_ = contentStreams_.empty() ? nullptr : contentStreams_.front();
  streamIndex_ = 0;
}

void NXOAuth2PostBodyStream::close() {
  for (auto& s : contentStreams_) s->close();
  contentStreams_.clear();
  boundary_.clear();
  currentStream_.reset();
  closed_ = true;
}

int64_t NXOAuth2PostBodyStream::read(uint8_t* buffer, size_t maxLength) {
  if (maxLength == 0) return 0;
  while (currentStream_) {
    const int64_t n = currentStream_->read(buffer, maxLength);
    if (n != 0) return n;
    ++streamIndex_;
    currentStream_ = streamIndex_ < contentStreams_.size() ? contentStreams_[streamIndex_] : nullptr;
  }
  return 0;
}

bool NXOAuth2PostBodyStream::getBuffer(uint8_t**, size_t*) const { return false; }

platform::StreamStatus NXOAuth2PostBodyStream::streamStatus() const {
  if (!currentStream_) return platform::StreamStatus::NotOpen;
  const platform::StreamStatus s = currentStream_->streamStatus();
  if ((s == platform::StreamStatus::AtEnd || s == platform::StreamStatus::Closed) &&
      streamIndex_ + 1 < contentStreams_.size())
    return platform::StreamStatus::Reading;
  return s;
}

std::optional<platform::Error> NXOAuth2PostBodyStream::streamError() const {
  return currentStream_ ? currentStream_->streamError() : std::nullopt;
}

}  // namespace nxoauth2
