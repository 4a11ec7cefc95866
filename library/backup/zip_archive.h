#pragma once
// A small wrapper over minizip that writes and reads the backup archives:
// it creates a zip file and adds files one by one under chosen entry names,
// optionally enciphered with the traditional PKWARE encryption, and unpacks
// every entry of an archive into a folder, restoring each file's date.
//
// minizip keeps the container (local headers, central directory, names, DOS
// dates). Entries with a password are deflated and enciphered here and
// handed to minizip in raw mode; reading takes the raw bytes back,
// deciphers, inflates and checks the size and CRC-32 of every entry, so a
// wrong password or a damaged entry is an error, never a silently garbled
// file. Archives open with `unzip -P` and Python's zipfile.
//
// The cipher's check byte lets one wrong password in 256 past an entry's
// header; its data then fails to inflate or fails the CRC. So until an
// enciphered entry with data has come out whole, such a failure is reported
// as a wrong password; after that the password is known good and the entry
// is damaged. (A damaged first entry therefore reads as a wrong password.)
//
// Unpacking treats the archive as hostile input: before anything is written
// every entry name is checked (no absolute names, drive letters, "." or ".."
// components, empty components or NUL; backslashes count as "/"), names must
// be unique, and the entry count and sizes must stay within the limits.
// Files are created below the folder through directory handles that never
// follow a symbolic link, with O_EXCL, so no existing link can redirect a
// write. A file whose entry fails is removed again.
//
// One wrapper holds at most one archive being written and one being read.
// Used by one thread at a time; separate wrappers may run on different
// threads.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

// Optional receiver of the wrapper's error texts and overwrite questions;
// the defaults are what the wrapper does without a delegate.
class ZipArchiveDelegate {
 public:
  virtual ~ZipArchiveDelegate() = default;
  virtual void ErrorMessage(const std::string& message) { (void)message; }
  // Whether to replace the existing file at `path`.
  virtual bool OverWriteOperation(const std::filesystem::path& path) {
    (void)path;
    return true;
  }
};

// Bounds on what an archive may unpack to. A whole library is about 416
// pattern files of 29 KB, far below these.
struct ZipArchiveLimits {
  uint64_t maxEntries = 10000;
  uint64_t maxEntrySize = 64ull << 20;
  uint64_t maxTotalSize = 512ull << 20;
  size_t maxNameLength = 1024;
  // A tighter bound for the file an entry unpacks to, by its relative path
  // (empty: maxEntrySize for all). An entry that declares more than its
  // bound is refused before anything is unpacked, and no entry is inflated
  // past its bound, whatever its header says.
  std::function<uint64_t(std::string_view path)> entryBound;
};

// The texts sent to the delegate.
inline constexpr const char* kZipErrorFailed = "Failed";
inline constexpr const char* kZipErrorOccurs = "Error occurs";
inline constexpr const char* kZipErrorFileInfo = "Error occurs while getting file info";
inline constexpr const char* kZipErrorReading = "Failed to reading zip file";
inline constexpr const char* kZipErrorUnsafeName = "Unsafe entry name";
inline constexpr const char* kZipErrorLimits = "Archive exceeds the size limits";
inline constexpr const char* kZipErrorUnsupported = "Unsupported entry";
inline constexpr const char* kZipErrorPassword = "Wrong password";
inline constexpr const char* kZipErrorCRC = "CRC error";
inline constexpr const char* kZipErrorWriting = "Failed to write file";

class ZipArchive {
 public:
  ZipArchive();
  // Closes an archive still open for writing; one open for reading is closed
  // too (callers send UnzipCloseFile first).
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // A new zip file at `path` (an existing file there is replaced); true when
  // the writer is open.
  bool CreateZipFile2(const std::filesystem::path& path);
  // The same, with every entry enciphered under `password` (empty: none).
  bool CreateZipFile2(const std::filesystem::path& path, const std::string& password);
  // Appends the regular file `file` as entry `newname`, dated with its
  // modification time. False when no writer is open, the file cannot be read
  // (no entry is made then) or a write fails.
  bool addFileToZip(const std::filesystem::path& file, const std::string& newname);
  // Drops the password and closes the writer; false when none was open or
  // the archive could not be finished.
  bool CloseZipFile2();

  bool UnzipOpenFile(const std::filesystem::path& path);
  bool UnzipOpenFile(const std::filesystem::path& path, const std::string& password);
  // Unpacks every entry below `folder` (created when missing). Without an
  // open archive (minizip does not open one without entries) it reports
  // "Failed" and "Error occurs" and creates nothing. Existing
  // files are replaced when `overwrite`, otherwise only when the delegate
  // agrees. False, with a text to the delegate, on the first entry that
  // fails; entries before it stay unpacked.
  bool UnzipFileTo(const std::filesystem::path& folder, bool overwrite);
  // Drops the password and closes the reader; true also when none was open.
  bool UnzipCloseFile();

  void OutputErrorMessage(const std::string& message);
  bool OverWrite(const std::filesystem::path& path);
  // 1 January 1980, 00:00:00 local time.
  static platform::Date Date1980();

  ZipArchiveDelegate* delegate() const { return delegate_; }
  // Not owned; must outlive its use by this wrapper.
  void setDelegate(ZipArchiveDelegate* delegate) { delegate_ = delegate; }

  const ZipArchiveLimits& limits() const { return limits_; }
  void setLimits(const ZipArchiveLimits& limits) { limits_ = limits; }

  // The relative path an entry name unpacks to ("\" read as "/"), or nothing
  // when the name could leave the target folder or is malformed; `isFolder`
  // tells whether the name ends in a separator.
  static std::optional<std::string> safeEntryPath(std::string_view name, bool* isFolder = nullptr);

 private:
  struct Entry;
  // `passwordProven` tells whether an earlier enciphered entry came out
  // whole; set when this one does.
  bool writeEntry(const Entry& entry, int rootFd, const std::filesystem::path& folder, bool overwrite, bool* skipped,
                  bool* passwordProven);

  void* zipFile_ = nullptr;
  void* unzFile_ = nullptr;
  std::string writePassword_;
  std::string readPassword_;
  ZipArchiveDelegate* delegate_ = nullptr;
  ZipArchiveLimits limits_;
};
