#include "platform/foundation/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {
namespace {

void setError(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
}

std::atomic<AtomicWriteObserver> writeObserver{nullptr};

}  // namespace

bool writeAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void syncDirectory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string temporaryNamePrefix(const std::filesystem::path& path) {
  return "." + path.filename().string() + ".";
}

void setAtomicWriteObserverForTesting(AtomicWriteObserver observer) { writeObserver.store(observer); }

bool writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                         std::string* error, unsigned mode) {
  const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
  std::string tmpl = (dir / (temporaryNamePrefix(path) + "XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    setError(error, "cannot create temporary file in " + dir.string());
    return false;
  }
  const std::string tmp(name.data());
  // mkstemp makes the file 0600 less the umask; it takes its final mode
  // before any byte goes in, so the bytes are never under wider rights.
  bool ok = ::fchmod(fd, static_cast<mode_t>(mode & 07777)) == 0;
  if (!ok) setError(error, "cannot set the mode of " + tmp);
  if (ok && !writeAll(fd, bytes.data(), bytes.size())) {
    setError(error, "cannot write " + tmp);
    ok = false;
  }
  if (ok && ::fsync(fd) != 0) {
    setError(error, "cannot flush " + tmp);
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    setError(error, "cannot close " + tmp);
    ok = false;
  }
  if (ok) {
    if (const AtomicWriteObserver observer = writeObserver.load()) observer(tmp);
  }
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
    setError(error, "cannot rename onto " + path.string());
    ok = false;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  syncDirectory(dir);
  return true;
}

bool writeFileAtomically(const std::filesystem::path& path, const std::string& text,
                         std::string* error, unsigned mode) {
  return writeFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
      error, mode);
}

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  // One read of the size the file has, instead of a growing copy byte by
  // byte; a file that grows meanwhile is read on to its end.
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  std::vector<uint8_t> bytes(ec ? 0 : static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (!in.eof() && !in.bad())
    bytes.insert(bytes.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace platform
