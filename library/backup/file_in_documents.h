#pragma once
// A small list model of the files in the documents folder whose extension is
// one of a given set (compared ignoring case), optionally filtered by a
// search text, newest first. It renames and deletes listed files and tells
// registered observers about each change. The local backup screens use it
// with the single extension "gbd".
//
// Notifications (default centre, object: the context, a
// FileInDocumentsManagedContext*, posted on the calling thread): "file_updated"
// after a successful rename and "file_remove" after a successful delete,
// each with "FIDDUIIndexPath" = {"section": 0, "row": the entry's index}.
//
// The modification dates are read once per fetch, before sorting, so a file
// that changes or vanishes meanwhile cannot upset the sort. Renames never
// replace another file and accept only a plain file name. Indexes outside
// the list are answered with empty results.
//
// Main thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace platform {
struct Notification;
}

inline constexpr const char* kFileInDocumentsUpdatedNotification = "file_updated";
inline constexpr const char* kFileInDocumentsRemovedNotification = "file_remove";
inline constexpr const char* kFileInDocumentsIndexPathKey = "FIDDUIIndexPath";

// One listed file: "URL" (its path), "TIME" ("1", always) and "CREATED" (its
// modification date, read when the URL is set).
class FileInDocuments {
 public:
  // A new entry, or nullptr when `url` is not an existing non-folder.
  static std::shared_ptr<FileInDocuments> fileWithURL(const std::filesystem::path& url);
  static bool isValid(const std::filesystem::path& url);

  explicit FileInDocuments(const std::filesystem::path& url);

  std::filesystem::path URL() const;
  void setURL(const std::filesystem::path& url);
  std::string name() const { return URL().filename().string(); }
  platform::Date createdDate() const;
  const platform::Dictionary& properties() const { return properties_; }
  // fileWithURL of the same URL: nullptr when the file has gone.
  std::shared_ptr<FileInDocuments> copy() const { return fileWithURL(URL()); }

 private:
  platform::Dictionary properties_;
};

// Receives the context's changes.
class FileInDocumentsObserver {
 public:
  virtual ~FileInDocumentsObserver() = default;
  virtual void fileInDocumentsFileWasUpdated(const platform::Notification& notification) = 0;
  virtual void fileInDocumentsFileWasRemoved(const platform::Notification& notification) = 0;
};

class FileInDocumentsManagedContext {
 public:
  // Keeps the extensions and lists with the empty query.
  explicit FileInDocumentsManagedContext(std::vector<std::string> extensions);
  ~FileInDocumentsManagedContext();
  FileInDocumentsManagedContext(const FileInDocumentsManagedContext&) = delete;
  FileInDocumentsManagedContext& operator=(const FileInDocumentsManagedContext&) = delete;

  const std::vector<std::string>& extensions() const { return extensions_; }

  // Rebuilds the list: the top level of the documents folder, newest first
  // (equal dates by name), files only, of an accepted extension, whose name
  // contains the trimmed query ignoring case.
  void fetch(const std::optional<std::string>& query = std::nullopt);

  size_t count() const { return files_.size(); }
  std::shared_ptr<FileInDocuments> fileObjectAt(size_t index) const;
  std::filesystem::path fileUrlAt(size_t index) const;
  std::string fileNameAt(size_t index) const;
  platform::Date fileCreateDateAt(size_t index) const;
  // The first entry whose name equals the URL's last component; -1 if none.
  int64_t indexForFileURL(const std::filesystem::path& url) const;

  // Renames the file in its folder: the new full path, or the entry's old
  // name when the rename failed. The entry keeps its place in the list.
  std::string renameFileAt(size_t index, const std::string& name);
  // Deletes the file; false (list unchanged) when it could not.
  bool removeFileAt(size_t index);

  bool isOk(const std::string& fileName, const std::optional<std::string>& query) const;
  bool isValidType(const std::string& fileName) const;

  // Registers `observer` (not owned; remove it before it goes) for both
  // notifications of this context.
  void addObserver(FileInDocumentsObserver* observer);
  void removeObserver(FileInDocumentsObserver* observer);

  static std::filesystem::path documentPath();

 private:
  void post(const char* name, size_t row);

  std::vector<std::string> extensions_;
  std::vector<std::shared_ptr<FileInDocuments>> files_;
};
