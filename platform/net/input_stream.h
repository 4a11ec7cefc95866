#pragma once
// Input streams: what a request body is read from while it is sent. A body
// may be in-memory data, a file, or a composite of pieces (the OAuth2 layer's
// multipart body), so URL loading reads it piece by piece and never needs
// the whole body in memory.
//
// A stream is used by one thread at a time (the run loop's thread that sends
// it). Not real-time-safe.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/foundation/value.h"
#include "platform/net/error.h"

namespace platform {

// The platform's stream states, with its numbers.
enum class StreamStatus : int {
  NotOpen = 0,
  Opening = 1,
  Open = 2,
  Reading = 3,
  Writing = 4,
  AtEnd = 5,
  Closed = 6,
  Error = 7,
};

class InputStream {
 public:
  virtual ~InputStream() = default;
  virtual void open() = 0;
  virtual void close() = 0;
  // Bytes read (up to maxLength), 0 at the end, negative on an error (then
  // streamError() says which).
  virtual int64_t read(uint8_t* buffer, size_t maxLength) = 0;
  virtual bool hasBytesAvailable() const = 0;
  virtual StreamStatus streamStatus() const = 0;
  virtual std::optional<Error> streamError() const = 0;
};

class DataInputStream final : public InputStream {
 public:
  explicit DataInputStream(Data data) : data_(std::move(data)) {}
  void open() override;
  void close() override;
  int64_t read(uint8_t* buffer, size_t maxLength) override;
  bool hasBytesAvailable() const override;
  StreamStatus streamStatus() const override { return status_; }
  std::optional<Error> streamError() const override { return std::nullopt; }

 private:
  Data data_;
  size_t offset_ = 0;
  StreamStatus status_ = StreamStatus::NotOpen;
};

// Reads a file from its start; a file that cannot be opened puts the stream
// in the error state on open (domain "NSPOSIXErrorDomain", code = errno).
class FileInputStream final : public InputStream {
 public:
  explicit FileInputStream(std::filesystem::path path) : path_(std::move(path)) {}
  ~FileInputStream() override;
  void open() override;
  void close() override;
  int64_t read(uint8_t* buffer, size_t maxLength) override;
  bool hasBytesAvailable() const override;
  StreamStatus streamStatus() const override { return status_; }
  std::optional<Error> streamError() const override { return error_; }

 private:
  void fail(int err);

  std::filesystem::path path_;
  int fd_ = -1;
  StreamStatus status_ = StreamStatus::NotOpen;
  std::optional<Error> error_;
};

}  // namespace platform
