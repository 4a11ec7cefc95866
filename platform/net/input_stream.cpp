#include "platform/net/input_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace platform {

void DataInputStream::open() {
  if (status_ != StreamStatus::NotOpen) return;
  status_ = data_.empty() ? StreamStatus::AtEnd : StreamStatus::Open;
}

void DataInputStream::close() { status_ = StreamStatus::Closed; }

int64_t DataInputStream::read(uint8_t* buffer, size_t maxLength) {
  if (status_ != StreamStatus::Open && status_ != StreamStatus::AtEnd) return status_ == StreamStatus::Closed ? 0 : -1;
  const size_t n = std::min(maxLength, data_.size() - offset_);
  if (n > 0) std::memcpy(buffer, data_.data() + offset_, n);
  offset_ += n;
  if (offset_ == data_.size()) status_ = StreamStatus::AtEnd;
  return static_cast<int64_t>(n);
}

bool DataInputStream::hasBytesAvailable() const { return status_ == StreamStatus::Open && offset_ < data_.size(); }

FileInputStream::~FileInputStream() {
  if (fd_ >= 0) ::close(fd_);
}

void FileInputStream::fail(int err) {
  status_ = StreamStatus::Error;
  error_ = Error::make("NSPOSIXErrorDomain", err, std::strerror(err));
  error_->userInfo["NSFilePath"] = Value(path_.string());
}

void FileInputStream::open() {
  if (status_ != StreamStatus::NotOpen) return;
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    fail(errno);
    return;
  }
  status_ = StreamStatus::Open;
}

void FileInputStream::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (status_ != StreamStatus::Error) status_ = StreamStatus::Closed;
}

int64_t FileInputStream::read(uint8_t* buffer, size_t maxLength) {
  if (status_ == StreamStatus::Error || status_ == StreamStatus::NotOpen) return -1;
  if (status_ == StreamStatus::AtEnd || status_ == StreamStatus::Closed) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, maxLength);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fail(errno);
      return -1;
    }
    if (n == 0 && maxLength > 0) status_ = StreamStatus::AtEnd;
    return n;
  }
}

bool FileInputStream::hasBytesAvailable() const { return status_ == StreamStatus::Open; }

}  // namespace platform
