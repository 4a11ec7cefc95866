#include "library/backup/file_in_documents.h"

#include <algorithm>
#include <sys/stat.h>

#include <unicode/unistr.h>

#include "library/utilities.h"
#include "platform/notify/notification_center.h"

namespace fs = std::filesystem;

namespace {

std::optional<platform::Date> modificationDate(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return std::nullopt;
  return platform::Date{static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9};
}

icu::UnicodeString folded(const std::string& s) {
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(s);
  u.foldCase();
  return u;
}

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------

std::shared_ptr<FileInDocuments> FileInDocuments::fileWithURL(const fs::path& url) {
  if (!isValid(url)) return nullptr;
  return std::make_shared<FileInDocuments>(url);
}

bool FileInDocuments::isValid(const fs::path& url) {
  std::error_code ec;
  const fs::file_status st = fs::status(url, ec);
  return !ec && fs::exists(st) && !fs::is_directory(st);
}

FileInDocuments::FileInDocuments(const fs::path& url) {
  properties_["TIME"] = platform::Value("1");
  setURL(url);
}

fs::path FileInDocuments::URL() const {
  auto it = properties_.find("URL");
  return it == properties_.end() ? fs::path() : fs::path(it->second.stringValue());
}

void FileInDocuments::setURL(const fs::path& url) {
  properties_["URL"] = platform::Value(url.string());
  if (auto date = modificationDate(url))
    properties_["CREATED"] = platform::Value(*date);
  else
    properties_.erase("CREATED");
}

platform::Date FileInDocuments::createdDate() const {
  auto it = properties_.find("CREATED");
  if (it == properties_.end() || !it->second.date()) return platform::Date{};
  return *it->second.date();
}

// ---------------------------------------------------------------------------

FileInDocumentsManagedContext::FileInDocumentsManagedContext(std::vector<std::string> extensions)
    : extensions_(std::move(extensions)) {
  fetch(std::string());
}

FileInDocumentsManagedContext::~FileInDocumentsManagedContext() = default;

fs::path FileInDocumentsManagedContext::documentPath() {
  auto docs = Utilities::applicationiTunesDocumentsDirectory();
  return docs ? *docs : fs::path();
}

bool FileInDocumentsManagedContext::isOk(const std::string& fileName, const std::optional<std::string>& query) const {
  if (!query || query->empty()) return true;
  return folded(fileName).indexOf(folded(*query)) >= 0;
}

bool FileInDocumentsManagedContext::isValidType(const std::string& fileName) const {
  const std::string ext = fs::path(fileName).extension().string();
  if (ext.size() < 2) return false;
  const icu::UnicodeString mine = folded(ext.substr(1));
  return std::any_of(extensions_.begin(), extensions_.end(),
                     [&](const std::string& accepted) { return folded(accepted) == mine; });
}

void FileInDocumentsManagedContext::fetch(const std::optional<std::string>& query) {
  std::optional<std::string> trimmed;
  if (query) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(*query);
    u.trim();
    std::string s;
    u.toUTF8String(s);
    trimmed = s;
  }
  files_.clear();
  const fs::path docs = documentPath();
  if (docs.empty()) return;

  struct Candidate {
    fs::path path;
    std::string name;
    double mtime;
  };
  std::vector<Candidate> candidates;
  std::error_code ec;
  for (fs::directory_iterator it(docs, ec), end; !ec && it != end; it.increment(ec)) {
    const auto date = modificationDate(it->path());
    if (!date) continue;  // gone or unreadable
    candidates.push_back({it->path(), it->path().filename().string(), date->secondsSince1970});
  }
  if (ec) return;
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.mtime != b.mtime) return a.mtime > b.mtime;
    return a.name < b.name;
  });
  for (const Candidate& c : candidates) {
    if (!isOk(c.name, trimmed) || !isValidType(c.name)) continue;
    if (auto entry = FileInDocuments::fileWithURL(c.path)) files_.push_back(std::move(entry));
  }
}

std::shared_ptr<FileInDocuments> FileInDocumentsManagedContext::fileObjectAt(size_t index) const {
  return index < files_.size() ? files_[index] : nullptr;
}

fs::path FileInDocumentsManagedContext::fileUrlAt(size_t index) const {
  return index < files_.size() ? files_[index]->URL() : fs::path();
}

std::string FileInDocumentsManagedContext::fileNameAt(size_t index) const {
  return index < files_.size() ? files_[index]->name() : std::string();
}

platform::Date FileInDocumentsManagedContext::fileCreateDateAt(size_t index) const {
  return index < files_.size() ? files_[index]->createdDate() : platform::Date{};
}

int64_t FileInDocumentsManagedContext::indexForFileURL(const fs::path& url) const {
  const std::string name = url.filename().string();
  for (size_t i = 0; i < files_.size(); ++i)
    if (files_[i]->name() == name) return static_cast<int64_t>(i);
  return -1;
}

std::string FileInDocumentsManagedContext::renameFileAt(size_t index, const std::string& name) {
  if (index >= files_.size()) return std::string();
  FileInDocuments& entry = *files_[index];
  const fs::path from = entry.URL();
  if (!isPlainFileName(name)) return entry.name();
  const fs::path to = from.parent_path() / name;
  if (to == from || !Utilities::moveWithoutReplacing(from, to)) return entry.name();
  entry.setURL(to);
  post(kFileInDocumentsUpdatedNotification, index);
  return to.string();
}

bool FileInDocumentsManagedContext::removeFileAt(size_t index) {
  if (index >= files_.size()) return false;
  std::error_code ec;
  const fs::path path = files_[index]->URL();
  if (fs::is_directory(fs::symlink_status(path, ec)) || !fs::remove(path, ec) || ec) return false;
  files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(index));
  post(kFileInDocumentsRemovedNotification, index);
  return true;
}

void FileInDocumentsManagedContext::post(const char* name, size_t row) {
  platform::Dictionary indexPath{{"section", platform::Value(0)}, {"row", platform::Value(static_cast<int64_t>(row))}};
  platform::NotificationCenter::defaultCenter().post(name, this,
                                                     platform::Dictionary{{kFileInDocumentsIndexPathKey, indexPath}});
}

void FileInDocumentsManagedContext::addObserver(FileInDocumentsObserver* observer) {
  if (!observer) return;
  auto& center = platform::NotificationCenter::defaultCenter();
  removeObserver(observer);
  const FileInDocumentsManagedContext* self = this;
  auto fromMe = [self](const platform::Notification& n) {
    const auto* sender = n.objectAs<FileInDocumentsManagedContext*>();
    return sender && *sender == self;
  };
  center.addObserver(observer, kFileInDocumentsUpdatedNotification, [observer, fromMe](const platform::Notification& n) {
    if (fromMe(n)) observer->fileInDocumentsFileWasUpdated(n);
  });
  center.addObserver(observer, kFileInDocumentsRemovedNotification, [observer, fromMe](const platform::Notification& n) {
    if (fromMe(n)) observer->fileInDocumentsFileWasRemoved(n);
  });
}

void FileInDocumentsManagedContext::removeObserver(FileInDocumentsObserver* observer) {
  auto& center = platform::NotificationCenter::defaultCenter();
  center.removeObserver(observer, kFileInDocumentsUpdatedNotification);
  center.removeObserver(observer, kFileInDocumentsRemovedNotification);
}
