#include "library/backup/zip_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <unzip.h>
#include <zip.h>
#include <zlib.h>

#include "library/backup/backup_log.h"
#include "library/backup/zip_crypto.h"
#include "platform/foundation/atomic_file.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned long kFlagEncrypted = 1u << 0;
constexpr unsigned long kFlagDataDescriptor = 1u << 3;
constexpr unsigned long kFlagStrongEncryption = 1u << 6;
constexpr size_t kReadPiece = 4096;

zipFile asZip(void* p) { return static_cast<zipFile>(p); }
unzFile asUnz(void* p) { return static_cast<unzFile>(p); }

// The entry date of a modification time. DOS dates cover 1980 to 2107, so
// times outside are pinned to the ends rather than wrapped by minizip.
tm_zip zipDateOf(time_t mtime) {
  struct tm t {};
  localtime_r(&mtime, &t);
  tm_zip z{};
  const int year = t.tm_year + 1900;
  if (year < 1980) {
    z.tm_mday = 1;
    z.tm_mon = 0;
    z.tm_year = 1980;
    return z;
  }
  if (year > 2107) {
    z.tm_sec = 58;
    z.tm_min = 59;
    z.tm_hour = 23;
    z.tm_mday = 31;
    z.tm_mon = 11;
    z.tm_year = 2107;
    return z;
  }
  z.tm_sec = static_cast<uInt>(t.tm_sec > 59 ? 59 : t.tm_sec);
  z.tm_min = static_cast<uInt>(t.tm_min);
  z.tm_hour = static_cast<uInt>(t.tm_hour);
  z.tm_mday = static_cast<uInt>(t.tm_mday);
  z.tm_mon = static_cast<uInt>(t.tm_mon);
  z.tm_year = static_cast<uInt>(year);
  return z;
}

time_t timeOf(const tm_unz& d) {
  struct tm t {};
  t.tm_sec = static_cast<int>(d.tm_sec);
  t.tm_min = static_cast<int>(d.tm_min);
  t.tm_hour = static_cast<int>(d.tm_hour);
  t.tm_mday = static_cast<int>(d.tm_mday);
  t.tm_mon = static_cast<int>(d.tm_mon);
  t.tm_year = static_cast<int>(d.tm_year) - 1900;
  t.tm_isdst = -1;
  return mktime(&t);
}

bool readWholeFile(const fs::path& path, uint64_t limit, std::vector<uint8_t>* out, time_t* mtime,
                   std::string* why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *why = "not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > limit) {
    ::close(fd);
    *why = "too large";
    return false;
  }
  *mtime = st.st_mtime;
  out->clear();
  out->reserve(static_cast<size_t>(st.st_size));
  uint8_t buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      *why = std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out->insert(out->end(), buf, buf + n);
    if (out->size() > limit) {
      *why = "too large";
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  return true;
}

bool deflateRaw(const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  z_stream s{};
  if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out->resize(deflateBound(&s, static_cast<uLong>(in.size())));
  s.next_in = const_cast<Bytef*>(in.data());
  s.avail_in = static_cast<uInt>(in.size());
  s.next_out = out->data();
  s.avail_out = static_cast<uInt>(out->size());
  const int rc = deflate(&s, Z_FINISH);
  out->resize(s.total_out);
  deflateEnd(&s);
  return rc == Z_STREAM_END;
}

void randomBytes(uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    const ssize_t r = ::getrandom(out + got, n - got, 0);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  if (got < n) {
    std::random_device rd;
    for (; got < n; ++got) out[got] = static_cast<uint8_t>(rd());
  }
}

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = path.find('/', start);
    const size_t end = slash == std::string::npos ? path.size() : slash;
    out.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return out;
}

// A handle on root/comps[0]/.../comps[count-1], creating the folders when
// asked; a symbolic link anywhere on the way fails it.
int openFolderChain(int rootFd, const std::vector<std::string>& comps, size_t count, bool create) {
  int fd = ::dup(rootFd);
  if (fd < 0) return -1;
  for (size_t i = 0; i < count; ++i) {
    if (create && ::mkdirat(fd, comps[i].c_str(), 0755) != 0 && errno != EEXIST) {
      ::close(fd);
      return -1;
    }
    const int next = ::openat(fd, comps[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    if (next < 0) return -1;
    fd = next;
  }
  return fd;
}

}  // namespace

struct ZipArchive::Entry {
  std::string name;  // as stored
  std::string path;  // where it unpacks, relative
  bool folder = false;
  uint64_t bound = 0;  // the most it may unpack to
  unz_file_info64 info{};
};

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive() {
  if (zipFile_) CloseZipFile2();
  if (unzFile_) UnzipCloseFile();
}

bool ZipArchive::CreateZipFile2(const fs::path& path) {
  // An open writer would otherwise be lost half-written.
  if (zipFile_) return false;
  zipFile_ = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  return zipFile_ != nullptr;
}

bool ZipArchive::CreateZipFile2(const fs::path& path, const std::string& password) {
  if (zipFile_) return false;
  writePassword_ = password;
  const bool ok = CreateZipFile2(path);
  if (!ok) writePassword_.clear();
  return ok;
}

bool ZipArchive::addFileToZip(const fs::path& file, const std::string& newname) {
  if (!zipFile_) return false;
  std::vector<uint8_t> data;
  time_t mtime = 0;
  std::string why;
  // An unreadable file must not become an empty entry that looks like a
  // good backup.
  if (!readWholeFile(file, limits_.maxEntrySize, &data, &mtime, &why)) {
    backupLog("cannot add " + file.string() + " to the archive: " + why);
    return false;
  }
  zip_fileinfo zi{};
  zi.tmz_date = zipDateOf(mtime);
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size()));

  if (writePassword_.empty()) {
    if (zipOpenNewFileInZip(asZip(zipFile_), newname.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION) != ZIP_OK)
      return false;
    if (!data.empty() &&
        zipWriteInFileInZip(asZip(zipFile_), data.data(), static_cast<unsigned>(data.size())) != ZIP_OK) {
      zipCloseFileInZip(asZip(zipFile_));
      return false;
    }
    return zipCloseFileInZip(asZip(zipFile_)) == ZIP_OK;
  }

  // Deflate and encipher here; minizip stores the bytes as they are.
  std::vector<uint8_t> compressed;
  if (!deflateRaw(data, &compressed)) return false;
  std::vector<uint8_t> stored(ZipCrypto::kHeaderSize + compressed.size());
  uint8_t random[11];
  randomBytes(random, sizeof random);
  ZipCrypto crypto(writePassword_);
  crypto.encryptHeader(std::span<const uint8_t, 11>(random, 11), static_cast<uint8_t>(crc >> 24),
                       std::span<uint8_t, ZipCrypto::kHeaderSize>(stored.data(), ZipCrypto::kHeaderSize));
  std::memcpy(stored.data() + ZipCrypto::kHeaderSize, compressed.data(), compressed.size());
  crypto.encrypt(std::span<uint8_t>(stored.data() + ZipCrypto::kHeaderSize, compressed.size()));

  if (zipOpenNewFileInZip4(asZip(zipFile_), newname.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                           Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                           kFlagEncrypted) != ZIP_OK)
    return false;
  if (zipWriteInFileInZip(asZip(zipFile_), stored.data(), static_cast<unsigned>(stored.size())) != ZIP_OK) {
    zipCloseFileInZipRaw(asZip(zipFile_), static_cast<uLong>(data.size()), crc);
    return false;
  }
  return zipCloseFileInZipRaw(asZip(zipFile_), static_cast<uLong>(data.size()), crc) == ZIP_OK;
}

bool ZipArchive::CloseZipFile2() {
  writePassword_.clear();
  if (!zipFile_) return false;
  const int rc = zipClose(asZip(zipFile_), nullptr);
  zipFile_ = nullptr;
  return rc == ZIP_OK;
}

bool ZipArchive::UnzipOpenFile(const fs::path& path) {
  if (unzFile_) return false;
  unzFile_ = unzOpen64(path.c_str());
  if (!unzFile_) return false;
  unz_global_info64 gi{};
  if (unzGetGlobalInfo64(asUnz(unzFile_), &gi) == UNZ_OK)
    backupLog(std::to_string(gi.number_entry) + " entries in the zip file");
  return true;
}

bool ZipArchive::UnzipOpenFile(const fs::path& path, const std::string& password) {
  if (unzFile_) return false;
  readPassword_ = password;
  const bool ok = UnzipOpenFile(path);
  if (!ok) readPassword_.clear();
  return ok;
}

bool ZipArchive::UnzipCloseFile() {
  readPassword_.clear();
  if (!unzFile_) return true;
  const int rc = unzClose(asUnz(unzFile_));
  unzFile_ = nullptr;
  return rc == UNZ_OK;
}

void ZipArchive::OutputErrorMessage(const std::string& message) {
  if (delegate_) delegate_->ErrorMessage(message);
}

bool ZipArchive::OverWrite(const fs::path& path) { return delegate_ ? delegate_->OverWriteOperation(path) : true; }

platform::Date ZipArchive::Date1980() {
  struct tm t {};
  t.tm_year = 80;
  t.tm_mday = 1;
  t.tm_isdst = -1;
  return platform::Date{static_cast<double>(mktime(&t))};
}

std::optional<std::string> ZipArchive::safeEntryPath(std::string_view name, bool* isFolder) {
  if (name.empty()) return std::nullopt;
  std::string s(name);
  for (char& c : s) {
    if (c == '\0') return std::nullopt;
    if (c == '\\') c = '/';
  }
  const bool folder = s.back() == '/';
  if (isFolder) *isFolder = folder;
  if (s.front() == '/') return std::nullopt;
  // "C:" would be a drive on the systems that write backslashes.
  if (s.size() >= 2 && s[1] == ':') return std::nullopt;
  if (folder) s.pop_back();
  if (s.empty()) return std::nullopt;
  for (const std::string& c : components(s)) {
    if (c.empty() || c == "." || c == "..") return std::nullopt;
  }
  return s;
}

bool ZipArchive::UnzipFileTo(const fs::path& folder, bool overwrite) {
  if (!unzFile_) {
    OutputErrorMessage(kZipErrorFailed);
    OutputErrorMessage(kZipErrorOccurs);
    return false;
  }
  unzFile uf = asUnz(unzFile_);

  // First every name and size, so a hostile archive is refused before it
  // has written anything.
  unz_global_info64 gi{};
  if (unzGetGlobalInfo64(uf, &gi) == UNZ_OK && gi.number_entry > limits_.maxEntries) {
    OutputErrorMessage(kZipErrorLimits);
    return false;
  }
  if (unzGoToFirstFile(uf) != UNZ_OK) {
    OutputErrorMessage(kZipErrorFailed);
    OutputErrorMessage(kZipErrorOccurs);
    return false;
  }
  std::vector<Entry> entries;
  std::map<std::string, bool> seen;  // path -> folder
  uint64_t total = 0;
  for (;;) {
    Entry e;
    if (unzGetCurrentFileInfo64(uf, &e.info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      OutputErrorMessage(kZipErrorFileInfo);
      return false;
    }
    if (e.info.size_filename > limits_.maxNameLength) {
      OutputErrorMessage(kZipErrorUnsafeName);
      return false;
    }
    std::vector<char> name(e.info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(uf, &e.info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
      OutputErrorMessage(kZipErrorFileInfo);
      return false;
    }
    e.name.assign(name.data(), e.info.size_filename);
    auto path = safeEntryPath(e.name, &e.folder);
    if (!path) {
      backupLog("refused the entry name \"" + e.name + "\"");
      OutputErrorMessage(kZipErrorUnsafeName);
      return false;
    }
    e.path = *path;
    auto [it, fresh] = seen.emplace(e.path, e.folder);
    if (!fresh && !(it->second && e.folder)) {
      // Two entries for one file: which one wins would be up to the order.
      backupLog("refused the repeated entry \"" + e.name + "\"");
      OutputErrorMessage(kZipErrorUnsafeName);
      return false;
    }
    if (e.info.compression_method != 0 && e.info.compression_method != Z_DEFLATED) {
      OutputErrorMessage(kZipErrorUnsupported);
      return false;
    }
    if (e.info.flag & kFlagStrongEncryption) {
      OutputErrorMessage(kZipErrorUnsupported);
      return false;
    }
    if ((e.info.flag & kFlagEncrypted) && readPassword_.empty()) {
      OutputErrorMessage(kZipErrorOccurs);
      return false;
    }
    if (!e.folder) {
      e.bound = limits_.maxEntrySize;
      if (limits_.entryBound) e.bound = std::min(e.bound, limits_.entryBound(e.path));
      total += e.info.uncompressed_size;
      if (e.info.uncompressed_size > e.bound) {
        backupLog("refused the entry \"" + e.name + "\": it declares " + std::to_string(e.info.uncompressed_size) +
                  " bytes, more than the " + std::to_string(e.bound) + " it may hold");
        OutputErrorMessage(kZipErrorLimits);
        return false;
      }
      if (total > limits_.maxTotalSize) {
        backupLog("refused the archive: its entries declare more than " + std::to_string(limits_.maxTotalSize) +
                  " bytes");
        OutputErrorMessage(kZipErrorLimits);
        return false;
      }
    }
    entries.push_back(std::move(e));
    if (entries.size() > limits_.maxEntries) {
      OutputErrorMessage(kZipErrorLimits);
      return false;
    }
    const int rc = unzGoToNextFile(uf);
    if (rc == UNZ_END_OF_LIST_OF_FILE) break;
    if (rc != UNZ_OK) {
      OutputErrorMessage(kZipErrorOccurs);
      return false;
    }
  }

  std::error_code ec;
  fs::create_directories(folder, ec);
  const int rootFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) {
    OutputErrorMessage(kZipErrorWriting);
    return false;
  }
  bool passwordProven = false;
  bool ok = unzGoToFirstFile(uf) == UNZ_OK;
  if (!ok) OutputErrorMessage(kZipErrorFailed);
  for (size_t i = 0; ok && i < entries.size(); ++i) {
    if (i > 0 && unzGoToNextFile(uf) != UNZ_OK) {
      OutputErrorMessage(kZipErrorOccurs);
      ok = false;
      break;
    }
    const Entry& e = entries[i];
    if (e.folder) {
      const auto comps = components(e.path);
      const int fd = openFolderChain(rootFd, comps, comps.size(), true);
      if (fd < 0) {
        backupLog("cannot create the folder " + (folder / e.path).string());
        OutputErrorMessage(kZipErrorWriting);
        ok = false;
        break;
      }
      ::close(fd);
      continue;
    }
    bool skipped = false;
    ok = writeEntry(e, rootFd, folder, overwrite, &skipped, &passwordProven);
  }
  ::close(rootFd);
  return ok;
}

bool ZipArchive::writeEntry(const Entry& e, int rootFd, const fs::path& folder, bool overwrite, bool* skipped,
                            bool* passwordProven) {
  unzFile uf = asUnz(unzFile_);
  const auto comps = components(e.path);
  const int dirFd = openFolderChain(rootFd, comps, comps.size() - 1, true);
  if (dirFd < 0) {
    backupLog("cannot create the folder of " + (folder / e.path).string());
    OutputErrorMessage(kZipErrorWriting);
    return false;
  }
  const std::string& leaf = comps.back();
  const fs::path full = folder / e.path;
  struct stat st {};
  if (::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!overwrite && !OverWrite(full)) {
      ::close(dirFd);
      *skipped = true;
      return true;
    }
    // A link is replaced, never written through.
    if (S_ISDIR(st.st_mode) || ::unlinkat(dirFd, leaf.c_str(), 0) != 0) {
      ::close(dirFd);
      OutputErrorMessage(kZipErrorWriting);
      return false;
    }
  }
  int method = 0;
  if (unzOpenCurrentFile2(uf, &method, nullptr, 1) != UNZ_OK) {
    ::close(dirFd);
    OutputErrorMessage(kZipErrorOccurs);
    return false;
  }
  const int fd = ::openat(dirFd, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    unzCloseCurrentFile(uf);
    ::close(dirFd);
    OutputErrorMessage(kZipErrorWriting);
    return false;
  }

  const bool encrypted = (e.info.flag & kFlagEncrypted) != 0;
  const uint8_t checkByte = (e.info.flag & kFlagDataDescriptor) ? static_cast<uint8_t>((e.info.dosDate >> 8) & 0xff)
                                                                : static_cast<uint8_t>((e.info.crc >> 24) & 0xff);
  ZipCrypto crypto(readPassword_);
  uint8_t header[ZipCrypto::kHeaderSize];
  size_t headerGot = 0;
  z_stream zs{};
  const bool deflated = method == Z_DEFLATED;
  bool streamEnd = !deflated;
  if (deflated && inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
    ::close(fd);
    ::unlinkat(dirFd, leaf.c_str(), 0);
    unzCloseCurrentFile(uf);
    ::close(dirFd);
    OutputErrorMessage(kZipErrorReading);
    return false;
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t outSize = 0;
  const char* failure = nullptr;

  auto emit = [&](const uint8_t* p, size_t n) {
    // The header may lie: inflation stops at the bound, and at the declared
    // size, whatever the stream would still give.
    if (outSize + n > e.bound) {
      failure = kZipErrorLimits;
      return;
    }
    if (outSize + n > e.info.uncompressed_size) {
      failure = kZipErrorCRC;  // more data than the entry declares
      return;
    }
    outSize += n;
    crc = crc32(crc, p, static_cast<uInt>(n));
    if (!platform::writeAll(fd, p, n)) failure = kZipErrorWriting;
  };

  uint8_t in[kReadPiece];
  uint8_t out[4 * kReadPiece];
  while (!failure) {
    const int n = unzReadCurrentFile(uf, in, sizeof in);
    if (n < 0) {
      failure = kZipErrorReading;
      break;
    }
    if (n == 0) break;
    uint8_t* p = in;
    size_t len = static_cast<size_t>(n);
    if (encrypted) {
      crypto.decrypt(std::span<uint8_t>(p, len));
      while (headerGot < ZipCrypto::kHeaderSize && len > 0) {
        header[headerGot++] = *p++;
        --len;
      }
      if (headerGot < ZipCrypto::kHeaderSize) continue;
      if (headerGot == ZipCrypto::kHeaderSize) {
        if (header[ZipCrypto::kHeaderSize - 1] != checkByte) {
          failure = kZipErrorPassword;
          break;
        }
        ++headerGot;  // checked
      }
    }
    if (len == 0) continue;
    if (!deflated) {
      emit(p, len);
      continue;
    }
    if (streamEnd) {
      failure = kZipErrorReading;  // bytes after the end of the stream
      break;
    }
    zs.next_in = p;
    zs.avail_in = static_cast<uInt>(len);
    while (!failure) {
      zs.next_out = out;
      zs.avail_out = sizeof out;
      const int rc = inflate(&zs, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        failure = kZipErrorReading;
        break;
      }
      const size_t produced = sizeof out - zs.avail_out;
      if (produced) emit(out, produced);
      if (rc == Z_STREAM_END) {
        streamEnd = true;
        if (zs.avail_in > 0) failure = kZipErrorReading;
        break;
      }
      if (rc == Z_BUF_ERROR && produced == 0) break;
      if (zs.avail_in == 0 && zs.avail_out != 0) break;
    }
  }
  if (deflated) inflateEnd(&zs);
  if (!failure && encrypted && headerGot <= ZipCrypto::kHeaderSize) failure = kZipErrorReading;
  if (!failure && !streamEnd) failure = kZipErrorReading;
  if (!failure && (outSize != e.info.uncompressed_size || crc != e.info.crc)) failure = kZipErrorCRC;
  if (encrypted) {
    const bool checkBytePassed = headerGot > ZipCrypto::kHeaderSize;
    // An empty entry comes out whole under any password that passes its
    // check byte, so only one with data vouches for the password. Before
    // that, noise from the keystream of a wrong password is the likelier
    // cause of a failed inflation or CRC than a damaged archive.
    if (!failure && e.info.uncompressed_size > 0)
      *passwordProven = true;
    else if (checkBytePassed && !*passwordProven && (failure == kZipErrorReading || failure == kZipErrorCRC))
      failure = kZipErrorPassword;
  }

  if (!failure) {
    const time_t mtime = timeOf(e.info.tmu_date);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = mtime;
    times[1].tv_nsec = 0;
    if (::futimens(fd, times) != 0) backupLog("Failed to set attributes");
  }
  if (::close(fd) != 0 && !failure) failure = kZipErrorWriting;
  if (failure) ::unlinkat(dirFd, leaf.c_str(), 0);
  unzCloseCurrentFile(uf);
  ::close(dirFd);
  if (failure) {
    backupLog(std::string(failure) + " in the entry \"" + e.name + "\"");
    OutputErrorMessage(failure);
    return false;
  }
  return true;
}
