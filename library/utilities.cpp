#include "library/utilities.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "library/library_writes.h"
#include "platform/crypto/sha1.h"

namespace fs = std::filesystem;

namespace {

// A path computed once per documents folder.
struct CachedPath {
  fs::path root;
  std::optional<fs::path> value;
};

std::optional<fs::path>& bundleOverride() {
  static std::optional<fs::path> path;
  return path;
}

std::optional<fs::path> nonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return fs::path(v);
}

// Returns the cached value when it was computed for `root`; otherwise runs
// `compute` and keeps a non-empty result.
template <typename F>
std::optional<fs::path> cached(CachedPath& cache, const fs::path& root, F compute) {
  if (cache.value && cache.root == root) return cache.value;
  std::optional<fs::path> v = compute();
  if (v) {
    cache.root = root;
    cache.value = v;
  }
  return v;
}

}  // namespace

std::optional<fs::path> Utilities::applicationiTunesDocumentsDirectory() {
  if (auto home = nonEmptyEnv("IGROOVEBIX_HOME")) return *home;
  if (auto xdg = nonEmptyEnv("XDG_DATA_HOME")) return *xdg / "igroovebix" / "Documents";
  if (auto home = nonEmptyEnv("HOME")) return *home / ".local" / "share" / "igroovebix" / "Documents";
  return std::nullopt;
}

std::optional<fs::path> Utilities::applicationDocumentsDirectory() {
  static CachedPath cache;
  const auto docs = applicationiTunesDocumentsDirectory();
  if (!docs) return std::nullopt;
  return cached(cache, *docs, [&]() -> std::optional<fs::path> {
    const fs::path dir = *docs / ".igroovebix.d";
    std::error_code ec;
    fs::create_directories(dir, ec);  // failures show later as missing files
    return dir;
  });
}

std::optional<fs::path> Utilities::applicationPatternDirectory() {
  static CachedPath cache;
  const auto docs = applicationiTunesDocumentsDirectory();
  if (!docs) return std::nullopt;
  return cached(cache, *docs, [&]() -> std::optional<fs::path> {
    const auto data = applicationDocumentsDirectory();
    if (!data) return std::nullopt;
    const fs::path dir = *data / "patterns";
    moveOlderLayoutItem(*docs / "patterns", dir);
    return dir;
  });
}

std::optional<fs::path> Utilities::applicationIndexTablePath() {
  static CachedPath cache;
  const auto docs = applicationiTunesDocumentsDirectory();
  if (!docs) return std::nullopt;
  return cached(cache, *docs, [&]() -> std::optional<fs::path> {
    const auto data = applicationDocumentsDirectory();
    if (!data) return std::nullopt;
    const fs::path path = *data / "patternIndicesTable.plist";
    moveOlderLayoutItem(*docs / "patternIndicesTable.plist", path);
    return path;
  });
}

std::optional<fs::path> Utilities::applicationSoundDirectory() {
  static CachedPath cache;
  const auto docs = applicationiTunesDocumentsDirectory();
  if (!docs) return std::nullopt;
  return cached(cache, *docs, [&]() -> std::optional<fs::path> { return *docs; });
}

std::optional<fs::path> Utilities::applicationStoreTagDirectory() { return std::nullopt; }

std::optional<fs::path> Utilities::editBufferFilePath() {
  const auto data = applicationDocumentsDirectory();
  if (!data) return std::nullopt;
  return *data / "gbx_editBuffer.dat";
}

namespace {
// The second half of the backup password. Changing it makes every existing
// backup unreadable.
std::string gDataPasswordSuffix = "-gq1-7d3f91c4-library";
}  // namespace

std::string Utilities::createDataPassword() { return std::string("igb") + gDataPasswordSuffix; }

fs::path Utilities::bundleResourcePath() {
  if (bundleOverride()) return *bundleOverride();
  if (auto env = nonEmptyEnv("IGB_BUNDLE_DIR")) return *env;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return exe.parent_path() / "bundle";
  return fs::path("bundle");
}

void Utilities::setBundleResourcePath(std::optional<fs::path> path) { bundleOverride() = std::move(path); }

bool Utilities::moveOlderLayoutItem(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::exists(from, ec)) return false;
  // While a half-done restore is pending, a missing item of the library is
  // one the next start puts back by its identity on disk; a file moved in
  // from elsewhere would be one it cannot place.
  if (LibraryWrites::refusal()) return false;
  return moveWithoutReplacing(from, to);
}

bool Utilities::moveWithoutReplacing(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the no-replace flag: check first (a race here can
  // only lose against another mover, never against the user).
  std::error_code ec;
  if (fs::exists(fs::symlink_status(to, ec))) return false;
  fs::rename(from, to, ec);
  return !ec;
}

std::vector<uint8_t> Sha1::getHashBytes(std::span<const uint8_t> data) {
  const platform::Sha1Digest d = platform::sha1(data);
  return std::vector<uint8_t>(d.begin(), d.end());
}

std::string stringWithHexBytes(std::span<const uint8_t> data) {
  std::string out;
  out.reserve(data.size() * 3);
  char buf[4];
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02d", b);
    out += buf;
  }
  return out;
}
