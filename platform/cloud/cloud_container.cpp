#include "platform/cloud/cloud_container.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/atomic_file.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

void setError(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
}

void setError(std::string* error, const std::string& what) {
  if (error) *error = what;
}

std::optional<fs::path> nonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return fs::path(v);
}

// The copy half of a move between file systems: the bytes reach a hidden
// name in the target folder first, so `to` never shows a partial file.
bool copyThenLink(const fs::path& from, const fs::path& to, std::string* error) {
  const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) {
    setError(error, "cannot open " + from.string(), errno);
    return false;
  }
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    setError(error, from.string() + " is not a regular file");
    return false;
  }
  const fs::path dir = to.has_parent_path() ? to.parent_path() : fs::path(".");
  std::string tmpl = (dir / ("." + to.filename().string() + ".move-XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int out = ::mkstemp(name.data());
  if (out < 0) {
    const int err = errno;
    ::close(in);
    setError(error, "cannot create a temporary file in " + dir.string(), err);
    return false;
  }
  const std::string tmp(name.data());
  bool ok = true;
  int err = 0;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!writeAll(out, buf, static_cast<size_t>(n))) {
      err = errno;
      ok = false;
      break;
    }
  }
  if (ok) {
    // The copy is the same document: keep its mode and its dates.
    ::fchmod(out, st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    if (::fsync(out) != 0) {
      err = errno;
      ok = false;
    }
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && ::link(tmp.c_str(), to.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  ::unlink(tmp.c_str());
  if (!ok) {
    setError(error, "cannot move " + from.string() + " to " + to.string(), err);
    return false;
  }
  syncDirectory(dir);
  if (::unlink(from.c_str()) != 0) {
    // Both copies exist now; the document is safe, the source only lingers.
    setError(error, "moved, but cannot remove " + from.string(), errno);
  }
  return true;
}

}  // namespace

bool moveFileWithoutReplacing(const fs::path& from, const fs::path& to, std::string* error) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    syncDirectory(to.has_parent_path() ? to.parent_path() : fs::path("."));
    return true;
  }
  const int err = errno;
  if (err == EXDEV) return copyThenLink(from, to, error);
  if (err == EINVAL || err == ENOSYS) {
    // No no-replace rename on this file system: link() refuses an existing
    // target just as atomically (files only; directories are not moved here).
    if (::link(from.c_str(), to.c_str()) != 0) {
      if (errno == EXDEV) return copyThenLink(from, to, error);
      setError(error, "cannot move " + from.string() + " to " + to.string(), errno);
      return false;
    }
    ::unlink(from.c_str());
    return true;
  }
  setError(error, "cannot move " + from.string() + " to " + to.string(), err);
  return false;
}

std::optional<fs::path> DirectoryCloudContainer::defaultRoot() {
  if (auto home = nonEmptyEnv("IGROOVEBIX_CLOUD_HOME")) return *home;
  if (auto xdg = nonEmptyEnv("XDG_DATA_HOME"); xdg && xdg->is_absolute()) return *xdg / "igroovebix" / "iCloud";
  if (auto home = nonEmptyEnv("HOME")) return *home / ".local" / "share" / "igroovebix" / "iCloud";
  return std::nullopt;
}

DirectoryCloudContainer::DirectoryCloudContainer(std::optional<fs::path> root) {
  if (root) root_ = root->lexically_normal();
}

std::optional<fs::path> DirectoryCloudContainer::URLForUbiquityContainer() {
  if (!root_) return std::nullopt;
  std::error_code ec;
  if (!fs::is_directory(*root_, ec)) return std::nullopt;
  return *root_;
}

std::vector<MetadataItem> DirectoryCloudContainer::documentItems(const std::string& nameSuffix) {
  std::vector<MetadataItem> items;
  const auto root = URLForUbiquityContainer();
  if (!root) return items;
  const fs::path docs = *root / "Documents";
  std::error_code ec;
  if (!fs::is_directory(docs, ec)) return items;
  fs::recursive_directory_iterator it(docs, fs::directory_options::skip_permission_denied, ec);
  for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    const std::string name = entry.path().filename().string();
    if (name.size() < nameSuffix.size() || name.compare(name.size() - nameSuffix.size(), nameSuffix.size(), nameSuffix) != 0)
      continue;
    struct stat st {};
    // Only the container's own files count: a link could point anywhere.
    if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    MetadataItem item;
    item.displayName = name;
    item.fileSize = static_cast<uint64_t>(st.st_size);
    item.contentChangeDate.secondsSince1970 =
        static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
    item.url = entry.path();
    item.downloadingStatus = UbiquitousItemDownloadingStatus::Current;
    item.isDownloading = false;
    item.percentDownloaded = 100.0;
    items.push_back(std::move(item));
  }
  return items;
}

bool DirectoryCloudContainer::startDownloadingUbiquitousItem(const fs::path& url, std::string* error) {
  // Every file in the directory is already local.
  std::error_code ec;
  if (!inside(url) || !fs::is_regular_file(fs::symlink_status(url, ec))) {
    setError(error, url.string() + " is not a document of the container");
    return false;
  }
  return true;
}

bool DirectoryCloudContainer::inside(const fs::path& p) const {
  if (!root_) return false;
  const fs::path n = p.lexically_normal();
  auto r = root_->begin();
  auto q = n.begin();
  for (; r != root_->end(); ++r, ++q) {
    if (r->empty()) continue;  // the trailing empty element of "dir/"
    if (q == n.end() || *q != *r) return false;
  }
  // The path must name something below the root, not the root itself.
  for (; q != n.end(); ++q) {
    if (!q->empty() && *q != "..") return true;
    if (*q == "..") return false;
  }
  return false;
}

bool DirectoryCloudContainer::setUbiquitous(const fs::path& localURL, const fs::path& destination,
                                            std::string* error) {
  if (!URLForUbiquityContainer()) {
    setError(error, "the cloud container is unavailable");
    return false;
  }
  if (!inside(destination)) {
    setError(error, destination.string() + " lies outside the cloud container");
    return false;
  }
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(localURL, ec))) {
    setError(error, localURL.string() + " is not a regular file");
    return false;
  }
  fs::create_directories(destination.parent_path(), ec);
  if (ec) {
    setError(error, "cannot create " + destination.parent_path().string() + ": " + ec.message());
    return false;
  }
  return moveFileWithoutReplacing(localURL, destination, error);
}

bool DirectoryCloudContainer::removeItem(const fs::path& url, std::string* error) {
  if (!inside(url)) {
    setError(error, url.string() + " lies outside the cloud container");
    return false;
  }
  if (::unlink(url.c_str()) != 0) {
    setError(error, "cannot remove " + url.string(), errno);
    return false;
  }
  return true;
}

bool DirectoryCloudContainer::moveItem(const fs::path& from, const fs::path& to, std::string* error) {
  if (!inside(from) || !inside(to)) {
    setError(error, "a move must stay inside the cloud container");
    return false;
  }
  return moveFileWithoutReplacing(from, to, error);
}

}  // namespace platform
