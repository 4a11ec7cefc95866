#pragma once
// Multipart/form-data request bodies that stream instead of sitting in
// memory: only the boundaries and part headers are kept as bytes, and each
// part's content is read from its own stream (a file, a caller's stream,
// or data) while the transfer runs, so a file of any size goes out in
// constant memory. The total length is known up front, for Content-Length.
//
// Layout: "--<boundary>\r\n" + headers of the first part + content, then
// "\r\n--<boundary>\r\n" + headers + content for each further part, then
// "\r\n--<boundary>--\r\n". The boundary is "------------nx-oauth2" and 40
// decimal digits of 128 random bits from the operating system, so no two
// bodies share one and no content can guess it. In the part headers, a
// '"', CR or LF in a part's name or file name is written %22, %0D or %0A,
// so no name can end its header or the header block early.
//
// Used by one thread at a time (the run loop's that sends it).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oauth2/nxoauth2_parameters.h"
#include "platform/net/input_stream.h"

namespace nxoauth2 {

// An open stream of known length passed as a parameter value.
class NXOAuth2FileStreamWrapper {
 public:
  static std::shared_ptr<NXOAuth2FileStreamWrapper> wrapperWithStream(std::shared_ptr<platform::InputStream> stream,
                                                                      uint64_t contentLength);
  static std::shared_ptr<NXOAuth2FileStreamWrapper> wrapperWithStream(std::shared_ptr<platform::InputStream> stream,
                                                                      uint64_t contentLength, std::string fileName);

  const std::shared_ptr<platform::InputStream>& stream() const { return stream_; }
  uint64_t contentLength() const { return contentLength_; }
  // "unknown" when none was given.
  const std::string& fileName() const { return fileName_; }

 private:
  NXOAuth2FileStreamWrapper(std::shared_ptr<platform::InputStream> stream, uint64_t length, std::string fileName)
      : stream_(std::move(stream)), contentLength_(length), fileName_(std::move(fileName)) {}
  std::shared_ptr<platform::InputStream> stream_;
  uint64_t contentLength_;
  std::string fileName_;
};

// One parameter as a part: its header block (ending with an empty line) and
// its content as a stream of known length.
class NXOAuth2PostBodyPart {
 public:
  // The part for a value, by its kind: string (and number as decimal text)
  // → string part; file URL → file part; data → data part; stream wrapper
  // → stream part. Anything else, also a URL that is not a file URL, has no
  // part form (nullopt).
  static std::optional<NXOAuth2PostBodyPart> partWithName(const std::string& name, const NXOAuth2ParameterValue& content);
  static NXOAuth2PostBodyPart withStringContent(const std::string& name, const std::string& content);
  static NXOAuth2PostBodyPart withDataContent(const std::string& name, platform::Data content);
  // The file's size from its attributes (0 when it cannot be read; the
  // stream then fails on open).
  static NXOAuth2PostBodyPart withFileContent(const std::string& name, const std::filesystem::path& path);
  static NXOAuth2PostBodyPart withStreamContent(const std::string& name, std::shared_ptr<platform::InputStream> stream,
                                                uint64_t length, const std::string& fileName);
  static NXOAuth2PostBodyPart withHeaders(std::string headers, platform::Data content);
  static NXOAuth2PostBodyPart withHeaders(std::string headers, std::shared_ptr<platform::InputStream> stream,
                                          uint64_t length);

  const std::string& contentHeaders() const { return contentHeaders_; }
  const std::shared_ptr<platform::InputStream>& contentStream() const { return contentStream_; }
  uint64_t contentLength() const { return contentLength_; }

 private:
  NXOAuth2PostBodyPart(std::string headers, std::shared_ptr<platform::InputStream> stream, uint64_t length)
      : contentHeaders_(std::move(headers)), contentStream_(std::move(stream)), contentLength_(length) {}
  std::string contentHeaders_;
  std::shared_ptr<platform::InputStream> contentStream_;
  uint64_t contentLength_;
};

class NXOAuth2PostBodyStream final : public platform::InputStream {
 public:
  // With no parameters the stream has no pieces and a length of 0; with
  // an empty dictionary it is the closing delimiter alone. Each value gives
  // one part (an array one per element, under the same name), in the
  // parameters' order; values with no part form are left out.
  explicit NXOAuth2PostBodyStream(const std::optional<NXOAuth2Parameters>& parameters);

  const std::string& boundary() const { return boundary_; }
  // The whole body's length in bytes.
  uint64_t length() const { return numBytesTotal_; }

  void open() override;
  void close() override;
  int64_t read(uint8_t* buffer, size_t maxLength) override;
  bool hasBytesAvailable() const override { return true; }
  // Never a buffer of its own.
  bool getBuffer(uint8_t** buffer, size_t* length) const;
  platform::StreamStatus streamStatus() const override;
  std::optional<platform::Error> streamError() const override;

 private:
  std::string boundary_;
  std::vector<std::shared_ptr<platform::InputStream>> contentStreams_;
  std::shared_ptr<platform::InputStream> currentStream_;
  uint64_t streamIndex_ = 0;
  uint64_t numBytesTotal_ = 0;
  bool closed_ = false;
};

}  // namespace nxoauth2
